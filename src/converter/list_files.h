// The temporary list files of a conversion (paragraph catalog, character
// catalog, font list, colours) hold fixed-size records that are looked up
// from the file's start on every style switch, colour change and font
// change.  A lookup reads the records it needs into a memory copy once and
// answers from it until the file changes: the module's own writes patch
// the copy (or drop it when they extend the file), and a lookup on another
// handle, for more records than held, or after a short read loads it
// afresh.  Files of more than kCacheLimit bytes of records are read in 8 KB
// batches on every lookup instead.  The file stays what is written and
// read: its failures (a seek, a read) still show on the lookup that loads.
#pragma once

#include <algorithm>
#include <cstdio>

#include "common/file_access.h"

namespace vox {

constexpr long kCacheLimit = 4L << 20;
constexpr int kListBatchBytes = 8192;
constexpr int kListSeekFailed = -2;

// The first `size` bytes of a list file, as last read or written.
struct ListCache {
    unsigned char *bytes = nullptr;  // tracked block of `capacity` bytes
    long size = 0;
    long capacity = 0;
    int handle = -1;     // the file they were read from
    bool valid = false;
};

struct ListFilesState {
    ListCache pgf_catalog, char_catalog, font_list, colours;
};

ListFilesState &list_files();

// Keeps the cache in step with `count` bytes just written at `offset`.
void note_list_write(ListCache &cache, int handle, long offset, const unsigned char *bytes, int count);

// Forgets what the cache holds: the next lookup reads the file.
void forget_list_cache(ListCache &cache);

// Frees the caches' memory; every cache starts empty again.
void free_list_caches();

// Reads up to `count` records of `size` bytes at the file position into
// `bytes`; the number of whole records read.  A transport may deliver a
// large read in parts, so reading goes on until the end of the file or an
// error.
int read_list_records(int handle, unsigned char *bytes, int count, int size);

// The cached copy of the file's first `count` records of `size` bytes, read
// when needed: the number of whole records it holds (fewer when the file
// is shorter), kListSeekFailed when the file could not be positioned, -1
// when the records are not cached (too many, or no memory).
int load_list_records(ListCache &cache, int handle, int count, int size);

// Offers the first `count` records of `Size` bytes to `match` until it
// returns true: the index of that record; -1 when none matched or the file
// holds fewer records; kListSeekFailed when the file could not be
// positioned at its start (each list file fails in its own way).
template <int Size, typename Match>
int find_list_record(int handle, ListCache &cache, int count, Match &&match) {
    static_assert(Size > 0 && Size <= kListBatchBytes, "a batch holds at least one record");
    using Record = unsigned char[Size];
    const int held = load_list_records(cache, handle, count, Size);
    if (held == kListSeekFailed) return held;
    if (held >= 0) {
        const auto *records = reinterpret_cast<const Record *>(cache.bytes);
        for (int i = 0; i < held; ++i)
            if (match(records[i])) return i;
        return -1;
    }
    if (VOXlseek(handle, 0, SEEK_SET) != 0) return kListSeekFailed;
    Record batch[kListBatchBytes / Size];
    const int per_batch = kListBatchBytes / Size;
    for (int index = 0; index < count;) {
        const int wanted = std::min(count - index, per_batch);
        const int got = read_list_records(handle, batch[0], wanted, Size);
        for (int i = 0; i < got; ++i, ++index)
            if (match(static_cast<const Record &>(batch[i]))) return index;
        if (got < wanted) break;
    }
    return -1;
}

}  // namespace vox
