// The file access layer: back-end selection, the local and host back ends,
// purge registration and the file-name helpers.
//
// Local files are opened non-blocking but without synchronous writes: every
// file the converter writes is either temporary or rewritten whole, so
// waiting for the disk on each block would cost the whole conversion its
// speed and buy no safety.
#include "common/file_access.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/kernel_state.h"
#include "common/string_utils.h"

// The host's file functions, resolved from the host process when it has
// them; null otherwise.
extern "C" {
__attribute__((weak)) int IFSopen(const char *name, int mode, int kind);
__attribute__((weak)) int IFSread(int handle, void *buffer, unsigned count);
__attribute__((weak)) int IFSwrite(int handle, const void *buffer, unsigned count);
__attribute__((weak)) long IFSlseek(int handle, long offset, int whence);
__attribute__((weak)) int IFSclose(int handle);
__attribute__((weak)) int IFSunlink(const char *name);
__attribute__((weak)) int IFSrename(const char *old_name, const char *new_name);
__attribute__((weak)) long IFSGetSize(const char *name);
__attribute__((weak)) int IFSCheckExist(const char *name);
}

namespace vox {
namespace {

constexpr int kLocalFlags = O_NONBLOCK;
constexpr mode_t kCreateMode = 0666;
constexpr int kStreamCap = 4096;

LocalSyscalls &sys() { return kernel().files.sys; }

bool local_exists(const char *name) {
    struct stat st;
    return ::stat(name, &st) == 0;
}

// Mode 2: replace an existing file.  A file that cannot be removed is made
// writable for everybody and removed again; when that fails the conversion
// cannot write its output and ends with code 1 (opening the old file would
// write over it without shortening it).  A directory is left alone, its
// permissions untouched: the open that follows fails and the caller says
// what could not be opened.
void remove_for_replace(const char *name) {
    struct stat st;
    if (::stat(name, &st) != 0 || S_ISDIR(st.st_mode) || sys().unlink(name) == 0) return;
    if (sys().chmod(name, 0666) != 0) err_exit(1);
    if (sys().unlink(name) != 0) err_exit(1);
}

int local_open(const char *name, int mode, int /*kind*/) {
    LocalSyscalls &s = sys();
    switch (mode) {
        case 2: {
            remove_for_replace(name);
            int fd = s.open(name, O_RDWR | O_CREAT | kLocalFlags, kCreateMode);
            if (fd < 0) fd = s.open(name, O_WRONLY | O_CREAT | kLocalFlags, kCreateMode);
            return fd;
        }
        case 3: {
            int fd = s.open(name, O_RDWR | kLocalFlags, 0);
            if (fd < 0) fd = s.open(name, O_RDWR | O_CREAT | kLocalFlags, kCreateMode);
            return fd;
        }
        case 4: {
            int fd = s.open(name, O_RDWR | O_APPEND | kLocalFlags, 0);
            if (fd < 0) fd = s.open(name, O_RDWR | O_CREAT | kLocalFlags, kCreateMode);
            return fd;
        }
        default:
            return s.open(name, O_RDONLY | kLocalFlags, 0);
    }
}

int local_close(int handle) { return sys().close(handle); }

int local_read(int handle, void *buffer, unsigned count) {
    ssize_t n;
    do n = sys().read(handle, buffer, count);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int local_write(int handle, const void *buffer, unsigned count) {
    ssize_t n;
    do n = sys().write(handle, buffer, count);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

long local_lseek(int handle, long offset, int whence) { return sys().lseek(handle, offset, whence); }
int local_unlink(const char *name) { return sys().unlink(name); }
int local_rename(const char *old_name, const char *new_name) { return vox::rename(old_name, new_name); }

long local_size(const char *name) {
    struct stat st;
    return ::stat(name, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

int local_check_exist(const char *name) { return local_exists(name) ? 0 : -1; }

// The host back end: each call goes to the host's function when the host
// process provides it, and fails with -1 when it does not.
int host_open(const char *n, int m, int k) { return IFSopen ? IFSopen(n, m, k) : -1; }
int host_close(int h) { return IFSclose ? IFSclose(h) : -1; }
int host_read(int h, void *b, unsigned c) { return IFSread ? IFSread(h, b, c) : -1; }
int host_write(int h, const void *b, unsigned c) { return IFSwrite ? IFSwrite(h, b, c) : -1; }
long host_lseek(int h, long o, int w) { return IFSlseek ? IFSlseek(h, o, w) : -1; }
int host_unlink(const char *n) { return IFSunlink ? IFSunlink(n) : -1; }
int host_rename(const char *o, const char *n) { return IFSrename ? IFSrename(o, n) : -1; }
long host_size(const char *n) { return IFSGetSize ? IFSGetSize(n) : -1; }
int host_check_exist(const char *n) { return IFSCheckExist ? IFSCheckExist(n) : -1; }

// PLACEHOLDER for the pipe and message-queue transports, which are not built
// yet: every operation fails as an unreachable file server would.
int none_open(const char *, int, int) { return -1; }
int none_handle(int) { return -1; }
int none_read(int, void *, unsigned) { return -1; }
int none_write(int, const void *, unsigned) { return -1; }
long none_lseek(int, long, int) { return -1; }
int none_name(const char *) { return -1; }
int none_rename(const char *, const char *) { return -1; }
long none_size(const char *) { return -1; }

bool is_std_handle(int handle) {
    FileLayerState &f = kernel().files;
    return handle == -1 || handle == f.stdin_handle || handle == f.stdout_handle;
}

void free_pipe_buffers(FileLayerState &f) {
    if (f.pipe_buffers_direct) {
        OSDirectFree(f.in_pipe_buffer);
        OSDirectFree(f.out_pipe_buffer);
    } else {
        VOXfree(f.in_pipe_buffer);
        VOXfree(f.out_pipe_buffer);
    }
    f.in_pipe_buffer = f.out_pipe_buffer = nullptr;
    f.pipe_buffers_direct = false;
}

}  // namespace

const FileBackend kLocalBackend = {"local",      local_open,   local_close,  local_read,
                                   local_write,  local_lseek,  local_unlink, local_rename,
                                   local_size,   local_check_exist};
const FileBackend kHostBackend = {"host",      host_open,   host_close,  host_read,
                                  host_write,  host_lseek,  host_unlink, host_rename,
                                  host_size,   host_check_exist};
const FileBackend kPipeBackend = {"pipe",     none_open,   none_handle, none_read,
                                  none_write, none_lseek,  none_name,   none_rename,
                                  none_size,  none_name};
const FileBackend kQueueBackend = {"queue",    none_open,   none_handle, none_read,
                                   none_write, none_lseek,  none_name,   none_rename,
                                   none_size,  none_name};

namespace {
int os_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
}  // namespace

FileLayerState::FileLayerState()
    : sys{os_open, ::read, ::write, ::lseek, ::close, ::unlink, ::chmod} {}

int create_new_file(const char *name) {
    if (&select_backend() != &kLocalBackend) {
        if (VOXCheckExist(name) == 0) return kFileExists;
        return VOXopen(name, 2, 3);
    }
    int fd = sys().open(name, O_RDWR | O_CREAT | O_EXCL | kLocalFlags, kCreateMode);
    if (fd < 0) return errno == EEXIST ? kFileExists : -1;
    LogPurgeableFileClose(fd);
    LogPurgeableFileName(name, fd);
    return fd;
}

void reset_local_syscalls() { kernel().files.sys = FileLayerState().sys; }

const FileBackend &select_backend() {
    const SettingsState &s = kernel().settings;
    if (s.optflags & kOptHostFiles) return s.IPCMsgQueueID < 0 ? kHostBackend : kQueueBackend;
    if (s.optflags & kOptPipeTransport) return kPipeBackend;
    return kLocalBackend;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int VOXopen(const char *name, int mode, int kind) {
    KernelState &k = kernel();
    if (k.settings.optflags & kOptPipeTransport) SetMaxComBufferSize(kStreamCap);
    if (std::strcmp(name, "stdout") == 0) {
        SetMaxComBufferSize(kStreamCap);
        return k.files.stdout_handle = STDOUT_FILENO;
    }
    if (std::strcmp(name, "stdin") == 0) {
        SetMaxComBufferSize(kStreamCap);
        return k.files.stdin_handle = STDIN_FILENO;
    }
    const FileBackend &b = select_backend();
    int handle = b.open(name, mode, kind);
    if (&b != &kLocalBackend || handle < 0) return handle;
    if ((mode == 2 || mode == 3) && kind == 3) {
        LogPurgeableFileClose(handle);
        LogPurgeableFileName(name, handle);
    } else {
        LogOpenFileHandle(handle);
    }
    return handle;
}

VOX_API int VOXclose(int handle) {
    if (is_std_handle(handle)) return 0;
    const FileBackend &b = select_backend();
    if (&b == &kLocalBackend) LogPurgeableFileClose(handle);
    return b.close(handle);
}

VOX_API int VOXread(int handle, void *buffer, unsigned count) {
    return select_backend().read(handle, buffer, count);
}

VOX_API int VOXwrite(int handle, const void *buffer, unsigned count) {
    return select_backend().write(handle, buffer, count);
}

VOX_API long VOXlseek(int handle, long offset, int whence) {
    return select_backend().lseek(handle, offset, whence);
}

VOX_API int VOXunlink(const char *name) {
    const FileBackend &b = select_backend();
    int result = b.unlink(name);
    if (&b == &kLocalBackend || &b == &kPipeBackend) LogPurgeableFileUnlink(name);
    return result;
}

VOX_API int VOXrename(const char *old_name, const char *new_name) {
    return select_backend().rename(old_name, new_name);
}

VOX_API long VOXGetSize(const char *name) { return select_backend().get_size(name); }
VOX_API int VOXCheckExist(const char *name) { return select_backend().check_exist(name); }
VOX_API int CheckExist(const char *name) { return VOXCheckExist(name); }
VOX_API long GETSIZE(const char *name) { return local_size(name); }
VOX_API int bf_open(const char *name, int mode) { return VOXopen(name, mode, 0); }
VOX_API int openDatFile(void) { return -1; }
VOX_API int GetMaxFilenmLen(void) { return 512; }

// Splits a path (separators '/' and ':') into directory, base name and
// extension.  The work happens on the reversed path, as the family always
// did, in a 512-byte tracked work area.
VOX_API int GetFileName(char *result, const char *path, int part) {
    constexpr int kWork = 512;
    auto *work = static_cast<char *>(VOXmalloc(kWork));
    if (!work) return -1;
    std::strncpy(work, path, kWork - 1);
    reverse(work);
    std::size_t sep = std::strcspn(work, "/:");     // reversed: first separator
    std::size_t dot = std::strcspn(work, ".");      // reversed: last '.'
    bool name_has_dot = dot < sep;
    result[0] = '\0';
    if (part == 0) {
        std::size_t start = name_has_dot ? dot + 1 : 0;
        std::size_t len = sep - start;
        std::memcpy(result, work + start, len);
        result[len] = '\0';
    } else if (part == 1) {
        if (work[sep]) std::strcpy(result, work + sep);
    } else if (part == 2) {
        if (name_has_dot) {
            std::memcpy(result, work, dot);
            result[dot] = '\0';
        }
    }
    reverse(result);
    VOXfree(work);
    return 0;
}

VOX_API int BuildFileName(const char *directory, const char *name, const char *extension,
                          int /*ignored*/, char *result) {
    if (directory) std::strcat(result, directory);
    if (name) std::strcat(result, name);
    if (extension && *extension) {
        std::strcat(result, ".");
        std::strcat(result, extension);
    }
    return 0;
}

VOX_API int CancelCheck(void) {
    int e = kernel().errors.last_err;
    return e != 0 && !is_nonfatal_code(e);
}

VOX_API int InitIFSPipes(void) {
    KernelState &k = kernel();
    FileLayerState &f = k.files;
    free_pipe_buffers(f);
    int len = k.settings.max_pipe_buf_len;
    std::size_t size = static_cast<std::size_t>(len < 0 ? 0 : len) + 4;
    f.out_pipe_buffer = static_cast<unsigned char *>(VOXmalloc(size));
    f.in_pipe_buffer = static_cast<unsigned char *>(VOXmalloc(size));
    if (f.out_pipe_buffer && f.in_pipe_buffer) return 0;
    free_pipe_buffers(f);
    if (len >= 4097) {
        f.pipe_buffers_direct = true;
        f.out_pipe_buffer = static_cast<unsigned char *>(OSDirectMalloc(4096));
        f.in_pipe_buffer = static_cast<unsigned char *>(OSDirectMalloc(4096));
        if (f.out_pipe_buffer && f.in_pipe_buffer) return 0;
        free_pipe_buffers(f);
    }
    err_exit(8);
    return -1;
}

VOX_API int VOXOSInitialize(void) {
    PurgeState &p = kernel().purge;
    for (int &h : p.PurgeableFileHandle) h = -1;
    for (int &h : p.OpenFileHandle) h = -1;
    return InitIFSPipes();
}
}
