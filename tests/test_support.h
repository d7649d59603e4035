// Shared helpers of the test suites: a fresh kernel per test, scratch
// directories, capture of everything written to the target stream and of
// the diagnostics, the exit code of a call that ends the conversion, the
// bytes of a hand-written rendering, a counting host allocator, and a host
// file back end that fails on demand.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/kernel_state.h"
#include "converter/conversion.h"

namespace vox::test {

// Releases everything the calling thread's kernel holds and starts afresh.
void fresh_kernel();

// Base fixture: every test starts with a fresh kernel and ends by releasing it.
class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override { fresh_kernel(); }
    void TearDown() override { fresh_kernel(); }
};

// A scratch directory removed with everything in it at the end of scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const;  // sorted names in the directory

  private:
    std::string path_;
};

// For the ZEM reader: a fresh conversion after the preprocessing pass,
// reading its input from a real preprocessed-text buffer, with the list
// files a run opens before its main pass (font list, paragraph and font
// catalogs, colours, variables) open and empty under generated names next
// to a target in a scratch directory of the test's own.
class ConverterTest : public KernelTest {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Appends bytes to the input.
    static void feed(const std::string &bytes);
    // Everything left in a temporary buffer, taken out of it.
    static std::string drain(int handle);
    // Everything left of the input.
    static std::string rest() { return drain(conv().buffers.preproceesed_bf); }
    // The paragraph font as applying a format leaves it: Times at 12 points,
    // listed in the font list and already written, so that preparing text
    // output finds no font change to write.
    static void use_written_paragraph_font();

  private:
    // A list file the fixture opened, known by its file identity so that
    // TearDown closes it only while that handle still refers to it (a suite
    // may close it, or put a file of its own in its place).
    struct ListFile {
        int handle;
        unsigned long device, inode;
    };
    void open_list_files();
    void close_list_files();
    std::unique_ptr<TempDir> scratch_;
    std::vector<ListFile> list_files_;
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

// Everything written through b_putc while an OutputCapture lives (output
// redirection to a string; b_unput takes bytes back from it).
class OutputCapture {
  public:
    OutputCapture();
    ~OutputCapture();
    const std::string &bytes() const;
};

// Every diagnostic text reported while it lives, in order (it is the
// diagnostic listener meanwhile).
struct Diagnostics {
    Diagnostics();
    ~Diagnostics();
    Diagnostics(const Diagnostics &) = delete;
    Diagnostics &operator=(const Diagnostics &) = delete;
    std::vector<std::string> seen;
};

// Runs fn; returns the code it ended the conversion with, or -1 when it
// returned normally.
int exit_code_of(const std::function<void()> &fn);

// Spells bytes with ESC GS US RS as <ESC> <GS> <US> <RS> so failures read.
std::string visible(const std::string &bytes);

// Builds a record: record("DID", {"42"}) is ESC GS D I D 4 2 US RS.
std::string record(const std::string &code, const std::vector<std::string> &params = {});

// The bytes of a hand-written rendering of intermediate code (see
// tools/icf_render.h); a rendering that cannot be read fails the test.
std::string icf_bytes(const std::string &rendering);

// The host allocator used by tests: counts blocks handed out and returned,
// and can fail the k-th request (1-based; 0 never fails).
struct CountingAllocator {
    static void install(long fail_at = 0, bool keep_failing = false);
    static void uninstall();
    static long allocated();  // blocks handed out
    static long released();   // blocks given back
    static long outstanding() { return allocated() - released(); }
};

// The host file functions of the test executable work on real files and
// fail on demand.  "at" numbers count calls of that kind, 1-based; 0 never
// fails.
struct HostFilePlan {
    long fail_open_at = 0;
    long fail_read_at = 0;   // that read returns -1
    long zero_read_at = 0;   // that read returns 0
    long fail_write_at = 0;  // that write returns -1
    long zero_write_at = 0;  // that write returns 0
    long fail_seek_at = 0;
    long opens = 0, reads = 0, writes = 0, seeks = 0;
    long calls = 0;          // every IFS* call seen
};
HostFilePlan &host_files();  // this thread's plan; reset by fresh_kernel
// Routes the VOX* operations of this thread to the host functions.
void use_host_files(bool on);

}  // namespace vox::test
