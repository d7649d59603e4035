// The compound-file probe: streams it names and the versions their first
// bytes settle, small streams in the mini stream and large ones outside
// it, the order of the directory walk, and broken files (loops, chains
// pointing anywhere, truncation) that must end the probe cleanly.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "autorec/autorec.h"
#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

class AutoRecCompound : public KernelTest {
  protected:
    Outcome recognise_file(const std::string &bytes) {
        const std::string path = dir.file("f" + std::to_string(++files_));
        write_file(path, bytes);
        int version = -9;
        const int format = autorec(path.c_str(), &version);
        return {format, version};
    }
    Outcome recognise_streams(const std::vector<CompoundStream> &streams) {
        return recognise_file(write_compound_file(streams).bytes);
    }
    TempDir dir;
    int files_ = 0;
};

// The head of a Word 6/95 document stream: DC A5, byte 21 as given.
std::string word_stream(int byte21, std::size_t size = 64, int first = 0xDC) {
    return ByteBlock(size, 'w').put(0, {first, 0xA5}).put(21, {byte21}).str();
}

TEST_F(AutoRecCompound, WordDocumentVersionFromItsStream) {
    EXPECT_EQ(recognise_streams({{"WordDocument", word_stream(1)}}), (Outcome{49, 1}));
    EXPECT_EQ(recognise_streams({{"WordDocument", word_stream(0)}}), (Outcome{49, 0}));
    EXPECT_EQ(recognise_streams({{"WordDocument", word_stream(2)}}), (Outcome{49, 0}));
    // Outside the mini stream (4096 bytes and more) too.
    EXPECT_EQ(recognise_streams({{"WordDocument", word_stream(1, 5000)}}), (Outcome{49, 1}));
    // Deeper in the mini stream: the stream starts at mini sector 10, in
    // the second sector of the root's chain.
    EXPECT_EQ(recognise_streams({{"Pad", std::string(600, 'p')}, {"WordDocument", word_stream(1)}}),
              (Outcome{49, 1}));
}

TEST_F(AutoRecCompound, LaterWordLayoutLeavesItToTheBattery) {
    // Plain layout: the battery finds the WordDocument entry in the block
    // and names it, without the stream's version.
    EXPECT_EQ(recognise_streams({{"WordDocument", word_stream(1, 64, 0xEC)}}), (Outcome{49, 0}));
    // With a left sibling the entry does not pass the battery's test, and
    // nothing else in the block is telling.
    CompoundFile cf = write_compound_file({{"WordDocument", word_stream(1, 64, 0xEC)}, {"Other", "data"}});
    cf.set_i32(cf.entry_offset(1) + 68, 2);
    cf.set_i32(cf.entry_offset(1) + 72, -1);
    EXPECT_EQ(recognise_file(cf.bytes), (Outcome{0, 0}));
    CompoundFile dc = write_compound_file({{"WordDocument", word_stream(1)}, {"Other", "data"}});
    dc.set_i32(dc.entry_offset(1) + 68, 2);
    dc.set_i32(dc.entry_offset(1) + 72, -1);
    EXPECT_EQ(recognise_file(dc.bytes), (Outcome{49, 1}));
}

TEST_F(AutoRecCompound, StreamNamesAndRefinements) {
    EXPECT_EQ(recognise_streams({{"Book", "\x09\x08\x08\x00"}}), (Outcome{21, 4}));
    EXPECT_EQ(recognise_streams({{"PowerPoint Document", "slides"}}), (Outcome{627, 0}));
    EXPECT_EQ(recognise_streams({{"PP40", "slides"}}), (Outcome{619, 2}));
    EXPECT_EQ(recognise_streams({{"MM", "works"}}), (Outcome{39, 0}));
    EXPECT_EQ(recognise_streams({{"MN0", "CHNKINK"}}), (Outcome{58, 0}));
    EXPECT_EQ(recognise_streams({{"MN0", "CHNx"}}), (Outcome{39, 1}));
    EXPECT_EQ(recognise_streams({{"ZENTRA_MAIN", "sheet"}}), (Outcome{801, 3}));
    EXPECT_EQ(recognise_streams({{"Leafcraft", "pages"}}), (Outcome{112, 0}));
    const std::string wp6 = ByteBlock(32).put(0, {0xFF, 'W', 'P', 'C'}).put(8, {1, 10, 2, 2}).str();
    EXPECT_EQ(recognise_streams({{"PerfectOffice_MAIN", wp6}}), (Outcome{48, 2}));
    EXPECT_EQ(recognise_streams({{"PerfectOffice_MAIN", bytes({0, 0, 2, 0, 7, 0x10, 0, 0})}}), (Outcome{801, 3}));
    EXPECT_EQ(recognise_streams({{"PerfectOffice_MAIN", "other"}}), (Outcome{48, 2}));
    // Names match exactly: no case folding, no prefixes.
    EXPECT_EQ(recognise_streams({{"MN0x", "CHNKINK"}}), (Outcome{0, 0}));
    EXPECT_EQ(recognise_streams({{"mn0", "CHNKINK"}}), (Outcome{0, 0}));
    // The first known stream along the siblings decides.
    EXPECT_EQ(recognise_streams({{"Data", "x"}, {"Stuff", "y"}, {"MN0", "CHNK"}, {"Book", "z"}}), (Outcome{58, 0}));
}

TEST_F(AutoRecCompound, LeftSiblingBeforeRightAndNoChildStorages) {
    CompoundFile cf = write_compound_file({{"A", "a"}, {"MN0", "CHNK"}, {"MM", "m"}});
    for (int n : {2, 3}) cf.set_i32(cf.entry_offset(n) + 72, -1);
    cf.set_i32(cf.entry_offset(1) + 68, 2);
    cf.set_i32(cf.entry_offset(1) + 72, 3);
    EXPECT_EQ(recognise_file(cf.bytes), (Outcome{58, 0}));
    cf.set_i32(cf.entry_offset(1) + 68, 3);
    cf.set_i32(cf.entry_offset(1) + 72, 2);
    EXPECT_EQ(recognise_file(cf.bytes), (Outcome{39, 0}));

    // "Sub" is a storage holding the stream: its child is not searched.
    CompoundFile storage = write_compound_file({{"Sub", ""}, {"MN0", "CHNK"}});
    storage.bytes[storage.entry_offset(1) + 66] = 1;
    storage.set_i32(storage.entry_offset(1) + 72, -1);
    storage.set_i32(storage.entry_offset(1) + 76, 2);
    EXPECT_EQ(recognise_file(storage.bytes), (Outcome{0, 0}));
}

TEST_F(AutoRecCompound, DirectoryLoopsEndTheWalk) {
    CompoundFile self = write_compound_file({{"A", "a"}, {"MN0", "CHNK"}});
    self.set_i32(self.entry_offset(1) + 72, 1);
    EXPECT_EQ(recognise_file(self.bytes), (Outcome{0, 0}));
    CompoundFile cycle = write_compound_file({{"A", "a"}, {"B", "b"}, {"MN0", "CHNK"}});
    cycle.set_i32(cycle.entry_offset(2) + 72, 1);
    cycle.set_i32(cycle.entry_offset(2) + 68, 1);
    EXPECT_EQ(recognise_file(cycle.bytes), (Outcome{0, 0}));
    CompoundFile anywhere = write_compound_file({{"A", "a"}, {"MN0", "CHNK"}});
    anywhere.set_i32(anywhere.entry_offset(1) + 72, 0x7FFFFFF0);
    anywhere.set_i32(anywhere.entry_offset(1) + 68, -7);
    EXPECT_EQ(recognise_file(anywhere.bytes), (Outcome{0, 0}));
}

TEST_F(AutoRecCompound, FatChainsPointingAnywhere) {
    // Six entries: the stream is entry 5, in the second directory sector.
    const std::vector<CompoundStream> streams = {{"A", "a"}, {"B", "b"}, {"C", "c"}, {"D", "d"}, {"MN0", "CHNK"}};
    EXPECT_EQ(recognise_streams(streams), (Outcome{58, 0}));
    CompoundFile self = write_compound_file(streams);
    self.set_i32(self.fat_entry_offset(self.directory_start), self.directory_start);
    EXPECT_EQ(recognise_file(self.bytes), (Outcome{0, 0}));
    CompoundFile far = write_compound_file(streams);
    far.set_i32(far.fat_entry_offset(far.directory_start), 0x7FFFFFF0);
    EXPECT_EQ(recognise_file(far.bytes), (Outcome{0, 0}));
    // FAT sectors that cannot be read: the first directory sector and the
    // first mini sector of a stream need no FAT look-up.
    CompoundFile no_fat = write_compound_file({{"MN0", "CHNx"}});
    no_fat.set_i32(76, 0x00FFFFFF);
    EXPECT_EQ(recognise_file(no_fat.bytes), (Outcome{39, 1}));
    CompoundFile huge_count = write_compound_file({{"MN0", "CHNx"}});
    huge_count.set_i32(44, 0x7FFFFFFF);
    EXPECT_EQ(recognise_file(huge_count.bytes), (Outcome{39, 1}));
}

TEST_F(AutoRecCompound, UnreadableStreamsKeepTheName) {
    // A stream starting far past the end of the mini stream: the name's
    // own version stands ("MN0" 58, where "CHNx" would have made it 39).
    CompoundFile far = write_compound_file({{"MN0", "CHNx"}});
    far.set_i32(far.entry_offset(1) + 116, 5000);
    EXPECT_EQ(recognise_file(far.bytes), (Outcome{58, 0}));
    CompoundFile no_root = write_compound_file({{"MN0", "CHNx"}});
    no_root.set_i32(no_root.entry_offset(0) + 116, -2);
    EXPECT_EQ(recognise_file(no_root.bytes), (Outcome{58, 0}));
    // A mini-FAT chain that loops on itself is read no further than the
    // stream's size.
    CompoundFile loop = write_compound_file({{"MN0", std::string("CHNx") + std::string(200, 'c')}});
    loop.set_i32(static_cast<std::size_t>(512 + 512 * loop.mini_fat_start), 0);
    EXPECT_EQ(recognise_file(loop.bytes), (Outcome{39, 1}));
}

TEST_F(AutoRecCompound, TruncatedFiles) {
    CompoundFile cf = write_compound_file({{"Pad", std::string(4096, 'p')}, {"WordDocument", word_stream(1, 5000)}});
    EXPECT_EQ(recognise_file(cf.bytes), (Outcome{49, 1}));
    const std::size_t word_at = 512 + 512 * static_cast<std::size_t>(cf.stream_start[1]);
    EXPECT_EQ(recognise_file(cf.bytes.substr(0, word_at + 100)), (Outcome{49, 0}));
    EXPECT_EQ(recognise_file(cf.bytes.substr(0, word_at)), (Outcome{49, 0}));

    const CompoundFile small = write_compound_file({{"MN0", "CHNK"}});
    ASSERT_GT(small.bytes.size(), 2048u);
    EXPECT_EQ(recognise_file(small.bytes), (Outcome{58, 0}));
    // Under 2048 bytes the probe does not run.
    EXPECT_EQ(recognise_file(small.bytes.substr(0, 2047)), (Outcome{0, 0}));
    CompoundFile far_dir = write_compound_file({{"MN0", "CHNK"}});
    far_dir.set_i32(48, 100);
    EXPECT_EQ(recognise_file(far_dir.bytes), (Outcome{0, 0}));
}

// ---- The FAT look-up ---------------------------------------------------

std::string g_file;
long g_pos = 0;
int g_reads = 0;

int fake_seek(long offset) {
    if (offset < 0 || offset > static_cast<long>(g_file.size())) return -1;
    g_pos = offset;
    return 0;
}

int fake_read(unsigned char *buffer, int count) {
    ++g_reads;
    const long n = std::min<long>(count, static_cast<long>(g_file.size()) - g_pos);
    std::copy(g_file.begin() + g_pos, g_file.begin() + g_pos + n, buffer);
    g_pos += n;
    return static_cast<int>(n);
}

TEST_F(AutoRecCompound, FatLookupLoadsEachSectorOnce) {
    // Two FAT sectors at sectors 0 and 1: entry 5 is 77, entry 130 is 88.
    ByteBlock file(512 * 3);
    file.le32(512 + 4 * 5, 77).le32(1024 + 4 * 2, 88);
    g_file = file.str();
    g_reads = 0;
    AutoFATState state;
    state.fat_sectors = 2;
    state.seek = fake_seek;
    state.read = fake_read;
    const std::int32_t fat_list[3] = {0, 1, -1};
    EXPECT_EQ(AutoFAT_LookupBlock(state, 5, fat_list), 77);
    EXPECT_EQ(AutoFAT_LookupBlock(state, 6, fat_list), 0);
    EXPECT_EQ(g_reads, 1);
    EXPECT_EQ(AutoFAT_LookupBlock(state, 130, fat_list), 88);
    EXPECT_EQ(g_reads, 2);
    EXPECT_EQ(AutoFAT_LookupBlock(state, 256, fat_list), -1);  // third FAT sector: none
    EXPECT_EQ(AutoFAT_LookupBlock(state, -2, fat_list), -1);
    state.fat_sectors = 200;
    EXPECT_EQ(AutoFAT_LookupBlock(state, 109 * 128, fat_list), -1);
}

}  // namespace
}  // namespace vox::test
