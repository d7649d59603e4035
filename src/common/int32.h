// 32-bit arithmetic on values that come from a document.
//
// Lengths, sizes, percentages and counts are read as 32-bit integers, and a
// document may hold any number: the readers saturate at INT_MAX / INT_MIN,
// so a sum of two lengths or a length times a factor can leave the range.
// Such arithmetic wraps modulo 2^32, the way the 32-bit fields it ends in
// behave (dec_out keeps the low 16 bits, long_out the unsigned 32), instead
// of being undefined.  Values inside the range give the ordinary result.
#pragma once

namespace vox {

constexpr int wrap_add(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}

constexpr int wrap_sub(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b));
}

constexpr int wrap_mul(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) * static_cast<unsigned>(b));
}

}  // namespace vox
