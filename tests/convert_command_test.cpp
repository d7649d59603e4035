// `vox42 convert`: the built tool runs as a real process, with its standard
// streams on files, on standard input, or on a terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

#include "test_support.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;
const std::string kTool = VOX42_TOOL_PATH;
const std::string kSample = std::string(VOX42_SOURCE_DIR) + "/samples/two-pages.zem";
constexpr int kUsageStatus = 64;

// The exit status (or 128 + signal) and what reached standard output and error.
struct ToolRun { int status = -1; std::string out, err; };

// Runs `vox42 convert ARGS...` in `cwd`, with standard input from `input`
// and standard output and error collected through files, or (on_terminal)
// with both on a terminal, whose bytes come back as `out`.
ToolRun run_convert(Strings args, const std::string &cwd, const std::string &input = "/dev/null",
                    bool on_terminal = false) {
    TempDir streams;
    const std::string out = streams.file("out"), err = streams.file("err");
    args.insert(args.begin(), {kTool, "convert"});
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = on_terminal ? forkpty(&terminal, nullptr, nullptr, nullptr) : fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec (dup2 fails on a file that did not open).
        if (chdir(cwd.c_str()) != 0 || (!on_terminal && (dup2(open(input.c_str(), O_RDONLY), 0) < 0 ||
                                                         dup2(open(out.c_str(), O_WRONLY | O_CREAT, 0600), 1) < 0 ||
                                                         dup2(open(err.c_str(), O_WRONLY | O_CREAT, 0600), 2) < 0)))
            _exit(121);
        execv(argv[0], argv.data());
        _exit(122);
    }
    ToolRun run;
    char block[4096];
    for (ssize_t n; terminal >= 0 && ((n = read(terminal, block, sizeof block)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0) run.out.append(block, static_cast<std::size_t>(n));
    if (terminal >= 0) close(terminal);
    int wait_status = 0;
    if (pid > 0 && waitpid(pid, &wait_status, 0) == pid)
        run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    if (!on_terminal) run.out = read_file(out), run.err = read_file(err);
    return run;
}

// The sample: flows stored A (rectangle 8, page 2), then B
// (rectangle 7, page 1); each flow names its rectangle once.
const std::string kSampleHead = record("DID", {"42"}) + record("FLO", {"1", "1", "8"}) + record("FLO", {"2", "1", "7"});

// Catches flows converted out of page order, a progress bar or message
// off a terminal, temporary files left behind, "-" not meaning the
// standard streams, and files really named "stdin" and "stdout" taken for
// the streams; diagnostics printed without --verbose, or without their
// prefix.
TEST(ConvertCommand, ConvertsToFilesAndStandardStreams) {
    TempDir dir, work;
    ToolRun run = run_convert({kSample, dir.file("sample.icf")}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err + run.out, "");
    const std::string icf = read_file(dir.file("sample.icf"));
    EXPECT_EQ(visible(icf.substr(0, kSampleHead.size())), visible(kSampleHead));
    const std::size_t b = icf.find("Page one: flow B"), a = icf.find("Page two: flow A");
    EXPECT_TRUE(b != std::string::npos && a != std::string::npos && b < a) << "flow B (page 1) converts first";
    EXPECT_EQ(dir.entries(), Strings{"sample.icf"}) << "temporary files left behind";

    ToolRun piped = run_convert({"-", "-"}, work.path(), kSample);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(visible(piped.out), visible(icf));
    EXPECT_EQ(work.entries(), Strings{}) << "temporary files left in the working directory";
    EXPECT_EQ(run_convert({"-", "out.icf"}, work.path(), kSample).status, 0);
    EXPECT_EQ(visible(read_file(work.file("out.icf"))), visible(icf));

    write_file(work.file("stdin"), read_file(kSample));
    ToolRun named = run_convert({"stdin", "stdout"}, work.path());
    EXPECT_TRUE(named.status == 0 && named.out.empty()) << named.err;
    EXPECT_EQ(visible(read_file(work.file("stdout"))), visible(icf));

    write_file(work.file("doc.zem"), "<ZEMFile 5.00>\n<PageSize 8.5\" 11.0\">\n");
    EXPECT_EQ(run_convert({"doc.zem", "doc.icf"}, work.path()).err, "") << "no diagnostics without --verbose";
    ToolRun verbose = run_convert({"doc.zem", "doc.icf", "--verbose"}, work.path());
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_EQ(verbose.err, "vox42: PageSize Token: Got when not in page.\n");
}

// Catches a wrong status, more or less than one error line, a line without
// the source and the code, output on standard output, and a file left
// behind (a target for a missing source).
TEST(ConvertCommand, FailureGivesOneLineAndTheResultCode) {
    // No source, an empty one, a blank before the header, a header of
    // another format, and a statement left open.
    const std::pair<const char *, int> cases[] = {
        {nullptr, 1}, {"", 2}, {" <ZEMFile 5.00>\n", 9}, {"<MIFFile 5.00>\n", 9},
        {"<ZEMFile 5.00>\n<Page\n <PageType BodyPage>\n", 16}};
    for (const auto &c : cases) {
        TempDir dir;
        const std::string source = dir.file("doc.zem"), code = std::to_string(c.second);
        if (c.first) write_file(source, c.first);
        ToolRun run = run_convert({source, dir.file("doc.icf")}, dir.path());
        EXPECT_EQ(run.status, c.second) << run.err;
        EXPECT_TRUE(std::regex_match(run.err, std::regex("vox42: " + source + ": [^\n]+ \\(code " + code + "\\)\n")))
            << run.err;
        EXPECT_EQ(run.out, "");
        const Strings left = dir.entries();
        EXPECT_TRUE(left == Strings(c.first ? 1 : 0, "doc.zem") || (c.first && left == Strings{"doc.icf", "doc.zem"}));
    }
}

// The largest values MainEntryPoint's fixed buffers take: 13 characters of
// version level, 124 of target name ("-t=" and the name in 128 bytes), 16
// options (the tool's own -N included when standard output is not a
// terminal).  Catches a limit refused or let through, a usage error that
// converts anyway (or leaves a file), and an option naming a second target.
TEST(ConvertCommand, UsageErrorsStopBeforeConverting) {
    const std::string long_target = std::string(120, 't') + ".icf";
    auto with_options = [](Strings args, int count) { return args.insert(args.end(), count, "-A"), args; };
    const std::pair<Strings, int> cases[] = {
        {with_options({"doc.zem", long_target, "--version-level", "5234567890123"}, 15), 0},
        {with_options({"doc.zem", "doc.icf"}, 16), kUsageStatus},  // 17 options with the tool's -N
        {{}, kUsageStatus}, {{"doc.zem"}, kUsageStatus}, {{"doc.zem", "doc.icf", "--version-level"}, kUsageStatus},
        {{"doc.zem", "doc.icf", "--version-level", "12345678901234"}, kUsageStatus},  // 14 characters
        {{"doc.zem", "doc.icf", "--version-level="}, kUsageStatus}, {{"doc.zem", "doc.icf", "--verbos"}, kUsageStatus},
        {{"doc.zem", "doc.icf", "-t=other.icf"}, kUsageStatus}, {{"doc.zem", "doc.icf", " /T=other.icf"}, kUsageStatus},
        {{"doc.zem", std::string(121, 't') + ".icf"}, kUsageStatus},  // 125 characters
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first.empty() ? "(none)" : c.first.back() + " of " + std::to_string(c.first.size()));
        TempDir dir;
        write_file(dir.file("doc.zem"), read_file(kSample));
        ToolRun run = run_convert(c.first, dir.path());
        EXPECT_EQ(run.status, c.second) << run.err;
        if (c.second == 0) {
            EXPECT_EQ(visible(read_file(dir.file(long_target)).substr(0, kSampleHead.size())), visible(kSampleHead));
        } else {
            EXPECT_EQ(run.err.rfind("vox42 convert: ", 0), 0u) << run.err;
            EXPECT_EQ(dir.entries(), Strings{"doc.zem"});
        }
    }
}

// The bar: ">" and 50 places that fill with dots, 2 percent each, then "<".
// Catches a bar missing on a terminal, a bar inside intermediate code sent
// to the terminal, and an error line that overwrites an unfinished bar.
TEST(ConvertCommand, ProgressBarOnlyOnATerminalThatIsNotTheTarget) {
    TempDir dir;
    ToolRun to_file = run_convert({kSample, "doc.icf"}, dir.path(), "", true);
    EXPECT_EQ(to_file.status, 0) << to_file.out;
    EXPECT_NE(to_file.out.find(">" + std::string(50, '.') + "<"), std::string::npos) << to_file.out;

    ToolRun to_terminal = run_convert({kSample, "-"}, dir.path(), "", true);
    EXPECT_EQ(to_terminal.status, 0) << to_terminal.out;
    EXPECT_EQ(to_terminal.out.find("100%"), std::string::npos) << "no bar inside the intermediate code";
    EXPECT_NE(to_terminal.out.find("Page one: flow B"), std::string::npos);

    // A run that fails leaves the bar unfinished; the error line starts a
    // line of its own instead of overwriting the bar.
    ToolRun failed = run_convert({dir.file("missing.zem"), "doc.icf"}, dir.path(), "", true);
    EXPECT_EQ(failed.status, 1);
    const std::size_t error = failed.out.find("vox42: ");
    ASSERT_TRUE(error != std::string::npos && error > 0) << failed.out;
    EXPECT_EQ(failed.out[error - 1], '\n') << failed.out;
}

}  // namespace
}  // namespace vox::test
