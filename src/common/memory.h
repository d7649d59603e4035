// Tracked memory: every block the converter allocates is linked into one
// chain, so that a conversion can release everything it holds at any exit.
//
// Block layout on a 64-bit host (the family's 32-bit layout widened):
//
//   offset  0  previous block address   (8 bytes)
//   offset  8  next block address       (8 bytes)
//   offset 16  signature 'm' 'i'        (2 bytes)
//   offset 18  fourteen zero bytes
//   offset 32  the caller's area        (size bytes, 16-byte aligned)
//   then       2 spare bytes
//
// The 32-bit layout had 4-byte links and a 16-byte header; the links grow to
// 8 bytes and the zero fill to 14, so that the caller's area keeps the
// 16-byte alignment malloc gives.  VOXfree finds the signature by looking
// back at most 16 bytes (10 in the 32-bit layout) for an 'i' preceded by an
// 'm'; memory without the signature is left alone.
#pragma once

#include <cstddef>

#include "vox42/vox42.h"
#include "common/api.h"

namespace vox {

constexpr std::size_t kBlockHeaderSize = 32;
constexpr std::size_t kBlockSpare = 2;
constexpr std::size_t kMinDirectAlloc = 64;

struct MemoryState {
    unsigned char *MemoryChain = nullptr;      // first tracked block (header)
    unsigned char *MemoryChainLast = nullptr;  // last tracked block (header)
    VOXHostMallocFn oem_malloc = nullptr;      // host allocator, when given
    VOXHostFreeFn oem_free = nullptr;
};

// Installs (or, with nulls, removes) the host's allocation functions for
// the calling thread.
void set_host_allocator(VOXHostMallocFn malloc_fn, VOXHostFreeFn free_fn);

// Copies a NUL-terminated string into a tracked block; null when out of memory.
char *tracked_strdup(const char *text);

}  // namespace vox

extern "C" {
VOX_API void *VOXmalloc(std::size_t size);
VOX_API void VOXfree(void *area);
VOX_API void VOXFreeAll(void);
VOX_API int VOXMemCheck(void);
VOX_API void *OSDirectMalloc(std::size_t size);
VOX_API void OSDirectFree(void *area);
}
