#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/file_access.h"
#include "common/temp_files.h"
#include "converter/driver.h"
#include "converter/fonts.h"

namespace vox::test {

namespace {

thread_local std::string captured;
thread_local bool capturing = false;

int capture_put(int byte) {
    captured.push_back(static_cast<char>(byte));
    return 0;
}

int capture_unput() {
    if (captured.empty()) return -1;
    int byte = static_cast<unsigned char>(captured.back());
    captured.pop_back();
    return byte;
}

struct AllocatorCounters {
    long allocated = 0, released = 0, requests = 0, fail_at = 0;
    bool keep_failing = false;
};
thread_local AllocatorCounters counters;

void *counting_malloc(size_t size) {
    ++counters.requests;
    if (counters.fail_at && (counters.requests == counters.fail_at ||
                             (counters.keep_failing && counters.requests > counters.fail_at)))
        return nullptr;
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

void remove_tree(const std::string &path) {
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            std::string full = path + "/" + n;
            struct stat st;
            if (lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                chmod(full.c_str(), 0700);
                remove_tree(full);
            } else {
                unlink(full.c_str());
            }
        }
        closedir(d);
    }
    rmdir(path.c_str());
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
    std::snprintf(c.strings.others.font_name, sizeof c.strings.others.font_name, "Times");
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
    std::string templ = std::string(base && *base ? base : "/tmp") + "/vox42-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() { remove_tree(path_); }

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    if (DIR *d = opendir(path_.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

OutputCapture::OutputCapture() {
    captured.clear();
    capturing = true;
    RedirectOutput(capture_put, capture_unput);
}

OutputCapture::~OutputCapture() {
    RedirectOutputClose();
    capturing = false;
}

const std::string &OutputCapture::bytes() const { return captured; }
void OutputCapture::clear() { captured.clear(); }

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
        switch (c) {
            case 27: out += "<ESC>"; break;
            case 29: out += "<GS>"; break;
            case 30: out += "<RS>"; break;
            case 31: out += "<US>"; break;
            default:
                if (c < 32 || c > 126) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string record(const std::string &code, const std::vector<std::string> &params) {
    std::string r = "\x1b\x1d" + code;
    for (const std::string &p : params) r += p + "\x1f";
    return r + "\x1e";
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
    ++plan.calls;
    ++plan.reads;
    if (hits(plan.fail_read_at, plan.reads)) return -1;
    if (hits(plan.zero_read_at, plan.reads)) return 0;
    return static_cast<int>(::read(handle, buffer, count));
}

int IFSwrite(int handle, const void *buffer, unsigned count) {
    ++plan.calls;
    ++plan.writes;
    if (hits(plan.fail_write_at, plan.writes)) return -1;
    if (hits(plan.zero_write_at, plan.writes)) return 0;
    return static_cast<int>(::write(handle, buffer, count));
}

long IFSlseek(int handle, long offset, int whence) {
    ++plan.calls;
    if (hits(plan.fail_seek_at, ++plan.seeks)) return -1;
    return ::lseek(handle, offset, whence);
}

int IFSclose(int handle) {
    ++plan.calls;
    return ::close(handle);
}

int IFSunlink(const char *name) {
    ++plan.calls;
    return ::unlink(name);
}

int IFSrename(const char *old_name, const char *new_name) {
    ++plan.calls;
    return ::rename(old_name, new_name);
}

long IFSGetSize(const char *name) {
    ++plan.calls;
    struct stat st;
    return ::stat(name, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

int IFSCheckExist(const char *name) {
    ++plan.calls;
    return ::access(name, F_OK) == 0 ? 0 : -1;
}
}
