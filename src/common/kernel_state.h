// The kernel state: everything the family kernel keeps between calls, one
// object per thread, grouped by the module that owns each part.
//
// The object is made on a thread's first kernel call and released when the
// thread ends.  It is reached through one initial-exec thread-local pointer,
// so the byte paths pay a single segment-relative load per call.  This and
// the per-conversion object of the converter are the only mutable state of
// the library.
#pragma once

#include "vox42/vox42.h"
#include "autorec/autorec.h"
#include "common/exit.h"
#include "common/file_access.h"
#include "common/layout_records.h"
#include "common/memory.h"
#include "common/progress.h"
#include "common/purge.h"
#include "common/records.h"
#include "common/settings.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "common/temp_files.h"

namespace vox {

struct DiagnosticState {
    VOXDiagnosticListener listener = nullptr;
    void *user = nullptr;
};

struct KernelState {
    MemoryState memory;
    ErrorState errors;
    PurgeState purge;
    TempFileState temp_files;
    SettingsState settings;
    FileLayerState files;
    StreamState streams;
    TempBufferState buffers;
    CodeRingState codes;
    RulerState ruler;
    ProgressState progress;
    DiagnosticState diagnostics;
    RecognizerState autorec;
};

// A plain __thread pointer (no dynamic initialisation, so no TLS wrapper
// call or guard on access).
extern __thread KernelState *tls_kernel __attribute__((tls_model("initial-exec")));

KernelState *make_kernel_state();

// The calling thread's kernel state, made on first use.
inline KernelState &kernel() {
    KernelState *k = tls_kernel;
    if (__builtin_expect(k == nullptr, 0)) k = make_kernel_state();
    return *k;
}

// Around VOXFreeAll: closes what lives in tracked blocks and owns files
// (the temporary buffers and their spill files), then, once the blocks are
// gone, forgets every pointer of every module into them.
void prepare_release_all(KernelState &k);
void forget_released_blocks(KernelState &k);

// Sends a diagnostic text to the thread's listener, if one is installed.
void report_diagnostic(const char *text);

}  // namespace vox
