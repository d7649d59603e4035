// The per-thread kernel state object and its lifetime.
#include "common/kernel_state.h"

#include "common/thread_state.h"

namespace vox {

__thread KernelState *tls_kernel __attribute__((tls_model("initial-exec"))) = nullptr;

KernelState *make_kernel_state() { return make_thread_state(tls_kernel); }

void prepare_release_all(KernelState &k) {
    if (k.buffers.totused > 0) bufcloseall();
}

void forget_released_blocks(KernelState &k) {
    k.temp_files.FileList = k.temp_files.LastFile = nullptr;
    for (char *&name : k.purge.PurgeableFileName) name = nullptr;

    // The pipe buffers' fallback from the system allocator is the one
    // untracked block the kernel keeps: it goes now too.
    FileLayerState &f = k.files;
    if (f.pipe_buffers_direct) {
        OSDirectFree(f.in_pipe_buffer);
        OSDirectFree(f.out_pipe_buffer);
    }
    f.in_pipe_buffer = f.out_pipe_buffer = nullptr;
    f.pipe_buffers_direct = false;

    StreamState &s = k.streams;
    s.ungetbuf = s.in_bufr = s.ot_bufr1 = s.ot_bufr2 = nullptr;
    s.in_ptr = s.in_eof = s.ot_ptr = s.ot_eof = nullptr;
    s.in_fast_end = s.in_count_mark = nullptr;
    s.ot_stat1 = s.ot_stat2 = 0;
    s.ungetcnt = 0;
    s.ungettemp = -1;

    SettingsState &o = k.settings;
    for (char **text : o.heap_texts()) *text = nullptr;
    for (char *&name : o.voxCmdName) name = nullptr;
    for (char *&value : o.voxCmdValue) value = nullptr;
    o.voxCmdCount = 0;
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
