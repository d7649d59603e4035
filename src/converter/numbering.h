// Paragraph numbering: the number text of a paragraph (<PgfNumString),
// written as PGN level, the text, EPN at the start of the paragraph or at
// its end (<PgfNumAtEnd), and the numbering definition PND that describes
// every level of the number format (<PgfNumFormat) whenever the format
// changes.  Counter values are kept per series letter ("S:<n+>") so that a
// series interrupted by another one continues where it stopped.
//
// A number format is literal text and building blocks in angle brackets:
// the block's first character is the counter type (n arabic, a / A
// letters, r / R roman, a space for none; anything else is no counter), its
// second the value ("=5" sets it, "+" counts on from the level's value).
// Each block is one level of the level table pnd_list; the literal text
// before a block is its level's prefix, the text after the last block the
// last level's suffix.
//
// The state lives in NumberingState (formatting_state.h); para_num_end is
// the paragraph module's (ParagraphFormatState).
//
// Choices made where the rules leave room:
// - <PgfNumString: a value that does not start with a back-quote is left in
//   the input (like the string reader does); the number text stays empty
//   and pgf_num_attr unchanged.  A text cut by a line end leaves the line
//   end in the input; characters past the 299th are read and dropped.
// - A literal run keeps its first 101 characters.  When no literal text
//   stands before a block, the level keeps the prefix of the level before
//   it (the prefix changes only when literal characters were collected),
//   e.g. "<n+>.<n+><n+>" gives the prefixes none, "." and ".".
// - A block without its '>' takes the rest of the format as its text and
//   counts as a block like any other; the format ends there.
// - "=" takes an optional sign and the digits after it ("=x" gives 0); a
//   negative value leaves the level's value as it is.
// - A format with no block at all gives one level: type 6, the literal text
//   as its prefix, the level's value left as it is.
// - Series state is saved and restored only for a format with a series
//   letter: one without a letter always starts from a cleared table, so a
//   state saved under "no letter" would never be read.
// - Clearing the level table frees the level texts; restoring a series
//   frees the texts of the levels it restores (their texts are none).
// - More than 30 blocks: the blocks after the 30th each overwrite level 30
//   (index 29), and the level count stays 30.
// - The PGN level number counts the blocks of the whole format, series
//   prefix included (it holds no block).
// - Number text: "\x" takes hexadecimal digits up to a blank (skipped), a
//   backslash or the end, as the converting string writer does; a backslash
//   at the very end of the text is written as it is.  Plain characters and
//   converted special characters each add char_width to line_pos (a special
//   character adds it once more inside tf_convert_special_char, as in a
//   String); a hexadecimal character adds it once, inside
//   tf_handle_string_hex_char.  The pending text is taken and cleared
//   before its characters are written, so nothing written on the way can
//   write the same number again.
// - With a number font, the attributes saved with the font are those of
//   the number (pgf_num_attr), so after the font is restored curr_high_act
//   is the number's attributes, not the paragraph's.
// - The opening of <ParaLine writes a pending number only when
//   para_num_end is clear: a number placed at the end is written by the
//   closing of <Para, after the paragraph's last line (the dispatcher's
//   ParaLine row tests the flag).
// - tf_free_pgf_num_list (called by the driver's release) and
//   tf_cleanup_pnd_list do the same: free the level texts.
#pragma once

#include "common/api.h"
#include "converter/formatting_state.h"

namespace vox {

constexpr int kPndLiteralLimit = 101;  // characters of a literal run kept

// Counter types of a level.
enum PndType {
    kPndArabic = 0,
    kPndLowerAlpha = 2,
    kPndUpperAlpha = 3,
    kPndLowerRoman = 4,
    kPndUpperRoman = 5,
    kPndNone = 6,
};

// The saved part of a level: its texts are not saved.
struct PndSavedLevel {
    int value;
    int type;
    int follows;
};

// One node of pnd_series_list: a series letter and its saved levels.
struct PndSeries {
    int letter;
    int count;  // levels saved
    PndSavedLevel levels[kPndLevels];
    PndSeries *next;
};

// The saved state of a series letter, or null.
PndSeries *find_pnd_series(int letter);

// The PGN level number of a format: its counter blocks, at least 1.
int pgn_level_number(const char *format);

}  // namespace vox

extern "C" {
// The start action of <PgfNumString: reads the pending number text.
VOX_API int tf_handle_pgfstring_token(void);
// Writes the pending number text, if any, with its PND and its PGN / EPN
// records.
VOX_API int tf_output_para_num_string(void);
// Resolves the escapes \> \Q \\ \q of a number format in place.
VOX_API int tf_fixup_special_string_chars(char *text);
// The numbering definition of a format: PND when it differs from the last
// one defined.
VOX_API int tf_handle_pnd(const char *format);
// Stores level `index` (0 to 29) of the level table; a negative value
// leaves the level's value.  Returns -1 for an index out of range.
VOX_API int tf_save_pnd_level(int index, int value, const char *prefix, int type, const char *suffix,
                              int follows);
// Frees the level texts.
VOX_API void tf_cleanup_pnd_list(void);
VOX_API void tf_free_pgf_num_list(void);
// Frees the saved series states.
VOX_API void tf_free_series_list(void);
}
