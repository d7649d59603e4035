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

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "common/kernel_state.h"

namespace {

using namespace vox::bench;



double bench_stream_getc(const std::string &path, std::size_t bytes) {
    int in = VOXopen(path.c_str(), 1, 1);
    auto start = Clock::now();
    b_open(in, -1, 2048);
    vox::KernelState &k = vox::kernel();
    unsigned long sum = 0;
    for (int c; (c = vox::stream_getc(k.streams)) != -1;)
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


}  // namespace

int main(int argc, char **argv) {
    std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    std::size_t bytes = megabytes * 1000 * 1000;
    BenchDir dir;
    make_cached_source("source.bin", bytes);
    std::printf("stream_getc (inline):    %8.1f MB/s  (%zu MB file in the page cache)\n",
                best_of_three([&] { return bench_stream_getc("source.bin", bytes); }), megabytes);
    std::printf("buffer_put+get (inline): %8.1f MB/s  (%zu MB through one spilling buffer)\n",
                best_of_three([&] { return bench_buffer_round_trip(bytes); }), megabytes);
    unlink("source.bin");
    return 0;
}
