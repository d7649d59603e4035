// Layout records: NTB, RUL, the temporary-margin sequence and its records,
// ruler editing, and the character records.  Expected bytes are worked out
// by hand: a stop at p twips sits in column (p + 72) / 144, and column c is
// bit c of the map counted from the most significant bit of byte 0.  The
// whole documents pin NTB in twips (every kind of stop, leaders, positions),
// the IPS / STM / LMR / TAB records of indents and XCS + UCS of set 819;
// the cases here are the modes and edges they do not reach.
#include "test_support.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;
using Stops = std::vector<std::int32_t>;

Strings operator+(Strings a, const Strings &b) { return a.insert(a.end(), b.begin(), b.end()), a; }

// n hex byte parameters: the given first bytes, then zeros.
Strings hex(int n, std::initializer_list<int> first = {}) {
    Strings out(n, "00");
    int i = 0;
    for (int b : first) out[i++] = {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    return out;
}

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(visible(expected), visible(actual))

class LayoutRecordsTest : public KernelTest {
  protected:
    RulerState &ruler = kernel().ruler;
    // Stops with their kinds ("L" past the given ones) and leaders (0 past the given ones).
    void set_ruler(const Stops &stops, std::string kinds = "", const std::string &leaders = "", int twips = 1) {
        ruler = RulerState();
        kinds.resize(stops.size(), 'L');
        std::copy(stops.begin(), stops.end(), ruler.c_tab_stop);
        std::copy(kinds.begin(), kinds.end(), ruler.c_tab_type);
        std::copy(leaders.begin(), leaders.end(), ruler.c_tab_ldr);
        ruler.c_cur_tabs = static_cast<int>(stops.size()), ruler.VOXTwipFlag = twips;
    }
    Stops stops() { return Stops(ruler.c_tab_stop, ruler.c_tab_stop + ruler.c_cur_tabs); }
    std::string kinds() { return std::string(ruler.c_tab_type, ruler.c_tab_type + ruler.c_cur_tabs); }
};

// Catches a wrong column (rounding at the half column, offset, unsigned wrap), leaders listed when none
// is set or past the count, and tenths written with positions or with leaders when none is set.
TEST_F(LayoutRecordsTest, NtbMapKindsLeadersAndPositions) {
    const struct { Stops stops; std::string leaders; int offset, twips; Strings params; } cases[] = {
        // 1367 -> column 9, 1368 -> 10 (0x60 in byte 1), 36860 -> 256: not in the map, still listed.
        {{1367, 1368, 36860}, "", 0, 1, hex(92, {0, 0x60}) + Strings{"3", "1367", "1368", "36860"}},
        // Offset 1440: 1440 -> column 10, 1540 -> 11; -900 wraps past the map and is listed as 65536 - 900.
        {{0, 100}, "", 1440, 1, hex(92, {0, 0x30}) + Strings{"2", "1440", "1540"}},
        {{100}, "", -1000, 1, hex(92) + Strings{"1", "64636"}},
        // Columns 5 and 10; the leader in slot 2 is past the count.
        {{720, 1440}, std::string("\0.-", 3), 0, 1,
         hex(32, {0x04, 0x20}) + hex(20) + hex(40, {0, 0x2E}) + Strings{"2", "720", "1440"}},
        // Tenths: no positions; leaders listed only when one is set.
        {{10, 300}, "", 0, 0, hex(32, {0, 0x20}) + hex(20)},
        {{10, 300}, "_", 0, 0, hex(32, {0, 0x20}) + hex(20) + hex(40, {0x5F})},
    };
    for (const auto &c : cases) {
        set_ruler(c.stops, "", c.leaders, c.twips);
        OutputCapture out;
        EXPECT_BYTES(record("NTB", c.params), (OutNTB(c.offset), out.bytes())) << "row " << &c - cases;
    }
}

// Catches a type or leader list written when it says nothing, a 0 type taken for "L", unprintable
// leaders written raw, leaders that bypass the put function, and a record without positions.
TEST_F(LayoutRecordsTest, RulListsTypesAndLeadersOnlyWhenTheyTellSomething) {
    const std::int32_t pos[] = {720, -5, 70000, 300, 400};  // -5 goes out as 0, 70000 as 4464
    const Strings three = {"1A", "3", "720", "0", "4464"}, five = {"1A", "5", "720", "0", "4464", "300", "400"};
    const unsigned char lll[] = "LLL", c0l[] = {'C', 0, 'L'}, l0l[] = {'L', 0, 'L'}, rllld[] = "RLLLD",
                        none[5] = {}, cll[] = "CLL", lead5[] = {'-', 0, 31, 127, 200}, lead3[] = {0, 200, '.'};
    LeaderPutFunc put = [](int byte) { return b_putc(byte == 200 ? '#' : byte == '.' ? '+' : '?'); };
    const struct { int count; const unsigned char *types, *leaders; LeaderPutFunc put; Strings out; } cases[] = {
        {3, {}, {}, {}, three}, {3, lll, {}, {}, three},  // positions only; all L
        {3, c0l, {}, {}, three + Strings{"C", "L", "L"}}, {3, l0l, {}, {}, three + Strings{"L", "L", "L"}},
        {5, {}, lead5, {}, five + Strings{"L", "L", "L", "L", "L", "-", "", ".", "\x7F", "."}},
        {5, rllld, none, {}, five + Strings{"R", "L", "L", "L", "D"}},  // no leader set
        {3, cll, lead3, put, three + Strings{"C", "L", "L", "", "#", "+"}},
    };
    for (const auto &c : cases) {
        OutputCapture out;
        EXPECT_EQ(OutRUL(0x1A, c.count, pos, c.types, c.leaders, c.put), c.count) << "row " << &c - cases;
        EXPECT_BYTES(record("RUL", c.out), out.bytes()) << "row " << &c - cases;
    }
    OutputCapture out;
    EXPECT_EQ(OutRUL(1, 3, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(out.bytes(), "");
}

// Catches IPS, STM and LMR wrong in the modes the temporary margins do not use: absolute positions
// (shifted by the margin), LMR's record up to the first stop, an STM walk with nothing to do, and
// tenths, which carry no twip parameters (relative indents wrap to 16 bits).
TEST_F(LayoutRecordsTest, IpsStmAndLmrInTheirOtherModes) {
    set_ruler({2, 5, 10}, "", "", 0);
    OutputCapture out;
    // IPS: 3 + 10, 7 + 10, then 3 - 10, 7 - 10.  STM from 0 to 10, every position shifted by 2, then
    // one already past its target: nothing.  LMR: widths 5, 3 and 2 up to the first stop, each grown by 1.
    OutIPS(7, 3, 10, 1), OutIPS(7, 3, 10, 0), OutSTM(10, 2, 1), OutSTM(2, 5, 0), OutLMR(-1, 2, 1, 1);
    EXPECT_BYTES(record("IPS", {"13", "17"}) + record("IPS", {"65529", "65533"}) + record("STM", {"2", "4"}) +
                     record("STM", {"4", "7"}) + record("STM", {"7", "12"}) + record("LMR", {"6"}) +
                     record("LMR", {"4"}) + record("LMR", {"3"}),
                 out.bytes());
}

// Catches a wrong record sequence or TAB count, an NTB without the V stops OutTempMargin inserts
// itself (the converter's paragraphs insert theirs before), or with V stops already there, V stops
// not taken out again, and a ruler left shifted afterwards.
TEST_F(LayoutRecordsTest, TempMarginSequences) {
    const std::string tabs = record("TAB", {"1"}) + record("TAB", {"1"}) + record("TAB", {"1"});
    const struct { Stops stops; std::string kinds; int left, first, shift, margin; std::string bytes; } cases[] = {
        // First right of the indent: V stops at 1800 (slot 0) and 3240 (slot 3), columns 13, 15, 20,
        // 23, 25, kinds V L L V L; three stops from the left indent to the first line.
        {{720, 1440, 2160}, "LLL", 360, 1800, 1, 1440,
         record("NTB", hex(32, {0, 0x05, 0x09, 0x40}) + hex(60, {0x80, 0x08}) +
                           Strings{"5", "1800", "2160", "2880", "3240", "3600"}) +
             record("IPS", {"2", "12", "1800", "3240"}) + record("STM", {"10", "12", "1440", "1800"}) + tabs},
        // Both indents on stops: no NTB, and the V stop already there stays.
        {{720, 1440, 2160}, "LVL", 1440, 720, 0, 0,
         record("STM", {"0", "5", "0", "720"}) + record("STM", {"5", "10", "720", "1440"}) +
             record("LMR", {"5", "720"})},
    };
    for (const auto &c : cases) {
        set_ruler(c.stops, c.kinds);
        OutputCapture out;
        EXPECT_BYTES(c.bytes, (OutTempMargin(c.left, c.first, c.shift, c.margin), out.bytes())) << c.left;
        EXPECT_EQ(std::make_pair(stops(), kinds()), std::make_pair(c.stops, c.kinds)) << c.left << " " << c.first;
    }
}

// Catches an uncounted or misplaced new stop (the temporary margins find theirs by FindTsNum), a
// leader that stays in its slot, a duplicate position, a full ruler that overruns, moves outside
// the ruler, and V stops left behind next to each other.
TEST_F(LayoutRecordsTest, RulerEditingEdges) {
    set_ruler({});
    EXPECT_EQ(InsertTab(720, 'C') + InsertTab(1440, 'R'), 2);  // into the empty ruler, after the last
    ruler.c_tab_ldr[0] = '.';
    EXPECT_EQ(InsertTab(100, 'V') + InsertTab(1000, 'V') + InsertTab(5000, 'V'), 3);  // before, between, after
    EXPECT_EQ(InsertTab(720, 'V') + InsertTab(5000, 'V'), 0);                         // present, the last too
    EXPECT_EQ(std::make_pair(stops(), kinds()),
              std::make_pair(Stops{100, 720, 1000, 1440, 5000}, std::string("VCVRV")));
    EXPECT_EQ(std::string(ruler.c_tab_ldr, ruler.c_tab_ldr + 3), std::string("\0.\0", 3));  // moved with its stop
    EXPECT_EQ(FindTsNum(5000), 4);
    Stops full;
    for (int i = 1; i <= kRulerSlots; ++i) full.push_back(10 * i);
    set_ruler(full);
    // After the last (2560): no slot 256; 15 goes to slot 1, the rest move up and 2560 drops off the end.
    EXPECT_EQ((std::vector<int>{InsertTab(2561, 'V'), InsertTab(15, 'V')}), (std::vector<int>{0, 1}));
    EXPECT_EQ((Stops{stops()[0], stops()[1], stops()[2], stops().back(), ruler.c_cur_tabs}),
              (Stops{10, 15, 20, 2550, 256}));
    set_ruler({1, 2, 3, 4, 5, 6, 7}, "VVLVVLV");
    for (int bad : {-1, 8}) EXPECT_EQ(MoveRulerDown(bad), -1) << bad;  // 7, the slot after the last, is allowed
    for (int bad : {-1, 7}) EXPECT_EQ(MoveRulerUp(bad), -1) << bad;
    RemoveVitrualTabs();
    EXPECT_EQ(std::make_pair(stops(), kinds()), std::make_pair(Stops{3, 6}, std::string("LL")));
}

// Catches XCS written for the current set, a translated character below 128 not written as text,
// and the wrong form of a 437 character: HEX for 1-31, text up to 127, UCS from 128, "_" for 0.
// (XCS + UCS and "_" for an untranslatable character are in the documents; the translations
// themselves are the code pages'.)
TEST_F(LayoutRecordsTest, XcsNamesTheSourceAndGivesThe437Form) {
    const std::pair<std::pair<int, int>, std::string> cases[] = {
        {{0xCC, 9999}, record("XCS", {"9999", "CC"}) + "A"},  // the Macintosh A tilde: stand-in A
        {{0x01, 437}, record("HEX", {"01"})}, {{0x1F, 437}, record("HEX", {"1F"})}, {{0x7F, 437}, "\x7F"},
        {{0, 437}, "_"}, {{0x80, 437}, record("UCS", {"80"})},
    };
    for (const auto &[in, bytes] : cases) {
        OutputCapture out;
        EXPECT_BYTES(bytes, (OutXCS(in.first, in.second), out.bytes())) << in.first << " in " << in.second;
    }
}

}  // namespace
}  // namespace vox::test
