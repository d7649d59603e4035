// Temporary names, the clock, the temporary-file list and the names under
// which referenced files are opened.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "test_support.h"

namespace vox {
namespace {

using test::TempDir;

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

long size_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string next_name(const std::string &path) {
    char result[PATH_MAX];
    EXPECT_EQ(gen_fnam(path.c_str(), result), 0);
    return result;
}

class TempFilesTest : public test::KernelTest {
  protected:
    void TearDown() override {
        test::KernelTest::TearDown();
        test::CountingAllocator::uninstall();
    }
    void start_at(unsigned n) { kernel().temp_files.CurTempNum = n; }
    TempDir dir;
};

TEST_F(TempFilesTest, NamesGoNextToThePathCreatedAndCountingUp) {
    start_at(41);
    std::string first = next_name(dir.file("vox99int.tmp"));
    EXPECT_EQ(first, dir.file("VX000041.TMP"));
    EXPECT_EQ(size_of(first), 0);
    EXPECT_EQ(next_name(dir.file("vox99int.tmp")), dir.file("VX000042.TMP"));
    EXPECT_EQ(kernel().temp_files.CurTempNum, 43u);
    // The created files stay to reserve their names.
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"VX000041.TMP", "VX000042.TMP"}));
}

TEST_F(TempFilesTest, ExistingNamesAndTheTargetNameAreSkipped) {
    test::write_file(dir.file("VX000007.TMP"), "keep");
    std::strcpy(kernel().settings.icfname, dir.file("VX000008.TMP").c_str());
    start_at(7);
    EXPECT_EQ(next_name(dir.file("a.zem")), dir.file("VX000009.TMP"));
    EXPECT_EQ(test::read_file(dir.file("VX000007.TMP")), "keep");
    EXPECT_FALSE(exists(dir.file("VX000008.TMP")));
}

TEST_F(TempFilesTest, OnlySixDigitsOfTheCounterAreUsed) {
    start_at(1999999);
    EXPECT_EQ(next_name(dir.file("x")), dir.file("VX999999.TMP"));
    EXPECT_EQ(next_name(dir.file("x")), dir.file("VX000000.TMP"));
}

TEST_F(TempFilesTest, PathIsCutAfterItsLastSeparatorOfAnyKind) {
    start_at(1);
    EXPECT_EQ(next_name(dir.path() + "/"), dir.file("VX000001.TMP"));
    // Backslash and colon separate too; on this host they are plain name
    // characters, so the files land in dir with those prefixes.
    EXPECT_EQ(next_name(dir.file("sub\\doc.zem")), dir.file("sub\\VX000002.TMP"));
    EXPECT_EQ(next_name(dir.file("c:doc.zem")), dir.file("c:VX000003.TMP"));
    EXPECT_TRUE(exists(dir.file("c:VX000003.TMP")));

    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    std::string bare = next_name("vox99int.tmp");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(bare, "VX000004.TMP");
    EXPECT_TRUE(exists(dir.file("VX000004.TMP")));
}

TEST_F(TempFilesTest, FirstNumberComesFromTheTimeOfDay) {
    unsigned char before[8], after[8];
    getclk(before);
    std::string name = next_name(dir.file("t.icf"));
    getclk(after);
    auto seed = [](const unsigned char *c) { return c[4] * 65536u + c[5] * 256u + c[6]; };
    char expect_before[16], expect_after[16];
    std::snprintf(expect_before, sizeof expect_before, "VX%06u.TMP", seed(before) % 1000000);
    std::snprintf(expect_after, sizeof expect_after, "VX%06u.TMP", seed(after) % 1000000);
    std::string base = name.substr(name.rfind('/') + 1);
    EXPECT_TRUE(base == expect_before || base == expect_after) << base;
}

TEST_F(TempFilesTest, DirectoryThatRefusesEveryNameGivesUp) {
    char result[PATH_MAX];
    start_at(1);
    EXPECT_EQ(gen_fnam(dir.file("missing/sub/t.icf").c_str(), result), -1);
}

TEST_F(TempFilesTest, ClockGivesLocalDateAndTime) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        unsigned char clk[8] = {0, 0, 0, 0, 0, 0, 0, 99};
        std::time_t t1 = std::time(nullptr);
        EXPECT_EQ(getclk(clk), 0);
        if (std::time(nullptr) != t1) continue;  // a second boundary passed
        std::tm tm{};
        localtime_r(&t1, &tm);
        EXPECT_EQ(clk[0], tm.tm_wday);
        EXPECT_EQ(clk[1], tm.tm_year + 1900 - 1980);
        EXPECT_EQ(clk[2], tm.tm_mon + 1);
        EXPECT_EQ(clk[3], tm.tm_mday);
        EXPECT_EQ(clk[4], tm.tm_hour);
        EXPECT_EQ(clk[5], tm.tm_min);
        EXPECT_EQ(clk[6], tm.tm_sec);
        EXPECT_EQ(clk[7], 0);
        return;
    }
    FAIL() << "clock kept crossing second boundaries";
}

TEST_F(TempFilesTest, RemoveTempFilesRemovesListedFilesThatExist) {
    test::write_file(dir.file("a.tmp"), "a");
    test::write_file(dir.file("c.tmp"), "c");
    test::write_file(dir.file("unlisted.tmp"), "u");
    EXPECT_EQ(AddTempFileName(dir.file("a.tmp").c_str()), 0);
    EXPECT_EQ(AddTempFileName(dir.file("b.tmp").c_str()), 0);  // never created
    EXPECT_EQ(AddTempFileName(dir.file("c.tmp").c_str()), 0);

    const TempFileState &t = kernel().temp_files;
    ASSERT_NE(t.FileList, nullptr);
    EXPECT_STREQ(t.FileList->name, dir.file("a.tmp").c_str());
    EXPECT_STREQ(t.LastFile->name, dir.file("c.tmp").c_str());
    EXPECT_EQ(t.LastFile->next, nullptr);

    EXPECT_EQ(RemoveTempFiles(), 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"unlisted.tmp"});
    // The records stay until the tracked memory is released.
    EXPECT_EQ(t.FileList->next->next, t.LastFile);
}

TEST_F(TempFilesTest, TempListSurvivesReleaseOfAllTrackedMemory) {
    AddTempFileName(dir.file("old.tmp").c_str());
    VOXFreeAll();
    test::write_file(dir.file("new.tmp"), "n");
    AddTempFileName(dir.file("new.tmp").c_str());
    EXPECT_EQ(RemoveTempFiles(), 0);
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_EQ(kernel().temp_files.FileList, kernel().temp_files.LastFile);
}

TEST_F(TempFilesTest, ReferencedFileIsLookedForBesideTheBase) {
    ASSERT_EQ(mkdir(dir.file("docs").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.file("art").c_str(), 0700), 0);
    std::string base = dir.file("docs/a.zem");
    auto fix = [&](const std::string &reference) {
        char *r = FixRefFileName(reference.c_str(), base.c_str());
        std::string s = r;
        VOXfree(r);
        return s;
    };

    EXPECT_EQ(fix("pic.tif"), "pic.tif");
    test::write_file(dir.file("docs/pic.tif"), "p");
    EXPECT_EQ(fix("pic.tif"), dir.file("docs/pic.tif"));

    // A reference with a directory is taken as it is when it exists ...
    test::write_file(dir.file("art/pic.tif"), "q");
    EXPECT_EQ(fix(dir.file("art/pic.tif")), dir.file("art/pic.tif"));
    // ... else its file name is tried beside the base ...
    EXPECT_EQ(fix(dir.file("gone/pic.tif")), dir.file("docs/pic.tif"));
    EXPECT_EQ(fix("C:\\pics\\pic.tif"), dir.file("docs/pic.tif"));
    // ... and failing both it is returned unchanged.
    EXPECT_EQ(fix("/nowhere/x.tif"), "/nowhere/x.tif");
}

TEST_F(TempFilesTest, ReferencedNameWithoutMemoryEndsTheConversion) {
    test::CountingAllocator::install(1, true);
    EXPECT_EQ(test::exit_code_of([] { FixRefFileName("pic.tif", "/docs/a.zem"); }), 8);
}

}  // namespace
}  // namespace vox
