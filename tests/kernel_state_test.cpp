// Every thread has a kernel of its own: two threads spilling temporary
// buffers and allocating at once never see each other's blocks, buffers or
// spill files.  (Both threads seed their temporary-name counters from the
// same second; before names were created exclusively, one thread's spill
// file replaced the other's and the conversion ended with code 3.)
#include <thread>

#include "test_support.h"

namespace vox::test {
namespace {

// Fills a spilling buffer with a pattern of its own and reads it back;
// true when every byte came back and the thread's chain is empty after.
bool round_trip(const std::string &dir, int seed) {
    std::snprintf(kernel().settings.icfname, 256, "%s/out%d.icf", dir.c_str(), seed);
    int h = bufopen(100);
    for (int i = 0; i < 100000; ++i) bufput((i * seed) & 0xFF, h);
    bool same = true;
    for (int i = 0; i < 100000; ++i) same &= bufget(h) == ((i * seed) & 0xFF);
    same &= bufget(h) == -1;
    bufclose(h);
    VOXFreeAll();
    return same && kernel().memory.MemoryChain == nullptr;
}

TEST(KernelStateTest, ThreadsConvertSideBySide) {
    TempDir dir;
    bool ok[2] = {false, false};
    void *main_block = VOXmalloc(10);  // the main thread's chain is not touched
    std::thread a([&] { ok[0] = round_trip(dir.path(), 3); });
    std::thread b([&] { ok[1] = round_trip(dir.path(), 7); });
    a.join();
    b.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
    EXPECT_EQ(kernel().memory.MemoryChainLast + kBlockHeaderSize, main_block);
    EXPECT_TRUE(dir.entries().empty());  // both spill files removed
    VOXfree(main_block);
}

}  // namespace
}  // namespace vox::test
