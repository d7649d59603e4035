// Error classification, the exit back to the entry point and the signal
// handler.
#include <csignal>
#include <cstdlib>

#include "test_support.h"

namespace vox {

using ExitTest = test::KernelTest;

// Catches a non-fatal code (5, 12) that ends the conversion or hides a
// recorded fatal one, and a fatal code that returns, lets code after it run,
// or is not recorded, marked and handed back.
TEST_F(ExitTest, NonFatalCodesGoOnEveryOtherEnds) {
    ErrorState &e = kernel().errors;
    EXPECT_EQ(err_exit(5), 0);
    EXPECT_EQ(err_exit(12), 0);
    EXPECT_EQ(std::make_tuple(e.last_err, e.w_err, e.VOXCancel, e.return_val), std::make_tuple(12, 1, 0, 0));
    e.last_err = 4;
    EXPECT_EQ(err_exit(5), 0);
    EXPECT_EQ(e.last_err, 4);
    for (int code : {0, 1, 4, 6, 8, 11, 13, 16}) {
        e = ErrorState();
        EXPECT_EQ(test::exit_code_of([&] { err_exit(code); e.w_err = 99; }), code);
        EXPECT_EQ(std::make_tuple(e.last_err, e.w_err, e.VOXCancel, e.return_val), std::make_tuple(code, 0, 1, code));
    }
}

// Catches a signal left without the handler or ending with the wrong status:
// 16 for the arithmetic and memory faults, the signal's own number otherwise.
TEST(ExitDeathTest, FatalSignalsEndWithTheFamilyStatus) {
    const struct { const char *name; int signal_number, status; } cases[] = {
        {"SIGHUP", SIGHUP, 1},   {"SIGINT", SIGINT, 2},   {"SIGQUIT", SIGQUIT, 3},
        {"SIGILL", SIGILL, 4},   {"SIGTRAP", SIGTRAP, 5}, {"SIGABRT", SIGABRT, 6},
        {"SIGFPE", SIGFPE, 16},  {"SIGBUS", SIGBUS, 16},  {"SIGSEGV", SIGSEGV, 16},
    };
    for (const auto &c : cases)  // _Exit(99) is not reached when the handler is installed
        EXPECT_EXIT((VOXInititialization(), std::raise(c.signal_number), std::_Exit(99)),
                    ::testing::ExitedWithCode(c.status), "") << c.name;
}

}  // namespace vox
