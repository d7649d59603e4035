// Progress display: percent steps, the console bar and percentage, the
// message queue and the display process signal.
#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace vox::test {
namespace {

// Everything the code under test prints on standard output.
class StdoutCapture {
  public:
    explicit StdoutCapture(const std::string &path) : path_(path) {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
    std::string finish() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
        return read_file(path_);
    }
    ~StdoutCapture() {
        if (saved_ >= 0) finish();
    }

  private:
    std::string path_;
    int saved_ = -1;
};

const std::string kScale = "0%        25%           50%         75%         100%";

std::string bar(int dots) {
    return ">" + std::string(dots, '.') + std::string(50 - dots, ' ') + "<\r";
}

class ProgressTest : public KernelTest {
  protected:
    TempDir dir;
};

TEST_F(ProgressTest, ConsoleBarMovesEveryTwoPercentAndCloses) {
    StdoutCapture out(dir.file("stdout"));
    dspinit(2000, 1, 1);  // a 1000-byte source read twice
    EXPECT_EQ(kernel().progress.DispDotSize, 20u);
    dspcheck(39);  // one step: 1 percent, odd, nothing shown yet
    EXPECT_EQ(GetCurrentPercentComplete(), 1);
    dspcheck(1);   // 40 bytes in all: 2 percent, the first dot
    dspcheck(2000 - 40);
    EXPECT_EQ(GetCurrentPercentComplete(), 100);
    dsppad();
    std::string expected = "\n" + kScale + "\n" + bar(0);
    for (int d = 1; d <= 50; ++d) expected += bar(d);
    expected += "\n";
    EXPECT_EQ(out.finish(), expected);
    EXPECT_EQ(kernel().progress.numdots, 50);
}

TEST_F(ProgressTest, PercentageStyleAndSmallSources) {
    kernel().settings.optflags = 64;
    StdoutCapture out(dir.file("stdout"));
    dspinit(49, 0, 1);
    EXPECT_EQ(kernel().progress.DispDotSize, 1u);
    dsppad();
    std::string text = out.finish();
    EXPECT_EQ(text.substr(0, 5), "\n000\r");
    EXPECT_EQ(text.substr(text.size() - 6), "100%\r\n");
}

TEST_F(ProgressTest, QuietShowsNothingAndKeepsZero) {
    kernel().settings.optflags = kOptQuiet;
    StdoutCapture out(dir.file("stdout"));
    dspinit(1000, 0, 1);
    dspcheck(1000);
    dsppad();
    EXPECT_EQ(out.finish(), "");
    EXPECT_EQ(GetCurrentPercentComplete(), 0);
}

TEST_F(ProgressTest, StreamStepsOncePerDotSizeOfSourceBytes) {
    kernel().settings.optflags = 0;
    write_file(dir.file("src"), std::string(1000, 'x'));
    int in = VOXopen(dir.file("src").c_str(), 1, 1);
    ASSERT_EQ(b_open(in, -1, 2048), 0);
    StdoutCapture out(dir.file("stdout"));
    dspinit(2000, 1, 1);
    while (b_getc() != -1) {
    }
    EXPECT_EQ(GetCurrentPercentComplete(), 50);
    out.finish();
    b_close();
    VOXclose(in);
}

TEST_F(ProgressTest, QueueCarriesPercentagesAndEnd) {
    int queue = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    ASSERT_GE(queue, 0);
    kernel().settings.IPCMsgQueueID = queue;
    StdoutCapture out(dir.file("stdout"));
    dspinit(100, 1, 1);
    dsppad();
    EXPECT_EQ(out.finish(), "");  // nothing on the console
    struct {
        long mtype;
        char mtext[64];
    } m;
    std::vector<std::string> texts;
    for (ssize_t n; (n = msgrcv(queue, &m, sizeof m.mtext, 0, IPC_NOWAIT)) >= 0;) {
        EXPECT_EQ(m.mtype, 1);
        texts.emplace_back(m.mtext, static_cast<std::size_t>(n));
    }
    msgctl(queue, IPC_RMID, nullptr);
    ASSERT_EQ(texts.size(), 51u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(texts[i], std::to_string(2 * (i + 1)));
    EXPECT_EQ(texts[50], "END");
}

TEST_F(ProgressTest, DisplayProcessReceivesUserSignalPerStep) {
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGTERM);
    sigset_t old;
    sigprocmask(SIG_BLOCK, &set, &old);  // the child inherits the mask
    pid_t child = fork();
    if (child == 0) {
        // The display process: acknowledges each SIGUSR1, ends on SIGTERM.
        close(acks[0]);
        for (int sig; sigwait(&set, &sig) == 0 && sig == SIGUSR1;)
            if (write(acks[1], "a", 1) != 1) _exit(1);
        _exit(0);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    close(acks[1]);
    kernel().settings.display_pid = child;
    StdoutCapture out(dir.file("stdout"));
    dspinit(100, 1, 1);
    for (int i = 0; i < 10; ++i) {
        dspcheck(2);  // one dot, one signal
        char a;
        ASSERT_EQ(read(acks[0], &a, 1), 1) << "dot " << i;
    }
    EXPECT_EQ(out.finish(), "");
    kill(child, SIGTERM);
    char extra;
    EXPECT_EQ(read(acks[0], &extra, 1), 0);  // no signal beyond one per dot
    waitpid(child, nullptr, 0);
    close(acks[0]);
}

}  // namespace
}  // namespace vox::test
