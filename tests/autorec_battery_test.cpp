// The recogniser as a whole: the battery order where two testers could
// claim the same block, the expected-format runs, the file-level entry
// points (failures included), the exported helpers and the real samples
// under tests/data/autorec.
#include <cstdlib>
#include <cstring>
#include <map>

#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

using AutoRecBattery = KernelTest;

const std::string kPlot = "'IN;IP0,0,8128,8128;SP1;PU0,0;PD100,100;PU;PA200,200;'";
const std::string kCodes = "1B 1D 'DID42' 1F 1E 1B '[1mB' 1B '[0m ' 1B '[4mU' 1B '[24m'";
const std::string kSixDots = "'.mt 3\n.mb 3\n.pl 66\n.po 8\n.he Title\n.fo Page #\ntext\n'";

// Catches a battery out of order: a later tester also claims each block,
// and the earlier must win (the text statistics come last: BatteryTable).
// Then expected-format testers not run first, run without their flag, or
// leaving the flag set for the battery.
TEST_F(AutoRecBattery, EarlierTesterWinsAndExpectedFormatRunsFirst) {
    const struct { std::string block; Tester later; Outcome claim, wins; } cases[] = {
        {"'{\\rtf1 <html><head>x</head>'", auto_tst_html, {108, 3}, {19, 1}},
        {"'%PDF-1.4 <html>'", auto_tst_html, {108, 3}, {107, 0}}, {kCodes, auto_tst_dif, {18, 0}, {3, 0}},
        {"'<ZEMFile 5.00>\n<html><head>'", auto_tst_html, {108, 3}, {42, 2}},
        {"'II' 2A 00 @512 w'WordDocument' @580 FF*4 #1024", auto_tst_WinWord6, {49, 0}, {502, 0}},
        {"@512 w'PowerPoint Document' @576 28 @580 FF*4 @640 w'WordDocument' @708 FF*4 #1024", auto_tst_power,
         {627, 0}, {49, 0}},
        {"'L' '.'*22 'R\n' " + kSixDots, auto_tst_ws, {4, 0}, {101, 0}},
        {"'PK' 03 04 @512 B900*10 #2048", auto_tst_zip, {940, 0}, {508, 0}},  // a painting
    };
    for (const auto &c : cases) {
        EXPECT_EQ(run_tester(c.later, blk(c.block)), c.claim) << c.block;
        EXPECT_EQ(recognise(blk(c.block)), c.wins) << c.block;
    }
    const std::string once = blk("'+' D2 04 85 'abcdef'"), four = blk("'.mt 3\n.mb 3\n.pl 66\n.po 8\ntext\n'");
    const std::string two = blk("'a'*150 @0 C0 C1 @4 C1 C0");  // two codes in the 2 bytes scanned
    const struct { std::string block; int expected; Outcome want; } runs[] = {
        {once, 32, {32, 0}}, {once, 0, kNo}, {four, 4, {4, 0}}, {four, 0, {1, 0}},
        {four, 27, {1, 0}},                   // a failed expected tester leaves the flag clear
        {blk("@12 'x'", four), 4, {1, 0}},    // three commands are too few
        {two, 6, {6, 0}}, {two.substr(0, 149), 6, {1, 0}}, {blk(kCodes), 18, {18, 0}}, {blk(kPlot), 1, {1, 0}},
        {"plain words\n", 55, {1, 0}},        // its tester never answers
        {blk(kPlot), 504, {604, 0}},          // no tester: the battery decides
    };
    for (const auto &c : runs) {
        EXPECT_EQ(recognise(c.block, c.expected), c.want) << visible(c.block) << " expecting " << c.expected;
        EXPECT_EQ(kernel().autorec.MinorVal, 0) << "the expected-format flag left set";
    }
}

// Catches a wrong entry in the expected-format column (the testers each
// number runs, in order), a battery not ending in the text statistics, and a
// stale version on a block nothing claims; case folding of non-letters ("@"
// and "`" differ only in the case bit) and directory names matched in part
// or blind to case.
TEST_F(AutoRecBattery, BatteryTableAndExportedHelpers) {
    int count = 0;
    const BatteryRow *rows = battery_rows(&count);
    std::map<int, std::string> runs;
    for (int i = 0; i < count; ++i)
        for (int e : rows[i].expected)
            if (e) runs[e] += (runs[e].empty() ? "" : "+") + std::string(rows[i].name + 9);
    std::string all;
    for (const auto &[e, names] : runs) all += std::to_string(e) + ":" + names + " ";
    EXPECT_EQ(all,
              "1:asc 3:com 4:ws5+ws 5:msw 6:wp4 7:wp5 8:pfs 9:ws2 10:mm 13:ibm 14:vw 15:rft 16:ow 17:xyw 18:dif "
              "19:rtf 20:wks 21:xls 22:sma 23:qaw 24:lm 25:rf 26:wang 27:ptx 28:en 29:fw3 30:dx 31:mas 32:fft "
              "33:ami 35:ilf 36:def 37:leg 42:zem 44:WinWord 45:wpl 51:mcw 52:mcw2 53:mwm 54:mwm 55:fwp "
              "56:mcwpro 57:clworks 60:mwp2 101:uniplex 102:op 103:mdi 104:ceo 105:crystal 111:wordpro 703:pdx "
              "708:fcdb 770:db 771:access ");
    EXPECT_STREQ(rows[count - 1].name, "auto_tst_asc");
    EXPECT_EQ(recognise(""), (Outcome{1, 0}));
    EXPECT_EQ(recognise(blk("00 01 02 03 07*400")), kNo);
    auto u = [](const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); };
    EXPECT_EQ(autoChkMatchI(u("WordPro@["), u("wORDpRO@["), 9), 0);
    EXPECT_EQ(autoChkMatchI(u("@["), u("`{"), 1) + autoChkMatchI(u("["), u("{"), 1), -2);
    const std::string book = blk("w'Book' 00 00");
    EXPECT_EQ(AutoStrCmpIC(u(book), "Book"), 0);
    for (const char *other : {"book", "Boo", "Books"}) EXPECT_EQ(AutoStrCmpIC(u(book), other), 1) << other;
}

class AutoRecFiles : public KernelTest {
  protected:
    std::string write(const std::string &n, const std::string &b) { return write_file(dir.file(n), b), dir.file(n); }
    static Outcome file(const std::string &path, int expected = 0) {
        int version = -9;
        return {expected ? AutoRecExp(path.c_str(), expected, &version) : autorec(path.c_str(), &version), version};
    }
    TempDir dir;
};

std::string sample(const std::string &name) { return std::string(VOX42_SOURCE_DIR) + "/tests/data/autorec/" + name; }

// Catches wrong results for missing or empty files, a lost file name, an
// ignored expected format, and reading past the first block; and real files
// made by real tools not recognised as what they are.  Each value follows
// from the file's first bytes: the PICT has its 512-byte header and the
// version 2 opcode at 522 (version 0); the OS/2 bitmap a 12-byte core header
// (4); the EPS begins "%!" (503, 1); the ZEM file is release 3.00.  The Word
// file holds the later layout (its stream begins EC) and its directory lies
// past the first block: nothing names it.
TEST_F(AutoRecFiles, MissingEmptyAndRealFiles) {
    EXPECT_EQ(file(dir.file("missing")), (Outcome{-1, 0}));
    EXPECT_EQ(file(write("empty", "")), (Outcome{-2, 0}));
    const std::string fft = write("fft", blk("'+' D2 04 85 'abcdef'"));
    EXPECT_EQ(file(fft, 32), (Outcome{32, 0}));
    EXPECT_EQ(file(fft), kNo);
    // 8-bit bytes after the first 4096 do not count against the text.
    const std::string text = blk("'a line of plain text\n'*196 #4096");
    EXPECT_EQ(file(write("long", text + std::string(2000, '\xb0'))), (Outcome{1, 0}));
    EXPECT_EQ(file(write("short", text.substr(0, 1000) + std::string(2000, '\xb0'))), kNo);
    const struct { const char *file; Outcome want; } samples[] = {
        {"gradient.png", {504, 0}},    {"gradient.gif", {512, 0}},     {"gradient.jpg", {521, 0}},
        {"gradient.bmp", {513, 0}},    {"gradient-le.tif", {502, 0}},  {"gradient-be.tif", {502, 0}},
        {"gradient.pcx", {501, 0}},    {"gradient-os2.bmp", {513, 4}}, {"gradient.xpm", {524, 0}},
        {"gradient.ras", {522, 0}},    {"gradient.pict", {602, 0}},    {"gradient.mac", {508, 0}},
        {"page.eps", {503, 1}},        {"page.pdf", {107, 0}},         {"text.html", {108, 3}},
        {"text.rtf", {19, 1}},         {"text.zip", {940, 0}},         {"document.zem", {42, 0}},
        {"intermediate.icf", {3, 0}},  {"text.doc", {0, 0}},           {"text-lf.txt", {1, 0}},
        {"text-crlf.txt", {1, 0}},     {"text-cr.txt", {1, 0}},        {"text-crcrlf.txt", {1, 0}}};
    for (const auto &s : samples) EXPECT_EQ(file(sample(s.file)), s.want) << s.file;
    const std::string ppt = dir.file("slides.ppt");
    ASSERT_EQ(std::system(("gzip -dc '" + sample("slides.ppt.gz") + "' > '" + ppt + "'").c_str()), 0);
    EXPECT_EQ(file(ppt), (Outcome{627, 0}));
    EXPECT_STREQ(kernel().autorec.name, ppt.c_str());
}

// The caller's file functions over one in-memory file, logging each call;
// opening "unopenable" fails.
struct FakeIO {
    static inline std::string content, log;
    static int open(const char *name, int mode, int kind) {
        log += "open " + std::to_string(mode) + " " + std::to_string(kind) + ";";
        return std::strcmp(name, "unopenable") == 0 ? -1 : 7;
    }
    static int read(int, void *buffer, unsigned count) {
        log += "read " + std::to_string(count) + ";";
        return static_cast<int>(content.copy(static_cast<char *>(buffer), count));
    }
    static int close(int handle) { return log += "close " + std::to_string(handle) + ";", 0; }
};
const AutoRecIO kFakeIO = {FakeIO::open, FakeIO::read, nullptr, FakeIO::close};

// Catches the caller's table called with wrong arguments or left open, and
// the compound-file probe running through it (the file, a Works one, is
// named when read directly: AutoRecCompound); an allocation failure not
// reported as -3, or the block leaked.
TEST_F(AutoRecFiles, CallersTableAndOutOfMemory) {
    int version = 3;
    const std::string works = write_compound_file({{"MN0", "CHNKINK"}}).bytes, whole = "open 1 1;read 4096;close 7;";
    const struct { std::string content; const char *name; int result; std::string log; } cases[] = {
        {works, "works.wps", 0, whole}, {"", "empty", -2, whole}, {"GIF89a", "a.gif", 512, whole},
        {"GIF89a", "unopenable", -1, "open 1 1;"}};
    for (const auto &c : cases) {
        FakeIO::content = c.content, FakeIO::log.clear();
        EXPECT_EQ(AutoRecFile(c.name, 0, &version, &kFakeIO), c.result) << c.name;
        EXPECT_EQ(FakeIO::log, c.log) << c.name;
    }
    CountingAllocator::install(1);
    EXPECT_EQ(file(write("t.txt", "plain words\n")).first, -3);
    CountingAllocator::install(2, true);  // the block ("GIF89a") is read; its working copy fails
    EXPECT_EQ(AutoRecFile("x", 0, &version, &kFakeIO), -3);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
}

}  // namespace
}  // namespace vox::test
