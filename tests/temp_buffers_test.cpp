// Temporary buffers: sizes, the handle table, spilling and reading back at
// the half-block edges, push-back and take-back, the shared spill file,
// closing, failure codes and memory.
//
// A buffer opened with a size below 30000 gets 30000: half 15000, full
// 30000.  The first byte goes to index 1, so 29999 bytes fit in memory and
// byte 30000 spills the upper half (bytes 15000..29999); every further
// 15000 bytes spill one more block.  Byte number i (1-based) of a test
// sequence is pattern(i); its period of 251 does not divide 15000, so a
// block out of place shows.
#include <cstring>
#include <filesystem>
#include <set>

#include "test_support.h"

namespace vox::test {
namespace {

constexpr long kHalf = 15000, kFull = 30000;

unsigned char pattern(long i) { return static_cast<unsigned char>(i * 7 % 251); }

// pattern(from + offset) .. pattern(to + offset) as a string.
std::string bytes(long from, long to, long offset = 0) {
    std::string s;
    for (long i = from; i <= to; ++i) s += static_cast<char>(pattern(i + offset));
    return s;
}

// Descriptors open in this process; a spill file is the only one the buffers keep open.
long open_files() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

class TempBuffersTest : public KernelTest {
  protected:
    void SetUp() override {  // a fresh kernel whose spill files go to dir
        KernelTest::SetUp(), files_at_start = open_files();
        std::strcpy(kernel().settings.icfname, dir.file("vox99int.tmp").c_str());
    }
    void put(int b, long from, long to, long offset = 0) {
        for (long i = from; i <= to; ++i) ASSERT_EQ(bufput(pattern(i + offset), b), 0);
    }
    // fn (bufget or bufunput) gives pattern(i + offset) for i from `from` to `to`, downwards when to < from.
    ::testing::AssertionResult gives(int (*fn)(int), int b, long from, long to, long offset = 0) {
        for (long i = from, step = from <= to ? 1 : -1;; i += step) {
            if (int got = fn(b); got != pattern(i + offset)) return testing::AssertionFailure() << i << ": " << got;
            if (i == to) return ::testing::AssertionSuccess();
        }
    }
    // The spill files (in the scratch directory) and the descriptors open beyond those at the start.
    using Spills = std::pair<std::multiset<std::string>, long>;
    Spills spills() const {
        std::multiset<std::string> found;
        for (const std::string &name : dir.entries()) found.insert(read_file(dir.file(name)));
        return {found, open_files() - files_at_start};
    }
    const Spills kNoSpill{{}, 0};
    TempDir dir;
    long files_at_start = 0;
};

// Two buffers opened with size 0 (so at the minimum) written and read in turn, B's bytes being
// pattern(i + 1000).  Catches a size below the minimum, a spill one byte early or late, a block
// written or read back out of place or from the other buffer's file, a spill file removed before
// its last block comes back or left behind, more than one spill file open, and a buffer read empty
// that does not start afresh (the counts run on the same buffers);
// a take-back that does not bring the newest pending block back or removes the file too early or
// too late, and, after blocks were read back, one that brings back a block read already.
TEST_F(TempBuffersTest, TwoBuffersSpillReadBackAndTakeBackAroundEveryHalfBlockEdge) {
    int a = bufopen(0), b = bufopen(0);
    for (long n : {1L, 14999L, 15000L, 15001L, 29999L, 30000L, 30001L, 44999L, 45000L, 60000L}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        for (long i = 1, e; i <= n; i += kHalf) e = std::min(n, i + kHalf - 1), put(a, i, e), put(b, i, e, 1000);
        const long blocks = n < kFull ? 0 : (n - kFull) / kHalf + 1, last = blocks ? blocks * kHalf : 1;
        EXPECT_EQ(BufNumStored(a), n);
        const long to = (blocks + 1) * kHalf - 1;  // block k holds bytes 15000 (k + 1) .. 15000 (k + 2) - 1
        EXPECT_EQ(spills(), (blocks ? Spills{{bytes(kHalf, to), bytes(kHalf, to, 1000)}, 1} : kNoSpill));
        // Byte `last` brings back the last pending block.
        EXPECT_TRUE(last == 1 || (gives(bufget, a, 1, last - 1) && gives(bufget, b, 1, last - 1, 1000)));
        EXPECT_EQ(spills().first.size(), blocks ? 2u : 0u);
        EXPECT_TRUE(gives(bufget, a, last, n) && gives(bufget, b, last, n, 1000));
        EXPECT_EQ(bufget(a) + bufget(b), -2);
        EXPECT_EQ(spills(), kNoSpill);
    }
    // Take-back: b is empty again, its counts back to 0.
    put(b, 1, 45000);
    EXPECT_TRUE(gives(bufunput, b, 45000, 45000));  // upper half empty: block 1 (30000..44999) back
    EXPECT_EQ(spills().first.size(), 1u);
    EXPECT_TRUE(gives(bufunput, b, 44999, 30000));  // block 0 back: no block left
    EXPECT_EQ(spills(), kNoSpill);
    EXPECT_TRUE(gives(bufunput, b, 29999, 1));
    EXPECT_EQ(bufunput(b), -1);
    // Bytes 1..15000 read (block 0 back in the lower half), a push-back at read index 0, then a
    // take-back that brings back block 1, the last pending one: 44999..15001 are left.
    put(b, 1, 45000);
    EXPECT_TRUE(gives(bufget, b, 1, 15000));
    bufunget('!', b);
    EXPECT_EQ(bufget(b), '!');
    EXPECT_TRUE(gives(bufunput, b, 45000, 45000));
    EXPECT_EQ(spills(), kNoSpill);
    EXPECT_TRUE(gives(bufunput, b, 44999, 15001));
    EXPECT_EQ(bufunput(b), -1);
}

// Catches a 601st buffer, a freed slot that is not the one reused first,
// a spill file, overflow or memory block left behind by closing, and an open that leaks when
// memory is out; pushed-back bytes read in the wrong order, an overflow opened while there is room
// before the read index or not closed once read, and take-back that ignores the overflow.
TEST_F(TempBuffersTest, HandleTableClosingMemoryPushBackAndTakeBack) {
    CountingAllocator::install();
    ASSERT_EQ(bufopen(100), 0);
    for (int i = 1; i < 600; ++i) ASSERT_EQ(bufopen(0), i);
    EXPECT_EQ(bufclose(417) + bufclose(5), 0);
    for (int slot : {5, 417, -1}) EXPECT_EQ(bufopen(0), slot);
    bufcloseall();
    int a = bufopen(0), b = bufopen(0), c = bufopen(0);
    put(a, 1, 45000);
    EXPECT_EQ(bufunget('!', a) + bufunget('!', b), 0);  // overflows 3 and 4
    EXPECT_EQ(bufclose(a) + bufclose(a) + bufclose(-1) + bufclose(700), 0);
    EXPECT_EQ(kernel().buffers.totused, 3);  // b, c and b's overflow
    EXPECT_EQ(spills(), kNoSpill);
    bufputs(c, reinterpret_cast<const unsigned char *>("abcd"), 4);
    for (char x : {'x', 'y', 'z'}) EXPECT_EQ(bufunget(x, c), 0);  // nothing read yet: all to the overflow
    for (int x : {'z', 'y', 'x', 'a', 'b'}) EXPECT_EQ(bufget(c), x);
    EXPECT_EQ(kernel().buffers.totused, 3);  // the overflow closed once read
    for (char x : {'B', 'A'}) bufunget(x, c);
    EXPECT_EQ(kernel().buffers.totused, 3);  // both fitted before the read index
    for (char x : {'@', '?'}) bufunget(x, c);
    unsigned char back[7];
    // Newest first: its own bytes, then the overflow oldest first, then -1; the overflow closed.
    bufunputs(c, back, 7);
    EXPECT_EQ(std::string(back, back + 7) + std::to_string(kernel().buffers.totused), "dcBA@?\xff" "3");
    bufcloseall();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    CountingAllocator::install(1, true);
    EXPECT_EQ(bufopen(0), -1);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
}

// Through the host file functions: gen_fnam's reservation is open 1 and write-less, the spill
// file's creation is open 2, its first block write 1.  Catches a failure that is ignored or ends
// with the wrong code, and a spill file or descriptor left behind by one.
TEST_F(TempBuffersTest, SpillFailuresEndTheConversionWithTheirCodes) {
    // The write fails or writes nothing; the creation fails; reading back fails or gets nothing;
    // reopening fails (opens 3 and 4 are B's spill).
    using P = HostFilePlan;
    const struct { long P::*field; long at; int code; } cases[] = {
        {&P::fail_write_at, 1, 4}, {&P::zero_write_at, 1, 10}, {&P::fail_open_at, 2, 3},
        {&P::fail_read_at, 1, 3},  {&P::zero_read_at, 1, 3},   {&P::fail_open_at, 5, 3}};
    for (const auto &c : cases) {
        SetUp(), use_host_files(true), host_files().*c.field = c.at;
        const int a = bufopen(0), b = bufopen(0);
        // B spills too, so A's next spill reopens its file.
        auto spill = [&] { put(a, 1, 30000), put(b, 1, 30000), put(a, 30001, 45000), gives(bufget, a, 1, 15000); };
        EXPECT_EQ(exit_code_of(spill), c.code) << "row " << &c - cases;
        bufcloseall();
        EXPECT_EQ(spills(), kNoSpill) << "row " << &c - cases;
    }
}

}  // namespace
}  // namespace vox::test
