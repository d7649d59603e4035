// Tabs, alignment and margins: the tab statements, the record a tab
// character becomes, when the tab-stop record is written, the alignment
// records, and the temporary margins of indents.  Expected records are
// written as their rendering, one line each.  The whole documents tab-kinds,
// tab-override-*, right-tab-below-5-columns, alignment and indents pin each
// kind of stop and tab record, the right tab's column boundary, the tab-stop
// record's bytes, the alignment records in paragraphs, hanging and first-
// line indents and a plain right indent; the cases here are the ones they
// leave open.
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
std::string tab_stop(const std::string &x, const char *type) {
    return stmt(tok::TabStop, "\r" + stmt(tok::TSX, x) + stmt(tok::TSType, type));
}
// Stops of type N every 720 twips from `from` to `to`.
std::string run(int from, int to) { return std::to_string(from) + "N" + (from < to ? " " + run(from + 720, to) : ""); }

// Catches stops beyond the 30th counted or present to tf_new_tab, and a
// type or alignment word compared without case (an unknown word gives a
// left stop, and left alignment).  The words themselves, leaders and a
// repeated position are pinned by the tab documents.
TEST_F(TabsTest, StatementsFillTheWorkingTableAndSetTheAlignment) {
    // 31 stops: 1", then i points (20 i twips) for i = 1 to 30.
    for (int i = 0; i <= 30; ++i) convert(i ? tab_stop(std::to_string(i) + "pt", "Right") : tab_stop("1\"", "center"));
    EXPECT_EQ(stops(2) + " ..." + stops(30).substr(stops(30).rfind(' ')), "1440N 20R ... 580R");
    EXPECT_EQ(layout().curr_tab_idx * 100 + tf_new_tab(580) * 10 + tf_new_tab(600), 3001);
    EXPECT_EQ((layout().current_alig = 2, convert(stmt(tok::PgfAlignment, "center")), layout().current_alig), 0);
}

// Catches a stop skipped or taken twice at a position equal to a stop, the
// uncounted slot not examined, a right tab's alignment not set for the
// line's end, and a lone stop 0 reused.
TEST_F(TabsTest, TabCharacterWritesTheRecordOfTheStopItReaches) {
    // Beyond a lone stop: nothing; the uncounted slot as it stands.
    struct { const char *stops; int line_pos; const char *out; int pos_after; } cases[] = {
        {"720N 1440V 2160D", 720, "TAB\n", 1440}, {"360N 1440R", 400, "AFR 46 10 5\n", 1440},
        {"720R", 1000, "", 1000},                 {"720N | 2160C", 1000, "CTB\nTAB\n", 2160},
    };
    for (const auto &c : cases) {
        set_stops(c.stops), conv().strings.line_pos = c.line_pos, layout().current_alig = 0;
        EXPECT_EQ(written(tf_output_tab), c.out) << c.stops;
        EXPECT_EQ(conv().strings.line_pos * 10 + layout().current_alig, c.pos_after * 10 + (c.out[0] == 'A' ? 4 : 0));
    }
}

// Catches the record written for an unchanged table (or one whose decimal
// characters alone changed) or outside flows, and missed for a changed
// leader.  Its bytes, a change beyond the count and a style group's record
// outside the flow are pinned by the documents.
TEST_F(TabsTest, TabStopRecordOnlyWhenTheTableChanged) {
    set_stops("720C. 1440R 2160D");
    struct { const char *name; void (*change)(); int force, written; } cases[] = {
        {"first", [] {}, 0, 1}, {"unchanged", [] {}, 0, 0},
        {"decimal character", [] { tabs().work_tab_tbl[1][kTabDecimal] = ','; }, 0, 0},
        {"leader", [] { tabs().work_tab_tbl[2][kTabLeader] = '-'; }, 0, 1},
        {"outside a flow", [] { conv().routing.text_flow = 0; }, 1, 0},
    };
    for (const auto &c : cases) {
        c.change();
        EXPECT_EQ(written([&] { tf_write_out_tab_table(c.force); }).empty(), !c.written) << c.name;
        conv().routing.text_flow = 1, written([] { tf_write_out_tab_table(1); });  // the next case compares with this
    }
}

// Catches justification mode not tracked (BRJ written again while it is
// on), alig_output not cleared by a begin record, and a right tab's
// alignment kept past its line.  (The records of the other alignments are
// pinned by the alignment document; the reset at a paragraph's end, with
// and without keep, is checked with the paragraph data and the style-off
// group.)
TEST_F(TabsTest, AlignmentRecords) {
    // The alignment and the mode before each record; the begin record, the
    // mode and alig_output after it; the end record, the mode and the
    // alignment after it.
    struct { int alig, brj; const char *out; } cases[] = {
        {0, 1, "ERJ\n00 ERJ\n00"}, {1, 0, "BRJ\n10 BRJ\n11"}, {1, 1, "BRJ\n10 11"}, {4, 0, "01 EAT\n00"},
    };
    for (const auto &c : cases) {
        std::string out = (layout().current_alig = c.alig, layout().brj_mode = c.brj, tabs().alig_output = 1,
                           written(tf_start_pgf_alig));
        out += {char('0' + layout().brj_mode), char('0' + tabs().alig_output), ' '};
        out += written([&] { layout().brj_mode = c.brj, tf_end_curr_alig(); });
        EXPECT_EQ(out + char('0' + layout().brj_mode) + char('0' + layout().current_alig), c.out) << c.alig << c.brj;
    }
}

// Catches the indent stops missing or doubled, the margin walk not passing
// a stop between the margins, offsets ignored or applied to a straddling
// paragraph, ETM for plain margins, margins for an indent the format
// already has; and (rows without records: the stops alone)
// the presence test or the place search misreading zero positions, and a
// full table grown past 30 or keeping slot 29.
TEST_F(TabsTest, IndentsGiveTemporaryMargins) {
    struct { std::string stops; int left, first, right, sty_left, left_off, right_off, straddle;
             const char *out; std::string after; } cases[] = {
        {"360N 1440C", 720, 720, 0, 0, 0, 0, 0, "ETM\nSTM 10 12 1440 1800\nSTM 12 15 1800 2160\n", "360N 720V 1440C"},
        {"", 0, 0, 0, 0, 1440, 0, 0, "STM 10 20 1440 2880\n", "1440V"}, {"", 0, 0, 0, 0, 1440, 0, 1, "", ""},
        {"", 720, 0, 0, 720, 0, 0, 0, "", ""},
        {"", 0, 0, 720, 0, 0, 1440, 0, "RMI 15 2160\nRSM 10 75 10 80 1440 11520\n", ""},
        {"", 0, 0, 720, 0, 0, 1440, 1, "RMI 5 720\nRSM 10 75 10 70 1440 10080\n", ""},
        // A zero ends the presence test, but not in slot 0; two zeros end
        // the place search.
        {"720N 0N 1440N", 1440, 720, 0, 0, 0, 0, 0, nullptr, "720N 0N 1440V 1440N"},
        {"0N 720N", 0, 720, 0, 0, 0, 0, 0, nullptr, "0N 720N"},
        {"720N 0N", 1000, 720, 0, 0, 0, 0, 0, nullptr, "720N 1000V 0N"},
        // A full table: the last slot replaced, or its stop falling off.
        {run(720, 21600), 30000, 30000, 0, 0, 0, 0, 0, nullptr, run(720, 20880) + " 30000V"},
        {run(720, 21600), 1000, 1000, 0, 0, 0, 0, 0, nullptr, "720N 1000V " + run(1440, 20880)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stops + " -> " + c.after);
        TearDown(), SetUp(), set_stops(c.stops);
        ParagraphLayoutState &l = layout();
        l.curr_left_indent = c.left, l.curr_first_indent = c.first, l.curr_right_indent = c.right;
        l.tf_left_off = c.left_off, l.tf_right_off = c.right_off;
        TabState &t = tabs();
        t.sty_curr_left = c.sty_left, conv().paragraph_formats.over_ride_tf_off = c.straddle, t.can_do_tmp_mar = 1;
        EXPECT_EQ(written(c.out ? tf_write_temp_margins : tf_check_temp_margins), c.out ? c.out : "");
        EXPECT_EQ(stops(layout().curr_tab_idx), c.after);
        EXPECT_EQ(std::vector<int>({t.temp_rsm, t.can_do_tmp_mar, t.temp_left, t.temp_right}),
                  c.right ? std::vector<int>({1, 0, 1440, 10080}) : std::vector<int>({0, 1, 0, 0}));
    }
}

}  // namespace
}  // namespace vox::test
