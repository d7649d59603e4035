// Throughput of the byte paths as the converter itself uses them: the
// inline fast paths of streams.h and temp_buffers.h, with one look-up of the
// thread's kernel state per loop instead of one exported call per byte.
//
//   stream_getc        reads a 100 MB file that sits in the page cache
//   buffer_put+get     appends 100 MB to one temporary buffer (which spills)
//                      and reads it all back
//
// Best of three runs, in MB/s (10^6 bytes per second).  Usage:
// vox42_inline_bench [megabytes] (default 100); files go to a fresh
// directory under $TMPDIR (or /tmp), removed at the end.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/kernel_state.h"

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
    f = std::fopen(path.c_str(), "rb");
    while (std::fread(block.data(), 1, block.size(), f) > 0) {
    }
    std::fclose(f);
}

double bench_stream_getc(const std::string &path, std::size_t bytes) {
    int in = VOXopen(path.c_str(), 1, 1);
    auto start = Clock::now();
    b_open(in, -1, 2048);
    vox::KernelState &k = vox::kernel();
    unsigned long sum = 0;
    for (int c; (c = vox::stream_getc(k.streams, k.progress.DispCurrentCount, k.progress.DispDotSize)) != -1;)
        sum += static_cast<unsigned>(c);
    b_close();
    double s = seconds_since(start);
    VOXclose(in);
    if (sum == 0) std::puts("(no bytes read)");
    return bytes / s / 1e6;
}

double bench_buffer_round_trip(std::size_t bytes) {
    auto start = Clock::now();
    int h = bufopen(1024);
    vox::TempBufferState &t = vox::kernel().buffers;
    for (std::size_t i = 0; i < bytes; ++i) vox::buffer_put(t, static_cast<int>('a' + i % 26), h);
    unsigned long sum = 0;
    for (int c; (c = vox::buffer_get(t, h)) != -1;) sum += static_cast<unsigned>(c);
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
    make_source("source.bin", bytes);
    std::printf("stream_getc (inline):    %8.1f MB/s  (%zu MB file in the page cache)\n",
                best_of_three([&] { return bench_stream_getc("source.bin", bytes); }), megabytes);
    std::printf("buffer_put+get (inline): %8.1f MB/s  (%zu MB through one spilling buffer)\n",
                best_of_three([&] { return bench_buffer_round_trip(bytes); }), megabytes);
    unlink("source.bin");
    if (chdir("/") != 0 || rmdir(dir.data()) != 0) std::perror("removing bench directory");
    return 0;
}
