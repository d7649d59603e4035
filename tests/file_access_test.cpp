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
    int interruptions = 0;  // writes that fail with EINTR first
    int write_errno = 0;    // then every write fails with this
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

class FileAccessTest : public test::KernelTest {
  protected:
    void SetUp() override {
        test::KernelTest::SetUp();
        faults = Faults();
        kernel().files.sys = {failing_open, ::read, failing_write, ::lseek, ::close, failing_unlink, failing_chmod};
    }
    int open_file(const std::string &n, int mode, int kind = 0) { return VOXopen(dir.file(n).c_str(), mode, kind); }
    PurgeState &purge = kernel().purge;
    test::TempDir dir;
};

// Catches mode 2 not replacing a read-only file, 3 and 4 not creating a missing
// file, 3 not keeping or 4 not appending to an existing one (and appending to
// a new one), a file not read-write non-blocking, other modes not read-only.
TEST_F(FileAccessTest, OpenModes) {
    for (auto [name, text] : {std::pair{"ro", "old content"}, {"upd", "abcdef"}, {"app", "abc"}})
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
    RemovePurgeableFiles();  // closes what the test opened
}

// Catches, through the override table: a stubborn old file not made writable
// and removed again (or code 1 not given when it stays), a removal tried when
// there is nothing to remove, no write-only fallback, an interrupted write
// not retried and a failed one not reported.
TEST_F(FileAccessTest, LocalCallFailures) {
    test::write_file(dir.file("out.icf"), "old");
    faults.unlinks = -1;
    EXPECT_EQ(test::exit_code_of([&] { open_file("out.icf", 2); }), 1);
    faults = Faults{1, true};  // the first removal fails, and so does making the file writable
    EXPECT_EQ(test::exit_code_of([&] { open_file("out.icf", 2); }), 1);
    EXPECT_EQ(test::read_file(dir.file("out.icf")), "old");
    faults = Faults{1};
    EXPECT_EQ(VOXclose(open_file("out.icf", 2)), 0);
    EXPECT_EQ(test::read_file(dir.file("out.icf")), "");
    faults = Faults{-1, false, true};
    int h = open_file("fresh.icf", 2);
    EXPECT_EQ(fcntl(h, F_GETFL) & O_ACCMODE, O_WRONLY);
    faults.interruptions = 2;
    EXPECT_EQ(VOXwrite(h, "abc", 3), 3);
    faults.write_errno = ENOSPC;
    EXPECT_EQ(VOXwrite(h, "def", 3), -1);
    EXPECT_EQ(test::read_file(dir.file("fresh.icf")), "abc");
    RemovePurgeableFiles();  // closes what the test opened
}

// Catches the standard stream names opened as files or ever closed, a
// temporary file (kind 3, mode 2 or 3) not listed for purging, any other file
// not listed as open, and close or unlink not withdrawing what they should.
TEST_F(FileAccessTest, StandardStreamsAndPurgeRegistration) {
    EXPECT_EQ(VOXopen("stdout", 2, 3), STDOUT_FILENO);
    EXPECT_EQ(VOXopen("stdin", 1, 3), STDIN_FILENO);
    EXPECT_EQ(VOXclose(STDOUT_FILENO) + VOXclose(STDIN_FILENO) + VOXclose(-1), 0);
    EXPECT_NE(fcntl(STDOUT_FILENO, F_GETFD), -1);
    int created = open_file("a.tmp", 2, 3), updated = open_file("b.tmp", 3, 3);
    int target = open_file("out.icf", 2, 2), reader = open_file("a.tmp", 1, 3);  // read: not purgeable
    EXPECT_EQ(purge.PurgeableFileName[0] + (" " + std::string(purge.PurgeableFileName[1])),
              dir.file("a.tmp") + " " + dir.file("b.tmp"));
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileHandle[0], purge.PurgeableFileHandle[1], purge.OpenFileHandle[0],
                              purge.OpenFileHandle[1]), std::make_tuple(created, updated, target, reader));
    EXPECT_EQ(VOXclose(created) + VOXclose(target), 0);
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileHandle[0], purge.OpenFileHandle[0]), std::make_tuple(-1, -1));
    EXPECT_EQ(VOXunlink(dir.file("a.tmp").c_str()), 0);
    EXPECT_EQ(purge.PurgeableFileName[0], nullptr);
    RemovePurgeableFiles();
}

// Catches an operation not routed to the host's function, its arguments or
// results changed on the way, and host files touching the local purge lists.
TEST_F(FileAccessTest, HostFunctionsReceiveEveryOperation) {
    test::use_host_files(true);
    std::string a = dir.file("a.tmp"), b = dir.file("b.tmp");
    test::write_file(a, "he");
    int h = VOXopen(a.c_str(), 4, 3);  // the host appends only when it gets mode 4
    char buf[8] = {};
    EXPECT_EQ((std::vector<long>{VOXwrite(h, "llo", 3), VOXlseek(h, 1, SEEK_SET), VOXread(h, buf, 3), VOXclose(h),
                                 VOXGetSize(a.c_str()), VOXrename(a.c_str(), b.c_str()), VOXCheckExist(a.c_str())}),
              (std::vector<long>{3, 1, 3, 0, 5, 0, -1}));
    EXPECT_STREQ(buf, "ell");
    LogPurgeableFileName(b.c_str(), -1);
    EXPECT_EQ(VOXunlink(b.c_str()), 0);
    EXPECT_TRUE(dir.entries().empty());
    // Only the local back end registers handles and withdraws names.
    EXPECT_EQ(std::make_tuple(test::host_files().calls, purge.OpenFileHandle[0], purge.PurgeableFileName[0] != nullptr),
              std::make_tuple(9L, -1, true));
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
    kernel().settings.max_pipe_buf_len = 100;
    EXPECT_EQ(VOXOSInitialize(), 0);
    EXPECT_EQ(kernel().memory.MemoryChainLast + kBlockHeaderSize, kernel().files.in_pipe_buffer);
    kernel().files.out_pipe_buffer[103] = 1;
    VOXFreeAll();
    kernel().settings.max_pipe_buf_len = 8000;
    test::CountingAllocator::install(1);
    EXPECT_EQ(InitIFSPipes(), 0);
    EXPECT_TRUE(kernel().files.pipe_buffers_direct);
    VOXFreeAll();
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
    kernel().settings.max_pipe_buf_len = 100;
    test::CountingAllocator::install(2);
    EXPECT_EQ(test::exit_code_of([] { InitIFSPipes(); }), 8);
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
}

}  // namespace vox
