// Error classification, the exit back to the entry point, the signal
// handler and the shutdown call.
#include <csignal>
#include <cstdlib>

#include "test_support.h"

namespace vox {
namespace {

using test::exit_code_of;

class ExitTest : public test::KernelTest {
  protected:
    ErrorState &errors() { return kernel().errors; }
};

TEST_F(ExitTest, NonFatalCodesAreRecordedAndReturnZero) {
    EXPECT_EQ(err_exit(5), 0);
    EXPECT_EQ(errors().last_err, 5);
    EXPECT_EQ(errors().w_err, 1);
    EXPECT_EQ(err_exit(12), 0);
    EXPECT_EQ(errors().last_err, 12);
    EXPECT_EQ(errors().VOXCancel, 0);
    EXPECT_EQ(errors().return_val, 0);
}

TEST_F(ExitTest, NonFatalCodeDoesNotHideARecordedFatalOne) {
    errors().last_err = 4;
    EXPECT_EQ(err_exit(12), 0);
    EXPECT_EQ(errors().last_err, 4);
    EXPECT_EQ(errors().w_err, 1);
}

TEST_F(ExitTest, EveryOtherCodeEndsTheConversionWithIt) {
    for (int code : {0, 1, 2, 3, 4, 8, 9, 10, 16, 17}) {
        errors() = ErrorState();
        bool went_on = false;
        EXPECT_EQ(exit_code_of([&] {
                      err_exit(code);
                      went_on = true;
                  }),
                  code);
        EXPECT_FALSE(went_on) << code;
        EXPECT_EQ(errors().VOXCancel, 1) << code;
        EXPECT_EQ(errors().return_val, code) << code;
        EXPECT_EQ(errors().w_err, 0) << code;
    }
}

TEST_F(ExitTest, VOXexitHandsTheCodeBack) {
    EXPECT_EQ(exit_code_of([] { VOXexit(9); }), 9);
    EXPECT_EQ(errors().return_val, 9);
    EXPECT_EQ(errors().VOXCancel, 0);  // only err_exit marks the abandonment
}

TEST_F(ExitTest, GlobalShutDownReleasesSettingsCopies) {
    SettingsState &s = kernel().settings;
    s.BodyTextFileName = tracked_strdup("/t/body.tmp");
    s.voxCmdName[0] = tracked_strdup("a");
    s.voxCmdValue[0] = tracked_strdup("1");
    s.voxCmdName[1] = tracked_strdup("b");
    s.voxCmdValue[1] = nullptr;
    s.voxCmdCount = 2;

    EXPECT_EQ(GlobalShutDown(), 0);
    EXPECT_EQ(s.BodyTextFileName, nullptr);
    EXPECT_EQ(s.voxCmdName[0], nullptr);
    EXPECT_EQ(s.voxCmdValue[0], nullptr);
    EXPECT_EQ(s.voxCmdName[1], nullptr);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
    // A second shutdown finds nothing left to release.
    EXPECT_EQ(GlobalShutDown(), 0);
}

// Each fatal signal ends the process with the status the family uses: 16
// for the arithmetic and memory faults, the signal's own number otherwise.
struct SignalCase {
    int signal_number;
    int status;
};

class ExitSignalDeathTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(ExitSignalDeathTest, EndsTheProcessWithTheFamilyStatus) {
    const SignalCase c = GetParam();
    EXPECT_EXIT(
        {
            VOXInititialization();
            std::raise(c.signal_number);
            std::_Exit(99);  // not reached when the handler is installed
        },
        ::testing::ExitedWithCode(c.status), "");
}

INSTANTIATE_TEST_SUITE_P(Exit, ExitSignalDeathTest,
                         ::testing::Values(SignalCase{SIGHUP, 1}, SignalCase{SIGINT, 2},
                                           SignalCase{SIGQUIT, 3}, SignalCase{SIGILL, 4},
                                           SignalCase{SIGTRAP, 5}, SignalCase{SIGABRT, 6},
                                           SignalCase{SIGFPE, 16}, SignalCase{SIGBUS, 16},
                                           SignalCase{SIGSEGV, 16}));

}  // namespace
}  // namespace vox
