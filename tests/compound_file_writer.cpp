// A minimal compound-file writer for the recogniser's tests (see the header).
#include "compound_file_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/kernel_state.h"

namespace vox::test {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kMini = 64;
constexpr std::size_t kCutoff = 4096;
constexpr std::int32_t kFree = -1, kEnd = -2, kFatSector = -3;

std::size_t sectors_for(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit; }

}  // namespace

void ByteBlock::grow(std::size_t size) {
    if (bytes_.size() < size) bytes_.resize(size, '\0');
}

ByteBlock &ByteBlock::put(std::size_t at, const std::string &text) {
    grow(at + text.size());
    bytes_.replace(at, text.size(), text);
    return *this;
}

ByteBlock &ByteBlock::put(std::size_t at, std::initializer_list<int> values) { return put(at, bytes(values)); }

ByteBlock &ByteBlock::le16(std::size_t at, unsigned value) { return put(at, {int(value & 0xFF), int(value >> 8 & 0xFF)}); }

ByteBlock &ByteBlock::le32(std::size_t at, std::uint32_t value) {
    return put(at, {int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF), int(value >> 24 & 0xFF)});
}

ByteBlock &ByteBlock::be16(std::size_t at, unsigned value) { return put(at, {int(value >> 8 & 0xFF), int(value & 0xFF)}); }

ByteBlock &ByteBlock::append(const std::string &text) {
    bytes_ += text;
    return *this;
}

ByteBlock &ByteBlock::append(std::initializer_list<int> values) { return append(bytes(values)); }

ByteBlock &ByteBlock::resize(std::size_t size, char fill) {
    bytes_.resize(size, fill);
    return *this;
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

std::size_t CompoundFile::entry_offset(int n) const {
    const std::size_t sector = static_cast<std::size_t>(directory_start) + static_cast<std::size_t>(n) / 4;
    return kSector + sector * kSector + 128 * (static_cast<std::size_t>(n) % 4);
}

std::size_t CompoundFile::fat_entry_offset(std::int32_t s) const {
    const std::size_t fat_sector = static_cast<std::size_t>(fat_start) + static_cast<std::size_t>(s) / 128;
    return kSector + fat_sector * kSector + 4 * (static_cast<std::size_t>(s) % 128);
}

void CompoundFile::set_i32(std::size_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(static_cast<std::uint32_t>(value) >> (8 * i));
}

CompoundFile write_compound_file(const std::vector<CompoundStream> &streams) {
    CompoundFile cf;
    // Sizes of every region, in sectors.
    std::size_t mini_sectors = 0;
    std::size_t big_sectors = 0;
    for (const CompoundStream &s : streams) {
        if (s.data.size() < kCutoff)
            mini_sectors += sectors_for(s.data.size(), kMini);
        else
            big_sectors += sectors_for(s.data.size(), kSector);
    }
    const std::size_t dir_sectors = sectors_for(streams.size() + 1, 4);
    const std::size_t mini_fat_sectors = sectors_for(mini_sectors, 128);
    const std::size_t mini_stream_sectors = sectors_for(mini_sectors * kMini, kSector);
    std::size_t fat_sectors = 1;
    while (fat_sectors * 128 < fat_sectors + dir_sectors + mini_fat_sectors + mini_stream_sectors + big_sectors)
        ++fat_sectors;
    if (fat_sectors > 109) throw std::runtime_error("compound file too large for the test writer");
    // A file shorter than four sectors is padded with free sectors.
    std::size_t total = fat_sectors + dir_sectors + mini_fat_sectors + mini_stream_sectors + big_sectors;
    if (total < 3) total = 3;

    cf.fat_start = 0;
    cf.directory_start = static_cast<std::int32_t>(fat_sectors);
    cf.directory_sectors = static_cast<int>(dir_sectors);
    const auto mini_fat_at = static_cast<std::int32_t>(fat_sectors + dir_sectors);
    const auto mini_stream_at = static_cast<std::int32_t>(mini_fat_at + mini_fat_sectors);
    auto big_at = static_cast<std::int32_t>(mini_stream_at + mini_stream_sectors);
    if (mini_fat_sectors) cf.mini_fat_start = mini_fat_at;
    if (mini_stream_sectors) cf.mini_stream_start = mini_stream_at;

    ByteBlock file((total + 1) * kSector);
    std::vector<std::int32_t> fat(fat_sectors * 128, kFree);
    std::vector<std::int32_t> mini_fat(mini_fat_sectors * 128, kFree);
    auto chain = [](std::vector<std::int32_t> &table, std::int32_t first, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            table[first + i] = i + 1 < count ? static_cast<std::int32_t>(first + i + 1) : kEnd;
    };
    for (std::size_t i = 0; i < fat_sectors; ++i) fat[i] = kFatSector;
    chain(fat, cf.directory_start, dir_sectors);
    chain(fat, mini_fat_at, mini_fat_sectors);
    chain(fat, mini_stream_at, mini_stream_sectors);

    // Stream data and the directory.
    auto sector_offset = [](std::size_t s) { return kSector + s * kSector; };
    std::int32_t next_mini = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const CompoundStream &s = streams[i];
        std::int32_t start;
        if (s.data.size() < kCutoff) {
            const std::size_t n = sectors_for(s.data.size(), kMini);
            start = n ? next_mini : kEnd;
            if (n) {
                chain(mini_fat, next_mini, n);
                file.put(sector_offset(mini_stream_at) + next_mini * kMini, s.data);
                next_mini += static_cast<std::int32_t>(n);
            }
        } else {
            const std::size_t n = sectors_for(s.data.size(), kSector);
            start = big_at;
            chain(fat, big_at, n);
            file.put(sector_offset(big_at), s.data);
            big_at += static_cast<std::int32_t>(n);
        }
        cf.stream_start.push_back(start);
    }
    auto write_entry = [&](std::size_t n, const std::string &name, int type, std::int32_t right, std::int32_t child,
                           std::int32_t start, std::uint32_t size) {
        const std::size_t at = sector_offset(cf.directory_start) + 128 * n;
        for (std::size_t i = 0; i < name.size(); ++i) file.put(at + 2 * i, {static_cast<unsigned char>(name[i]), 0});
        file.le16(at + 64, static_cast<unsigned>(2 * (name.size() + 1)));
        file.put(at + 66, {type, 1});
        file.le32(at + 68, 0xFFFFFFFFu).le32(at + 72, static_cast<std::uint32_t>(right));
        file.le32(at + 76, static_cast<std::uint32_t>(child));
        file.le32(at + 116, static_cast<std::uint32_t>(start)).le32(at + 120, size);
    };
    write_entry(0, "Root Entry", 5, -1, streams.empty() ? -1 : 1, cf.mini_stream_start,
                static_cast<std::uint32_t>(mini_sectors * kMini));
    for (std::size_t i = 0; i < streams.size(); ++i)
        write_entry(i + 1, streams[i].name, 2, i + 1 < streams.size() ? static_cast<std::int32_t>(i + 2) : -1, -1,
                    cf.stream_start[i], static_cast<std::uint32_t>(streams[i].data.size()));
    for (std::size_t n = streams.size() + 1; n < dir_sectors * 4; ++n) {
        const std::size_t at = sector_offset(cf.directory_start) + 128 * n;
        file.le32(at + 68, 0xFFFFFFFFu).le32(at + 72, 0xFFFFFFFFu).le32(at + 76, 0xFFFFFFFFu);
    }
    for (std::size_t i = 0; i < fat.size(); ++i)
        file.le32(sector_offset(cf.fat_start) + 4 * i, static_cast<std::uint32_t>(fat[i]));
    for (std::size_t i = 0; i < mini_fat.size(); ++i)
        file.le32(sector_offset(mini_fat_at) + 4 * i, static_cast<std::uint32_t>(mini_fat[i]));

    // The header.
    file.put(0, {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1});
    file.le16(24, 0x3E).le16(26, 3).le16(28, 0xFFFE).le16(30, 9).le16(32, 6);
    file.le32(44, static_cast<std::uint32_t>(fat_sectors));
    file.le32(48, static_cast<std::uint32_t>(cf.directory_start));
    file.le32(56, kCutoff);
    file.le32(60, static_cast<std::uint32_t>(cf.mini_fat_start));
    file.le32(64, static_cast<std::uint32_t>(mini_fat_sectors));
    file.le32(68, static_cast<std::uint32_t>(kEnd));
    for (std::size_t i = 0; i < 109; ++i)
        file.le32(76 + 4 * i, i < fat_sectors ? static_cast<std::uint32_t>(cf.fat_start + i) : 0xFFFFFFFFu);
    cf.bytes = file.str();
    return cf;
}

std::ostream &operator<<(std::ostream &out, const Outcome &o) {
    return out << "{format " << o.format << ", version " << o.version << "}";
}

Outcome run_tester(Tester tester, const std::string &block, bool as_expected) {
    RecognizerState &st = kernel().autorec;
    std::vector<unsigned char> buffer(std::max<std::size_t>(block.size(), kAutoRecMinBuffer));
    std::memcpy(buffer.data(), block.data(), block.size());
    st.bufr = buffer.data();
    st.len = static_cast<std::int32_t>(block.size());
    st.MinorVal = as_expected ? 1 : 0;
    st.ver = 0;
    const int format = tester(st);
    const Outcome o{format, format ? st.ver : 0};
    st.bufr = nullptr;
    st.len = 0;
    st.MinorVal = 0;
    return o;
}

Outcome recognise(const std::string &block, int expected) {
    int version = -99;
    const int format = AutoRecBlock(reinterpret_cast<const unsigned char *>(block.data()),
                                    static_cast<int>(block.size()), expected, &version);
    return {format, version};
}

}  // namespace vox::test
