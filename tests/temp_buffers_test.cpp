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
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace vox::test {
namespace {

constexpr long kHalf = 15000;
constexpr long kFull = 30000;

unsigned char pattern(long i) { return static_cast<unsigned char>(i * 7 % 251); }

class TempBuffersTest : public KernelTest {
  protected:
    void SetUp() override {
        KernelTest::SetUp();
        name_spill_files_in_dir();
    }

    void name_spill_files_in_dir() {
        std::strcpy(kernel().settings.icfname, dir.file("vox99int.tmp").c_str());
    }

    BufferHeader &header(int b) { return *kernel().buffers.bufptrs[b]; }

    // Bytes pattern(from + offset) .. pattern(to + offset).
    void put_range(int b, long from, long to, long offset = 0) {
        for (long i = from; i <= to; ++i) ASSERT_EQ(bufput(pattern(i + offset), b), 0);
    }

    // Reads the bytes pattern(from + offset) .. pattern(to + offset), in order.
    void expect_gets(int b, long from, long to, long offset = 0) {
        for (long i = from; i <= to; ++i) {
            int got = bufget(b);
            if (got != pattern(i + offset)) {
                ADD_FAILURE() << "byte " << i << ": got " << got << ", want " << int(pattern(i + offset));
                return;
            }
        }
    }

    // Takes back the bytes pattern(from) .. pattern(to), newest first.
    void expect_unputs(int b, long from, long to) {
        for (long i = from; i >= to; --i) {
            int got = bufunput(b);
            if (got != pattern(i)) {
                ADD_FAILURE() << "byte " << i << ": got " << got << ", want " << int(pattern(i));
                return;
            }
        }
    }

    std::vector<std::string> spill_files() const {
        std::vector<std::string> found;
        for (const std::string &n : dir.entries())
            if (n.size() == 12 && n.compare(0, 2, "VX") == 0 && n.compare(8, 4, ".TMP") == 0)
                found.push_back(n);
        return found;
    }

    long file_size(const std::string &name) const {
        struct stat st;
        return ::stat(dir.file(name).c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
    }

    // Descriptors of this process open on files in the scratch directory.
    int open_files_in_dir() const {
        int count = 0;
        DIR *d = opendir("/proc/self/fd");
        while (dirent *e = d ? readdir(d) : nullptr) {
            char target[4096];
            std::string link = std::string("/proc/self/fd/") + e->d_name;
            ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            target[n] = '\0';
            if (std::strncmp(target, dir.path().c_str(), dir.path().size()) == 0) ++count;
        }
        if (d) closedir(d);
        return count;
    }

    TempDir dir;
};

TEST_F(TempBuffersTest, OpenRaisesTheSizeToTheMinimumAndSplitsItInHalves) {
    int small = bufopen(100);
    ASSERT_EQ(small, 0);
    EXPECT_EQ(header(small).half, 15000);
    EXPECT_EQ(header(small).full, 30000);
    EXPECT_EQ(BufNumStored(small), 0);
    int odd = bufinit(40001);
    ASSERT_EQ(odd, 1);
    EXPECT_EQ(header(odd).half, 20000);
    EXPECT_EQ(header(odd).full, 40000);
    EXPECT_EQ(bufsetup(7), 0);
    EXPECT_EQ(kernel().buffers.totused, 2);
}

TEST_F(TempBuffersTest, SixHundredBuffersAtMostAndTheLowestFreeSlotIsReused) {
    for (int i = 0; i < 600; ++i) ASSERT_EQ(bufopen(0), i);
    EXPECT_EQ(bufopen(0), -1);
    bufclose(417);
    bufclose(5);
    EXPECT_EQ(kernel().buffers.totused, 598);
    EXPECT_EQ(bufopen(0), 5);
    EXPECT_EQ(bufopen(0), 417);
    EXPECT_EQ(bufopen(0), -1);
    EXPECT_EQ(bufclose(700), 0);
    bufcloseall();
    EXPECT_EQ(kernel().buffers.totused, 0);
    EXPECT_EQ(bufopen(0), 0);
}

// Spills happen at bytes 30000, 45000, 60000: n bytes leave
// (n - 30000) / 15000 + 1 blocks in the file once n >= 30000.
TEST_F(TempBuffersTest, BytesComeBackInOrderAroundEveryHalfBlockEdge) {
    const long counts[] = {1, 14999, 15000, 15001, 29999, 30000, 30001, 44999, 45000, 60000};
    int b = bufopen(0);
    for (long n : counts) {
        SCOPED_TRACE("n = " + std::to_string(n));
        put_range(b, 1, n);
        long blocks = n < kFull ? 0 : (n - kFull) / kHalf + 1;
        EXPECT_EQ(header(b).blocks_spilled, blocks);
        ASSERT_EQ(spill_files().size(), blocks ? 1u : 0u);
        if (blocks) {
            EXPECT_EQ(file_size(spill_files()[0]), blocks * kHalf);
        }
        EXPECT_EQ(BufNumStored(b), n);
        expect_gets(b, 1, n);
        EXPECT_EQ(bufget(b), -1);
        EXPECT_EQ(BufNumStored(b), 0);
        EXPECT_TRUE(spill_files().empty());
        EXPECT_EQ(open_files_in_dir(), 0);
    }
}

TEST_F(TempBuffersTest, SpillFileHoldsTheMiddleAndGoesWithTheLastBlockReadBack) {
    int b = bufopen(0);
    put_range(b, 1, 45000);
    ASSERT_EQ(spill_files().size(), 1u);
    // Block 0 holds bytes 15000..29999, block 1 bytes 30000..44999.
    std::string file = read_file(dir.file(spill_files()[0]));
    ASSERT_EQ(file.size(), 30000u);
    for (long k = 0; k < 30000; ++k)
        ASSERT_EQ(static_cast<unsigned char>(file[k]), pattern(15000 + k)) << "file offset " << k;
    // Byte 30000 is the first of block 1, the last block to come back.
    expect_gets(b, 1, 29999);
    EXPECT_EQ(spill_files().size(), 1u);
    EXPECT_EQ(BufNumStored(b), 45000 - 29999);
    expect_gets(b, 30000, 30000);
    EXPECT_TRUE(spill_files().empty());
    EXPECT_EQ(open_files_in_dir(), 0);
    expect_gets(b, 30001, 45000);
    EXPECT_EQ(bufget(b), -1);
}

TEST_F(TempBuffersTest, ABufferReadEmptyStartsAfresh) {
    int b = bufopen(0);
    put_range(b, 1, 10);
    expect_gets(b, 1, 4);
    EXPECT_EQ(BufNumStored(b), 6);
    expect_gets(b, 5, 10);
    EXPECT_EQ(bufget(b), -1);
    EXPECT_EQ(header(b).write_index, 0);
    EXPECT_EQ(header(b).read_index, 0);
    bufput('q', b);
    EXPECT_EQ(header(b).data[1], 'q');
    EXPECT_EQ(bufget(b), 'q');
    EXPECT_EQ(bufget(b), -1);
}

TEST_F(TempBuffersTest, PushBackFillsReadPositionsThenTheOverflowNewestFirst) {
    int at_start = bufopen(0);
    bufputs(at_start, reinterpret_cast<const unsigned char *>("abc"), 3);
    for (char c : {'x', 'y', 'z'}) EXPECT_EQ(bufunget(c, at_start), 0);
    ASSERT_EQ(kernel().buffers.totused, 2);
    // The overflow asks for 2048 bytes and gets the 30000 minimum.
    EXPECT_EQ(header(header(at_start).overflow_handle).full, 30000);
    for (int c : std::initializer_list<int>{'z', 'y', 'x'}) EXPECT_EQ(bufget(at_start), c);
    EXPECT_EQ(kernel().buffers.totused, 2);  // empty, closed on the next read
    EXPECT_EQ(bufget(at_start), 'a');
    EXPECT_EQ(kernel().buffers.totused, 1);

    int inside = bufopen(0);
    bufputs(inside, reinterpret_cast<const unsigned char *>("abc"), 3);
    bufget(inside);
    bufget(inside);
    bufunget('B', inside);
    bufunget('A', inside);
    EXPECT_EQ(kernel().buffers.totused, 2);  // both fitted before the read index
    bufunget('@', inside);
    EXPECT_EQ(kernel().buffers.totused, 3);
    for (int c : std::initializer_list<int>{'@', 'A', 'B', 'c', -1}) EXPECT_EQ(bufget(inside), c);
}

TEST_F(TempBuffersTest, TakeBackReturnsNewestFirstThenTheOverflowOldestFirst) {
    int b = bufopen(0);
    EXPECT_EQ(bufunput(b), -1);
    bufputs(b, reinterpret_cast<const unsigned char *>("abc"), 3);
    EXPECT_EQ(bufget(b), 'a');
    for (int c : std::initializer_list<int>{'c', 'b', -1}) EXPECT_EQ(bufunput(b), c);

    int pushed = bufopen(0);
    bufunget('x', pushed);
    bufunget('y', pushed);  // read order y, x: x is the newest
    for (int c : std::initializer_list<int>{'x', 'y', -1}) EXPECT_EQ(bufunput(pushed), c);
    EXPECT_EQ(kernel().buffers.totused, 2);
    EXPECT_EQ(header(pushed).overflow_active, 0);
}

TEST_F(TempBuffersTest, TakeBackBringsSpilledBlocksBackAndRemovesTheFileAtLast) {
    int b = bufopen(0);
    put_range(b, 1, 45000);
    // Byte 45000 empties the upper half: block 1 (30000..44999) comes back.
    expect_unputs(b, 45000, 45000);
    EXPECT_EQ(header(b).blocks_spilled, 1);
    EXPECT_EQ(spill_files().size(), 1u);
    expect_unputs(b, 44999, 30001);
    EXPECT_EQ(spill_files().size(), 1u);
    // Byte 30000 empties it again: block 0 comes back, none is left.
    expect_unputs(b, 30000, 30000);
    EXPECT_TRUE(spill_files().empty());
    EXPECT_EQ(open_files_in_dir(), 0);
    expect_unputs(b, 29999, 1);
    EXPECT_EQ(bufunput(b), -1);
    EXPECT_EQ(BufNumStored(b), 0);
}

// Bytes 1..15000 read (block 0 is back in the lower half, 15000 was its
// first byte), then a push-back at read index 0 and a take-back that brings
// back block 1, the last pending one.  The rest is 15001..44999 either way.
TEST_F(TempBuffersTest, PushBackAndTakeBackAcrossReadBackBlocks) {
    for (bool read_forward : {true, false}) {
        SCOPED_TRACE(read_forward ? "read forward" : "take back");
        int b = bufopen(0);
        put_range(b, 1, 45000);
        expect_gets(b, 1, 15000);
        EXPECT_EQ(header(b).read_index, 0);
        EXPECT_EQ(BufNumStored(b), 30000);
        bufunget('!', b);
        EXPECT_EQ(bufget(b), '!');
        expect_unputs(b, 45000, 45000);
        EXPECT_TRUE(spill_files().empty());
        EXPECT_EQ(BufNumStored(b), 44999 - 15000);
        if (read_forward) {
            expect_gets(b, 15001, 44999);
            EXPECT_EQ(bufget(b), -1);
        } else {
            expect_unputs(b, 44999, 15001);
            EXPECT_EQ(bufunput(b), -1);
        }
        bufclose(b);
    }
}

TEST_F(TempBuffersTest, TakeBackBelowTheHalfThenAppendAgain) {
    int b = bufopen(0);
    put_range(b, 1, 15001);
    expect_unputs(b, 15001, 15000);
    bufput('X', b);
    bufput('Y', b);
    expect_gets(b, 1, 14999);
    for (int c : std::initializer_list<int>{'X', 'Y', -1}) EXPECT_EQ(bufget(b), c);
}

// B's bytes are pattern(i + 1000): a byte from the wrong file shows.
TEST_F(TempBuffersTest, TwoBuffersSpillInTurnWithOneFileOpen) {
    int a = bufopen(0), b = bufopen(0);
    put_range(a, 1, 30000);
    EXPECT_EQ(kernel().buffers.LastBufRef, a);
    put_range(b, 1, 30000, 1000);
    EXPECT_EQ(kernel().buffers.LastBufRef, b);
    EXPECT_EQ(spill_files().size(), 2u);
    EXPECT_EQ(open_files_in_dir(), 1);
    put_range(a, 30001, 45000);
    put_range(b, 30001, 45000, 1000);
    for (const std::string &f : spill_files()) EXPECT_EQ(file_size(f), 30000) << f;
    for (long from = 1; from <= 45000; from += 5000) {
        expect_gets(a, from, from + 4999);
        expect_gets(b, from, from + 4999, 1000);
        EXPECT_LE(open_files_in_dir(), 1);
    }
    EXPECT_EQ(bufget(a), -1);
    EXPECT_EQ(bufget(b), -1);
    EXPECT_TRUE(spill_files().empty());
    EXPECT_EQ(open_files_in_dir(), 0);
}

TEST_F(TempBuffersTest, ClosingRemovesTheSpillFileAndTheOverflow) {
    int b = bufopen(0);
    put_range(b, 1, 45000);
    bufunget('!', b);
    ASSERT_EQ(kernel().buffers.totused, 2);
    EXPECT_EQ(bufclose(b), 0);
    EXPECT_EQ(kernel().buffers.totused, 0);
    EXPECT_TRUE(spill_files().empty());
    EXPECT_EQ(open_files_in_dir(), 0);
    EXPECT_EQ(bufclose(b), 0);  // no buffer there any more
    EXPECT_EQ(bufclose(-1), 0);
}

TEST_F(TempBuffersTest, CloseAllButOneKeepsThatBufferWithItsOverflow) {
    for (int i = 0; i < 4; ++i) bufopen(0);
    bufputs(2, reinterpret_cast<const unsigned char *>("ab"), 2);
    bufunget('z', 2);
    ASSERT_EQ(header(2).overflow_handle, 4);
    BufCloseAllButOne(2);
    EXPECT_EQ(kernel().buffers.totused, 2);
    for (int c : std::initializer_list<int>{'z', 'a', 'b', -1}) EXPECT_EQ(bufget(2), c);
    BufCloseAllButOne(-1);
    EXPECT_EQ(kernel().buffers.totused, 0);
}

TEST_F(TempBuffersTest, StringFormsActAsTheirByteLoops) {
    int b = bufopen(0);
    std::vector<unsigned char> bytes(45000);
    for (long i = 1; i <= 45000; ++i) bytes[i - 1] = pattern(i);
    EXPECT_EQ(bufputs(b, bytes.data(), 0), 0);
    EXPECT_EQ(bufputs(b, bytes.data(), -5), 0);
    EXPECT_EQ(BufNumStored(b), 0);
    EXPECT_EQ(bufputs(b, bytes.data(), 45000), 0);
    EXPECT_EQ(header(b).blocks_spilled, 2);
    ASSERT_EQ(spill_files().size(), 1u);
    std::string file = read_file(dir.file(spill_files()[0]));
    EXPECT_TRUE(file.size() == 30000 && std::memcmp(file.data(), bytes.data() + 14999, 30000) == 0);

    std::vector<unsigned char> got(45000);
    EXPECT_EQ(bufgets(b, got.data(), 20000), 20000);
    EXPECT_EQ(std::memcmp(got.data(), bytes.data(), 20000), 0);
    EXPECT_EQ(bufgets(b, got.data(), 40000), 25000);  // ran empty: starts afresh
    EXPECT_EQ(std::memcmp(got.data(), bytes.data() + 20000, 25000), 0);
    EXPECT_EQ(header(b).write_index, 0);

    bufputs(b, reinterpret_cast<const unsigned char *>("abc"), 3);
    unsigned char back[4];
    EXPECT_EQ(bufunputs(b, back, 4), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(back), 4), "cba\xff");
}

// Through the host file functions: gen_fnam's reservation is open 1 and
// write-less, the spill file's creation is open 2, its first block write 1.
TEST_F(TempBuffersTest, SpillFailuresEndTheConversionWithTheirCodes) {
    struct Case {
        const char *what;
        long HostFilePlan::*field;
        long at;
        bool two_buffers;
        int code;
    };
    const Case cases[] = {
        {"write fails", &HostFilePlan::fail_write_at, 1, false, 4},
        {"write writes nothing", &HostFilePlan::zero_write_at, 1, false, 10},
        {"creation fails", &HostFilePlan::fail_open_at, 2, false, 3},
        {"reopening fails", &HostFilePlan::fail_open_at, 5, true, 3},
        {"reading back fails", &HostFilePlan::fail_read_at, 1, false, 3},
        {"reading back gets nothing", &HostFilePlan::zero_read_at, 1, false, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fresh_kernel();
        name_spill_files_in_dir();
        use_host_files(true);
        host_files().*c.field = c.at;
        int code = exit_code_of([&] {
            int a = bufopen(0);
            put_range(a, 1, 30000);
            if (c.two_buffers) {  // opens 3 and 4 for B; A's next spill reopens
                int b = bufopen(0);
                put_range(b, 1, 30000);
                put_range(a, 30001, 45000);
            }
            expect_gets(a, 1, 15000);
        });
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(kernel().errors.return_val, c.code);
        bufcloseall();
        EXPECT_TRUE(spill_files().empty());
        EXPECT_EQ(open_files_in_dir(), 0);
    }
}

TEST_F(TempBuffersTest, EveryBlockComesBackAfterCloseAll) {
    CountingAllocator::install();
    int a = bufopen(0), b = bufopen(0);
    bufopen(50000);
    put_range(a, 1, 45000);
    bufunget('!', b);
    EXPECT_GE(CountingAllocator::outstanding(), 4);  // four buffers at least
    bufcloseall();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    EXPECT_TRUE(spill_files().empty());
    CountingAllocator::uninstall();
}

// 30000 bytes fail once, then 29872 (one 128-byte step) are granted.
TEST_F(TempBuffersTest, OpenShrinksWhenMemoryIsShort) {
    CountingAllocator::install(1);
    int b = bufopen(0);
    ASSERT_EQ(b, 0);
    EXPECT_EQ(header(b).half, 14936);
    EXPECT_EQ(header(b).full, 29872);
    bufcloseall();
    CountingAllocator::install(1, true);
    EXPECT_EQ(bufopen(0), -1);
    EXPECT_EQ(kernel().buffers.totused, 0);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    CountingAllocator::uninstall();
}

}  // namespace
}  // namespace vox::test
