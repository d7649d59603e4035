// `vox42 convert SOURCE TARGET [--version-level L] [--verbose] [OPTION...]`
//
// Calls MainEntryPoint once.  "-" names standard input as SOURCE and
// standard output as TARGET; the library's file layer reads and writes the
// standard streams itself under the names "stdin" and "stdout".  Arguments
// the tool does not know are the library's own options and are passed on
// unchanged after the tool's own ones.
#include "convert_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vox42/vox42.h"

namespace {

// Limits of the command line MainEntryPoint builds, which refuses a longer
// one with code 8: "-t=" and the target name share 128 bytes, "-v" and the
// version level 16, and the extra options have 16 slots.
constexpr std::size_t kMaxTargetChars = 124;
constexpr std::size_t kMaxVersionChars = 13;
constexpr std::size_t kMaxExtraOptions = 16;

// The library's option that turns the progress display off.
const char kQuietOption[] = "-N";

struct ResultMeaning {
    int code;
    const char *text;
};

// What each result code of MainEntryPoint means, for the one error line.
const ResultMeaning kResultMeanings[] = {
    {VOX42_ERR_OPEN, "cannot open the source or another file the conversion needs"},
    {VOX42_ERR_READ, "the source is empty, ends inside its header or cannot be read"},
    {VOX42_ERR_TARGET, "cannot create the target or a temporary spill file"},
    {VOX42_ERR_WRITE, "a write failed"},
    {VOX42_WARN_FAR_PAST_END, "an embedded object of unknown format, or reading went far past the end"},
    {VOX42_ERR_MEMORY, "out of memory, temporary buffers or temporary files"},
    {VOX42_ERR_NOT_ZEM, "not a ZEM document"},
    {VOX42_ERR_WRITE_NOTHING, "a write wrote nothing (disk full?)"},
    {VOX42_WARN_12, "a value the conversion could not use"},
    {VOX42_ERR_STRUCTURE, "the statement structure is broken (unbalanced or too deeply nested '<' '>')"},
    {VOX42_ERR_SEEK, "positioning in a temporary list file failed"},
};

const char *result_meaning(int code) {
    for (const ResultMeaning &m : kResultMeanings)
        if (m.code == code) return m.text;
    return "the conversion failed";
}

const char kUsage[] =
    "usage: vox42 convert SOURCE TARGET [--version-level L] [--verbose] [OPTION...]\n"
    "  SOURCE, TARGET   file names; '-' is standard input / standard output\n"
    "  --version-level L  the version level handed to the converter (default 5;\n"
    "                   a second character D keeps the text of master pages)\n"
    "  --verbose        print the converter's diagnostics on standard error\n"
    "  OPTION...        converter options, passed on unchanged (e.g. -GX)\n";

struct ConvertRequest {
    std::string source;
    std::string target;
    std::string version_level = "5";
    bool verbose = false;
    std::vector<std::string> options;  // passed on to MainEntryPoint
};

bool refuse(std::string &error, const std::string &why) {
    error = why;
    return false;
}

bool starts_with(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// True for a converter option that names the target ("-t=NAME"): the tool
// names the target itself, and a second one would silently replace it.
bool sets_target(const std::string &option) {
    std::size_t i = option.find_first_not_of(' ');
    if (i == std::string::npos || (option[i] != '-' && option[i] != '/')) return false;
    return option.size() > i + 2 && (option[i + 1] == 't' || option[i + 1] == 'T') && option[i + 2] == '=';
}

// Fills `request` from the arguments; false with `error` set when they
// cannot be used.  The tool's own options may stand anywhere; of the other
// arguments the first two are SOURCE and TARGET and the rest are options.
bool parse_request(int argc, char **argv, ConvertRequest &request, std::string &error) {
    std::vector<std::string> plain;
    for (int i = 0; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--verbose") == 0) {
            request.verbose = true;
        } else if (std::strcmp(arg, "--version-level") == 0) {
            if (i + 1 == argc) return refuse(error, "--version-level needs a value");
            request.version_level = argv[++i];
        } else if (starts_with(arg, "--version-level=")) {
            request.version_level = arg + std::strlen("--version-level=");
        } else if (starts_with(arg, "--")) {
            return refuse(error, std::string("unknown option ") + arg);
        } else {
            plain.emplace_back(arg);
        }
    }
    if (plain.size() < 2) return refuse(error, "SOURCE and TARGET are needed");
    request.source = plain[0];
    request.target = plain[1];
    request.options.assign(plain.begin() + 2, plain.end());
    if (request.version_level.empty() || request.version_level.size() > kMaxVersionChars)
        return refuse(error, "the version level must have 1 to 13 characters");
    for (const std::string &option : request.options)
        if (sets_target(option)) return refuse(error, "the target is TARGET; option " + option + " would replace it");
    return true;
}

// The name under which the library opens a file: "-" becomes the name of
// the standard stream, and a file really called like a standard stream is
// reached through "./" so that the library does not take it for one.
std::string library_name(const std::string &name, const char *stream) {
    if (name == "-") return stream;
    if (name == "stdin" || name == "stdout") return "./" + name;
    return name;
}

// Whether the file `name` is the open file behind descriptor `fd`.
bool same_file(int fd, const std::string &name) {
    struct stat by_fd, by_name;
    if (::fstat(fd, &by_fd) != 0 || ::stat(name.c_str(), &by_name) != 0) return false;
    return by_fd.st_dev == by_name.st_dev && by_fd.st_ino == by_name.st_ino;
}

// The console progress bar goes to standard output: only a terminal that
// does not receive the intermediate code gets it.  A source read from
// standard input has no size to measure progress against.
bool wants_progress_bar(const ConvertRequest &request) {
    if (!::isatty(STDOUT_FILENO)) return false;
    if (request.target == "-" || same_file(STDOUT_FILENO, request.target)) return false;
    return request.source != "-";
}

void print_diagnostic(const char *text, void * /*user*/) { std::fprintf(stderr, "vox42: %s\n", text); }

int usage_error(const std::string &error) {
    std::fprintf(stderr, "vox42 convert: %s\n%s", error.c_str(), kUsage);
    return kConvertUsageError;
}

}  // namespace

int run_convert(int argc, char **argv) {
    if (argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    ConvertRequest request;
    std::string error;
    if (!parse_request(argc, argv, request, error)) return usage_error(error);
    const std::string source = library_name(request.source, "stdin");
    const std::string target = library_name(request.target, "stdout");
    if (target.size() > kMaxTargetChars) return usage_error("the target name is longer than 124 characters");

    const bool progress_bar = wants_progress_bar(request);
    std::vector<std::string> options;
    if (!progress_bar) options.emplace_back(kQuietOption);
    options.insert(options.end(), request.options.begin(), request.options.end());
    if (options.size() > kMaxExtraOptions)
        return usage_error("too many converter options (16 at most, counting the -N the tool adds off a terminal)");
    std::vector<char *> extra_argv;
    for (std::string &option : options) extra_argv.push_back(&option[0]);
    extra_argv.push_back(nullptr);

    if (request.verbose) vox42_set_diagnostic_listener(print_diagnostic, nullptr);
    // Whatever the progress bar or the library printed must precede the
    // error line, and nothing of the tool's stdio may mix into a target
    // written to standard output.
    std::fflush(stdout);
    const int code = MainEntryPoint(source.c_str(), target.c_str(), request.version_level.c_str(),
                                    extra_argv.data(), nullptr, nullptr);
    vox42_set_diagnostic_listener(nullptr, nullptr);
    if (code == VOX42_OK) return code;
    // A failed run leaves the bar unfinished, with the cursor at its start.
    if (progress_bar) std::fputc('\n', stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "vox42: %s: %s (code %d)\n", request.source.c_str(), result_meaning(code), code);
    return code;
}
