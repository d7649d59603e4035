// Test helpers of the format recogniser's suites: a byte-block builder, a
// minimal compound-file (OLE2 structured storage) writer, and two ways to
// run the recogniser on a block (one tester alone, or the whole battery).
//
// The writer lays a file out as: header, FAT sectors, directory sectors,
// mini-FAT sectors, the mini stream (the root entry's chain), then each
// large stream in turn; every chain runs through consecutive sectors.  The
// root's child is the first stream, and each stream's right sibling is the
// next one (a valid, if unbalanced, tree).  Streams under 4096 bytes go to
// the mini stream.  The result keeps the layout, so a test can then break
// the file on purpose: point a sibling or a FAT entry anywhere, or cut it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "autorec/autorec.h"

namespace vox::test {

// A block of bytes built by position: unset bytes are zero.
class ByteBlock {
  public:
    explicit ByteBlock(std::size_t size = 0, char fill = '\0') : bytes_(size, fill) {}
    ByteBlock &put(std::size_t at, const std::string &text);
    ByteBlock &put(std::size_t at, std::initializer_list<int> values);
    ByteBlock &le16(std::size_t at, unsigned value);
    ByteBlock &le32(std::size_t at, std::uint32_t value);
    ByteBlock &be16(std::size_t at, unsigned value);
    ByteBlock &append(const std::string &text);
    ByteBlock &append(std::initializer_list<int> values);
    ByteBlock &resize(std::size_t size, char fill = '\0');
    const std::string &str() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

  private:
    void grow(std::size_t size);
    std::string bytes_;
};

// Bytes from a list of values 0-255.
std::string bytes(std::initializer_list<int> values);

struct CompoundStream {
    std::string name;  // ASCII; stored as UTF-16LE
    std::string data;
};

struct CompoundFile {
    std::string bytes;
    std::int32_t fat_start = 0;        // first FAT sector
    std::int32_t directory_start = 0;  // first directory sector
    int directory_sectors = 0;
    std::int32_t mini_fat_start = -2;
    std::int32_t mini_stream_start = -2;
    std::vector<std::int32_t> stream_start;  // per stream: sector or mini sector

    // File offset of directory entry n (0 is the root).
    std::size_t entry_offset(int n) const;
    // File offset of the FAT entry of sector s.
    std::size_t fat_entry_offset(std::int32_t s) const;
    void set_i32(std::size_t at, std::int32_t value);
};

CompoundFile write_compound_file(const std::vector<CompoundStream> &streams);

// A format number and the version that came with it.
struct Outcome {
    int format;
    int version;
    bool operator==(const Outcome &o) const { return format == o.format && version == o.version; }
};
std::ostream &operator<<(std::ostream &out, const Outcome &o);

// Runs one tester on `block` as the battery would (buffer of at least 4000
// bytes, zero-padded), optionally as the expected-format tester.
Outcome run_tester(Tester tester, const std::string &block, bool as_expected = false);
// AutoRecBlock on `block`.
Outcome recognise(const std::string &block, int expected = 0);

}  // namespace vox::test
