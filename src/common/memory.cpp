// Tracked allocation over the host's allocator (or malloc/free): every block
// is cleared, carries a signature, and is linked into the thread's chain so
// that VOXFreeAll can release whatever a conversion still holds.
#include "common/memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/kernel_state.h"

namespace vox {
namespace {

constexpr std::size_t kLinkSize = sizeof(unsigned char *);
constexpr std::size_t kSignatureOffset = 2 * kLinkSize;  // 'm' then 'i'
constexpr std::size_t kSignatureLookBack = kBlockHeaderSize - kSignatureOffset;

unsigned char *prev_of(unsigned char *block) {
    unsigned char *p;
    std::memcpy(&p, block, kLinkSize);
    return p;
}
unsigned char *next_of(unsigned char *block) {
    unsigned char *p;
    std::memcpy(&p, block + kLinkSize, kLinkSize);
    return p;
}
void set_prev(unsigned char *block, unsigned char *p) { std::memcpy(block, &p, kLinkSize); }
void set_next(unsigned char *block, unsigned char *p) { std::memcpy(block + kLinkSize, &p, kLinkSize); }

void *direct_malloc(MemoryState &m, std::size_t size) {
    if (size < kMinDirectAlloc) size = kMinDirectAlloc;
    void *block = m.oem_malloc ? m.oem_malloc(size) : std::malloc(size);
    if (block) std::memset(block, 0, size);
    return block;
}

void direct_free(MemoryState &m, void *block) {
    if (m.oem_free)
        m.oem_free(block);
    else
        std::free(block);
}

// Finds the header of a tracked area by its signature.  The look-back reads
// up to 16 bytes before memory that may not be ours (a static table, say);
// that is the point of the signature, so the address checker is told so.
__attribute__((no_sanitize("address"))) unsigned char *find_header(void *area) {
    auto *a = static_cast<unsigned char *>(area);
    if (reinterpret_cast<std::uintptr_t>(a) < kSignatureLookBack + 1) return nullptr;
    for (std::size_t back = 1; back < kSignatureLookBack; ++back) {
        unsigned char *i = a - back;
        if (*i == 'i' && *(i - 1) == 'm') return i + 1 - (kSignatureOffset + 2);
    }
    return nullptr;
}

}  // namespace

void set_host_allocator(VOXHostMallocFn malloc_fn, VOXHostFreeFn free_fn) {
    MemoryState &m = kernel().memory;
    m.oem_malloc = malloc_fn;
    m.oem_free = free_fn;
}

char *tracked_strdup(const char *text) {
    std::size_t n = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(VOXmalloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API void *OSDirectMalloc(std::size_t size) { return direct_malloc(kernel().memory, size); }

VOX_API void OSDirectFree(void *area) {
    if (area) direct_free(kernel().memory, area);
}

VOX_API void *VOXmalloc(std::size_t size) {
    MemoryState &m = kernel().memory;
    if (size > SIZE_MAX - kBlockHeaderSize - kBlockSpare) return nullptr;
    auto *block = static_cast<unsigned char *>(direct_malloc(m, size + kBlockHeaderSize + kBlockSpare));
    if (!block) return nullptr;
    set_prev(block, m.MemoryChainLast);
    set_next(block, nullptr);
    if (m.MemoryChainLast)
        set_next(m.MemoryChainLast, block);
    else
        m.MemoryChain = block;
    m.MemoryChainLast = block;
    block[kSignatureOffset] = 'm';
    block[kSignatureOffset + 1] = 'i';
    return block + kBlockHeaderSize;
}

VOX_API void VOXfree(void *area) {
    if (!area) return;
    unsigned char *block = find_header(area);
    if (!block) return;
    MemoryState &m = kernel().memory;
    unsigned char *prev = prev_of(block);
    unsigned char *next = next_of(block);
    if (prev) set_next(prev, next);
    if (next) set_prev(next, prev);
    if (m.MemoryChain == block) m.MemoryChain = next;
    if (m.MemoryChainLast == block) m.MemoryChainLast = prev;
    direct_free(m, block);
}

// Releases every tracked block.  Open temporary buffers are closed first
// (their spill files removed), and afterwards every kernel pointer into the
// released blocks is forgotten, so the thread's next conversion starts clean.
VOX_API void VOXFreeAll(void) {
    KernelState &k = kernel();
    prepare_release_all(k);
    MemoryState &m = k.memory;
    unsigned char *block = m.MemoryChain;
    while (block) {
        unsigned char *next = next_of(block);
        direct_free(m, block);
        block = next;
    }
    m.MemoryChain = nullptr;
    m.MemoryChainLast = nullptr;
    forget_released_blocks(k);
}

// The guard test of an older block layout, kept for callers that use it: a
// block passes when the two bytes after its links are 255.  Tracked blocks
// carry the signature there, so any non-empty chain reports 1.
VOX_API int VOXMemCheck(void) {
    for (unsigned char *block = kernel().memory.MemoryChain; block; block = next_of(block)) {
        if (block[kSignatureOffset] != 255 || block[kSignatureOffset + 1] != 255) return 1;
    }
    return 0;
}
}
