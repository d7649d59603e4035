// Tracked memory: block layout, chain links, release of foreign memory,
// the host allocator and allocation failure.
#include <cstdint>
#include <cstring>
#include <vector>

#include "test_support.h"

namespace vox {
namespace {

using test::CountingAllocator;

// A host allocator that remembers the size of every request.
thread_local std::vector<std::size_t> requested_sizes;
void *recording_malloc(std::size_t size) {
    requested_sizes.push_back(size);
    return std::malloc(size);
}
void recording_free(void *p) { std::free(p); }

unsigned char *header_of(void *area) { return static_cast<unsigned char *>(area) - kBlockHeaderSize; }
unsigned char *link_at(unsigned char *header, int which) {
    unsigned char *p;
    std::memcpy(&p, header + which * sizeof p, sizeof p);
    return p;
}
unsigned char *prev_link(void *area) { return link_at(header_of(area), 0); }
unsigned char *next_link(void *area) { return link_at(header_of(area), 1); }

std::size_t chain_length() {
    std::size_t n = 0;
    for (unsigned char *b = kernel().memory.MemoryChain; b; b = link_at(b, 1)) ++n;
    return n;
}

class MemoryTest : public test::KernelTest {
  protected:
    void TearDown() override {
        test::KernelTest::TearDown();
        CountingAllocator::uninstall();
    }
};

TEST_F(MemoryTest, SmallRequestDrawsTheMinimumBlockAndIsCleared) {
    requested_sizes.clear();
    set_host_allocator(recording_malloc, recording_free);
    // Dirty a block of the size the next request will get, so a missing
    // clear would likely show.
    void *dirty = std::malloc(kMinDirectAlloc);
    std::memset(dirty, 0xA5, kMinDirectAlloc);
    std::free(dirty);

    auto *area = static_cast<unsigned char *>(VOXmalloc(1));
    ASSERT_NE(area, nullptr);
    ASSERT_EQ(requested_sizes, std::vector<std::size_t>{64});
    // Header 32 + spare 2 = 34 bytes, so the caller's area may use 30 of the 64.
    for (std::size_t i = 0; i < 64 - kBlockHeaderSize - kBlockSpare; ++i) EXPECT_EQ(area[i], 0) << i;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(area) % 16, 0u);

    requested_sizes.clear();
    VOXfree(VOXmalloc(100));
    EXPECT_EQ(requested_sizes, std::vector<std::size_t>{134});  // 100 + 32 + 2
    VOXfree(area);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
}

TEST_F(MemoryTest, HeaderCarriesLinksSignatureAndZeros) {
    void *a = VOXmalloc(8);
    void *b = VOXmalloc(8);
    unsigned char *hb = header_of(b);
    EXPECT_EQ(kernel().memory.MemoryChain, header_of(a));
    EXPECT_EQ(kernel().memory.MemoryChainLast, hb);
    EXPECT_EQ(prev_link(b), header_of(a));
    EXPECT_EQ(next_link(b), nullptr);
    EXPECT_EQ(next_link(a), hb);
    EXPECT_EQ(hb[16], 'm');
    EXPECT_EQ(hb[17], 'i');
    for (int i = 18; i < 32; ++i) EXPECT_EQ(hb[i], 0) << i;
}

TEST_F(MemoryTest, FreeingMiddleLastAndFirstKeepsTheChainLinked) {
    void *a = VOXmalloc(10), *b = VOXmalloc(20), *c = VOXmalloc(30);
    VOXfree(b);
    EXPECT_EQ(next_link(a), header_of(c));
    EXPECT_EQ(prev_link(c), header_of(a));
    EXPECT_EQ(chain_length(), 2u);

    VOXfree(c);
    EXPECT_EQ(kernel().memory.MemoryChainLast, header_of(a));
    EXPECT_EQ(next_link(a), nullptr);

    void *d = VOXmalloc(5);
    VOXfree(a);
    EXPECT_EQ(kernel().memory.MemoryChain, header_of(d));
    EXPECT_EQ(prev_link(d), nullptr);
    VOXfree(d);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
    EXPECT_EQ(kernel().memory.MemoryChainLast, nullptr);
}

TEST_F(MemoryTest, ForeignMemoryIsLeftAlone) {
    CountingAllocator::install();
    void *tracked = VOXmalloc(4);
    static unsigned char table[64];
    unsigned char stack_area[64] = {};
    // A signature further back than the look-back window does not count.
    stack_area[0] = 'm';
    stack_area[1] = 'i';

    VOXfree(nullptr);
    VOXfree(table + 32);
    VOXfree(stack_area + 18);
    VOXfree(reinterpret_cast<void *>(8));  // below any header: ignored, not read

    EXPECT_EQ(chain_length(), 1u);
    EXPECT_EQ(kernel().memory.MemoryChain, header_of(tracked));
    EXPECT_EQ(CountingAllocator::released(), 0);
    VOXfree(tracked);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
}

TEST_F(MemoryTest, FreeAllReturnsEveryBlockToTheHost) {
    CountingAllocator::install();
    for (int i = 0; i < 25; ++i) ASSERT_NE(VOXmalloc(i * 37), nullptr);
    EXPECT_EQ(CountingAllocator::allocated(), 25);
    VOXFreeAll();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
    EXPECT_EQ(kernel().memory.MemoryChainLast, nullptr);
    // The chain starts afresh.
    void *a = VOXmalloc(1);
    EXPECT_EQ(kernel().memory.MemoryChain, header_of(a));
    EXPECT_EQ(prev_link(a), nullptr);
}

// Everything the kernel keeps in tracked blocks goes with VOXFreeAll: a
// spilling buffer is closed with its spill file, and nothing points into the
// released blocks afterwards, so the thread can convert again.
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
    EXPECT_EQ(kernel().buffers.totused, 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target"});
    EXPECT_EQ(kernel().settings.BodyTextFileName, nullptr);
    EXPECT_EQ(kernel().temp_files.FileList, nullptr);
    EXPECT_EQ(kernel().streams.ot_ptr, nullptr);

    // Shutting down and starting again touch no released block.
    GlobalShutDown();
    b_putc('a');  // no target stream: dropped
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    b_putc('b');
    b_close();
    VOXclose(out);
    EXPECT_EQ(test::read_file(dir.file("target")), "b");
}

TEST_F(MemoryTest, FailedAllocationGivesNullAndLeavesTheChainIntact) {
    CountingAllocator::install(2);
    void *a = VOXmalloc(10);
    EXPECT_EQ(VOXmalloc(10), nullptr);
    EXPECT_EQ(kernel().memory.MemoryChainLast, header_of(a));
    void *c = VOXmalloc(10);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(next_link(a), header_of(c));
    EXPECT_EQ(prev_link(c), header_of(a));
    VOXFreeAll();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);

    CountingAllocator::install(1, true);
    EXPECT_EQ(VOXmalloc(1), nullptr);
    EXPECT_EQ(OSDirectMalloc(1), nullptr);
    EXPECT_EQ(tracked_strdup("x"), nullptr);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
}

TEST_F(MemoryTest, ImpossibleSizeIsRefusedWithoutAskingTheHost) {
    requested_sizes.clear();
    set_host_allocator(recording_malloc, recording_free);
    EXPECT_EQ(VOXmalloc(SIZE_MAX), nullptr);
    EXPECT_EQ(VOXmalloc(SIZE_MAX - kBlockHeaderSize - kBlockSpare + 1), nullptr);
    EXPECT_TRUE(requested_sizes.empty());
}

TEST_F(MemoryTest, DirectAllocationUsesTheHostWithTheMinimumSize) {
    requested_sizes.clear();
    set_host_allocator(recording_malloc, recording_free);
    auto *p = static_cast<unsigned char *>(OSDirectMalloc(1));
    auto *q = static_cast<unsigned char *>(OSDirectMalloc(65));
    EXPECT_EQ(requested_sizes, (std::vector<std::size_t>{64, 65}));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);  // direct blocks are not tracked
    OSDirectFree(p);
    OSDirectFree(q);
    OSDirectFree(nullptr);

    CountingAllocator::install();
    OSDirectFree(OSDirectMalloc(10));
    EXPECT_EQ(CountingAllocator::allocated(), 1);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
}

TEST_F(MemoryTest, MemCheckReportsAnyTrackedBlock) {
    EXPECT_EQ(VOXMemCheck(), 0);
    void *a = VOXmalloc(3);
    EXPECT_EQ(VOXMemCheck(), 1);
    VOXfree(a);
    EXPECT_EQ(VOXMemCheck(), 0);
}

TEST_F(MemoryTest, TrackedStrdupCopiesIntoTheChain) {
    const char text[] = "vox99int.tmp";
    char *copy = tracked_strdup(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, text);
    EXPECT_EQ(kernel().memory.MemoryChain, header_of(copy));
}

}  // namespace
}  // namespace vox
