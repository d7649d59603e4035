// Shared pieces of the benchmark programs: timing, a scratch directory the
// program works in, and a source file that sits in the page cache.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vox::bench {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best of three runs of a figure where more is better.
template <typename F>
double best_of_three(F run) {
    double best = 0;
    for (int i = 0; i < 3; ++i) best = std::max(best, run());
    return best;
}

// A fresh directory under $TMPDIR (or /tmp) that the program works in while
// it lives; removed, when empty, at the end.
class BenchDir {
  public:
    BenchDir() {
        const char *tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vox42-bench-XXXXXX";
        path_.assign(templ.begin(), templ.end());
        path_.push_back('\0');
        if (!mkdtemp(path_.data()) || chdir(path_.data()) != 0) {
            std::perror("bench directory");
            std::exit(1);
        }
    }
    ~BenchDir() {
        if (chdir("/") != 0 || rmdir(path_.data()) != 0) std::perror("removing bench directory");
    }

  private:
    std::vector<char> path_;
};

// Writes `bytes` bytes of letters to `path` and reads them once, so that
// timed reads find the file in the page cache.
inline void make_cached_source(const std::string &path, std::size_t bytes) {
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

}  // namespace vox::bench
