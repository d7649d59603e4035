// The record writers and the code packing of intermediate code.
#include "common/records.h"

#include "common/kernel_state.h"
#include "common/streams.h"

using namespace vox;

namespace {

// A parameter's bytes go to the target in one call: the routing behind an
// output redirection then handles them as one block, not byte by byte.
int put_bytes(const unsigned char *bytes, int count) {
    return stream_put_block(kernel().streams, bytes, count);
}

// Stores the digits of v without leading zeros, starting at `divisor`, and
// returns their count (at most 10).
int decimal_digits(std::uint32_t v, std::uint32_t divisor, unsigned char *out) {
    while (divisor > 1 && v < divisor) divisor /= 10;
    int n = 0;
    for (; divisor; divisor /= 10) {
        out[n++] = static_cast<unsigned char>('0' + v / divisor);
        v %= divisor;
    }
    return n;
}

// A decimal parameter, ended by US when `terminate`.
int put_decimal(std::uint32_t v, std::uint32_t divisor, bool terminate) {
    unsigned char bytes[11];
    int n = decimal_digits(v, divisor, bytes);
    if (terminate) bytes[n++] = kUS;
    return put_bytes(bytes, n);
}

unsigned char hex_digit(int value) {
    const int n = value & 15;
    return static_cast<unsigned char>(n < 10 ? n + 48 : n + 55);
}

// The character of a code index; indices past the table read as its NUL.
unsigned char code_char(unsigned index) {
    return static_cast<unsigned char>(index < sizeof(kCodeStr) ? kCodeStr[index] : '\0');
}

void code_chars(unsigned code, unsigned char *out) {
    out[0] = code_char(code & 31);
    out[1] = code_char((code >> 5) & 31);
    out[2] = code_char((code >> 10) & 63);
}

}  // namespace

extern "C" {

VOX_API int icf_only(unsigned code) {
    unsigned char bytes[3];
    code_chars(code, bytes);
    put_bytes(bytes, 3);
    return 0;
}

VOX_API int beg_icf(unsigned code) {
    unsigned char bytes[5] = {kESC, kGS};
    code_chars(code, bytes + 2);
    put_bytes(bytes, 5);
    return 0;
}

VOX_API int end_icf(void) { return b_putc(kRS); }

VOX_API int out_icf(unsigned code) {
    beg_icf(code);
    return end_icf();
}

VOX_API void DecOutNoTerm(std::uint32_t value) { put_decimal(value & 0xFFFF, 10000, false); }

VOX_API int dec_out(std::uint32_t value) { return put_decimal(value & 0xFFFF, 10000, true); }

VOX_API int long_out(std::uint32_t value) { return put_decimal(value, 1000000000u, true); }

VOX_API int OutHexNibble(int value) { return b_putc(hex_digit(value)); }

VOX_API int hex_out(int value, int terminate) {
    const unsigned char bytes[3] = {hex_digit(value >> 4), hex_digit(value), kUS};
    put_bytes(bytes, terminate ? 3 : 2);
    return 0;
}

VOX_API int HexOut8(int value) { return hex_out(value, 1); }
VOX_API int HexOut8NoTerm(int value) { return hex_out(value, 0); }

VOX_API int HexOut16(int value) {
    const unsigned char bytes[5] = {hex_digit(value >> 12), hex_digit(value >> 8), hex_digit(value >> 4),
                                    hex_digit(value), kUS};
    return put_bytes(bytes, 5);
}

VOX_API int hex_out16(int value) { return HexOut16(value); }

VOX_API unsigned StrToIcfCode(const char *text) {
    auto t = reinterpret_cast<const unsigned char *>(text);
    unsigned value = (t[0] - 64u) | (t[1] - 64u) * 32u;
    if (t[2] >= 'A' && t[2] <= 'Z') return value | (t[2] - 64u) * 1024u;
    if (t[2] == static_cast<unsigned char>(kCodeStr[0])) return value;
    unsigned i = 1;
    while (kCodeStr[i] && static_cast<unsigned char>(kCodeStr[i]) != t[2]) ++i;
    return value | i << 10;
}

VOX_API char *IcfCodeToStr(unsigned code) {
    CodeRingState &r = kernel().codes;
    r.CurrentPosition %= 16;
    char *slot = r.OldCodes[r.CurrentPosition];
    slot[0] = code_char(code & 31);
    slot[1] = code_char((code >> 5) & 31);
    slot[2] = code_char((code >> 10) & 63);
    ++r.CurrentPosition;
    return slot;
}
}
