#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/file_access.h"
#include "common/temp_files.h"
#include "converter/driver.h"
#include "converter/fonts.h"
#include "icf_render.h"
#include "vox42/vox42.h"

namespace vox::test {

namespace fs = std::filesystem;

namespace {

thread_local std::string captured;
thread_local bool capturing = false;

struct AllocatorCounters {
    long allocated = 0, released = 0, requests = 0, fail_at = 0;
    bool keep_failing = false;
};
thread_local AllocatorCounters counters;

void *counting_malloc(size_t size) {
    const long n = ++counters.requests;
    if (counters.fail_at && (n == counters.fail_at || (counters.keep_failing && n > counters.fail_at))) return nullptr;
    void *p = std::malloc(size);
    if (p) ++counters.allocated;
    return p;
}

void counting_free(void *p) {
    if (p) ++counters.released;
    std::free(p);
}

thread_local HostFilePlan plan;

bool hits(long at, long count) { return at != 0 && count == at; }

// Gives back the rights on every directory under dir (not following links)
// that a test may have taken away, so that all of it can be removed.
void open_up(const fs::path &dir) {
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator(dir, ec))
        if (e.symlink_status(ec).type() == fs::file_type::directory)
            fs::permissions(e.path(), fs::perms::owner_all, ec), open_up(e.path());
}

}  // namespace

void fresh_kernel() {
    if (capturing) captured.clear();
    try {
        bufcloseall();
    } catch (...) {
    }
    VOXFreeAll();
    kernel() = KernelState();
    plan = HostFilePlan();
}

void ConverterTest::SetUp() {
    KernelTest::SetUp();
    reset_conversion();
    open_list_files();
    conv().routing.preprocess = 0;
    conv().buffers.preproceesed_bf = bufopen(512);
}

void ConverterTest::TearDown() {
    close_list_files();
    reset_conversion();
    KernelTest::TearDown();  // buffers and their spill files go first
    scratch_.reset();        // then the directory with the list files
}

void ConverterTest::use_written_paragraph_font() {
    Conversion &c = conv();
    std::snprintf(c.fonts.font_family, sizeof c.fonts.font_family, "Times");
    std::snprintf(c.fonts.font_name, sizeof c.fonts.font_name, "Times");
    c.fonts.curr_font_size = c.fonts.last_font_size = 240;
    c.fonts.last_seen_font_num = tf_get_font_num("Times");
    c.strings.char_width = 10;  // 2400 / 240
}

// As the driver does: the target names the directory, each list file gets
// a generated name there and is opened (empty) for update.
void ConverterTest::open_list_files() {
    scratch_ = std::make_unique<TempDir>();
    std::snprintf(kernel().settings.icfname, sizeof kernel().settings.icfname, "%s",
                  scratch_->file("out.icf").c_str());
    Conversion &c = conv();
    DriverState &d = c.driver;
    const std::pair<char *, int *> lists[] = {
        {d.fdt_name, &d.font_list_handle}, {d.var_name, &d.var_list_handle},
        {d.cat_name, &d.cat_list_handle},  {d.font_cat_name, &d.font_cat_handle},
        {d.cmyk_name, &c.colours.cmyk_fh},
    };
    for (const auto &list : lists) {
        ASSERT_EQ(gen_fnam(kernel().settings.icfname, list.first), 0);
        *list.second = VOXopen(list.first, 3, 3);
        struct stat st;
        ASSERT_EQ(fstat(*list.second, &st), 0) << list.first;
        list_files_.push_back({*list.second, static_cast<unsigned long>(st.st_dev),
                               static_cast<unsigned long>(st.st_ino)});
    }
}

void ConverterTest::close_list_files() {
    for (const ListFile &f : list_files_) {
        struct stat st;
        if (fstat(f.handle, &st) == 0 && st.st_dev == f.device && st.st_ino == f.inode) VOXclose(f.handle);
    }
    list_files_.clear();
}

void ConverterTest::feed(const std::string &bytes) {
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    bufputs(conv().buffers.preproceesed_bf, data, static_cast<int>(bytes.size()));
}

std::string ConverterTest::drain(int handle) {
    std::string bytes;
    for (int c = bufget(handle); c >= 0; c = bufget(handle)) bytes.push_back(static_cast<char>(c));
    return bytes;
}

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    path_ = std::string(base && *base ? base : "/tmp") + "/vox42-test-XXXXXX";
    if (!mkdtemp(&path_[0])) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
    std::error_code ec;
    open_up(path_), fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator(path_, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();  // nothing (and no exception) when the path cannot be read
    return s.str();
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

// Output redirection into `captured`; taking a byte back pops it.
OutputCapture::OutputCapture() {
    captured.clear();
    capturing = true;
    RedirectOutput([](int byte) { return captured.push_back(static_cast<char>(byte)), 0; }, [] {
        if (captured.empty()) return -1;
        const int byte = static_cast<unsigned char>(captured.back());
        return captured.pop_back(), byte;
    });
}

OutputCapture::~OutputCapture() {
    RedirectOutputClose();
    capturing = false;
}

const std::string &OutputCapture::bytes() const { return captured; }

Diagnostics::Diagnostics() {
    auto note = [](const char *text, void *to) { static_cast<Diagnostics *>(to)->seen.push_back(text); };
    vox42_set_diagnostic_listener(note, this);
}

Diagnostics::~Diagnostics() { vox42_set_diagnostic_listener(nullptr, nullptr); }

int exit_code_of(const std::function<void()> &fn) {
    try {
        fn();
    } catch (const ConversionExit &e) {
        return e.code;
    }
    return -1;
}

std::string visible(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char other[8];  // printable as itself, anything else in hex
        std::snprintf(other, sizeof other, c < 32 || c > 126 ? "\\x%02X" : "%c", c);
        out += c == 27 ? "<ESC>" : c == 29 ? "<GS>" : c == 30 ? "<RS>" : c == 31 ? "<US>" : other;
    }
    return out;
}

std::string record(const std::string &code, const std::vector<std::string> &params) {
    std::string r = "\x1b\x1d" + code;
    for (const std::string &p : params) r += p + "\x1f";
    return r + "\x1e";
}

std::string icf_bytes(const std::string &rendering) {
    std::string bytes, error;
    EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
    return bytes;
}

void CountingAllocator::install(long fail_at, bool keep_failing) {
    counters = AllocatorCounters();
    counters.fail_at = fail_at;
    counters.keep_failing = keep_failing;
    set_host_allocator(counting_malloc, counting_free);
}

void CountingAllocator::uninstall() { set_host_allocator(nullptr, nullptr); }
long CountingAllocator::allocated() { return counters.allocated; }
long CountingAllocator::released() { return counters.released; }

HostFilePlan &host_files() { return plan; }

void use_host_files(bool on) {
    int &flags = kernel().settings.optflags;
    flags = on ? (flags | kOptHostFiles) : (flags & ~kOptHostFiles);
}

}  // namespace vox::test

using vox::test::hits;
using vox::test::plan;

// The host's file functions, as a host process would export them: real
// files underneath, failures where the plan says.
extern "C" {

int IFSopen(const char *name, int mode, int /*kind*/) {
    ++plan.calls;
    if (hits(plan.fail_open_at, ++plan.opens)) return -1;
    int flags = mode == 2 ? O_RDWR | O_CREAT | O_TRUNC : mode == 3 ? O_RDWR | O_CREAT
              : mode == 4 ? O_RDWR | O_CREAT | O_APPEND : O_RDONLY;
    return ::open(name, flags, 0666);
}

int IFSread(int handle, void *buffer, unsigned count) {
    const long n = (++plan.calls, ++plan.reads);
    return hits(plan.fail_read_at, n) ? -1 : hits(plan.zero_read_at, n) ? 0 : int(::read(handle, buffer, count));
}

int IFSwrite(int handle, const void *buffer, unsigned count) {
    const long n = (++plan.calls, ++plan.writes);
    return hits(plan.fail_write_at, n) ? -1 : hits(plan.zero_write_at, n) ? 0 : int(::write(handle, buffer, count));
}

long IFSlseek(int handle, long offset, int whence) {
    ++plan.calls;
    return hits(plan.fail_seek_at, ++plan.seeks) ? -1 : ::lseek(handle, offset, whence);
}

int IFSclose(int handle) { return ++plan.calls, ::close(handle); }
int IFSunlink(const char *name) { return ++plan.calls, ::unlink(name); }
int IFSrename(const char *old_name, const char *new_name) { return ++plan.calls, ::rename(old_name, new_name); }
int IFSCheckExist(const char *name) { return ++plan.calls, ::access(name, F_OK) == 0 ? 0 : -1; }

long IFSGetSize(const char *name) {
    struct stat st;
    return ++plan.calls, ::stat(name, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}
}
