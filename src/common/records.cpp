// The record writers and the code packing of intermediate code.
#include "common/records.h"

#include "common/kernel_state.h"

using namespace vox;

namespace {

// Writes the digits of v without leading zeros, starting at `divisor`.
void put_decimal(std::uint32_t v, std::uint32_t divisor) {
    while (divisor > 1 && v < divisor) divisor /= 10;
    for (; divisor; divisor /= 10) {
        b_putc(static_cast<int>('0' + v / divisor));
        v %= divisor;
    }
}

// The character of a code index; indices past the table read as its NUL.
char code_char(unsigned index) { return index < sizeof(kCodeStr) ? kCodeStr[index] : '\0'; }

}  // namespace

extern "C" {

VOX_API int icf_only(unsigned code) {
    b_putc(code_char(code & 31));
    b_putc(code_char((code >> 5) & 31));
    b_putc(code_char((code >> 10) & 63));
    return 0;
}

VOX_API int beg_icf(unsigned code) {
    b_putc(kESC);
    b_putc(kGS);
    return icf_only(code);
}

VOX_API int end_icf(void) { return b_putc(kRS); }

VOX_API int out_icf(unsigned code) {
    beg_icf(code);
    return end_icf();
}

VOX_API void DecOutNoTerm(std::uint32_t value) { put_decimal(value & 0xFFFF, 10000); }

VOX_API int dec_out(std::uint32_t value) {
    DecOutNoTerm(value);
    return b_putc(kUS);
}

VOX_API int long_out(std::uint32_t value) {
    put_decimal(value, 1000000000u);
    return b_putc(kUS);
}

VOX_API int OutHexNibble(int value) {
    int n = value & 15;
    return b_putc(n < 10 ? n + 48 : n + 55);
}

VOX_API int hex_out(int value, int terminate) {
    OutHexNibble(value >> 4);
    OutHexNibble(value);
    if (terminate) b_putc(kUS);
    return 0;
}

VOX_API int HexOut8(int value) { return hex_out(value, 1); }
VOX_API int HexOut8NoTerm(int value) { return hex_out(value, 0); }

VOX_API int HexOut16(int value) {
    hex_out(value >> 8, 0);
    return hex_out(value, 1);
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
