// Tracked memory: block layout, chain links, release of foreign memory,
// the host allocator and allocation failure.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "test_support.h"

namespace vox {

using test::CountingAllocator;
using MemoryTest = test::KernelTest;  // the fresh kernel also drops the host allocator

static MemoryState &mem() { return kernel().memory; }
static thread_local std::vector<std::size_t> requested;  // sizes the host was asked for
static void *dirty_malloc(std::size_t size) {  // hands out dirty memory, so a missing clear shows
    requested.push_back(size);
    return std::memset(std::malloc(size), 0xA5, size);
}
static unsigned char *header_of(void *area) { return static_cast<unsigned char *>(area) - kBlockHeaderSize; }
static unsigned char *link(void *area, int which) {  // 0 the previous block, 1 the next
    unsigned char *p;
    std::memcpy(&p, header_of(area) + which * sizeof p, sizeof p);
    return p;
}

// Catches a wrong size asked of the host (64 at least, else size + 32 + 2),
// an uncleared or misaligned area, a misplaced signature, a size that
// overflows, and direct blocks that get tracked.
TEST_F(MemoryTest, BlockLayout) {
    requested.clear();
    set_host_allocator(dirty_malloc, [](void *p) { std::free(p); });
    auto *area = static_cast<unsigned char *>(VOXmalloc(1));
    void *big = VOXmalloc(100);
    auto *direct = static_cast<unsigned char *>(OSDirectMalloc(1));
    EXPECT_EQ(VOXmalloc(SIZE_MAX - kBlockHeaderSize - kBlockSpare + 1), nullptr);
    EXPECT_EQ(requested, (std::vector<std::size_t>{64, 134, 64}));
    EXPECT_EQ(std::count(area, area + 30, 0) + std::count(direct, direct + 64, 0), 30 + 64);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(area) % 16, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(header_of(area)) + 16, 16), "mi" + std::string(14, '\0'));
    EXPECT_EQ(mem().MemoryChainLast, header_of(big));
    OSDirectFree(direct);
}

// Catches links not mended when the middle, the last or the first block goes.
TEST_F(MemoryTest, FreeingMiddleLastAndFirstKeepsTheChainLinked) {
    void *a = VOXmalloc(10), *b = VOXmalloc(20), *c = VOXmalloc(30);
    VOXfree(b);
    EXPECT_EQ(std::make_tuple(link(a, 1), link(c, 0)), std::make_tuple(header_of(c), header_of(a)));
    VOXfree(c);
    EXPECT_EQ(std::make_tuple(mem().MemoryChainLast, link(a, 1)), std::make_tuple(header_of(a), nullptr));
    void *d = VOXmalloc(5);
    VOXfree(a);
    EXPECT_EQ(std::make_tuple(mem().MemoryChain, link(d, 0)), std::make_tuple(header_of(d), nullptr));
}

// Catches a block the host never gets back (tracked or direct), a failed
// request that does not give null or breaks the chain, VOXfree touching
// memory without a signature in its look-back window (or below the lowest
// addresses), and a chain not empty after VOXFreeAll.
TEST_F(MemoryTest, HostGetsEveryBlockBackFailuresGiveNullForeignMemoryStays) {
    CountingAllocator::install(3);  // the third request fails
    VOXmalloc(10);
    void *b = VOXmalloc(10);
    EXPECT_EQ(VOXmalloc(10), nullptr);
    EXPECT_EQ(mem().MemoryChainLast, header_of(b));
    EXPECT_EQ(link(VOXmalloc(10), 0), header_of(b));
    static unsigned char table[64];
    unsigned char stack_area[64] = {'m', 'i'};  // a signature further back than the window
    void *foreign[] = {table + 32, stack_area + 18, reinterpret_cast<void *>(8), nullptr};
    for (void *area : foreign) VOXfree(area);
    EXPECT_EQ(CountingAllocator::released(), 0);
    OSDirectFree(OSDirectMalloc(10));
    VOXFreeAll();
    EXPECT_EQ(std::make_tuple(CountingAllocator::outstanding(), mem().MemoryChain, mem().MemoryChainLast),
              std::make_tuple(0L, nullptr, nullptr));
    CountingAllocator::install(1, true);
    EXPECT_EQ(std::make_tuple(VOXmalloc(1), OSDirectMalloc(1), tracked_strdup("x")),
              std::make_tuple(nullptr, nullptr, nullptr));
}

// Catches a spill file left behind by VOXFreeAll and any kernel pointer into
// the released blocks: shutting down and converting again must touch none.
TEST_F(MemoryTest, FreeAllLeavesNoFileAndNoDanglingKernelPointer) {
    test::TempDir dir;
    std::snprintf(kernel().settings.icfname, 256, "%s", dir.file("out.icf").c_str());
    CountingAllocator::install();
    int h = bufopen(100);
    for (int i = 0; i < 40000; ++i) bufput('x', h);  // more than a buffer holds: spills
    ASSERT_EQ(dir.entries().size(), 1u);
    kernel().settings.BodyTextFileName = tracked_strdup("body.bti");
    AddTempFileName("listed.tmp");
    int out = VOXopen(dir.file("target").c_str(), 2, 2);
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    VOXFreeAll();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target"});
    EXPECT_EQ(std::make_tuple(kernel().settings.BodyTextFileName, kernel().temp_files.FileList,
                              kernel().streams.ot_ptr), std::make_tuple(nullptr, nullptr, nullptr));
    GlobalShutDown();
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    b_putc('b');
    b_close();
    VOXclose(out);
    EXPECT_EQ(test::read_file(dir.file("target")), "b");
}

}  // namespace vox
