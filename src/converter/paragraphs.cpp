// Paragraph formats and the paragraph catalog; see paragraphs.h.
#include "converter/paragraphs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/file_access.h"
#include "common/int32.h"
#include "common/records.h"
#include "converter/colours.h"
#include "converter/conversion.h"
#include "converter/driver.h"
#include "converter/fonts.h"
#include "converter/list_files.h"
#include "converter/pages.h"
#include "converter/tabs.h"
#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/text_flows.h"
#include "converter/value_readers.h"

namespace vox {
namespace {

constexpr unsigned kSYT = icf_code("SYT"), kSYP = icf_code("SYP"), kSEP = icf_code("SEP"),
                   kSTY = icf_code("STY"), kSTF = icf_code("STF"), kSTE = icf_code("STE"),
                   kSBF = icf_code("SBF"), kSAF = icf_code("SAF"), kRSP = icf_code("RSP"),
                   kLNH = icf_code("LNH"), kKWN = icf_code("KWN"), kHNL = icf_code("HNL"),
                   kETM = icf_code("ETM");

constexpr int kWriteFailed = 4;
constexpr int kSeekFailed = 17;
constexpr int kTagReadLimit = 300;     // characters of a <PgfTag string read
constexpr int kSingleSpacing = 40;     // the leading of single spacing
constexpr int kLineHeight = 240;       // char_height: the nominal line height, twips
constexpr int kHalfLine = kLineHeight / 2;
constexpr int kDefaultPitchSize = 200; // a font size of 0 counts as this
constexpr int kPlacementWordSize = 32; // room for "SideheadFirstBaseline"
constexpr int kCharPartOffsetInEntry = 140;

ParagraphFormatState &pgf() { return conv().paragraph_formats; }
ParagraphLayoutState &layout() { return conv().layout; }
FontState &fonts() { return conv().fonts; }
TabState &tabs() { return conv().tabs; }
NumberingState &numbering() { return conv().numbering; }
ColourState &colours() { return conv().colours; }

// Copies a text into a field of `size` bytes, cut to size - 1 characters
// and terminated; the rest of the field is left as it is.
template <std::size_t N>
void copy_text(char (&field)[N], const char *text) {
    std::size_t length = std::min(std::strlen(text), N - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

// --- the file form of an entry -----------------------------------------------------------

void put_field(unsigned char *out, const char *text, std::size_t size) {
    std::memcpy(out, text, size);
    out[size - 1] = '\0';
}

void get_field(char *text, const unsigned char *in, std::size_t size) {
    std::memcpy(text, in, size);
    text[size - 1] = '\0';
}

// The seven flag words from offset 548 on, in file order.
std::int32_t PgfCatalogEntry::*const kFlagWords[] = {
    &PgfCatalogEntry::default_unit,   &PgfCatalogEntry::num_at_end, &PgfCatalogEntry::side_head,
    &PgfCatalogEntry::straddle,       &PgfCatalogEntry::keep_with_next, &PgfCatalogEntry::page_top,
    &PgfCatalogEntry::fixed_line,
};

// --- the catalog file --------------------------------------------------------------------

int catalog_handle() { return conv().driver.cat_list_handle; }

void write_catalog_entry(const PgfCatalogEntry &entry, int index) {
    long offset = static_cast<long>(index) * kPgfEntrySize;
    if (VOXlseek(catalog_handle(), offset, SEEK_SET) != offset) tf_frame_exit(kSeekFailed);
    unsigned char bytes[kPgfEntrySize];
    encode_pgf_entry(entry, bytes);
    if (VOXwrite(catalog_handle(), bytes, kPgfEntrySize) != kPgfEntrySize) tf_frame_exit(kWriteFailed);
    note_list_write(list_files().pgf_catalog, catalog_handle(), offset, bytes, kPgfEntrySize);
}

// --- writing records ---------------------------------------------------------------------

// A text parameter: the tag through the converting string writer, then US.
void write_text_param(const char *text) {
    tf_frame_from_out_string(text);
    tf_frame_putc(kUS);
}

void write_decimal_record(unsigned code, std::initializer_list<int> values) {
    beg_icf(code);
    for (int value : values) dec_out(static_cast<std::uint32_t>(value));
    end_icf();
}

// STY or STF: tag, style number, kind.
void write_style_switch(unsigned code, const char *tag, int number, int kind) {
    beg_icf(code);
    write_text_param(tag);
    dec_out(static_cast<std::uint32_t>(number));
    dec_out(static_cast<std::uint32_t>(kind));
    end_icf();
}

// --- applying an entry -------------------------------------------------------------------

void apply_layout(const PgfCatalogEntry &entry) {
    ParagraphLayoutState &l = layout();
    ParagraphFormatState &p = pgf();
    p.local_style = 0;
    copy_text(l.pgf_tag_name, entry.tag);
    p.style_alig = l.default_alig = l.current_alig = entry.alignment;
    l.new_line_space = l.default_line_space = entry.leading;
    l.para_sp_before = l.def_para_sp_before = entry.space_before;
    l.para_sp_after = l.def_para_sp_after = entry.space_after;
    p.after_num_hnl = entry.space_after / kLineHeight;
    const PageState &pages = conv().pages;
    p.sty_last_seen_left = pages.last_seen_left_margin;
    p.sty_last_seen_right = pages.last_seen_right_margin;
    l.curr_first_indent = p.sty_curr_first = entry.first_indent;
    l.curr_left_indent = tabs().sty_curr_left = entry.left_indent;
    l.curr_right_indent = p.sty_curr_right = entry.right_indent;
    p.fixed_line = entry.fixed_line;
}

// The counted stops go into the working and the default table; the slots
// after them keep what they held.
void apply_tabs(const PgfCatalogEntry &entry) {
    TabState &t = tabs();
    layout().curr_tab_idx = t.default_tab_cnt = entry.tab_count;
    int count = std::clamp(entry.tab_count, 0, kTabSlots);
    for (int i = 0; i < count; ++i) {
        const PgfEntryTab &stop = entry.tabs[i];
        for (TabTable *table : {&t.work_tab_tbl, &t.default_tab_tabl}) {
            (*table)[i][kTabPosition] = stop.position;
            (*table)[i][kTabLeader] = static_cast<unsigned char>(stop.leader);
            (*table)[i][kTabType] = static_cast<unsigned char>(stop.type);
        }
    }
}

int pitch_of(int size) { return 2400 / (size == 0 ? kDefaultPitchSize : size); }

void apply_font_and_flags(const PgfCatalogEntry &entry) {
    FontState &f = fonts();
    ParagraphFormatState &p = pgf();
    copy_text(f.font_family, entry.font.family);
    copy_text(f.font_name, entry.font.family);
    copy_text(p.sty_font_name, entry.font.family);
    f.last_seen_font_num = tf_get_font_num(entry.font.family);
    p.sty_font_size = f.curr_font_size = entry.font.size;
    conv().strings.char_width = pitch_of(entry.font.size);
    layout().curr_high_act = f.default_high_attrib = entry.font.attributes;
    f.default_color = entry.font.color;
    conv().values.default_unit = entry.default_unit;
    p.para_num_end = entry.num_at_end;
    p.do_second_style = entry.side_head;
    p.over_ride_tf_off = entry.straddle;
    copy_text(colours().color_name, entry.font.color_name);
    NumberingState &n = numbering();
    copy_text(n.pgf_num_font_name, entry.num_font);
    copy_text(n.pgf_num_format_str, entry.num_format);
    conv().pages.start_new_page = entry.page_top;
    n.num_string_to_output[0] = '\0';
}

// The paragraph font after the style-on group, so that font changes in the
// text are measured against it.
void remember_paragraph_font(const PgfCatalogEntry &entry) {
    FontState &f = fonts();
    FontStateRecord &prev = f.prev_font_state;
    prev = FontStateRecord{};
    copy_text(prev.family, entry.font.family);
    prev.size = entry.font.size;
    prev.attributes = entry.font.attributes;
    prev.color = f.default_color;
    copy_text(prev.color_name, entry.font.color_name);
    f.last_seen_font_num = tf_get_font_num(entry.font.family);
    f.last_font_size = entry.font.size;
    pgf().keep_with_next = entry.keep_with_next;
    pgf().output_kwn = 0;
}

// --- the property records ------------------------------------------------------------------

// The alignment begin record of the style; the paragraph's own alignment
// and justification mode stay as they were.
void write_style_alignment(int alignment) {
    ParagraphLayoutState &l = layout();
    int saved_alig = l.current_alig, saved_brj = l.brj_mode;
    l.current_alig = alignment;
    tf_start_pgf_alig();
    l.current_alig = saved_alig;
    l.brj_mode = saved_brj;
}

// A record is always written: the last spacing is made to differ.
void write_style_leading(int leading) {
    ParagraphLayoutState &l = layout();
    int saved_old = l.old_line_space, saved_new = l.new_line_space;
    l.new_line_space = leading;
    l.old_line_space = wrap_add(leading, 1);
    tf_output_rsp();
    l.old_line_space = saved_old;
    l.new_line_space = saved_new;
}

void refresh_entry_tabs(PgfCatalogEntry &entry) {
    int count = std::clamp(layout().curr_tab_idx, 0, kTabSlots);
    entry.tab_count = count;
    for (int i = 0; i < count; ++i) {
        const int *slot = tabs().work_tab_tbl[i];
        entry.tabs[i].position = slot[kTabPosition];
        entry.tabs[i].leader = static_cast<char>(slot[kTabLeader]);
        entry.tabs[i].type = static_cast<char>(slot[kTabType]);
    }
}

// Space records with the format defaults taken as 0, never collapsed.
void write_style_spacing() {
    ParagraphLayoutState &l = layout();
    if (l.para_sp_before == 0 && l.para_sp_after == 0) return;
    int saved_before = l.def_para_sp_before, saved_after = l.def_para_sp_after;
    l.def_para_sp_before = l.def_para_sp_after = 0;
    tf_output_para_space(0);
    l.def_para_sp_before = saved_before;
    l.def_para_sp_after = saved_after;
}

// --- the style-off group -------------------------------------------------------------------

void end_local_style() {
    const FontState &f = fonts();
    if (layout().curr_high_act != f.default_high_attrib) tf_write_attr(f.default_high_attrib);
}

void end_catalog_style(const PgfCatalogEntry &entry, int index) {
    FontState &f = fonts();
    ParagraphLayoutState &l = layout();
    if (f.have_char_style) tf_end_char_style(f.curr_font_cat_entry);
    tf_end_para_reset_alig(1);
    l.current_alig = l.default_alig = entry.alignment;
    if (entry.font.attributes == 0) l.curr_high_act = 0;
    tf_write_attr(l.curr_high_act);
    write_style_switch(kSTF, entry.tag, index + 1, 0);
    l.curr_high_act &= ~entry.font.attributes;
    tf_write_attr(l.curr_high_act);
    out_icf(kSTE);
}

// --- the paragraph data ------------------------------------------------------------------------

// The temporary margin of the applied format ends when the paragraph's own
// indents differ from the format's.
void end_format_margin_if_changed() {
    const ParagraphLayoutState &l = layout();
    int sty_left = tabs().sty_curr_left, sty_first = pgf().sty_curr_first;
    bool left_changed = sty_left != 0 && l.curr_left_indent != sty_left;
    bool first_changed = sty_first != 0 && l.curr_first_indent != sty_first;
    if ((left_changed || first_changed) && layout().can_rest_mar) {
        out_icf(kETM);
        layout().can_rest_mar = 0;
        tabs().can_do_tmp_mar = 1;
    }
}

// The space before, folded into the space after of the last paragraph.
int collapsed_space_before(int before) {
    int last = pgf().last_para_sp_after;
    if (before > last) return before - last;
    return last != 0 ? 0 : before;
}

}  // namespace

void write_blank_lines(int count) {
    for (int i = 0; i < std::min(count, kMaxBlankLines); ++i) write_decimal_record(kHNL, {1});
}

void encode_pgf_entry(const PgfCatalogEntry &entry, unsigned char (&out)[kPgfEntrySize]) {
    std::memset(out, 0, sizeof out);
    put_field(out, entry.tag, sizeof entry.tag);
    put_be32(out + 124, entry.alignment);
    put_be32(out + 128, entry.first_indent);
    put_be32(out + 132, entry.left_indent);
    put_be32(out + 136, entry.right_indent);
    store_char_part(entry.font, out + kCharPartOffsetInEntry);
    put_be32(out + 292, entry.leading);
    put_be32(out + 296, entry.tab_count);
    put_be32(out + 300, entry.space_before);
    put_be32(out + 304, entry.space_after);
    for (int i = 0; i < kTabSlots; ++i) {
        unsigned char *slot = out + 308 + 8 * i;
        put_be32(slot, entry.tabs[i].position);
        slot[4] = static_cast<unsigned char>(entry.tabs[i].leader);
        slot[5] = static_cast<unsigned char>(entry.tabs[i].type);
    }
    for (std::size_t i = 0; i < std::size(kFlagWords); ++i) put_be32(out + 548 + 4 * i, entry.*kFlagWords[i]);
    put_field(out + 576, entry.num_format, sizeof entry.num_format);
    put_field(out + 877, entry.num_font, sizeof entry.num_font);
}

void decode_pgf_entry(const unsigned char (&in)[kPgfEntrySize], PgfCatalogEntry &entry) {
    entry = PgfCatalogEntry{};
    get_field(entry.tag, in, sizeof entry.tag);
    entry.alignment = get_be32(in + 124);
    entry.first_indent = get_be32(in + 128);
    entry.left_indent = get_be32(in + 132);
    entry.right_indent = get_be32(in + 136);
    load_char_part(in + kCharPartOffsetInEntry, entry.font);
    entry.leading = get_be32(in + 292);
    entry.tab_count = get_be32(in + 296);
    entry.space_before = get_be32(in + 300);
    entry.space_after = get_be32(in + 304);
    for (int i = 0; i < kTabSlots; ++i) {
        const unsigned char *slot = in + 308 + 8 * i;
        entry.tabs[i].position = get_be32(slot);
        entry.tabs[i].leader = static_cast<char>(slot[4]);
        entry.tabs[i].type = static_cast<char>(slot[5]);
    }
    for (std::size_t i = 0; i < std::size(kFlagWords); ++i) entry.*kFlagWords[i] = get_be32(in + 548 + 4 * i);
    get_field(entry.num_format, in + 576, sizeof entry.num_format);
    get_field(entry.num_font, in + 877, sizeof entry.num_font);
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_handle_pgftag_token(void) {
    char tag[kTagReadLimit + 1];
    tf_from_read_string(tag, kTagReadLimit);
    tag[kPgfTagLimit] = '\0';
    copy_text(layout().pgf_tag_name, tag);
    if (!pgf().in_pgfcatalog) tf_set_catalog_vars(layout().pgf_tag_name);
    return 0;
}

VOX_API int tf_handle_pgfplacementstyle(void) {
    char word[kPlacementWordSize];
    read_compress_word(word, sizeof word);
    if (std::strcmp(word, "SideheadTop") == 0 || std::strcmp(word, "SideheadFirstBaseline") == 0 ||
        std::strcmp(word, "SideheadLastBaseline") == 0)
        pgf().do_second_style = 1;
    else if (std::strcmp(word, "Straddle") == 0)
        pgf().over_ride_tf_off = 1;
    return 0;
}

VOX_API int tf_handle_end_pgf(void) {
    if (!pgf().in_pgfcatalog) {
        pgf().in_pgf = 0;
        return 0;
    }
    PgfCatalogEntry entry{};
    if (layout().curr_tab_idx > kTabSlots) layout().curr_tab_idx = kTabSlots;
    tf_store_pgfcat_data(&entry);
    tf_write_syt_data(&entry);
    write_catalog_entry(entry, pgf().cat_idx);
    ++pgf().cat_idx;
    tf_reset_pgf_vars();
    return 0;
}

VOX_API int tf_store_pgfcat_data(PgfCatalogEntry *entry) {
    const ParagraphLayoutState &l = layout();
    const ParagraphFormatState &p = pgf();
    const FontState &f = fonts();
    const ColourState &c = colours();
    copy_text(entry->tag, l.pgf_tag_name);
    entry->alignment = l.current_alig;
    entry->first_indent = l.curr_first_indent;
    entry->left_indent = l.curr_left_indent;
    entry->right_indent = l.curr_right_indent;
    copy_text(entry->font.family, f.font_family);
    entry->font.size = f.curr_font_size;
    entry->font.attributes = l.curr_high_act;
    entry->font.color = c.curr_color;
    copy_text(entry->font.color_name, c.color_name);
    entry->leading = l.new_line_space;
    entry->space_before = l.para_sp_before;
    entry->space_after = l.para_sp_after;
    refresh_entry_tabs(*entry);
    entry->default_unit = conv().values.default_unit;
    entry->num_at_end = p.para_num_end;
    entry->side_head = p.do_second_style;
    entry->straddle = p.over_ride_tf_off;
    entry->keep_with_next = p.keep_with_next;
    entry->page_top = conv().pages.start_new_page;
    entry->fixed_line = p.fixed_line;
    copy_text(entry->num_format, conv().numbering.pgf_num_format_str);
    copy_text(entry->num_font, conv().numbering.pgf_num_font_name);
    return 0;
}

VOX_API int tf_get_table_idx(const char *tag, PgfCatalogEntry *entry_out) {
    int remaining = pgf().cat_idx;
    if (remaining <= 0 || catalog_handle() < 0) return -1;
    using Entry = unsigned char[kPgfEntrySize];
    auto tagged = [&](const Entry &bytes) {
        char entry_tag[kPgfEntryTagSize];  // the entry's first field
        get_field(entry_tag, bytes, sizeof entry_tag);
        if (std::strcmp(entry_tag, tag) != 0) return false;
        decode_pgf_entry(bytes, *entry_out);
        return true;
    };
    ListCache &cache = list_files().pgf_catalog;
    const int index = find_list_record<kPgfEntrySize>(catalog_handle(), cache, remaining, tagged);
    if (index == kListSeekFailed) tf_frame_exit(kSeekFailed);
    return index;
}

VOX_API int tf_set_catalog_vars(const char *tag) {
    char wanted[kPgfEntryTagSize];
    copy_text(wanted, tag != nullptr ? tag : "");
    PgfCatalogEntry entry;
    int index = tf_get_table_idx(wanted, &entry);
    if (index < 0) {
        pgf().local_style = 1;
        return 0;
    }
    apply_layout(entry);
    apply_tabs(entry);
    apply_font_and_flags(entry);
    tf_write_sty_data(&entry, index + 1, 0);
    remember_paragraph_font(entry);
    return 0;
}

VOX_API int tf_write_syt_data(PgfCatalogEntry *entry) {
    if (conv().preproc.zem_book) return 0;
    beg_icf(kSYT);
    write_text_param(entry->tag);
    dec_out(static_cast<std::uint32_t>(pgf().cat_idx + 1));
    write_decimal_record(kSYP, {0});
    tf_write_style_data(entry);
    out_icf(kSEP);
    layout().curr_high_act = 0;
    tf_write_attr(0);
    if (entry->font.color != 0 || std::strcmp(entry->font.color_name, "Black") == 0) tf_output_color(0, "Black");
    end_icf();
    return 0;
}

VOX_API int tf_write_sty_data(PgfCatalogEntry *entry, int number, int kind) {
    if (conv().tables.in_tbl_catalog) return 0;
    write_style_switch(kSTY, entry->tag, number, kind);
    FontState &f = fonts();
    int saved_attr = f.last_seen_attr;
    f.last_seen_attr = 0;
    tf_write_style_data(entry);
    f.last_seen_attr = saved_attr;
    out_icf(kSTE);
    tf_output_rsp();
    return 0;
}

VOX_API int tf_write_style_data(PgfCatalogEntry *entry) {
    ParagraphLayoutState &l = layout();
    tabs().in_style = 1;
    write_style_alignment(entry->alignment);
    if (entry->leading != kSingleSpacing) write_style_leading(entry->leading);
    bool indents = entry->first_indent != 0 || entry->left_indent != 0 || entry->right_indent != 0;
    int saved_first = l.curr_first_indent, saved_left = l.curr_left_indent, saved_right = l.curr_right_indent;
    if (indents) {
        l.curr_first_indent = entry->first_indent;
        l.curr_left_indent = entry->left_indent;
        l.curr_right_indent = entry->right_indent;
        tf_check_temp_margins();
    }
    refresh_entry_tabs(*entry);
    tf_write_out_tab_table(1);
    write_style_spacing();
    if (indents) {
        tf_write_temp_margins();
        l.curr_first_indent = saved_first;
        l.curr_left_indent = saved_left;
        l.curr_right_indent = saved_right;
    }
    if (pgf().keep_with_next) out_icf(kKWN);
    unsigned char part[kCharPartSize];
    store_char_part(entry->font, part);
    tf_write_char_style_data(part);
    tabs().in_style = 0;
    return 0;
}

VOX_API int tf_end_curr_style(void) {
    PgfCatalogEntry entry;
    int index = tf_get_table_idx(layout().pgf_tag_name, &entry);
    if (index < 0)
        end_local_style();
    else
        end_catalog_style(entry, index);
    return 0;
}

VOX_API int tf_reset_pgf_vars(void) {
    ParagraphLayoutState &l = layout();
    ParagraphFormatState &p = pgf();
    TabState &t = tabs();
    l.current_alig = l.default_alig = 0;
    l.brj_mode = 0;
    l.curr_first_indent = l.curr_left_indent = l.curr_right_indent = 0;
    l.old_line_space = l.new_line_space = l.default_line_space = kSingleSpacing;
    l.para_sp_before = l.para_sp_after = l.def_para_sp_before = l.def_para_sp_after = 0;
    l.can_rest_mar = 0;
    p.para_num_end = 0;
    conv().numbering.num_string_to_output[0] = '\0';
    p.keep_with_next = 0;
    p.fixed_line = 0;
    fill_default_tabs(t.work_tab_tbl);
    fill_default_tabs(t.last_output_table);
    l.curr_tab_idx = 0;
    p.do_second_style = p.over_ride_tf_off = 0;
    conv().pages.start_new_page = kNoBreak;
    conv().numbering.pgf_num_format_str[0] = '\0';
    return 0;
}

VOX_API int tf_output_pgf_data(void) {
    TabState &t = tabs();
    ParagraphLayoutState &l = layout();
    TabTable saved_table;
    std::memcpy(saved_table, t.work_tab_tbl, sizeof saved_table);
    int saved_count = l.curr_tab_idx;
    if (l.current_alig != l.default_alig && !t.alig_output) tf_end_para_reset_alig(0);
    end_format_margin_if_changed();
    tf_output_para_space(1);
    if (t.can_do_tmp_mar) tf_check_temp_margins();
    tf_write_out_tab_table(0);
    if (t.can_do_tmp_mar) tf_write_temp_margins();
    tf_output_rsp();
    std::memcpy(t.work_tab_tbl, saved_table, sizeof saved_table);
    l.curr_tab_idx = saved_count;
    return 0;
}

VOX_API int tf_output_para_space(int collapse) {
    ParagraphLayoutState &l = layout();
    ParagraphFormatState &p = pgf();
    int before = collapse ? collapsed_space_before(l.para_sp_before) : l.para_sp_before;
    if (before != l.def_para_sp_before) {
        int lines = wrap_add(before, kHalfLine) / kLineHeight;
        write_decimal_record(kSBF, {before, lines});
        if (collapse) write_blank_lines(lines);
    }
    if (l.para_sp_after == l.def_para_sp_after && l.para_sp_after == p.last_para_sp_after) {
        if (!collapse) p.after_num_hnl = 0;
        return 0;
    }
    p.after_num_hnl = wrap_add(l.para_sp_after, kHalfLine) / kLineHeight;
    write_decimal_record(kSAF, {l.para_sp_after, p.after_num_hnl});
    if (collapse)
        p.last_para_sp_after = l.para_sp_after;
    else
        p.after_num_hnl = 0;
    return 0;
}

VOX_API int tf_output_rsp(void) {
    ParagraphLayoutState &l = layout();
    if (l.old_line_space == l.new_line_space) return 0;
    if (pgf().fixed_line) {
        write_decimal_record(kLNH, {kLineHeight});
        l.old_line_space = kLineHeight;
    } else {
        int spacing = wrap_add(l.new_line_space, kLineHeight);
        write_decimal_record(kRSP, {l.old_line_space / kHalfLine, spacing / kHalfLine, spacing});
        l.old_line_space = spacing;
    }
    l.new_line_space = l.default_line_space;
    return 0;
}
}
