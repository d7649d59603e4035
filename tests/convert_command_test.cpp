// `vox42 convert`: the built tool runs as a real process, with its standard
// streams on files, on standard input, or on a terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "test_support.h"

namespace vox::test {
namespace {

const std::string kTool = VOX42_TOOL_PATH;
const std::string kSample = std::string(VOX42_SOURCE_DIR) + "/samples/two-pages.zem";
constexpr int kUsageStatus = 64;

struct ToolRun {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

int status_of(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    return 128 + WTERMSIG(wait_status);
}

std::vector<char *> argv_of(std::vector<std::string> &args) {
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(kTool.c_str()));
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return argv;
}

// Runs `vox42 convert ARGS...` in `cwd` with standard input from `input`;
// standard output and error are collected through files.
ToolRun run_convert(std::vector<std::string> args, const std::string &cwd,
                    const std::string &input = "/dev/null") {
    TempDir streams;
    const std::string out = streams.file("out"), err = streams.file("err");
    args.insert(args.begin(), "convert");
    std::vector<char *> argv = argv_of(args);
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (chdir(cwd.c_str()) != 0) _exit(120);
        int in_fd = open(input.c_str(), O_RDONLY);
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in_fd < 0 || out_fd < 0 || err_fd < 0) _exit(121);
        dup2(in_fd, 0);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        execv(argv[0], argv.data());
        _exit(122);
    }
    ToolRun run;
    int wait_status = 0;
    if (pid > 0 && waitpid(pid, &wait_status, 0) == pid) run.status = status_of(wait_status);
    run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

// Runs `vox42 convert ARGS...` in `cwd` with its standard output (and
// error) on a terminal; returns what the terminal received.
ToolRun run_convert_on_terminal(std::vector<std::string> args, const std::string &cwd) {
    args.insert(args.begin(), "convert");
    std::vector<char *> argv = argv_of(args);
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(120);
        execv(argv[0], argv.data());
        _exit(122);
    }
    ToolRun run;
    if (pid < 0) return run;
    char block[4096];
    for (;;) {
        ssize_t n = read(master, block, sizeof block);
        if (n > 0) run.out.append(block, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;  // EIO once the child has closed the terminal
    }
    close(master);
    int wait_status = 0;
    if (waitpid(pid, &wait_status, 0) == pid) run.status = status_of(wait_status);
    return run;
}

int count_lines(const std::string &text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

bool ends_with(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The sample: flows stored A (rectangle 8, page 2), then B
// (rectangle 7, page 1); each flow names its rectangle once.
std::string sample_head() {
    return record("DID", {"42"}) + record("FLO", {"1", "1", "8"}) + record("FLO", {"2", "1", "7"});
}

TEST(ConvertCommand, ConvertsTheSampleInPageOrder) {
    TempDir dir;
    ToolRun run = run_convert({kSample, dir.file("sample.icf")}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "") << "no progress bar when standard output is not a terminal";
    const std::string icf = read_file(dir.file("sample.icf"));
    EXPECT_EQ(visible(icf.substr(0, sample_head().size())), visible(sample_head()));
    const std::size_t b = icf.find("Page one: flow B"), a = icf.find("Page two: flow A");
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(a, std::string::npos);
    EXPECT_LT(b, a) << "flow B lies on page 1 and converts first";
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sample.icf"}) << "temporary files left behind";
}

TEST(ConvertCommand, DashReadsStandardInputAndWritesStandardOutput) {
    TempDir reference, work;
    ASSERT_EQ(run_convert({kSample, reference.file("sample.icf")}, reference.path()).status, 0);
    const std::string expected = read_file(reference.file("sample.icf"));
    ASSERT_NE(expected, "");

    ToolRun piped = run_convert({"-", "-"}, work.path(), kSample);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(visible(piped.out), visible(expected));
    EXPECT_EQ(work.entries(), std::vector<std::string>{}) << "temporary files left in the working directory";

    ToolRun from_stdin = run_convert({"-", "out.icf"}, work.path(), kSample);
    EXPECT_EQ(from_stdin.status, 0) << from_stdin.err;
    EXPECT_EQ(visible(read_file(work.file("out.icf"))), visible(expected));
}

// Files really named "stdin" and "stdout" are files, not the streams.
TEST(ConvertCommand, FilesNamedLikeTheStandardStreamsAreFiles) {
    TempDir work;
    write_file(work.file("stdin"), read_file(kSample));
    ToolRun run = run_convert({"stdin", "stdout"}, work.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(read_file(work.file("stdout")).substr(0, sample_head().size()), sample_head());
}

TEST(ConvertCommand, FailureGivesOneLineAndTheResultCode) {
    struct Case {
        const char *what;
        const char *bytes;  // null: the source does not exist
        int code;
    };
    const Case cases[] = {
        {"missing source", nullptr, 1},
        {"empty source", "", 2},
        {"blank before the header", " <ZEMFile 5.00>\n", 9},
        {"unknown header word", "<MIFFile 5.00>\n", 9},
        {"statement left open", "<ZEMFile 5.00>\n<Page\n <PageType BodyPage>\n", 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string source = dir.file("doc.zem");
        if (c.bytes) write_file(source, c.bytes);
        ToolRun run = run_convert({source, dir.file("doc.icf")}, dir.path());
        EXPECT_EQ(run.status, c.code);
        EXPECT_EQ(count_lines(run.err), 1) << run.err;
        EXPECT_EQ(run.err.rfind("vox42: " + source + ": ", 0), 0u) << run.err;
        EXPECT_TRUE(ends_with(run.err, " (code " + std::to_string(c.code) + ")\n")) << run.err;
        EXPECT_EQ(run.out, "");
        for (const std::string &name : dir.entries())
            EXPECT_TRUE(name == "doc.zem" || name == "doc.icf") << "left behind: " << name;
        if (!c.bytes) {
            EXPECT_EQ(dir.entries(), std::vector<std::string>{}) << "no target for a missing source";
        }
    }
}

TEST(ConvertCommand, UsageErrorsStopBeforeConverting) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"doc.zem"},
        {"doc.zem", "doc.icf", "--version-level"},
        {"doc.zem", "doc.icf", "--version-level", "12345678901234"},  // 14 characters
        {"doc.zem", "doc.icf", "--version-level="},
        {"doc.zem", "doc.icf", "-t=other.icf"},
        {"doc.zem", "doc.icf", " /T=other.icf"},
        {"doc.zem", "doc.icf", "--verbos"},
        {"doc.zem", std::string(121, 't') + ".icf"},  // 125 characters
    };
    for (const std::vector<std::string> &args : cases) {
        SCOPED_TRACE(args.empty() ? "(none)" : args.back());
        TempDir dir;
        write_file(dir.file("doc.zem"), read_file(kSample));
        ToolRun run = run_convert(args, dir.path());
        EXPECT_EQ(run.status, kUsageStatus);
        EXPECT_EQ(run.err.rfind("vox42 convert: ", 0), 0u) << run.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"doc.zem"});
    }
}

// The largest values MainEntryPoint's fixed buffers take: 13 characters of
// version level, 124 of target name ("-t=" and the name in 128 bytes), 16
// options (the tool's own -N included when standard output is not a
// terminal).
TEST(ConvertCommand, LimitsOfTheEntryPointAreAccepted) {
    TempDir dir;
    const std::string target = std::string(120, 't') + ".icf";
    std::vector<std::string> args = {kSample, target, "--version-level", "5234567890123"};
    for (int i = 0; i < 15; ++i) args.push_back("-A");
    ToolRun run = run_convert(args, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.file(target)).substr(0, sample_head().size()), sample_head());

    args.push_back("-A");
    EXPECT_EQ(run_convert(args, dir.path()).status, kUsageStatus) << "17 options with the tool's -N";
}

TEST(ConvertCommand, VerbosePrintsDiagnosticsPrefixed) {
    TempDir dir;
    write_file(dir.file("doc.zem"), "<ZEMFile 5.00>\n<PageSize 8.5\" 11.0\">\n");
    ToolRun quiet = run_convert({"doc.zem", "doc.icf"}, dir.path());
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "") << "no diagnostics without --verbose";

    ToolRun verbose = run_convert({"doc.zem", "doc.icf", "--verbose"}, dir.path());
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_EQ(verbose.err, "vox42: PageSize Token: Got when not in page.\n");
}

// The bar: ">" and 50 places that fill with dots, 2 percent each, then "<".
TEST(ConvertCommand, ProgressBarOnlyOnATerminalThatIsNotTheTarget) {
    TempDir dir;
    const std::string full_bar = ">" + std::string(50, '.') + "<";
    ToolRun to_file = run_convert_on_terminal({kSample, "doc.icf"}, dir.path());
    EXPECT_EQ(to_file.status, 0) << to_file.out;
    EXPECT_NE(to_file.out.find(full_bar), std::string::npos) << to_file.out;

    ToolRun to_terminal = run_convert_on_terminal({kSample, "-"}, dir.path());
    EXPECT_EQ(to_terminal.status, 0) << to_terminal.out;
    EXPECT_EQ(to_terminal.out.find("100%"), std::string::npos) << "no bar inside the intermediate code";
    EXPECT_NE(to_terminal.out.find("Page one: flow B"), std::string::npos);

    // A run that fails leaves the bar unfinished; the error line starts a
    // line of its own instead of overwriting the bar.
    ToolRun failed = run_convert_on_terminal({dir.file("missing.zem"), "doc.icf"}, dir.path());
    EXPECT_EQ(failed.status, 1);
    const std::size_t error = failed.out.find("vox42: ");
    ASSERT_NE(error, std::string::npos) << failed.out;
    ASSERT_GT(error, 0u);
    EXPECT_EQ(failed.out[error - 1], '\n') << failed.out;
}

}  // namespace
}  // namespace vox::test
