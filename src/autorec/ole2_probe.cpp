// The compound-file (OLE2 structured storage) probe: follows the directory
// of a compound file from the root's child through the sibling links and
// names the format by the first known stream it meets, then looks at that
// stream's first bytes to settle the version.
//
// Layout read here: 512-byte sectors; sector n lies at file offset
// 512 + 512 n; the header holds the number of FAT sectors (44), the first
// directory sector (48), the first mini-FAT sector (60) and up to 109 FAT
// sector numbers (76).  A directory entry is 128 bytes: UTF-16LE name (0),
// name length in bytes (64), left and right sibling (68, 72), child (76),
// start sector (116) and size (120).  Streams under 4096 bytes live in the
// mini stream (the root entry's chain) in 64-byte mini sectors chained by
// the mini FAT.
//
// Every number comes from the file, so every walk is bounded: chains stop
// after the number of sectors the header's FAT can address, directory
// entries are visited once, and a failed or short read ends the probe.
#include <cstring>

#include "autorec/autorec.h"
#include "common/kernel_state.h"

namespace vox {

namespace {

constexpr int kSectorSize = 512;
constexpr int kMaxFatSectors = 109;
constexpr int kEntriesPerFatSector = 128;
constexpr int kEntriesPerDirSector = 4;
constexpr int kMaxDirEntries = kMaxFatSectors * kEntriesPerDirSector;
// The most sectors the header's FAT can address: a longer walk is a loop.
constexpr int kMaxChainSteps = kMaxFatSectors * kEntriesPerFatSector;
constexpr int kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
constexpr int kMaxStreamHead = 511;

constexpr std::int32_t kFreeSector = -1;
constexpr std::int32_t kEndOfChain = -2;

struct OleProbe {
    unsigned char header[kSectorSize];
    AutoFATState fat;
    std::int32_t fat_list[kMaxFatSectors + 1];
    std::int32_t dir_chain[kMaxFatSectors];
    int dir_sectors = 0;
    unsigned char dir_sector[kSectorSize];
    int dir_held = -1;                       // index into dir_chain
    std::int32_t root_start = kEndOfChain;   // first sector of the mini stream
    unsigned char visited[kMaxDirEntries];   // directory entries already seen
    std::int32_t ver = 0;
};

bool read_sector(OleSeekFn seek, OleReadFn read, std::int32_t sector, unsigned char *buffer) {
    if (sector < 0) return false;
    long offset = static_cast<long>(sector) * kSectorSize + kSectorSize;
    if (seek(offset) != 0) return false;
    return read(buffer, kSectorSize) == kSectorSize;
}

void load_fat_list(OleProbe &p) {
    int n = 0;
    for (; n < kMaxFatSectors; ++n) {
        std::int32_t s = AutoPtrInt32(p.header + 76 + 4 * n);
        if (s == kFreeSector || s == kEndOfChain) break;
        p.fat_list[n] = s;
    }
    for (; n <= kMaxFatSectors; ++n) p.fat_list[n] = kFreeSector;
}

void load_dir_chain(OleProbe &p) {
    std::int32_t s = AutoPtrInt32(p.header + 48);
    while (p.dir_sectors < kMaxFatSectors && s >= 0) {
        p.dir_chain[p.dir_sectors++] = s;
        s = AutoFAT_LookupBlock(p.fat, s, p.fat_list);
    }
}

bool load_dir_sector(OleProbe &p, int index) {
    if (index == p.dir_held) return true;
    p.dir_held = -1;
    if (!read_sector(p.fat.seek, p.fat.read, p.dir_chain[index], p.dir_sector)) return false;
    p.dir_held = index;
    return true;
}

// The sector `steps` links down the chain that starts at `first`.
std::int32_t follow_chain(OleProbe &p, std::int32_t first, std::int32_t steps) {
    if (steps >= kMaxChainSteps) return kEndOfChain;
    std::int32_t s = first;
    for (std::int32_t i = 0; i < steps && s >= 0; ++i) s = AutoFAT_LookupBlock(p.fat, s, p.fat_list);
    return s;
}

// The mini-FAT entry of mini sector m, or kEndOfChain when it cannot be read.
std::int32_t next_mini_sector(OleProbe &p, std::int32_t m) {
    std::int32_t sector = follow_chain(p, AutoPtrInt32(p.header + 60), m / kEntriesPerFatSector);
    unsigned char buffer[kSectorSize];
    if (!read_sector(p.fat.seek, p.fat.read, sector, buffer)) return kEndOfChain;
    return AutoPtrInt32(buffer + 4 * (m % kEntriesPerFatSector));
}

bool read_mini_sector(OleProbe &p, std::int32_t m, unsigned char *out, int count) {
    constexpr int kMiniPerSector = kSectorSize / kMiniSectorSize;
    std::int32_t sector = follow_chain(p, p.root_start, m / kMiniPerSector);
    unsigned char buffer[kSectorSize];
    if (!read_sector(p.fat.seek, p.fat.read, sector, buffer)) return false;
    std::memcpy(out, buffer + (m % kMiniPerSector) * kMiniSectorSize, static_cast<std::size_t>(count));
    return true;
}

// Up to 511 bytes of a small stream, mini sector by mini sector.
bool read_small_stream(OleProbe &p, std::int32_t start, std::uint32_t size, unsigned char *head) {
    const std::uint32_t sectors = size / kMiniSectorSize + 1;
    std::int32_t m = start;
    int got = 0;
    for (std::uint32_t k = 0; k < sectors && got < kMaxStreamHead; ++k) {
        if (m < 0) return got > 0;
        int count = kMaxStreamHead - got < kMiniSectorSize ? kMaxStreamHead - got : kMiniSectorSize;
        if (!read_mini_sector(p, m, head + got, count)) return false;
        got += count;
        if (got < kMaxStreamHead) m = next_mini_sector(p, m);
    }
    return true;
}

// Which known stream an entry names, and the version that name implies.
int AutoOLE2Check(const unsigned char *entry, std::int32_t *version) {
    static const struct {
        const char *name;
        int format;
        int version;
    } kStreams[] = {
        {"WordDocument", 49, 0},      {"Book", 21, 4},          {"MN0", 58, 0},
        {"MM", 39, 0},                {"PP40", 619, 2},         {"PowerPoint Document", 627, 0},
        {"PerfectOffice_MAIN", 48, 2}, {"ZENTRA_MAIN", 801, 3}, {"Leafcraft", 112, 0},
    };
    for (const auto &s : kStreams)
        if (AutoStrCmpIC(entry, s.name) == 0) {
            *version = s.version;
            return s.format;
        }
    return 0;
}

// Refines a match from the first bytes of its stream.
int AutoOLECheckVersion(OleProbe &p, int format, const unsigned char *entry) {
    std::int32_t start = AutoPtrInt32(entry + 116);
    auto size = static_cast<std::uint32_t>(AutoPtrInt32(entry + 120));
    unsigned char head[kSectorSize] = {};
    bool read_ok = size < kMiniStreamCutoff ? read_small_stream(p, start, size, head)
                                            : read_sector(p.fat.seek, p.fat.read, start, head);
    if (!read_ok) return format;
    static const unsigned char kWpc[] = {0xFF, 'W', 'P', 'C'};
    static const unsigned char kWpcKind[] = {0x01, 0x0A, 0x02, 0x02};
    static const unsigned char kSpreadsheet[] = {0x00, 0x00, 0x02, 0x00, 0x07, 0x10};
    switch (format) {
        case 48:
            if (std::memcmp(head, kWpc, 4) == 0 && std::memcmp(head + 8, kWpcKind, 4) == 0) {
                p.ver = 2;
                return 48;
            }
            if (std::memcmp(head, kSpreadsheet, 6) == 0) {
                p.ver = 3;
                return 801;
            }
            return format;
        case 49:
            if (head[0] == 0xDC && head[1] == 0xA5) {
                if (head[21] <= 1) p.ver = head[21];
                return 49;
            }
            if (head[0] == 0xEC) {
                // A later document layout: the battery decides.
                p.ver = 0;
                return 0;
            }
            return format;
        case 58:
            if (std::memcmp(head, "CHNK", 4) != 0) {
                p.ver = 1;
                return 39;
            }
            return format;
        default:
            return format;
    }
}

bool is_sibling(std::int32_t n) { return n != kFreeSector && n != kEndOfChain; }

int AutoOLEChkObj(OleProbe &p, std::int32_t n) {
    if (n < 0 || n >= kMaxDirEntries) return 0;
    const int index = n / kEntriesPerDirSector;
    if (index >= p.dir_sectors || p.visited[n]) return 0;
    p.visited[n] = 1;
    if (!load_dir_sector(p, index)) return 0;
    const unsigned char *entry = p.dir_sector + 128 * (n % kEntriesPerDirSector);
    int format = AutoOLE2Check(entry, &p.ver);
    // The stream reads below leave the directory sector in place.
    if (format != 0) return AutoOLECheckVersion(p, format, entry);
    const std::int32_t left = AutoPtrInt32(entry + 68);
    const std::int32_t right = AutoPtrInt32(entry + 72);
    if (is_sibling(left)) {
        int found = AutoOLEChkObj(p, left);
        if (found != 0) return found;
    }
    return is_sibling(right) ? AutoOLEChkObj(p, right) : 0;
}

int probe_directory(OleProbe &p) {
    load_fat_list(p);
    load_dir_chain(p);
    if (p.dir_sectors == 0 || !load_dir_sector(p, 0)) return 0;
    p.root_start = AutoPtrInt32(p.dir_sector + 116);
    return AutoOLEChkObj(p, AutoPtrInt32(p.dir_sector + 76));
}

}  // namespace

std::int32_t AutoFAT_LookupBlock(AutoFATState &state, std::int32_t block, const std::int32_t *fat_list) {
    if (block < 0) return kFreeSector;
    const std::int32_t index = block / kEntriesPerFatSector;
    if (index >= state.fat_sectors || index >= kMaxFatSectors) return kFreeSector;
    if (index != state.held) {
        state.held = -1;
        if (!read_sector(state.seek, state.read, fat_list[index], state.sector)) return kFreeSector;
        state.held = index;
    }
    return AutoPtrInt32(state.sector + 4 * (block % kEntriesPerFatSector));
}

int auto_OLE2Formats(const unsigned char *block, int length, OleSeekFn seek, OleReadFn read) {
    RecognizerState &st = kernel().autorec;
    st.ver = 0;
    if (length < 2048 || std::memcmp(block, Signature, sizeof Signature) != 0) return 0;
    OleProbe p;
    std::memcpy(p.header, block, kSectorSize);
    std::memset(p.visited, 0, sizeof p.visited);
    p.fat.fat_sectors = AutoPtrInt32(p.header + 44);
    p.fat.seek = seek;
    p.fat.read = read;
    int format = probe_directory(p);
    st.ver = format != 0 ? p.ver : 0;
    return format;
}

}  // namespace vox
