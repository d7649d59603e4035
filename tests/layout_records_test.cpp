// Layout records: the tab ruler record NTB, the ruler record RUL, the
// temporary-margin sequence and its records, ruler editing, and the
// character records.  Expected bytes are worked out by hand: a stop at p
// twips sits in column (p + 72) / 144, bit p of the map counted from the
// most significant bit of byte 0.
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "test_support.h"

namespace vox {
namespace {

using test::OutputCapture;
using test::record;
using test::visible;

// Builds a parameter list piece by piece.
struct Params {
    std::vector<std::string> list;
    Params &hex(std::initializer_list<int> bytes) {
        for (int b : bytes) {
            char text[3];
            std::snprintf(text, sizeof text, "%02X", b);
            list.push_back(text);
        }
        return *this;
    }
    Params &zeros(int n) {
        list.insert(list.end(), n, "00");
        return *this;
    }
    Params &num(std::initializer_list<long> values) {
        for (long v : values) list.push_back(std::to_string(v));
        return *this;
    }
    Params &text(std::initializer_list<const char *> values) {
        list.insert(list.end(), values.begin(), values.end());
        return *this;
    }
};

class LayoutRecordsTest : public test::KernelTest {
  protected:
    RulerState &ruler() { return kernel().ruler; }

    // Stops with their kinds (one letter each, "" for all "L") in twips.
    void set_ruler(std::initializer_list<std::int32_t> stops, const std::string &kinds = "",
                   int twips = 1) {
        RulerState &r = ruler();
        int i = 0;
        for (std::int32_t p : stops) {
            r.c_tab_stop[i] = p;
            r.c_tab_type[i] = i < int(kinds.size()) ? kinds[i] : 'L';
            ++i;
        }
        r.c_cur_tabs = i;
        r.VOXTwipFlag = twips;
    }

    std::vector<std::int32_t> stops() {
        const RulerState &r = ruler();
        return std::vector<std::int32_t>(r.c_tab_stop, r.c_tab_stop + r.c_cur_tabs);
    }
    std::string kinds() {
        const RulerState &r = ruler();
        return std::string(reinterpret_cast<const char *>(r.c_tab_type), r.c_cur_tabs);
    }
};

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(visible(expected), visible(actual))

// ---- NTB -----------------------------------------------------------------

TEST_F(LayoutRecordsTest, NtbOfAnEmptyTwipRuler) {
    set_ruler({});
    OutputCapture out;
    OutNTB(0);
    EXPECT_BYTES(record("NTB", Params().zeros(32 + 20 + 40).num({0}).list), out.bytes());
}

TEST_F(LayoutRecordsTest, NtbMapsRoundedColumnsAndLeavesOutColumn256) {
    // 1367 -> 1439/144 = 9, 1368 -> 1440/144 = 10, 36860 -> 36932/144 = 256.
    set_ruler({1367, 1368, 36860});
    OutputCapture out;
    OutNTB(0);
    auto p = Params().hex({0x00, 0x60}).zeros(30).zeros(20).zeros(40).num({3, 1367, 1368, 36860});
    EXPECT_BYTES(record("NTB", p.list), out.bytes());
}

TEST_F(LayoutRecordsTest, NtbShiftsEveryStopByTheOffset) {
    // 0 + 1440 is column 10 and 100 + 1440 column 1612 / 144 = 11 (byte 1,
    // 0x20 | 0x10); 100 - 1000 = -900 is past the map in unsigned
    // arithmetic and listed as 65536 - 900.
    set_ruler({0, 100});
    OutputCapture out;
    OutNTB(1440);
    auto shifted = Params().hex({0x00, 0x30}).zeros(30).zeros(60).num({2, 1440, 1540});
    EXPECT_BYTES(record("NTB", shifted.list), out.bytes());

    set_ruler({100});
    out.clear();
    OutNTB(-1000);
    EXPECT_BYTES(record("NTB", Params().zeros(92).num({1, 64636}).list), out.bytes());
}

TEST_F(LayoutRecordsTest, NtbKindsTwoStopsPerByte) {
    set_ruler({144, 288, 432}, "CRD");  // columns 1, 2, 3: byte 0 = 0x70
    OutputCapture out;
    OutNTB(0);
    auto p = Params().hex({0x70}).zeros(31).hex({0x12, 0x30}).zeros(18).zeros(40).num({3, 144, 288, 432});
    EXPECT_BYTES(record("NTB", p.list), out.bytes());

    set_ruler({144, 288, 432, 576}, "VNLx");  // V is 8; N, L and unknown kinds are 0
    out.clear();
    OutNTB(0);
    auto q = Params().hex({0x78}).zeros(31).hex({0x80, 0x00}).zeros(18).zeros(40).num({4, 144, 288, 432, 576});
    EXPECT_BYTES(record("NTB", q.list), out.bytes());
}

TEST_F(LayoutRecordsTest, NtbListsLeadersOnlyWhenOneIsSet) {
    set_ruler({720, 1440});
    ruler().c_tab_ldr[1] = '.';
    ruler().c_tab_ldr[2] = '-';  // slot past the count: not a stop
    OutputCapture out;
    OutNTB(0);
    // 720 -> 792/144 = 5 (0x04 in byte 0), 1440 -> 10 (0x20 in byte 1).
    auto p = Params().hex({0x04, 0x20}).zeros(30).zeros(20).hex({0x00, 0x2E}).zeros(38).num({2, 720, 1440});
    EXPECT_BYTES(record("NTB", p.list), out.bytes());
}

TEST_F(LayoutRecordsTest, TenthsCarryNoTwipParameters) {
    set_ruler({10, 300}, "", 0);  // tenths already; 300 is past the map
    OutputCapture out;
    OutNTB(0);
    EXPECT_BYTES(record("NTB", Params().hex({0x00, 0x20}).zeros(30).zeros(20).list), out.bytes());

    ruler().c_tab_ldr[0] = '_';
    out.clear();
    OutNTB(0);
    auto p = Params().hex({0x00, 0x20}).zeros(30).zeros(20).hex({0x5F}).zeros(39);
    EXPECT_BYTES(record("NTB", p.list), out.bytes());

    set_ruler({2, 5, 10}, "", 0);
    out.clear();
    OutSTM(10, 2, 0);
    OutLMR(0, 2, 0, 0);
    EXPECT_BYTES(record("STM", {"2", "5"}) + record("STM", {"5", "10"}) + record("LMR", {"5"}) +
                     record("LMR", {"3"}),
                 out.bytes());
}

TEST_F(LayoutRecordsTest, NtbListsKindsAndLeadersOfFortyStopsButCountsAll) {
    RulerState &r = ruler();
    r.VOXTwipFlag = 1;
    r.c_cur_tabs = 41;
    Params positions;
    for (int i = 0; i < 41; ++i) {
        r.c_tab_stop[i] = 144 * i;  // column i
        r.c_tab_type[i] = 'C';
        positions.num({144L * i});
    }
    r.c_tab_ldr[40] = '.';  // the 41st stop's leader is not looked at
    OutputCapture out;
    OutNTB(0);
    auto p = Params().hex({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80}).zeros(26);
    p.list.insert(p.list.end(), 20, "11");
    p.zeros(40).num({41});
    p.list.insert(p.list.end(), positions.list.begin(), positions.list.end());
    EXPECT_BYTES(record("NTB", p.list), out.bytes());
}

// ---- RUL -----------------------------------------------------------------

thread_local std::string leaders_put;
int put_leader(int byte) {
    leaders_put.push_back(static_cast<char>(byte));
    return b_putc('*');
}

TEST_F(LayoutRecordsTest, RulWithoutPositionsWritesNothing) {
    OutputCapture out;
    EXPECT_EQ(OutRUL(1, 3, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(out.bytes(), "");
}

TEST_F(LayoutRecordsTest, RulPositionsAndTypes) {
    const std::int32_t pos[] = {720, -5, 70000};
    OutputCapture out;
    EXPECT_EQ(OutRUL(0x1A, 3, pos, nullptr, nullptr, nullptr), 3);
    EXPECT_BYTES(record("RUL", {"1A", "3", "720", "0", "4464"}), out.bytes());

    const unsigned char all_left[] = {'L', 'L', 'L'};
    out.clear();
    OutRUL(0x1A, 3, pos, all_left, nullptr, nullptr);
    EXPECT_BYTES(record("RUL", {"1A", "3", "720", "0", "4464"}), out.bytes());

    const unsigned char mixed[] = {'C', 0, 'L'};
    out.clear();
    OutRUL(0x1A, 3, pos, mixed, nullptr, nullptr);
    EXPECT_BYTES(record("RUL", {"1A", "3", "720", "0", "4464", "C", "L", "L"}), out.bytes());

    // A 0 type is no "L" byte: it alone makes the list go out.
    const unsigned char zero[] = {'L', 0, 'L'};
    out.clear();
    OutRUL(0x1A, 3, pos, zero, nullptr, nullptr);
    EXPECT_BYTES(record("RUL", {"1A", "3", "720", "0", "4464", "L", "L", "L"}), out.bytes());
}

TEST_F(LayoutRecordsTest, RulLeadersFollowTypesOrStandInLs) {
    const std::int32_t pos[] = {100, 200, 300, 400, 500};
    const unsigned char leaders[] = {'-', 0, 31, 127, 200};
    OutputCapture out;
    OutRUL(2, 5, pos, nullptr, leaders, nullptr);
    EXPECT_BYTES(record("RUL", {"02", "5", "100", "200", "300", "400", "500", "L", "L", "L", "L",
                                "L", "-", "", ".", "\x7F", "."}),
                 out.bytes());

    const unsigned char types[] = {'R', 'L', 'L', 'L', 'D'};
    const unsigned char none[5] = {};
    out.clear();
    OutRUL(2, 5, pos, types, none, nullptr);  // no leader set: no leader list
    EXPECT_BYTES(record("RUL", {"02", "5", "100", "200", "300", "400", "500", "R", "L", "L", "L", "D"}),
                 out.bytes());
}

TEST_F(LayoutRecordsTest, RulSendsLeadersThroughThePutFunction) {
    const std::int32_t pos[] = {100, 200, 300};
    const unsigned char types[] = {'C', 'L', 'L'};
    const unsigned char leaders[] = {0, 200, '.'};
    leaders_put.clear();
    OutputCapture out;
    OutRUL(0, 3, pos, types, leaders, put_leader);
    EXPECT_BYTES(record("RUL", {"00", "3", "100", "200", "300", "C", "L", "L", "", "*", "*"}), out.bytes());
    EXPECT_EQ(leaders_put, "\xC8.");
}

// ---- IPS, STM, LMR ---------------------------------------------------------

TEST_F(LayoutRecordsTest, IpsInEachMode) {
    set_ruler({});
    OutputCapture out;
    OutIPS(720, 360, 1440, 1);  // (360 + 1440) / 144 = 12, (720 + 1440) / 144 = 15
    EXPECT_BYTES(record("IPS", {"12", "15", "1800", "2160"}), out.bytes());

    out.clear();
    OutIPS(0, 100, 1440, 0);  // -1340 / 144 = -9, -1440 / 144 = -10, truncated toward 0
    EXPECT_BYTES(record("IPS", {"65527", "65526", "100", "0"}), out.bytes());

    ruler().VOXTwipFlag = 0;
    out.clear();
    OutIPS(7, 3, 10, 1);
    EXPECT_BYTES(record("IPS", {"13", "17"}), out.bytes());
    out.clear();
    OutIPS(7, 3, 10, 0);
    EXPECT_BYTES(record("IPS", {"65529", "65533"}), out.bytes());
}

TEST_F(LayoutRecordsTest, StmStepsFromStopToStop) {
    set_ruler({720, 1440, 2160});
    OutputCapture out;
    OutSTM(5000, 0, 0);  // stops run out before the target
    EXPECT_BYTES(record("STM", {"0", "5", "0", "720"}) + record("STM", {"5", "10", "720", "1440"}) +
                     record("STM", {"10", "15", "1440", "2160"}),
                 out.bytes());

    out.clear();
    OutSTM(1440, 1440, 1);  // absolute: from 0, every position shifted by the margin
    EXPECT_BYTES(record("STM", {"10", "15", "1440", "2160"}) + record("STM", {"15", "20", "2160", "2880"}),
                 out.bytes());

    out.clear();
    OutSTM(720, 1440, 0);   // already past the target
    OutSTM(9000, 2160, 0);  // no stop beyond the start
    EXPECT_EQ(out.bytes(), "");
}

TEST_F(LayoutRecordsTest, LmrFromTheRightWithAFirstRecordForNegativeFrom) {
    set_ruler({288, 720, 1440});
    OutputCapture out;
    OutLMR(-1, 2, 0, 0);  // widths 720, 432, then 288 up to the first stop
    EXPECT_BYTES(record("LMR", {"5", "720"}) + record("LMR", {"3", "432"}) + record("LMR", {"2", "288"}),
                 out.bytes());

    out.clear();
    OutLMR(-1, 2, 144, 1);  // each width grows by the margin
    EXPECT_BYTES(record("LMR", {"6", "864"}) + record("LMR", {"4", "576"}) + record("LMR", {"3", "432"}),
                 out.bytes());

    out.clear();
    OutLMR(1, 1, 0, 0);  // nothing between a stop and itself
    OutLMR(0, -1, 0, 0);
    EXPECT_EQ(out.bytes(), "");

}

// ---- temporary margins -----------------------------------------------------

TEST_F(LayoutRecordsTest, TempMarginWithFirstLineLeftOfTheIndent) {
    set_ruler({720, 1440, 2160});
    OutputCapture out;
    OutTempMargin(720, 0, 1, 1440);
    // Shifted stops 2160, 2880, 3600; left 2160 is a stop, first 1440 gets
    // a V stop in slot 0.  Columns 10, 15, 20, 25: bytes 00 21 08 40.
    auto ntb = Params().hex({0x00, 0x21, 0x08, 0x40}).zeros(28).hex({0x80}).zeros(19).zeros(40).num(
        {4, 1440, 2160, 2880, 3600});
    EXPECT_BYTES(record("NTB", ntb.list) + record("STM", {"10", "15", "1440", "2160"}) +
                     record("LMR", {"5", "720"}),
                 out.bytes());
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{720, 1440, 2160}));
    EXPECT_EQ(kinds(), "LLL");
}

TEST_F(LayoutRecordsTest, TempMarginWithFirstLineRightOfTheIndent) {
    set_ruler({720, 1440, 2160});
    OutputCapture out;
    OutTempMargin(360, 1800, 1, 1440);
    // Shifted stops 2160, 2880, 3600; V stops at 1800 (slot 0) and 3240
    // (slot 3): columns 13, 15, 20, 23, 25, kinds V L L V L.
    auto ntb = Params().hex({0x00, 0x05, 0x09, 0x40}).zeros(28).hex({0x80, 0x08}).zeros(18).zeros(40).num(
        {5, 1800, 2160, 2880, 3240, 3600});
    // Three stops from the left indent (slot 0) to the first line (slot 3).
    const std::string tab = record("TAB", {"1"});
    EXPECT_BYTES(record("NTB", ntb.list) + record("IPS", {"2", "12", "1800", "3240"}) +
                     record("STM", {"10", "12", "1440", "1800"}) + tab + tab + tab,
                 out.bytes());
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{720, 1440, 2160}));
}

TEST_F(LayoutRecordsTest, TempMarginWithoutShiftAndBothIndentsOnStops) {
    set_ruler({720, 1440, 2160}, "LVL");
    OutputCapture out;
    OutTempMargin(1440, 720, 0, 0);
    // Nothing inserted: no NTB, and the V stop already there stays.
    EXPECT_BYTES(record("STM", {"0", "5", "0", "720"}) + record("STM", {"5", "10", "720", "1440"}) +
                     record("LMR", {"5", "720"}),
                 out.bytes());
    EXPECT_EQ(kinds(), "LVL");
}

TEST_F(LayoutRecordsTest, TempMarginWithIndentsPastTheLastStop) {
    set_ruler({720, 1440});
    OutputCapture out;
    OutTempMargin(2880, 2160, 0, 0);
    // V stops after the last one are counted: 720, 1440, 2160 V, 2880 V in
    // columns 5, 10, 15, 20.  The STM walk ends on the left indent's stop.
    auto ntb = Params().hex({0x04, 0x21, 0x08}).zeros(29).hex({0x00, 0x88}).zeros(18).zeros(40).num(
        {4, 720, 1440, 2160, 2880});
    EXPECT_BYTES(record("NTB", ntb.list) + record("STM", {"0", "5", "0", "720"}) +
                     record("STM", {"5", "10", "720", "1440"}) + record("STM", {"10", "15", "1440", "2160"}) +
                     record("STM", {"15", "20", "2160", "2880"}) + record("LMR", {"5", "720"}),
                 out.bytes());
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{720, 1440}));
}

// ---- ruler editing -----------------------------------------------------------

TEST_F(LayoutRecordsTest, InsertTabPlacesAndCountsEveryNewStop) {
    set_ruler({});
    EXPECT_EQ(FindPosInRuler(500), 0);  // empty ruler: slot 0, counted
    EXPECT_EQ(ruler().c_cur_tabs, 1);

    set_ruler({720, 1440}, "CR");
    ruler().c_tab_ldr[0] = '.';
    EXPECT_EQ(InsertTab(100, 'V'), 1);   // before the first
    EXPECT_EQ(InsertTab(1000, 'V'), 1);  // between
    EXPECT_EQ(InsertTab(5000, 'V'), 1);  // after the last
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{100, 720, 1000, 1440, 5000}));
    EXPECT_EQ(kinds(), "VCVRV");
    EXPECT_EQ(ruler().c_tab_ldr[0], 0);  // a new stop has no leader
    EXPECT_EQ(ruler().c_tab_ldr[1], '.');  // the old one moved with its stop
    EXPECT_EQ(FindTsNum(5000), 4);
    EXPECT_EQ(FindTsNum(5001), -1);
}

TEST_F(LayoutRecordsTest, InsertTabRefusesAPositionAlreadyPresent) {
    set_ruler({720, 1440, 2160});
    EXPECT_EQ(InsertTab(720, 'V'), 0);
    EXPECT_EQ(InsertTab(1440, 'V'), 0);
    EXPECT_EQ(FindPosInRuler(2160), -1);  // the last stop too
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{720, 1440, 2160}));
    EXPECT_EQ(kinds(), "LLL");
}

TEST_F(LayoutRecordsTest, AFullRulerDropsItsLastStopOrRefuses) {
    RulerState &r = ruler();
    for (int i = 0; i < kRulerSlots; ++i) {
        r.c_tab_stop[i] = 10 * (i + 1);
        r.c_tab_type[i] = 'L';
    }
    r.c_cur_tabs = kRulerSlots;
    EXPECT_EQ(InsertTab(2561, 'V'), 0);  // after the last (2560): no slot 256
    EXPECT_EQ(InsertTab(15, 'V'), 1);    // between 10 and 20: slot 1
    EXPECT_EQ(r.c_cur_tabs, kRulerSlots);
    EXPECT_EQ(r.c_tab_stop[1], 15);
    EXPECT_EQ(r.c_tab_stop[2], 20);
    EXPECT_EQ(r.c_tab_stop[255], 2550);  // 2560 dropped off
    EXPECT_EQ(InsertTab(5, 'V'), 1);
    EXPECT_EQ(r.c_tab_stop[0], 5);
    EXPECT_EQ(r.c_tab_stop[255], 2540);
}

TEST_F(LayoutRecordsTest, MovingTheRulerRefusesSlotsOutsideIt) {
    set_ruler({100, 200, 300}, "CRD");
    EXPECT_EQ(MoveRulerDown(-1), -1);
    EXPECT_EQ(MoveRulerDown(4), -1);  // past the slot after the last
    EXPECT_EQ(MoveRulerUp(3), -1);
    EXPECT_EQ(MoveRulerUp(-1), -1);
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{100, 200, 300}));
    EXPECT_EQ(MoveRulerUp(0), 0);
    EXPECT_EQ(kinds(), "RD");
}

TEST_F(LayoutRecordsTest, RemoveVirtualTabsAlsoTakesNeighbouringOnes) {
    set_ruler({1, 2, 3, 4, 5, 6, 7}, "VVLVVLV");
    RemoveVitrualTabs();
    EXPECT_EQ(stops(), (std::vector<std::int32_t>{3, 6}));
    EXPECT_EQ(kinds(), "LL");
}

// ---- character records ---------------------------------------------------------

TEST_F(LayoutRecordsTest, XcsNamesTheSourceAndGivesThe437Form) {
    OutputCapture out;
    OutXCS(0x8E, 9999);  // Macintosh e acute is 437's 0x82
    EXPECT_BYTES(record("XCS", {"9999", "8E"}) + record("UCS", {"82"}), out.bytes());

    out.clear();
    OutXCS(0x61, 9998);  // Symbol alpha is 437's 0xE0
    EXPECT_BYTES(record("XCS", {"9998", "61"}) + record("UCS", {"E0"}), out.bytes());

    out.clear();
    OutXCS(0x32, 9998);  // Symbol's digit two is the digit
    OutXCS(0x41, 9999);  // ASCII passes through
    EXPECT_BYTES(record("XCS", {"9998", "32"}) + "2" + record("XCS", {"9999", "41"}) + "A", out.bytes());

    out.clear();
    OutXCS(0xCC, 9999);  // Macintosh A tilde: 437 lacks it, stands in with A
    OutXCS(1, 9997);     // the private set's first character is written G
    EXPECT_BYTES(record("XCS", {"9999", "CC"}) + "A" + record("XCS", {"9997", "01"}) + "G", out.bytes());
}

TEST_F(LayoutRecordsTest, XcsOfAnUntranslatableCharacterIsAnUnderscore) {
    OutputCapture out;
    OutXCS(0x81, 1250);  // undefined in 1250: no row
    OutXCS(0xC0, 9998);  // Symbol aleph: a row, but nothing in 437
    OutXCS(5, 9997);     // private character 5: no equivalent
    OutXCS(0x09, 850);   // control codes of other pages have no rows
    EXPECT_BYTES(record("XCS", {"1250", "81"}) + "_" + record("XCS", {"9998", "C0"}) + "_" +
                     record("XCS", {"9997", "05"}) + "_" + record("XCS", {"850", "09"}) + "_",
                 out.bytes());
}

TEST_F(LayoutRecordsTest, XcsIn437NeedsNoTranslation) {
    OutputCapture out;
    OutXCS(0x09, 437);
    OutXCS(0x1F, 437);
    OutXCS('x', 437);
    OutXCS(0x7F, 437);
    OutXCS(0, 437);
    OutXCS(0x80, 437);
    OutXCS(0xFF, 437);
    EXPECT_BYTES(record("HEX", {"09"}) + record("HEX", {"1F"}) + "x\x7F_" + record("UCS", {"80"}) +
                     record("UCS", {"FF"}),
                 out.bytes());
}

TEST_F(LayoutRecordsTest, MemcchrFindsTheFirstDifferentByte) {
    const unsigned char area[] = {'L', 'L', 'C', 'L'};
    EXPECT_EQ(memcchr(area, 'L', 4), area + 2);
    EXPECT_EQ(memcchr(area, 'L', 2), nullptr);
    EXPECT_EQ(memcchr(area, 'L' + 256, 3), area + 2);  // compared as a byte
    EXPECT_EQ(memcchr(area, 'C', 0), nullptr);
    EXPECT_EQ(memcchr(nullptr, 0, 4), nullptr);
}

}  // namespace
}  // namespace vox
