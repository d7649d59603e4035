// The state of the formatting modules: paragraph formats and catalog,
// fonts and character formats, paragraph numbering, tabs, and colours; and
// of the modules still to come: variables / markers / cross-references /
// conditional text, tables, frames and footnotes.
//
// The statement dispatcher already sets and tests the variables of the
// modules still to come, so they exist before their modules do.  Each
// struct below is where its module keeps its state: when the module lands
// it adds its further variables to its own struct (and may move the struct
// into its own header).  Variables that another module's struct already
// holds are not repeated here:
//
//   ParagraphLayoutState (text_flows.h)  pgf_tag_name, indents, leading,
//       paragraph spacing, can_rest_mar, curr_high_act, tf_left_off /
//       tf_right_off, curr_tab_idx (the count of work_tab_tbl)
//   StringState (strings.h)              hardreturn_seen, line_pos
//   PageState (pages.h)                  start_new_page, start_page_num,
//       pen_setting, in_page
//   TextFlowState (text_flows.h)         interal_graph_output
//   RoutingState (conversion.h)          in_table, text_flow
//   PreprocState (preprocess.h)          zem_ver
//
// Initial values are those a conversion starts with.
#pragma once

#include <cstdint>
#include <cstring>

namespace vox {

// --- paragraph formats and catalog ------------------------------------------------

struct ParagraphFormatState {
    int in_pgf = 0;              // inside <Pgf
    int in_pgfcatalog = 0;       // inside <PgfCatalog
    int in_pgffont = 0;          // inside <PgfFont
    int keep_with_next = 0;      // the paragraph keeps with the next one
    int output_kwn = 0;          // its KWN record is still to be written
    int para_num_end = 0;        // the paragraph number goes at the end
    int left_indent_change = 0;  // an indent statement was read in this paragraph
    int fixed_line = 0;          // the line spacing is fixed
    // The applied format's first and right indents (its left one is
    // TabState::sty_curr_left), the page margins when it was applied, and
    // its font.
    int sty_curr_first = 0, sty_curr_right = 0;
    int sty_last_seen_left = 0, sty_last_seen_right = 0;
    char sty_font_name[64] = {};  // a family name, as FontState::font_family
    int sty_font_size = 0;
    int last_para_sp_after = 0;  // space after of the last paragraph whose spacing was written
    int do_second_style = 0;     // a second style is pending
    int eat_snl = 0;
    int over_ride_tf_off = 0;
    int snl_seen = 0;
    int after_num_hnl = 0;       // extra HNL records due
    int local_style = 0;         // a local style is in force
    int style_alig = 0;          // the style's alignment
    int first_string_seen = 0;
    // Paragraph formats stored so far; character styles are numbered after
    // them.
    int cat_idx = 0;
};

// --- fonts and character formats ----------------------------------------------------

constexpr int kFontNameSize = 64;  // a family or colour name: 60 characters, room to spare
constexpr int kCharFormatEntrySize = 220;  // a character catalog entry in file form

// The paragraph font against which font changes are written.  Same field
// order as the font-state part of a catalog entry.
struct FontStateRecord {
    char family[kFontNameSize];
    std::int32_t size;        // twips
    std::int32_t reserved;
    std::int32_t attributes;  // curr_high_act bits
    std::int32_t color;
    char reserved2[8];
    char color_name[kFontNameSize];
};

struct FontState {
    int in_fontcatalog = 0;               // inside <FontCatalog
    char font_family[kFontNameSize] = {};  // current family name
    // Requested size in twips; 0 until a format or <FSize sets it.
    int curr_font_size = 0;
    char font_name[kFontNameSize] = {};   // the current font's name
    int default_color = 0;                // the paragraph format's colour
    int default_high_attrib = 0;          // the paragraph format's attribute bits
    int last_seen_attr = 0;               // attribute bits last written as records
    int curr_lang = 3;                    // language code of the text (3 US English)
    int def_curr_lang = 3;                // language code of the document default
    FontStateRecord prev_font_state = {"Times", 240, 0, 0, 0, {}, "Black"};
    int last_font_size = 240;             // size of the last SPF written, twips
    int last_seen_font_num = 0;           // font number of the last SPF written
    char ftag_name[kFontNameSize] = {};   // character format being read or applied
    int num_font_entries = 0;             // character formats in the character catalog file
    int have_char_style = 0;              // a character style is on
    unsigned char curr_font_cat_entry[kCharFormatEntrySize] = {};  // its catalog entry, file form
    int attr_before_char_sty = 0;         // curr_high_act before that style
    // The last font list lookup, so that the list file is read only when
    // the name changes (the list only grows, so a number never goes stale).
    char looked_up_font[kFontNameSize] = {};
    int looked_up_font_num = 0;           // 0: no lookup yet
};

// --- paragraph numbering ---------------------------------------------------------------

constexpr int kPgfNumFontLimit = 60;     // characters of <PgfNumberFont kept
constexpr int kPgfNumFormatLimit = 300;  // characters of <PgfNumFormat kept
constexpr int kNumStringLimit = 299;     // characters of a <PgfNumString kept
constexpr int kPndLevels = 30;           // levels of the numbering level table

// One level of a numbering definition.  The texts are tracked blocks
// (VOXmalloc) owned by the level, or null.
struct PndLevel {
    int value;      // counter value
    char *prefix;   // literal text before the level's building block
    int type;       // 0 arabic, 2 a, 3 A, 4 r, 5 R, 6 none
    char *suffix;   // literal text after the format's last building block
    int follows;    // 0 for a format's first level, 1 for the later ones
};

// A series letter's saved levels; defined by the numbering module.
struct PndSeries;

struct NumberingState {
    char pgf_num_font_name[kPgfNumFontLimit + 1] = {};    // character format of the number
    char pgf_num_format_str[kPgfNumFormatLimit + 1] = {};  // the current number format
    char num_string_to_output[kNumStringLimit + 1] = {};  // pending number text; empty: none
    int pgf_num_attr = 0;                                 // curr_high_act when it was read
    PndLevel pnd_list[kPndLevels] = {};
    int max_pnd_levels = 0;                               // levels every PND describes
    char last_pnd_format[kPgfNumFormatLimit + 1] = {};    // format of the last PND
    PndSeries *pnd_series_list = nullptr;                 // saved levels per series letter
};

// --- tabs, alignment and margins --------------------------------------------------------

constexpr int kTabSlots = 30;
// Fields of a tab slot.
enum TabField { kTabPosition = 0, kTabType = 1, kTabLeader = 2, kTabDecimal = 3, kTabFields = 4 };
constexpr int kTabNormal = 'N';

using TabTable = int[kTabSlots][kTabFields];

// The default stops: every half inch from 1 inch, left-aligned, no leader.
inline void fill_default_tabs(TabTable &table) {
    for (int i = 0; i < kTabSlots; ++i) {
        table[i][kTabPosition] = 1440 + 720 * i;
        table[i][kTabType] = kTabNormal;
        table[i][kTabLeader] = 0;
        table[i][kTabDecimal] = 0;
    }
}

struct TabState {
    TabTable work_tab_tbl;       // the current paragraph's stops; counted by curr_tab_idx
    TabTable default_tab_tabl;   // the applied format's stops
    TabTable last_output_table;  // the stops last written
    int default_tab_cnt = 0;     // stops of default_tab_tabl in use
    int start_tab_table = 1;     // the next <TabStop starts a new table
    int skip_tab = 0;            // the <TabStop being read repeats a position
    int tmp_tab_tbl = 0;         // a temporary tab table is in force; cleared at each flow's end
    int sidehead_right = 0;      // the flow's side heads are on the right
    int alig_output = 0;         // a <PgfAlignment was read since the last alignment begin record
    // Read by the tab module, set by the paragraph module: the applied
    // format's left indent (twips) and "a style group is being written".
    int sty_curr_left = 0;
    int in_style = 0;
    int temp_rsm = 0;            // temporary margins pending
    int temp_left = 0;           // the temporary margins, twips
    int temp_right = 0;
    int can_do_tmp_mar = 0;
    TabState() {
        fill_default_tabs(work_tab_tbl);
        fill_default_tabs(default_tab_tabl);
        fill_default_tabs(last_output_table);
    }
};

// --- variables, markers, cross-references, conditional text -----------------------------

struct ReferenceState {
    int in_marker = 0;      // inside <Marker
    int do_marker = -1;     // the marker type being handled, -1 none
    int in_var_frmt = 0;    // inside <VariableFormat
    int var_stat = 0;       // inside <Variable
    int end_hypertext = 0;  // a hypertext link is open
    int xref_src_open = 0;  // that link was opened by <XRefSrcText
    // Revision marking.
    int do_text_stat = 0;     // start the marking before the next text
    int text_stat = 0;        // marking open
    int change_bar_seen = 0;
};

// --- tables -------------------------------------------------------------------------------

// Words of the table-format work record tbl_cat_work (32-bit words):
// 0-4 the tag (19 characters and a NUL), 5 reserved, 6 alignment, 7-14 the
// rulings below.
enum TableFormatWord {
    kTblWordAlignment = 6,
    kTblWordLRuling = 7,
    kTblWordBRuling = 8,
    kTblWordRRuling = 9,
    kTblWordTRuling = 10,
    kTblWordColumnRuling = 11,
    kTblWordBodyRowRuling = 12,
    kTblWordHFRowRuling = 13,
    kTblWordSeparatorRuling = 14,
    kTblFormatWords = 15,
};

// Cell flags of table_cell_image tested by the paragraph end.
enum CellFlag { kCellFlag4 = 4, kCellFlag8 = 8, kCellFlag32 = 32 };

struct TableState {
    int in_tbl_catalog = 0;
    int in_tbl_format = 0;
    int in_title = 0, title_seen = 0;
    int in_heading = 0, heading_seen = 0;
    int in_body = 0;
    int in_foot = 0;
    int tbl_cat_work[kTblFormatWords] = {};
    int curr_table_id = 0;
    int curr_num_columns = 0;
    int num_col_idx = 0;     // the next column-width slot
    // Cell flags of the current section, curr_tbl_max_rows rows of
    // curr_tbl_max_columns entries; null when there is none.
    int *table_cell_image = nullptr;
    int curr_tbl_max_rows = 0;
    int curr_tbl_max_columns = 0;
    int curr_row = 0;        // 1-based; 0 before the first
    int curr_col = 0;
    int from_cell_content = 0;  // inside cell content
};

// --- frames ---------------------------------------------------------------------------------

// A frame record; defined by the frames module.
struct FrameRecord;

struct FrameState {
    int in_aframe = 0;               // inside <AFrames
    int in_aframe_token = 0;         // inside an anchored-frame statement
    int save_apo_rect_data = 0;      // the next <BRect is the frame's own
    FrameRecord *curr_apo_data_ptr = nullptr;  // the current frame, or none
    int in_apo = 0;                  // an anchored frame is being output
    int apo_data_seen = 0;           // an anchored frame's data is pending
    int in_frame = 0;                // inside a frame statement
    int frame_text_rect = 0;         // a <TextRect inside a frame
    int text_seen = 0;
    int clear_pbc = 0;               // a paragraph border record was written
    // Imported objects and page graphics.  They are kept here until the
    // picture module has a state of its own.
    int in_importobject = 0;         // inside an imported object
    int first_page_gfx_output = 0;   // write the first page's graphics
};

// --- footnotes and colours ----------------------------------------------------------------

constexpr int kColorRecordSize = 80;
constexpr int kColorTagLimit = 60;  // characters of a <ColorTag kept

// A catalog colour being read.  In the colour file it takes 80 bytes: the
// name (64 bytes, NUL-terminated), then cyan, magenta, yellow and black as
// 32-bit percentages, most significant byte first, like every list file.
struct CmykColorRecord {
    char name[64];
    std::int32_t cyan, magenta, yellow, black;
};

inline void put_be32(unsigned char *out, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<unsigned char>(v >> 24);
    out[1] = static_cast<unsigned char>(v >> 16);
    out[2] = static_cast<unsigned char>(v >> 8);
    out[3] = static_cast<unsigned char>(v);
}

inline std::int32_t get_be32(const unsigned char *in) {
    return static_cast<std::int32_t>(std::uint32_t(in[0]) << 24 | std::uint32_t(in[1]) << 16 |
                                     std::uint32_t(in[2]) << 8 | std::uint32_t(in[3]));
}

// The file form of a colour record and back.
inline void store_color_record(const CmykColorRecord &color, unsigned char (&out)[kColorRecordSize]) {
    std::memcpy(out, color.name, sizeof color.name);
    put_be32(out + 64, color.cyan);
    put_be32(out + 68, color.magenta);
    put_be32(out + 72, color.yellow);
    put_be32(out + 76, color.black);
}

inline void load_color_record(const unsigned char (&in)[kColorRecordSize], CmykColorRecord &color) {
    std::memcpy(color.name, in, sizeof color.name);
    color.name[sizeof color.name - 1] = '\0';
    color.cyan = get_be32(in + 64);
    color.magenta = get_be32(in + 68);
    color.yellow = get_be32(in + 72);
    color.black = get_be32(in + 76);
}

struct ColourState {
    CmykColorRecord curr_cmyk_color = {};  // the <Color being read
    int num_cmyk_colors = 0;               // records in the colour file
    int cmyk_fh = -1;                      // the colour file, opened by the driver
    int force_color_output = 0;            // the next colour record is written even if unchanged
    int last_color_flags = 0;              // flags of the last BCL written
    CmykColorRecord cmyk_node = {};        // tf_get_cmyk_node's result
    int curr_color = 0;                    // the current colour's code
    char color_name[kFontNameSize] = {};   // the current colour's name
};

}  // namespace vox
