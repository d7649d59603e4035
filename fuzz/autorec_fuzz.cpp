// libFuzzer target: recognition of arbitrary blocks must never read out of
// bounds, loop or crash.  The first input byte picks an expected format
// from the table below (or none), so the expected-format runs and the
// MinorVal paths are fuzzed too; the rest is the block.  A block that
// starts like a compound file also goes through the directory probe, with
// the input itself standing for the file behind it.
//
// Build (from the repository root):
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined \
//     -Iinclude -Isrc fuzz/autorec_fuzz.cpp src/autorec/*.cpp src/common/*.cpp \
//     -o autorec_fuzz
//   ./autorec_fuzz -max_total_time=120 -max_len=8192
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "autorec/autorec.h"
#include "common/kernel_state.h"

namespace {

const int kExpected[] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                         24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 35, 36, 37, 42, 44, 45, 51, 52, 53, 54,
                         55, 56, 57, 60, 101, 102, 103, 104, 105, 111, 703, 708, 770, 771, 999};

// The input as the file behind the probe.
const uint8_t *g_file = nullptr;
long g_size = 0;
long g_pos = 0;

int fuzz_seek(long offset) {
    if (offset < 0 || offset > g_size) return -1;
    g_pos = offset;
    return 0;
}

int fuzz_read(unsigned char *buffer, int count) {
    long n = g_size - g_pos;
    if (n > count) n = count;
    if (n < 0) n = 0;
    std::memcpy(buffer, g_file + g_pos, static_cast<std::size_t>(n));
    g_pos += n;
    return static_cast<int>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const int expected = kExpected[data[0] % (sizeof kExpected / sizeof kExpected[0])];
    const uint8_t *block = data + 1;
    const long length = static_cast<long>(size - 1);
    const int block_len = length > vox::kAutoRecBlockSize ? vox::kAutoRecBlockSize : static_cast<int>(length);
    g_file = block;
    g_size = length;
    g_pos = 0;
    vox::auto_OLE2Formats(block, block_len, fuzz_seek, fuzz_read);
    int version = 0;
    AutoRecBlock(block, block_len, expected, &version);
    return 0;
}
