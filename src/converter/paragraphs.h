// Paragraph formats and the paragraph catalog.
//
// Each <Pgf of the <PgfCatalog is stored as a 940-byte entry of the
// temporary catalog file (entry k at k * 940, style number k + 1) and
// written as a style definition (SYT ... RS) where the catalog stands.  In
// the text a paragraph names its format by <PgfTag (or takes "Body" at its
// first <ParaLine): the entry is looked up, its values become the current
// ones and the style-on group (STY ... STE) is written.  The first text of
// the paragraph writes its own data (space before and after, tab stops,
// temporary margins, line spacing) and the paragraph end writes the
// style-off group (STF ... STE) in front of the closing HNL.
//
// Choices made where the rules leave room:
//
// - The closing of a <Pgf inside the catalog stores the entry and leaves
//   in_pgf as it is; only the closing of a <Pgf outside the catalog clears
//   it.  Indent statements after the catalog and before the first
//   paragraph <Pgf are therefore still taken.
// - tf_write_syt_data numbers the style cat_idx + 1: it is only called
//   while an entry is stored, before cat_idx counts it.
// - Applying an entry copies its counted tab stops (at most 30) into the
//   working and the default table; the slots after them keep what they
//   held.
// - The property records refresh the entry's tab count and stops from the
//   working tab table (the table is left as it is).  While a catalog entry
//   is stored the style definition comes before the file write, so the
//   stored entry holds the stops inserted at its indent positions.
// - The property records test the current keep_with_next, para_sp_before
//   and para_sp_after, not the entry's.  In a style definition they are
//   the entry's; in a style-on group the spacing is the entry's (set just
//   before) but keep_with_next is still the previous paragraph's, since it
//   is taken from the entry only after the group.
// - The style-on group sets last_seen_attr to 0 for its property records
//   and puts the earlier value back afterwards, so the text after the
//   group writes its attribute records again.
// - The line-spacing step writes nothing and changes nothing when the last
//   spacing written equals the requested one; new_line_space returns to
//   the format's value only after a record was written.
// - Catalog look-up: positioning the file at its start fails with code 17
//   (as any catalog seek); a short read ends the search with "not found".
//   Entries are read several at a time, which changes nothing but the
//   number of reads.
// - The style-off group of a tag without an entry writes the attribute
//   records of default_high_attrib but leaves curr_high_act as it is.
// - An unreadable <PgfTag string gives an empty tag, which no entry
//   matches (local style).
// - <PgfPlacementStyle reads its word into a buffer long enough for
//   "SideheadFirstBaseline" (the general word reader keeps 19 characters).
// - A tab slot's leader and type go into the entry as the low byte of the
//   slot's fields.
//
// The state lives in ParagraphFormatState (formatting_state.h), among
// them local_style, style_alig, after_num_hnl, do_second_style,
// over_ride_tf_off and cat_idx, and in the structs that already held a
// variable before this module existed: the tag, alignment, indents,
// spacing and leading in ParagraphLayoutState; sty_curr_left, in_style
// and alig_output in TabState; start_new_page in PageState; the catalog
// file in DriverState.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/api.h"
#include "converter/formatting_state.h"

namespace vox {

constexpr int kPgfEntrySize = 940;     // bytes of a catalog entry in the file
constexpr int kPgfEntryTagSize = 124;  // the tag and its terminator
constexpr int kPgfTagLimit = 119;      // characters of a <PgfTag kept
constexpr int kPgfEntryNumFormatSize = 301;
constexpr int kPgfEntryNumFontSize = 63;

// A tab stop as a catalog entry keeps it.
struct PgfEntryTab {
    std::int32_t position;  // twips
    char leader;            // 0 none
    char type;              // 'N', 'C', 'R', 'D' or 'V'
    char reserved[2];
};

// A catalog entry in memory: the file layout field for field, with the
// integers in host order (the file holds them most significant byte first).
struct PgfCatalogEntry {
    char tag[kPgfEntryTagSize];
    std::int32_t alignment;
    std::int32_t first_indent, left_indent, right_indent;  // twips
    FontStateRecord font;                                   // the character part
    std::int32_t leading;                                   // twips
    std::int32_t tab_count;                                 // 0 to 30
    std::int32_t space_before, space_after;                 // twips
    PgfEntryTab tabs[kTabSlots];
    std::int32_t default_unit;
    std::int32_t num_at_end;
    std::int32_t side_head;   // do_second_style
    std::int32_t straddle;    // over_ride_tf_off
    std::int32_t keep_with_next;
    std::int32_t page_top;    // start_new_page
    std::int32_t fixed_line;
    char num_format[kPgfEntryNumFormatSize];
    char num_font[kPgfEntryNumFontSize];
};
static_assert(sizeof(PgfCatalogEntry) == kPgfEntrySize, "entry layout");
static_assert(offsetof(PgfCatalogEntry, font) == 140, "character part");
static_assert(offsetof(PgfCatalogEntry, leading) == 292, "leading");
static_assert(offsetof(PgfCatalogEntry, tabs) == 308, "tab slots");
static_assert(offsetof(PgfCatalogEntry, default_unit) == 548, "flags");
static_assert(offsetof(PgfCatalogEntry, num_format) == 576, "number format");
static_assert(offsetof(PgfCatalogEntry, num_font) == 877, "number font");

// The HNL 1 records of a paragraph's space before or after, one per
// line.  At most kMaxBlankLines are written: a space of more than 166
// inches is taller than any page, and a document stating one must not turn
// each paragraph into megabytes of blank lines.
constexpr int kMaxBlankLines = 1000;
void write_blank_lines(int count);

// The file form of an entry and back.  Decoding terminates every text.
void encode_pgf_entry(const PgfCatalogEntry &entry, unsigned char (&out)[kPgfEntrySize]);
void decode_pgf_entry(const unsigned char (&in)[kPgfEntrySize], PgfCatalogEntry &entry);

}  // namespace vox

extern "C" {
// Start action of <PgfTag: reads the tag; outside the catalog applies it.
VOX_API int tf_handle_pgftag_token(void);
// Start action of <PgfPlacementStyle: side-head and straddle flags.
VOX_API int tf_handle_pgfplacementstyle(void);
// End action of <Pgf: inside the catalog stores the entry, else in_pgf = 0.
VOX_API int tf_handle_end_pgf(void);
// The index (from 0) of the first catalog entry tagged `tag`, read into
// *entry_out; -1 when there is none.
VOX_API int tf_get_table_idx(const char *tag, vox::PgfCatalogEntry *entry_out);
// Applies the catalog format named `tag` and writes its style-on group; an
// unknown tag only sets local_style.  Returns 0.
VOX_API int tf_set_catalog_vars(const char *tag);
// Fills *entry from the current state (inside the catalog only).
VOX_API int tf_store_pgfcat_data(vox::PgfCatalogEntry *entry);
// The style definition SYT ... RS of the entry being stored (nothing for a
// book file).
VOX_API int tf_write_syt_data(vox::PgfCatalogEntry *entry);
// The style-on group STY ... STE (nothing inside a table catalog).
VOX_API int tf_write_sty_data(vox::PgfCatalogEntry *entry, int number, int kind);
// The property records of a paragraph style.
VOX_API int tf_write_style_data(vox::PgfCatalogEntry *entry);
// The style-off group of the current paragraph.
VOX_API int tf_end_curr_style(void);
// The defaults after each catalog entry.
VOX_API int tf_reset_pgf_vars(void);
// The paragraph data written before a paragraph's first text.
VOX_API int tf_output_pgf_data(void);
// Space before and after records; `collapse` 1 folds the space before into
// the last space after and writes the HNL 1 records.
VOX_API int tf_output_para_space(int collapse);
// The line-spacing record RSP (or LNH) when the spacing changed.
VOX_API int tf_output_rsp(void);
}
