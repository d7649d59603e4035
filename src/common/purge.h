// Purge bookkeeping: the files the converter created and must remove, and
// the handles it opened and must close, whatever way a conversion ends.
//
// Forty name/handle slot pairs hold purgeable files (a pair is free when its
// handle is -1 and its name null); ten more slots hold handles that are open
// but not purgeable.  Overflow is silent: the excess is not tracked.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int kPurgeSlots = 40;
constexpr int kOpenHandleSlots = 10;

struct PurgeState {
    char *PurgeableFileName[kPurgeSlots] = {};
    int PurgeableFileHandle[kPurgeSlots];
    int OpenFileHandle[kOpenHandleSlots];
    PurgeState() {
        for (int &h : PurgeableFileHandle) h = -1;
        for (int &h : OpenFileHandle) h = -1;
    }
};

}  // namespace vox

extern "C" {
VOX_API void ClearPurgeList(void);
VOX_API void LogPurgeableFileName(const char *name, int handle);
VOX_API void LogOpenFileHandle(int handle);
VOX_API void LogPurgeableFileClose(int handle);
VOX_API void LogPurgeableFileUnlink(const char *name);
VOX_API void RemovePurgeableFiles(void);
}
