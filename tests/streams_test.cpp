// The source and target streams over real files, pipes and a host file back
// end that fails on demand.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

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
    TempDir dir;

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
    void put_all(const std::string &bytes) {
        for (unsigned char c : bytes) b_putc(c);
    }
};

TEST_F(StreamsTest, BlockSizeFollowsCapAndTransport) {
    ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
    EXPECT_EQ(kernel().streams.ot_bsize, 50000);
    EXPECT_EQ(kernel().streams.ungetsiz, 1024);
    b_close();

    SetMaxComBufferSize(4096);
    ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
    EXPECT_EQ(kernel().streams.ot_bsize, 4096);
    b_close();

    SetMaxComBufferSize(-1);
    kernel().settings.IPCMsgQueueID = 12345;
    ASSERT_EQ(b_open(-1, open_target(), 100000), 0);
    EXPECT_EQ(kernel().streams.ot_bsize, 4096);
    kernel().settings.IPCMsgQueueID = -1;
    b_close();

    SetMaxComBufferSize(512);  // a small cap also caps the push-back store
    ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
    EXPECT_EQ(kernel().streams.ungetsiz, 512);
    b_close();
}

TEST_F(StreamsTest, ReadsEveryByteAcrossBlocksOnce) {
    SetMaxComBufferSize(4096);
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(4095), std::size_t(4096),
                             std::size_t(4097), std::size_t(3 * 4096)}) {
        std::string bytes = pattern(size);
        ASSERT_EQ(b_open(open_source(bytes), -1, 2048), 0);
        EXPECT_EQ(read_all(), bytes) << "size " << size;
        EXPECT_EQ(b_getc(), -1);
        EXPECT_EQ(BytesRead(), size + 2);  // every call counts, the -1 ones too
        // in_pos counts whole blocks requested, whatever they returned: the
        // first at open, then one more each time a block is used up.
        EXPECT_EQ(b_pos(), (1 + (size + 4095) / 4096) * 4096) << "size " << size;
        b_close();
    }
}

// Source bytes count toward progress one by one, pushed-back bytes only
// toward BytesRead, whatever mix of reads, push-back and progress steps
// from elsewhere comes in between.
TEST_F(StreamsTest, ReadsCountTowardProgressAndCallCount) {
    std::signal(SIGUSR1, SIG_IGN);
    kernel().settings.display_pid = getpid();  // progress goes to a display process: us
    ASSERT_EQ(b_open(open_source(pattern(3000)), -1, 2048), 0);
    dspinit(1000, 1, 1);  // a step every 10 source bytes
    for (int i = 0; i < 55; ++i) b_getc();
    EXPECT_EQ(GetCurrentPercentComplete(), 5);
    dspcheck(5);  // 5 bytes left over plus 5 from elsewhere: one more step
    EXPECT_EQ(GetCurrentPercentComplete(), 6);
    for (int i = 0; i < 4; ++i) b_getc();
    int last = b_getc();
    b_unget(last);
    EXPECT_EQ(b_getc(), last);  // from the push-back store: not a source byte
    EXPECT_EQ(BytesRead(), 61u);
    EXPECT_EQ(GetCurrentPercentComplete(), 6);
    for (int i = 0; i < 4; ++i) b_getc();  // the 10th source byte since the step
    EXPECT_EQ(GetCurrentPercentComplete(), 6);
    b_getc();
    EXPECT_EQ(GetCurrentPercentComplete(), 7);
    EXPECT_EQ(BytesRead(), 66u);
    b_close();
    std::signal(SIGUSR1, SIG_DFL);
}

TEST_F(StreamsTest, ReadingFarPastTheEndRecordsNonFatalError) {
    ASSERT_EQ(b_open(open_source("ab"), -1, 2048), 0);
    EXPECT_EQ(read_all(), "ab");  // one call past the end already
    for (int i = 2; i < 25; ++i) EXPECT_EQ(b_getc(), -1);
    EXPECT_EQ(kernel().errors.w_err, 0);
    EXPECT_EQ(b_getc(), -1);  // the 25th call past the end
    EXPECT_EQ(kernel().errors.w_err, 1);
    EXPECT_EQ(kernel().errors.last_err, 5);
    b_close();
}

TEST_F(StreamsTest, PushBackOverflowsIntoTemporaryBufferAndComesBackLastInFirstOut) {
    kernel().settings.icfname[0] = '\0';
    std::snprintf(kernel().settings.icfname, 256, "%s", dir.file("out").c_str());
    ASSERT_EQ(b_open(open_source("xyz"), open_target(), 2048), 0);
    std::string pushed = pattern(1030, 3);
    for (unsigned char c : pushed) b_unget(c);
    EXPECT_EQ(kernel().streams.ungetcnt, 1025);  // store full, overflow marked
    ASSERT_GE(kernel().streams.ungettemp, 0);
    EXPECT_EQ(BufNumStored(kernel().streams.ungettemp), 6);

    std::string got;
    for (int i = 0; i < 1030; ++i) got.push_back(static_cast<char>(b_getc()));
    EXPECT_EQ(got, std::string(pushed.rbegin(), pushed.rend()));
    EXPECT_EQ(kernel().streams.ungettemp, -1);  // closed after its last byte
    EXPECT_EQ(read_all(), "xyz");
    b_close();
}

TEST_F(StreamsTest, CopyHookSeesDeliveredAndPushedBackBytes) {
    static std::string seen;
    seen.clear();
    ASSERT_EQ(b_open(open_source("abc"), -1, 2048), 0);
    CopyGetUnget([](int c) { seen += "g" + std::string(1, char(c)); return 0; },
                 [](int c) { seen += "u" + std::string(1, char(c)); return 0; });
    b_getc();
    b_unget('Q');
    b_getc();
    b_getc();
    b_getc();
    b_getc();  // end of input: not copied
    CopyGetUngetClose();
    EXPECT_EQ(seen, "gauQgQgbgc");
    b_close();
}

TEST_F(StreamsTest, RedirectedGetAndUngetLeaveEarlierPushBackWaiting) {
    static std::string feed;
    static std::string ungot;
    feed = "12";
    ungot.clear();
    ASSERT_EQ(b_open(open_source("src"), -1, 2048), 0);
    b_unget('P');
    RedirectGetUnget(
        [] {
            if (feed.empty()) return -1;
            int c = feed[0];
            feed.erase(0, 1);
            return c;
        },
        [](int c) { ungot.push_back(char(c)); return 0; });
    EXPECT_EQ(b_getc(), '1');
    b_unget('U');
    EXPECT_EQ(ungot, "U");
    EXPECT_EQ(b_getc(), '2');
    EXPECT_EQ(b_getc(), -1);
    RedirectInputClose();
    EXPECT_EQ(read_all(), "Psrc");
    b_close();
}

TEST_F(StreamsTest, PlainRedirectedGetSurvivesOpen) {
    static int calls;
    calls = 0;
    RedirectInput([] { return ++calls <= 2 ? 'r' : -1; });
    ASSERT_EQ(b_open(open_source("file"), -1, 2048), 0);
    EXPECT_EQ(read_all(), "rr");
    RedirectInputClose();
    EXPECT_EQ(read_all(), "file");
    b_close();
}

TEST_F(StreamsTest, CloseWritesPendingAndPartialBuffersInOrder) {
    SetMaxComBufferSize(4096);
    for (std::size_t size : {std::size_t(0), std::size_t(4095), std::size_t(4096), std::size_t(4097),
                             std::size_t(2 * 4096), std::size_t(5 * 4096 + 17)}) {
        int out = open_target();
        ASSERT_EQ(b_open(-1, out, 2048), 0);
        std::string bytes = pattern(size, 11);
        put_all(bytes);
        EXPECT_EQ(BytesWritten(), size);
        b_close();
        VOXclose(out);
        EXPECT_EQ(read_file(dir.file("out")), bytes) << "size " << size;
    }
}

TEST_F(StreamsTest, TakeBackIntoPendingBufferNeedsNoFileAccess) {
    use_host_files(true);
    SetMaxComBufferSize(4096);
    int out = open_target();
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    std::string bytes = pattern(4097);
    put_all(bytes);
    long calls = host_files().calls;
    EXPECT_EQ(b_unput(), static_cast<unsigned char>(bytes[4096]));
    EXPECT_EQ(b_unput(), static_cast<unsigned char>(bytes[4095]));
    EXPECT_EQ(host_files().calls, calls);
    EXPECT_EQ(BytesWritten(), 4095u);
    b_putc('Z');
    b_close();
    VOXclose(out);
    EXPECT_EQ(read_file(dir.file("out")), bytes.substr(0, 4095) + "Z");
}

TEST_F(StreamsTest, TakeBackBeyondTwoBlocksRereadsTheTargetFile) {
    SetMaxComBufferSize(4096);
    int out = open_target();
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    std::string bytes = pattern(4 * 4096 + 10);
    put_all(bytes);
    // Back through the partial block, the pending block and two written ones.
    std::size_t keep = 4096 - 100;
    for (std::size_t i = bytes.size(); i > keep; --i)
        ASSERT_EQ(b_unput(), static_cast<unsigned char>(bytes[i - 1])) << "at " << i;
    EXPECT_EQ(BytesWritten(), keep);
    put_all("tail");
    b_close();
    VOXclose(out);
    // The file still holds the longer old content past the rewritten part;
    // what was written again is in place.
    std::string file = read_file(dir.file("out"));
    EXPECT_EQ(file.substr(0, keep + 4), bytes.substr(0, keep) + "tail");
}

TEST_F(StreamsTest, TakeBackOnFreshTargetFails) {
    ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
    EXPECT_EQ(b_unput(), -1);
    b_putc('a');
    EXPECT_EQ(b_unput(), 'a');
    EXPECT_EQ(b_unput(), -1);
    b_close();
}

TEST_F(StreamsTest, TakeBackIntoWrittenBlockOfAPipeFailsAndRestartsAtBufferOne) {
    SetMaxComBufferSize(4096);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(b_open(-1, fds[1], 2048), 0);
    std::string bytes = pattern(3 * 4096 + 1);
    put_all(bytes);  // two blocks sit in the pipe, one is pending
    for (int i = 0; i < 4097; ++i) ASSERT_GE(b_unput(), 0);
    EXPECT_EQ(b_unput(), -1);  // a pipe cannot be read back
    StreamState &s = kernel().streams;
    EXPECT_EQ(s.ot_side, 0);
    EXPECT_EQ(s.ot_ptr, s.ot_bufr1);
    EXPECT_EQ(s.ot_stat1 + s.ot_stat2, 0);
    put_all("new");
    b_close();
    close(fds[1]);
    std::string got;
    char chunk[4096];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) got.append(chunk, static_cast<std::size_t>(n));
    close(fds[0]);
    ASSERT_EQ(got.size(), 2u * 4096 + 3);
    EXPECT_EQ(got.substr(0, 2 * 4096), bytes.substr(0, 2 * 4096));
    EXPECT_EQ(got.substr(2 * 4096, 3), "new");
}

TEST_F(StreamsTest, RedirectedOutputBypassesTheTarget) {
    int out = open_target();
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    {
        OutputCapture capture;
        b_putc('a');
        b_putc('b');
        EXPECT_EQ(b_unput(), 'b');
        EXPECT_EQ(capture.bytes(), "a");
    }
    EXPECT_EQ(BytesWritten(), 0u);
    b_putc('c');
    b_close();
    VOXclose(out);
    EXPECT_EQ(read_file(dir.file("out")), "c");
}

TEST_F(StreamsTest, RewindAndRepositionRestartTheSource) {
    SetMaxComBufferSize(4096);
    std::string bytes = pattern(10000);
    ASSERT_EQ(b_open(open_source(bytes), -1, 2048), 0);
    for (int i = 0; i < 5000; ++i) b_getc();
    b_unget('x');
    b_unget('y');
    ASSERT_EQ(RewindSourceFile(), 0);
    EXPECT_EQ(b_pos(), 4096u);
    EXPECT_EQ(read_all(), bytes);

    b_unget('k');
    SetBGetPosition(9000, 1);  // push-back discarded
    EXPECT_EQ(read_all(), bytes.substr(9000));
    b_close();
}

TEST_F(StreamsTest, ReadAndWriteFailuresEndWithTheirCodes) {
    use_host_files(true);
    SetMaxComBufferSize(4096);
    write_file(dir.file("src"), pattern(10000));

    host_files() = HostFilePlan();
    host_files().fail_read_at = 1;
    int in = VOXopen(dir.file("src").c_str(), 1, 1);
    EXPECT_EQ(b_open(in, -1, 2048), 2);
    VOXclose(in);

    host_files() = HostFilePlan();
    host_files().fail_read_at = 2;
    in = VOXopen(dir.file("src").c_str(), 1, 1);
    ASSERT_EQ(b_open(in, -1, 2048), 0);
    EXPECT_EQ(exit_code_of([] {
                  while (b_getc() != -1) {
                  }
              }),
              2);
    EXPECT_EQ(kernel().errors.VOXCancel, 1);
    b_close();
    VOXclose(in);

    for (auto [plan_write, code] : {std::pair{1, 4}, std::pair{2, 10}}) {
        kernel().errors = ErrorState();
        host_files() = HostFilePlan();
        (plan_write == 1 ? host_files().fail_write_at : host_files().zero_write_at) = 1;
        int out = open_target();
        ASSERT_EQ(b_open(-1, out, 2048), 0);
        EXPECT_EQ(exit_code_of([this] { put_all(pattern(3 * 4096)); }), code);
        b_close();  // the failing block is still pending; closing tries it again
        VOXclose(out);
    }
}

TEST_F(StreamsTest, OpenFailsCleanlyWhenMemoryRunsOut) {
    int out = open_target();
    for (long k = 1; k <= 3; ++k) {  // two target blocks, then the push-back store
        CountingAllocator::install(k, true);
        EXPECT_EQ(b_open(-1, out, 2048), 8) << "failing from allocation " << k;
        EXPECT_EQ(CountingAllocator::outstanding(), 0);
        CountingAllocator::uninstall();
    }
    // Memory that runs out only for large blocks: the size shrinks by quarters.
    CountingAllocator::install(2, false);
    ASSERT_EQ(b_open(-1, out, 2048), 0);
    EXPECT_EQ(kernel().streams.ot_bsize, 37500);
    b_close();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    CountingAllocator::uninstall();
    VOXclose(out);
}

}  // namespace
}  // namespace vox::test
