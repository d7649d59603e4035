// The file access layer: local open modes and their fallbacks, purge
// registration, the standard streams, routing to the host's functions, local
// call failures, the file-name helpers and the pipe buffers.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "test_support.h"

namespace vox {

// Operating-system calls of the local back end that fail on demand.
struct Faults {
    int unlinks = 0;  // unlink calls that fail next; -1 all of them
    bool chmod_fails = false, refuse_read_write = false;
    int interruptions = 0, write_errno = 0;  // writes that fail with EINTR first, then each with write_errno
};
static thread_local Faults faults;

static int failing_unlink(const char *path) {
    return faults.unlinks ? (faults.unlinks -= faults.unlinks > 0, errno = EPERM, -1) : ::unlink(path);
}
static int failing_chmod(const char *p, mode_t m) { return faults.chmod_fails ? (errno = EPERM, -1) : ::chmod(p, m); }
static int failing_open(const char *path, int flags, mode_t mode) {
    return faults.refuse_read_write && (flags & O_ACCMODE) == O_RDWR ? (errno = EACCES, -1) : ::open(path, flags, mode);
}
static ssize_t failing_write(int fd, const void *buffer, size_t count) {
    if (faults.interruptions > 0) return --faults.interruptions, errno = EINTR, -1;
    return faults.write_errno ? (errno = faults.write_errno, -1) : ::write(fd, buffer, count);
}

static const LocalSyscalls kFailing = {failing_open, ::read, failing_write, ::lseek,
                                       ::close, failing_unlink, failing_chmod};

class FileAccessTest : public test::KernelTest {
  protected:
    void SetUp() override { test::KernelTest::SetUp(), faults = Faults(), kernel().files.sys = kFailing; }
    void TearDown() override { RemovePurgeableFiles(), test::KernelTest::TearDown(); }  // closes what a test opened
    int open_file(const std::string &n, int mode, int kind = 0) { return VOXopen(dir.file(n).c_str(), mode, kind); }
    PurgeState &purge = kernel().purge;
    test::TempDir dir;
};

// Catches mode 2 not replacing a read-only file or touching a directory, 3
// and 4 not creating a missing file, 3 not keeping or 4 not appending to an
// existing one (and appending to a new one), a file not read-write non-blocking, other modes not read-only.
// Through the override table: a stubborn old file not made writable and
// removed again (or code 1 not given when it stays, after either call), no
// write-only fallback, an interrupted write not retried and a failed one not
// reported.
TEST_F(FileAccessTest, LocalOpenModesAndCallFailures) {
    for (auto [name, text] : {std::pair{"ro", "old content"}, {"upd", "abcdef"}, {"app", "abc"}, {"out.icf", "old"}})
        test::write_file(dir.file(name), text);
    ASSERT_EQ(chmod(dir.file("ro").c_str(), 0444), 0);
    const struct { const char *name; int mode, append; const char *after; } cases[] = {
        {"ro", 2, 0, "XY"}, {"upd", 3, 0, "XYcdef"}, {"app", 4, O_APPEND, "abcXY"},
        {"new3", 3, 0, "XY"}, {"new4", 4, 0, "XY"}};
    for (const auto &c : cases) {
        int h = open_file(c.name, c.mode);
        EXPECT_EQ(fcntl(h, F_GETFL) & (O_ACCMODE | O_NONBLOCK | O_APPEND), O_RDWR | O_NONBLOCK | c.append) << c.name;
        EXPECT_EQ(VOXwrite(h, "XY", 2) + VOXclose(h), 2) << c.name;
        EXPECT_EQ(test::read_file(dir.file(c.name)), c.after) << c.name;
    }
    for (int mode : {1, 0, 5, -1}) EXPECT_EQ(fcntl(open_file("upd", mode), F_GETFL) & O_ACCMODE, O_RDONLY) << mode;
    EXPECT_EQ(open_file("missing.zem", 1), -1);
    // A directory in the way of mode 2 is neither removed nor made writable for everybody.
    struct stat st {};
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0750), 0);
    EXPECT_EQ(open_file("d", 2), -1);
    EXPECT_EQ((stat(dir.file("d").c_str(), &st), st.st_mode & 0777), 0750u);
    // Every removal fails; the first one and chmod; only the first one.
    for (auto [f, code, after] : {std::tuple{Faults{-1}, 1, "old"}, {Faults{1, true}, 1, "old"}, {Faults{1}, -1, ""}}) {
        faults = f;
        EXPECT_EQ(test::exit_code_of([&] { VOXclose(open_file("out.icf", 2)); }), code) << f.unlinks << f.chmod_fails;
        EXPECT_EQ(test::read_file(dir.file("out.icf")), after) << f.unlinks << f.chmod_fails;
    }
    faults = Faults{-1, false, true, 2};  // two interruptions
    int h = open_file("fresh.icf", 2);
    EXPECT_EQ(std::make_pair(fcntl(h, F_GETFL) & O_ACCMODE, VOXwrite(h, "abc", 3)), std::make_pair(O_WRONLY, 3));
    faults.write_errno = ENOSPC;
    EXPECT_EQ(VOXwrite(h, "def", 3), -1);
    EXPECT_EQ(test::read_file(dir.file("fresh.icf")), "abc");
}

// Catches the standard stream names opened as files or ever closed, a
// temporary file (kind 3, mode 2 or 3) not listed for purging, any other file
// not listed as open, and close or unlink not withdrawing what they should;
// and through the host's functions: an operation not routed to them, its
// arguments or results changed on the way, and host files touching the
// local purge lists.
TEST_F(FileAccessTest, StandardStreamsPurgeRegistrationAndHostFunctions) {
    EXPECT_EQ(std::make_pair(VOXopen("stdout", 2, 3), VOXopen("stdin", 1, 3)),
              std::make_pair(STDOUT_FILENO, STDIN_FILENO));
    EXPECT_EQ(VOXclose(STDOUT_FILENO) + VOXclose(STDIN_FILENO) + VOXclose(-1), 0);
    EXPECT_NE(fcntl(STDOUT_FILENO, F_GETFD), -1);
    int created = open_file("a.tmp", 2, 3), updated = open_file("b.tmp", 3, 3);
    int target = open_file("out.icf", 2, 2), reader = open_file("a.tmp", 1, 3);  // read: not purgeable
    EXPECT_EQ(std::make_tuple(std::string(purge.PurgeableFileName[0]), std::string(purge.PurgeableFileName[1]),
                              purge.PurgeableFileHandle[0], purge.PurgeableFileHandle[1], purge.OpenFileHandle[0],
                              purge.OpenFileHandle[1]),
              std::make_tuple(dir.file("a.tmp"), dir.file("b.tmp"), created, updated, target, reader));
    EXPECT_EQ(VOXclose(created) + VOXclose(target) + VOXunlink(dir.file("a.tmp").c_str()), 0);
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileHandle[0], purge.OpenFileHandle[0], purge.PurgeableFileName[0]),
              std::make_tuple(-1, -1, nullptr));  // the handles withdrawn by close, the name by unlink
    RemovePurgeableFiles();
    test::use_host_files(true);
    std::string a = dir.file("a.tmp"), b = dir.file("b.tmp");
    test::write_file(a, "he");
    int h = VOXopen(a.c_str(), 4, 3);  // the host appends only when it gets mode 4
    char buf[8] = {};
    LogPurgeableFileName(b.c_str(), -1);
    EXPECT_EQ((std::vector<long>{VOXwrite(h, "llo", 3), VOXlseek(h, 1, SEEK_SET), VOXread(h, buf, 3), VOXclose(h),
                                 VOXGetSize(a.c_str()), VOXrename(a.c_str(), b.c_str()), VOXCheckExist(a.c_str()),
                                 VOXunlink(b.c_str())}),
              (std::vector<long>{3, 1, 3, 0, 5, 0, -1, 0}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.icf"});  // the local target; b.tmp went through the host
    // Only the local back end registers handles and withdraws names.
    EXPECT_EQ(std::make_tuple(test::host_files().calls, purge.OpenFileHandle[0], purge.PurgeableFileName[0] != nullptr,
                              std::string(buf)), std::make_tuple(9L, -1, true, "ell"));
}

// Catches a wrong split of a path into name, directory and extension (on '/'
// and ':', the extension after the name's last '.'), a work area kept, and
// no -1 without memory.
TEST_F(FileAccessTest, FileNameParts) {
    const struct { const char *path, *parts; } cases[] = {
        {"/a/b/name.ext", "name|/a/b/|ext"}, {"name", "name||"}, {"a.b.c", "a.b||c"}, {"/x.d/file", "file|/x.d/|"},
        {"dir/", "|dir/|"}, {"file.", "file||"}, {"c:x.txt", "x|c:|txt"}, {"", "||"}};
    char part[3][64];
    for (const auto &c : cases) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(GetFileName(part[i], c.path, i), 0);
        EXPECT_EQ(std::string(part[0]) + "|" + part[1] + "|" + part[2], c.parts) << c.path;
    }
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
    test::CountingAllocator::install(1, true);
    EXPECT_EQ(GetFileName(part[0], "/a/b.c", 0), -1);
}

// Catches pipe buffers not tracked or smaller than the record length + 4
// (under the address checker), no fallback to direct blocks for records over
// 4096 (or one not released), and no code 8 (or a leak) when none can be had.
TEST_F(FileAccessTest, PipeBuffers) {
    // Nothing fails; the first block fails: direct blocks for 8000 bytes; the second: code 8 for 100.
    for (auto [length, fail_at, code] : {std::tuple{100, 0L, -1}, {8000, 1L, -1}, {100, 2L, 8}}) {
        kernel().settings.max_pipe_buf_len = length;
        test::CountingAllocator::install(fail_at);
        EXPECT_EQ(test::exit_code_of([] { EXPECT_EQ(VOXOSInitialize(), 0); }), code);
        EXPECT_EQ(kernel().files.pipe_buffers_direct, length > 4096) << length;
        // Tracked (the last block of the chain), with room for 104 bytes.
        EXPECT_TRUE(fail_at || kernel().memory.MemoryChainLast + kBlockHeaderSize == kernel().files.in_pipe_buffer);
        if (fail_at == 0) kernel().files.out_pipe_buffer[103] = 1;
        VOXFreeAll();
        EXPECT_EQ(test::CountingAllocator::outstanding(), 0) << length;
    }
}

}  // namespace vox
