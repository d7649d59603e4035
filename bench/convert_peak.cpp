// Throughput and peak memory of one large conversion.
//
//   vox42_convert_peak [MEGABYTES] [--side-every N] [--page-bytes N]
//                      [--seed N] [--version-level L] [--formatting]
//
// Generates a ZEM document of MEGABYTES (default 200; with --formatting,
// one dense in paragraph and character formatting) into a fresh
// directory under $TMPDIR (or /tmp), converts it once through
// libvox42.so's MainEntryPoint in a child process, and prints the source
// MB/s (wall clock; also per CPU second, for a busy machine) and the
// child's peak resident memory (ru_maxrss), against the floors of 30 MB/s
// and 64 MB.  The child starts as a copy of this small
// process, so its peak is the conversion's own.  Exits 1 when the
// conversion fails, 2 when a floor is missed.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "vox42/vox42.h"
#include "zem_generator.h"

namespace {

constexpr double kFloorMBps = 30.0;
constexpr double kFloorPeakMB = 64.0;
constexpr double kMB = 1024.0 * 1024.0;

struct Settings {
    double megabytes = 200;
    vox::bench::ZemShape shape;
    std::string version_level = "5";
};

bool parse(int argc, char **argv, Settings &s) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--side-every" && has_value)
            s.shape.side_flow_every = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--page-bytes" && has_value)
            s.shape.page_text_bytes = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--seed" && has_value)
            s.shape.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--version-level" && has_value)
            s.version_level = argv[++i];
        else if (arg == "--formatting")
            s.shape.formatting_heavy = true;
        else if (arg[0] != '-' && std::atof(arg.c_str()) > 0)
            s.megabytes = std::atof(arg.c_str());
        else
            return false;
    }
    s.shape.bytes = static_cast<std::uint64_t>(s.megabytes * kMB);
    return true;
}

struct Outcome {
    int code = -1;       // result code, or -1 when the child did not exit
    double seconds = 0;      // wall clock
    double cpu_seconds = 0;  // user and system time of the child
    double peak_mb = 0;      // the child's peak resident memory
};

// Converts in a child process and collects its result and resources.
Outcome convert_in_child(const std::string &source, const std::string &target, const std::string &version) {
    Outcome out;
    const auto start = vox::bench::Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        char quiet[] = "-N";
        char *options[] = {quiet, nullptr};
        _exit(MainEntryPoint(source.c_str(), target.c_str(), version.c_str(), options, nullptr, nullptr));
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return out;
    out.seconds = vox::bench::seconds_since(start);
    out.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kilobytes
    out.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (WIFEXITED(status)) out.code = WEXITSTATUS(status);
    return out;
}

long file_size(const std::string &name) {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

}  // namespace

int main(int argc, char **argv) {
    Settings s;
    if (!parse(argc, argv, s)) {
        std::fprintf(stderr,
                     "usage: vox42_convert_peak [MEGABYTES] [--side-every N] [--page-bytes N] [--seed N] "
                     "[--version-level L] [--formatting]\n");
        return 64;
    }
    vox::bench::BenchDir dir;
    const std::string source = "generated.zem", target = "generated.icf";
    const auto gen_start = vox::bench::Clock::now();
    if (!vox::bench::write_zem_file(source, s.shape)) {
        std::perror(source.c_str());
        return 1;
    }
    const double gen_seconds = vox::bench::seconds_since(gen_start);
    const double source_mb = static_cast<double>(file_size(source)) / kMB;
    std::printf("source: %.1f MB generated in %.1f s (%s, page text %u bytes, a side flow every %u pages)\n",
                source_mb, gen_seconds, s.shape.formatting_heavy ? "formatting-heavy" : "plain",
                s.shape.page_text_bytes, s.shape.side_flow_every);

    const Outcome out = convert_in_child(source, target, s.version_level);
    const double target_mb = static_cast<double>(file_size(target)) / kMB;
    unlink(source.c_str());
    unlink(target.c_str());
    if (out.code != VOX42_OK) {
        std::printf("conversion failed: result code %d after %.1f s\n", out.code, out.seconds);
        return 1;
    }
    const double mbps = source_mb / out.seconds;
    std::printf("target: %.1f MB\n", target_mb);
    std::printf("time:   %.2f s, %.1f MB/s of source (floor %.0f MB/s: %s)\n", out.seconds, mbps, kFloorMBps,
                mbps >= kFloorMBps ? "met" : "MISSED");
    std::printf("cpu:    %.2f s user+system, %.1f MB/s of source per CPU second\n", out.cpu_seconds,
                source_mb / out.cpu_seconds);
    std::printf("peak:   %.1f MB resident (floor < %.0f MB: %s)\n", out.peak_mb, kFloorPeakMB,
                out.peak_mb < kFloorPeakMB ? "met" : "MISSED");
    return mbps >= kFloorMBps && out.peak_mb < kFloorPeakMB ? 0 : 2;
}
