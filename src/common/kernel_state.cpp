// The per-thread kernel state object and its lifetime.
#include "common/kernel_state.h"

#include <memory>

namespace vox {

__thread KernelState *tls_kernel __attribute__((tls_model("initial-exec"))) = nullptr;

namespace {

// Owns the thread's state; its destructor runs when the thread ends.
struct KernelOwner {
    std::unique_ptr<KernelState> state;
    ~KernelOwner() { tls_kernel = nullptr; }
};

}  // namespace

KernelState *make_kernel_state() {
    static thread_local KernelOwner owner;
    if (!owner.state) owner.state.reset(new KernelState());
    tls_kernel = owner.state.get();
    return tls_kernel;
}

void report_diagnostic(const char *text) {
    DiagnosticState &d = kernel().diagnostics;
    if (d.listener) d.listener(text, d.user);
}

}  // namespace vox

extern "C" {

VOX_API void vox42_set_diagnostic_listener(VOXDiagnosticListener listener, void *user) {
    vox::DiagnosticState &d = vox::kernel().diagnostics;
    d.listener = listener;
    d.user = user;
}

VOX_API const char *vox42_version(void) { return "0.1.0"; }
}
