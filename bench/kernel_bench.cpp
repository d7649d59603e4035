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

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "common/file_access.h"
#include "common/streams.h"
#include "common/temp_buffers.h"

namespace {

using namespace vox::bench;



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


}  // namespace

int main(int argc, char **argv) {
    std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    std::size_t bytes = megabytes * 1000 * 1000;
    BenchDir dir;
    // Spill files are made next to the target name, here the bench directory.
    make_cached_source("source.bin", bytes);

    std::printf("b_getc:        %8.1f MB/s  (%zu MB file in the page cache)\n",
                best_of_three([&] { return bench_getc("source.bin", bytes); }), megabytes);
    std::printf("b_putc:        %8.1f MB/s  (%zu MB to a file)\n",
                best_of_three([&] { return bench_putc("target.bin", bytes); }), megabytes);
    std::printf("bufput+bufget: %8.1f MB/s  (%zu MB through one spilling buffer)\n",
                best_of_three([&] { return bench_buffer_round_trip(bytes); }), megabytes);

    unlink("source.bin");
    unlink("target.bin");
    return 0;
}
