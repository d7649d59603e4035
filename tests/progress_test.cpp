// Progress display: the console bar and percentage, quiet mode, the message
// queue and the display process signal.
#include <sys/msg.h>
#include <unistd.h>

#include <csignal>

#include "test_support.h"

namespace vox::test {
namespace {

class ProgressTest : public KernelTest {};

// Catches a wrong step size, a display move on an odd percent, a bar that overruns 50 dots, wrong bar
// or percentage bytes, and output or counting in quiet mode.
TEST_F(ProgressTest, ConsoleBarPercentageAndQuiet) {
    std::string bar = "\n0%        25%           50%         75%         100%\n", percentage = "\n000\r";
    for (int d = 0; d <= 50; ++d) bar += ">" + std::string(d, '.') + std::string(50 - d, ' ') + "<\r";
    for (int p = 2; p <= 100; p += 2) percentage += (p < 10 ? "00" : p < 100 ? "0" : "") + std::to_string(p) + "%\r";
    struct Case { int optflags; std::string printed; int first, last; };
    const Case cases[] = {{0, bar + "\n", 1, 100}, {64, percentage + "\n", 1, 100}, {kOptQuiet, "", 0, 0}};
    for (const Case &c : cases) {
        kernel().settings.optflags = c.optflags;
        testing::internal::CaptureStdout();
        dspinit(2000, 1, 1);  // 20 bytes a percent
        dspcheck(39);         // 1 percent: odd, nothing shown yet
        EXPECT_EQ(GetCurrentPercentComplete(), c.first) << c.optflags;
        dspcheck(1);  // 2 percent: the first move
        dspcheck(2000 - 40);
        EXPECT_EQ(GetCurrentPercentComplete(), c.last) << c.optflags;
        dsppad();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.optflags;
    }
}

// Catches console output while a queue is set, wrong message texts or types, and a missing "END".
TEST_F(ProgressTest, QueueCarriesPercentagesAndEnd) {
    int queue = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    ASSERT_GE(queue, 0);
    kernel().settings.IPCMsgQueueID = queue;
    testing::internal::CaptureStdout();
    dspinit(100, 1, 1);
    dsppad();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    struct { long mtype; char mtext[64]; } m;
    std::string texts, expected;  // type:text of each message
    for (ssize_t n; (n = msgrcv(queue, &m, sizeof m.mtext, 0, IPC_NOWAIT)) >= 0;)
        texts += std::to_string(m.mtype) + ":" + std::string(m.mtext, static_cast<std::size_t>(n)) + " ";
    msgctl(queue, IPC_RMID, nullptr);
    for (int p = 2; p <= 100; p += 2) expected += "1:" + std::to_string(p) + " ";
    EXPECT_EQ(texts, expected + "1:END ");
}

// Catches a missing or extra signal per display step and console output with a display process.
TEST_F(ProgressTest, DisplayProcessReceivesUserSignalPerStep) {
    static volatile std::sig_atomic_t signals;
    signals = 0;
    auto old = std::signal(SIGUSR1, [](int) { signals = signals + 1; });
    kernel().settings.display_pid = getpid();  // the display process: this one
    testing::internal::CaptureStdout();
    dspinit(100, 1, 1);
    for (int i = 1; i <= 10; ++i) {
        dspcheck(2);  // one move, one signal (a signal to oneself arrives before kill returns)
        EXPECT_EQ(signals, i);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::signal(SIGUSR1, old);
}

}  // namespace
}  // namespace vox::test
