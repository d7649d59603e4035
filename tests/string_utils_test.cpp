// String, number and byte-order helpers, at the edges where they differ
// from the C library's.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "common/string_utils.h"
#include "test_support.h"

namespace vox {

// Catches a wrong digit alphabet (only radix 16 uses letters), a lost sign
// or INT_MIN, a radix not cut to 16 bits or not defaulted below 2, and
// reverse mishandling odd, even or empty texts.
TEST(StringUtilsTest, NumberFormatting) {
    const struct { int value, radix; const char *text; } cases[] = {
        {-255, 16, "-ff"}, {0, 10, "0"}, {35, 36, "S"}, {5, 2, "101"}, {12, 1, "12"},
        {INT_MIN, 10, "-2147483648"}, {255, 0x10010, "ff"}};
    char buffer[40];
    for (const auto &c : cases) EXPECT_STREQ(itoa(c.value, buffer, c.radix), c.text) << c.value << " radix " << c.radix;
    EXPECT_STREQ(ltoa(-4096, buffer, 16), "-1000");
    char odd[] = "abc", even[] = "ab", empty[] = "";
    EXPECT_EQ(std::string(reverse(odd)) + vox_strrev(even) + reverse(empty), "cbaba");
}

static int icmp(const char *a, const char *b, int) { return stricmp(a, b); }
static int yn(const char *a, const char *b, int) { return yn_strcmpi(a, b); }

// Catches folding beyond the letters, a wrong difference, strnicmp not
// comparing its first pair at n 0, vox::strncmp comparing bytes unsigned, and
// yn_strcmpi comparing past its prefix.
TEST(StringUtilsTest, Comparisons) {
    const struct { int (*compare)(const char *, const char *, int); const char *a, *b; int n, result; } cases[] = {
        {icmp, "abc", "ABD", 0, 'C' - 'D'}, {icmp, "abc", "abcd", 0, -'D'}, {icmp, "[", "{", 0, '[' - '{'},
        {strnicmp, "abc", "ABD", 2, 0}, {strnicmp, "a", "b", 0, 'A' - 'B'}, {strnicmp, "ab", "AB", 10, 0},
        {vox::strncmp, "abc", "abd", 3, 'c' - 'd'}, {vox::strncmp, "a\x80", "a\x01", 2, -129},
        {vox::strncmp, "x", "y", 0, 0}, {vox::strncmp, "ab", "ab", 10, 0}, {yn, "YES", "y", 0, 1},
        {yn, "y", "yes", 0, 0}, {yn, "no", "", 0, 1}};
    for (const auto &c : cases) EXPECT_EQ(c.compare(c.a, c.b, c.n), c.result) << c.a << " / " << c.b << " n " << c.n;
}

// Catches case mapping of non-letters, and strupr/strlwr not handling null.
TEST(StringUtilsTest, CaseMapping) {
    const int cases[][2] = {{'a', 'A'}, {'z', 'Z'}, {'`', '`'}, {'{', '{'}, {0xE9, 0xE9}, {-1, -1}};
    for (const auto &c : cases) EXPECT_EQ(to_up(c[0]), c[1]) << c[0];
    char text[] = "Ab1@[\xE9z";
    EXPECT_STREQ(strupr(text), "AB1@[\xE9Z");
    EXPECT_STREQ(strlwr(text), "ab1@[\xE9z");
    EXPECT_EQ(strupr(nullptr), strlwr(nullptr));
}

// Catches vox::strstr finding an empty pattern, strstri not finding it at
// once, an empty text matched, a partial match not restarted, and strncpy
// not padding with NULs (or adding one past n).
TEST(StringUtilsTest, SearchAndCopy) {
    const char *hello = "hello", *xabc = "xABc", *aab = "aab", *empty = "";
    const struct { char *(*find)(const char *, const char *); const char *text, *pattern, *found; } cases[] = {
        {vox::strstr, hello, "ll", hello + 2}, {vox::strstr, hello, "", nullptr}, {vox::strstr, "abc", "abcd", nullptr},
        {strstri, xabc, "bC", xabc + 2}, {strstri, xabc, "", xabc}, {strstri, empty, "", nullptr},
        {strstri, aab, "AB", aab + 1}, {strstri, "x@y", "`", nullptr}};
    for (const auto &c : cases) EXPECT_EQ(c.find(c.text, c.pattern), c.found) << c.text << " / " << c.pattern;
    char dest[9] = "XXXXXXXX";
    vox::strncpy(dest + 3, "zz", 3);
    EXPECT_EQ(std::string(vox::strncpy(dest, "abcdef", 3), 8), std::string("abczz\0XX", 8));
}

// Catches swapped orders, lost signs and writes past the value's bytes.
TEST(StringUtilsTest, ByteOrder) {
    const unsigned char ff7f[] = {0xFF, 0x7F}, word[] = {1, 2, 3, 4};
    const long reads[][2] = {{PtrInt16(ff7f, 1), -129}, {PtrUInt16(ff7f, 0), 0x7FFF}, {PtrInt32(word, 1), 0x01020304},
                             {PtrInt32(word, 0), 0x04030201}, {irev(0x12FF, 0), 0xFF12 - 0x10000},
                             {irev(0x18000, 1), -32768}, {lrev(0xFF, 0), -0x1000000}, {lrev(0x0102, 1), 0x0102}};
    for (std::size_t i = 0; i < std::size(reads); ++i) EXPECT_EQ(reads[i][0], reads[i][1]) << "row " << i;
    unsigned char b[6] = {9, 9, 9, 9, 9, 9};
    auto bytes = [&] { return std::string(reinterpret_cast<char *>(b), 6); };
    Int32Ptr(-2, b + 1, 0);
    EXPECT_EQ(bytes(), "\x09\xFE\xFF\xFF\xFF\x09");
    Int32Ptr(0x01020304, b, 1);
    Int16Ptr(0x12345, b + 2, 0);
    EXPECT_EQ(bytes(), "\x01\x02\x45\x23\xFF\x09");
}

// Catches a rename that replaces an existing name, moves a missing file, or
// copies across file systems instead of failing.
TEST(StringUtilsTest, RenameLinksAndRemoves) {
    test::TempDir dir;
    std::string a = dir.file("a"), b = dir.file("b");
    test::write_file(a, "data");
    test::write_file(b, "other");
    EXPECT_EQ(vox::rename(a.c_str(), b.c_str()), -1);
    EXPECT_EQ(vox::rename(a.c_str(), dir.file("c").c_str()), 0);
    EXPECT_EQ(vox::rename(a.c_str(), dir.file("d").c_str()), -1);
    EXPECT_EQ(test::read_file(dir.file("c")) + test::read_file(b), "dataother");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"b", "c"}));
    struct stat shm, tmp;
    if (stat("/dev/shm", &shm) == 0 && stat(dir.path().c_str(), &tmp) == 0 && shm.st_dev != tmp.st_dev) {
        std::string other = "/dev/shm/vox42-rename-" + std::to_string(getpid());
        EXPECT_EQ(vox::rename(b.c_str(), other.c_str()), -1);
        EXPECT_NE(unlink(other.c_str()), 0);  // never made
    }
}

}  // namespace vox
