// bufput / bufget for the library's own byte loops: the same results (the
// open check included), inlined into the caller instead of a call per byte.
// The converter moves every byte of a document through temporary buffers
// several times, so these are its hottest paths.
#pragma once

#include "common/kernel_state.h"
#include "common/temp_buffers.h"

namespace vox {

inline bool buffer_is_open(const TempBufferState &t, int handle) {
    return static_cast<unsigned>(handle) < static_cast<unsigned>(kMaxBuffers) &&
           t.bufptrs[handle] != nullptr;
}

// bufput: 0, or -1 when the handle names no open buffer.
inline int put_byte(int byte, int handle) {
    TempBufferState &t = kernel().buffers;
    if (__builtin_expect(!buffer_is_open(t, handle), 0)) return -1;
    return buffer_put(t, byte, handle);
}

// bufget: the next byte, or -1 at the end or for a handle that names no
// open buffer.
inline int get_byte(int handle) {
    TempBufferState &t = kernel().buffers;
    if (__builtin_expect(!buffer_is_open(t, handle), 0)) return -1;
    return buffer_get(t, handle);
}

}  // namespace vox
