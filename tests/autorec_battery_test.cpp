// The recogniser as a whole: the battery order where two testers could
// claim the same block, the expected-format runs, the file-level entry
// points (with and without the caller's I/O table, failures included) and
// the small exported helpers.
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "autorec/autorec.h"
#include "common/kernel_state.h"
#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

using AutoRecBattery = KernelTest;

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

void put_entry(ByteBlock &b, std::size_t at, const std::string &name) {
    for (std::size_t i = 0; i < name.size(); ++i) b.put(at + 2 * i, {static_cast<unsigned char>(name[i]), 0});
    b.le16(at + 64, static_cast<unsigned>(2 * (name.size() + 1))).put(at + 66, {2, 1});
    b.le32(at + 68, 0xFFFFFFFFu).le32(at + 72, 0xFFFFFFFFu).le32(at + 76, 0xFFFFFFFFu);
}

const std::string kCodeAndEscapes = "\x1b\x1d" "DID42\x1f\x1e\x1b[1mB\x1b[0m \x1b[4mU\x1b[24m";
const std::string kPlot = "IN;IP0,0,8128,8128;SP1;PU0,0;PD100,100;PU;PA200,200;";
const std::string kSixDotCommands = ".mt 3\n.mb 3\n.pl 66\n.po 8\n.he Title\n.fo Page #\ntext\n";
const std::string kFourDotCommands = ".mt 3\n.mb 3\n.pl 66\n.po 8\ntext\n";

TEST_F(AutoRecBattery, EarlierTesterWinsASharedBlock) {
    const std::string rtf_html = "{\\rtf1 <html><head>x</head>";
    EXPECT_EQ(run_tester(auto_tst_html, rtf_html), (Outcome{108, 3}));
    EXPECT_EQ(recognise(rtf_html), (Outcome{19, 1}));

    EXPECT_EQ(run_tester(auto_tst_dif, kCodeAndEscapes), (Outcome{18, 0}));
    EXPECT_EQ(recognise(kCodeAndEscapes), (Outcome{3, 0}));

    const std::string pdf_html = "%PDF-1.4 <html>";
    EXPECT_EQ(recognise(pdf_html), (Outcome{107, 0}));

    ByteBlock tiff(1024);
    tiff.put(0, {'I', 'I', 0x2A, 0x00});
    put_entry(tiff, 512, "WordDocument");
    EXPECT_EQ(run_tester(auto_tst_WinWord6, tiff.str()), (Outcome{49, 0}));
    EXPECT_EQ(recognise(tiff.str()), (Outcome{502, 0}));

    ByteBlock word_and_slides(1024);
    put_entry(word_and_slides, 512, "PowerPoint Document");
    put_entry(word_and_slides, 640, "WordDocument");
    EXPECT_EQ(recognise(word_and_slides.str()), (Outcome{49, 0}));

    const std::string zem_html = "<ZEMFile 5.00>\n<html><head>";
    EXPECT_EQ(recognise(zem_html), (Outcome{42, 2}));

    // Plotter commands and dot commands are also plain text: the text
    // statistics come last.
    EXPECT_EQ(run_tester(auto_tst_asc, kPlot), (Outcome{1, 0}));
    EXPECT_EQ(recognise(kPlot), (Outcome{604, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, kSixDotCommands), (Outcome{1, 0}));
    EXPECT_EQ(recognise(kSixDotCommands), (Outcome{4, 0}));
    const std::string ruler_and_dots = "L" + std::string(22, '.') + "R\n" + kSixDotCommands;
    EXPECT_EQ(recognise(ruler_and_dots), (Outcome{101, 0}));

    // A painting whose first bytes read like an archive.
    ByteBlock paint(2048);
    paint.put(0, "PK\x03\x04").put(512, repeat(bytes({0xB9, 0x00}), 10));
    EXPECT_EQ(run_tester(auto_tst_zip, paint.str()), (Outcome{940, 0}));
    EXPECT_EQ(recognise(paint.str()), (Outcome{508, 0}));
}

TEST_F(AutoRecBattery, ExpectedTesterRunsFirstWithItsFlag) {
    const std::string fft_once = bytes({'+', 0xD2, 0x04, 0x85}) + "abcdef";
    EXPECT_EQ(recognise(fft_once, 32), (Outcome{32, 0}));
    EXPECT_EQ(kernel().autorec.MinorVal, 0);
    EXPECT_EQ(recognise(fft_once), (Outcome{0, 0}));

    EXPECT_EQ(recognise(kFourDotCommands, 4), (Outcome{4, 0}));
    EXPECT_EQ(recognise(kFourDotCommands), (Outcome{1, 0}));
    // An expected tester that fails leaves the flag clear for the battery.
    EXPECT_EQ(recognise(kFourDotCommands, 27), (Outcome{1, 0}));

    const std::string two_codes = ByteBlock(150, 'a').put(0, {0xC0, 0xC1}).put(4, {0xC1, 0xC0}).str();
    EXPECT_EQ(recognise(two_codes, 6), (Outcome{6, 0}));
    EXPECT_EQ(recognise(two_codes), (Outcome{1, 0}));

    EXPECT_EQ(recognise(kCodeAndEscapes, 18), (Outcome{18, 0}));
    EXPECT_EQ(recognise(kPlot, 1), (Outcome{1, 0}));
}

TEST_F(AutoRecBattery, ExpectedNumbersAndTheirTesters) {
    ByteBlock mac_word(24);
    mac_word.put(0, {0xFE, '7'}).put(22, {1});
    EXPECT_EQ(recognise(mac_word.str(), 53), (Outcome{54, 1}));
    EXPECT_EQ(recognise(mac_word.str(), 54), (Outcome{54, 1}));

    ByteBlock ws5(128);
    ws5.put(0, {0x1D, '}', 0, 0, 'U'}).put(125, {'}', 0, 0x1D});
    EXPECT_EQ(recognise(ws5.str(), 4), (Outcome{4, 4}));

    // 55 runs a tester that never answers; 504 and 49 run none: the
    // battery decides.
    EXPECT_EQ(recognise("plain words\n", 55), (Outcome{1, 0}));
    EXPECT_EQ(recognise(kPlot, 504), (Outcome{604, 0}));
    EXPECT_EQ(recognise("GIF89a", 19), (Outcome{512, 0}));

    // Every expected format of the table reaches its tester: the table row
    // for each number names the tester the recogniser has for it.
    const std::map<int, std::string> expected = {
        {1, "auto_tst_asc"},     {3, "auto_tst_com"},      {5, "auto_tst_msw"},       {6, "auto_tst_wp4"},
        {7, "auto_tst_wp5"},     {8, "auto_tst_pfs"},      {9, "auto_tst_ws2"},       {10, "auto_tst_mm"},
        {13, "auto_tst_ibm"},    {14, "auto_tst_vw"},      {15, "auto_tst_rft"},      {16, "auto_tst_ow"},
        {17, "auto_tst_xyw"},    {18, "auto_tst_dif"},     {19, "auto_tst_rtf"},      {20, "auto_tst_wks"},
        {21, "auto_tst_xls"},    {22, "auto_tst_sma"},     {23, "auto_tst_qaw"},      {24, "auto_tst_lm"},
        {25, "auto_tst_rf"},     {26, "auto_tst_wang"},    {27, "auto_tst_ptx"},      {28, "auto_tst_en"},
        {29, "auto_tst_fw3"},    {30, "auto_tst_dx"},      {31, "auto_tst_mas"},      {32, "auto_tst_fft"},
        {33, "auto_tst_ami"},    {35, "auto_tst_ilf"},     {36, "auto_tst_def"},      {37, "auto_tst_leg"},
        {42, "auto_tst_zem"},    {44, "auto_tst_WinWord"}, {45, "auto_tst_wpl"},      {51, "auto_tst_mcw"},
        {52, "auto_tst_mcw2"},   {53, "auto_tst_mwm"},     {54, "auto_tst_mwm"},      {55, "auto_tst_fwp"},
        {56, "auto_tst_mcwpro"}, {57, "auto_tst_clworks"}, {60, "auto_tst_mwp2"},     {101, "auto_tst_uniplex"},
        {102, "auto_tst_op"},    {103, "auto_tst_mdi"},    {104, "auto_tst_ceo"},     {105, "auto_tst_crystal"},
        {111, "auto_tst_wordpro"}, {703, "auto_tst_pdx"},  {708, "auto_tst_fcdb"},    {770, "auto_tst_db"},
        {771, "auto_tst_access"},
    };
    int count = 0;
    const BatteryRow *rows = battery_rows(&count);
    std::map<int, std::string> found;
    for (int i = 0; i < count; ++i)
        for (int e : rows[i].expected)
            if (e != 0 && e != 4) found[e] = rows[i].name;
    EXPECT_EQ(found, expected);
    // Format 4 runs two rows, the header tester first.
    std::string four;
    for (int i = 0; i < count; ++i)
        if (rows[i].expected[0] == 4 || rows[i].expected[1] == 4) four += std::string(rows[i].name) + " ";
    EXPECT_EQ(four, "auto_tst_ws5 auto_tst_ws ");
    EXPECT_EQ(std::string(rows[count - 1].name), "auto_tst_asc");
}

TEST_F(AutoRecBattery, VersionOutputFollowsTheMatch) {
    int version = 77;
    const std::string unknown = bytes({0x00, 0x01, 0x02, 0x03}) + std::string(400, '\x07');
    EXPECT_EQ(AutoRecBlock(reinterpret_cast<const unsigned char *>(unknown.data()),
                           static_cast<int>(unknown.size()), 0, &version),
              0);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(kernel().autorec.ver, 0);
    EXPECT_EQ(recognise(""), (Outcome{1, 0}));
}

// ---- File-level entry points ------------------------------------------

class AutoRecFiles : public KernelTest {
  protected:
    std::string write(const std::string &name, const std::string &bytes) {
        std::string path = dir.file(name);
        write_file(path, bytes);
        return path;
    }
    TempDir dir;
};

TEST_F(AutoRecFiles, ResultsForMissingEmptyAndRealFiles) {
    int version = 5;
    EXPECT_EQ(autorec(dir.file("missing").c_str(), &version), -1);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(autorec(write("empty", "").c_str(), &version), -2);
    const std::string zem = write("doc.zem", "<ZEMFile 5.00>\n<Units Uin>\n");
    EXPECT_EQ(autorec(zem.c_str(), &version), 42);
    EXPECT_EQ(version, 2);
    EXPECT_STREQ(kernel().autorec.name, zem.c_str());
    EXPECT_EQ(AutoRecExp(zem.c_str(), 42, &version), 42);
    const std::string fft = write("fft", bytes({'+', 0xD2, 0x04, 0x85}) + "abcdef");
    EXPECT_EQ(AutoRecExp(fft.c_str(), 32, &version), 32);
    EXPECT_EQ(autorec(fft.c_str(), &version), 0);
}

TEST_F(AutoRecFiles, OnlyTheFirstBlockIsRead) {
    // Text for 4096 bytes, then 8-bit bytes that would outnumber it.
    const std::string text = repeat("a line of plain text\n", 196).substr(0, 4096);
    int version = 0;
    EXPECT_EQ(autorec(write("long.txt", text + std::string(2000, '\xb0')).c_str(), &version), 1);
    EXPECT_EQ(autorec(write("short.bin", text.substr(0, 1000) + std::string(2000, '\xb0')).c_str(), &version), 0);
}

// The caller's file functions over one in-memory file.
struct FakeIO {
    static std::string content;
    static int opens, reads, closes, last_mode, last_kind;
    static unsigned last_count;
    static bool fail_open;
    static int open(const char *, int mode, int kind) {
        ++opens;
        last_mode = mode;
        last_kind = kind;
        return fail_open ? -1 : 7;
    }
    static int read(int handle, void *buffer, unsigned count) {
        ++reads;
        last_count = count;
        if (handle != 7 || reads > 1) return 0;
        const std::size_t n = std::min<std::size_t>(count, content.size());
        std::memcpy(buffer, content.data(), n);
        return static_cast<int>(n);
    }
    static int close(int handle) {
        closes += handle == 7;
        return 0;
    }
    static void reset(const std::string &bytes) {
        content = bytes;
        opens = reads = closes = last_mode = last_kind = 0;
        last_count = 0;
        fail_open = false;
    }
};
std::string FakeIO::content;
int FakeIO::opens, FakeIO::reads, FakeIO::closes, FakeIO::last_mode, FakeIO::last_kind;
unsigned FakeIO::last_count;
bool FakeIO::fail_open;

const AutoRecIO kFakeIO = {FakeIO::open, FakeIO::read, nullptr, FakeIO::close};

TEST_F(AutoRecFiles, CallersTableReplacesTheFileSystem) {
    FakeIO::reset("GIF89a....");
    int version = 3;
    EXPECT_EQ(AutoRecFile("no-such-file", 0, &version, &kFakeIO), 512);
    EXPECT_EQ(FakeIO::opens, 1);
    EXPECT_EQ(FakeIO::last_mode, 1);
    EXPECT_EQ(FakeIO::last_kind, 1);
    EXPECT_EQ(FakeIO::reads, 1);
    EXPECT_EQ(FakeIO::last_count, 4096u);
    EXPECT_EQ(FakeIO::closes, 1);

    FakeIO::reset("");
    EXPECT_EQ(AutoRecFile("x", 0, &version, &kFakeIO), -2);
    EXPECT_EQ(FakeIO::closes, 1);
    FakeIO::reset("GIF89a");
    FakeIO::fail_open = true;
    EXPECT_EQ(AutoRecFile("x", 0, &version, &kFakeIO), -1);
    EXPECT_EQ(FakeIO::closes, 0);
}

TEST_F(AutoRecFiles, CompoundProbeRunsOnlyWithoutCallersTable) {
    const CompoundFile cf = write_compound_file({{"MN0", "CHNKdata"}});
    int version = 9;
    EXPECT_EQ(autorec(write("works.wps", cf.bytes).c_str(), &version), 58);
    EXPECT_EQ(version, 0);
    FakeIO::reset(cf.bytes);
    EXPECT_EQ(AutoRecFile("works.wps", 0, &version, &kFakeIO), 0);
    EXPECT_EQ(version, 0);
}

TEST_F(AutoRecFiles, OutOfMemoryFromEitherAllocation) {
    const std::string path = write("t.txt", "plain words\n");
    int version = 0;
    CountingAllocator::install(1);
    EXPECT_EQ(autorec(path.c_str(), &version), -3);
    CountingAllocator::uninstall();
    CountingAllocator::install(1);
    EXPECT_EQ(AutoRecBlock(reinterpret_cast<const unsigned char *>("abc"), 3, 0, &version), -3);
    CountingAllocator::uninstall();
    // Failing every allocation after the first: the block is read, the
    // working copy cannot be made.
    FakeIO::reset("GIF89a");
    CountingAllocator::install(2, true);
    EXPECT_EQ(AutoRecFile("x", 0, &version, &kFakeIO), -3);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    CountingAllocator::uninstall();
}

// ---- Exported helpers --------------------------------------------------

TEST_F(AutoRecBattery, ByteComparisonHelpers) {
    const auto *a = reinterpret_cast<const unsigned char *>("WordPro@[");
    const auto *b = reinterpret_cast<const unsigned char *>("wORDpRO`{");
    EXPECT_EQ(auto_chk_mtch(a, b, 0), 0);
    EXPECT_EQ(auto_chk_mtch(a, a, 9), 0);
    EXPECT_EQ(auto_chk_mtch(a, b, 1), -1);
    EXPECT_EQ(autoChkMatchI(a, b, 7), 0);
    EXPECT_EQ(autoChkMatchI(a, b, 8), -1);  // "@" and "`" are no letters
    EXPECT_EQ(autoChkMatchI(a + 8, b + 8, 1), -1);
    EXPECT_EQ(autoToLower('A'), 'a');
    EXPECT_EQ(autoToLower('Z'), 'z');
    EXPECT_EQ(autoToLower('@'), '@');
    EXPECT_EQ(autoToLower('['), '[');
    EXPECT_EQ(autoToLower(0xC1), 0xC1);
    EXPECT_EQ(AutoPtrInt32(reinterpret_cast<const unsigned char *>("\x01\x02\x03\x04")), 0x04030201);
    EXPECT_EQ(AutoPtrInt32(reinterpret_cast<const unsigned char *>("\xff\xff\xff\xff")), -1);
}

TEST_F(AutoRecBattery, DirectoryNameComparison) {
    const std::string book = bytes({'B', 0, 'o', 0, 'o', 0, 'k', 0, 0, 0});
    const auto *p = reinterpret_cast<const unsigned char *>(book.data());
    EXPECT_EQ(AutoStrCmpIC(p, "Book"), 0);
    EXPECT_EQ(AutoStrCmpIC(p, "book"), 1);
    EXPECT_EQ(AutoStrCmpIC(p, "Boo"), 1);
    EXPECT_EQ(AutoStrCmpIC(p, "Books"), 1);
    const std::string wide = bytes({'B', 1, 'o', 0, 'o', 0, 'k', 0, 0, 0});
    EXPECT_EQ(AutoStrCmpIC(reinterpret_cast<const unsigned char *>(wide.data()), "Book"), 1);
}

}  // namespace
}  // namespace vox::test
