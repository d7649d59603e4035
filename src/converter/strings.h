// Running text: ZEM strings and named special characters, their backslash
// sequences, the mapping of ZEM character codes onto the character sets of
// the intermediate code, the paragraph end, and the character attribute
// bits the font statements switch on and off.  Also the string reader and
// the converting string writer other modules use for names and labels.
//
// Backslash sequences of a String value:
//   \<  \>  \Q (back-quote)  \\  \q (quote)   the character itself
//   \t                                         a tab
//   \xHH...                                    the ZEM character HH...
//   \ and any other byte                       nothing
// The converting writer (tf_frame_from_out_string) knows only \x, \t and
// \b (bullet) and copies any other pair unchanged.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int char_tbl_size = 128;  // rows of convert_table
constexpr int kStringValueLimit = 300;  // bytes of an FWeight / FAngle string kept

// Character sets of the character records.
enum CharacterSet {
    kSet437 = 437,
    kSet850 = 850,
    kSet819 = 819,
    kSetZem = 9999,
    kSetSymbol = 9998,
};

// ZEM codes with records of their own.
constexpr int kZemHardSpace = 0x11;
constexpr int kZemHardHyphen = 0x15;
constexpr int kZemBullet = 0xA5;

// Attribute bits of curr_high_act.
enum HighBit {
    kHighBold = 1,
    kHighUnderline = 2,
    kHighDoubleUnderline = 4,
    kHighItalic = 8,
    kHighStrike = 16,
    kHighShadow = 32,
    kHighSubScript = 64,
    kHighSupScript = 128,
    kHighOutline = 512,
};

// Row r of the table stands for code 128 + r of every target set: byte 0
// is that code, bytes 1-4 the ZEM code that becomes it in the sets 437,
// 850, 9999 and 819 ('_' where the set's code has no ZEM counterpart).
extern const unsigned char convert_table[char_tbl_size][5];

struct StringState {
    int char_width = 10;        // line_pos units of one character
    int line_pos = 0;           // position of the next character in the line
    int hex_chars_read = 0;     // characters taken by the last hex reading
    int hardreturn_seen = 0;
    char hex_text[9] = {};      // itoszhex's result
    int para_char_cnt = 0;      // characters written in this paragraph
    int hnp_after_hnl = 0;      // hard page break due at the paragraph end
};

}  // namespace vox

extern "C" {
// Skips blanks and tabs and reads a back-quoted string into buffer (at
// most limit bytes and a terminator; the rest stays unread).  Returns 0,
// or 1 with an empty buffer when the next value is not a string (its byte
// is pushed back).
VOX_API int tf_from_read_string(char *buffer, int limit);
// The start action of String.
VOX_API int tf_handle_string_token(void);
// Writes the next String value.  0 when it ended with its quote, 1 when
// the value was not a string or was cut by a line end or the end of input.
VOX_API int tf_write_out_string(void);
// The start action of Char.
VOX_API int tf_handle_char_token(void);
// The character a backslash sequence stands for, 0 when it writes nothing.
VOX_API int tf_convert_special_char(int byte);
// The hexadecimal number of a \x sequence, from text when it is given and
// otherwise from the input; -1 when there are no digits.
VOX_API int tf_read_string_hex_char(const char *text);
VOX_API int tf_read_hex_string(const char *text);
// Writes one character given by its ZEM code; negative values write nothing.
VOX_API int tf_handle_string_hex_char(int value);
// Converts the ZEM code *code into a character set *set and a code in it.
VOX_API int tf_convert_char_from(int *set, int *code);
// Attribute statements.  tf_set_high_stat takes the statement's token number.
VOX_API int tf_set_high_stat(int token);
VOX_API int tf_do_fweight_token(void);
VOX_API int tf_do_fangle_token(void);
// A forced line end within the paragraph (Char HardReturn).
VOX_API int tf_handle_nln(void);
// Ends a paragraph.
VOX_API int tf_handle_hard_new_line(void);
// Up to 8 upper-case hex digits of value without leading zeros ("" for 0);
// the text is overwritten by the next call.
VOX_API const char *itoszhex(unsigned value);
}

namespace vox {
// The converting mode of tf_frame_from_out_string.  Returns 0.
int convert_out_string(const char *text);
}  // namespace vox
