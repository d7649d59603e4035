// Format recognition throughput, through libvox42.so as a host would call
// it: files recognised per second over 10 000 small files (default) of a
// mix of kinds, from a picture header that the battery names early to
// plain text and unknown binary data that run the whole battery.
//
// A second figure gives the same blocks to AutoRecBlock from memory.
// Each figure is the best of three passes over all files (their contents
// in the page cache after the first).  Usage: vox42_autorec_bench [files].
// Files are made in a fresh directory under $TMPDIR (or /tmp) and removed
// at the end.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "autorec/autorec.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string text_file(unsigned seed, std::size_t size) {
    static const char *const kWords[] = {"format", "recognition", "reads", "the", "first", "block", "of",
                                         "a", "file", "and", "names", "its", "converter"};
    std::string s;
    unsigned x = seed * 2654435761u + 1;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        s += kWords[(x >> 16) % 13];
        s += (x >> 8) % 11 == 0 ? "\n" : " ";
    }
    s.resize(size);
    return s;
}

std::string binary_file(unsigned seed, std::size_t size) {
    std::string s(size, '\0');
    unsigned x = seed + 7;
    for (auto &c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

// The mix: one of ten kinds per file, sizes 200 bytes to 4 KB.
std::string sample(unsigned i) {
    const std::size_t size = 200 + (i * 37u) % 3900;
    switch (i % 10) {
        case 0: return std::string("\x89PNG\r\n\x1a\n", 8) + binary_file(i, size);
        case 1: return "GIF89a" + binary_file(i, size);
        case 2: return "%PDF-1.4\n" + text_file(i, size);
        case 3: return std::string("PK\x03\x04", 4) + binary_file(i, size);
        case 4: return "{\\rtf1\\ansi " + text_file(i, size);
        case 5: return "<html><head><title>t</title></head><body>" + text_file(i, size);
        case 6: return std::string("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11) + binary_file(i, size);
        case 7: return binary_file(i, size);
        default: return text_file(i, size);
    }
}

void write_file(const std::string &path, const std::string &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

// The same recognition on blocks already in memory: the testers alone,
// without the file system.
double block_pass(const std::vector<std::string> &blocks, long *checksum) {
    auto start = Clock::now();
    long sum = 0;
    for (const std::string &b : blocks) {
        int version = 0;
        sum += AutoRecBlock(reinterpret_cast<const unsigned char *>(b.data()), static_cast<int>(b.size()), 0, &version);
    }
    *checksum = sum;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double pass(const std::vector<std::string> &paths, long *checksum) {
    auto start = Clock::now();
    long sum = 0;
    for (const std::string &p : paths) {
        int version = 0;
        sum += autorec(p.c_str(), &version) + version;
    }
    *checksum = sum;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/vox42-autorec-bench-XXXXXX";
    std::vector<char> dir(templ.begin(), templ.end());
    dir.push_back('\0');
    if (!mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    std::vector<std::string> paths, blocks;
    for (int i = 0; i < files; ++i) {
        paths.push_back(std::string(dir.data()) + "/f" + std::to_string(i));
        blocks.push_back(sample(static_cast<unsigned>(i)));
        write_file(paths.back(), blocks.back());
    }
    long checksum = 0;
    double best = 1e9;
    for (int run = 0; run < 3; ++run) best = std::min(best, pass(paths, &checksum));
    std::printf("autorec: %d files in %.3f s: %.0f files/s (checksum %ld)\n", files, best, files / best, checksum);
    best = 1e9;
    for (int run = 0; run < 3; ++run) best = std::min(best, block_pass(blocks, &checksum));
    std::printf("AutoRecBlock: %d blocks in %.3f s: %.0f blocks/s (checksum %ld)\n", files, best, files / best, checksum);
    for (const std::string &p : paths) unlink(p.c_str());
    rmdir(dir.data());
    return 0;
}
