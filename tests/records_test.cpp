// Intermediate-code records: code packing and unpacking, the unpacking ring,
// and the exact bytes of every writer.
#include <set>

#include "test_support.h"

namespace vox {

using RecordsTest = test::KernelTest;

static_assert(icf_code("DID") == 4388 && icf_code("XY9") == 24 + 25 * 32 + 36 * 1024, "packing at build time");

// Catches a wrong letter index or shift in packing or unpacking, and a third
// character outside the table not read as 37.
TEST_F(RecordsTest, CodesPackAndUnpack) {
    // first + second * 32 + third * 1024 over " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    const struct { const char *code; unsigned number; } cases[] = {
        {"DID", 4388},  {"HNL", 8 + 14 * 32 + 12 * 1024}, {"AB5", 1 + 2 * 32 + 32 * 1024},
        {"PG9", 16 + 7 * 32 + 36 * 1024}, {"AB ", 65},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(StrToIcfCode(c.code), c.number) << c.code;
        EXPECT_STREQ(IcfCodeToStr(c.number), c.code) << c.number;
    }
    EXPECT_EQ(StrToIcfCode("ABa"), 65u + 37u * 1024u);
    EXPECT_EQ(std::string(IcfCodeToStr(65u + 37u * 1024u), 4), std::string("AB\0\0", 4));  // 37: the NUL
}

// Catches a ring of the wrong size or a slot reused too early.
TEST_F(RecordsTest, SeventeenthUnpackingReusesTheFirstSlot) {
    char *slots[17];
    for (unsigned k = 1; k <= 17; ++k) slots[k - 1] = IcfCodeToStr(k * (1 + 32 + 1024));  // "AAA", "BBB", ...
    EXPECT_EQ(std::set<char *>(slots, slots + 16).size(), 16u);
    EXPECT_EQ(slots[16], slots[0]);
    EXPECT_STREQ(slots[0], "QQQ");
    for (int i = 1; i < 16; ++i) EXPECT_EQ(slots[i], std::string(3, static_cast<char>('A' + i)));
}

// Catches wrong digits, leading zeros, a missing 16-bit wrap (or one where it
// does not belong), a missing or extra terminator and wrong record framing.
TEST_F(RecordsTest, WritersSendExactBytes) {
    const struct { int (*write)(); const char *bytes; } cases[] = {
        {[] { return dec_out(0); }, "0<US>"}, {[] { return dec_out(100); }, "100<US>"},
        {[] { return dec_out(10000); }, "10000<US>"}, {[] { return dec_out(65535); }, "65535<US>"},
        {[] { return dec_out(65536); }, "0<US>"}, {[] { return dec_out(70000); }, "4464<US>"},
        {[] { DecOutNoTerm(42); return 0; }, "42"}, {[] { return long_out(1000000000u); }, "1000000000<US>"},
        {[] { return long_out(0); }, "0<US>"}, {[] { return long_out(4294967295u); }, "4294967295<US>"},
        {[] { return HexOut8(0x1A5); }, "A5<US>"}, {[] { return HexOut8NoTerm(0x0C); }, "0C"},
        {[] { return hex_out(0xBE, 0); }, "BE"}, {[] { return HexOut16(10); }, "000A<US>"},
        {[] { return HexOut16(0x1BEEF); }, "BEEF<US>"}, {[] { return hex_out16(-2); }, "FFFE<US>"},
        {[] { OutHexNibble(9); OutHexNibble(10); return OutHexNibble(0x1F); }, "9AF"},
        {[] { return icf_only(2100); }, "TAB"}, {[] { return out_icf(12744); }, "<ESC><GS>HNL<RS>"},
        {[] { beg_icf(4388); dec_out(42); return end_icf(); }, "<ESC><GS>DID42<US><RS>"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        test::OutputCapture out;
        EXPECT_EQ(cases[i].write(), 0) << "row " << i;
        EXPECT_EQ(test::visible(out.bytes()), cases[i].bytes) << "row " << i;
    }
}

}  // namespace vox
