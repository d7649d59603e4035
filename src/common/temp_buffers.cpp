// Temporary buffers: the buffer table, the byte paths and their slow halves,
// the spill files and the one-file cache in front of them, push-back
// overflow, and closing.  The file operations themselves belong to the file
// access layer; spill file names come from gen_fnam.
//
// Where the buffer rules leave a corner open, this module keeps a buffer's
// spill file exactly as long as blocks are pending in it (see invariants 2
// and 4 in the header):
//  - a take-back that brings back the last pending block removes the file
//    and zeroes both block counts, even when earlier blocks were read back
//    already.  Counting only "blocks spilled" there would bring back, on a
//    later take-back, a block that had been read already.
//  - closing a buffer releases the spill-file cache whoever owns it, so no
//    open spill file is ever left without an owner; the next buffer to use
//    its file reopens it, as it would have after the cache was forgotten.
//  - a spill file that was named but could not be created or written is
//    still removed when the buffer is closed.
#include "common/temp_buffers.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

#include "common/kernel_state.h"

namespace vox {
namespace {

static_assert(sizeof(SettingsState::icfname) + 13 <= kSpillNameSize,
              "a spill name is the directory of icfname plus VXnnnnnn.TMP");

constexpr int kSizeStep = 128;           // shrink step when memory is short
constexpr int kOverflowMinSize = 128;    // push-back overflow request, clamped
constexpr int kOverflowMaxSize = 2048;
constexpr int kOpenForUpdate = 3;
constexpr int kCreateOrReplace = 2;
constexpr int kTemporaryKind = 3;

bool is_open(const TempBufferState &t, int handle) {
    return static_cast<unsigned>(handle) < static_cast<unsigned>(kMaxBuffers) &&
           t.bufptrs[handle] != nullptr;
}

BufferHeader *buffer_at(TempBufferState &t, int handle) {
    return is_open(t, handle) ? t.bufptrs[handle] : nullptr;
}

long block_offset(const BufferHeader *h, int block) { return static_cast<long>(block) * h->half; }

#ifndef NDEBUG
void check_cache(const TempBufferState &t) {
    assert(t.LastBufHandle < 0 || (is_open(t, t.LastBufRef) &&
                                   t.bufptrs[t.LastBufRef]->spill_handle == t.LastBufHandle));
}

void check_invariants(const TempBufferState &t, int handle) {
    const BufferHeader *h = t.bufptrs[handle];
    assert(h != nullptr);
    assert(0 <= h->read_index && h->read_index <= h->write_index && h->write_index < h->full);
    assert(h->read_index < h->half);
    assert(h->blocks_spilled > h->blocks_restored ||
           (h->blocks_spilled == 0 && h->blocks_restored == 0));
    assert(h->blocks_spilled == 0 || h->write_index >= h->half);
    assert((h->spill_name[0] != '\0') == (h->blocks_spilled > 0));
    assert(h->spill_handle < 0 || (t.LastBufRef == handle && h->spill_handle == t.LastBufHandle));
    assert(!h->overflow_active || is_open(t, h->overflow_handle));
    check_cache(t);
}

void check_table(const TempBufferState &t) {
    int occupied = 0;
    for (const BufferHeader *h : t.bufptrs) occupied += h != nullptr;
    assert(occupied == t.totused);
}
#else
inline void check_cache(const TempBufferState &) {}
inline void check_invariants(const TempBufferState &, int) {}
inline void check_table(const TempBufferState &) {}
#endif

// ---- the spill-file cache ------------------------------------------------

// Closes the one open spill file, if any, and tells its owner.
void release_spill_cache(TempBufferState &t) {
    if (t.LastBufHandle >= 0) {
        VOXclose(t.LastBufHandle);
        if (is_open(t, t.LastBufRef)) t.bufptrs[t.LastBufRef]->spill_handle = -1;
    }
    t.LastBufHandle = -1;
    t.LastBufPos = 0;
}

void adopt_spill_file(TempBufferState &t, int handle, BufferHeader *h, int file) {
    h->spill_handle = file;
    t.LastBufRef = handle;
    t.LastBufHandle = file;
    t.LastBufPos = 0;
}

// Makes the buffer's existing spill file the open one; a switch between
// buffers costs a close and an open, a run on one buffer costs nothing.
void open_spill_file(TempBufferState &t, int handle, BufferHeader *h) {
    if (h->spill_handle >= 0) return;
    release_spill_cache(t);
    int file = VOXopen(h->spill_name, kOpenForUpdate, kTemporaryKind);
    if (file < 0) err_exit(3);
    adopt_spill_file(t, handle, h, file);
}

// First spill: a fresh name next to the intermediate file, created empty.
// A name that was reserved but cannot be opened is removed before leaving.
void create_spill_file(TempBufferState &t, int handle, BufferHeader *h) {
    release_spill_cache(t);
    if (gen_fnam(kernel().settings.icfname, h->spill_name) != 0) {
        h->spill_name[0] = '\0';
        err_exit(3);
    }
    int file = VOXopen(h->spill_name, kCreateOrReplace, kTemporaryKind);
    if (file < 0) {
        VOXunlink(h->spill_name);
        h->spill_name[0] = '\0';
        err_exit(3);
    }
    adopt_spill_file(t, handle, h, file);
}

// Closes (when open) and removes the buffer's spill file; no block is
// pending any more, so both counts start again from 0.
void remove_spill_file(TempBufferState &t, BufferHeader *h) {
    if (h->spill_handle >= 0) release_spill_cache(t);
    if (h->spill_name[0] != '\0') VOXunlink(h->spill_name);
    h->spill_name[0] = '\0';
    h->blocks_spilled = 0;
    h->blocks_restored = 0;
}

// Seeks only when the remembered offset differs: runs of spills or of
// read-backs on one buffer need none.
void seek_spill_file(TempBufferState &t, long offset) {
    if (t.LastBufPos == offset) return;
    if (VOXlseek(t.LastBufHandle, offset, 0) < 0) err_exit(3);
    t.LastBufPos = offset;
}

// A short write goes on with the rest; nothing written means the medium is
// full (10), an error is a failed write (4).
void write_spill_block(TempBufferState &t, const unsigned char *source, int count) {
    while (count > 0) {
        int n = VOXwrite(t.LastBufHandle, source, static_cast<unsigned>(count));
        if (n == 0) err_exit(10);
        if (n < 0) err_exit(4);
        t.LastBufPos += n;
        source += n;
        count -= n;
    }
}

// A spill file that gives back less than was written to it is as unusable
// as one that cannot be reopened.
void read_spill_block(TempBufferState &t, unsigned char *destination, int count) {
    while (count > 0) {
        int n = VOXread(t.LastBufHandle, destination, static_cast<unsigned>(count));
        if (n <= 0) err_exit(3);
        t.LastBufPos += n;
        destination += n;
        count -= n;
    }
}

// ---- moving between the states -----------------------------------------

// The data area is full: the upper half goes to the end of the spill file.
void spill_upper_half(TempBufferState &t, int handle, BufferHeader *h) {
    if (h->blocks_spilled > 0) {
        open_spill_file(t, handle, h);
        seek_spill_file(t, block_offset(h, h->blocks_spilled));
    } else {
        create_spill_file(t, handle, h);
    }
    write_spill_block(t, h->data + h->half, h->half);
    ++h->blocks_spilled;
    h->write_index = h->half - 1;
}

// The lower half has been read: the oldest pending block comes back into
// it, or, with none pending, the upper half moves down.  Reading continues
// at index 0.
void refill_lower_half(TempBufferState &t, int handle, BufferHeader *h) {
    if (h->blocks_spilled > h->blocks_restored) {
        open_spill_file(t, handle, h);
        seek_spill_file(t, block_offset(h, h->blocks_restored));
        read_spill_block(t, h->data, h->half);
        if (++h->blocks_restored == h->blocks_spilled) remove_spill_file(t, h);
    } else {
        int unread = h->write_index - h->half + 1;
        std::memmove(h->data, h->data + h->half, static_cast<std::size_t>(unread));
        h->write_index -= h->half;
    }
    h->read_index = 0;
}

// Take-back emptied the upper half while blocks are pending: the newest
// pending block comes back into it.
void bring_back_upper_half(TempBufferState &t, int handle, BufferHeader *h) {
    int block = --h->blocks_spilled;
    open_spill_file(t, handle, h);
    seek_spill_file(t, block_offset(h, block));
    read_spill_block(t, h->data + h->half, h->half);
    h->write_index = h->full - 1;
    if (h->blocks_spilled == h->blocks_restored) remove_spill_file(t, h);
}

void reset_empty(BufferHeader *h) {
    assert(h->blocks_spilled == 0);
    h->write_index = 0;
    h->read_index = 0;
    h->blocks_spilled = 0;
    h->blocks_restored = 0;
}

// ---- opening and closing -------------------------------------------------

int lowest_free_slot(const TempBufferState &t) {
    for (int i = 0; i < t.totused; ++i)
        if (!t.bufptrs[i]) return i;
    return t.totused;
}

int open_buffer(TempBufferState &t, int size) {
    if (t.totused >= kMaxBuffers) return -1;
    size = std::max(size, kMinBufferSize);
    void *block = nullptr;
    // Below 2 bytes there is no half-block to work with.
    for (; size >= 2; size -= kSizeStep) {
        block = VOXmalloc(static_cast<std::size_t>(size) + sizeof(BufferHeader));
        if (block) break;
    }
    if (!block) return -1;
    auto *h = new (block) BufferHeader();
    h->data = reinterpret_cast<unsigned char *>(h + 1);
    h->half = size / 2;
    h->full = 2 * h->half;
    h->overflow_handle = -1;
    h->spill_handle = -1;
    int handle = lowest_free_slot(t);
    t.bufptrs[handle] = h;
    ++t.totused;
    check_table(t);
    return handle;
}

int close_buffer(TempBufferState &t, int handle);

void close_overflow(TempBufferState &t, BufferHeader *h) {
    int overflow = h->overflow_handle;
    h->overflow_active = 0;
    h->overflow_handle = -1;
    close_buffer(t, overflow);
}

int close_buffer(TempBufferState &t, int handle) {
    BufferHeader *h = buffer_at(t, handle);
    if (!h || t.totused == 0) return 0;
    if (h->overflow_active) close_overflow(t, h);
    release_spill_cache(t);
    if (h->spill_name[0] != '\0') VOXunlink(h->spill_name);
    VOXfree(h);
    t.bufptrs[handle] = nullptr;
    t.LastBufRef = -1;
    --t.totused;
    check_table(t);
    return 0;
}

// ---- push-back and take-back ---------------------------------------------

int take_back(TempBufferState &t, int handle);

// Pushed-back bytes that do not fit before the read index go to a buffer of
// their own; it is read newest first, before anything else.
void push_to_overflow(TempBufferState &t, int handle, int byte) {
    BufferHeader *h = t.bufptrs[handle];
    if (!h->overflow_active) {
        int overflow = open_buffer(t, std::clamp(h->half, kOverflowMinSize, kOverflowMaxSize));
        if (overflow < 0) err_exit(8);
        h->overflow_handle = overflow;
        h->overflow_active = 1;
    }
    buffer_put(t, byte, h->overflow_handle);
}

int push_back(TempBufferState &t, int byte, int handle) {
    BufferHeader *h = t.bufptrs[handle];
    if (!h->overflow_active && h->read_index >= 1) {
        h->data[h->read_index--] = static_cast<unsigned char>(byte);
        return 0;
    }
    push_to_overflow(t, handle, byte);
    check_invariants(t, handle);
    return 0;
}

int take_back(TempBufferState &t, int handle) {
    BufferHeader *h = t.bufptrs[handle];
    check_invariants(t, handle);
    if (h->read_index < h->write_index) {
        int w = h->write_index--;
        int byte = h->data[w];
        if (w == h->half && h->blocks_spilled > h->blocks_restored) bring_back_upper_half(t, handle, h);
        check_invariants(t, handle);
        return byte;
    }
    if (h->overflow_active) {
        // With the buffer itself empty, the newest byte is the overflow's oldest.
        int byte = buffer_get(t, h->overflow_handle);
        if (byte < 0) close_overflow(t, h);
        return byte;
    }
    return -1;
}

}  // namespace

int buffer_put_slow(TempBufferState &t, int byte, int handle) {
    BufferHeader *h = t.bufptrs[handle];
    check_invariants(t, handle);
    if (h->write_index + 1 == h->full) spill_upper_half(t, handle, h);
    h->data[++h->write_index] = static_cast<unsigned char>(byte);
    check_invariants(t, handle);
    return 0;
}

int buffer_get_slow(TempBufferState &t, int handle) {
    BufferHeader *h = t.bufptrs[handle];
    check_invariants(t, handle);
    if (h->overflow_active) {
        int byte = take_back(t, h->overflow_handle);
        if (byte >= 0) return byte;
        close_overflow(t, h);
    }
    if (h->read_index == h->write_index) {
        reset_empty(h);
        return -1;
    }
    if (h->read_index + 1 == h->half)
        refill_lower_half(t, handle, h);
    else
        ++h->read_index;
    check_invariants(t, handle);
    return h->data[h->read_index];
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int bufopen(int size) { return bufinit(size); }

VOX_API int bufsetup(int /*size*/) { return 0; }

VOX_API int bufinit(int size) { return open_buffer(kernel().buffers, size); }

VOX_API int bufput(int byte, int handle) {
    TempBufferState &t = kernel().buffers;
    if (!is_open(t, handle)) return -1;
    return buffer_put(t, byte, handle);
}

VOX_API int bufget(int handle) {
    TempBufferState &t = kernel().buffers;
    if (!is_open(t, handle)) return -1;
    return buffer_get(t, handle);
}

VOX_API int bufunget(int byte, int handle) {
    TempBufferState &t = kernel().buffers;
    if (!is_open(t, handle)) return -1;
    return push_back(t, byte, handle);
}

VOX_API int bufunput(int handle) {
    TempBufferState &t = kernel().buffers;
    if (!is_open(t, handle)) return -1;
    return take_back(t, handle);
}

// Copies whole runs up to the next half-block edge; edges, push-back and
// the end go through the single-byte slow path, so the result is that of
// `count` calls of bufget.
VOX_API int bufgets(int handle, unsigned char *destination, int count) {
    TempBufferState &t = kernel().buffers;
    BufferHeader *h = buffer_at(t, handle);
    if (!h) return 0;
    int stored = 0;
    while (stored < count) {
        int run = h->overflow_active ? 0 : std::min(h->write_index, h->half - 1) - h->read_index;
        if (run > 0) {
            run = std::min(run, count - stored);
            std::memcpy(destination + stored, h->data + h->read_index + 1, static_cast<std::size_t>(run));
            h->read_index += run;
            stored += run;
            continue;
        }
        int byte = buffer_get_slow(t, handle);
        if (byte < 0) break;
        destination[stored++] = static_cast<unsigned char>(byte);
    }
    return stored;
}

VOX_API int bufputs(int handle, const unsigned char *source, int count) {
    TempBufferState &t = kernel().buffers;
    BufferHeader *h = buffer_at(t, handle);
    if (!h) return -1;
    while (count > 0) {
        int run = std::min(h->full - 1 - h->write_index, count);
        if (run > 0) {
            std::memcpy(h->data + h->write_index + 1, source, static_cast<std::size_t>(run));
            h->write_index += run;
        } else {
            run = 1;
            buffer_put_slow(t, *source, handle);
        }
        source += run;
        count -= run;
    }
    return 0;
}

VOX_API int bufunputs(int handle, unsigned char *destination, int count) {
    TempBufferState &t = kernel().buffers;
    bool open = is_open(t, handle);
    for (int i = 0; i < count; ++i)
        destination[i] = static_cast<unsigned char>(open ? take_back(t, handle) : -1);
    return 0;
}

VOX_API int bufclose(int handle) { return close_buffer(kernel().buffers, handle); }

VOX_API int bufcloseall(void) {
    TempBufferState &t = kernel().buffers;
    if (t.totused == 0) return 0;
    for (int i = 0; i < kMaxBuffers; ++i)
        if (t.bufptrs[i]) close_buffer(t, i);
    t.totused = 0;
    return 0;
}

// The kept buffer's push-back overflow is part of it and stays open too.
VOX_API int BufCloseAllButOne(int handle) {
    TempBufferState &t = kernel().buffers;
    const BufferHeader *keep = buffer_at(t, handle);
    int keep_overflow = keep && keep->overflow_active ? keep->overflow_handle : -1;
    for (int i = 0; i < kMaxBuffers && t.totused > 0; ++i)
        if (i != handle && i != keep_overflow && t.bufptrs[i]) close_buffer(t, i);
    return 0;
}

VOX_API long BufNumStored(int handle) {
    const BufferHeader *h = buffer_at(kernel().buffers, handle);
    if (!h) return 0;
    return h->write_index + static_cast<long>(h->half) * (h->blocks_spilled - h->blocks_restored) -
           h->read_index;
}
}
