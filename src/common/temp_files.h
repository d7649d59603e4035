// Temporary file names and the temporary-file list.
//
// gen_fnam makes names "VX" + six digits + ".TMP" in the directory of a given
// path (the target's, for every temporary file of a conversion), creating
// each file so the name stays reserved.  The counter is seeded once from the
// clock and then counts up.
#pragma once

#include "common/api.h"

namespace vox {

struct TempFileRecord {
    TempFileRecord *next;
    char name[1];  // NUL-terminated, allocated with the record
};

struct TempFileState {
    unsigned CurTempNum = 0;           // next number; 0 until first use
    TempFileRecord *FileList = nullptr;
    TempFileRecord *LastFile = nullptr;
};

}  // namespace vox

extern "C" {
VOX_API int gen_fnam(const char *path, char *result);
VOX_API int getclk(unsigned char *buffer);
VOX_API int AddTempFileName(const char *name);
VOX_API int RemoveTempFiles(void);
VOX_API char *FixRefFileName(const char *reference, const char *base);
}
