// The lifetime of the library's per-thread state objects (the kernel's and
// the conversion's).  Each is reached through its own initial-exec
// __thread pointer, so the byte paths pay one segment-relative load; this
// makes the object on a thread's first use and releases it when the thread
// ends, clearing the pointer.
#pragma once

#include <memory>

namespace vox {

template <typename State>
struct ThreadStateOwner {
    std::unique_ptr<State> state;
    State **slot = nullptr;
    ~ThreadStateOwner() {
        if (slot) *slot = nullptr;
    }
};

// Makes the calling thread's State (once) and points `slot` at it.
template <typename State>
State *make_thread_state(State *&slot) {
    static thread_local ThreadStateOwner<State> owner;
    if (!owner.state) owner.state.reset(new State());
    owner.slot = &slot;
    slot = owner.state.get();
    return slot;
}

}  // namespace vox
