// Purge bookkeeping: slot use, overflow, handle and name withdrawal, and the
// clean-up that closes and removes what the lists hold.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "test_support.h"

namespace vox {
namespace {

using test::TempDir;

PurgeState &purge() { return kernel().purge; }

bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }
bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

int open_new(const std::string &path) { return ::open(path.c_str(), O_RDWR | O_CREAT, 0600); }

class PurgeTest : public test::KernelTest {
  protected:
    void TearDown() override {
        test::KernelTest::TearDown();
        test::CountingAllocator::uninstall();
    }
};

TEST_F(PurgeTest, NameAlreadyListedOnlyUpdatesItsHandle) {
    LogPurgeableFileName("/t/a.tmp", 7);
    LogPurgeableFileName("/t/b.tmp", 8);
    char *first_copy = purge().PurgeableFileName[0];
    LogPurgeableFileName("/t/a.tmp", 9);

    EXPECT_EQ(purge().PurgeableFileName[0], first_copy);
    EXPECT_STREQ(purge().PurgeableFileName[0], "/t/a.tmp");
    EXPECT_EQ(purge().PurgeableFileHandle[0], 9);
    EXPECT_EQ(purge().PurgeableFileHandle[1], 8);
    EXPECT_EQ(purge().PurgeableFileName[2], nullptr);
    EXPECT_EQ(purge().PurgeableFileHandle[2], -1);
}

TEST_F(PurgeTest, NamesAreCopiedAndFreeSlotsReused) {
    std::string name = "/t/copied.tmp";
    LogPurgeableFileName(name.c_str(), 3);
    name[3] = 'X';
    EXPECT_STREQ(purge().PurgeableFileName[0], "/t/copied.tmp");

    // A slot whose handle was closed still holds its name and is not free.
    LogPurgeableFileClose(3);
    LogPurgeableFileName("/t/second.tmp", 4);
    EXPECT_STREQ(purge().PurgeableFileName[1], "/t/second.tmp");
    // Once the name is gone too, the pair is free again.
    LogPurgeableFileUnlink("/t/copied.tmp");
    LogPurgeableFileName("/t/third.tmp", 5);
    EXPECT_STREQ(purge().PurgeableFileName[0], "/t/third.tmp");
    EXPECT_EQ(purge().PurgeableFileHandle[0], 5);
}

TEST_F(PurgeTest, OverflowIsSilent) {
    for (int i = 0; i < kPurgeSlots + 3; ++i)
        LogPurgeableFileName(("/t/f" + std::to_string(i)).c_str(), 100 + i);
    EXPECT_STREQ(purge().PurgeableFileName[kPurgeSlots - 1], "/t/f39");
    EXPECT_EQ(purge().PurgeableFileHandle[kPurgeSlots - 1], 139);

    for (int i = 0; i < kOpenHandleSlots + 2; ++i) LogOpenFileHandle(200 + i);
    LogOpenFileHandle(200);  // already listed
    for (int i = 0; i < kOpenHandleSlots; ++i) EXPECT_EQ(purge().OpenFileHandle[i], 200 + i);
}

TEST_F(PurgeTest, NameCopyFailureStillKeepsTheHandle) {
    test::CountingAllocator::install(1, true);
    LogPurgeableFileName("/t/a.tmp", 12);
    EXPECT_EQ(purge().PurgeableFileName[0], nullptr);
    EXPECT_EQ(purge().PurgeableFileHandle[0], 12);
}

TEST_F(PurgeTest, CloseWithdrawsThePurgeableHandleBeforeAnOpenOne) {
    LogPurgeableFileName("/t/a.tmp", 5);
    LogOpenFileHandle(5);
    LogOpenFileHandle(6);

    LogPurgeableFileClose(5);
    EXPECT_EQ(purge().PurgeableFileHandle[0], -1);
    EXPECT_STREQ(purge().PurgeableFileName[0], "/t/a.tmp");
    EXPECT_EQ(purge().OpenFileHandle[0], 5);

    LogPurgeableFileClose(5);
    EXPECT_EQ(purge().OpenFileHandle[0], -1);
    EXPECT_EQ(purge().OpenFileHandle[1], 6);
}

TEST_F(PurgeTest, UnlinkReleasesTheCopy) {
    LogPurgeableFileName("/t/a.tmp", 5);
    LogPurgeableFileUnlink("/t/other.tmp");
    EXPECT_NE(purge().PurgeableFileName[0], nullptr);
    LogPurgeableFileUnlink("/t/a.tmp");
    EXPECT_EQ(purge().PurgeableFileName[0], nullptr);
    EXPECT_EQ(purge().PurgeableFileHandle[0], 5);  // the handle is withdrawn on close
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
}

TEST_F(PurgeTest, RemovePurgeableFilesClosesAndRemovesButSparesTheTarget) {
    TempDir dir;
    std::string open_tmp = dir.file("open.tmp"), closed_tmp = dir.file("closed.tmp");
    std::string target = dir.file("out.icf"), source = dir.file("in.zem");
    std::strcpy(kernel().settings.icfname, target.c_str());

    int fd_open = open_new(open_tmp);
    int fd_target = open_new(target);
    int fd_source = open_new(source);
    ::close(open_new(closed_tmp));
    LogPurgeableFileName(open_tmp.c_str(), fd_open);
    LogPurgeableFileName(closed_tmp.c_str(), -1);
    LogPurgeableFileName(target.c_str(), fd_target);
    LogOpenFileHandle(fd_source);

    RemovePurgeableFiles();

    EXPECT_FALSE(exists(open_tmp));
    EXPECT_FALSE(exists(closed_tmp));
    EXPECT_TRUE(exists(target));
    EXPECT_TRUE(exists(source));
    EXPECT_FALSE(fd_is_open(fd_open));
    EXPECT_FALSE(fd_is_open(fd_target));
    EXPECT_FALSE(fd_is_open(fd_source));
    for (int i = 0; i < kPurgeSlots; ++i) EXPECT_EQ(purge().PurgeableFileHandle[i], -1);
    for (int h : purge().OpenFileHandle) EXPECT_EQ(h, -1);
    EXPECT_EQ(purge().PurgeableFileName[0], nullptr);
    EXPECT_EQ(purge().PurgeableFileName[1], nullptr);
}

TEST_F(PurgeTest, ClearPurgeListForgetsEverything) {
    for (int i = 0; i < 5; ++i) LogPurgeableFileName(("/t/f" + std::to_string(i)).c_str(), i + 3);
    LogOpenFileHandle(42);
    ClearPurgeList();
    for (int i = 0; i < kPurgeSlots; ++i) {
        EXPECT_EQ(purge().PurgeableFileName[i], nullptr);
        EXPECT_EQ(purge().PurgeableFileHandle[i], -1);
    }
    for (int h : purge().OpenFileHandle) EXPECT_EQ(h, -1);
    EXPECT_EQ(kernel().memory.MemoryChain, nullptr);
}

}  // namespace
}  // namespace vox
