// The list files' caches and batched reading.
#include "converter/list_files.h"

#include <cstring>

#include "common/memory.h"
#include "converter/conversion.h"

namespace vox {
namespace {

// Room for `size` bytes; false when there is no memory for them.
bool make_room(ListCache &c, long size) {
    if (size <= c.capacity) return true;
    const long capacity = std::min(kCacheLimit, std::max({size, 2 * c.capacity, 4096L}));
    auto *bytes = static_cast<unsigned char *>(VOXmalloc(static_cast<std::size_t>(capacity)));
    if (!bytes) return false;
    if (c.bytes) VOXfree(c.bytes);
    c.bytes = bytes;
    c.capacity = capacity;
    return true;
}

}  // namespace

ListFilesState &list_files() { return conv().list_files; }

void forget_list_cache(ListCache &c) { c.valid = false; }

void note_list_write(ListCache &c, int handle, long offset, const unsigned char *bytes, int count) {
    if (!c.valid || handle != c.handle) return;
    if (offset >= 0 && count >= 0 && offset + count <= c.size)
        std::memcpy(c.bytes + offset, bytes, static_cast<std::size_t>(count));
    else
        c.valid = false;  // the file grew: the next lookup reads it
}

void free_list_caches() {
    ListFilesState &s = list_files();
    for (ListCache *c : {&s.pgf_catalog, &s.char_catalog, &s.font_list, &s.colours}) {
        if (c->bytes) VOXfree(c->bytes);
        *c = ListCache{};
    }
}

int load_list_records(ListCache &c, int handle, int count, int size) {
    const long wanted = static_cast<long>(count) * size;
    if (count <= 0) return 0;
    if (c.valid && c.handle == handle && c.size >= wanted) return count;
    c.valid = false;
    if (wanted > kCacheLimit || !make_room(c, wanted)) return -1;
    if (VOXlseek(handle, 0, SEEK_SET) != 0) return kListSeekFailed;
    const int got = read_list_records(handle, c.bytes, count, size);
    // Only a whole copy is kept: a file that ended early is read again.
    c.handle = handle;
    c.size = static_cast<long>(got) * size;
    c.valid = got == count;
    return got;
}

int read_list_records(int handle, unsigned char *bytes, int count, int size) {
    const unsigned wanted = static_cast<unsigned>(count) * static_cast<unsigned>(size);
    unsigned got = 0;
    while (got < wanted) {
        int n = VOXread(handle, bytes + got, wanted - got);
        if (n <= 0) break;
        got += static_cast<unsigned>(n);
    }
    return static_cast<int>(got / static_cast<unsigned>(size));
}

}  // namespace vox
