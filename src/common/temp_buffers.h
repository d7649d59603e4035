// Temporary buffers: first-in first-out byte queues named by small handles
// (0-599), with push-back at the read end (bufunget) and take-back at the
// write end (bufunput).  Each buffer keeps two half-blocks in memory and
// spills the middle of its content, half-block by half-block, to a spill
// file of its own (named by gen_fnam next to icfname); one spill file is
// kept open across all buffers.
//
// Data area and content order, oldest byte first:
//
//        read_index (last byte read)      write_index (last byte written)
//             v                                  v
//   [ 0 ..... lower half ..... half-1 | half ..... upper half ..... full-1 ]
//     unread lower half bytes  -->  spill file blocks restored..spilled-1
//                                   (block k at offset k * half)  -->
//                                   upper half bytes up to write_index
//
// Index 0 holds the byte read last (nothing, before the first read), so an
// empty buffer has read_index == write_index and the first byte goes to 1.
//
// States and the function that moves a buffer between them:
//
//              spill_upper_half                  refill_lower_half
//  IN MEMORY ---------------------> MIDDLE -----------------------> READING
//  no spill    bufput finds the     SPILLED   bufget read the        BACK
//  file        data area full       restored  lower half: the        restored > 0
//                                   == 0      oldest pending block   (more spills
//                                      |      comes back into it      may follow)
//   ^   ^    bring_back_upper_half     |                               |    |
//   |   +--- bufunput took back the ---+-------------------------------+    |
//   |        last pending block                                             |
//   +------- refill_lower_half: bufget read back the last pending block ----+
//            (both ways back remove the spill file)
//
//   Any state + bufunget at read_index 0 (push_to_overflow): PUSH-BACK
//   OVERFLOW, a buffer of its own that bufget empties newest first and
//   bufunput oldest first; once empty it is closed (close_overflow) and the
//   buffer is back in the state beneath.
//
// A buffer read empty starts afresh (indices and block counts 0).
//
// Invariants (asserted in debug builds, at the entry and exit of every
// slow path):
//   1. 0 <= read_index <= write_index < full, and read_index < half.
//   2. blocks_spilled > blocks_restored, or both are 0.
//   3. blocks_spilled > 0 implies write_index >= half: the upper half holds
//      the newest bytes, so a buffer with pending blocks is never empty.
//   4. The spill file exists (spill_name non-empty) iff blocks_spilled > 0.
//   5. spill_handle >= 0 iff the buffer is LastBufRef and its spill file is
//      the one open spill file (spill_handle == LastBufHandle); hence at
//      most one spill file is open.
//   6. overflow_active iff overflow_handle names an open buffer.
//   7. totused is the number of occupied slots of bufptrs.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int kMaxBuffers = 600;
constexpr int kMinBufferSize = 30000;
// Room for the directory of icfname (up to 255 bytes) plus "VX", six
// digits, ".TMP" and the terminating NUL.
constexpr int kSpillNameSize = 256 + 16;

// The header at the start of a buffer's memory block, 77 words in the
// family's layout (the data pointer and the spill name make it larger here).
struct BufferHeader {
    unsigned char *data;     // start of the data area
    int write_index;         // index of the last byte written; 0 when empty
    int read_index;          // index of the last byte read
    int blocks_spilled;      // half-blocks written to the spill file
    int blocks_restored;     // half-blocks read back
    int half;                // half-block size
    int full;                // 2 * half, the usable data area
    int overflow_active;     // pushed-back bytes held in an overflow buffer
    int overflow_handle;     // that buffer's handle, -1 when none
    char spill_name[kSpillNameSize];  // empty while there is no spill file
    int spill_handle;        // -1 when not open
    int reserved[3];
};

struct TempBufferState {
    BufferHeader *bufptrs[kMaxBuffers] = {};
    int totused = 0;
    int LastBufRef = -1;     // buffer whose spill file was used last
    int LastBufHandle = -1;  // the one spill file kept open
    long LastBufPos = 0;     // its offset as last known
};

// Out-of-line halves of the byte paths: any state, any position.
int buffer_put_slow(TempBufferState &t, int byte, int handle);
int buffer_get_slow(TempBufferState &t, int handle);

// The byte paths for callers that already hold the kernel state and a
// handle known to be open.  The common case is one index step and one
// compare; half-block edges, push-back and empty buffers go out of line.
inline int buffer_put(TempBufferState &t, int byte, int handle) {
    BufferHeader *h = t.bufptrs[handle];
    int w = h->write_index + 1;
    if (__builtin_expect(w == h->full, 0)) return buffer_put_slow(t, byte, handle);
    h->write_index = w;
    h->data[w] = static_cast<unsigned char>(byte);
    return 0;
}

inline int buffer_get(TempBufferState &t, int handle) {
    BufferHeader *h = t.bufptrs[handle];
    int r = h->read_index + 1;
    if (__builtin_expect(r > h->write_index || r == h->half || h->overflow_active, 0))
        return buffer_get_slow(t, handle);
    h->read_index = r;
    return h->data[r];
}

}  // namespace vox

extern "C" {
VOX_API int bufopen(int size);
VOX_API int bufsetup(int size);
VOX_API int bufinit(int size);
VOX_API int bufput(int byte, int handle);
VOX_API int bufget(int handle);
VOX_API int bufunget(int byte, int handle);
VOX_API int bufunput(int handle);
VOX_API int bufgets(int handle, unsigned char *destination, int count);
VOX_API int bufputs(int handle, const unsigned char *source, int count);
VOX_API int bufunputs(int handle, unsigned char *destination, int count);
VOX_API int bufclose(int handle);
VOX_API int bufcloseall(void);
VOX_API int BufCloseAllButOne(int handle);
VOX_API long BufNumStored(int handle);
}
