// Code page translation: the shape of the generated table PagesMap and
// TranCodePage over it.  Expected codes come from the public definitions of
// the pages (IBM 437/850/852, Macintosh, ISO 8859-1/-2, Windows 1250,
// the Symbol font's encoding) and the private set's rules.
#include <algorithm>
#include <cstring>

#include "test_support.h"

namespace vox {
namespace {

enum Column { k437, k9999, k850, k819, k8591, k9998, k8592, k9997, k852, k1250 };

// Rows in which `column` holds `code` as the character itself.
long valid_rows(int column, int code) {
    return std::count_if(PagesMap, PagesMap + kPagesMapRows, [&](const unsigned char *row) {
        return row[column] == code && (pages_map_mask(row) >> column & 1);
    });
}

// Catches a generator that reorders columns, drops a stand-in, sets a wrong mask bit, or leaves a
// code of a page without a source row or with two.
TEST(CodePagesTest, GeneratedTable) {
    const unsigned char rows[][17] = {  // row number, then its bytes
        {0, 0x80, 0x82, 0x80, 0xC7, 0xC7, 0x00, 0xC7, 0x00, 0x80, 0xC7, 0, 0, 0x00, 0x00, 0x03, 0x5F},  // C cedilla
        {2, 0x82, 0x8E, 0x82, 0xE9, 0xE9, 0x00, 0xE9, 0x00, 0x82, 0xE9, 0, 0, 0x00, 0x00, 0x03, 0x5F},  // e acute
        {5, 0x85, 0x88, 0x85, 0xE0, 0xE0, 0x00, 0x61, 0x00, 0x61, 0x61, 0, 0, 0x00, 0x00, 0x00, 0x5F},  // a grave
    };
    for (const auto &r : rows) EXPECT_EQ(std::memcmp(PagesMap[r[0]], r + 1, 16), 0) << "row " << int(r[0]);
    for (int r = 0; r < kPagesMapRows; ++r)  // bytes 10-11 and mask bits past the columns are 0
        EXPECT_EQ(PagesMap[r][10] | PagesMap[r][11] | pages_map_mask(PagesMap[r]) >> kCodePageColumns, 0u) << r;
    // Every code of every page is the source in exactly one row.
    for (int code = 0; code <= 0xFF; ++code) {
        const bool upper = code >= 0x80, latin = code >= 0xA0;  // ISO 8859: 0x80-0x9F are controls
        const bool symbol = (code >= 0x20 && code <= 0x7E) || (code >= 0xA1 && code <= 0xFE && code != 0xF0);
        EXPECT_EQ(valid_rows(k9998, code), symbol ? 1 : 0) << code;
        EXPECT_EQ(valid_rows(k9997, code), code >= 1 && code <= 7 ? 1 : 0) << code;
        if (!upper) continue;  // the text pages' ASCII half makes no rows of its own
        for (int c : {k437, k9999, k850, k852}) EXPECT_EQ(valid_rows(c, code), 1) << c << " " << code;
        for (int c : {k819, k8591, k8592}) EXPECT_EQ(valid_rows(c, code), latin ? 1 : 0) << c << " " << code;
        const bool in_1250 = code != 0x81 && code != 0x83 && code != 0x88 && code != 0x90 && code != 0x98;
        EXPECT_EQ(valid_rows(k1250, code), in_1250 ? 1 : 0) << code;
    }
}

// Catches a wrong shortcut (same page, ASCII outside the Symbol font and the private set), a lookup
// from a column whose bit is clear, a code not compared as a byte, and 0 / -1 mixed up.
TEST(CodePagesTest, TranCodePageOverTheTellingRowsAndItsEdges) {
    for (int c = -1; c <= 300; ++c) EXPECT_EQ(TranCodePage(437, 437, c), c);
    const int cases[][4] = {
        {1234, 1234, 7, 7},      {850, 1250, 'A', 'A'},    {9999, 437, 32, 32},      {9999, 437, 127, 127},
        {1234, 437, 'A', 'A'},   {850, 437, 31, -1},       {437, 1234, 200, -1},     {1234, 437, 200, -1},
        {1234, 9998, 'A', -1},   {9999, 437, 0x82, 0x80},  {1250, 437, 0xE9, 0x82},  {437, 9999, 0x85, 0x88},
        {437, 8592, 0x85, 'a'},  {437, 9998, 0x85, 0},     {9999, 437, 0x18E, 0x82}, {9998, 437, 0x61, 0xE0},
        {437, 9998, 0xE0, 0x61}, {9998, 437, 0x30, '0'},   {9998, 437, 0x41, 'A'},   {9998, 437, 0x80, -1},
        {9998, 437, 0, -1},      {9997, 437, 1, 'G'},      {9997, 437, 4, 'i'},      {9997, 437, 7, 0},
        {9997, 437, 8, -1},      {9997, 437, 0, -1},       {437, 9997, 'G', -1},
        // The Symbol font's second registered sign: no 437 form, but the Macintosh set has one.
        {9998, 437, 0xE2, 0},    {9998, 9999, 0xE2, 0xA8},
        // Row 5 keeps bit 6 (8592) for its stand-in "a"; 852's column makes no such claim.
        {8592, 9998, 'a', 0},    {852, 9998, 'a', -1},
    };
    for (const auto &c : cases) EXPECT_EQ(TranCodePage(c[0], c[1], c[2]), c[3]) << c[0] << "->" << c[1] << " " << c[2];
}

}  // namespace
}  // namespace vox
