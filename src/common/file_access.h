// The file access layer: every file the converter touches goes through the
// VOX* operations, which pick one of four back ends per call:
//
//   optflags & 0x2000, no queue   -> the host's IFS* functions
//   optflags & 0x2000, queue set  -> the message-queue transport
//   optflags & 0x400              -> the pipe transport
//   otherwise                     -> the local file system
//
// Each back end is a table of functions (FileBackend).  The local one calls
// the operating system through an override table (LocalSyscalls) so tests
// can make a single call fail without a full disk.  The layer also registers
// the files it creates for purging and offers small file-name helpers.
#pragma once

#include <sys/types.h>

#include "common/api.h"

namespace vox {

// One back end: the same arguments and results as the VOX* operations.
struct FileBackend {
    const char *name;
    int (*open)(const char *name, int mode, int kind);
    int (*close)(int handle);
    int (*read)(int handle, void *buffer, unsigned count);
    int (*write)(int handle, const void *buffer, unsigned count);
    long (*lseek)(int handle, long offset, int whence);
    int (*unlink)(const char *name);
    int (*rename)(const char *old_name, const char *new_name);
    long (*get_size)(const char *name);
    int (*check_exist)(const char *name);
};

extern const FileBackend kLocalBackend;
extern const FileBackend kHostBackend;
// PLACEHOLDER: the pipe and message-queue transports are not built yet;
// their tables fail every operation with -1.
extern const FileBackend kPipeBackend;
extern const FileBackend kQueueBackend;

// The operating-system calls of the local back end.
struct LocalSyscalls {
    int (*open)(const char *path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void *buffer, size_t count);
    ssize_t (*write)(int fd, const void *buffer, size_t count);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*close)(int fd);
    int (*unlink)(const char *path);
    int (*chmod)(const char *path, mode_t mode);
};

struct FileLayerState {
    int stdin_handle = -1;
    int stdout_handle = -1;
    unsigned char *in_pipe_buffer = nullptr;
    unsigned char *out_pipe_buffer = nullptr;
    bool pipe_buffers_direct = false;  // fallback buffers from the system allocator
    LocalSyscalls sys;                 // overridable for fault injection
    FileLayerState();
};

// Creates a file that must not exist yet, as a temporary file (listed for
// purging).  Returns its handle, kFileExists when the name is taken, or -1.
// Local files are created exclusively; the other back ends have no such
// mode, so there the name is checked first and then created.
constexpr int kFileExists = -2;
int create_new_file(const char *name);

// The back end the current settings select.
const FileBackend &select_backend();

// Restores the real operating-system calls of the calling thread.
void reset_local_syscalls();

}  // namespace vox

extern "C" {
VOX_API int VOXopen(const char *name, int mode, int kind);
VOX_API int VOXclose(int handle);
VOX_API int VOXread(int handle, void *buffer, unsigned count);
VOX_API int VOXwrite(int handle, const void *buffer, unsigned count);
VOX_API long VOXlseek(int handle, long offset, int whence);
VOX_API int VOXunlink(const char *name);
VOX_API int VOXrename(const char *old_name, const char *new_name);
VOX_API long VOXGetSize(const char *name);
VOX_API int VOXCheckExist(const char *name);
VOX_API int CheckExist(const char *name);
VOX_API long GETSIZE(const char *name);
VOX_API int bf_open(const char *name, int mode);
VOX_API int openDatFile(void);
VOX_API int GetMaxFilenmLen(void);
VOX_API int GetFileName(char *result, const char *path, int part);
VOX_API int BuildFileName(const char *directory, const char *name,
                          const char *extension, int ignored, char *result);
VOX_API int CancelCheck(void);
VOX_API int InitIFSPipes(void);
VOX_API int VOXOSInitialize(void);
}
