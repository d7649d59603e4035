// Test helpers of the format recogniser's suites: blocks spelled as short
// patterns, a minimal compound-file (OLE2 structured storage) writer, and two
// ways to run the recogniser on a block (one tester alone, or AutoRecBlock).
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "autorec/autorec.h"
#include "common/kernel_state.h"

namespace vox::test {

// Bytes from a pattern, written over `b`: "@N" moves to offset N, "#N" cuts or
// zero-pads to N bytes, 'text', w'text' (UTF-16LE) and runs of hex digits
// are written at the cursor (zero-padding as needed), and "*N" after one of
// those repeats it N times.
inline std::string blk(const std::string &pat, std::string b = "") {
    std::size_t pos = 0, i = 0;
    auto number = [&] {
        std::size_t used = 0;
        const unsigned long n = std::stoul(pat.substr(i), &used);
        i += used;
        return n;
    };
    while (i < pat.size()) {
        const char c = pat[i++];
        std::string piece;
        if (c == '@') pos = number();
        if (c == '#') b.resize(number());
        if (c == ' ' || c == '@' || c == '#') continue;
        const bool wide = c == 'w' && i < pat.size() && pat[i] == '\'';
        if (c == '\'' || (wide && ++i)) {
            const std::size_t end = pat.find('\'', i);
            if (end == std::string::npos) throw std::invalid_argument("unterminated text in block pattern: " + pat);
            for (; i < end; ++i) piece += wide ? std::string{pat[i], '\0'} : std::string(1, pat[i]);
            ++i;
        } else {
            const std::size_t from = --i;
            while (i < pat.size() && std::isxdigit(static_cast<unsigned char>(pat[i]))) ++i;
            if ((i - from) % 2) throw std::invalid_argument("odd hex digits in block pattern: " + pat);
            for (std::size_t k = from; k < i; k += 2) piece += static_cast<char>(std::stoul(pat.substr(k, 2), 0, 16));
        }
        if (piece.empty()) throw std::invalid_argument("bad block pattern: " + pat);
        if (i < pat.size() && pat[i] == '*' && ++i)
            for (unsigned long n = number(), k = 1, one = piece.size(); k < n; ++k) piece += piece.substr(0, one);
        if (b.size() < pos + piece.size()) b.resize(pos + piece.size());
        b.replace(pos, piece.size(), piece);
        pos += piece.size();
    }
    return b;
}

// A pattern repeated n times; four little-endian bytes.
inline std::string rep(const std::string &pat, int n) { return n > 0 ? pat + " " + rep(pat, n - 1) : ""; }
inline std::string i32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), static_cast<char>(u >> 24)};
}

// The writer: one FAT sector (count at 44, listed at 76) in sector 0, the
// directory from sector 1 (48): the root, then the streams, each the right
// sibling of the one before; then the mini FAT (60), the mini stream
// (streams under 4096 bytes, the root's chain) and each large stream.  Every
// chain runs through consecutive sectors; tests break the file afterwards.
struct CompoundStream {
    std::string name, data;
};
struct CompoundFile {
    std::string bytes;
    std::int32_t mini_fat = 0;        // its sector
    std::vector<std::int32_t> start;  // per stream: first sector or mini sector
    static std::size_t entry(int n) { return 1024 + 128 * static_cast<std::size_t>(n); }
    static std::size_t fat_entry(std::int32_t s) { return 512 + 4 * static_cast<std::size_t>(s); }
    void set(std::size_t at, std::int32_t value) { bytes.replace(at, 4, i32(value)); }
};

// A directory entry with no left sibling.
inline std::string dir_entry(const std::string &name, int type, std::int32_t right, std::int32_t child,
                             std::int32_t start, std::size_t size) {
    std::string e = blk("w'" + name + "' #128");
    e[64] = static_cast<char>(2 * (name.size() + 1));
    e[66] = static_cast<char>(type);
    return e.replace(68, 12, i32(-1) + i32(right) + i32(child)).replace(116, 8, i32(start) + i32(std::int32_t(size)));
}

// Chains the sectors that hold `bytes` from `first`; returns the next free one.
inline std::int32_t chain(std::vector<std::int32_t> &table, std::int32_t first, std::size_t bytes, std::size_t unit) {
    const auto n = static_cast<std::int32_t>((bytes + unit - 1) / unit);
    for (std::int32_t k = 0; k < n; ++k) table.at(first + k) = k + 1 < n ? first + k + 1 : -2;
    return first + n;
}

inline CompoundFile write_compound_file(const std::vector<CompoundStream> &streams) {
    CompoundFile cf;
    std::vector<std::int32_t> fat(128, -1), mini_fat(128, -1);
    fat[0] = -3;
    std::size_t mini_bytes = 0;
    for (const auto &s : streams) mini_bytes += s.data.size() < 4096 ? (s.data.size() + 63) / 64 * 64 : 0;
    cf.mini_fat = chain(fat, 1, 128 * (streams.size() + 1), 512);
    const std::int32_t root = chain(fat, cf.mini_fat, 1, 512);
    std::int32_t next = chain(fat, root, mini_bytes, 512), next_mini = 0;
    std::string &file = cf.bytes = blk("D0CF11E0A1B11AE1 @44 01 @48 01 @80 FF*432 #2560");  // at least 2048 bytes
    auto put = [&file](std::size_t at, const std::string &data) {
        file.resize(std::max(file.size(), at + data.size()));
        file.replace(at, data.size(), data);
    };
    std::string dir = dir_entry("Root Entry", 5, -1, streams.empty() ? -1 : 1, mini_bytes ? root : -2, mini_bytes);
    for (std::size_t k = 0; k < streams.size(); ++k) {
        const std::string &d = streams[k].data;
        const bool small = d.size() < 4096;
        std::int32_t &at = small ? next_mini : next;
        cf.start.push_back(d.empty() ? -2 : at);
        put(small ? 512 * (1 + root) + 64 * at : 512 * (1 + at), d);
        at = chain(small ? mini_fat : fat, at, d.size(), small ? 64 : 512);
        const std::int32_t right = k + 1 < streams.size() ? static_cast<std::int32_t>(k + 2) : -1;
        dir += dir_entry(streams[k].name, 2, right, -1, cf.start.back(), d.size());
    }
    put(1024, dir);
    for (std::size_t k = 0; k < 128; ++k)
        put(512 + 4 * k, i32(fat[k])), put(512 * (1 + cf.mini_fat) + 4 * k, i32(mini_fat[k]));
    put(60, i32(cf.mini_fat));
    file.resize((file.size() + 511) / 512 * 512);  // whole sectors
    return cf;
}

// A format number and the version that came with it.
using Outcome = std::pair<int, int>;
const Outcome kNo{0, 0};

// One tester on `block`, as the battery runs it (zero-padded buffer of at
// least 4000 bytes), optionally as the expected-format tester.
inline Outcome run_tester(Tester tester, const std::string &block, bool as_expected = false) {
    std::string buffer = block;
    buffer.resize(std::max<std::size_t>(block.size(), kAutoRecMinBuffer));
    RecognizerState &st = kernel().autorec;
    st.bufr = reinterpret_cast<unsigned char *>(buffer.data());
    st.len = static_cast<std::int32_t>(block.size());
    st.MinorVal = as_expected ? 1 : 0;
    st.ver = 0;
    const int format = tester(st);
    const Outcome o{format, format ? st.ver : 0};
    st = RecognizerState{};
    return o;
}

inline Outcome recognise(const std::string &block, int expected = 0) {
    int version = -99;
    const auto *bytes = reinterpret_cast<const unsigned char *>(block.data());
    return {AutoRecBlock(bytes, static_cast<int>(block.size()), expected, &version), version};  // in order
}

}  // namespace vox::test
