// Throughput of the kernel's byte paths, through libvox42.so as a host
// would call them:
//
//   b_getc        reads a 100 MB file that sits in the page cache
//   b_putc        writes 100 MB to a file
//   bufput+bufget appends 100 MB to one temporary buffer (which spills to
//                 its spill file) and reads it all back
//
// Each figure is the best of three runs, in MB/s (10^6 bytes per second).
// Usage: vox42_kernel_bench [megabytes] (default 100).  Files are made in a
// fresh directory under $TMPDIR (or /tmp) and removed at the end.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/file_access.h"
#include "common/streams.h"
#include "common/temp_buffers.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void make_source(const std::string &path, std::size_t bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
    for (std::size_t done = 0; done < bytes; done += block.size())
        std::fwrite(block.data(), 1, std::min(block.size(), bytes - done), f);
    std::fclose(f);
    // Read it once so the timed runs find it in the page cache.
    f = std::fopen(path.c_str(), "rb");
    while (std::fread(block.data(), 1, block.size(), f) > 0) {
    }
    std::fclose(f);
}

double bench_getc(const std::string &path, std::size_t bytes) {
    int in = VOXopen(path.c_str(), 1, 1);
    auto start = Clock::now();
    b_open(in, -1, 2048);
    unsigned long sum = 0;
    for (int c; (c = b_getc()) != -1;) sum += static_cast<unsigned>(c);
    b_close();
    double s = seconds_since(start);
    VOXclose(in);
    if (sum == 0) std::puts("(no bytes read)");
    return bytes / s / 1e6;
}

double bench_putc(const std::string &path, std::size_t bytes) {
    int out = VOXopen(path.c_str(), 2, 2);
    auto start = Clock::now();
    b_open(-1, out, 2048);
    for (std::size_t i = 0; i < bytes; ++i) b_putc(static_cast<int>('a' + i % 26));
    b_close();
    double s = seconds_since(start);
    VOXclose(out);
    return bytes / s / 1e6;
}

double bench_buffer_round_trip(std::size_t bytes) {
    auto start = Clock::now();
    int h = bufopen(1024);
    for (std::size_t i = 0; i < bytes; ++i) bufput(static_cast<int>('a' + i % 26), h);
    unsigned long sum = 0;
    for (int c; (c = bufget(h)) != -1;) sum += static_cast<unsigned>(c);
    bufclose(h);
    double s = seconds_since(start);
    if (sum == 0) std::puts("(no bytes read back)");
    return bytes / s / 1e6;
}

template <typename F>
double best_of_three(F run) {
    double best = 0;
    for (int i = 0; i < 3; ++i) best = std::max(best, run());
    return best;
}

}  // namespace

int main(int argc, char **argv) {
    std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    std::size_t bytes = megabytes * 1000 * 1000;
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vox42-bench-XXXXXX";
    std::vector<char> dir(templ.begin(), templ.end());
    dir.push_back('\0');
    if (!mkdtemp(dir.data()) || chdir(dir.data()) != 0) {
        std::perror("bench directory");
        return 1;
    }
    // Spill files are made next to the target name, here the bench directory.
    make_source("source.bin", bytes);

    std::printf("b_getc:        %8.1f MB/s  (%zu MB file in the page cache)\n",
                best_of_three([&] { return bench_getc("source.bin", bytes); }), megabytes);
    std::printf("b_putc:        %8.1f MB/s  (%zu MB to a file)\n",
                best_of_three([&] { return bench_putc("target.bin", bytes); }), megabytes);
    std::printf("bufput+bufget: %8.1f MB/s  (%zu MB through one spilling buffer)\n",
                best_of_three([&] { return bench_buffer_round_trip(bytes); }), megabytes);

    unlink("source.bin");
    unlink("target.bin");
    if (chdir("/") != 0 || rmdir(dir.data()) != 0) std::perror("removing bench directory");
    return 0;
}
