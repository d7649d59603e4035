// Tabs, alignment and margins: the tab statements, the record a tab
// character becomes, when the tab-stop record is written, the alignment
// records, and the temporary margins of indents.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "common/kernel_state.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/tabs.h"
#include "converter/token_table.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

class TabsTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        conv().routing.output_to_int_file = conv().routing.text_flow = 1;
        kernel().ruler.VOXTwipFlag = 1;  // as the driver's default ruler leaves it
        conv().pages.last_seen_left_margin = 1440;
        conv().pages.last_seen_right_margin = 10800;
    }
    void restart() { TearDown(); SetUp(); }
    static TabState &tabs() { return conv().tabs; }
    static ParagraphLayoutState &layout() { return conv().layout; }
    // "720C. 1440R | 2160C": the working table as stops (position, type and
    // leader when there is one), counted up to the '|'; every other slot zero.
    static void set_stops(const std::string &text) {
        std::memset(tabs().work_tab_tbl, 0, sizeof tabs().work_tab_tbl);
        int n = 0, counted = -1;
        for (const char *p = text.c_str(); *p != '\0';) {
            if (*p == ' ' || *p == '|') {
                if (*p++ == '|') counted = n;
                continue;
            }
            int *slot = tabs().work_tab_tbl[n++];
            char *end;
            slot[kTabPosition] = static_cast<int>(std::strtol(p, &end, 10));
            p = end;
            slot[kTabType] = *p++;
            if (*p != ' ' && *p != '\0') slot[kTabLeader] = *p++;
        }
        layout().curr_tab_idx = counted < 0 ? n : counted;
    }
    // The first `count` slots in the same form.
    static std::string stops(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            const int *slot = tabs().work_tab_tbl[i];
            text += (i ? " " : "") + std::to_string(slot[kTabPosition]);
            if (slot[kTabType]) text += char(slot[kTabType]);
            if (slot[kTabLeader]) text += char(slot[kTabLeader]);
        }
        return text;
    }
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
            if (c == '<') tf_handle_command_token();
            if (c == '>') tf_end_token();
        }
    }
    static void expect_out(const OutputCapture &c, const std::string &rendering) {
        std::string bytes, error;
        ASSERT_TRUE(icf::assemble(rendering, bytes, error)) << error;
        EXPECT_EQ(icf::render(c.bytes()), icf::render(bytes));
    }
};

std::string stmt(int token, const std::string &value) { return "<" + std::to_string(token) + "\xfe" + value + ">\r"; }
std::string tab_stop(const char *x, const char *type, const char *leader = "` '") {
    return "<" + std::to_string(tok::TabStop) + "\xfe\r" + stmt(tok::TSX, x) + stmt(tok::TSType, type) +
           stmt(tok::TSLeaderStr, leader) + ">\r";
}

// An NTB: 92 bytes 00 but those set by index (map 0-31, kinds 32-51,
// leaders 52-91), then the count and the positions.
std::string ntb(std::initializer_list<std::pair<int, const char *>> set, const std::string &tail) {
    std::string p[92];
    for (auto &b : p) b = "00";
    for (const auto &s : set) p[s.first] = s.second;
    std::string line = "NTB";
    for (const auto &b : p) line += " " + b;
    return line + " " + tail + "\n";
}

// Catches a type or leader word misread, a repeated position taken with
// its values, a space leader kept, and stops beyond the 30th counted.
TEST_F(TabsTest, TabStatementsFillTheWorkingTable) {
    convert(tab_stop("1\"", "Center", "`.'") + tab_stop("2\"", "Right") + tab_stop("1\"", "Decimal", "`-'") +
            tab_stop("3\"", "Decimal") + tab_stop("4\"", "center"));
    EXPECT_EQ(stops(5), "1440C. 2880R 4320D 5760N 0");
    EXPECT_EQ(layout().curr_tab_idx, 4);
    std::string many;
    for (int i = 1; i <= 31; ++i) many += tab_stop((std::to_string(i) + "pt").c_str(), "Right");
    restart();
    convert(many);
    EXPECT_EQ(layout().curr_tab_idx, 30);
    EXPECT_EQ(stops(30).substr(stops(30).rfind(' ')), " 600R");
    EXPECT_EQ(tf_new_tab(600) * 10 + tf_new_tab(620), 1);
}

// Catches a stop skipped or taken twice, the uncounted slot not examined,
// a right tab's columns off near the margin, and a lone stop 0 reused.
TEST_F(TabsTest, TabCharacterWritesTheRecordOfTheStopItReaches) {
    struct { const char *stops; int line_pos; const char *out; int pos_after, alig_after; } cases[] = {
        {"1440C 2880N", 0, "CTB\nTAB", 1440, 0},
        {"720N 1440N 2160D", 1440, "DTB", 2160, 0},
        {"360N 1440R", 400, "AFR 46 10 5", 1440, 4},
        {"720R", 0, "AFR 46 5 0", 720, 4},
        {"719R", 0, "AFR 46 2 1", 719, 4},
        {"360N 720V", 360, "TAB", 720, 0},
        {"720N 1440D", 2000, "DTB", 1440, 0},  // beyond the last stop: that stop again
        {"720R", 1000, "", 1000, 0},           // beyond a lone stop: nothing
        {"", 0, "", 0, 0},
        {"720N | 2160C", 1000, "CTB\nTAB", 2160, 0},  // the uncounted slot as it stands
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stops + std::string(" at ") + std::to_string(c.line_pos));
        restart();
        set_stops(c.stops);
        conv().strings.line_pos = c.line_pos;
        OutputCapture out;
        tf_output_tab();
        expect_out(out, c.out);
        EXPECT_EQ(conv().strings.line_pos, c.pos_after);
        EXPECT_EQ(layout().current_alig, c.alig_after);
    }
}

// Catches the record written for an unchanged table or outside flows,
// missed for a change beyond the count, positions not moved by the left
// margin, and the driver's default ruler carrying stops.
TEST_F(TabsTest, TabStopRecordOnlyWhenTheTableChanged) {
    set_stops("720C. 1440R 2160D");
    OutputCapture out;
    tf_write_out_tab_table(0);
    tf_write_out_tab_table(0);
    expect_out(out, ntb({{1, "01"}, {2, "08"}, {3, "40"}, {32, "12"}, {33, "30"}, {52, "2E"}}, "3 2160 2880 3600"));
    struct { const char *name; void (*change)(); int force, written; } cases[] = {
        {"unchanged", [] {}, 0, 0},
        {"forced", [] {}, 1, 1},
        {"decimal character", [] { tabs().work_tab_tbl[1][kTabDecimal] = ','; }, 0, 0},
        {"leader", [] { tabs().work_tab_tbl[2][kTabLeader] = '-'; }, 0, 1},
        {"slot beyond the count", [] { tabs().work_tab_tbl[29][kTabType] = 'N'; }, 0, 1},
        {"outside a flow", [] { conv().routing.text_flow = 0; }, 1, 0},
        {"style group", [] { conv().routing.text_flow = 0; tabs().in_style = 1; }, 1, 1},
    };
    for (const auto &c : cases) {
        c.change();
        out.clear();
        tf_write_out_tab_table(c.force);
        EXPECT_EQ(out.bytes().empty() ? 0 : 1, c.written) << c.name;
        conv().routing.text_flow = 1;
        tabs().in_style = 0;
        tf_write_out_tab_table(1);  // the next case compares with this table
    }
    kernel().ruler.VOXTwipFlag = 0;
    out.clear();
    tf_do_ntb_output(&tabs().default_tab_tabl[0][0], 0);
    expect_out(out, ntb({}, "0"));
}

// Catches a begin or end record wrong, justification mode not tracked,
// a right tab's alignment kept past its line, and a reset that ignores keep.
TEST_F(TabsTest, AlignmentRecords) {
    struct { int alig, brj; const char *begin; int brj_begin; const char *end; int brj_end, alig_end; } cases[] = {
        {0, 1, "ERJ", 0, "ERJ", 0, 0}, {0, 0, "ERJ", 0, "", 0, 0},           {1, 0, "BRJ", 1, "BRJ", 1, 1},
        {1, 1, "BRJ", 1, "", 1, 1},    {2, 0, "CTX 0 40 0", 0, "ECT", 0, 2}, {3, 0, "AFR 10 40 0", 0, "EAT", 0, 3},
        {4, 0, "", 0, "EAT", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.alig * 10 + c.brj);
        for (bool begin : {true, false}) {
            layout().current_alig = c.alig;
            layout().brj_mode = c.brj;
            tabs().alig_output = 1;
            OutputCapture out;
            begin ? tf_start_pgf_alig() : tf_end_curr_alig();
            expect_out(out, begin ? c.begin : c.end);
            EXPECT_EQ(layout().brj_mode, begin ? c.brj_begin : c.brj_end);
            EXPECT_EQ(begin ? tabs().alig_output : layout().current_alig, begin ? c.alig == 4 : c.alig_end);
        }
    }
    struct { int current, deflt, keep; const char *out; int after; } resets[] = {
        {2, 2, 0, "", 2}, {2, 2, 1, "ECT", 2}, {2, 0, 0, "ECT", 0}, {3, 0, 1, "EAT", 3},
    };
    for (const auto &r : resets) {
        layout().current_alig = r.current;
        layout().default_alig = r.deflt;
        OutputCapture out;
        tf_end_para_reset_alig(r.keep);
        expect_out(out, r.out);
        EXPECT_EQ(layout().current_alig, r.after);
    }
    convert(stmt(tok::PgfAlignment, "Center") + stmt(tok::PgfAlignment, "LeftRight"));
    EXPECT_EQ(layout().current_alig, 1);
    convert(stmt(tok::PgfAlignment, "Right") + stmt(tok::PgfAlignment, "center"));
    EXPECT_EQ(layout().current_alig, 0);
}

// Catches the indent stops missing, unsorted or doubled, offsets ignored or
// applied to a straddling paragraph, ETM for plain margins, and the RMI /
// RSM pair of a right indent off.
TEST_F(TabsTest, IndentsGiveTemporaryMargins) {
    struct {
        const char *stops;
        int left, first, right, change, sty_left, left_off, right_off, straddle;
        const char *out, *after;
    } cases[] = {
        {"1440N", 0, 0, 0, 0, 0, 0, 0, 0, "", "1440N"},
        {"360N 1440C", 720, 720, 0, 1, 0, 0, 0, 0, "ETM\nSTM 10 12 1440 1800\nSTM 12 15 1800 2160", "360N 720V 1440C"},
        {"", 720, 0, 0, 1, 0, 0, 0, 0, "ETM\nSTM 10 15 1440 2160\nLMR 5 720", "0V 720V"},
        {"2880N", 0, 720, 0, 1, 0, 0, 0, 0, "ETM\nIPS 0 5 1440 2160\nTAB 1", "0V 720V 2880N"},
        {"", 0, 0, 0, 0, 0, 1440, 0, 0, "STM 10 20 1440 2880", "1440V"},
        {"", 0, 0, 0, 0, 0, 1440, 0, 1, "", ""},
        {"", 720, 0, 0, 0, 720, 0, 0, 0, "", ""},
        {"", 0, 0, 720, 0, 0, 0, 0, 0, "RMI 5 720\nRSM 10 75 10 70 1440 10080", ""},
        {"", 0, 0, 720, 0, 0, 0, 1440, 0, "RMI 15 2160\nRSM 10 75 10 80 1440 11520", ""},
        {"", 0, 0, 720, 0, 0, 0, 1440, 1, "RMI 5 720\nRSM 10 75 10 70 1440 10080", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.out);
        restart();
        set_stops(c.stops);
        ParagraphLayoutState &l = layout();
        l.curr_left_indent = c.left, l.curr_first_indent = c.first, l.curr_right_indent = c.right;
        l.tf_left_off = c.left_off, l.tf_right_off = c.right_off;
        conv().paragraph_formats.left_indent_change = c.change;
        tabs().sty_curr_left = c.sty_left;
        StringNeighbourFlags &o = conv().strings.others;
        o.over_ride_tf_off = c.straddle;
        o.can_do_tmp_mar = 1;
        OutputCapture out;
        tf_write_temp_margins();
        expect_out(out, c.out);
        EXPECT_EQ(stops(layout().curr_tab_idx), c.after);
        EXPECT_EQ(o.temp_rsm * 10 + o.can_do_tmp_mar, c.right ? 10 : 1);
        EXPECT_EQ(std::to_string(o.temp_left) + " " + std::to_string(o.temp_right), c.right ? "1440 10080" : "0 0");
    }
}

// Catches a full table grown past 30 or keeping slot 29, and the presence
// test or the place search misreading zero positions.
TEST_F(TabsTest, IndentStopsKeepTheTableInOrder) {
    struct { const char *stops; int left, first; const char *after; } cases[] = {
        {"720N 0N 1440N", 1440, 720, "720N 0N 1440V 1440N"},  // a zero ends the presence test
        {"0N 720N", 0, 720, "0N 720N"},                       // but not in slot 0
        {"720N 0N", 1000, 720, "720N 1000V 0N"},              // two zeros end the place search
    };
    for (const auto &c : cases) {
        set_stops(c.stops);
        layout().curr_left_indent = c.left, layout().curr_first_indent = c.first;
        tf_check_temp_margins();
        EXPECT_EQ(stops(layout().curr_tab_idx), c.after);
    }
    std::string full;
    for (int i = 1; i <= 30; ++i) full += std::to_string(720 * i) + "N ";
    set_stops(full);
    layout().curr_left_indent = layout().curr_first_indent = 30000;
    tf_check_temp_margins();
    EXPECT_EQ(stops(30).substr(stops(30).rfind(' ')), " 30000V");
    layout().curr_left_indent = layout().curr_first_indent = 1000;
    tf_check_temp_margins();
    EXPECT_EQ(layout().curr_tab_idx, 30);
    EXPECT_EQ(stops(3) + stops(30).substr(stops(30).rfind(' ')), "720N 1000V 1440N 20880N");  // 21600, 30000 fell off
}

}  // namespace
}  // namespace vox::test
