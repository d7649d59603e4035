// The statement dispatchers: the start and end actions of every token, as
// two tables indexed by token number.  A row either sets the state the
// statement stands for or hands the statement to the module that owns it.
#include "converter/dispatch.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/file_access.h"
#include "common/kernel_state.h"
#include "common/records.h"
#include "converter/colours.h"
#include "converter/conversion.h"
#include "converter/driver.h"
#include "converter/fonts.h"
#include "converter/numbering.h"
#include "converter/pages.h"
#include "converter/pending_handlers.h"
#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/text_flows.h"
#include "converter/token_reader.h"
#include "converter/token_table.h"
#include "converter/value_readers.h"

namespace vox {
namespace {

constexpr int kWriteFailed = 4;
constexpr int kSeekFailed = 17;
constexpr int kXrefNameLimit = 300;
constexpr int kColorNameLimit = 300;
constexpr int kConditionLimit = 500;

ParagraphFormatState &pgf() { return conv().paragraph_formats; }
FontState &fonts() { return conv().fonts; }
TabState &tabs() { return conv().tabs; }
ReferenceState &refs() { return conv().references; }
TableState &tables() { return conv().tables; }
FrameState &frames() { return conv().frames; }
ColourState &colours() { return conv().colours; }
ParagraphLayoutState &layout() { return conv().layout; }

// --- value shapes shared by many rows ------------------------------------------------

bool next_word_is(const char *keyword) {
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    return std::strcmp(word, keyword) == 0;
}

int next_word_flag(const char *keyword) { return next_word_is(keyword) ? 1 : 0; }

// Reads a string of at most `limit` bytes into `buffer` (limit + 1 bytes);
// false when the next value is not a string.
bool read_string(char *buffer, int limit) { return tf_from_read_string(buffer, limit) == 0; }

void close_hypertext_link() { tf_output_hypertext_xrf(nullptr, 5); }

// Re-applies the catalog format of the current paragraph after a nested
// object restored the paragraph state.
void reapply_paragraph_format() { tf_set_catalog_vars(layout().pgf_tag_name); }

// --- start actions that take more than a line ------------------------------------------

void start_indent(int &indent) {
    if (!pgf().in_pgf) return;
    indent = tf_convert_next_num();
    pgf().left_indent_change = 1;
    layout().can_rest_mar = 1;
}

// Version-3 colour numbers to colour codes.
constexpr int con_from_frame_color_tbl[8] = {0, 7, 4, 2, 1, 3, 5, 6};

void start_fseparation() {
    if (conv().preproc.zem_ver >= 4) return;
    int number = tf_read_next_int();
    if (number < 0 || number > 7) return;
    ColourState &c = colours();
    c.curr_color = con_from_frame_color_tbl[number];
    if (!pgf().in_pgfcatalog) tf_output_color(c.curr_color, c.color_name);
}

void start_fcolor() {
    char name[kColorNameLimit + 1];
    read_string(name, kColorNameLimit);
    ColourState &c = colours();
    std::size_t length = std::min(std::strlen(name), sizeof c.color_name - 1);
    std::memcpy(c.color_name, name, length);
    c.color_name[length] = '\0';
    if (pgf().in_pgfcatalog) return;
    c.curr_color = tf_cmyk_conv_color(c.color_name);
    tf_output_color(c.curr_color, c.color_name);
}

void start_para_line() {
    char *tag = layout().pgf_tag_name;
    if (tag[0] == '\0') {
        std::strcpy(tag, "Body");
        if (!pgf().in_pgfcatalog) tf_set_catalog_vars(tag);
    }
    conv().strings.hardreturn_seen = 0;
    // A number placed at the paragraph end waits for the end of <Para.
    if (!pgf().para_num_end) tf_output_para_num_string();
}

void start_tab_stop() {
    TabState &t = tabs();
    if (!t.start_tab_table) return;
    std::memset(t.work_tab_tbl, 0, sizeof t.work_tab_tbl);
    layout().curr_tab_idx = 0;
    t.start_tab_table = 0;
}

void start_ts_decimal_char() {
    int slot = layout().curr_tab_idx;
    if (tabs().skip_tab || slot >= kTabSlots) return;
    tabs().work_tab_tbl[slot][kTabDecimal] = tf_read_next_int();
}

void start_tsx() {
    int position = tf_convert_next_num();
    int slot = layout().curr_tab_idx;
    if (tf_new_tab(position)) {
        if (slot < kTabSlots) tabs().work_tab_tbl[slot][kTabPosition] = position;
    } else {
        tabs().skip_tab = 1;
    }
}

template <int Word>
void start_ruling() {
    tables().tbl_cat_work[Word] = tf_handle_ruling();
}

template <int TableState::*Section>
void start_section() {
    tables().*Section = 1;
    tf_handle_start_table();
}

void start_tbl_id() {
    tables().curr_table_id = tf_read_next_int();
    if (tables().curr_table_id <= 0) tf_frame_debug("Handle New Token: Table ID < 0.");
}

void start_xref_src_text() {
    char text[kXrefNameLimit + 1];
    if (!read_string(text, kXrefNameLimit)) {
        tf_frame_debug("Tran: Could not read XREF string.");
        return;
    }
    char number[kXrefNameLimit + 1] = {};
    const char *name = text;
    if (tf_style_xref(text)) {
        tf_get_xref_num(text, number);
        name = number;
    }
    if (refs().end_hypertext) close_hypertext_link();
    tf_output_hypertext_xrf(name, 4);
    refs().end_hypertext = 1;
    refs().xref_src_open = 1;
}

void start_xref_end() {
    if (!refs().xref_src_open) return;
    close_hypertext_link();
    refs().xref_src_open = 0;
}

void add_sidehead_offset() {
    int offset = tf_convert_next_num();
    (tabs().sidehead_right ? layout().tf_right_off : layout().tf_left_off) += offset;
}

void start_in_condition() {
    ReferenceState &r = refs();
    if (r.text_stat) tf_end_text_stat();
    char status[kConditionLimit + 1];
    read_string(status, kConditionLimit);
    if (std::strcmp(status, "Inserted") == 0)
        r.text_stat = 1;
    else if (std::strcmp(status, "Deleted") == 0)
        r.text_stat = 2;
    else
        r.text_stat = 0;
    if (r.text_stat != 0) r.do_text_stat = 1;
}

void start_fchangebar() {
    ReferenceState &r = refs();
    if (next_word_is("Yes")) {
        r.change_bar_seen = 1;
        r.do_text_stat = 1;
    } else {
        r.change_bar_seen = 0;
    }
}

// Arc, Ellipse, Polygon, PolyLine, Rectangle, RoundRect: one drawing
// placeholder per body page, and one per drawing object of a frame.
void start_drawing_object() {
    TextFlowState &flows = conv().text_flows;
    if (flows.interal_graph_output) return;
    const PageState &p = conv().pages;
    if (p.in_page) {
        if (p.curr_pg_ptr != nullptr && p.curr_pg_ptr->page_type == kBodyPage) tf_output_ff_graph_icfs();
        flows.interal_graph_output = 1;
    } else if (frames().in_frame) {
        tf_output_ff_graph_icfs();
    }
}

void start_pgf_num_format() {
    char *format = conv().numbering.pgf_num_format_str;
    read_string(format, kPgfNumFormatLimit);
    tf_fixup_special_string_chars(format);
}

void start_fcase() {
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    int &bits = layout().curr_high_act;
    bits &= ~(kHighAllCaps | kHighSmallCaps);
    if (std::strcmp(word, "FUppercase") == 0)
        bits |= kHighAllCaps;
    else if (std::strcmp(word, "FSmallCaps") == 0)
        bits |= kHighSmallCaps;
}

// --- end actions that take more than a line ----------------------------------------------

void end_aframe() {
    FrameState &f = frames();
    if (f.in_apo) {
        tf_output_apf();
        --f.in_apo;
        f.text_seen = 1;
        conv().text_flows.interal_graph_output = 0;
    }
    f.apo_data_seen = 0;
    f.in_aframe_token = 0;
    tf_pop_tf_state();
    reapply_paragraph_format();
}

void end_cell_content() {
    tables().from_cell_content = 0;
    if (frames().text_seen)
        tf_replace_curr_para_end(icf_code("HNL"), icf_code("HCB"));
    else
        out_icf(icf_code("HCB"));
}

void end_para_line() {
    if (!frames().text_seen) tf_prepare_4_text_output();
    if (layout().current_alig != pgf().style_alig) tf_end_curr_alig();
    const RoutingState &r = conv().routing;
    if (!r.text_flow && !r.in_table) return;
    if (!pgf().para_num_end) tf_output_para_num_string();
    StringState &s = conv().strings;
    if (s.line_pos != 0) {
        s.line_pos = 0;
        pgf().snl_seen = 1;
    }
    if (!s.hardreturn_seen)
        out_icf(icf_code("SNL"));
    else
        s.hardreturn_seen = 0;
}

// From the third column of a table on, the flags of the current cell (and
// of the cell to its left) can leave a paragraph end to the table itself.
bool paragraph_end_left_to_table() {
    const TableState &t = tables();
    if (!conv().routing.in_table || t.table_cell_image == nullptr || t.curr_col < 3) return false;
    if (t.curr_row < 1 || t.curr_row > t.curr_tbl_max_rows || t.curr_col > t.curr_tbl_max_columns) return false;
    const int *row = t.table_cell_image + (t.curr_row - 1) * t.curr_tbl_max_columns;
    int cell = row[t.curr_col - 1];
    int left = row[t.curr_col - 2];
    return (cell & kCellFlag32) && ((left & kCellFlag4) || (cell & kCellFlag8));
}

void end_para() {
    close_hypertext_link();
    if (paragraph_end_left_to_table()) return;
    if (pgf().para_num_end) tf_output_para_num_string();
    tf_handle_hard_new_line();
    tabs().start_tab_table = 1;
}

void end_tab_stop() {
    if (tabs().skip_tab)
        tabs().skip_tab = 0;
    else if (layout().curr_tab_idx < kTabSlots)
        ++layout().curr_tab_idx;  // stops beyond the 30th are dropped
}

template <int TableState::*Section>
void end_section() {
    tables().*Section = 0;
    tf_clear_cell_ruling_list();
}

void end_pgf_font() {
    const FontState &f = fonts();
    FontStateRecord &prev = fonts().prev_font_state;
    std::memcpy(prev.family, f.font_family, sizeof prev.family);
    prev.size = f.curr_font_size;
    prev.attributes = layout().curr_high_act;
    prev.color = f.default_color;
    std::strcpy(prev.color_name, "Black");
    pgf().in_pgffont = 0;
}

// Stores the catalog colour just read as record num_cmyk_colors of the
// colour file.  Without a colour file nothing is stored or counted.
void end_color() {
    ColourState &c = colours();
    if (c.cmyk_fh < 0) return;
    long offset = static_cast<long>(c.num_cmyk_colors) * kColorRecordSize;
    if (VOXlseek(c.cmyk_fh, offset, 0) != offset) tf_frame_exit(kSeekFailed);
    unsigned char record[kColorRecordSize];
    store_color_record(c.curr_cmyk_color, record);
    if (VOXwrite(c.cmyk_fh, record, kColorRecordSize) != kColorRecordSize) tf_frame_exit(kWriteFailed);
    note_list_write(list_files().colours, c.cmyk_fh, offset, record, kColorRecordSize);
    ++c.num_cmyk_colors;
}

// --- the tables ---------------------------------------------------------------------------

using Action = void (*)();

struct TokenRow {
    int token;
    Action action;
};

template <int (*Handler)()>
void call() {
    Handler();
}

template <int Token>
void set_high() {
    tf_set_high_stat(Token);
}

constexpr TokenRow kStartRows[] = {
    {tok::AFrames, [] { frames().in_aframe = 1; tf_push_tf_state(); }},
    {tok::AFrame, call<tf_handle_aframe_token>},
    {tok::PgfAlignment, call<tf_handle_alig_token>},
    {tok::ATbl, call<tf_handle_atbl_token>},
    {tok::FBold, set_high<tok::FBold>},
    {tok::FDoubleUnderline, set_high<tok::FDoubleUnderline>},
    {tok::FItalic, set_high<tok::FItalic>},
    {tok::FOutline, set_high<tok::FOutline>},
    {tok::FShadow, set_high<tok::FShadow>},
    {tok::FStrike, set_high<tok::FStrike>},
    {tok::FSubScript, set_high<tok::FSubScript>},
    {tok::FSupScript, set_high<tok::FSupScript>},
    {tok::FUnderline, set_high<tok::FUnderline>},
    {tok::BRect, call<tf_handle_brect_token>},
    {tok::CellColumns, [] { tf_handle_cell_straddle(tf_read_next_int(), 0); }},
    {tok::CellRows, [] { tf_handle_cell_straddle(tf_read_next_int(), 1); }},
    {tok::CellContent, call<tf_handle_cellcontent_token>},
    {tok::Cell, call<tf_handle_cell_token>},
    {tok::Char, call<tf_handle_char_token>},
    {tok::DPageNumStyle, call<tf_handle_dpagenumstyle_token>},
    {tok::DStartPage, call<tf_handle_dstartpage_token>},
    {tok::FAngle, call<tf_do_fangle_token>},
    {tok::FFamily, call<tf_handle_ffamily_token>},
    {tok::PgfFIndent, [] { start_indent(layout().curr_first_indent); }},
    {tok::FNote, call<tf_get_footnote>},
    {tok::FontCatalog, [] { fonts().in_fontcatalog = 1; fonts().font_family[0] = '\0'; }},
    {tok::Font, close_hypertext_link},
    {tok::Frame, [] { tf_handle_frame_token(); frames().save_apo_rect_data = 1; }},
    {tok::FSeparation, start_fseparation},
    {tok::FSize, [] { fonts().curr_font_size = tf_convert_next_num(); }},
    {tok::FWeight, call<tf_do_fweight_token>},
    {tok::ID, call<tf_handle_id_token>},
    {tok::ImportObFileDI, call<tf_handle_importobfiledi_token>},
    {tok::ImportObject, call<tf_handle_importobject_token>},
    {tok::PgfLIndent, [] { start_indent(layout().curr_left_indent); }},
    {tok::Marker, [] { refs().in_marker = 1; }},
    {tok::MText, call<tf_handle_mtext_token>},
    {tok::MType, call<tf_handle_mtype_token>},
    {tok::Notes, call<tf_buffer_notes>},
    {tok::PageOrientation, call<tf_handle_pageorient_token>},
    {tok::PageSize, call<tf_handle_pagesize_token>},
    {tok::PageTag, call<tf_handle_pagetag_token>},
    {tok::PageType, call<tf_handle_pagetype_token>},
    {tok::Page, call<tf_handle_page_token>},
    {tok::ParaLine, start_para_line},
    {tok::Para, [] { layout().pgf_tag_name[0] = '\0'; }},
    {tok::PgfCatalog, [] { pgf().in_pgfcatalog = 1; }},
    {tok::PgfLanguage, call<tf_handle_lang_token>},
    {tok::PgfNumAtEnd, [] { pgf().para_num_end = next_word_flag("Yes"); }},
    {tok::PgfNumString, call<tf_handle_pgfstring_token>},
    {tok::PgfPlacement, [] { if (next_word_is("PageTop")) conv().pages.start_new_page = kHardBreak; }},
    {tok::PgfSpAfter, [] { layout().para_sp_after = tf_convert_next_num(); }},
    {tok::PgfSpBefore, [] { layout().para_sp_before = tf_convert_next_num(); }},
    {tok::PgfTag, call<tf_handle_pgftag_token>},
    {tok::PgfLeading, [] { if (int space = tf_convert_next_num(); space >= 1) layout().new_line_space = space; }},
    {tok::Pgf, [] { pgf().in_pgf = 1; }},
    {tok::PgfRIndent, [] { if (pgf().in_pgf) layout().curr_right_indent = tf_convert_next_num(); }},
    {tok::Row, call<tf_handle_row_token>},
    {tok::String, call<tf_handle_string_token>},
    {tok::TabStop, start_tab_stop},
    {tok::TblAlignment, call<tf_handle_tblalignment_token>},
    {tok::TblLRuling, start_ruling<kTblWordLRuling>},
    {tok::TblBRuling, start_ruling<kTblWordBRuling>},
    {tok::TblRRuling, start_ruling<kTblWordRRuling>},
    {tok::TblTRuling, start_ruling<kTblWordTRuling>},
    {tok::TblColumnRuling, start_ruling<kTblWordColumnRuling>},
    {tok::TblBodyRowRuling, start_ruling<kTblWordBodyRowRuling>},
    {tok::TblHFRowRuling, start_ruling<kTblWordHFRowRuling>},
    {tok::TblSeparatorRuling, start_ruling<kTblWordSeparatorRuling>},
    {tok::TblBody, start_section<&TableState::in_body>},
    {tok::TblF, start_section<&TableState::in_foot>},
    {tok::TblH, [] { tables().heading_seen = 1; start_section<&TableState::in_heading>(); }},
    {tok::TblCatalog, [] { tables().in_tbl_catalog = 1; tf_push_tf_state(); }},
    {tok::TblColumnWidth, call<tf_handle_tblcolumnwidth_token>},
    {tok::TblFormat, [] {
         tables().in_tbl_format = 1;
         if (tables().in_tbl_catalog) std::memset(tables().tbl_cat_work, 0, sizeof tables().tbl_cat_work);
     }},
    {tok::TblID, start_tbl_id},
    {tok::TblNumColumns, [] { tables().curr_num_columns = tf_read_next_int(); tables().num_col_idx = 0; }},
    {tok::TblTag, call<tf_handle_tbltag_token>},
    {tok::Tbl, call<tf_handle_tbl_token>},
    {tok::TblTitleContent, [] { tables().in_title = 1; tables().title_seen = 1; }},
    {tok::TextRectID, call<tf_handle_textrectid_token>},
    {tok::TextRect, call<tf_handle_textrect_token>},
    {tok::TRNext, call<tf_handle_trnext_token>},
    {tok::TextFlow, call<tf_start_new_text_flow>},
    {tok::TSDecimalChar, start_ts_decimal_char},
    {tok::TSLeaderStr, call<tf_handle_tsleader_token>},
    {tok::TSType, call<tf_handle_tab_type_token>},
    {tok::TSX, start_tsx},
    {tok::VariableDef, call<tf_handle_vardef_token>},
    {tok::VariableName, call<tf_handle_varname_token>},
    {tok::VariableFormat, [] { refs().in_var_frmt = 1; }},
    {tok::Variable, [] { refs().var_stat = 1; }},
    {tok::XRefSrcText, start_xref_src_text},
    {tok::PgfFont, [] { pgf().in_pgffont = 1; }},
    {tok::FUnderlining, call<tf_handle_funderlining_token>},
    {tok::FPosition, call<tf_handle_fposition_token>},
    {tok::XRefEnd, start_xref_end},
    {tok::FTag, [] { if (!pgf().in_pgfcatalog) tf_handle_ftag_token(); }},
    {tok::PgfPlacementStyle, call<tf_handle_pgfplacementstyle>},
    {tok::PgfNumberFont, [] { read_string(conv().numbering.pgf_num_font_name, kPgfNumFontLimit); }},
    {tok::TFSideheadPlacement, [] { tabs().sidehead_right = next_word_flag("Right"); }},
    {tok::TFSideheadWidth, add_sidehead_offset},
    {tok::TFSideheadGap, add_sidehead_offset},
    {tok::Color, [] { colours().curr_cmyk_color = CmykColorRecord{}; }},
    {tok::ColorCyan, [] { colours().curr_cmyk_color.cyan = tf_read_next_int(); }},
    {tok::ColorMagenta, [] { colours().curr_cmyk_color.magenta = tf_read_next_int(); }},
    {tok::ColorYellow, [] { colours().curr_cmyk_color.yellow = tf_read_next_int(); }},
    {tok::ColorBlack, [] { colours().curr_cmyk_color.black = tf_read_next_int(); }},
    {tok::ColorTag, [] { read_string(colours().curr_cmyk_color.name, kColorTagLimit); }},
    {tok::FColor, start_fcolor},
    {tok::FileName, call<tf_handle_filename_token>},
    {tok::PgfWithNext, [] { pgf().keep_with_next = pgf().output_kwn = next_word_flag("Yes"); }},
    {tok::InCondition, start_in_condition},
    {tok::FChangeBar, start_fchangebar},
    {tok::Arc, start_drawing_object},
    {tok::Ellipse, start_drawing_object},
    {tok::Polygon, start_drawing_object},
    {tok::PolyLine, start_drawing_object},
    {tok::Rectangle, start_drawing_object},
    {tok::RoundRect, start_drawing_object},
    {tok::PgfNumFormat, start_pgf_num_format},
    {tok::FCase, start_fcase},
    {tok::PgfLineSpacing, [] { pgf().fixed_line = next_word_flag("Fixed"); }},
    {tok::Pen, call<tf_handle_pen_token>},
};

constexpr TokenRow kEndRows[] = {
    {tok::AFrames, [] { frames().in_aframe = 0; tf_pop_tf_state(); }},
    {tok::AFrame, end_aframe},
    {tok::ATbl, [] { tf_pop_tf_state(); reapply_paragraph_format(); }},
    {tok::CellContent, end_cell_content},
    {tok::FNote, call<tf_end_footnote>},
    {tok::FontCatalog, [] { fonts().in_fontcatalog = 0; }},
    {tok::Font, call<tf_handle_end_font>},
    {tok::Frame, [] {
         FrameState &f = frames();
         tf_pop_frame_state(f.in_frame, f.curr_apo_data_ptr);
         f.save_apo_rect_data = 0;
         conv().text_flows.interal_graph_output = 0;
     }},
    {tok::ImportObject, [] { frames().in_importobject = 0; }},
    {tok::Marker, [] { refs().in_marker = 0; refs().do_marker = -1; }},
    {tok::Page, call<tf_handle_end_page>},
    {tok::ParaLine, end_para_line},
    {tok::Para, end_para},
    {tok::PgfCatalog, [] { pgf().in_pgfcatalog = 0; }},
    {tok::Pgf, call<tf_handle_end_pgf>},
    {tok::TabStop, end_tab_stop},
    {tok::TblBody, end_section<&TableState::in_body>},
    {tok::TblF, end_section<&TableState::in_foot>},
    {tok::TblH, end_section<&TableState::in_heading>},
    {tok::TblCatalog, [] { tables().in_tbl_catalog = 0; tf_pop_tf_state(); }},
    {tok::TblFormat, call<tf_end_tbl_format>},
    {tok::TblTitleContent, [] { layout().curr_high_act = 0; tf_write_attr(0); tables().in_title = 0; }},
    {tok::Tbl, call<tf_handle_end_tbl>},
    {tok::TextRect, call<tf_handle_end_textrect>},
    {tok::TextFlow, call<tf_end_curr_text_flow>},
    {tok::VariableFormat, [] { refs().in_var_frmt = 0; }},
    {tok::Variable, [] { refs().var_stat = 0; }},
    {tok::PgfFont, end_pgf_font},
    {tok::Color, end_color},
};

using ActionTable = std::array<Action, kTokenCount + 1>;

// Spreads the rows over a table indexed by token number; a token listed
// twice fails the build.
template <std::size_t N>
constexpr ActionTable by_token(const TokenRow (&rows)[N]) {
    ActionTable table{};
    for (const TokenRow &row : rows) {
        if (row.token < 1 || row.token > kTokenCount || table[row.token] != nullptr)
            throw "token row out of range or repeated";
        table[row.token] = row.action;
    }
    return table;
}

constexpr ActionTable kStartActions = by_token(kStartRows);
constexpr ActionTable kEndActions = by_token(kEndRows);

void dispatch(const ActionTable &actions, int number) {
    if (number >= 1 && number <= kTokenCount && actions[number] != nullptr) actions[number]();
}

}  // namespace
}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_handle_command_token(void) {
    int number = tf_read_token_num();
    if (number == 0) {
        tf_unknown_token_line_skip();
        kernel().errors.last_err = kUnreadableToken;
    }
    if (tf_push_token(number) != 0) tf_frame_exit(kBrokenStructure);
    tf_handle_new_token(number);
    return 0;
}

VOX_API int tf_end_token(void) {
    int number = tf_pop_token();
    if (number < 0) tf_frame_exit(kBrokenStructure);
    tf_handle_end_token(number);
    return 0;
}

VOX_API int tf_handle_new_token(int number) {
    dispatch(kStartActions, number);
    return 0;
}

VOX_API int tf_handle_end_token(int number) {
    dispatch(kEndActions, number);
    return 0;
}
}
