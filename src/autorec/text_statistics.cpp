// The plain-text tester, last in the battery: byte statistics decide
// between plain text (1), text written with many "@" codes or 8-bit
// characters (2), PostScript text (503) and nothing.
#include "autorec/autorec.h"

namespace vox {

namespace {

struct TextCounts {
    int low = 0;     // bytes below 128
    int high = 0;    // bytes from 128 up
    int at = 0;      // "@"
    int spaces = 0;
    int cr_cr_lf = 0;
    int lf = 0;      // LF not after CR
    int cr_lf = 0;
    int cr = 0;      // CR alone
};

// Control bytes that may occur in text: TAB, BS, 18, CR and LF.
bool is_text_control(unsigned char c) { return c == 9 || c == 8 || c == 18 || c == '\r' || c == '\n'; }

void count_line_end(const unsigned char *b, int len, int &i, TextCounts &n) {
    if (b[i] == '\n') {
        ++n.lf;
        return;
    }
    if (i + 2 < len && b[i + 1] == '\r' && b[i + 2] == '\n') {
        ++n.cr_cr_lf;
        n.low += 2;
        i += 2;
    } else if (i + 1 < len && b[i + 1] == '\n') {
        ++n.cr_lf;
        n.low += 1;
        i += 1;
    } else {
        ++n.cr;
    }
}

// Counts every byte but the last, up to the first control byte that text
// does not hold.
TextCounts count_text(const unsigned char *b, int len) {
    TextCounts n;
    for (int i = 0; i < len - 1; ++i) {
        const unsigned char c = b[i];
        if (c < 0x20 && !is_text_control(c)) {
            break;
        }
        if (c >= 128) {
            ++n.high;
            continue;
        }
        ++n.low;
        if (c == '@') ++n.at;
        else if (c == ' ') ++n.spaces;
        else if (c == '\r' || c == '\n') count_line_end(b, len, i, n);
    }
    return n;
}

// One kind of line end used throughout: CR LF (or CR CR LF), LF, or CR,
// each at least once per 302 bytes (up to ten times), the others at most a
// quarter as often.
bool line_ends_consistent(const TextCounts &n, int len) {
    int t = len / 302;
    if (t > 10) t = 10;
    const int q = t / 4;
    const int c = n.cr_cr_lf > n.cr_lf ? n.cr_cr_lf : n.cr_lf;
    const bool crlf_or_lf = ((c >= t && n.lf <= q) || (c <= q && n.lf >= t)) && n.cr <= q;
    const bool cr_only = c <= q && n.lf <= q && n.cr >= t;
    return crlf_or_lf || cr_only;
}

int classify(const TextCounts &n, int len) {
    int result = 0;
    if (line_ends_consistent(n, len)) {
        if (n.at <= n.spaces) {
            if (n.low >= 4 * n.high) result = 1;
        } else if (n.high >= 2 * (n.low - n.at)) {
            result = 2;
        } else if (n.low >= 6 * n.high) {
            result = 1;
        }
    }
    if (n.at >= len / 10 && n.at >= 11 && n.high >= 2 * n.low) result = 2;
    return result;
}

bool holds_stop_byte(const RecognizerState &st) {
    for (int i = 0; i < st.len; ++i)
        if (st.bufr[i] < 0x20 && !is_text_control(st.bufr[i])) return true;
    return false;
}

bool begins_postscript(const RecognizerState &st) {
    return text_at(st, 0, "%!") || text_at(st, 0, "\x04%!");
}

}  // namespace

int auto_tst_asc(RecognizerState &st) {
    const TextCounts n = count_text(st.bufr, st.len);
    int result = classify(n, st.len);
    st.ver = 0;
    if (result == 1 && begins_postscript(st)) {
        st.ver = 1;
        return 503;
    }
    if (result == 1 && st.len < 4 && holds_stop_byte(st)) result = 0;
    return result;
}

}  // namespace vox
