// Tabs, alignment and margins: the tab statements, the record a tab
// character becomes, when the tab-stop record is written, the alignment
// records, and the temporary margins of indents.  Expected records are
// written as their rendering, one line each.
#include <cstdio>
#include <cstring>
#include <sstream>

#include "converter/dispatch.h"
#include "converter/tabs.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

class TabsTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        // In a flow, with the twips flag as the driver's default ruler leaves it.
        conv().routing.output_to_int_file = conv().routing.text_flow = kernel().ruler.VOXTwipFlag = 1;
        conv().pages.last_seen_left_margin = 1440, conv().pages.last_seen_right_margin = 10800;
    }
    static TabState &tabs() { return conv().tabs; }
    static ParagraphLayoutState &layout() { return conv().layout; }
    // "720C. 1440R | 2160C": the working table as stops (position, type and
    // leader when there is one), counted up to the '|'; every other slot zero.
    static void set_stops(const std::string &text) {
        std::memset(tabs().work_tab_tbl, 0, sizeof tabs().work_tab_tbl);
        std::istringstream in(text);
        int n = 0, counted = -1;
        for (std::string w; in >> w;) {
            if (w == "|") { counted = n; continue; }
            char type = 0, leader = 0;
            std::sscanf(w.c_str(), "%d%c%c", &tabs().work_tab_tbl[n][kTabPosition], &type, &leader);
            tabs().work_tab_tbl[n][kTabType] = type, tabs().work_tab_tbl[n++][kTabLeader] = leader;
        }
        layout().curr_tab_idx = counted < 0 ? n : counted;
    }
    // The first `count` slots in the same form.
    static std::string stops(int count) {
        std::string text;
        for (const int *slot = tabs().work_tab_tbl[0]; count-- > 0; slot += kTabFields) {
            const char kinds[] = {char(slot[kTabType]), char(slot[kTabLeader]), '\0'};
            text += (text.empty() ? "" : " ") + std::to_string(slot[kTabPosition]) + kinds;
        }
        return text;
    }
    static void convert(const std::string &text) {
        feed(text);
        for (int c; (c = preproc_getc()) >= 0;) c == '<' ? tf_handle_command_token() : c == '>' ? tf_end_token() : 0;
    }
};

// The rendering of what fn writes.
template <typename F> std::string written(F fn) { OutputCapture out; fn(); return icf::render(out.bytes()); }
std::string stmt(int token, const std::string &value) { return "<" + std::to_string(token) + "\xfe" + value + ">\r"; }
std::string tab_stop(const std::string &x, const char *type, const char *leader = "` '") {
    return "<" + std::to_string(tok::TabStop) + "\xfe\r" + stmt(tok::TSX, x) + stmt(tok::TSType, type) +
           stmt(tok::TSLeaderStr, leader) + ">\r";
}
// Stops of type N every 720 twips from `from` to `to`.
std::string run(int from, int to) { return std::to_string(from) + "N" + (from < to ? " " + run(from + 720, to) : ""); }
// n parameters 00 of an NTB (its map 0-31, kinds 32-51, leaders 52-91).
std::string zeros(int n) { return n > 0 ? " 00" + zeros(n - 1) : ""; }

// Catches a type or leader word misread, a repeated position taken with
// its values, a space leader kept, stops beyond the 30th counted, and an
// alignment word misread.
TEST_F(TabsTest, StatementsFillTheWorkingTableAndSetTheAlignment) {
    std::string many, aligs;  // 27 more stops: 31 in all
    for (int i = 1; i <= 27; ++i) many += tab_stop(std::to_string(i) + "pt", "Right");
    convert(tab_stop("1\"", "Center", "`.'") + tab_stop("2\"", "Right") + tab_stop("1\"", "Decimal", "`-'") +
            tab_stop("3\"", "Decimal") + tab_stop("4\"", "center") + many);
    EXPECT_EQ(stops(5) + " ..." + stops(30).substr(stops(30).rfind(' ')), "1440C. 2880R 4320D 5760N 20R ... 520R");
    EXPECT_EQ(layout().curr_tab_idx * 100 + tf_new_tab(520) * 10 + tf_new_tab(540), 3001);
    for (const char *word : {"Center", "Right", "LeftRight", "center"})
        convert(stmt(tok::PgfAlignment, word)), aligs += std::to_string(layout().current_alig);
    EXPECT_EQ(aligs, "2310");
}

// Catches a stop skipped or taken twice, the uncounted slot not examined,
// a right tab's columns off near the margin (and its alignment not set for
// the line's end), and a lone stop 0 reused.
TEST_F(TabsTest, TabCharacterWritesTheRecordOfTheStopItReaches) {
    // Beyond the last stop: that stop again; beyond a lone stop: nothing;
    // the uncounted slot as it stands.
    struct { const char *stops; int line_pos; const char *out; int pos_after; } cases[] = {
        {"1440C 2880N", 0, "CTB\nTAB\n", 1440},     {"720N 1440V 2160D", 720, "TAB\n", 1440},
        {"360N 1440R", 400, "AFR 46 10 5\n", 1440}, {"720R", 0, "AFR 46 5 0\n", 720},
        {"719R", 0, "AFR 46 2 1\n", 719},           {"720N 1440D", 2000, "DTB\n", 1440},
        {"720R", 1000, "", 1000},                   {"720N | 2160C", 1000, "CTB\nTAB\n", 2160},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stops + std::string(" at ") + std::to_string(c.line_pos));
        set_stops(c.stops), conv().strings.line_pos = c.line_pos, layout().current_alig = 0;
        EXPECT_EQ(written(tf_output_tab), c.out);
        EXPECT_EQ(conv().strings.line_pos * 10 + layout().current_alig, c.pos_after * 10 + (c.out[0] == 'A' ? 4 : 0));
    }
}

// Catches the record written for an unchanged table or outside flows,
// missed for a change beyond the count, positions not moved by the left
// margin, and the driver's default ruler carrying stops.
TEST_F(TabsTest, TabStopRecordOnlyWhenTheTableChanged) {
    set_stops("720C. 1440R 2160D");
    EXPECT_EQ(written([] { tf_write_out_tab_table(0), tf_write_out_tab_table(0); }),
              "NTB 00 01 08 40" + zeros(28) + " 12 30" + zeros(18) + " 2E" + zeros(39) + " 3 2160 2880 3600\n");
    struct { const char *name; void (*change)(); int force, written; } cases[] = {
        {"decimal character", [] { tabs().work_tab_tbl[1][kTabDecimal] = ','; }, 0, 0},
        {"leader", [] { tabs().work_tab_tbl[2][kTabLeader] = '-'; }, 0, 1},
        {"slot beyond the count", [] { tabs().work_tab_tbl[29][kTabType] = 'N'; }, 0, 1},
        {"outside a flow", [] { conv().routing.text_flow = 0; }, 1, 0},
        // Forced and in a style group: written though nothing changed.
        {"style group", [] { conv().routing.text_flow = 0, tabs().in_style = 1; }, 1, 1},
    };
    for (const auto &c : cases) {
        c.change();
        EXPECT_EQ(written([&] { tf_write_out_tab_table(c.force); }).empty(), !c.written) << c.name;
        conv().routing.text_flow = 1, tabs().in_style = 0;
        written([] { tf_write_out_tab_table(1); });  // the next case compares with this table
    }
    kernel().ruler.VOXTwipFlag = 0;
    EXPECT_EQ(written([] { tf_do_ntb_output(&tabs().default_tab_tabl[0][0], 0); }), "NTB" + zeros(92) + " 0\n");
}

// Catches a begin or end record wrong, justification mode not tracked, and
// a right tab's alignment kept past its line.  (The reset at a paragraph's
// end, with and without keep, is checked with the paragraph data and the
// style-off group.)
TEST_F(TabsTest, AlignmentRecords) {
    struct { int alig, brj; const char *begin; int brj_begin; const char *end; int brj_end, alig_end; } cases[] = {
        {0, 1, "ERJ\n", 0, "ERJ\n", 0, 0}, {0, 0, "ERJ\n", 0, "", 0, 0}, {1, 0, "BRJ\n", 1, "BRJ\n", 1, 1},
        {1, 1, "BRJ\n", 1, "", 1, 1},      {2, 0, "CTX 0 40 0\n", 0, "ECT\n", 0, 2},
        {3, 0, "AFR 10 40 0\n", 0, "EAT\n", 0, 3},                   {4, 0, "", 0, "EAT\n", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.alig * 10 + c.brj);
        layout().current_alig = c.alig, layout().brj_mode = c.brj, tabs().alig_output = 1;
        EXPECT_EQ(written(tf_start_pgf_alig), c.begin);
        EXPECT_EQ(layout().brj_mode * 10 + tabs().alig_output, c.brj_begin * 10 + (c.alig == 4));
        EXPECT_EQ(written([&] { layout().brj_mode = c.brj, tf_end_curr_alig(); }), c.end);
        EXPECT_EQ(layout().brj_mode * 10 + layout().current_alig, c.brj_end * 10 + c.alig_end);
    }
}

// Catches the indent stops missing, unsorted or doubled, offsets ignored or
// applied to a straddling paragraph, ETM for plain margins, the RMI / RSM
// pair of a right indent off; and (rows without records: the stops alone)
// the presence test or the place search misreading zero positions, and a
// full table grown past 30 or keeping slot 29.
TEST_F(TabsTest, IndentsGiveTemporaryMargins) {
    struct { std::string stops; int left, first, right, change, sty_left, left_off, right_off, straddle;
             const char *out; std::string after; } cases[] = {
        {"360N 1440C", 720, 720, 0, 1, 0, 0, 0, 0, "ETM\nSTM 10 12 1440 1800\nSTM 12 15 1800 2160\n", "360N 720V 1440C"},
        {"", 720, 0, 0, 1, 0, 0, 0, 0, "ETM\nSTM 10 15 1440 2160\nLMR 5 720\n", "0V 720V"},
        {"2880N", 0, 720, 0, 1, 0, 0, 0, 0, "ETM\nIPS 0 5 1440 2160\nTAB 1\n", "0V 720V 2880N"},
        {"", 0, 0, 0, 0, 0, 1440, 0, 0, "STM 10 20 1440 2880\n", "1440V"},
        {"", 0, 0, 0, 0, 0, 1440, 0, 1, "", ""},
        {"", 720, 0, 0, 0, 720, 0, 0, 0, "", ""},
        {"", 0, 0, 720, 0, 0, 0, 0, 0, "RMI 5 720\nRSM 10 75 10 70 1440 10080\n", ""},
        {"", 0, 0, 720, 0, 0, 0, 1440, 0, "RMI 15 2160\nRSM 10 75 10 80 1440 11520\n", ""},
        {"", 0, 0, 720, 0, 0, 0, 1440, 1, "RMI 5 720\nRSM 10 75 10 70 1440 10080\n", ""},
        // A zero ends the presence test, but not in slot 0; two zeros end
        // the place search.
        {"720N 0N 1440N", 1440, 720, 0, 0, 0, 0, 0, 0, nullptr, "720N 0N 1440V 1440N"},
        {"0N 720N", 0, 720, 0, 0, 0, 0, 0, 0, nullptr, "0N 720N"},
        {"720N 0N", 1000, 720, 0, 0, 0, 0, 0, 0, nullptr, "720N 1000V 0N"},
        // A full table: the last slot replaced, or its stop falling off.
        {run(720, 21600), 30000, 30000, 0, 0, 0, 0, 0, 0, nullptr, run(720, 20880) + " 30000V"},
        {run(720, 21600), 1000, 1000, 0, 0, 0, 0, 0, 0, nullptr, "720N 1000V " + run(1440, 20880)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stops + " -> " + c.after);
        TearDown(), SetUp(), set_stops(c.stops);
        ParagraphLayoutState &l = layout();
        l.curr_left_indent = c.left, l.curr_first_indent = c.first, l.curr_right_indent = c.right;
        l.tf_left_off = c.left_off, l.tf_right_off = c.right_off, conv().paragraph_formats.left_indent_change = c.change;
        StringNeighbourFlags &o = conv().strings.others;
        tabs().sty_curr_left = c.sty_left, o.over_ride_tf_off = c.straddle, o.can_do_tmp_mar = 1;
        EXPECT_EQ(written(c.out ? tf_write_temp_margins : tf_check_temp_margins), c.out ? c.out : "");
        EXPECT_EQ(stops(layout().curr_tab_idx), c.after);
        EXPECT_EQ(std::vector<int>({o.temp_rsm, o.can_do_tmp_mar, o.temp_left, o.temp_right}),
                  c.right ? std::vector<int>({1, 0, 1440, 10080}) : std::vector<int>({0, 1, 0, 0}));
    }
}

}  // namespace
}  // namespace vox::test
