// The token table: the ZEM statement names the converter knows and their
// token numbers (1 to 143; 0 stands for an unknown name).  The preprocessing
// pass turns every statement name into its number through convert_token;
// the main pass and all statement handlers speak only in numbers.
//
// The table is sorted by name when the library is built, not at start-up.
// It is read-only data shared by every thread: sorting it in place at run
// time would be a write to shared memory by every conversion, a data race
// between two threads converting at once, while all mutable state belongs
// in the per-thread kernel and conversion objects.  The sort is checked at
// compile time (token_table.cpp), in the same byte order that cmp_func
// uses for the binary search.  tf_token_init stays callable for the
// driver's start-up sequence and has nothing left to do.
#pragma once

#include <array>
#include <cstdint>

#include "common/api.h"

namespace vox {

constexpr int kTokenCount = 143;

struct TokenEntry {
    const char *name;     // NUL-terminated statement name
    std::int32_t number;  // 1 to kTokenCount
};

// The token table, ordered by name (byte-wise, as strcmp orders).
extern const std::array<TokenEntry, kTokenCount> token_list;

}  // namespace vox

extern "C" {
// Kept for the driver's start-up order; the table is already sorted.
VOX_API void tf_token_init(void);
// Orders two token entries by name (byte-wise); the comparison of the
// binary search.
VOX_API int cmp_func(const void *left, const void *right);
// The token number of a statement name: an exact, case-sensitive match of
// the whole name; 0 when the name is not in the table.
VOX_API int convert_token(const char *name);
}
