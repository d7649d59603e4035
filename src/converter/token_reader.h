// The token stack and the small readers of the main pass.
//
// In the preprocessed text a statement starts with '<', the decimal digits
// of its token number and the end marker byte 254.  The token stack pairs
// every '>' with the statement it closes; the readers here read token
// numbers and skip input the converter does not want.  Every byte comes
// from preproc_getc and goes back through preproc_unget.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int kTokenStackSize = 100;
// Room for a token number's digits and the terminator.
constexpr int kReadNumBuffSize = 10;
// Room for the digits tf_read_next_token_num keeps, and the terminator.
constexpr int kTokenWorkSize = 32;
// The byte that ends a token number in the preprocessed text.
constexpr int kTokenEndMarker = 254;

struct TokenState {
    int token_stack[kTokenStackSize] = {};
    int push_idx = 0;  // entries in use
    char read_num_buff[kReadNumBuffSize] = {};
    // The work string of tf_read_next_token_num: the bytes of the token
    // number read last, NUL-terminated.
    char buff[kTokenWorkSize] = {};
};

}  // namespace vox

extern "C" {
// Reads the digits after a '<' up to the end marker 254 (consumed) or the
// end of input and returns their decimal value (as atoi: 0 when empty or
// unreadable).  Bytes beyond the 9 that read_num_buff holds are read and
// dropped, so the stream position does not depend on the buffer size.
VOX_API int tf_read_token_num(void);
// Pushes a token number: 0, or 1 when the 100 entries are in use (nothing
// pushed).
VOX_API int tf_push_token(int number);
// The top token number, removed; -1 when the stack is empty.
VOX_API int tf_pop_token(void);
// Skips input up to the next '<', '>' or carriage return, which is pushed
// back; stops at the end of input.  One progress step per skipped byte.
// Returns 0.
VOX_API int tf_eat_rest_of_line(void);
// Like tf_eat_rest_of_line, but steps over a whole back-quoted string
// ('`' to the next '\'') without looking inside it.  Only the bytes of such
// strings (both quotes included) count progress steps.  Returns 0.
VOX_API int tf_unknown_token_line_skip(void);
// Used while the preprocessed text is split: reads bytes up to the end
// marker 254 or the end of input, appending each to the temporary buffer
// `buffer` (a handle) and to the work string buff.  At the end marker
// appends 254 to `buffer` too and returns the decimal value of the bytes
// read; at the end of input returns -1.
VOX_API int tf_read_next_token_num(int buffer);
// Reads past spaces and tabs; the first other byte is pushed back, unless
// it is the end of input or the end marker 254, which are consumed.
// Returns 0.
VOX_API int tf_skipp_white_space(void);
}
