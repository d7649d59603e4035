// Progress display: a bar of dots or a percentage on the console, messages
// on the host's message queue, or SIGUSR1 to a display process.  Progress is
// counted in source bytes; the display moves every 2 percent.
#pragma once

#include "common/api.h"

namespace vox {

struct ProgressState {
    unsigned DispDotSize = 0xFFFFFFFFu;  // bytes per percent; no steps before dspinit
    unsigned DispCurrentCount = 0; // bytes since the last percent step
    int CurrentPercent = 0;
    int ConverterSidePassNumber = 0;
    int DispType = 0;
    int numdots = 0;
    char dotbuf[54] = {};
    unsigned long tbytcnt = 0;
};

}  // namespace vox

extern "C" {
VOX_API int dspinit(unsigned long total, int flag, int pass);
VOX_API int dspcheck(long n);
VOX_API void DispDotUpdate(void);
VOX_API int dsppad(void);
VOX_API int GetCurrentPercentComplete(void);
VOX_API int GetConverterSidePassNumber(void);
VOX_API void incbytes(unsigned long n);
VOX_API unsigned long dspbytes(void);
VOX_API void DisplayInit(int style);
VOX_API int DisplayNextDot(int percent);
VOX_API void DisplayClose(void);
VOX_API void DisplayMesgLine(const char *text);
VOX_API void dsp(const char *text);
VOX_API int dsp_ver(const char *name, const char *format_name);
VOX_API void ShowSourceControl(void);
}
