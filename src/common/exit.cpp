// Error classification, the exit back to the entry point, signals and the
// shutdown calls.
#include "common/exit.h"

#include <csignal>
#include <unistd.h>

#include "common/kernel_state.h"

using namespace vox;

namespace {

// The signals that end a conversion, in the order they are installed.
// SIGBUS stands where the family's systems had the emulator trap and the
// bus error; Linux has no emulator trap.
constexpr int kHandledSignals[] = {SIGHUP, SIGINT, SIGILL, SIGQUIT, SIGTRAP,
                                   SIGABRT, SIGFPE, SIGBUS, SIGSEGV};

}  // namespace

extern "C" {

VOX_API int err_exit(int code) {
    ErrorState &e = kernel().errors;
    if (is_nonfatal_code(code)) {
        if (e.last_err == 0 || is_nonfatal_code(e.last_err)) e.last_err = code;
        e.w_err = 1;
        return 0;
    }
    e.last_err = code;
    e.VOXCancel = 1;
    VOXexit(code);
}

VOX_API void VOXexit(int code) {
    kernel().errors.return_val = code;
    throw ConversionExit{code};
}

VOX_API void sig_handle(int signal_number) {
    if (tls_kernel) tls_kernel->errors.VOXCancel = 1;
    int status = signal_number;
    if (signal_number == SIGFPE || signal_number == SIGBUS || signal_number == SIGSEGV)
        status = 16;
    _exit(status);
}

VOX_API int VOXInititialization(void) {
    for (int s : kHandledSignals) std::signal(s, sig_handle);
    return 0;
}

VOX_API int LocalShutDown(void) { return 0; }

VOX_API int GlobalShutDown(void) {
    LocalShutDown();
    bufcloseall();
    SettingsState &s = kernel().settings;
    for (char **text : s.heap_texts()) {
        VOXfree(*text);
        *text = nullptr;
    }
    for (int i = 0; i < s.voxCmdCount && i < 25; ++i) {
        VOXfree(s.voxCmdName[i]);
        VOXfree(s.voxCmdValue[i]);
        s.voxCmdName[i] = s.voxCmdValue[i] = nullptr;
    }
    s.voxCmdCount = 0;
    return 0;
}
}
