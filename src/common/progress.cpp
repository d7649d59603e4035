// Progress display.  The stream layer counts source bytes and calls
// DispDotUpdate once per percent; the display moves every 2 percent, as
// dots in a console bar, a console percentage, a message on the host's queue
// or a SIGUSR1 to a display process.  Nothing is shown before dspinit.
#include "common/progress.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "common/kernel_state.h"

using namespace vox;

namespace {

constexpr int kBarDots = 50;
constexpr const char *kScale = "0%        25%           50%         75%         100%";

struct QueueMessage {
    long mtype;
    char mtext[16];
};

bool quiet() { return (kernel().settings.optflags & kOptQuiet) != 0; }

bool queue_carries_progress() {
    const SettingsState &s = kernel().settings;
    return s.IPCMsgQueueID >= 0 && (s.optflags & kOptHostFiles) == 0;
}

void send_queue_text(const char *text, int flags) {
    QueueMessage m{};
    m.mtype = 1;
    std::size_t n = std::strlen(text);
    std::memcpy(m.mtext, text, n);
    msgsnd(kernel().settings.IPCMsgQueueID, &m, n, flags);
}

void print_bar(const ProgressState &p) {
    std::fputs(p.dotbuf, stdout);
    std::fflush(stdout);
}

void step(ProgressState &p) {
    if (p.CurrentPercent < 100 && !quiet()) {
        ++p.CurrentPercent;
        if (p.CurrentPercent % 2 == 0) DisplayNextDot(p.CurrentPercent);
    }
}

}  // namespace

extern "C" {

VOX_API int dspinit(unsigned long total, int /*flag*/, int pass) {
    stream_sync_reads();  // the stream's fast path depends on the step size
    KernelState &k = kernel();
    ProgressState &p = k.progress;
    p.ConverterSidePassNumber = pass;
    p.DispCurrentCount = 0;
    p.CurrentPercent = 0;
    p.DispDotSize = static_cast<unsigned>(total / 100);
    if (p.DispDotSize == 0) p.DispDotSize = 1;
    if (quiet()) return 0;
    int flags = k.settings.optflags;
    int style = (flags & 2) ? pass : (flags & 64) ? 3 : k.settings.BFBModeFlag == 1 ? 4 : (flags & 0x1000) ? 5 : 0;
    DisplayInit(style);
    return 0;
}

VOX_API void DispDotUpdate(void) { step(kernel().progress); }

VOX_API int dspcheck(long n) {
    stream_sync_reads();  // bytes the stream read count before these
    ProgressState &p = kernel().progress;
    long count = static_cast<long>(p.DispCurrentCount) + n;
    if (count < 0) return 0;
    p.DispCurrentCount = static_cast<unsigned>(count);
    while (p.DispCurrentCount >= p.DispDotSize) {
        p.DispCurrentCount -= p.DispDotSize;
        step(p);
    }
    return 0;
}

VOX_API int dsppad(void) {
    if (quiet()) return 0;
    ProgressState &p = kernel().progress;
    while (p.CurrentPercent < 100) step(p);
    DisplayClose();
    return 0;
}

VOX_API int GetCurrentPercentComplete(void) { return kernel().progress.CurrentPercent; }
VOX_API int GetConverterSidePassNumber(void) { return kernel().progress.ConverterSidePassNumber; }
VOX_API void incbytes(unsigned long n) { kernel().progress.tbytcnt += n; }
VOX_API unsigned long dspbytes(void) { return kernel().progress.tbytcnt; }

VOX_API void DisplayInit(int style) {
    KernelState &k = kernel();
    if (k.settings.IPCMsgQueueID >= 0 || k.settings.display_pid != 0) return;
    ProgressState &p = k.progress;
    p.numdots = 0;
    p.DispType = style;
    if (style == 3) {
        std::printf("\n%03d\r", 0);
        std::fflush(stdout);
        return;
    }
    std::printf("\n%s\n", kScale);
    p.dotbuf[0] = '>';
    std::memset(p.dotbuf + 1, ' ', kBarDots);
    p.dotbuf[kBarDots + 1] = '<';
    p.dotbuf[kBarDots + 2] = '\r';
    p.dotbuf[kBarDots + 3] = '\0';
    print_bar(p);
}

VOX_API int DisplayNextDot(int percent) {
    KernelState &k = kernel();
    if (queue_carries_progress()) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", percent);
        send_queue_text(text, IPC_NOWAIT);  // a full queue drops it
        return 0;
    }
    if (k.settings.display_pid != 0) {
        kill(k.settings.display_pid, SIGUSR1);
        return 0;
    }
    ProgressState &p = k.progress;
    if (++p.numdots > kBarDots + 1) {
        --p.numdots;
        return 1;
    }
    if (p.DispType == 3) {
        std::printf("%03d%%\r", p.numdots * 2);
        std::fflush(stdout);
    } else if (p.numdots <= kBarDots) {
        p.dotbuf[p.numdots] = '.';
        print_bar(p);
    }
    return 0;
}

VOX_API void DisplayClose(void) {
    KernelState &k = kernel();
    if (k.settings.IPCMsgQueueID >= 0) {
        if (queue_carries_progress()) send_queue_text("END", 0);
    } else if (k.settings.display_pid == 0) {
        std::putchar('\n');
        std::fflush(stdout);
    }
}

VOX_API void DisplayMesgLine(const char *text) { std::puts(text); }

// Characters for the display go nowhere in this build.
VOX_API void dsp(const char * /*text*/) {}

VOX_API int dsp_ver(const char * /*name*/, const char * /*format_name*/) { return 0; }

VOX_API void ShowSourceControl(void) {
    std::printf("\nSource Control Version: Converter Code = 7.3.%s\n\t Kernel Code = %s\n\t Common Code = %s\n\n",
                "120", "33", "100");
}
}
