// Testers of picture and drawing files.  Each returns its format number and
// sets st.ver, or returns 0.  Rows whose format has no versions set 0.
#include <cstring>

#include "autorec/autorec.h"

namespace vox {

namespace {

int found(RecognizerState &st, int format, int version) {
    st.ver = version;
    return format;
}

}  // namespace

int auto_tst_wmf(RecognizerState &st) {
    static const unsigned char kPlaceable[] = {0xD7, 0xCD, 0xC6, 0x9A};
    static const unsigned char kMetafile[] = {0x01, 0x00, 0x09, 0x00, 0x00};
    if (bytes_at(st, 0, kPlaceable, 4)) return found(st, 610, 0);
    if (bytes_at(st, 0, kMetafile, 5) && has_bytes(st, 6) && (st.bufr[5] == 1 || st.bufr[5] == 3))
        return found(st, 610, 1);
    return 0;
}

int auto_tst_os2met(RecognizerState &st) {
    static const unsigned char kBegin[] = {0xD3, 0xA8, 0xA8, 0x00};
    static const unsigned char kDoc[] = {0x05, 0x18};
    return bytes_at(st, 2, kBegin, 4) && bytes_at(st, 18, kDoc, 2) ? found(st, 623, 0) : 0;
}

int auto_tst_krb(RecognizerState &st) {
    static const unsigned char kBinary[] = "\x1f\x00\x12KRB Graphics File";  // and its NUL
    if (bytes_at(st, 0, kBinary, sizeof kBinary)) return found(st, 600, 0);
    if (text_at(st, 0, "<0000,Kestrelwik 3D -- Co")) return found(st, 600, 0);
    return 0;
}

int auto_tst_tiff(RecognizerState &st) {
    static const unsigned char kIntel[] = {'I', 'I', 0x2A, 0x00};
    static const unsigned char kMotorola[] = {'M', 'M', 0x00, 0x2A};
    return bytes_at(st, 0, kIntel, 4) || bytes_at(st, 0, kMotorola, 4) ? found(st, 502, 0) : 0;
}

int auto_tst_gif(RecognizerState &st) { return text_at(st, 0, "GIF") ? found(st, 512, 0) : 0; }

namespace {

// Markers without a length field: SOI, EOI, RSTn and TEM.
bool marker_stands_alone(unsigned char m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD9); }

// Walks the marker segments from the start: every marker must be FF then
// a byte of C0 and above (FF fill bytes allowed); stops at the start of
// scan, the end of the block, or a segment that runs past it.
int count_jpeg_markers(const RecognizerState &st) {
    const unsigned char *b = st.bufr;
    int markers = 0;
    int at = 0;
    while (at + 1 < st.len) {
        if (b[at] != 0xFF) return markers;
        while (at + 1 < st.len && b[at + 1] == 0xFF) ++at;
        if (at + 1 >= st.len) return markers;
        const unsigned char m = b[at + 1];
        if (m >= 0x01 && m <= 0xBF) return -1;
        ++markers;
        if (m == 0xDA || m == 0xD9) return markers;
        if (marker_stands_alone(m) || m == 0x00) {
            at += 2;
            continue;
        }
        if (at + 3 >= st.len) return markers;
        at += 2 + static_cast<int>(be16(b + at + 2));
    }
    return markers;
}

}  // namespace

int auto_tst_jpeg(RecognizerState &st) {
    static const unsigned char kJfif[] = {0xFF, 0xD8, 0xFF, 0xE0};
    static const unsigned char kJfifTag[] = {'J', 'F', 'I', 'F', 0};
    static const unsigned char kSoi[] = {0xFF, 0xD8, 0xFF};
    if (bytes_at(st, 0, kJfif, 4) && bytes_at(st, 6, kJfifTag, 5)) return found(st, 521, 0);
    if (bytes_at(st, 0, kSoi, 3) && count_jpeg_markers(st) >= 4) return found(st, 521, 0);
    return 0;
}

int auto_tst_corel(RecognizerState &st) {
    if (text_at(st, 0, "WL")) return found(st, 520, 0);
    if (has_bytes(st, 12) && text_at(st, 0, "RIFF") && text_at(st, 8, "CDR"))
        return found(st, st.bufr[11] == '6' ? 628 : 520, 0);
    return 0;
}

int auto_tst_mgx(RecognizerState &st) {
    if (!has_bytes(st, 9)) return 0;
    const unsigned char *b = st.bufr;
    return b[3] == 0x04 && b[4] == 0x03 && b[8] <= 2 ? found(st, 609, 0) : 0;
}

int auto_tst_rgip(RecognizerState &st) { return text_at(st, 0, "%RGIP_METAFILE") ? found(st, 613, 0) : 0; }

int auto_tst_sdw(RecognizerState &st) {
    if (!has_bytes(st, 4) || !text_at(st, 0, "SM")) return 0;
    const unsigned char *b = st.bufr;
    return (b[2] == 0 || b[2] == 2) && b[3] == 1 ? found(st, 614, 0) : 0;
}

namespace {

bool is_bitmap_tag(const unsigned char *p) {
    return (p[0] == 'B' && p[1] == 'M') || (p[0] == 'C' && p[1] == 'I') || (p[0] == 'I' && p[1] == 'C');
}

bool bit_count_in(unsigned bits, bool allow_16) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || (allow_16 && bits == 16);
}

}  // namespace

// The bitmap header at 0, or at 14 behind an array header ("BA").  A core
// header (size 12 or 64) with its bit count at 24 is version 4; an info
// header with its bit count at 28 is version 0, or 3 when compressed;
// colour icons and pointers ("CI", "IC") are version 5.
int auto_tst_bmp(RecognizerState &st) {
    if (!has_bytes(st, 30)) return 0;
    int h = 0;
    if (text_at(st, 0, "BA")) {
        h = 14;
        if (!has_bytes(st, h + 30)) return 0;
    }
    const unsigned char *p = st.bufr + h;
    if (!is_bitmap_tag(p)) return 0;
    const bool bitmap = p[0] == 'B';
    const std::int32_t header_size = AutoPtrInt32(p + 14);
    int version = -1;
    if ((header_size == 12 || header_size == 64) && bit_count_in(le16(p + 24), false))
        version = 4;
    else if (bit_count_in(le16(p + 28), true))
        version = (h + 30 < st.len ? p[30] : 0) == 0 ? 0 : 3;
    if (version < 0) return 0;
    return found(st, 513, bitmap ? version : 5);
}

int auto_tst_xpm(RecognizerState &st) { return text_at(st, 0, "/* XPM") ? found(st, 524, 0) : 0; }

namespace {

bool pict_opcode_at(const RecognizerState &st, int at) {
    static const unsigned char kVersion1[] = {0x11, 0x01};
    static const unsigned char kVersion2[] = {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00};
    return bytes_at(st, at, kVersion1, 2) || bytes_at(st, at, kVersion2, 6);
}

}  // namespace

int auto_tst_pict(RecognizerState &st) {
    if (has_bytes(st, 530) && pict_opcode_at(st, 522)) return found(st, 602, 0);
    if (has_bytes(st, 18) && pict_opcode_at(st, 10)) return found(st, 602, 1);
    return 0;
}

int auto_tst_sunras(RecognizerState &st) {
    static const unsigned char kMagic[] = {0x59, 0xA6, 0x6A, 0x95};
    return has_bytes(st, 36) && bytes_at(st, 0, kMagic, 4) ? found(st, 522, 0) : 0;
}

int auto_tst_eps(RecognizerState &st) {
    static const unsigned char kBinaryHeader[] = {0xC5, 0xD0, 0xD3, 0xC6};
    return has_bytes(st, 30) && bytes_at(st, 0, kBinaryHeader, 4) ? found(st, 503, 0) : 0;
}

int auto_tst_pic(RecognizerState &st) {
    static const unsigned char kPic[17] = {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x44,
                                           0x00, 0x00, 0x00, 0x00, 0x0C, 0x7F, 0x09, 0x06};
    return bytes_at(st, 0, kPic, 17) ? found(st, 601, 0) : 0;
}

int auto_tst_png(RecognizerState &st) {
    static const unsigned char kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return st.len > 20 && bytes_at(st, 0, kPng, 8) ? found(st, 504, 0) : 0;
}

int auto_tst_msp(RecognizerState &st) {
    if (!has_bytes(st, 33) || !(text_at(st, 0, "DanM") || text_at(st, 0, "LinS"))) return 0;
    return le16(st.bufr + 4) != 0 && le16(st.bufr + 6) != 0 ? found(st, 507, 0) : 0;
}

// A multi-page file: its tag and the offset of the first page.
int auto_tst_dcx(RecognizerState &st) {
    static const unsigned char kDcx[] = {0xB1, 0x68, 0xDE, 0x3A};
    return has_bytes(st, 8) && bytes_at(st, 0, kDcx, 4) ? found(st, 501, 1) : 0;
}

int auto_tst_pcx(RecognizerState &st) {
    if (!has_bytes(st, 21)) return 0;
    const unsigned char *b = st.bufr;
    return b[0] == 0x0A && b[1] >= 1 && b[1] <= 10 && b[2] <= 1 && b[3] <= 64 ? found(st, 501, 0) : 0;
}

int auto_tst_winclp(RecognizerState &st) {
    if (!has_bytes(st, 6)) return 0;
    const unsigned char *b = st.bufr;
    return b[0] == 'P' && b[1] == 0xC3 && le16(b + 2) != 0 && le16(b + 4) != 0 ? found(st, 605, 0) : 0;
}

int auto_tst_winicon(RecognizerState &st) {
    static const unsigned char kIcon[] = {0x00, 0x00, 0x01, 0x00};
    if (!has_bytes(st, 51) || !bytes_at(st, 0, kIcon, 4)) return 0;
    const unsigned char *b = st.bufr;
    auto size_ok = [](unsigned char s) { return s == 16 || s == 32 || s == 64; };
    return b[4] != 0 && size_ok(b[6]) && size_ok(b[7]) && b[8] != 0 && b[9] == 0 ? found(st, 517, 0) : 0;
}

int auto_tst_freelance(RecognizerState &st) {
    static const unsigned char kHead[] = {0x00, 0x01, '@', 0x00, 'D', 'E', 'B', 'R', '@', 0x00};
    return bytes_at(st, 0, kHead, 10) ? found(st, 618, 0) : 0;
}

// "M11DRAW" or "SYSDRAW" at the first "M" or "S" of the first 20 bytes,
// counted after a comma when one comes first.
int auto_tst_wizidraw(RecognizerState &st) {
    if (!has_bytes(st, 30)) return 0;
    const unsigned char *b = st.bufr;
    int from = 0;
    const void *comma = std::memchr(b, ',', 20);
    if (comma) from = static_cast<int>(static_cast<const unsigned char *>(comma) - b) + 1;
    for (int i = from; i < 20; ++i) {
        if (b[i] != 'M' && b[i] != 'S') continue;
        return text_at(st, i, "M11DRAW") || text_at(st, i, "SYSDRAW") ? found(st, 617, 0) : 0;
    }
    return 0;
}

int auto_tst_WPGNoHdr(RecognizerState &st) {
    static const unsigned char kStart[] = {0x0F, 0x06, 0x01, 0x00};
    static const unsigned char kStart2[] = {0x04, 0x01};
    static const unsigned char kExtent2[] = {0xB0, 0x04, 0xB0, 0x04};
    if (bytes_at(st, 0, kStart, 4)) return found(st, 606, 0);
    if (bytes_at(st, 10, kStart2, 2) && bytes_at(st, 14, kExtent2, 4)) return found(st, 615, 0);
    return 0;
}

int auto_tst_hvdgrph(RecognizerState &st) {
    static const unsigned char kHead[] = {0xDC, 0xFE, 0x18, 0x02};
    return bytes_at(st, 0, kHead, 4) ? found(st, 620, 0) : 0;
}

namespace {

constexpr int kScanLineBytes = 72;

// Decodes one PackBits scan line from `at`; returns the offset after it, or
// -1 unless it gives exactly 72 bytes.  Runs an encoder would have joined
// also fail: two literal runs in a row, or two repeat runs of the same
// byte.  Only other data decodes that way (zero bytes as one-byte
// literals, a table of FF words as runs of two).
int decode_scan_line(const RecognizerState &st, int at) {
    int out = 0;
    enum { kNone, kLiteral, kRepeat } last = kNone;
    int last_byte = -1;
    while (out < kScanLineBytes) {
        if (at >= st.len) return -1;
        const int n = static_cast<signed char>(st.bufr[at++]);
        if (n == -128) continue;
        if (n >= 0) {
            if (last == kLiteral) return -1;
            out += n + 1;
            at += n + 1;
            last = kLiteral;
        } else {
            if (at >= st.len) return -1;
            const int value = st.bufr[at];
            if (last == kRepeat && value == last_byte) return -1;
            out += 1 - n;
            at += 1;
            last = kRepeat;
            last_byte = value;
        }
    }
    return out == kScanLineBytes && at <= st.len ? at : -1;
}

bool ten_scan_lines_from(const RecognizerState &st, int at) {
    for (int line = 0; line < 10 && at >= 0; ++line) at = decode_scan_line(st, at);
    return at >= 0;
}

}  // namespace

// A painting: 512 bytes of header (640 behind a 128-byte file wrapper),
// then PackBits-packed 72-byte scan lines.
int auto_tst_mac(RecognizerState &st) {
    if (!has_bytes(st, 2048)) return 0;
    return ten_scan_lines_from(st, 512) || ten_scan_lines_from(st, 640) ? found(st, 508, 0) : 0;
}

}  // namespace vox
