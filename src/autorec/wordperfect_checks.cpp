// The WordPerfect family: the prefixed formats (documents, merge files,
// graphics, the Macintosh releases), the merge-code walk and the heuristic
// for the unprefixed 4.x documents.
//
// The 16-byte prefix: FF "WPC", the document offset (4-7), the product
// (8), the file type (9: 10 document, 22 graphic, "," Macintosh document),
// the major (10) and minor (11) release.
#include <cstring>

#include "autorec/autorec.h"

namespace vox {

const WpCode wp_lst[kWpCodeCount] = {
    {0xD1, 4, 0},  {0xC0, 5, 0},  {0xC9, 41, 0}, {0xF1, 105, 1}, {0xDD, 23, 0}, {0xF3, 99, 1},
    {0xE5, 22, 0}, {0xEE, 43, 1}, {0xE6, 10, 0}, {0xEF, 17, 1},  {0xF2, 4, 1},  {0xE3, 148, 0},
    {0xC1, 3, 0},  {0xC7, 5, 0},  {0xC3, 4, 0},  {0xCB, 5, 0},   {0xCC, 3, 0},  {0xD0, 5, 0},
    {0xCE, 3, 0},  {0xD2, 3, 9},  {0xD3, 3, 9},  {0xCD, 2, 9},   {0xCE, 3, 9},
};

namespace {

constexpr int kPrefixSize = 16;
constexpr int kMergeMargin = 20;  // the walk stops this close to the end

int found(RecognizerState &st, int format, int version) {
    st.ver = version;
    return format;
}

bool has_prefix(const RecognizerState &st) {
    static const unsigned char kWpc[] = {0xFF, 'W', 'P', 'C'};
    return has_bytes(st, kPrefixSize) && bytes_at(st, 0, kWpc, 4) && st.bufr[8] == 1;
}

// Bytes after a fixed-length code C0-C7 beyond the code byte itself; the
// other single codes of that range take no more.
int fixed_code_extra(unsigned char code) {
    switch (code) {
        case 0xC0:
        case 0xC3:
        case 0xC4: return 3;
        case 0xC1: return 9;
        case 0xC2: return 11;
        case 0xC5: return 5;
        case 0xC6: return 6;
        case 0xC7: return 7;
        default: return 0;
    }
}

bool is_merge_head(unsigned head) { return head == 0xDE31 || head == 0xDE34 || head == 0xDE48 || head == 0xDE62; }

}  // namespace

// Walks the document area from the offset in bytes 4-5, code by code, and
// reports whether a merge code comes before the last 20 bytes.
bool CheckWPMailMergeFile(const RecognizerState &st) {
    const unsigned char *b = st.bufr;
    if (!has_bytes(st, kPrefixSize) || b[6] != 0 || b[7] != 0) return false;
    int at = static_cast<int>(le16(b + 4));
    const int stop = st.len - kMergeMargin;
    while (at < stop) {
        const unsigned char code = b[at];
        if (code >= 0xC0 && code <= 0xCF) {
            at += 1 + fixed_code_extra(code);
        } else if (code >= 0xD0) {
            const unsigned head = static_cast<unsigned>(code) << 8 | b[at + 1];
            if (is_merge_head(head)) return true;
            at += 4 + static_cast<int>(le16(b + at + 2));
        } else {
            ++at;
        }
    }
    return false;
}

// Documents (7, or 707 with merge codes; 48 for release 2 prefixes) and
// graphics (606 up to release 1, 615 above).  A document's version is 1
// from minor release 1 on.
int auto_tst_wp5(RecognizerState &st) {
    if (!has_prefix(st)) return 0;
    const unsigned char *b = st.bufr;
    if (b[9] == 10) {
        if (b[10] == 2) return b[11] <= 2 ? found(st, 48, b[11]) : 0;
        const int version = b[11] >= 1 ? 1 : 0;
        return found(st, CheckWPMailMergeFile(st) ? 707 : 7, version);
    }
    if (b[9] == 22) return found(st, b[10] <= 1 ? 606 : 615, 0);
    return 0;
}

int auto_tst_mwp2(RecognizerState &st) {
    if (!has_prefix(st) || st.bufr[9] != ',') return 0;
    const unsigned char *b = st.bufr;
    if (b[10] == 2) return found(st, 60, b[11] == 1 ? 1 : 0);
    if (b[10] == 3) return found(st, 60, 2);
    return 0;
}

namespace {

constexpr int kWp4Tail = 148;  // longest code: the scan leaves this much

// For each byte value, the first wp_lst entry with that code, or -1.
struct Wp4Index {
    signed char first[256];
    Wp4Index() {
        std::memset(first, -1, sizeof first);
        for (int i = kWpCodeCount - 1; i >= 0; --i) first[wp_lst[i].code] = static_cast<signed char>(i);
    }
};

// The first entry for `code` whose repeat falls at its length; the later
// entries of the same code are tried when an earlier one does not repeat.
const WpCode *wp4_match(const unsigned char *b, int at, int first) {
    for (int i = first; i < kWpCodeCount; ++i) {
        const WpCode &c = wp_lst[i];
        if (c.code == b[at] && b[at + c.length] == c.code) return &c;
    }
    return nullptr;
}

bool looks_like_paintbrush_or_icon(const RecognizerState &st) {
    const unsigned char *b = st.bufr;
    if (b[0] == 0x0A && b[1] <= 10 && b[2] <= 1 && b[3] <= 64) return true;
    return b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0;
}

}  // namespace

// Counts function codes that repeat at their own length.  Ten make a
// document (two when the caller expects one); a code of another format
// (version 9) rules the file out wherever it comes.
int auto_tst_wp4(RecognizerState &st) {
    static const Wp4Index kIndex;
    if (st.len <= kWp4Tail || looks_like_paintbrush_or_icon(st)) return 0;
    const int needed = st.MinorVal ? 2 : 10;
    int matches = 0;
    int version = 0;
    const unsigned char *b = st.bufr;
    for (int at = 0; at < st.len - kWp4Tail; ++at) {
        const int first = kIndex.first[b[at]];
        if (first < 0) continue;
        const WpCode *c = wp4_match(b, at, first);
        if (!c) continue;
        if (c->version == 9) return 0;
        ++matches;
        if (c->version > version) version = c->version;
    }
    if (matches < needed) return 0;
    return found(st, 6, version >= 2 ? 1 : version);
}

}  // namespace vox
