// The source and target streams over real files, pipes and a host file back
// end that fails on demand.  Blocks are 4096 bytes under the cap most tests
// set, so a few kilobytes cross every block edge.
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "test_support.h"

namespace vox::test {
namespace {

std::string pattern(std::size_t n, unsigned seed = 7) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed) % 251);
    return s;
}

class StreamsTest : public KernelTest {
  protected:
    void SetUp() override { KernelTest::SetUp(); SetMaxComBufferSize(4096); }
    int open_source(const std::string &bytes) {
        write_file(dir.file("src"), bytes);
        return VOXopen(dir.file("src").c_str(), 1, 1);
    }
    int open_target() { return VOXopen(dir.file("out").c_str(), 2, 2); }
    std::string read_all() {
        std::string got;
        for (int c; (c = b_getc()) != -1;) got.push_back(static_cast<char>(c));
        return got;
    }
    void put_all(const std::string &bytes) { std::for_each(bytes.begin(), bytes.end(), b_putc); }
    TempDir dir;
};

// Catches a block size that ignores the cap, the queue transport or the default, a push-back store
// larger than 1024 bytes or than the block, and an open that fails leaving blocks behind.
TEST_F(StreamsTest, OpenSizesBlocksAndFailsCleanlyWhenMemoryRunsOut) {
    struct Case { int cap, queue, request, block, unget; };
    const Case cases[] = {{-1, -1, 2048, 50000, 1024}, {4096, -1, 2048, 4096, 1024},
                          {-1, 12345, 100000, 4096, 1024}, {512, -1, 2048, 512, 512}};
    for (const Case &c : cases) {
        SetMaxComBufferSize(c.cap);
        kernel().settings.IPCMsgQueueID = c.queue;
        ASSERT_EQ(b_open(-1, open_target(), c.request), 0);
        EXPECT_EQ(kernel().streams.ot_bsize, c.block) << c.cap << " " << c.queue;
        EXPECT_EQ(kernel().streams.ungetsiz, c.unget) << c.cap << " " << c.queue;
    }
    b_close();
    SetMaxComBufferSize(-1);
    for (long k = 1; k <= 3; ++k) {  // two target blocks, then the push-back store
        CountingAllocator::install(k, true);
        EXPECT_EQ(b_open(-1, open_target(), 2048), 8) << "failing from allocation " << k;
        EXPECT_EQ(CountingAllocator::outstanding(), 0);
    }
    CountingAllocator::uninstall();
}

// Catches a byte lost or repeated at a block edge, calls not counted (the -1 ones too), in_pos not
// counting whole blocks requested (one at open, one more each time a block is used up), and the
// non-fatal error 5 raised on any but the 25th call past the end.
TEST_F(StreamsTest, ReadsEveryByteAcrossBlocksOnce) {
    for (std::size_t size : {0, 1, 4095, 4096, 4097, 3 * 4096}) {
        kernel().errors = ErrorState();
        std::string bytes = pattern(size);
        ASSERT_EQ(b_open(open_source(bytes), -1, 2048), 0);
        EXPECT_EQ(read_all(), bytes) << size;  // with the first call past the end
        for (int i = 2; i <= 24; ++i) EXPECT_EQ(b_getc(), -1);
        EXPECT_EQ(kernel().errors.w_err, 0) << size;
        EXPECT_EQ(b_getc(), -1);
        EXPECT_EQ(kernel().errors.w_err, 1) << size;
        EXPECT_EQ(kernel().errors.last_err, 5) << size;
        EXPECT_EQ(BytesRead(), size + 25) << size;
        EXPECT_EQ(b_pos(), (1 + (size + 4095) / 4096) * 4096) << size;
        b_close();
    }
}

// Catches fast-path reads that escape the progress count or BytesRead, pushed-back bytes counted as
// source bytes, and steps from elsewhere (dspcheck) lost between reads.
TEST_F(StreamsTest, ReadsCountTowardProgressAndCallCount) {
    std::signal(SIGUSR1, SIG_IGN);
    kernel().settings.display_pid = getpid();  // progress goes to a display process: us
    ASSERT_EQ(b_open(open_source(pattern(3000)), -1, 2048), 0);
    dspinit(1000, 1, 1);  // a step every 10 source bytes
    for (int i = 0; i < 55; ++i) b_getc();
    dspcheck(5);  // 5 bytes left over plus 5 from elsewhere: one more step
    EXPECT_EQ(GetCurrentPercentComplete(), 6);
    for (int i = 0; i < 9; ++i) b_getc();
    b_unget('p');
    EXPECT_EQ(b_getc(), 'p');  // from the push-back store: not a source byte
    EXPECT_EQ(GetCurrentPercentComplete(), 6);
    EXPECT_EQ(BytesRead(), 65u);
    b_getc();
    EXPECT_EQ(GetCurrentPercentComplete(), 7);
    b_close();
    std::signal(SIGUSR1, SIG_DFL);
}

// Hooks that note each byte they see in `seen`, and a get function that hands out `feed`'s length in r's.
thread_local std::string seen, feed;
int note_get(int c) { return seen += "g" + std::string(1, char(c)), 0; }
int note_unget(int c) { return seen += "u" + std::string(1, char(c)), 0; }
int feed_get() { return feed.empty() ? -1 : (feed.erase(0, 1), 'r'); }

// Catches input redirected by flag 1 that does not survive b_open; pushed-back bytes lost or
// reordered beyond the 1024-byte store and an overflow buffer left open once read; a copy hook that
// misses delivered or pushed-back bytes or copies the end; and input redirected by flag 2 that does
// not take push-back or does not leave earlier push-back waiting.
TEST_F(StreamsTest, RedirectionPushBackOverflowAndCopyHook) {
    seen = "";
    feed = "rr";
    RedirectInput(feed_get);
    ASSERT_EQ(b_open(open_source("abc"), -1, 2048), 0);
    EXPECT_EQ(read_all(), "rr");
    RedirectInputClose();
    std::string pushed = pattern(1030, 3), got;
    for (unsigned char c : pushed) b_unget(c);
    EXPECT_EQ(BufNumStored(kernel().streams.ungettemp), 6);
    for (int i = 0; i < 1030; ++i) got.push_back(static_cast<char>(b_getc()));
    EXPECT_EQ(got, std::string(pushed.rbegin(), pushed.rend()));
    EXPECT_EQ(kernel().streams.ungettemp, -1);
    CopyGetUnget(note_get, note_unget);
    EXPECT_EQ(b_getc(), 'a');
    b_unget('Q');
    EXPECT_EQ(read_all(), "Qbc");
    CopyGetUngetClose();
    b_unget('P');
    feed = "rr";
    RedirectGetUnget(feed_get, note_unget);
    EXPECT_EQ(b_getc(), 'r');  // the redirection, though 'P' waits
    b_unget('U');
    EXPECT_EQ(seen, "gauQgQgbgcuU");
    EXPECT_EQ(read_all(), "r");
    RedirectInputClose();
    EXPECT_EQ(read_all(), "P");
    b_close();
}

// Catches close dropping the pending block or the partial one, or writing them out of order.
TEST_F(StreamsTest, CloseWritesPendingAndPartialBuffersInOrder) {
    for (std::size_t size : {0, 4095, 4096, 4097, 2 * 4096, 5 * 4096 + 17}) {
        int out = open_target();
        ASSERT_EQ(b_open(-1, out, 2048), 0);
        std::string bytes = pattern(size, 11);
        put_all(bytes);
        EXPECT_EQ(BytesWritten(), size);
        b_close();
        VOXclose(out);
        EXPECT_EQ(read_file(dir.file("out")), bytes) << size;
    }
}

// Catches take-back from a fresh target, take-back that touches the file for the pending block,
// and take-back that cannot re-read written blocks beyond it.
TEST_F(StreamsTest, TakeBackThroughPendingAndWrittenBlocks) {
    use_host_files(true);
    int out = open_target();
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    EXPECT_EQ(b_unput(), -1);
    std::string bytes = pattern(4 * 4096 + 10);
    put_all(bytes.substr(0, 4097));  // one block pending, one byte in the next
    const long calls = host_files().calls;
    EXPECT_EQ(b_unput(), static_cast<unsigned char>(bytes[4096]));
    EXPECT_EQ(b_unput(), static_cast<unsigned char>(bytes[4095]));  // from the pending block
    EXPECT_EQ(host_files().calls, calls);
    put_all(bytes.substr(4095));  // three blocks written, one pending, 10 bytes in the next
    const std::size_t keep = 4096 - 100;
    for (std::size_t i = bytes.size(); i > keep; --i)
        ASSERT_EQ(b_unput(), static_cast<unsigned char>(bytes[i - 1])) << "at " << i;
    EXPECT_EQ(BytesWritten(), keep);
    put_all("tail");
    b_close();
    VOXclose(out);
    // The file keeps the longer old content past the part written again.
    EXPECT_EQ(read_file(dir.file("out")).substr(0, keep + 4), bytes.substr(0, keep) + "tail");
}

// Catches take-back into a written block of a pipe that does not fail, or that leaves the target
// anywhere but at the start of buffer 1 with nothing pending.
TEST_F(StreamsTest, TakeBackIntoWrittenBlockOfAPipeFailsAndRestartsAtBufferOne) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(b_open(-1, fds[1], 2048), 0);
    std::string bytes = pattern(3 * 4096 + 1);
    put_all(bytes);  // two blocks in the pipe, one pending
    for (int i = 0; i < 4097; ++i) ASSERT_GE(b_unput(), 0);
    EXPECT_EQ(b_unput(), -1);
    put_all("new");
    b_close();
    close(fds[1]);
    std::string got(3 * 4096, '\0');
    got.resize(static_cast<std::size_t>(read(fds[0], &got[0], got.size())));  // the pipe holds it all
    close(fds[0]);
    EXPECT_EQ(got, bytes.substr(0, 2 * 4096) + "new");
}

// Catches read and write failures that are ignored or end with the wrong code: 2 reading (at open
// or later, which also cancels), 4 for a failed write, 10 for one that writes nothing.
TEST_F(StreamsTest, ReadAndWriteFailuresEndWithTheirCodes) {
    use_host_files(true);
    host_files().fail_read_at = 1;
    int in = open_source(pattern(10000));
    EXPECT_EQ(b_open(in, -1, 2048), 2);
    host_files().fail_read_at = 3;  // read 2 opens again, read 3 is the next block
    ASSERT_EQ(b_open(in, -1, 2048), 0);
    EXPECT_EQ(exit_code_of([this] { read_all(); }), 2);
    EXPECT_EQ(kernel().errors.VOXCancel, 1);
    for (auto [field, code] : {std::pair{&HostFilePlan::fail_write_at, 4}, {&HostFilePlan::zero_write_at, 10}}) {
        host_files() = HostFilePlan();
        host_files().*field = 1;
        ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
        EXPECT_EQ(exit_code_of([this] { put_all(pattern(3 * 4096)); }), code);
    }
}

}  // namespace
}  // namespace vox::test
