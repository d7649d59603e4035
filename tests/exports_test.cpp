// What the shared library shows a host: the kernel functions by their plain
// C names, none of the C library's names, and none of its internals.
#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string real_path(const char *path) {
    char buffer[PATH_MAX];
    return realpath(path, buffer) ? buffer : path;
}

// The file of the object that defines the symbol at `address`.
std::string defining_object(void *address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return "";
    return real_path(info.dli_fname);
}

// The names `nm -D --defined-only` lists for the library.
std::set<std::string> dynamic_definitions() {
    std::set<std::string> names;
    std::string command = std::string("nm -D --defined-only '") + VOX42_LIBRARY_PATH + "' 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        std::size_t name = s.rfind(' ');
        if (name != std::string::npos) names.insert(s.substr(name + 1));
    }
    pclose(pipe);
    return names;
}

class ExportsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        handle = dlopen(VOX42_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        library = real_path(VOX42_LIBRARY_PATH);
    }
    static void TearDownTestSuite() {
        if (handle) dlclose(handle);
        handle = nullptr;
    }
    void SetUp() override { ASSERT_NE(handle, nullptr) << dlerror(); }
    static void *handle;
    static std::string library;
};
void *ExportsTest::handle = nullptr;
std::string ExportsTest::library;

TEST_F(ExportsTest, KernelFunctionsHaveCLinkage) {
    const char *names[] = {"VOXmalloc",     "VOXfree",     "gen_fnam",        "err_exit",
                           "VOXexit",       "VOXopen",     "GetFileName",     "itoa",
                           "stricmp",       "PtrInt32",    "beg_icf",         "dec_out",
                           "StrToIcfCode",  "GlobalShutDown", "RemoveTempFiles", "ClearPurgeList",
                           "RemovePurgeableFiles", "VOXInititialization", "FixRefFileName",
                           "LogPurgeableFileName", "strstri", "IcfCodeToStr", "CancelCheck",
                           "b_getc", "bufput", "OutNTB", "TranCodePage", "options", "dspinit",
                           "autorec", "AutoRecBlock", "auto_tst_rft", "auto_tst_asc",
                           "CheckWPMailMergeFile", "auto_OLE2Formats"};
    for (const char *name : names) {
        void *symbol = dlsym(handle, name);
        ASSERT_NE(symbol, nullptr) << name;
        EXPECT_EQ(defining_object(symbol), library) << name;
    }
}

TEST_F(ExportsTest, ExportedFunctionsAreTheRealOnes) {
    auto itoa_fn = reinterpret_cast<char *(*)(int, char *, int)>(dlsym(handle, "itoa"));
    auto pack = reinterpret_cast<unsigned (*)(const char *)>(dlsym(handle, "StrToIcfCode"));
    ASSERT_NE(itoa_fn, nullptr);
    ASSERT_NE(pack, nullptr);
    char buffer[16];
    EXPECT_STREQ(itoa_fn(-255, buffer, 16), "-ff");
    EXPECT_EQ(pack("DID"), 4388u);
}

TEST_F(ExportsTest, CLibraryNamesAreNotInterposed) {
    std::set<std::string> defined = dynamic_definitions();
    ASSERT_TRUE(defined.count("VOXmalloc")) << "nm did not list the library";
    for (const char *name : {"strstr", "strncmp", "strncpy", "rename"}) {
        EXPECT_EQ(defined.count(name), 0u) << name;
        // The look-up through the library finds the C library's definition.
        if (void *symbol = dlsym(handle, name)) {
            EXPECT_NE(defining_object(symbol), library) << name;
        }
    }
}

TEST_F(ExportsTest, InternalsStayHidden) {
    for (const char *name : {"_ZN3vox14tracked_strdupEPKc", "_ZN3vox17make_kernel_stateEv",
                             "_ZN3vox10tls_kernelE", "_ZN3vox6strstrEPKcS1_"}) {
        void *symbol = dlsym(handle, name);
        EXPECT_TRUE(symbol == nullptr || defining_object(symbol) != library) << name;
    }
    for (const std::string &name : dynamic_definitions())
        EXPECT_EQ(name.find("3vox"), std::string::npos) << "exported internal: " << name;
}

}  // namespace
