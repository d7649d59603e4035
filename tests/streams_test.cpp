// The source and target streams over real files, pipes and a host file back
// end that fails on demand.  Blocks are 4096 bytes under the cap most tests
// set, so a few kilobytes cross every block edge.
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "test_support.h"

namespace vox::test {
namespace {

// n bytes with a period of 251, which no block size divides: a block out of place shows.
std::string pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>((i * 131 + 7) % 251);
    return s;
}

// Up to n source bytes, fewer when the source ends first.
std::string read_all(std::size_t n = SIZE_MAX) {
    std::string got;
    for (int c; got.size() < n && (c = b_getc()) != -1;) got += static_cast<char>(c);
    return got;
}
void put_all(const std::string &bytes) { std::for_each(bytes.begin(), bytes.end(), b_putc); }

// Hooks that note each byte they see in `seen` or route it to `routed`, and a get function that
// hands out `feed`'s length in r's.
thread_local std::string seen, feed, routed;
int note_get(int c) { return seen += "g" + std::string(1, char(c)), 0; }
int note_unget(int c) { return seen += "u" + std::string(1, char(c)), 0; }
int feed_get() { return feed.empty() ? -1 : (feed.erase(0, 1), 'r'); }
int route_byte(int c) { return routed += char(c), 0; }
int route_block(const unsigned char *b, int n) { return routed += "[" + std::string(b, b + n) + "]", 0; }

class StreamsTest : public KernelTest {
  protected:
    void SetUp() override { KernelTest::SetUp(), SetMaxComBufferSize(4096), seen = routed = ""; }
    int open_source(const std::string &bytes) { return write_file(dir.file("src"), bytes), open_file("src", 1); }
    int open_target() { return open_file("out", 2); }
    int open_file(const std::string &name, int mode) { return VOXopen(dir.file(name).c_str(), mode, mode); }
    TempDir dir;
};

// Catches a block size that ignores the cap, the queue transport or the default, a push-back store
// larger than 1024 bytes or than the block, and an open that fails leaving blocks behind; read and
// write failures that are ignored or end with the wrong code: 2 reading (at open or later, which
// also cancels), 4 for a failed write, 10 for one that writes nothing.
TEST_F(StreamsTest, OpenSizesBlocksAndFailuresEndWithTheirCodes) {
    const struct { int cap, queue, request, block, unget; } cases[] = {{-1, -1, 2048, 50000, 1024},
        {4096, -1, 2048, 4096, 1024}, {-1, 12345, 100000, 4096, 1024}, {512, -1, 2048, 512, 512}};
    const StreamState &st = kernel().streams;
    for (const auto &c : cases) {
        SetMaxComBufferSize(c.cap), kernel().settings.IPCMsgQueueID = c.queue;
        ASSERT_EQ(b_open(-1, open_target(), c.request), 0);
        EXPECT_EQ(std::make_pair(st.ot_bsize, st.ungetsiz), std::make_pair(c.block, c.unget)) << c.cap << c.queue;
    }
    use_host_files(true), host_files().fail_read_at = 1;
    const int in = open_source(pattern(10000));
    EXPECT_EQ(b_open(in, -1, 2048), 2);
    host_files().fail_read_at = 3;  // read 2 opens again, read 3 is the next block
    ASSERT_EQ(b_open(in, -1, 2048), 0);
    EXPECT_EQ(exit_code_of([] { read_all(); }), 2);
    EXPECT_EQ(kernel().errors.VOXCancel, 1);
    for (auto [field, code] : {std::pair{&HostFilePlan::fail_write_at, 4}, {&HostFilePlan::zero_write_at, 10}}) {
        (host_files() = HostFilePlan()).*field = 1;
        ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
        EXPECT_EQ(exit_code_of([] { put_all(pattern(3 * 4096)); }), code);
    }
    b_close();
    for (long k = 1; k <= 3; ++k) {  // two target blocks, then the push-back store
        CountingAllocator::install(k, true);
        EXPECT_EQ(b_open(-1, open_target(), 2048), 8) << "failing from allocation " << k;
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << k;
    }
}

// Catches a byte lost or repeated at a block edge either way (the source copied to the target):
// close dropping the pending block or the partial one, or writing them out of order; calls not
// counted (the -1 ones too), in_pos not counting whole blocks requested (one at open, one more
// each time a block is used up), and error 5 (non-fatal) raised on any but the 25th call past the
// end.  Then fast-path reads that escape the progress count or BytesRead, pushed-back bytes
// counted as source bytes, and steps from elsewhere (dspcheck) lost between reads.
TEST_F(StreamsTest, EveryByteCrossesTheBlockEdgesOnceEachWayAndIsCounted) {
    for (std::size_t size : {0, 1, 4095, 4096, 4097, 2 * 4096, 5 * 4096 + 17}) {
        SCOPED_TRACE(size);
        const std::string bytes = pattern(size);
        kernel().errors = ErrorState();
        const int out = open_target();
        ASSERT_EQ(b_open(open_source(bytes), out, 2048), 0);
        put_all(read_all());  // with the first call past the end
        std::string errors;   // w_err after each further call past the end, then last_err
        for (int call = 2; call <= 25; ++call) errors += b_getc() == -1 ? char('0' + kernel().errors.w_err) : '?';
        EXPECT_EQ(errors + std::to_string(kernel().errors.last_err), std::string(23, '0') + "15");
        EXPECT_EQ(std::make_tuple(BytesRead(), b_pos(), BytesWritten()),
                  std::make_tuple(size + 25, (1 + (size + 4095) / 4096) * 4096, size));
        b_close(), VOXclose(out);
        EXPECT_EQ(read_file(dir.file("out")), bytes);
    }
    std::signal(SIGUSR1, SIG_IGN), kernel().settings.display_pid = getpid();  // progress goes to a display process: us
    ASSERT_EQ(b_open(open_source(pattern(3000)), -1, 2048), 0);
    dspinit(1000, 1, 1);  // a step every 10 source bytes
    read_all(55);
    dspcheck(5);  // 5 bytes left over plus 5 from elsewhere: one more step
    EXPECT_EQ(GetCurrentPercentComplete(), 6);
    read_all(9);
    b_unget('p');
    EXPECT_EQ(b_getc(), 'p');  // from the push-back store: not a source byte
    EXPECT_EQ(std::make_pair(GetCurrentPercentComplete(), BytesRead()), std::make_pair(6, 65u));
    EXPECT_EQ(b_getc() >= 0 ? GetCurrentPercentComplete() : -1, 7);
    std::signal(SIGUSR1, SIG_DFL);
}

// Catches input redirected by flag 1 that does not survive b_open; pushed-back bytes lost or
// reordered beyond the 1024-byte store and an overflow buffer left open once read; a copy hook that
// misses delivered or pushed-back bytes or copies the end; and input redirected by flag 2 that does
// not take push-back or does not leave earlier push-back waiting.  Then take-back from a fresh
// target, take-back that touches the file for the pending block, and take-back that cannot re-read
// written blocks beyond it; and take-back into a written block of a pipe that does not fail, or
// that leaves the target anywhere but at the start of buffer 1 with nothing pending.
TEST_F(StreamsTest, PushBackTakeBackRedirectionAndCopyHook) {
    feed = "rr";
    use_host_files(true), RedirectInput(feed_get);
    ASSERT_EQ(b_open(open_source("abc"), open_target(), 2048), 0);
    std::string got = read_all();  // from the redirection
    RedirectInputClose();
    const std::string pushed = pattern(1030);
    std::for_each(pushed.rbegin(), pushed.rend(), b_unget);
    EXPECT_EQ(BufNumStored(kernel().streams.ungettemp), 6);
    got += read_all(pushed.size());
    EXPECT_EQ(kernel().streams.ungettemp, -1);
    CopyGetUnget(note_get, note_unget);
    got += read_all(1);
    b_unget('Q');
    got += read_all();
    CopyGetUngetClose(), b_unget('P'), feed = "rr";
    RedirectGetUnget(feed_get, note_unget);
    got += read_all(1);  // the redirection, though 'P' waits
    b_unget('U');
    got += read_all();
    RedirectInputClose();
    EXPECT_EQ(got + read_all(), "rr" + pushed + "aQbc" + "rr" + "P");
    EXPECT_EQ(seen, "gauQgQgbgcuU");
    EXPECT_EQ(b_unput(), -1);  // nothing written yet
    const std::string bytes = pattern(4 * 4096 + 10);
    put_all(bytes.substr(0, 4097));  // one block pending, one byte in the next
    const long calls = host_files().calls;
    EXPECT_EQ((std::string{char(b_unput()), char(b_unput())}), (std::string{bytes[4096], bytes[4095]}));
    EXPECT_EQ(host_files().calls, calls);  // the pending block is still in memory
    put_all(bytes.substr(4095));           // three blocks written, one pending, 10 bytes in the next
    const std::size_t keep = 4096 - 100;
    for (std::size_t i = bytes.size(); i > keep; --i) ASSERT_EQ(b_unput(), static_cast<uint8_t>(bytes[i - 1])) << i;
    EXPECT_EQ(BytesWritten(), keep);
    put_all("tail"), b_close();
    // The file keeps the longer old content past the part written again.
    EXPECT_EQ(read_file(dir.file("out")).substr(0, keep + 4), bytes.substr(0, keep) + "tail");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(b_open(-1, fds[1], 2048), 0);
    put_all(bytes.substr(0, 3 * 4096 + 1));  // two blocks in the pipe, one pending
    for (int i = 0; i < 4097; ++i) ASSERT_GE(b_unput(), 0);
    EXPECT_EQ(b_unput(), -1);
    put_all("new"), b_close(), close(fds[1]);
    EXPECT_EQ(read_file("/proc/self/fd/" + std::to_string(fds[0])), bytes.substr(0, 2 * 4096) + "new");
    close(fds[0]);
}

// Catches records that bypass an output redirection, a block function that outlives the
// redirection it was given for (RedirectOutput and RedirectOutputClose must forget it), and blocks
// that reach the target other than byte for byte when nothing is redirected.
TEST_F(StreamsTest, OutputRedirectionTakesParametersAsBlocks) {
    ASSERT_EQ(b_open(-1, open_target(), 2048), 0);
    RedirectOutput(route_byte, nullptr);
    dec_out(1440);  // no block function: byte by byte
    redirect_output_blocks(route_block);
    beg_icf(icf_code("SPF")), HexOut16(0x1A2B), long_out(4294967295u), end_icf();  // one record
    RedirectOutput(route_byte, nullptr);
    HexOut8(0x0F);
    redirect_output_blocks(route_block);
    RedirectOutputClose();
    dec_out(7);
    b_close();
    EXPECT_EQ(routed, "1440\x1f[\x1b\x1dSPF][1A2B\x1f][4294967295\x1f]\x1e" "0F\x1f");
    EXPECT_EQ(read_file(dir.file("out")), "7\x1f");
}

}  // namespace
}  // namespace vox::test
