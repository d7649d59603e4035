// The file access layer: local open modes and their fallbacks, purge
// registration, the standard streams, routing to the host's functions,
// local call failures, the file-name helpers and the pipe buffers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace vox {
namespace {

using test::exit_code_of;
using test::read_file;
using test::TempDir;
using test::write_file;

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }
int status_flags(int fd) { return fcntl(fd, F_GETFL); }
int access_mode(int fd) { return status_flags(fd) & O_ACCMODE; }

mode_t current_umask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Operating-system calls that fail on demand.  A count of -1 fails forever.
thread_local int unlink_failures = 0;
thread_local bool chmod_fails = false;
thread_local std::vector<std::pair<std::string, mode_t>> chmod_calls;
thread_local bool refuse_read_write_open = false;
thread_local std::vector<int> open_flags;
thread_local int write_interruptions = 0;
thread_local int write_error = 0;

bool take_failure(int &count) {
    if (count == 0) return false;
    if (count > 0) --count;
    return true;
}

int failing_unlink(const char *path) {
    if (take_failure(unlink_failures)) {
        errno = EPERM;
        return -1;
    }
    return ::unlink(path);
}

int recording_chmod(const char *path, mode_t mode) {
    chmod_calls.emplace_back(path, mode);
    if (chmod_fails) {
        errno = EPERM;
        return -1;
    }
    return ::chmod(path, mode);
}

int recording_open(const char *path, int flags, mode_t mode) {
    open_flags.push_back(flags);
    if (refuse_read_write_open && (flags & O_ACCMODE) == O_RDWR) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags, mode);
}

ssize_t failing_write(int fd, const void *buffer, size_t count) {
    if (write_interruptions > 0) {
        --write_interruptions;
        errno = EINTR;
        return -1;
    }
    if (write_error) {
        errno = write_error;
        return -1;
    }
    return ::write(fd, buffer, count);
}

class FileAccessTest : public test::KernelTest {
  protected:
    void SetUp() override {
        test::KernelTest::SetUp();
        unlink_failures = 0;
        chmod_fails = false;
        chmod_calls.clear();
        refuse_read_write_open = false;
        open_flags.clear();
        write_interruptions = 0;
        write_error = 0;
        LocalSyscalls &s = kernel().files.sys;
        s.unlink = failing_unlink;
        s.chmod = recording_chmod;
        s.open = recording_open;
        s.write = failing_write;
    }
    void TearDown() override {
        test::KernelTest::TearDown();
        test::CountingAllocator::uninstall();
    }
    PurgeState &purge() { return kernel().purge; }
    std::string path(const std::string &name) const { return dir.file(name); }
    int open_file(const std::string &name, int mode, int kind = 0) {
        return VOXopen(path(name).c_str(), mode, kind);
    }
    int write_text(int handle, const std::string &text) {
        return VOXwrite(handle, text.data(), static_cast<unsigned>(text.size()));
    }
    TempDir dir;
};

TEST_F(FileAccessTest, CreateModeReplacesAnExistingReadOnlyFile) {
    write_file(path("out.icf"), "old content");
    ASSERT_EQ(chmod(path("out.icf").c_str(), 0444), 0);
    int h = open_file("out.icf", 2);
    ASSERT_GE(h, 0);
    EXPECT_EQ(access_mode(h), O_RDWR);
    EXPECT_NE(status_flags(h) & O_NONBLOCK, 0);
    EXPECT_EQ(write_text(h, "new"), 3);
    EXPECT_EQ(VOXclose(h), 0);
    EXPECT_EQ(read_file(path("out.icf")), "new");
    struct stat st;
    ASSERT_EQ(stat(path("out.icf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u & ~current_umask());
}

TEST_F(FileAccessTest, CreateModeMakesAStubbornFileWritableAndRemovesItAgain) {
    write_file(path("out.icf"), "old");
    unlink_failures = 1;
    int h = open_file("out.icf", 2);
    ASSERT_GE(h, 0);
    ASSERT_EQ(chmod_calls.size(), 1u);
    EXPECT_EQ(chmod_calls[0].first, path("out.icf"));
    EXPECT_EQ(chmod_calls[0].second, 0666u);
    EXPECT_EQ(VOXclose(h), 0);
    EXPECT_EQ(read_file(path("out.icf")), "");
}

TEST_F(FileAccessTest, CreateModeEndsWithCode1WhenTheOldFileStays) {
    write_file(path("out.icf"), "old");
    unlink_failures = -1;
    EXPECT_EQ(exit_code_of([&] { open_file("out.icf", 2); }), 1);
    EXPECT_EQ(chmod_calls.size(), 1u);

    unlink_failures = 1;
    chmod_fails = true;
    EXPECT_EQ(exit_code_of([&] { open_file("out.icf", 2); }), 1);
    EXPECT_EQ(read_file(path("out.icf")), "old");

    // Nothing to remove, nothing to fail.
    unlink_failures = -1;
    int h = open_file("new.icf", 2);
    EXPECT_GE(h, 0);
    VOXclose(h);
}

TEST_F(FileAccessTest, CreateModeFallsBackToWriteOnly) {
    refuse_read_write_open = true;
    int h = open_file("out.icf", 2);
    ASSERT_GE(h, 0);
    EXPECT_EQ(access_mode(h), O_WRONLY);
    ASSERT_EQ(open_flags.size(), 2u);
    EXPECT_EQ(open_flags[0] & (O_ACCMODE | O_CREAT), O_RDWR | O_CREAT);
    EXPECT_EQ(open_flags[1] & (O_ACCMODE | O_CREAT), O_WRONLY | O_CREAT);
    VOXclose(h);
}

TEST_F(FileAccessTest, UpdateModeKeepsContentOrCreatesTheFile) {
    write_file(path("a.tmp"), "abcdef");
    int h = open_file("a.tmp", 3);
    ASSERT_GE(h, 0);
    EXPECT_EQ(write_text(h, "XY"), 2);
    char buf[8] = {};
    EXPECT_EQ(VOXlseek(h, 0, 0), 0);
    EXPECT_EQ(VOXread(h, buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "XYcdef");
    VOXclose(h);

    h = open_file("missing.tmp", 3);
    ASSERT_GE(h, 0);
    EXPECT_TRUE(exists(path("missing.tmp")));
    EXPECT_EQ(access_mode(h), O_RDWR);
    VOXclose(h);
}

TEST_F(FileAccessTest, AppendModeAppendsOrCreatesWithoutAppending) {
    write_file(path("a.tmp"), "abc");
    int h = open_file("a.tmp", 4);
    ASSERT_GE(h, 0);
    EXPECT_NE(status_flags(h) & O_APPEND, 0);
    write_text(h, "de");
    VOXclose(h);
    EXPECT_EQ(read_file(path("a.tmp")), "abcde");

    h = open_file("b.tmp", 4);
    ASSERT_GE(h, 0);
    EXPECT_EQ(status_flags(h) & O_APPEND, 0);
    write_text(h, "hello");
    EXPECT_EQ(VOXlseek(h, 0, 0), 0);
    write_text(h, "J");
    VOXclose(h);
    EXPECT_EQ(read_file(path("b.tmp")), "Jello");
}

TEST_F(FileAccessTest, AnyOtherModeReadsOnly) {
    write_file(path("in.zem"), "source bytes");
    for (int mode : {1, 0, 5, -1}) {
        int h = open_file("in.zem", mode);
        ASSERT_GE(h, 0) << mode;
        EXPECT_EQ(access_mode(h), O_RDONLY) << mode;
        EXPECT_LT(write_text(h, "x"), 0) << mode;
        VOXclose(h);
    }
    EXPECT_EQ(open_file("missing.zem", 1), -1);
    EXPECT_FALSE(exists(path("missing.zem")));
}

TEST_F(FileAccessTest, StandardStreamsAreHandedOutButNeverClosed) {
    EXPECT_EQ(VOXopen("stdout", 2, 3), STDOUT_FILENO);
    EXPECT_EQ(kernel().files.stdout_handle, STDOUT_FILENO);
    EXPECT_EQ(VOXopen("stdin", 1, 0), STDIN_FILENO);
    EXPECT_EQ(kernel().files.stdin_handle, STDIN_FILENO);
    EXPECT_EQ(VOXclose(STDOUT_FILENO), 0);
    EXPECT_EQ(VOXclose(STDIN_FILENO), 0);
    EXPECT_EQ(VOXclose(-1), 0);
    EXPECT_TRUE(fd_is_open(STDOUT_FILENO));
    EXPECT_TRUE(fd_is_open(STDIN_FILENO));
    EXPECT_EQ(purge().PurgeableFileName[0], nullptr);
    EXPECT_EQ(purge().OpenFileHandle[0], -1);
    EXPECT_TRUE(open_flags.empty());
}

TEST_F(FileAccessTest, TemporaryFilesAreListedForPurgingUntilRemoved) {
    int created = open_file("a.tmp", 2, 3);
    int updated = open_file("b.tmp", 3, 3);
    int target = open_file("out.icf", 2, 2);
    int read_tmp = open_file("a.tmp", 1, 3);
    EXPECT_STREQ(purge().PurgeableFileName[0], path("a.tmp").c_str());
    EXPECT_EQ(purge().PurgeableFileHandle[0], created);
    EXPECT_STREQ(purge().PurgeableFileName[1], path("b.tmp").c_str());
    EXPECT_EQ(purge().PurgeableFileHandle[1], updated);
    EXPECT_EQ(purge().PurgeableFileName[2], nullptr);
    EXPECT_EQ(purge().OpenFileHandle[0], target);
    EXPECT_EQ(purge().OpenFileHandle[1], read_tmp);

    EXPECT_EQ(VOXclose(created), 0);
    EXPECT_FALSE(fd_is_open(created));
    EXPECT_EQ(purge().PurgeableFileHandle[0], -1);
    EXPECT_STREQ(purge().PurgeableFileName[0], path("a.tmp").c_str());
    EXPECT_EQ(VOXclose(target), 0);
    EXPECT_EQ(purge().OpenFileHandle[0], -1);

    EXPECT_EQ(VOXunlink(path("a.tmp").c_str()), 0);
    EXPECT_FALSE(exists(path("a.tmp")));
    EXPECT_EQ(purge().PurgeableFileName[0], nullptr);
    EXPECT_EQ(VOXunlink(path("a.tmp").c_str()), -1);
    VOXclose(updated);
    VOXclose(read_tmp);
}

TEST_F(FileAccessTest, NameOperationsOnLocalFiles) {
    write_file(path("a.tmp"), "12345");
    EXPECT_EQ(VOXCheckExist(path("a.tmp").c_str()), 0);
    EXPECT_EQ(CheckExist(path("a.tmp").c_str()), 0);
    EXPECT_EQ(VOXCheckExist(path("b.tmp").c_str()), -1);
    EXPECT_EQ(VOXGetSize(path("a.tmp").c_str()), 5);
    EXPECT_EQ(GETSIZE(path("a.tmp").c_str()), 5);
    EXPECT_EQ(VOXGetSize(path("b.tmp").c_str()), -1);
    EXPECT_EQ(VOXrename(path("a.tmp").c_str(), path("b.tmp").c_str()), 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"b.tmp"});
    EXPECT_EQ(VOXrename(path("a.tmp").c_str(), path("c.tmp").c_str()), -1);

    int h = bf_open(path("b.tmp").c_str(), 1);
    ASSERT_GE(h, 0);
    EXPECT_EQ(purge().OpenFileHandle[0], h);
    VOXclose(h);
    EXPECT_EQ(openDatFile(), -1);
    EXPECT_EQ(GetMaxFilenmLen(), 512);
}

TEST_F(FileAccessTest, LocalWriteFailuresComeBackAndInterruptionsAreRetried) {
    int h = open_file("a.tmp", 2);
    ASSERT_GE(h, 0);
    write_interruptions = 2;
    EXPECT_EQ(write_text(h, "abc"), 3);
    write_error = ENOSPC;
    EXPECT_EQ(write_text(h, "def"), -1);
    VOXclose(h);
    EXPECT_EQ(read_file(path("a.tmp")), "abc");
}

TEST_F(FileAccessTest, HostFunctionsReceiveEveryOperation) {
    test::use_host_files(true);
    test::HostFilePlan &plan = test::host_files();
    std::string a = path("a.tmp"), b = path("b.tmp");

    int h = VOXopen(a.c_str(), 2, 3);
    ASSERT_GE(h, 0);
    EXPECT_EQ(plan.opens, 1);
    EXPECT_EQ(VOXwrite(h, "hello", 5), 5);
    EXPECT_EQ(VOXlseek(h, 1, 0), 1);
    char buf[8] = {};
    EXPECT_EQ(VOXread(h, buf, 3), 3);
    EXPECT_STREQ(buf, "ell");
    EXPECT_EQ(VOXclose(h), 0);
    EXPECT_EQ(VOXGetSize(a.c_str()), 5);
    EXPECT_EQ(VOXCheckExist(a.c_str()), 0);
    EXPECT_EQ(VOXrename(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(VOXCheckExist(a.c_str()), -1);
    EXPECT_EQ(VOXunlink(b.c_str()), 0);
    EXPECT_EQ(plan.calls, 10);
    EXPECT_EQ(plan.writes, 1);
    EXPECT_EQ(plan.reads, 1);
    EXPECT_EQ(plan.seeks, 1);
    EXPECT_TRUE(dir.entries().empty());

    // The host's files are the host's: nothing is registered locally, and
    // the local calls are not used at all.
    EXPECT_EQ(purge().PurgeableFileName[0], nullptr);
    EXPECT_EQ(purge().OpenFileHandle[0], -1);
    EXPECT_TRUE(open_flags.empty());
}

TEST_F(FileAccessTest, HostResultsArePassedThrough) {
    test::use_host_files(true);
    test::HostFilePlan &plan = test::host_files();
    int h = VOXopen(path("a.tmp").c_str(), 4, 0);
    ASSERT_GE(h, 0);
    plan.fail_write_at = 1;
    plan.zero_read_at = 1;
    EXPECT_EQ(VOXwrite(h, "x", 1), -1);
    EXPECT_EQ(VOXread(h, nullptr, 1), 0);
    plan.fail_seek_at = 1;
    EXPECT_EQ(VOXlseek(h, 0, 0), -1);
    VOXclose(h);
    plan.fail_open_at = 2;
    EXPECT_EQ(VOXopen(path("a.tmp").c_str(), 1, 0), -1);

    // A name listed for purging stays listed after a host removal.
    LogPurgeableFileName(path("a.tmp").c_str(), -1);
    EXPECT_EQ(VOXunlink(path("a.tmp").c_str()), 0);
    EXPECT_NE(purge().PurgeableFileName[0], nullptr);
}

TEST_F(FileAccessTest, FileNameParts) {
    struct Case {
        const char *path, *name, *directory, *extension;
    };
    const Case cases[] = {
        {"/a/b/name.ext", "name", "/a/b/", "ext"},
        {"name", "name", "", ""},
        {"a.b.c", "a.b", "", "c"},
        {"/x.d/file", "file", "/x.d/", ""},
        {"dir/", "", "dir/", ""},
        {"file.", "file", "", ""},
        {"c:x.txt", "x", "c:", "txt"},
        {"", "", "", ""},
    };
    for (const Case &c : cases) {
        char result[64];
        std::memset(result, '#', sizeof result);
        EXPECT_EQ(GetFileName(result, c.path, 0), 0);
        EXPECT_STREQ(result, c.name) << c.path;
        GetFileName(result, c.path, 1);
        EXPECT_STREQ(result, c.directory) << c.path;
        GetFileName(result, c.path, 2);
        EXPECT_STREQ(result, c.extension) << c.path;
        GetFileName(result, c.path, 3);
        EXPECT_STREQ(result, "") << c.path;
    }
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);  // the work area is released
}

TEST_F(FileAccessTest, FileNamePartsWithoutMemory) {
    test::CountingAllocator::install(1, true);
    char result[16] = "untouched";
    EXPECT_EQ(GetFileName(result, "/a/b.c", 0), -1);
}

TEST_F(FileAccessTest, BuildFileNameJoinsTheGivenParts) {
    char r[64] = "";
    EXPECT_EQ(BuildFileName("/d/", "name", "ext", 99, r), 0);
    EXPECT_STREQ(r, "/d/name.ext");
    r[0] = '\0';
    BuildFileName(nullptr, "name", "", 0, r);
    EXPECT_STREQ(r, "name");
    r[0] = '\0';
    BuildFileName("/d/", nullptr, nullptr, 0, r);
    EXPECT_STREQ(r, "/d/");
}

TEST_F(FileAccessTest, CancelCheckTellsFatalFromNonFatalCodes) {
    const std::pair<int, int> cases[] = {{0, 0}, {5, 0}, {12, 0}, {1, 1}, {4, 1}, {16, 1}};
    for (auto [code, cancelled] : cases) {
        kernel().errors.last_err = code;
        EXPECT_EQ(CancelCheck(), cancelled) << code;
    }
}

TEST_F(FileAccessTest, PipeBuffersAreTrackedAndReplaced) {
    kernel().settings.max_pipe_buf_len = 100;
    EXPECT_EQ(InitIFSPipes(), 0);
    FileLayerState &f = kernel().files;
    ASSERT_NE(f.in_pipe_buffer, nullptr);
    ASSERT_NE(f.out_pipe_buffer, nullptr);
    EXPECT_NE(f.in_pipe_buffer, f.out_pipe_buffer);
    EXPECT_EQ((f.in_pipe_buffer - kBlockHeaderSize)[16], 'm');  // tracked blocks
    EXPECT_EQ((f.out_pipe_buffer - kBlockHeaderSize)[16], 'm');
    f.out_pipe_buffer[103] = 1;  // max_pipe_buf_len + 4 bytes are usable

    test::CountingAllocator::install();
    EXPECT_EQ(InitIFSPipes(), 0);  // again: the old buffers go
    unsigned char *block = kernel().memory.MemoryChain;
    int blocks = 0;
    for (; block; std::memcpy(&block, block + sizeof block, sizeof block)) ++blocks;
    EXPECT_EQ(blocks, 2);
}

TEST_F(FileAccessTest, PipeBuffersFallBackToTheSystemAllocatorForLargeRecords) {
    kernel().settings.max_pipe_buf_len = 8000;
    test::CountingAllocator::install(1);
    EXPECT_EQ(InitIFSPipes(), 0);
    EXPECT_TRUE(kernel().files.pipe_buffers_direct);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
    kernel().files.out_pipe_buffer[4095] = 1;
    VOXFreeAll();
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
}

TEST_F(FileAccessTest, PipeBuffersThatCannotBeHadEndTheConversion) {
    kernel().settings.max_pipe_buf_len = 100;
    test::CountingAllocator::install(1);
    EXPECT_EQ(exit_code_of([] { InitIFSPipes(); }), 8);
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);

    kernel().settings.max_pipe_buf_len = 8000;
    test::CountingAllocator::install(1, true);
    EXPECT_EQ(exit_code_of([] { InitIFSPipes(); }), 8);
}

TEST_F(FileAccessTest, OSInitializeEmptiesTheHandleListsEveryTime) {
    test::CountingAllocator::install();
    LogPurgeableFileName("/t/a.tmp", 7);
    LogOpenFileHandle(8);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(VOXOSInitialize(), 0);
        for (int h : purge().PurgeableFileHandle) EXPECT_EQ(h, -1);
        for (int h : purge().OpenFileHandle) EXPECT_EQ(h, -1);
        EXPECT_NE(kernel().files.in_pipe_buffer, nullptr);
        // Between conversions everything tracked is released.
        VOXFreeAll();
        EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
    }
}

}  // namespace
}  // namespace vox
