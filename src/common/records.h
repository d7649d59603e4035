// Intermediate-code records: ESC GS, a three-character code, parameters each
// ended by US, then RS.  Codes travel as 16-bit packed numbers (first
// letter + second * 32 + third * 1024 over " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789").
// Every writer sends its bytes through b_putc; where they land is the
// stream layer's business.
#pragma once

#include <cstdint>

#include "common/api.h"

namespace vox {

constexpr char kCodeStr[] = " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

constexpr int code_index(char c) {
    for (int i = 0; kCodeStr[i]; ++i)
        if (kCodeStr[i] == c) return i;
    return 37;
}

// The packed number of a three-character code, computed at build time.
constexpr unsigned icf_code(const char (&code)[4]) {
    return unsigned(code_index(code[0])) | unsigned(code_index(code[1])) << 5 |
           unsigned(code_index(code[2])) << 10;
}

constexpr unsigned char kESC = 27, kGS = 29, kRS = 30, kUS = 31;

// The unpacking ring: 16 slots, each three characters and a NUL.
struct CodeRingState {
    char OldCodes[16][4] = {};
    unsigned char CurrentPosition = 0;
};

}  // namespace vox

extern "C" {
VOX_API int beg_icf(unsigned code);
VOX_API int icf_only(unsigned code);
VOX_API int end_icf(void);
VOX_API int out_icf(unsigned code);
VOX_API int dec_out(std::uint32_t value);
VOX_API void DecOutNoTerm(std::uint32_t value);
VOX_API int long_out(std::uint32_t value);
VOX_API int hex_out(int value, int terminate);
VOX_API int HexOut8(int value);
VOX_API int HexOut8NoTerm(int value);
VOX_API int HexOut16(int value);
VOX_API int hex_out16(int value);
VOX_API int OutHexNibble(int value);
VOX_API unsigned StrToIcfCode(const char *text);
VOX_API char *IcfCodeToStr(unsigned code);
}
