// Intermediate-code records: code packing and unpacking, the unpacking
// ring, and the exact bytes of every writer.
#include <functional>
#include <string>

#include "test_support.h"

namespace vox {
namespace {

using test::OutputCapture;
using test::record;
using test::visible;

// Packed numbers worked out from the table " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789":
// first + second * 32 + third * 1024.
struct PackedCode {
    const char *code;
    unsigned number;
};
const PackedCode kTellingCodes[] = {
    {"DID", 4388},  {"TAB", 2100},  {"HNL", 12744}, {"SNL", 12755}, {"HCB", 2152},
    {"NTB", 2702},  {"RUL", 12978}, {"XCS", 19576}, {"UCS", 19573}, {"HEX", 24744},
    {"IPS", 19977}, {"STM", 13971}, {"LMR", 18860}, {"PCT", 20592}, {"IGR", 18665},
    {"PDS", 19600}, {"OLE", 5519},  {"SSI", 9843},
    {"AB5", 1 + 2 * 32 + 32 * 1024},  // '5' is index 27 + 5
    {"PG9", 16 + 7 * 32 + 36 * 1024},
};

static_assert(icf_code("DID") == 4388 && icf_code("HEX") == 24744 && icf_code("XY9") == 24 + 25 * 32 + 36 * 1024,
              "build-time codes follow the packing rule");

class RecordsTest : public test::KernelTest {};

TEST_F(RecordsTest, CodesPackAndUnpackToThemselves) {
    for (const PackedCode &c : kTellingCodes) {
        EXPECT_EQ(StrToIcfCode(c.code), c.number) << c.code;
        EXPECT_STREQ(IcfCodeToStr(c.number), c.code) << c.number;
    }
    EXPECT_EQ(StrToIcfCode("DIDX"), 4388u);  // exactly three bytes are read
}

TEST_F(RecordsTest, ThirdCharacterOutsideTheLettersAndDigits) {
    EXPECT_EQ(StrToIcfCode("AB "), 65u);                   // the space is index 0
    EXPECT_EQ(StrToIcfCode("ABa"), 65u + 37u * 1024u);     // not in the table: index 37
    EXPECT_EQ(StrToIcfCode("AB\x01"), 65u + 37u * 1024u);
    char *two = IcfCodeToStr(65u + 37u * 1024u);           // 37 reads the table's NUL
    EXPECT_EQ(std::string(two, 4), std::string("AB\0\0", 4));
    EXPECT_EQ(std::string(IcfCodeToStr(65), 4), std::string("AB \0", 4));
}

TEST_F(RecordsTest, SeventeenthUnpackingReusesTheFirstSlot) {
    const char *codes[17] = {"AAA", "BBB", "CCC", "DDD", "EEE", "FFF", "GGG", "HHH", "III",
                             "JJJ", "KKK", "LLL", "MMM", "NNN", "OOO", "PPP", "QQQ"};
    char *slots[17];
    for (int i = 0; i < 17; ++i) slots[i] = IcfCodeToStr(StrToIcfCode(codes[i]));
    for (int i = 0; i < 16; ++i)
        for (int j = i + 1; j < 16; ++j) EXPECT_NE(slots[i], slots[j]);
    EXPECT_EQ(slots[16], slots[0]);
    EXPECT_STREQ(slots[0], "QQQ");
    // Every other pointer still shows its own code, 15 unpackings later.
    for (int i = 1; i < 16; ++i) EXPECT_STREQ(slots[i], codes[i]);
}

// The bytes one writer call sends to the target, and its result.
std::string bytes_of(const std::function<int()> &write) {
    OutputCapture out;
    EXPECT_EQ(write(), 0);
    return out.bytes();
}

TEST_F(RecordsTest, SixteenBitDecimal) {
    EXPECT_EQ(visible(bytes_of([] { return dec_out(0); })), "0<US>");
    EXPECT_EQ(visible(bytes_of([] { return dec_out(65535); })), "65535<US>");
    EXPECT_EQ(visible(bytes_of([] { return dec_out(65536); })), "0<US>");
    EXPECT_EQ(visible(bytes_of([] { return dec_out(static_cast<std::uint32_t>(-1)); })), "65535<US>");
    EXPECT_EQ(visible(bytes_of([] { return dec_out(70000); })), "4464<US>");  // 70000 - 65536
    EXPECT_EQ(visible(bytes_of([] { return dec_out(10000); })), "10000<US>");
    EXPECT_EQ(visible(bytes_of([] { return dec_out(100); })), "100<US>");
    EXPECT_EQ(visible(bytes_of([] { return dec_out(9); })), "9<US>");
    EXPECT_EQ(visible(bytes_of([] {
                  DecOutNoTerm(42);
                  return 0;
              })),
              "42");
}

TEST_F(RecordsTest, ThirtyTwoBitDecimal) {
    EXPECT_EQ(visible(bytes_of([] { return long_out(0); })), "0<US>");
    EXPECT_EQ(visible(bytes_of([] { return long_out(4294967295u); })), "4294967295<US>");
    EXPECT_EQ(visible(bytes_of([] { return long_out(3000000000u); })), "3000000000<US>");
    EXPECT_EQ(visible(bytes_of([] { return long_out(1000000000u); })), "1000000000<US>");
    EXPECT_EQ(visible(bytes_of([] { return long_out(65536); })), "65536<US>");
}

TEST_F(RecordsTest, Hexadecimal) {
    EXPECT_EQ(visible(bytes_of([] { return HexOut8(0x1A5); })), "A5<US>");
    EXPECT_EQ(visible(bytes_of([] { return HexOut8(-1); })), "FF<US>");
    EXPECT_EQ(visible(bytes_of([] { return HexOut8NoTerm(0x0C); })), "0C");
    EXPECT_EQ(visible(bytes_of([] { return hex_out(0x3, 1); })), "03<US>");
    EXPECT_EQ(visible(bytes_of([] { return hex_out(0xBE, 0); })), "BE");
    EXPECT_EQ(visible(bytes_of([] { return HexOut16(10); })), "000A<US>");
    EXPECT_EQ(visible(bytes_of([] { return HexOut16(0x1BEEF); })), "BEEF<US>");
    EXPECT_EQ(visible(bytes_of([] { return HexOut16(-2); })), "FFFE<US>");
    EXPECT_EQ(visible(bytes_of([] { return hex_out16(0xFF); })), "00FF<US>");
    EXPECT_EQ(bytes_of([] { return OutHexNibble(9); }), "9");
    EXPECT_EQ(bytes_of([] { return OutHexNibble(10); }), "A");
    EXPECT_EQ(bytes_of([] { return OutHexNibble(0x1F); }), "F");
}

TEST_F(RecordsTest, WholeRecords) {
    EXPECT_EQ(bytes_of([] { return out_icf(12744); }), "\x1b\x1d\x48\x4e\x4c\x1e");  // HNL
    EXPECT_EQ(bytes_of([] {
                  beg_icf(4388);  // DID
                  dec_out(42);
                  return end_icf();
              }),
              "\x1b\x1d\x44\x49\x44\x34\x32\x1f\x1e");
    EXPECT_EQ(bytes_of([] { return icf_only(2100); }), "TAB");
    EXPECT_EQ(visible(bytes_of([] {
                  beg_icf(StrToIcfCode("RUL"));
                  dec_out(3);
                  b_putc(kUS);  // an empty parameter
                  HexOut16(0x1440);
                  return end_icf();
              })),
              visible(record("RUL", {"3", "", "1440"})));
}

}  // namespace
}  // namespace vox
