// Temporary names, the names under which referenced files are opened, and
// the purge lists that clean up after a conversion.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "test_support.h"

namespace vox {

class TempFilesTest : public test::KernelTest {
  protected:
    std::string next_name(const std::string &path) {
        char result[PATH_MAX];
        EXPECT_EQ(gen_fnam(path.c_str(), result), 0);
        return result;
    }
    PurgeState &purge = kernel().purge;
    test::TempDir dir;
};

// Catches a name not made of the path's directory (cut after '/', '\' or
// ':'), VX, six digits and .TMP; a file not created (and listed) to reserve
// it; an existing name or the target's name given out; a counter that does
// not go on from the number given out; and a refusing directory looped on.
TEST_F(TempFilesTest, NamesGoBesideThePathCreatedAndCountingUp) {
    test::write_file(dir.file("VX000007.TMP"), "keep");
    std::strcpy(kernel().settings.icfname, dir.file("VX000008.TMP").c_str());
    kernel().temp_files.CurTempNum = 7;
    EXPECT_EQ(next_name(dir.file("a.zem")), dir.file("VX000009.TMP"));
    EXPECT_EQ(kernel().temp_files.CurTempNum, 10u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"VX000007.TMP", "VX000009.TMP"}));
    EXPECT_STREQ(purge.PurgeableFileName[0], dir.file("VX000009.TMP").c_str());
    kernel().temp_files.CurTempNum = 1999999;
    EXPECT_EQ(next_name(dir.file("c:x")), dir.file("c:VX999999.TMP"));
    EXPECT_EQ(next_name(dir.file("y\\x")), dir.file("y\\VX000000.TMP"));
    EXPECT_EQ(next_name(dir.path() + "/"), dir.file("VX000001.TMP"));
    char result[PATH_MAX];
    EXPECT_EQ(gen_fnam(dir.file("missing/t.icf").c_str(), result), -1);
}

// Catches a reference not looked for beside the base, a path with a
// directory taken without checking it exists, a changed name when nothing is
// found, and no exit code 8 without memory.
TEST_F(TempFilesTest, ReferencedFileIsLookedForBesideTheBase) {
    ASSERT_EQ(mkdir(dir.file("docs").c_str(), 0700) + mkdir(dir.file("art").c_str(), 0700), 0);
    std::string base = dir.file("docs/a.zem"), beside = dir.file("docs/pic.tif");
    auto fix = [&](const std::string &ref) { return std::string(FixRefFileName(ref.c_str(), base.c_str())); };
    EXPECT_EQ(fix("pic.tif"), "pic.tif");
    test::write_file(beside, "p");
    test::write_file(dir.file("art/pic.tif"), "q");
    const std::pair<std::string, std::string> cases[] = {
        {"pic.tif", beside}, {dir.file("art/pic.tif"), dir.file("art/pic.tif")}, {dir.file("gone/pic.tif"), beside},
        {"C:\\pics\\pic.tif", beside}, {"/nowhere/x.tif", "/nowhere/x.tif"}};
    for (const auto &[reference, expected] : cases) EXPECT_EQ(fix(reference), expected) << reference;
    test::CountingAllocator::install(1, true);
    EXPECT_EQ(test::exit_code_of([&] { fix("pic.tif"); }), 8);
}

// Catches a listed name given a new slot (not just its new handle), a name not
// copied, a slot reused while its name stays after close (or kept after
// unlink), close withdrawing the open handle first, ClearPurgeList leaving
// anything, overflow not silent, and a failed name copy losing the handle.
TEST_F(TempFilesTest, PurgeLists) {
    std::string name = "/t/a.tmp";
    LogPurgeableFileName(name.c_str(), 7);
    name[3] = 'X';
    LogPurgeableFileName("/t/b.tmp", 8);
    LogPurgeableFileName("/t/a.tmp", 9);
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileHandle[0], purge.PurgeableFileName[2]), std::make_tuple(9, nullptr));
    LogPurgeableFileClose(9);
    EXPECT_EQ(purge.PurgeableFileHandle[0], -1);
    LogPurgeableFileName("/t/c.tmp", 10);
    EXPECT_STREQ(purge.PurgeableFileName[2], "/t/c.tmp");
    LogPurgeableFileUnlink("/t/a.tmp");
    LogPurgeableFileName("/t/d.tmp", 5);
    EXPECT_STREQ(purge.PurgeableFileName[0], "/t/d.tmp");
    LogOpenFileHandle(5);
    LogPurgeableFileClose(5);  // the purgeable handle goes first
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileHandle[0], purge.OpenFileHandle[0]), std::make_tuple(-1, 5));
    ClearPurgeList();
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileName[0], purge.OpenFileHandle[0], kernel().memory.MemoryChain),
              std::make_tuple(nullptr, -1, nullptr));
    for (int i = 0; i < kPurgeSlots + 3; ++i) LogPurgeableFileName(("/t/f" + std::to_string(i)).c_str(), 100 + i);
    for (int i = 0; i < kOpenHandleSlots + 2; ++i) LogOpenFileHandle(200 + i);
    LogOpenFileHandle(200);
    EXPECT_STREQ(purge.PurgeableFileName[kPurgeSlots - 1], "/t/f39");
    for (int i = 0; i < kOpenHandleSlots; ++i) EXPECT_EQ(purge.OpenFileHandle[i], 200 + i);
    ClearPurgeList();
    test::CountingAllocator::install(1, true);
    LogPurgeableFileName("/t/a.tmp", 12);
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileName[0], purge.PurgeableFileHandle[0]), std::make_tuple(nullptr, 12));
}

// Catches clean-up that leaves a listed file or handle, or removes the target.
TEST_F(TempFilesTest, RemovePurgeableFilesSparesTheTarget) {
    auto open_new = [&](const char *n) { return ::open(dir.file(n).c_str(), O_RDWR | O_CREAT, 0600); };
    std::strcpy(kernel().settings.icfname, dir.file("out.icf").c_str());
    const int fds[] = {open_new("open.tmp"), open_new("out.icf"), open_new("in.zem")};
    ::close(open_new("closed.tmp"));
    LogPurgeableFileName(dir.file("open.tmp").c_str(), fds[0]);
    LogPurgeableFileName(dir.file("closed.tmp").c_str(), -1);
    LogPurgeableFileName(dir.file("out.icf").c_str(), fds[1]);
    LogOpenFileHandle(fds[2]);
    RemovePurgeableFiles();
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.zem", "out.icf"}));
    for (int fd : fds) EXPECT_EQ(fcntl(fd, F_GETFD), -1) << fd;
    EXPECT_EQ(std::make_tuple(purge.PurgeableFileHandle[0], purge.PurgeableFileName[0], purge.OpenFileHandle[0]),
              std::make_tuple(-1, nullptr, -1));
}

}  // namespace vox
