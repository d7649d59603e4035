// The conversion driver through its exported entry point: result codes,
// the head of the intermediate code, the argument table's limits, and what
// a run leaves behind (files, descriptors, host blocks), whichever way it
// ends.  Expected bytes are worked out by hand from the record format:
// ESC GS code, each parameter ended by US, then RS.
#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "converter/driver.h"
#include "test_support.h"
#include "vox42/vox42.h"

namespace vox::test {
namespace {

const std::string kHeader = "<ZEMFile 5.00>\n";

// Two flows after a statement the pass drops (its line leaves an empty
// line before the first flow); no pages, so with version "5" no flow is
// converted.
const std::string kTwoFlows = kHeader +
                              "<Unknown 1>\n"
                              "<TextFlow <TextRectID 7>\n <TextRectID 9>\n"
                              " <Para <ParaLine <String `One'>>>\n>\n"
                              "<TextFlow\n <TextRectID 3>\n>\n";

const std::string kOnePage = "<Page <TextRect <ID 7> <BRect 1\" 1\" 6\" 9\">>>\n"
                             "<TextFlow <TextRectID 7> <Para <ParaLine <String `Body text'>>>>\n";

int open_descriptors() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

struct RunResult {
    int code = -1;
    std::string target;            // its bytes, when it exists
    std::vector<std::string> files;  // what the directory holds afterwards
    long outstanding = 0;          // host blocks not returned
};

// Converts `source` (none when null) in dir into "out.icf" (or `target`)
// through a counting host allocator; "-N" keeps the progress display quiet.
RunResult convert(const TempDir &dir, const std::string *source, const std::string &version = "5",
            std::vector<std::string> extra = {}, const char *target = nullptr, long fail_at = 0,
            bool keep_failing = false) {
    const std::string src = dir.file("doc.zem");
    const std::string tgt = target ? std::string(target) : dir.file("out.icf");
    if (source) write_file(src, *source);
    extra.insert(extra.begin(), "-N");
    std::vector<char *> argv;
    for (std::string &a : extra) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    CountingAllocator::install(fail_at, keep_failing);
    const MemoryState m = kernel().memory;
    RunResult r;
    r.code = MainEntryPoint(src.c_str(), tgt.c_str(), version.c_str(), argv.data(), m.oem_malloc, m.oem_free);
    r.outstanding = CountingAllocator::outstanding();
    CountingAllocator::uninstall();
    r.files = dir.entries();
    r.target = read_file(tgt);
    return r;
}

const std::vector<std::string> kSourceOnly = {"doc.zem"};
const std::vector<std::string> kSourceAndTarget = {"doc.zem", "out.icf"};

// The local back end's open, refusing one path.
thread_local std::string refused_path;
int refusing_open(const char *path, int flags, mode_t mode) {
    if (refused_path == path) {
        errno = EACCES;
        return -1;
    }
    return ::open(path, flags, mode);
}

class DriverTest : public KernelTest {};

// Catches a wrong code for each way a run ends, a temporary file, block or
// descriptor left behind, a target made when the source is missing, and a
// target that loses the head written before a fatal error.
TEST_F(DriverTest, EveryEndHasItsCodeAndLeavesOnlySourceAndTarget) {
    const std::string nested = [] {
        std::string s = kHeader;
        for (int i = 0; i < 101; ++i) s += "<Pgf ";
        return s + std::string(101, '>') + "\n";
    }();
    struct Row {
        const char *what;
        std::string source;
        int code;
        std::vector<std::string> files;
        std::string target;
    } rows[] = {
        {"empty source", "", 2, kSourceAndTarget, ""},
        {"first byte not '<'", "x" + kHeader, 9, kSourceAndTarget, ""},
        {"'>' too many", kHeader + "<Pgf>>\n", 16, kSourceAndTarget, ""},
        {"'>' missing", kHeader + "<Pgf <PgfTag `A'>\n", 16, kSourceAndTarget, ""},
        // The head is on the target when the main loop meets the 101st level.
        {"101 levels", nested, 16, kSourceAndTarget, record("DID", {"42"})},
        {"minimal document", kHeader, 0, kSourceAndTarget, record("DID", {"42"}) + record("FDT", {"0", "3", "00"})},
    };
    for (const Row &row : rows) {
        TempDir dir;
        const int fds = open_descriptors();
        RunResult r = convert(dir, &row.source);
        EXPECT_EQ(r.code, row.code) << row.what;
        EXPECT_EQ(r.files, row.files) << row.what;
        EXPECT_EQ(visible(r.target.substr(0, row.target.size())), visible(row.target)) << row.what;
        EXPECT_EQ(r.outstanding, 0) << row.what;
        EXPECT_EQ(open_descriptors(), fds) << row.what;
    }
}

// Catches a target made for a missing source, a source left open when the
// target fails, and list files (made before the source is opened) left
// behind by the ends that do not go through tf_frame_exit.
TEST_F(DriverTest, SourceAndTargetFailuresEndBeforeTheTemporaryStores) {
    TempDir dir;
    const int fds = open_descriptors();
    RunResult missing = convert(dir, nullptr);
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.files, std::vector<std::string>{});

    refused_path = dir.file("out.icf");
    kernel().files.sys.open = refusing_open;
    RunResult refused = convert(dir, &kHeader);
    reset_local_syscalls();
    EXPECT_EQ(refused.code, 3);
    EXPECT_EQ(refused.files, kSourceOnly);

    // The font-table and variables list files are made next to the target
    // before the target is opened: a missing directory fails there first.
    const std::string lost = dir.file("missing/out.icf");
    RunResult nowhere = convert(dir, &kHeader, "5", {}, lost.c_str());
    EXPECT_EQ(nowhere.code, 8);
    EXPECT_EQ(nowhere.files, kSourceOnly);
    for (const RunResult &r : {missing, refused, nowhere}) EXPECT_EQ(r.outstanding, 0);
    EXPECT_EQ(open_descriptors(), fds);
}

// Catches an argument table that overflows or refuses too early: each limit
// and the value just inside it.
TEST_F(DriverTest, ArgumentTableLimits) {
    TempDir dir;
    const std::string base = dir.file("");
    if (base.size() >= 120) GTEST_SKIP() << "scratch path too long for the name limit";
    const std::string name124 = base + std::string(124 - base.size(), 't');
    const std::string name125 = base + std::string(125 - base.size(), 'u');
    struct Row {
        const char *what;
        std::string version;
        int extra;  // "-N" options beyond the one every run has
        std::string target;
        int code;
    } rows[] = {
        {"16 extra arguments", "5", 15, "", 0},      {"17 extra arguments", "5", 16, "", 8},
        {"13-character level", "5DDDDDDDDDDDD", 0, "", 0}, {"14-character level", "5DDDDDDDDDDDDD", 0, "", 8},
        {"124-character target", "5", 0, name124, 0}, {"125-character target", "5", 0, name125, 8},
    };
    for (const Row &row : rows) {
        TempDir run_dir;
        RunResult r = convert(run_dir, &kHeader, row.version, std::vector<std::string>(row.extra, "-N"),
                        row.target.empty() ? nullptr : row.target.c_str());
        EXPECT_EQ(r.code, row.code) << row.what;
        EXPECT_EQ(r.outstanding, 0) << row.what;
        if (row.code != 0) {
            EXPECT_EQ(r.files, kSourceOnly) << row.what;
        }
        unlink(row.target.c_str());
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
    EXPECT_EQ(MainEntryPoint(nullptr, "x.icf", "5", nullptr, nullptr, nullptr), 8);
    EXPECT_EQ(MainEntryPoint("x.zem", nullptr, "5", nullptr, nullptr, nullptr), 8);
}

// The default ruler the body starts with: no stops, so a stop map of 32
// bytes, 20 bytes of stop kinds and 40 leader bytes, all 00, then the
// count 0.
std::string empty_ruler() {
    std::vector<std::string> params(32 + 20 + 40, "00");
    params.push_back("0");
    return record("NTB", params);
}

// Catches a missing or misnumbered FLO, a flow left in the main input after
// an empty line, a head not written first, a body (here only the default
// ruler) not after the font table, and FDT or page records written for a
// book.
TEST_F(DriverTest, HeadIsDidThenOneFloPerFlowAndBooksHaveNoFontTable) {
    TempDir dir;
    const std::string head = record("DID", {"42"}) + record("FLO", {"1", "2", "7", "9"}) + record("FLO", {"2", "1", "3"});
    RunResult doc = convert(dir, &kTwoFlows);
    EXPECT_EQ(doc.code, 0);
    // No page places a flow, so nothing follows the ruler.
    EXPECT_EQ(visible(doc.target), visible(head + record("FDT", {"0", "3", "00"}) + empty_ruler()));

    const std::string book_head = record("DID", {"42"}) + record("FLO", {"1", "1", "7"});
    const std::string with_page = kHeader + kOnePage;
    const std::string book = "<Book 5.0>\n" + kOnePage;
    RunResult as_document = convert(dir, &with_page);
    RunResult as_book = convert(dir, &book);
    EXPECT_EQ(as_document.code, 0);
    EXPECT_EQ(as_book.code, 0);
    EXPECT_EQ(visible(as_book.target.substr(0, book_head.size())), visible(book_head));
    EXPECT_NE(as_document.target.find("\x1b\x1dPDT"), std::string::npos);
    EXPECT_NE(as_document.target.find("\x1b\x1d" "FDT"), std::string::npos);
    EXPECT_EQ(as_book.target.find("\x1b\x1dPDT"), std::string::npos);
    EXPECT_EQ(as_book.target.find("\x1b\x1d" "FDT"), std::string::npos);
    EXPECT_NE(as_book.target.find("Body text"), std::string::npos);
}

// Catches a wrong reading of the version level: only a second character
// 'D' or 'd' converts a flow that lies on a master page.
TEST_F(DriverTest, VersionLevelDecidesOnMasterPageFlows) {
    const std::string source = kHeader +
                               "<Page <PageType LeftMasterPage> <TextRect <ID 7> <BRect 1\" 1\" 6\" 9\">>>\n"
                               "<TextFlow <TextRectID 7> <Para <ParaLine <String `Master text'>>>>\n";
    const std::pair<std::string, bool> rows[] = {{"5", false}, {"5D", true}, {"5d", true}, {"D", false}, {"", false}};
    for (const auto &row : rows) {
        TempDir dir;
        RunResult r = convert(dir, &source, row.first);
        EXPECT_EQ(r.code, 0) << row.first;
        EXPECT_EQ(r.target.find("Master text") != std::string::npos, row.second) << '"' << row.first << '"';
    }
}

// Catches state carried from one run into the next (a second run of the
// same document differing from the first).
TEST_F(DriverTest, SameDocumentTwiceGivesTheSameBytes) {
    TempDir dir;
    const std::string source = kHeader + kOnePage + "<TextFlow <TextRectID 9> <Para <ParaLine <String `x'>>>>\n";
    RunResult first = convert(dir, &source, "5D");
    RunResult second = convert(dir, &source, "5D");
    EXPECT_EQ(first.code, 0);
    EXPECT_GT(first.target.size(), 40u);
    EXPECT_EQ(visible(second.target), visible(first.target));
}

// Catches state shared between threads: two conversions at once give what
// each gives alone.
TEST(DriverThreads, TwoThreadsConvertTwoDocumentsAtOnce) {
    const std::string a = kHeader + kOnePage, b = kTwoFlows;
    auto run = [](const std::string &source, std::string &out) {
        fresh_kernel();
        TempDir dir;
        RunResult r = convert(dir, &source, "5D");
        out = r.code == 0 && r.outstanding == 0 ? r.target : "failed";
    };
    std::string alone_a, alone_b, together_a, together_b;
    std::thread(run, std::cref(a), std::ref(alone_a)).join();
    std::thread(run, std::cref(b), std::ref(alone_b)).join();
    for (int round = 0; round < 3; ++round) {
        std::thread ta(run, std::cref(a), std::ref(together_a)), tb(run, std::cref(b), std::ref(together_b));
        ta.join();
        tb.join();
        EXPECT_EQ(visible(together_a), visible(alone_a));
        EXPECT_EQ(visible(together_b), visible(alone_b));
    }
    EXPECT_NE(alone_a, alone_b);
}

// Catches a block, list file, spill file or descriptor left behind when
// memory runs out anywhere in a run, from the argument table to the end.
TEST_F(DriverTest, RunningOutOfMemoryAnywhereLeavesNothing) {
    const std::string source = kHeader + kOnePage;
    TempDir probe_dir;
    RunResult probe = convert(probe_dir, &source);
    ASSERT_EQ(probe.code, 0);
    const long allocations = CountingAllocator::allocated();  // of the probe run
    const int fds = open_descriptors();
    for (bool keep_failing : {true, false}) {
        for (long k = 1; k <= allocations; ++k) {
            TempDir dir;
            RunResult r = convert(dir, &source, "5", {}, nullptr, k, keep_failing);
            EXPECT_EQ(r.outstanding, 0) << k;
            EXPECT_TRUE(r.files == kSourceOnly || r.files == kSourceAndTarget) << k << ": " << r.files.size();
            if (k == 1) {
                EXPECT_EQ(r.code, 8);
            }
        }
    }
    EXPECT_EQ(open_descriptors(), fds);
}

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string font_record(std::uint32_t number, const std::string &name) {
    std::string r = be32(number) + name;
    r.resize(kFontRecordSize, '\0');
    return r;
}

// Catches a font number read in the wrong byte order, a name cut or not
// ended by US, a wrong record layout, and a short font-table file not
// ending the run with code 17 (and the list file left behind).
TEST_F(DriverTest, FontTableRecordListsTheFontsOfTheListFile) {
    TempDir dir;
    reset_conversion();
    DriverState &d = conv().driver;
    std::strcpy(d.fdt_name, dir.file("fonts.lst").c_str());
    write_file(d.fdt_name, font_record(300, "Times New") + font_record(7, std::string(63, 'n')));
    d.font_list_handle = VOXopen(d.fdt_name, 3, 3);
    ASSERT_GE(d.font_list_handle, 0);
    d.num_fonts = 2;
    conv().routing.preprocess = 0;
    conv().routing.output_to_int_file = 1;
    {
        OutputCapture out;
        tf_output_fdt();
        EXPECT_EQ(visible(out.bytes()), visible(record("FDT", {"2", "3", "00", "300", "Times New", "00", "7",
                                                               std::string(63, 'n'), "00"})));
        d.num_fonts = 3;
        EXPECT_EQ(exit_code_of([] { tf_output_fdt(); }), 17);
    }
    EXPECT_EQ(d.font_list_handle, -1);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
    reset_conversion();
}

}  // namespace
}  // namespace vox::test
