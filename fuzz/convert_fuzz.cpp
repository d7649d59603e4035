// libFuzzer target: converting arbitrary bytes as a ZEM document must never
// crash, read or write out of bounds, leak memory, or leave a file behind.
//
// The input is written to a source file in a private directory (made once
// per process) and converted through MainEntryPoint into a target in the
// same directory.  Temporary files are named next to the target, so after
// every conversion the directory must hold the source and the target only:
// anything else is a temporary file the conversion leaked, and the target
// abort()s so that libFuzzer keeps the input.  The result must be one of
// the documented result codes.  An input whose last byte is odd is
// converted with the version level "5D" (master-page text kept), any other
// with "5".
//
// Build and run (from the repository root): fuzz/run.sh convert_fuzz 120 tests/data/convert_fuzz
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vox42/vox42.h"

// The converter installs handlers that end the process on SIGSEGV, SIGABRT
// and the like; the sanitizers keep theirs, so a crash is reported with its
// stack and libFuzzer saves the input.
extern "C" const char *__asan_default_options() {
    return "handle_segv=2:handle_sigbus=2:handle_abort=2:handle_sigill=2:handle_sigfpe=2";
}

namespace {

const char kSourceName[] = "source.zem";
const char kTargetName[] = "target.icf";

struct Workspace {
    std::string dir, source, target;
};

const Workspace &workspace();

// At a normal end of the run the directory goes; after a finding it stays,
// with whatever was left in it.
void remove_workspace() {
    const Workspace &w = workspace();
    unlink(w.source.c_str());
    unlink(w.target.c_str());
    rmdir(w.dir.c_str());
}

// The private directory, made on the first call.
const Workspace &workspace() {
    static const Workspace w = [] {
        const char *base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/vox42-convert-fuzz-XXXXXX";
        if (!mkdtemp(&templ[0])) {
            std::perror("mkdtemp");
            std::abort();
        }
        return Workspace{templ, templ + "/" + kSourceName, templ + "/" + kTargetName};
    }();
    static const bool cleanup_registered = std::atexit(remove_workspace) == 0;
    (void)cleanup_registered;
    return w;
}

void write_source(const std::string &path, const uint8_t *data, std::size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) std::abort();
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) std::abort();
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    close(fd);
}

// Aborts when the directory holds anything but the source and the target.
void check_nothing_left(const std::string &dir) {
    DIR *d = opendir(dir.c_str());
    if (!d) std::abort();
    bool leaked = false;
    while (dirent *entry = readdir(d)) {
        const char *name = entry->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..") || !std::strcmp(name, kSourceName) ||
            !std::strcmp(name, kTargetName))
            continue;
        std::fprintf(stderr, "convert_fuzz: file left behind by the conversion: %s/%s\n", dir.c_str(), name);
        leaked = true;
    }
    closedir(d);
    if (leaked) std::abort();
}

bool is_documented_result(int code) {
    switch (code) {
        case VOX42_OK: case VOX42_ERR_OPEN: case VOX42_ERR_READ: case VOX42_ERR_TARGET:
        case VOX42_ERR_WRITE: case VOX42_WARN_FAR_PAST_END: case VOX42_ERR_MEMORY:
        case VOX42_ERR_NOT_ZEM: case VOX42_ERR_WRITE_NOTHING: case VOX42_WARN_12:
        case VOX42_ERR_STRUCTURE: case VOX42_ERR_SEEK:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const Workspace &w = workspace();
    write_source(w.source, data, size);
    const char *version = size > 0 && (data[size - 1] & 1) ? "5D" : "5";
    char quiet[] = "-N";
    char *options[] = {quiet, nullptr};
    const int code = MainEntryPoint(w.source.c_str(), w.target.c_str(), version, options, nullptr, nullptr);
    if (!is_documented_result(code)) {
        std::fprintf(stderr, "convert_fuzz: undocumented result code %d\n", code);
        std::abort();
    }
    check_nothing_left(w.dir);
    unlink(w.target.c_str());
    return 0;
}
