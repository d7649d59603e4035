// Code page translation: the shape of the generated table PagesMap and
// TranCodePage over it.  Expected codes come from the public definitions of
// the pages (IBM 437/850/852, Macintosh, ISO 8859-1/-2, Windows 1250,
// the Symbol font's encoding) and the private set's rules.
#include <cstring>
#include <set>

#include "test_support.h"

namespace vox {
namespace {

enum Column { k437, k9999, k850, k819, k8591, k9998, k8592, k9997, k852, k1250 };

bool valid_source(int row, int column) { return pages_map_mask(PagesMap[row]) >> column & 1; }

// Rows in which `column` holds `code` as the character itself.
int valid_rows(int column, int code) {
    int found = 0;
    for (int r = 0; r < kPagesMapRows; ++r)
        if (PagesMap[r][column] == code && valid_source(r, column)) ++found;
    return found;
}

TEST(CodePagesTest, TellingRowsByteForByte) {
    const unsigned char cedilla_c[16] = {0x80, 0x82, 0x80, 0xC7, 0xC7, 0x00, 0xC7, 0x00,
                                         0x80, 0xC7, 0, 0, 0x00, 0x00, 0x03, 0x5F};
    const unsigned char acute_e[16] = {0x82, 0x8E, 0x82, 0xE9, 0xE9, 0x00, 0xE9, 0x00,
                                       0x82, 0xE9, 0, 0, 0x00, 0x00, 0x03, 0x5F};
    const unsigned char grave_a[16] = {0x85, 0x88, 0x85, 0xE0, 0xE0, 0x00, 0x61, 0x00,
                                       0x61, 0x61, 0, 0, 0x00, 0x00, 0x00, 0x5F};
    EXPECT_EQ(std::memcmp(PagesMap[0], cedilla_c, 16), 0);
    EXPECT_EQ(std::memcmp(PagesMap[2], acute_e, 16), 0);
    EXPECT_EQ(std::memcmp(PagesMap[5], grave_a, 16), 0);
}

TEST(CodePagesTest, FirstRowsFollowTheUpperHalfOf437) {
    ASSERT_GE(kPagesMapRows, 128);
    for (int r = 0; r < 128; ++r) {
        EXPECT_EQ(PagesMap[r][k437], 0x80 + r) << r;
        EXPECT_TRUE(valid_source(r, k437)) << r;
    }
}

TEST(CodePagesTest, EveryDefinedCodeHasExactlyOneSourceRow) {
    for (int r = 0; r < kPagesMapRows; ++r) {
        EXPECT_EQ(PagesMap[r][10] | PagesMap[r][11], 0) << r;
        EXPECT_EQ(pages_map_mask(PagesMap[r]) >> kCodePageColumns, 0u) << r;
        EXPECT_EQ(PagesMap[r][k819], PagesMap[r][k8591]) << r;  // one set, two numbers
    }
    // Full 128-code upper halves.
    for (int code = 0x80; code <= 0xFF; ++code)
        for (int c : {k9999, k850, k852}) EXPECT_EQ(valid_rows(c, code), 1) << c << " " << code;
    // ISO 8859: 0x80-0x9F are control codes, which never make rows.
    for (int code = 0x80; code <= 0xFF; ++code)
        for (int c : {k819, k8591, k8592}) EXPECT_EQ(valid_rows(c, code), code >= 0xA0 ? 1 : 0) << c << " " << code;
    // Windows 1250 leaves five codes undefined.
    const std::set<int> undefined_1250 = {0x81, 0x83, 0x88, 0x90, 0x98};
    for (int code = 0x80; code <= 0xFF; ++code)
        EXPECT_EQ(valid_rows(k1250, code), undefined_1250.count(code) ? 0 : 1) << code;
    // The Symbol font: 0x20-0x7E and 0xA1-0xFE except 0xF0.
    for (int code = 0; code <= 0xFF; ++code) {
        const bool defined = (code >= 0x20 && code <= 0x7E) || (code >= 0xA1 && code <= 0xFE && code != 0xF0);
        EXPECT_EQ(valid_rows(k9998, code), defined ? 1 : 0) << code;
    }
    for (int code = 0; code <= 0xFF; ++code)
        EXPECT_EQ(valid_rows(k9997, code), code >= 1 && code <= 7 ? 1 : 0) << code;
}

TEST(CodePagesTest, PageNumbersAndColumns) {
    const int pages[kCodePageColumns] = {437, 9999, 850, 819, 8591, 9998, 8592, 9997, 852, 1250};
    for (int i = 0; i < kCodePageColumns; ++i) EXPECT_EQ(CodePageIndex(pages[i]), i);
    for (int unknown : {0, -1, 438, 1252, 8593}) EXPECT_EQ(CodePageIndex(unknown), -1);
    EXPECT_EQ(GetCurrentCodePage(), 437);
}

TEST(CodePagesTest, SamePageAsciiAndUnknownPages) {
    for (int c = -1; c <= 300; ++c) EXPECT_EQ(TranCodePage(437, 437, c), c);
    EXPECT_EQ(TranCodePage(1234, 1234, 7), 7);
    EXPECT_EQ(TranCodePage(850, 1250, 'A'), 'A');
    EXPECT_EQ(TranCodePage(9999, 437, 32), 32);
    EXPECT_EQ(TranCodePage(9999, 437, 127), 127);
    EXPECT_EQ(TranCodePage(1234, 437, 'A'), 'A');  // ASCII is passed before pages are looked up
    EXPECT_EQ(TranCodePage(850, 437, 31), -1);     // control codes have no rows
    EXPECT_EQ(TranCodePage(437, 1234, 200), -1);
    EXPECT_EQ(TranCodePage(1234, 437, 200), -1);
    EXPECT_EQ(TranCodePage(1234, 9998, 'A'), -1);  // Symbol involved: no ASCII shortcut
}

TEST(CodePagesTest, TextPagesTranslateThroughTheTellingRows) {
    EXPECT_EQ(TranCodePage(9999, 437, 0x82), 0x80);   // C cedilla
    EXPECT_EQ(TranCodePage(1250, 437, 0xE9), 0x82);   // e acute
    EXPECT_EQ(TranCodePage(437, 9999, 0x85), 0x88);   // a grave
    EXPECT_EQ(TranCodePage(437, 8592, 0x85), 'a');    // stand-in where 8859-2 lacks it
    EXPECT_EQ(TranCodePage(437, 1250, 0x85), 'a');
    EXPECT_EQ(TranCodePage(437, 9998, 0x85), 0);      // the Symbol font has no Latin a
    EXPECT_EQ(TranCodePage(9999, 437, 0x18E), 0x82);  // compared as a byte
}

TEST(CodePagesTest, SymbolFontTranslations) {
    EXPECT_EQ(TranCodePage(9998, 437, 0x61), 0xE0);  // alpha
    EXPECT_EQ(TranCodePage(437, 9998, 0xE0), 0x61);
    EXPECT_EQ(TranCodePage(9998, 437, 0x30), '0');   // digits are digits
    EXPECT_EQ(TranCodePage(9998, 437, 0x41), 'A');   // capital alpha looks like A
    EXPECT_EQ(TranCodePage(9998, 437, 0x62), 0xE1);  // beta: 437's sharp s is drawn as one
    EXPECT_EQ(TranCodePage(9998, 9999, 0xB9), 0xAD); // not equal to
    EXPECT_EQ(TranCodePage(9998, 437, 0xE2), 0);     // sans-serif registered: no 437 form
    EXPECT_EQ(TranCodePage(9998, 9999, 0xE2), 0xA8); // ... but the Macintosh set has it
    EXPECT_EQ(TranCodePage(9998, 437, 0x80), -1);    // undefined in the font
    EXPECT_EQ(TranCodePage(9998, 437, 0), -1);       // zeros standing in are never a source
}

TEST(CodePagesTest, PrivateSetTranslations) {
    EXPECT_EQ(TranCodePage(9997, 437, 1), 'G');
    EXPECT_EQ(TranCodePage(9997, 437, 2), 'g');
    EXPECT_EQ(TranCodePage(9997, 437, 3), 'I');
    EXPECT_EQ(TranCodePage(9997, 437, 4), 'i');
    for (int c = 5; c <= 7; ++c) EXPECT_EQ(TranCodePage(9997, 437, c), 0);
    EXPECT_EQ(TranCodePage(9997, 437, 8), -1);
    EXPECT_EQ(TranCodePage(9997, 437, 0), -1);
    // G is only a stand-in for the private character, so nothing maps onto it.
    EXPECT_EQ(TranCodePage(437, 9997, 'G'), -1);
}

TEST(CodePagesTest, RowFiveStillClaimsTheLatinTwoA) {
    // Row 5 keeps bit 6 for its stand-in "a": from 8859-2 to the Symbol font
    // an "a" finds that row and its Symbol column, 0.
    EXPECT_EQ(TranCodePage(8592, 9998, 'a'), 0);
    EXPECT_EQ(TranCodePage(852, 9998, 'a'), -1);  // no such claim in 852's column
}

}  // namespace
}  // namespace vox
