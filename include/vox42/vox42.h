/*
 * vox42 — ZEM document import converter.
 *
 * This is the header a host includes.  Conventions:
 *
 *  1. One call of MainEntryPoint converts one document and returns a result
 *     code (the VOX42_* constants below); 0 is success.  No call ever ends
 *     the host process or lets an exception escape, except the signal
 *     handler the converter installs while a conversion runs (it ends the
 *     process on a fatal signal, as the family's converters always have).
 *  2. Strings are NUL-terminated byte strings; the converter never keeps a
 *     pointer to a host string after the call returns.
 *  3. Memory: when the host passes allocation functions, every block the
 *     conversion allocates comes from them and is returned to them before
 *     MainEntryPoint returns.  Without them the C library's malloc/free are
 *     used.
 *  4. Temporary files are made next to the target and removed before
 *     MainEntryPoint returns; the clean-up calls below are offered for hosts
 *     that want to make sure after a crash of their own.
 *  5. Threads: every thread has its own converter state, so two threads may
 *     convert two documents at the same time.  A clean-up call acts on the
 *     state of the thread that makes it.
 *  6. Host file functions: a host that selects its own file system (option
 *     "-IF") provides the IFS* functions declared at the end of this header
 *     with C linkage in its own executable.  The library imports them as weak
 *     symbols, so it loads in hosts that do not have them.
 */
#ifndef VOX42_VOX42_H
#define VOX42_VOX42_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes returned by MainEntryPoint. */
enum {
    VOX42_OK = 0,                 /* conversion finished */
    VOX42_ERR_OPEN = 1,           /* the source or another file cannot be opened */
    VOX42_ERR_READ = 2,           /* the source is empty, truncated or unreadable */
    VOX42_ERR_TARGET = 3,         /* target or a spill file cannot be created */
    VOX42_ERR_WRITE = 4,          /* a write failed */
    VOX42_WARN_FAR_PAST_END = 5,  /* non-fatal: read far past the end of input,
                                     or an embedded object of unknown format */
    VOX42_ERR_MEMORY = 8,         /* memory, a temporary buffer or file unavailable */
    VOX42_ERR_NOT_ZEM = 9,        /* the source is not a ZEM document */
    VOX42_ERR_WRITE_NOTHING = 10, /* a write wrote nothing */
    VOX42_WARN_12 = 12,           /* non-fatal, reserved */
    VOX42_ERR_STRUCTURE = 16,     /* statement structure broken (also the exit
                                     status after a fatal signal) */
    VOX42_ERR_SEEK = 17           /* positioning in a temporary list file failed */
};

/* The host's allocation functions. */
typedef void *(*VOXHostMallocFn)(size_t size);
typedef void (*VOXHostFreeFn)(void *block);

/*
 * Converts the ZEM document `source` into intermediate code written to
 * `target`.  `version_level` is a short string ("5", "5D"); `extra_argv` is a
 * NULL-terminated list of further options (at most 16) or NULL.  The
 * allocation functions may be NULL (the host's pair is used only when both
 * are given).  A command line that does not fit the converter's argument
 * table (more than 16 extra options, a target name longer than 124
 * characters, a version level longer than 13, a NULL source or target) is
 * refused with VOX42_ERR_MEMORY before anything is opened.
 */
int MainEntryPoint(const char *source, const char *target,
                   const char *version_level, char **extra_argv,
                   VOXHostMallocFn malloc_fn, VOXHostFreeFn free_fn);

/* Clean-up operations for the host; each returns 0 except where noted. */
int GlobalShutDown(void);        /* closes all temporary buffers, frees settings */
int RemoveTempFiles(void);       /* removes the files of the temporary-file list */
void ClearPurgeList(void);       /* forgets every purgeable name and handle */
void RemovePurgeableFiles(void); /* closes and removes what the purge lists hold */

/*
 * Diagnostics: the converter describes statements it ignores and values it
 * cannot read through a listener.  None is installed by default and the
 * library prints nothing of its own.  The listener is per thread.
 */
typedef void (*VOXDiagnosticListener)(const char *text, void *user);
void vox42_set_diagnostic_listener(VOXDiagnosticListener listener, void *user);

/* The library's version, "major.minor.patch". */
const char *vox42_version(void);

/*
 * Host file functions (provided by the host, optional).  Same arguments and
 * results as the converter's own file operations: a handle or -1; a byte
 * count (0 at end, negative on error); 0 or -1; 0 for an existing file.
 * Modes: 1 read, 2 create or replace, 3 update, 4 append.  Kinds: 3 marks a
 * temporary file.
 */
int IFSopen(const char *name, int mode, int kind);
int IFSread(int handle, void *buffer, unsigned count);
int IFSwrite(int handle, const void *buffer, unsigned count);
long IFSlseek(int handle, long offset, int whence);
int IFSclose(int handle);
int IFSunlink(const char *name);
int IFSrename(const char *old_name, const char *new_name);
long IFSGetSize(const char *name);
int IFSCheckExist(const char *name);

#ifdef __cplusplus
}
#endif

#endif /* VOX42_VOX42_H */
