// Purge bookkeeping: names of files to remove and handles to close at
// clean-up, kept by the file access layer as it opens, closes and removes.
#include "common/purge.h"

#include <cstring>

#include "common/kernel_state.h"

using namespace vox;

extern "C" {

VOX_API void ClearPurgeList(void) {
    PurgeState &p = kernel().purge;
    for (int i = 0; i < kPurgeSlots; ++i) {
        VOXfree(p.PurgeableFileName[i]);
        p.PurgeableFileName[i] = nullptr;
        p.PurgeableFileHandle[i] = -1;
    }
    for (int &h : p.OpenFileHandle) h = -1;
}

VOX_API void LogPurgeableFileName(const char *name, int handle) {
    PurgeState &p = kernel().purge;
    for (int i = 0; i < kPurgeSlots; ++i) {
        if (p.PurgeableFileName[i] && std::strcmp(p.PurgeableFileName[i], name) == 0) {
            p.PurgeableFileHandle[i] = handle;
            return;
        }
    }
    for (int i = 0; i < kPurgeSlots; ++i) {
        if (p.PurgeableFileHandle[i] == -1 && p.PurgeableFileName[i] == nullptr) {
            p.PurgeableFileHandle[i] = handle;
            p.PurgeableFileName[i] = tracked_strdup(name);
            return;
        }
    }
}

VOX_API void LogOpenFileHandle(int handle) {
    PurgeState &p = kernel().purge;
    for (int h : p.OpenFileHandle)
        if (h == handle) return;
    for (int &h : p.OpenFileHandle) {
        if (h == -1) {
            h = handle;
            return;
        }
    }
}

VOX_API void LogPurgeableFileClose(int handle) {
    PurgeState &p = kernel().purge;
    for (int &h : p.PurgeableFileHandle) {
        if (h == handle) {
            h = -1;  // the name stays: the file is still removed at clean-up
            return;
        }
    }
    for (int &h : p.OpenFileHandle) {
        if (h == handle) {
            h = -1;
            return;
        }
    }
}

VOX_API void LogPurgeableFileUnlink(const char *name) {
    PurgeState &p = kernel().purge;
    for (char *&n : p.PurgeableFileName) {
        if (n && std::strcmp(n, name) == 0) {
            VOXfree(n);
            n = nullptr;
            return;
        }
    }
}

VOX_API void RemovePurgeableFiles(void) {
    KernelState &k = kernel();
    PurgeState &p = k.purge;
    for (int i = 0; i < kPurgeSlots; ++i) {
        if (p.PurgeableFileHandle[i] != -1) VOXclose(p.PurgeableFileHandle[i]);
        if (p.PurgeableFileName[i] && std::strcmp(p.PurgeableFileName[i], k.settings.icfname) != 0) {
            // VOXunlink withdraws the name (and releases its copy) itself.
            VOXunlink(p.PurgeableFileName[i]);
        }
    }
    for (int i = 0; i < kOpenHandleSlots; ++i)
        if (p.OpenFileHandle[i] != -1) VOXclose(p.OpenFileHandle[i]);
}
}
