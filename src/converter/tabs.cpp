// Tabs, alignment and margins; see tabs.h for the state used and for the
// readings chosen where the rules leave room.
#include "converter/tabs.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "common/int32.h"
#include "common/kernel_state.h"
#include "common/layout_records.h"
#include "common/records.h"
#include "converter/conversion.h"
#include "converter/formatting_state.h"
#include "converter/pages.h"
#include "converter/pending_handlers.h"
#include "converter/value_readers.h"

namespace vox {
namespace {

constexpr unsigned kTAB = icf_code("TAB"), kCTB = icf_code("CTB"), kDTB = icf_code("DTB"),
                   kAFR = icf_code("AFR"), kEAT = icf_code("EAT"), kCTX = icf_code("CTX"),
                   kECT = icf_code("ECT"), kBRJ = icf_code("BRJ"), kERJ = icf_code("ERJ"),
                   kRMI = icf_code("RMI"), kETM = icf_code("ETM");

constexpr int kColumnTwips = 144;  // one column of 1/10 inch
// A right tab's AFR: its kind, and how many columns it reaches back.
constexpr int kRightTabKind = 46;
constexpr int kRightTabReach = 5;

// Alignment codes.
enum Alignment { kAlignLeft = 0, kAlignJustified = 1, kAlignCentred = 2, kAlignRight = 3, kAlignRightTab = 4 };

// Tab types.
constexpr int kTabCentre = 'C', kTabRight = 'R', kTabDecimalType = 'D', kTabIndent = 'V';

TabState &tabs() { return conv().tabs; }
ParagraphLayoutState &layout() { return conv().layout; }
StringState &st() { return conv().strings; }
ParagraphFormatState &pgf() { return conv().paragraph_formats; }
const PageState &page() { return conv().pages; }

int clamp_count(int count) { return count < 0 ? 0 : count > kTabSlots ? kTabSlots : count; }

// Stops of the working table in use.
int work_count() { return clamp_count(layout().curr_tab_idx); }

// The slot the tab statements being read fill, or -1 when the table is full.
int open_slot() {
    const int slot = layout().curr_tab_idx;
    return slot >= 0 && slot < kTabSlots ? slot : -1;
}

void record_with(unsigned code, std::initializer_list<int> params) {
    beg_icf(code);
    for (int p : params) dec_out(static_cast<std::uint32_t>(p));
    end_icf();
}

// ---- statement values ---------------------------------------------------------------

void read_word(char (&word)[kCompressWordSize]) { tf_read_compress_word(word); }

// What stands between the first '`' and the last '\'' of a quoted word.
const char *unquoted(char *word) {
    if (char *open = std::strchr(word, '`')) word = open + 1;
    if (char *close = std::strrchr(word, '\'')) *close = '\0';
    return word;
}

int tab_type_of(const char *word) {
    if (std::strcmp(word, "Center") == 0) return kTabCentre;
    if (std::strcmp(word, "Right") == 0) return kTabRight;
    if (std::strcmp(word, "Decimal") == 0) return kTabDecimalType;
    return kTabNormal;  // "Left" and anything unknown
}

int alignment_of(const char *word) {
    if (std::strcmp(word, "Center") == 0) return kAlignCentred;
    if (std::strcmp(word, "Right") == 0) return kAlignRight;
    if (std::strcmp(word, "LeftRight") == 0) return kAlignJustified;
    return kAlignLeft;
}

// ---- tab output ----------------------------------------------------------------------

// A right tab names its column and the column five to its left; close to
// the margin, where that would be negative, it uses fixed columns.
void write_right_tab(int position) {
    const int column = position / kColumnTwips;
    if (column - kRightTabReach < 0)
        record_with(kAFR, {kRightTabKind, 2, 1});
    else
        record_with(kAFR, {kRightTabKind, column, column - kRightTabReach});
    layout().current_alig = kAlignRightTab;  // the line's end writes EAT
}

// The stop a tab character at line_pos reaches, or -1 for none.
int reached_stop() {
    const TabTable &work = tabs().work_tab_tbl;
    const int count = work_count();
    const int line_pos = st().line_pos;
    if (count > 0 && line_pos < work[0][kTabPosition]) return 0;
    int last = 0;
    for (int i = 0; i < count; ++i) {
        if (work[i][kTabPosition] != 0) last = i;
        // Slot i + 1 may be the first uncounted one: it is taken as it stands.
        if (line_pos >= work[i][kTabPosition] && i + 1 < kTabSlots && line_pos < work[i + 1][kTabPosition])
            return i + 1;
    }
    return last != 0 ? last : -1;  // beyond a lone stop 0 a tab goes nowhere
}

// ---- tab-stop record -----------------------------------------------------------------

bool same_stops(const TabTable &a, const TabTable &b) {
    for (int i = 0; i < kTabSlots; ++i)
        if (a[i][kTabPosition] != b[i][kTabPosition] || a[i][kTabType] != b[i][kTabType] ||
            a[i][kTabLeader] != b[i][kTabLeader])
            return false;
    return true;
}

void remember_output_table(int count) {
    TabState &t = tabs();
    std::memset(t.last_output_table, 0, sizeof t.last_output_table);
    std::memcpy(t.last_output_table, t.work_tab_tbl, sizeof t.work_tab_tbl[0] * static_cast<std::size_t>(count));
}

// ---- indent stops --------------------------------------------------------------------

// The left side-head offset, ignored by a paragraph that straddles.
int left_offset() { return pgf().over_ride_tf_off ? 0 : layout().tf_left_off; }
int right_offset() { return pgf().over_ride_tf_off ? 0 : layout().tf_right_off; }

bool has_stop_at(int position) {
    const TabTable &work = tabs().work_tab_tbl;
    for (int i = 0, n = work_count(); i < n; ++i) {
        if (work[i][kTabPosition] == position) return true;
        if (i != 0 && work[i][kTabPosition] == 0) return false;  // the end of the used slots
    }
    return false;
}

// Where a new stop at position goes to keep the table in order.
int indent_stop_place(int position) {
    const TabTable &work = tabs().work_tab_tbl;
    const int count = work_count();
    if (count == 0 || position < work[0][kTabPosition]) return 0;
    int i = 0;
    for (; i < count && i + 1 < kTabSlots; ++i) {
        const int here = work[i][kTabPosition], next = work[i + 1][kTabPosition];
        if (here == 0 && next == 0) return i;
        if (here <= position && next >= position) return i + 1;
    }
    return count;
}

void insert_indent_stop(int position) {
    TabState &t = tabs();
    int place = indent_stop_place(position);
    if (place >= kTabSlots) place = kTabSlots - 1;
    // Slot 29's stop falls off the end of a full table.
    std::memmove(t.work_tab_tbl[place + 1], t.work_tab_tbl[place],
                 sizeof t.work_tab_tbl[0] * static_cast<std::size_t>(kTabSlots - 1 - place));
    int *slot = t.work_tab_tbl[place];
    slot[kTabPosition] = position;
    slot[kTabType] = kTabIndent;
    slot[kTabLeader] = 0;
    slot[kTabDecimal] = 0;
    layout().curr_tab_idx = clamp_count(work_count() + 1);
}

void add_indent_stop(int position) {
    if (!has_stop_at(position)) insert_indent_stop(position);
}

// ---- temporary margins ----------------------------------------------------------------

// A right indent narrows the text from the right: RMI, then the margin
// change, undone at the paragraph end (temp_rsm).
void write_right_indent(int indent, int offset) {
    TabState &t = tabs();
    const PageState &p = page();
    t.temp_right = wrap_sub(p.last_seen_right_margin, indent);
    t.temp_left = p.last_seen_left_margin;
    const int width = wrap_add(indent, offset);
    record_with(kRMI, {width / kColumnTwips, width});
    tf_write_out_rsm(p.last_seen_left_margin, t.temp_left, p.last_seen_right_margin, t.temp_right + offset);
    t.temp_rsm = 1;
    t.can_do_tmp_mar = 0;
}

bool left_indents_call_for_margins(int offset) {
    const ParagraphLayoutState &l = layout();
    const TabState &t = tabs();
    const bool indented = l.curr_left_indent != 0 || l.curr_first_indent != 0;
    return (indented && pgf().left_indent_change) || l.curr_left_indent != t.sty_curr_left ||
           offset != 0;
}

// The working stops as the ruler of the temporary-margin sequence, in
// positions relative to the left margin (OutTempMargin shifts them).
void load_ruler_for_margins() {
    RulerState &r = kernel().ruler;
    const TabTable &work = tabs().work_tab_tbl;
    const int count = work_count();
    for (int i = 0; i < count; ++i) {
        r.c_tab_stop[i] = work[i][kTabPosition];
        r.c_tab_type[i] = static_cast<unsigned char>(work[i][kTabType]);
    }
    r.c_cur_tabs = count;
}

}  // namespace
}  // namespace vox

using namespace vox;

extern "C" {

// ---- statement handlers ------------------------------------------------------------------

VOX_API int tf_handle_alig_token(void) {
    char word[kCompressWordSize];
    read_word(word);
    layout().current_alig = alignment_of(word);
    tabs().alig_output = 1;
    return 0;
}

VOX_API int tf_handle_tab_type_token(void) {
    char word[kCompressWordSize];
    read_word(word);
    const int slot = open_slot();
    if (slot < 0 || tabs().skip_tab) return 0;
    tabs().work_tab_tbl[slot][kTabType] = tab_type_of(word);
    return 0;
}

VOX_API int tf_handle_tsleader_token(void) {
    char word[kCompressWordSize];
    read_word(word);
    const int slot = open_slot();
    if (slot < 0) return 0;
    const auto leader = static_cast<unsigned char>(unquoted(word)[0]);
    if (leader == ' ' || tabs().skip_tab) return 0;
    tabs().work_tab_tbl[slot][kTabLeader] = leader;
    return 0;
}

VOX_API int tf_new_tab(int position) {
    const TabTable &work = tabs().work_tab_tbl;
    for (int i = 0, n = work_count(); i < n; ++i)
        if (work[i][kTabPosition] == position) return 0;
    return 1;
}

// ---- tabs ------------------------------------------------------------------------------------

VOX_API int tf_output_tab(void) {
    ParagraphFormatState &f = pgf();
    if (f.first_string_seen) {
        tf_output_pgf_data();
        f.first_string_seen = 0;
    }
    const int stop = reached_stop();
    if (stop >= 0) tf_write_tab(stop);
    return 0;
}

VOX_API int tf_write_tab(int stop) {
    const bool in_table = stop >= 0 && stop < kTabSlots;
    const int type = in_table ? tabs().work_tab_tbl[stop][kTabType] : kTabNormal;
    const int position = in_table ? tabs().work_tab_tbl[stop][kTabPosition] : st().line_pos;
    st().line_pos = position;
    switch (type) {
        case kTabCentre:
            out_icf(kCTB);
            out_icf(kTAB);
            break;
        case kTabDecimalType:
            out_icf(kDTB);
            break;
        case kTabRight:
            write_right_tab(position);
            break;
        default:
            out_icf(kTAB);
            break;
    }
    return 0;
}

VOX_API int tf_write_out_tab_table(int force) {
    if (!conv().routing.text_flow && !tabs().in_style) return 0;
    TabState &t = tabs();
    if (!force && same_stops(t.work_tab_tbl, t.last_output_table)) return 0;
    const int count = work_count();
    remember_output_table(count);
    return tf_do_ntb_output(&t.work_tab_tbl[0][0], count);
}

VOX_API int tf_do_ntb_output(const int *table, int count) {
    RulerState &r = kernel().ruler;
    const int n = table != nullptr ? clamp_count(count) : 0;
    const int margin = page().last_seen_left_margin;
    for (int i = 0; i < n; ++i) {
        const int *slot = table + i * kTabFields;
        r.c_tab_stop[i] = wrap_add(slot[kTabPosition], margin);
        r.c_tab_ldr[i] = static_cast<unsigned char>(slot[kTabLeader]);
        r.c_tab_type[i] = static_cast<unsigned char>(slot[kTabType]);
    }
    r.VOXTwipFlag = 1;
    r.c_cur_tabs = n;
    OutNTB(0);
    return 0;
}

// ---- alignment -------------------------------------------------------------------------------

VOX_API int tf_start_pgf_alig(void) {
    ParagraphLayoutState &l = layout();
    switch (l.current_alig) {
        case kAlignLeft:
            out_icf(kERJ);
            l.brj_mode = 0;
            break;
        case kAlignJustified:
            out_icf(kBRJ);
            l.brj_mode = 1;
            break;
        case kAlignCentred:
            record_with(kCTX, {0, 40, 0});
            break;
        case kAlignRight:
            record_with(kAFR, {10, 40, 0});
            break;
        default:
            return 0;  // a right tab's alignment has no begin record of its own
    }
    tabs().alig_output = 0;
    return 0;
}

VOX_API int tf_end_curr_alig(void) {
    ParagraphLayoutState &l = layout();
    switch (l.current_alig) {
        case kAlignLeft:
            if (l.brj_mode) {
                out_icf(kERJ);
                l.brj_mode = 0;
            }
            break;
        case kAlignJustified:
            if (!l.brj_mode) {
                out_icf(kBRJ);
                l.brj_mode = 1;
            }
            break;
        case kAlignCentred:
            out_icf(kECT);
            break;
        case kAlignRight:
            out_icf(kEAT);
            break;
        case kAlignRightTab:
            out_icf(kEAT);
            l.current_alig = kAlignLeft;  // a right tab lasts to the end of its line
            break;
        default:
            break;
    }
    return 0;
}

VOX_API int tf_end_para_reset_alig(int keep) {
    ParagraphLayoutState &l = layout();
    if (l.current_alig == l.default_alig && !keep) return 0;
    tf_end_curr_alig();
    if (!keep) l.current_alig = l.default_alig;
    return 0;
}

// ---- margins --------------------------------------------------------------------------------

VOX_API int tf_check_temp_margins(void) {
    const ParagraphLayoutState &l = layout();
    const int offset = left_offset();
    const int left = l.curr_left_indent + offset;
    const int first = l.curr_first_indent + offset;
    add_indent_stop(left);
    add_indent_stop(first);
    return 0;
}

VOX_API int tf_write_temp_margins(void) {
    const ParagraphLayoutState &l = layout();
    const int left_off = left_offset();
    if (l.curr_right_indent != 0) write_right_indent(l.curr_right_indent, right_offset());
    if (!left_indents_call_for_margins(left_off)) return 0;
    tf_check_temp_margins();
    load_ruler_for_margins();
    if (l.curr_left_indent != 0 || l.curr_first_indent != 0) out_icf(kETM);
    OutTempMargin(l.curr_left_indent + left_off, l.curr_first_indent + left_off, 1, page().last_seen_left_margin);
    return 0;
}
}
