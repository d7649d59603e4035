// Code page translation over the generated table PagesMap.
#include "common/code_pages.h"

namespace vox {

const unsigned char PagesMap[][kPagesMapRowBytes] = {
#include "common/code_page_table.inc"
};
const int kPagesMapRows = static_cast<int>(sizeof PagesMap / sizeof PagesMap[0]);

std::uint32_t pages_map_mask(const unsigned char *row) {
    return std::uint32_t(row[12]) << 24 | std::uint32_t(row[13]) << 16 |
           std::uint32_t(row[14]) << 8 | row[15];
}

namespace {

constexpr int kPageNumbers[kCodePageColumns] = {437, 9999, 850, 819, 8591,
                                                9998, 8592, 9997, 852, 1250};
constexpr int kSymbolPage = 9998, kPrivatePage = 9997;

// Pages whose codes 32-127 are not ASCII, so even those go through the table.
bool is_non_ascii_page(int page) { return page == kSymbolPage || page == kPrivatePage; }

}  // namespace
}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int CodePageIndex(int code_page) {
    for (int i = 0; i < kCodePageColumns; ++i)
        if (kPageNumbers[i] == code_page) return i;
    return -1;
}

VOX_API int GetCurrentCodePage(void) { return 437; }

VOX_API int TranCodePage(int from, int to, int character) {
    if (from == to) return character;
    if (character >= 32 && character <= 127 && !is_non_ascii_page(from) &&
        !is_non_ascii_page(to))
        return character;
    const int from_col = CodePageIndex(from), to_col = CodePageIndex(to);
    if (from_col < 0 || to_col < 0) return -1;
    const auto code = static_cast<unsigned char>(character);
    for (int r = 0; r < kPagesMapRows; ++r) {
        const unsigned char *row = PagesMap[r];
        if (row[from_col] == code && (pages_map_mask(row) >> from_col & 1)) return row[to_col];
    }
    return -1;
}
}
