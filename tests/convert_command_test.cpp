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
    std::vector<char *> argv(args.size() + 1, nullptr);
    for (std::size_t i = 0; i < args.size(); ++i) argv[i] = &args[i][0];
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

// Catches a progress bar or message off a terminal, temporary files left
// behind, "-" not meaning the standard streams, and files really named
// "stdin" and "stdout" taken for the streams; diagnostics printed without
// --verbose, or without their prefix.  (The page order of the sample's
// flows is the library's: tests/documents/flows-page-order.)
TEST(ConvertCommand, ConvertsToFilesAndStandardStreams) {
    TempDir dir, work;
    ToolRun run = run_convert({kSample, dir.file("sample.icf")}, dir.path());
    EXPECT_EQ(std::make_tuple(run.status, run.err + run.out, dir.entries()),
              std::make_tuple(0, "", Strings{"sample.icf"}));  // no temporary files left behind
    const std::string icf = read_file(dir.file("sample.icf"));
    EXPECT_EQ(visible(icf.substr(0, kSampleHead.size())), visible(kSampleHead));
    ToolRun piped = run_convert({"-", "-"}, work.path(), kSample);
    EXPECT_EQ(std::make_pair(piped.status, visible(piped.out)), std::make_pair(0, visible(icf))) << piped.err;
    EXPECT_EQ(work.entries(), Strings{}) << "temporary files left in the working directory";
    write_file(work.file("stdin"), read_file(kSample));
    const ToolRun named = run_convert({"stdin", "stdout"}, work.path());
    EXPECT_EQ(visible(named.out + "|" + read_file(work.file("stdout"))), "|" + visible(icf)) << named.err;

    write_file(work.file("doc.zem"), "<ZEMFile 5.00>\n<PageSize 8.5\" 11.0\">\n");
    EXPECT_EQ(run_convert({"doc.zem", "doc.icf"}, work.path()).err, "") << "no diagnostics without --verbose";
    EXPECT_EQ(run_convert({"doc.zem", "doc.icf", "--verbose"}, work.path()).err,
              "vox42: PageSize Token: Got when not in page.\n");
}

// Catches a wrong status, more or less than one error line, a line without
// the source and the code, output on standard output, and a file left
// behind (a target for a missing source).
TEST(ConvertCommand, FailureGivesOneLineAndTheResultCode) {
    // No source, an empty one, a header of another format, a statement left open.
    const std::pair<const char *, int> cases[] = {
        {nullptr, 1}, {"", 2}, {"<MIFFile 5.00>\n", 9}, {"<ZEMFile 5.00>\n<Page\n <PageType BodyPage>\n", 16}};
    for (const auto &c : cases) {
        TempDir dir;
        const std::string source = dir.file("doc.zem"), code = std::to_string(c.second);
        if (c.first) write_file(source, c.first);
        ToolRun run = run_convert({source, dir.file("doc.icf")}, dir.path());
        EXPECT_EQ(std::make_pair(run.status, run.out), std::make_pair(c.second, std::string())) << run.err;
        EXPECT_TRUE(std::regex_match(run.err, std::regex("vox42: " + source + ": [^\n]+ \\(code " + code + "\\)\n")))
            << run.err;
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
    const Strings cases[] = {  // the first at every limit converts, the others are refused
        with_options({"doc.zem", long_target, "--version-level", "5234567890123"}, 15),
        with_options({"doc.zem", "doc.icf"}, 16),  // 17 options with the tool's -N
        {"doc.zem"}, {"doc.zem", "doc.icf", "--version-level"}, {"doc.zem", "doc.icf", "--version-level="},
        {"doc.zem", "doc.icf", "--version-level", "12345678901234"},  // 14 characters
        {"doc.zem", "doc.icf", "--verbos"}, {"doc.zem", "doc.icf", "-t=a.icf"}, {"doc.zem", "doc.icf", " /T=a.icf"},
        {"doc.zem", std::string(121, 't') + ".icf"},  // 125 characters
    };
    for (const Strings &args : cases) {
        TempDir dir;
        write_file(dir.file("doc.zem"), read_file(kSample));
        const ToolRun run = run_convert(args, dir.path());
        EXPECT_EQ(std::make_tuple(run.status, dir.entries(), run.err.rfind("vox42 convert: ", 0)),
                  &args == cases ? std::make_tuple(0, Strings{"doc.zem", long_target}, std::string::npos)
                                 : std::make_tuple(64, Strings{"doc.zem"}, std::size_t{0}))  // 64: a usage error
            << args.back() << " of " << args.size() << ": " << run.err;
    }
}

// The bar: ">" and 50 places that fill with dots, 2 percent each, then "<".
// Catches a bar missing on a terminal, a bar inside intermediate code sent
// to the terminal, and an error line that overwrites an unfinished bar.
TEST(ConvertCommand, ProgressBarOnlyOnATerminalThatIsNotTheTarget) {
    TempDir dir;
    const std::string bar = run_convert({kSample, "doc.icf"}, dir.path(), "", true).out;
    EXPECT_NE(bar.find(">" + std::string(50, '.') + "<"), std::string::npos) << bar;
    const ToolRun icf = run_convert({kSample, "-"}, dir.path(), "", true);
    EXPECT_EQ(std::make_tuple(icf.status, icf.out.find("100%"), icf.out.find("Page one: flow B") != std::string::npos),
              std::make_tuple(0, std::string::npos, true)) << "no bar inside the intermediate code: " << icf.out;
    // A run that fails leaves the bar unfinished; the error line starts a
    // line of its own instead of overwriting the bar.
    const ToolRun failed = run_convert({dir.file("missing.zem"), "doc.icf"}, dir.path(), "", true);
    const std::size_t error = failed.out.find("vox42: ");
    EXPECT_TRUE(failed.status == 1 && error != std::string::npos && error > 0 && failed.out[error - 1] == '\n')
        << failed.out;
}

}  // namespace
}  // namespace vox::test
