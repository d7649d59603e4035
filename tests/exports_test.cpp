// What the shared library shows a host: the kernel functions by their plain
// C names, none of the C library's names, and none of its internals.
#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

// The file of the object that defines the symbol at `address`.
static std::string defining_object(void *address) {
    Dl_info info{};
    char path[PATH_MAX];
    return dladdr(address, &info) && info.dli_fname && realpath(info.dli_fname, path) ? path : "";
}

// Catches a kernel function missing from the library or exported under a
// C++ (mangled) name, one of the four C-library-named helpers exported (it
// would interpose the host's C library), and any vox:: internal exported.
TEST(ExportsTest, CNamesOnlyAndNoCLibraryNamesOrInternals) {
    void *handle = dlopen(VOX42_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    char library[PATH_MAX];
    ASSERT_NE(realpath(VOX42_LIBRARY_PATH, library), nullptr);
    for (const char *name : {"VOXmalloc", "VOXfree", "gen_fnam", "err_exit", "VOXopen", "GetFileName", "itoa",
                             "stricmp", "PtrInt32", "beg_icf", "StrToIcfCode", "GlobalShutDown", "RemovePurgeableFiles",
                             "VOXInititialization", "FixRefFileName", "strstri", "b_getc", "bufput", "OutNTB",
                             "TranCodePage", "options", "dspinit", "autorec", "auto_tst_rft", "auto_OLE2Formats"})
        EXPECT_EQ(defining_object(dlsym(handle, name)), library) << name;
    std::string names = "\n";  // what `nm -D --defined-only` lists, one name a line
    FILE *nm = popen(("nm -D --defined-only '" VOX42_LIBRARY_PATH "' 2>/dev/null | awk '{print $NF}'"), "r");
    for (int c; nm && (c = std::fgetc(nm)) != EOF;) names += static_cast<char>(c);
    if (nm) pclose(nm);
    ASSERT_NE(names.find("\nVOXmalloc\n"), std::string::npos) << "nm did not list the library";
    for (const char *name : {"strstr", "strncmp", "strncpy", "rename"})
        EXPECT_EQ(names.find("\n" + std::string(name) + "\n"), std::string::npos) << name;
    EXPECT_EQ(names.find("3vox"), std::string::npos) << "a vox:: internal is exported";
    dlclose(handle);
}

