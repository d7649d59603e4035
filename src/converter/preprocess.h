// The validity check of the source and the preprocessing pass.
//
// The validity check reads the header statement of the raw source and tells
// a ZEM document (or book) and its version from anything else.  The
// preprocessing pass (do_token) then reads the whole source once and writes
// a normalised copy into preproceesed_bf, which is all the main pass ever
// reads:
//
//   statement start   '<', the token number in decimal, the byte 254
//   values            the value text less every blank outside strings
//   string            '`', its bytes unchanged, '\''
//   statement end     '>' and a carriage return
//   line end          a carriage return, at a source line end when a '<'
//                     was read on that line after the last '>' written
//   data line         a line beginning with '=' or '&' between statements,
//                     copied whole and ended by a carriage return
//
// Comments and source line ends are dropped; a statement whose name is not
// in the token table is dropped whole with everything nested in it.
// Statement names may be renamed by macro definitions met earlier in the
// pass (a statement named "define(name,value)").
//
// Choices this pass makes where the text layout leaves room:
//
// - Buffer limits.  The statement line buffer and the statement name
//   buffer grow as needed (tracked memory; out of memory ends the run with
//   code 8), so no value run, string or name is ever cut.  The name buffer
//   always has room for the longest macro value, since a macro replaces the
//   name in place.  The definition line that tf_do_define gathers from the
//   source keeps its 256 characters; bytes beyond them are read up to the
//   closing ')' and dropped.
// - Definitions leave nothing in the preprocessed text.  A statement whose
//   name is a definition is skipped like an unknown statement: its remaining
//   text and its closing '>' are read and dropped, so the main pass never
//   meets a '>' without a statement start of its own.  Unlike an unknown
//   statement it does not count as a '<' read on its line either, so it
//   adds no carriage return at that line's end.
// - A '=' or '&' inside a statement's values (after its name) is ordinary
//   value text and is copied like any other value byte; only at the start
//   of a line between statements does it begin a data line.  (Read as the
//   end of a statement name there, it would drop the rest of a statement
//   whose start was already written, and unbalance the brackets.)
//
// Bytes of the line buffer are written through tf_frame_from_out_string,
// which stops at a NUL byte: a NUL in a value or string is not carried.
#pragma once

#include <cstddef>

#include "common/api.h"

namespace vox {

// One macro definition: owned copies (tracked memory) of its name and value.
struct MacroEntry {
    char *name;
    char *value;
    MacroEntry *next;
};

struct PreprocState {
    int zem_book = 0;  // 1 when the header is a book header
    int zem_ver = 0;   // 3, 4 or 5 once the header has been read
    MacroEntry *macro_list_ptr = nullptr;  // in definition order
    std::size_t longest_macro_value = 0;   // length of the longest stored value
};

// A special word of the pass: a keyword that names a directive rather than
// a statement.  whole_word 0: a word matches when it begins with the
// keyword, and the handler receives the word; otherwise the word must equal
// the keyword, and the handler receives a null pointer.
struct SpecialWord {
    const char *keyword;
    int whole_word;
    int (*handler)(char *word);
};

constexpr int table_size = 1;
extern const SpecialWord preproc_key_tbl[table_size];

// The room a definition line holds: 256 characters and the terminator.
constexpr std::size_t kDefineLineSize = 257;

}  // namespace vox

extern "C" {
// Reads the header statement of the raw source: 0 for a ZEM document or
// book (zem_book and zem_ver set), 2 when the source ends before the header
// is complete, 9 when it is not a ZEM document.
VOX_API int tf_check_for_valid_zem(void);
// Runs the preprocessing pass over the rest of the source; returns 0.  Ends
// the run with code 16 when the statement brackets do not balance.
VOX_API int do_token(void);
// Skips the rest of a statement whose '<' has just been read, up to and
// including its balancing '>' (strings stepped over); returns 0.
VOX_API int x_zem2(void);
// Copies input bytes into the temporary buffer up to the next carriage
// return or the end of input, then appends one carriage return; returns 0.
VOX_API int tf_store_rest_of_line(int buffer);
// Copies input bytes into the temporary buffer up to the next '\'' or the
// end of input, then appends one '\''; returns 0.
VOX_API int tf_buff_string(int buffer);
// 1 when word is a special word (its handler has run); otherwise applies
// the macro substitution to word in place and returns 0.  room is the
// number of bytes available at word.
VOX_API int do_special_word(char *word, std::size_t room);
// Stores a macro: 0 stored, -1 the name exists and replace is 0, -2 out of
// memory (nothing changed).  An existing name keeps its place in the list
// and gets the new value.
VOX_API int store_in_macro_list(const char *name, const char *value, int replace);
// Replaces word in place by the value of the macro of exactly that name,
// when there is one and the value fits in room bytes with its terminator.
// Returns 1 when replaced, 0 otherwise.
VOX_API int replace_macro(char *word, std::size_t room);
// Parses a definition "define(name,value)" (or its start, reading the rest
// from the input up to the closing ')') and stores it; returns 0.
VOX_API int tf_do_define(char *word);
// Frees every macro definition; the list is empty afterwards.
VOX_API void tf_free_macro_list(void);
}
