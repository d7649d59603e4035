// Fonts and character formats: the family, size, attribute and language
// statements of <Font and <PgfFont, the numbering of the fonts used (the
// font list file, which the driver turns into the FDT record), font-change
// records (SPF), attribute begin / end records, the character catalog file
// of <FontCatalog with its style definitions, and character styles applied
// in the text with <FTag and ended by an empty <FTag.
//
// The state lives in FontState (formatting_state.h), the current font's
// name font_name included, which the strings module reads to pick the
// Symbol set; the attribute bits are ParagraphLayoutState::curr_high_act,
// the pitch StringState::char_width, the colour curr_color / color_name
// in ColourState, the number of paragraph catalog entries
// ParagraphFormatState::cat_idx, and the list file handles and the font
// count in DriverState.
//
// Files (32-bit integers most significant byte first):
//   font list          68-byte entries: font number (1 for the first), the
//                      name in 64 bytes, NUL-terminated; entry k at
//                      (k - 1) * 68.
//   character catalog  220-byte entries: style number, tag (64 bytes), then
//                      the character part: family (64), size, a reserved
//                      word, attribute bits (-1: none stated), colour
//                      number (-1: none stated), 8 reserved bytes, colour
//                      name (64).  Entry k at (k - 1) * 220.
// Entries and character parts are handed around in that file form, so a
// paragraph catalog entry's character part (the same 152 bytes) can be
// passed straight to tf_write_char_style_data.
//
// Choices made where the rules leave room:
// - A value that is not a string reads as an empty string (the string
//   reader leaves its buffer empty): for <FFamily it empties font_name,
//   for <FTag it returns to the paragraph font.
// - Text parameters (family names, tags) are written through
//   tf_frame_from_out_string, like the names of the FDT record, then US.
// - A failed seek of either list file ends the run with 17, a short write
//   with 4; a short read while searching a list ends the search as "not
//   found" (a font name is then appended as a new font).
// - A new font list entry is written at (num_fonts - 1) * 68, where the FDT
//   writer reads it back.  The last lookup is remembered, so the list file
//   is read only when the name looked up changes: before every text output
//   the current font is looked up again.
// - tf_write_attr outside flows, tables and both catalogs writes nothing
//   and leaves last_seen_attr as it is.
// - Returning to the paragraph font takes a size of 0 in prev_font_state
//   as 240 without changing prev_font_state itself.
// - The colour record of a character part is forced (force_color_output
//   set for that one record, cleared right after it); the "Black" record
//   at the end of a character style is an ordinary, compared one.
#pragma once

#include "common/api.h"
#include "converter/formatting_state.h"

namespace vox {

constexpr int kCharPartSize = 152;         // the character part of a catalog entry
constexpr int kCharPartOffset = 68;        // where it starts in a character format entry
constexpr int kFamilyLimit = 60;           // characters of a family name kept
constexpr int kFamilyStringLimit = 300;    // characters of an <FFamily string read
constexpr int kFtagLimit = 60;             // characters of an <FTag string read

// A character part in file form and back.
void load_char_part(const unsigned char *part, FontStateRecord &record);
void store_char_part(const FontStateRecord &record, unsigned char *part);

// The family name of <FFamily normalised in place (not yet cut to
// kFamilyLimit).
void normalise_family_name(char *name);

}  // namespace vox

extern "C" {
// <FFamily: the normalised family becomes font_name and font_family.
VOX_API int tf_handle_ffamily_token(void);
// Removes `count` characters at `position`, moving the rest of the string
// (and its NUL) left; a count past the end removes the rest.  Returns 0.
VOX_API int tf_strlft(char *position, int count);
// Closing of <Font: stores the character format inside <FontCatalog,
// elsewhere writes the font change if the size or the font differs from
// the last written.  Also called before each text output.
VOX_API int tf_handle_end_font(void);
// The number of the font `name` in the font list, appending it when new
// (short write: 4, failed seek: 17).
VOX_API int tf_get_font_num(const char *name);
// SPF: pitches 2400 / size (a size below 1 counts as 200, also as the
// size parameter), font numbers, the new size and the name.  Returns 0.
VOX_API int tf_output_font(int old_size, int old_num, int new_size, int new_num, const char *name);
// Stores the character format just read as the next character catalog
// entry and writes its style definition.
VOX_API int tf_end_fontcat_entry(void);
// The style definition SYT .. RS of a character format entry.
VOX_API int tf_output_char_syt(const unsigned char *entry);
// <FTag: ends an active character style, then applies the tag, or with an
// empty tag returns to the paragraph font.
VOX_API int tf_handle_ftag_token(void);
// Applies the character format `tag`: 1 when found, 0 (nothing changed,
// nothing written) when the catalog has no such tag.
VOX_API int tf_set_fontcat_data(const char *tag);
// Character style on (STY .. STE) for a catalog entry; an active one is
// ended first.
VOX_API int tf_output_char_sty(const unsigned char *entry);
// Character style off (STF .. STE) for a catalog entry.
VOX_API int tf_end_char_style(const unsigned char *entry);
// Font, colour and attribute records of a character part (152 bytes, file
// form).
VOX_API int tf_write_char_style_data(const unsigned char *part);
// Writes the begin and end records that turn the attributes last written
// into `new_bits`.
VOX_API int tf_write_attr(int new_bits);
// <PgfLanguage: curr_lang from the language word (-1 when unknown).
VOX_API int tf_handle_lang_token(void);
// <FUnderlining and <FPosition: the underline and position bits.
VOX_API int tf_handle_funderlining_token(void);
VOX_API int tf_handle_fposition_token(void);
}
