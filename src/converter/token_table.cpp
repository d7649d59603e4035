// The token table, sorted by name at build time, and its binary search.
#include "converter/token_table.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace vox {

namespace {

// The statement names in token-number order, the order in which the
// numbers were assigned.
constexpr TokenEntry kTokensByNumber[kTokenCount] = {
    {"AFrames", 1}, {"AFrame", 2}, {"PgfAlignment", 3}, {"ATbl", 4},
    {"FBold", 5}, {"BRect", 6}, {"CellBRuling", 7}, {"CellColumns", 8},
    {"CellContent", 9}, {"CellLRuling", 10}, {"CellRows", 11}, {"CellRRuling", 12},
    {"CellTRuling", 13}, {"Cell", 14}, {"Char", 15}, {"DPageNumStyle", 16},
    {"DStartPage", 17}, {"FDoubleUnderline", 18}, {"FAngle", 19}, {"FFamily", 20},
    {"PgfFIndent", 21}, {"FNote", 22}, {"FontCatalog", 23}, {"Font", 24},
    {"Frame", 25}, {"FSeparation", 26}, {"FSize", 27}, {"FWeight", 28},
    {"ID", 29}, {"ImportObFileDI", 30}, {"ImportObject", 31}, {"FItalic", 32},
    {"PgfLIndent", 33}, {"Marker", 34}, {"MText", 35}, {"MType", 36},
    {"Notes", 37}, {"FOutline", 38}, {"PageOrientation", 39}, {"PageSize", 40},
    {"PageTag", 41}, {"PageType", 42}, {"Page", 43}, {"ParaLine", 44},
    {"Para", 45}, {"PgfCatalog", 46}, {"PgfLanguage", 47}, {"PgfNumAtEnd", 48},
    {"PgfNumString", 49}, {"PgfPlacement", 50}, {"PgfSpAfter", 51}, {"PgfSpBefore", 52},
    {"PgfTag", 53}, {"PgfLeading", 54}, {"Pgf", 55}, {"PgfRIndent", 56},
    {"Row", 57}, {"FShadow", 58}, {"FStrike", 59}, {"String", 60},
    {"FSubScript", 61}, {"FSupScript", 62}, {"TabStop", 63}, {"TblAlignment", 64},
    {"TblBodyRowRuling", 65}, {"TblBody", 66}, {"TblBRuling", 67}, {"TblCatalog", 68},
    {"TblColumnRuling", 69}, {"TblColumnWidth", 70}, {"TblFormat", 71}, {"TblF", 72},
    {"TblHFRowRuling", 73}, {"TblH", 74}, {"TblID", 75}, {"TblLRuling", 76},
    {"TblNumColumns", 77}, {"TblRRuling", 78}, {"TblSeparatorRuling", 79}, {"TblTag", 80},
    {"TblTitleContent", 81}, {"TblTRuling", 82}, {"Tbl", 83}, {"TextRectID", 84},
    {"TextRect", 85}, {"TextFlow", 86}, {"TRNext", 87}, {"TSDecimalChar", 88},
    {"TSLeaderStr", 89}, {"TSType", 90}, {"TSX", 91}, {"FUnderline", 92},
    {"VariableDef", 93}, {"VariableFormat", 94}, {"VariableName", 95}, {"Variable", 96},
    {"XRefSrcText", 97}, {"PgfFont", 98}, {"Document", 99}, {"TblColumn", 100},
    {"TblColumnH", 101}, {"TblColumnBody", 102}, {"TblColumnF", 103}, {"TblTitlePgf1", 104},
    {"TextLine", 105}, {"VariableFormats", 106}, {"Tbls", 107}, {"FUnderlining", 108},
    {"FPosition", 109}, {"XRefEnd", 110}, {"XRef", 111}, {"FTag", 112},
    {"PgfPlacementStyle", 113}, {"PgfNumberFont", 114}, {"TFSideheadPlacement", 115}, {"TFSideheadWidth", 116},
    {"TFSideheadGap", 117}, {"ColorCatalog", 118}, {"Color", 119}, {"ColorCyan", 120},
    {"ColorMagenta", 121}, {"ColorYellow", 122}, {"ColorBlack", 123}, {"ColorTag", 124},
    {"FColor", 125}, {"BookComponent", 126}, {"FileName", 127}, {"PgfWithNext", 128},
    {"Conditional", 129}, {"InCondition", 130}, {"FChangeBar", 131}, {"TFTag", 132},
    {"Arc", 133}, {"Ellipse", 134}, {"Polygon", 135}, {"PolyLine", 136},
    {"Rectangle", 137}, {"RoundRect", 138}, {"PgfNumFormat", 139}, {"FCase", 140},
    {"PgfLineSpacing", 141}, {"Pen", 142}, {"TblTitle", 143},
};

// Byte-wise comparison of two NUL-terminated names, as strcmp compares
// them (bytes taken as unsigned).
constexpr int compare_names(const char *left, const char *right) {
    while (*left != '\0' && *left == *right) {
        ++left;
        ++right;
    }
    return static_cast<int>(static_cast<unsigned char>(*left)) -
           static_cast<int>(static_cast<unsigned char>(*right));
}

using TokenArray = std::array<TokenEntry, kTokenCount>;

constexpr TokenArray sorted_by_name() {
    TokenArray table{};
    for (int i = 0; i < kTokenCount; ++i) {
        // Insertion sort: 143 entries, run once by the compiler.
        int j = i;
        while (j > 0 && compare_names(table[j - 1].name, kTokensByNumber[i].name) > 0) {
            table[j] = table[j - 1];
            --j;
        }
        table[j] = kTokensByNumber[i];
    }
    return table;
}

constexpr TokenArray kSortedTokens = sorted_by_name();

// Strictly ascending names: sorted, and no name twice.
constexpr bool names_strictly_ascending() {
    for (int i = 1; i < kTokenCount; ++i)
        if (compare_names(kSortedTokens[i - 1].name, kSortedTokens[i].name) >= 0) return false;
    return true;
}

// Every number from 1 to kTokenCount stands in its own row.
constexpr bool numbers_in_order() {
    for (int i = 0; i < kTokenCount; ++i)
        if (kTokensByNumber[i].number != i + 1) return false;
    return true;
}

static_assert(numbers_in_order(), "token numbers must run 1 to 143 in table order");
static_assert(names_strictly_ascending(), "token names must be distinct");

}  // namespace

// Constant-initialised from the compile-time sort: no start-up code runs.
const std::array<TokenEntry, kTokenCount> token_list = kSortedTokens;

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API void tf_token_init(void) {}

VOX_API int cmp_func(const void *left, const void *right) {
    return std::strcmp(static_cast<const TokenEntry *>(left)->name,
                       static_cast<const TokenEntry *>(right)->name);
}

VOX_API int convert_token(const char *name) {
    if (name == nullptr) return 0;
    const TokenEntry key{name, 0};
    const void *found = std::bsearch(&key, token_list.data(), token_list.size(),
                                     sizeof(TokenEntry), cmp_func);
    return found ? static_cast<const TokenEntry *>(found)->number : 0;
}
}
