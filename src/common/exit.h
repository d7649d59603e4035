// Leaving a conversion: error classification, the non-local exit back to
// the entry point, signal handling and the shutdown calls offered to hosts.
//
// VOXexit throws vox::ConversionExit; the entry point is the only place that
// catches it (together with std::bad_alloc, which means code 8), so nothing
// after a fatal error runs and no exception reaches the host.
#pragma once

#include "common/api.h"

namespace vox {

struct ErrorState {
    int last_err = 0;    // last non-fatal code (or the fatal code recorded)
    int w_err = 0;       // 1 once a non-fatal error happened
    int VOXCancel = 0;   // 1 while the conversion is being abandoned
    int return_val = 0;  // the code handed back to the host
};

// Thrown by VOXexit; carries the result code to the entry point.
struct ConversionExit {
    int code;
};

// True for the codes that let a conversion go on.
constexpr bool is_nonfatal_code(int code) { return code == 5 || code == 12; }

}  // namespace vox

extern "C" {
VOX_API int err_exit(int code);
[[noreturn]] VOX_API void VOXexit(int code);
VOX_API int VOXInititialization(void);
VOX_API void sig_handle(int signal_number);
VOX_API int LocalShutDown(void);
VOX_API int GlobalShutDown(void);
}
