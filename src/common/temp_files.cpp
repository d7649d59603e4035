// Temporary file names, the temporary-file list, the clock and the names
// under which referenced files are opened.
#include "common/temp_files.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/kernel_state.h"

using namespace vox;

namespace {

bool is_separator(char c) { return c == '\\' || c == '/' || c == ':'; }

// Index just past the last separator at or after `from`, or 0 when none.
std::size_t after_last_separator(const char *text, std::size_t from) {
    std::size_t cut = 0;
    for (std::size_t i = from; text[i]; ++i)
        if (is_separator(text[i])) cut = i + 1;
    return cut;
}

// A directory that refuses every new file would make the name search loop
// forever; after this many failed creations in a row gen_fnam gives up and
// leaves the last name it tried, whose creation then fails for the caller.
constexpr int kMaxFailedCreations = 1000;

}  // namespace

extern "C" {

VOX_API int getclk(unsigned char *buffer) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    buffer[0] = static_cast<unsigned char>(local.tm_wday);
    buffer[1] = static_cast<unsigned char>(local.tm_year + 1900 - 1980);
    buffer[2] = static_cast<unsigned char>(local.tm_mon + 1);
    buffer[3] = static_cast<unsigned char>(local.tm_mday);
    buffer[4] = static_cast<unsigned char>(local.tm_hour);
    buffer[5] = static_cast<unsigned char>(local.tm_min);
    buffer[6] = static_cast<unsigned char>(local.tm_sec);
    buffer[7] = 0;
    return 0;
}

// Names are "VX" + six digits + ".TMP" in the directory of `path`.  Each
// name is created (as a temporary file, so it is also listed for purging)
// and closed again, which reserves it.  The creation is exclusive, so two
// conversions making names in one directory at the same time (two threads
// start their counters from the same second of the clock) never take, or
// replace, each other's files.  Returns 0, or -1 when the directory
// refused kMaxFailedCreations names in a row.
VOX_API int gen_fnam(const char *path, char *result) {
    KernelState &k = kernel();
    TempFileState &t = k.temp_files;
    if (t.CurTempNum == 0) {
        unsigned char clk[8];
        getclk(clk);
        t.CurTempNum = clk[4] * 65536u + clk[5] * 256u + clk[6];
    }
    std::size_t dir_len = after_last_separator(path, 0);
    std::memcpy(result, path, dir_len);
    std::memcpy(result + dir_len, "VX", 3);
    char *digits = result + dir_len + 2;
    int failures = 0;
    for (unsigned tries = 0; tries < 1000000u; ++tries) {
        unsigned n = t.CurTempNum++;
        std::snprintf(digits, 11, "%06u.TMP", n % 1000000u);
        if (std::strcmp(result, k.settings.icfname) == 0) continue;
        if (VOXCheckExist(result) == 0) continue;
        int handle = create_new_file(result);
        if (handle >= 0) {
            VOXclose(handle);
            return 0;
        }
        if (handle == kFileExists) continue;  // taken meanwhile by another conversion
        if (++failures >= kMaxFailedCreations) return -1;
    }
    return -1;
}

VOX_API int AddTempFileName(const char *name) {
    TempFileState &t = kernel().temp_files;
    std::size_t len = std::strlen(name);
    auto *rec = static_cast<TempFileRecord *>(VOXmalloc(offsetof(TempFileRecord, name) + len + 2));
    if (!rec) return 0;
    std::memcpy(rec->name, name, len + 1);
    rec->next = nullptr;
    if (t.LastFile)
        t.LastFile->next = rec;
    else
        t.FileList = rec;
    t.LastFile = rec;
    return 0;
}

// Records stay allocated; they are tracked and go with VOXFreeAll.
VOX_API int RemoveTempFiles(void) {
    for (TempFileRecord *r = kernel().temp_files.FileList; r; r = r->next)
        if (VOXCheckExist(r->name) == 0) VOXunlink(r->name);
    return 0;
}

VOX_API char *FixRefFileName(const char *reference, const char *base) {
    std::size_t ref_len = std::strlen(reference), base_len = std::strlen(base);
    auto *result = static_cast<char *>(VOXmalloc(ref_len + base_len + 4));
    if (!result) {
        err_exit(8);
        return nullptr;
    }
    bool has_directory = ref_len > 1 && after_last_separator(reference, 1) != 0;
    if (has_directory && VOXCheckExist(reference) == 0) {
        std::memcpy(result, reference, ref_len + 1);
        return result;
    }
    std::size_t dir_len = base_len > 1 ? after_last_separator(base, 1) : 0;
    std::memcpy(result, base, dir_len);
    std::strcpy(result + dir_len, reference + after_last_separator(reference, 0));
    if (VOXCheckExist(result) == 0) return result;
    std::memcpy(result, reference, ref_len + 1);
    return result;
}
}
