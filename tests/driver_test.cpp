// The conversion driver through its exported entry point: result codes,
// the head of the intermediate code, the argument table's limits, and what
// a run leaves behind (files, descriptors, host blocks), whichever way it
// ends.  Expected bytes are worked out by hand from the record format:
// ESC GS code, each parameter ended by US, then RS.
#include <cstring>
#include <filesystem>
#include <thread>

#include "converter/driver.h"
#include "test_support.h"
#include "vox42/vox42.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;
const char *const kHeader = "<ZEMFile 5.00>\n";
// Two flows after a statement the pass drops (its line leaves an empty
// line before the first flow); no pages, so with version "5" no flow is
// converted.
const std::string kTwoFlows = std::string(kHeader) + "<Unknown 1>\n<TextFlow <TextRectID 7>\n <TextRectID 9>\n"
                              " <Para <ParaLine <String `One'>>>\n>\n<TextFlow\n <TextRectID 3>\n>\n";
const std::string kOnePage = "<Page <TextRect <ID 7> <BRect 1\" 1\" 6\" 9\">>>\n"
                             "<TextFlow <TextRectID 7> <Para <ParaLine <String `Body text'>>>>\n";

long open_descriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); }

// The result code, the target's bytes (when it exists), what the directory
// holds afterwards, and the host blocks not returned.
struct RunResult { int code; std::string target; Strings files; long outstanding; };

// Converts `source` (none when null: the one already there) in dir into
// "out.icf" (or `target`) through a counting host allocator, with "-N"
// (which keeps the progress display quiet) once and `options` times more.
RunResult convert(const TempDir &dir, const char *source, const char *version = "5", int options = 0,
                  std::string target = "", long fail_at = 0, bool keep_failing = false) {
    if (source) write_file(dir.file("doc.zem"), source);
    if (target.empty()) target = dir.file("out.icf");
    std::vector<char *> argv(options + 1, const_cast<char *>("-N"));  // read only
    argv.push_back(nullptr);
    CountingAllocator::install(fail_at, keep_failing);
    const int code = MainEntryPoint(dir.file("doc.zem").c_str(), target.c_str(), version, argv.data(),
                                    kernel().memory.oem_malloc, kernel().memory.oem_free);
    RunResult r{code, read_file(target), dir.entries(), CountingAllocator::outstanding()};
    CountingAllocator::uninstall();
    return r;
}

class DriverTest : public KernelTest {};

// Catches a wrong code for each way a run ends, a temporary file, block or
// descriptor left behind, a target made when the source is missing, a
// source left open when the target fails, the list files (made next to the
// target before the source is opened) left behind by the ends that do not
// go through tf_frame_exit, a target that loses the head written before a
// fatal error in the main loop, and an argument table that overflows or
// refuses too early (each limit and the value just inside it); a missing or
// misnumbered FLO, a flow left in the main input after an empty line, a
// head not written first, and a body (here only the default ruler) not
// after the font table.  The codes of an empty source, of a '>' missing,
// and of 101 open statements are the whole-document tests' (and the
// preprocessing pass's); here each kind of end appears once.
TEST_F(DriverTest, EveryEndHasItsCodeAndLeavesOnlySourceAndTarget) {
    // The default ruler the body starts with: no stops, so a stop map of 32
    // bytes, 20 bytes of stop kinds and 40 leader bytes, all 00, then the
    // count 0.  No page places a flow, so nothing follows it.
    const Strings ruler = [] { Strings params(32 + 20 + 40, "00"); return params.push_back("0"), params; }();
    const std::string did = record("DID", {"42"}), body = record("FDT", {"0", "3", "00"}) + record("NTB", ruler);
    // Each row: what it is, the source (null: none), the version level, the
    // "-N" options beyond the one every run has, the target (the length of
    // a name in the run's directory; 0: out.icf; -1: in a missing directory;
    // -2: out.icf, a directory, which cannot be opened for writing), the
    // code, what the directory holds afterwards (0 nothing, 1 the source, 2
    // source and target), and what the target starts with (all of it when
    // the run succeeds).
    struct { const char *what, *source, *version; int extra, target, code, files; std::string head; } rows[] = {
        {"missing source", nullptr, "5", 0, 0, 1, 0, ""},
        {"target cannot be opened", kHeader, "5", 0, -2, 3, 2, ""},
        {"target in a missing directory", kHeader, "5", 0, -1, 8, 1, ""},
        {"first byte not '<'", "x<ZEMFile 5.00>\n", "5", 0, 0, 9, 2, ""},
        {"'>' too many, seen by the preprocessing pass", "<ZEMFile 5.00>\n<Pgf>>\n", "5", 0, 0, 16, 2, ""},
        // The brackets balance, so the main loop meets the stray '>' after
        // the head is on the target.
        {"stray '>' in the main loop", "<ZEMFile 5.00>\n>\n<Pgf\n", "5", 0, 0, 16, 2, did},
        {"minimal document", kHeader, "5", 0, 0, 0, 2, did + body},
        {"two flows", kTwoFlows.c_str(), "5", 0, 0, 0, 2,
         did + record("FLO", {"1", "2", "7", "9"}) + record("FLO", {"2", "1", "3"}) + body},
        {"16 extra arguments", kHeader, "5", 15, 0, 0, 2, did + body},
        {"17 extra arguments", kHeader, "5", 16, 0, 8, 1, ""},
        {"13-character level", kHeader, "5DDDDDDDDDDDD", 0, 0, 0, 2, did + body},
        {"14-character level", kHeader, "5DDDDDDDDDDDDD", 0, 0, 8, 1, ""},
        {"124-character target", kHeader, "5", 0, 124, 0, 2, did + body},
        {"125-character target", kHeader, "5", 0, 125, 8, 1, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        ASSERT_LT(dir.file("").size(), 120u) << "scratch path too long for the name limit";
        std::string target = dir.file(row.target == -1 ? "missing/out.icf" : "out.icf");
        if (row.target > 0) target = dir.file(std::string(row.target - dir.file("").size(), 't'));
        if (row.target == -2) fs::create_directory(target);
        const long fds = open_descriptors();
        RunResult r = convert(dir, row.source, row.version, row.extra, target);
        EXPECT_EQ(r.code, row.code);
        const std::string files[] = {"doc.zem", target.substr(target.rfind('/') + 1)};
        EXPECT_EQ(r.files, Strings(files, files + row.files));
        EXPECT_EQ(visible(row.code == 0 ? r.target : r.target.substr(0, row.head.size())), visible(row.head));
        EXPECT_EQ(std::make_pair(r.outstanding, open_descriptors()), std::make_pair(0L, fds)) << "blocks, descriptors";
    }
    EXPECT_EQ(MainEntryPoint(nullptr, "x.icf", "5", nullptr, nullptr, nullptr), 8);
    EXPECT_EQ(MainEntryPoint("x.zem", nullptr, "5", nullptr, nullptr, nullptr), 8);
}

// A master page with flow 9 and a body page with flow 7.  Catches a wrong
// reading of the version level (only a second character 'D' or 'd'
// converts a flow that lies on a master page), FDT or page records written
// for a book or left out of a document, and state carried from one run
// into the next (a second run of the same document differing from the
// first).
TEST_F(DriverTest, VersionLevelAndBooks) {
    const std::string pages = "<Page <PageType LeftMasterPage> <TextRect <ID 9> <BRect 1\" 1\" 6\" 9\">>>\n" +
                              kOnePage + "<TextFlow <TextRectID 9> <Para <ParaLine <String `Master text'>>>>\n";
    const std::string document = kHeader + pages, book = "<Book 5.0>\n" + pages;
    const std::string head = record("DID", {"42"}) + record("FLO", {"1", "1", "7"}) + record("FLO", {"2", "1", "9"});
    // Levels "5" and "5D" of a document are the whole-document tests'.
    const struct { bool book; const char *version; bool master; } rows[] = {
        {false, "5d", true}, {false, "D", false}, {false, "", false}, {true, "5", false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.book ? "book, " : "document, ") + '"' + row.version + '"');
        TempDir dir;
        RunResult first = convert(dir, (row.book ? book : document).c_str(), row.version),
                  second = convert(dir, nullptr, row.version);
        EXPECT_EQ(first.code, 0);
        EXPECT_EQ(visible(first.target.substr(0, head.size())), visible(head));
        auto has = [&](const char *part) { return first.target.find(part) != std::string::npos; };
        EXPECT_EQ((std::vector<bool>{has("Master text"), has("Body text"), has("\x1b\x1dPDT"), has("\x1b\x1d" "FDT")}),
                  (std::vector<bool>{row.master, true, !row.book, !row.book}));
        EXPECT_EQ(visible(second.target), visible(first.target));
    }
}

// Catches state shared between threads: two conversions at once give what
// each gives alone.
TEST(DriverThreads, TwoThreadsConvertTwoDocumentsAtOnce) {
    auto run = [](const std::string &source) {
        fresh_kernel();
        const RunResult r = convert(TempDir(), source.c_str(), "5D");
        return r.code == 0 && r.outstanding == 0 ? r.target : std::string("failed");
    };
    const std::string a = kHeader + kOnePage, b = kTwoFlows, alone_a = run(a), alone_b = run(b);
    for (int round = 0; round < 3; ++round) {
        std::string together_a, together_b;
        std::thread ta([&] { together_a = run(a); }), tb([&] { together_b = run(b); });
        ta.join(), tb.join();
        EXPECT_EQ(visible(together_a), visible(alone_a));
        EXPECT_EQ(visible(together_b), visible(alone_b));
    }
    EXPECT_NE(alone_a, alone_b);
}

// Catches a block, list file, spill file or descriptor left behind when
// memory runs out anywhere in a run, from the argument table to the end.
TEST_F(DriverTest, RunningOutOfMemoryAnywhereLeavesNothing) {
    const std::string source = kHeader + kOnePage;
    ASSERT_EQ(convert(TempDir(), source.c_str()).code, 0);
    const long allocations = CountingAllocator::allocated(), fds = open_descriptors();  // after the probe run
    for (bool keep_failing : {true, false}) for (long k = 1; k <= allocations; ++k) {
        RunResult r = convert(TempDir(), source.c_str(), "5", 0, "", k, keep_failing);
        EXPECT_EQ(r.outstanding, 0) << k;
        EXPECT_TRUE(r.files == Strings{"doc.zem"} || r.files == (Strings{"doc.zem", "out.icf"})) << k;
        EXPECT_TRUE(k > 1 || r.code == 8) << r.code;
    }
    EXPECT_EQ(open_descriptors(), fds);
}

// Catches a font number read in the wrong byte order, a name cut or not
// ended by US, a wrong record layout, and a short font-table file not
// ending the run with code 17 (and the list file left behind).
TEST_F(DriverTest, FontTableRecordListsTheFontsOfTheListFile) {
    TempDir dir;
    reset_conversion();
    DriverState &d = conv().driver;
    std::strcpy(d.fdt_name, dir.file("fonts.lst").c_str());
    // Records of 68 bytes: the number in four bytes, high byte first (300 is
    // 00 00 01 2C), then the name, padded with zeros (63 characters at most).
    write_file(d.fdt_name, std::string("\0\0\x01\x2cTimes New", 13) + std::string(55, '\0') +
                               std::string("\0\0\0\x07", 4) + std::string(63, 'n') + std::string(1, '\0'));
    d.font_list_handle = VOXopen(d.fdt_name, 3, 3);
    ASSERT_GE(d.font_list_handle, 0);
    d.num_fonts = 2, conv().routing.preprocess = 0, conv().routing.output_to_int_file = 1;
    OutputCapture out;
    tf_output_fdt();
    EXPECT_EQ(visible(out.bytes()),
              visible(record("FDT", {"2", "3", "00", "300", "Times New", "00", "7", std::string(63, 'n'), "00"})));
    EXPECT_EQ(exit_code_of([&] { d.num_fonts = 3, tf_output_fdt(); }), 17);
    EXPECT_EQ(std::make_pair(d.font_list_handle, dir.entries()), std::make_pair(-1, Strings{}));
}

}  // namespace
}  // namespace vox::test
