// The compound-file probe on files built by the test writer: the streams it
// names and the versions their first bytes settle, in and outside the mini
// stream, the order of the directory walk, and broken files (loops, chains
// pointing anywhere, truncation) that must end the probe cleanly.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

class AutoRecCompound : public KernelTest {
  protected:
    Outcome probe(const std::string &bytes) {
        write_file(path, bytes);
        int version = -9;
        return {autorec(path.c_str(), &version), version};  // braced: evaluated in order
    }
    TempDir dir;
    std::string path = dir.file("f");
};

// A Word document stream of `size` bytes beginning with the pattern `head`.
std::string word(const std::string &head, int size = 64) { return blk("'w'*" + std::to_string(size) + " @0 " + head); }

// Catches a known stream name missed, or a version its first bytes settle
// (in or outside the mini stream) lost.
TEST_F(AutoRecCompound, StreamNamesAndVersions) {
    const struct { std::vector<CompoundStream> streams; Outcome want; } cases[] = {
        {{{"WordDocument", word("DC A5 @21 01")}}, {49, 1}},
        {{{"WordDocument", word("DC A5 @21 02")}}, {49, 0}},
        {{{"WordDocument", word("DC A5 @21 01", 5000)}}, {49, 1}},  // outside the mini stream
        // At mini sector 10, in the second sector of the mini stream.
        {{{"Pad", std::string(600, 'p')}, {"WordDocument", word("DC A5 @21 01")}}, {49, 1}},
        // The later layout is left to the battery, which finds the entry.
        {{{"WordDocument", word("EC A5 @21 01")}}, {49, 0}},
        {{{"Book", "\x09\x08"}}, {21, 4}},          {{{"PowerPoint Document", "slides"}}, {627, 0}},
        {{{"PP40", "slides"}}, {619, 2}},           {{{"MM", "works"}}, {39, 0}},
        {{{"MN0", "CHNKINK"}}, {58, 0}},            {{{"MN0", "CHNx"}}, {39, 1}},
        {{{"ZENTRA_MAIN", "sheet"}}, {801, 3}},     {{{"Leafcraft", "pages"}}, {112, 0}},
        {{{"PerfectOffice_MAIN", blk("FF 'WPC' @8 01 0A 02 02 #32")}}, {48, 2}},
        {{{"PerfectOffice_MAIN", blk("00 00 02 00 07 10 00 00")}}, {801, 3}},
        {{{"MN0x", "CHNK"}}, kNo},                  {{{"mn0", "CHNK"}}, kNo},  // names match exactly
        {{{"Data", "x"}, {"Stuff", "y"}, {"MN0", "CHNK"}, {"Book", "z"}}, {58, 0}},  // the first one met
    };
    for (const auto &c : cases)
        EXPECT_EQ(probe(write_compound_file(c.streams).bytes), c.want) << "case " << &c - cases;
}

using Edit = std::function<void(CompoundFile &)>;
const std::vector<CompoundStream> kFive = {{"A", "a"}, {"B", "b"}, {"C", "c"}, {"D", "d"}, {"MN0", "CHNK"}};

// Catches a walk in the wrong order, and broken files that loop, read out
// of bounds or lose what could still be read.
TEST_F(AutoRecCompound, WalkOrderAndBrokenFiles) {
    const auto e = CompoundFile::entry;
    const struct { const char *what; std::vector<CompoundStream> streams; Edit edit; Outcome want; } cases[] = {
        {"left sibling before right", {{"A", "a"}, {"MN0", "CHNK"}, {"MM", "m"}},
         [&](CompoundFile &f) { f.set(e(1) + 68, 2), f.set(e(1) + 72, 3), f.set(e(2) + 72, -1); }, {58, 0}},
        {"left sibling before right (swapped)", {{"A", "a"}, {"MN0", "CHNK"}, {"MM", "m"}},
         [&](CompoundFile &f) { f.set(e(1) + 68, 3), f.set(e(1) + 72, 2), f.set(e(2) + 72, -1); }, {39, 0}},
        {"a storage's children are not searched", {{"Sub", ""}, {"MN0", "CHNK"}},
         [&](CompoundFile &f) { f.bytes[e(1) + 66] = 1, f.set(e(1) + 72, -1), f.set(e(1) + 76, 2); }, kNo},
        {"sibling is itself", {{"A", "a"}, {"MN0", "CHNK"}}, [&](CompoundFile &f) { f.set(e(1) + 72, 1); }, kNo},
        {"siblings cycle", {{"A", "a"}, {"B", "b"}, {"MN0", "CHNK"}},
         [&](CompoundFile &f) { f.set(e(2) + 68, 1), f.set(e(2) + 72, 1); }, kNo},
        {"siblings anywhere", {{"A", "a"}, {"MN0", "CHNK"}},
         [&](CompoundFile &f) { f.set(e(1) + 68, -7), f.set(e(1) + 72, 0x7FFFFFF0); }, kNo},
        {"directory chain loops", kFive, [](CompoundFile &f) { f.set(f.fat_entry(1), 1); }, kNo},
        {"directory chain anywhere", kFive, [](CompoundFile &f) { f.set(f.fat_entry(1), 0x7FFFFFF0); }, kNo},
        {"directory sector past the end", {{"MN0", "CHNK"}}, [](CompoundFile &f) { f.set(48, 100); }, kNo},
        // The first directory and mini sectors need no FAT look-up.
        {"FAT sector unreadable", {{"MN0", "CHNx"}}, [](CompoundFile &f) { f.set(76, 0x00FFFFFF); }, {39, 1}},
        // Only 109 FAT sectors can be listed, whatever the header's count.
        {"FAT sector count huge", {{"MN0", "CHNx"}},
         [](CompoundFile &f) { f.set(44, 0x7FFFFFFF), f.set(f.fat_entry(1), 0x7FFFFFF0); }, {39, 1}},
        // Streams that cannot be read keep the name's own version.
        {"stream past the mini stream", {{"MN0", "CHNx"}}, [&](CompoundFile &f) { f.set(e(1) + 116, 5000); },
         {58, 0}},
        {"no mini stream", {{"MN0", "CHNx"}}, [&](CompoundFile &f) { f.set(e(0) + 116, -2); }, {58, 0}},
        {"mini chain loops", {{"MN0", "CHNx" + std::string(200, 'c')}},
         [](CompoundFile &f) { f.set(512 * (1 + f.mini_fat), 0); }, {39, 1}},
        {"large stream cut", {{"Pad", std::string(4096, 'p')}, {"WordDocument", word("DC A5 @21 01", 5000)}},
         [](CompoundFile &f) { f.bytes.resize(512 * (1 + f.start[1]) + 100); }, {49, 0}},
        {"under 2048 bytes", {{"MN0", "CHNK"}}, [](CompoundFile &f) { f.bytes.resize(2047); }, kNo},
        // The probe leaves the later layout alone even when the battery cannot name it.
        {"later layout with a left sibling", {{"WordDocument", word("EC A5 @21 01")}, {"Other", "data"}},
         [&](CompoundFile &f) { f.set(e(1) + 68, 2), f.set(e(1) + 72, -1); }, kNo},
    };
    for (const auto &c : cases) {
        CompoundFile f = write_compound_file(c.streams);
        c.edit(f);
        EXPECT_EQ(probe(f.bytes), c.want) << c.what;
    }
}

// Catches a FAT sector kept from an earlier look-up (entry 5 lies in the
// first FAT sector, entry 130 in the second), a sector read again while
// look-ups stay in it, and blocks beyond the header's FAT sectors.
TEST_F(AutoRecCompound, FatLookupFollowsItsSector) {
    static std::string file;
    static long at = 0, reads = 0;
    file = blk("@532 4D @1032 58 #1536"), at = reads = 0;
    AutoFATState fat;
    fat.fat_sectors = 2;
    fat.seek = [](long offset) { return at = offset, 0; };
    fat.read = [](unsigned char *out, int n) { return ++reads, int(file.copy(reinterpret_cast<char *>(out), n, at)); };
    const std::int32_t list[2] = {0, 1};
    auto look = [&](std::int32_t block) { return long(AutoFAT_LookupBlock(fat, block, list)); };
    EXPECT_EQ(std::vector<long>({look(5), look(6), reads, look(130), reads, look(256), look(-2)}),
              std::vector<long>({77, 0, 1, 88, 2, -1, -1}));
}

}  // namespace
}  // namespace vox::test
