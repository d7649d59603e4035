// String, number and byte-order helpers, at the edges where they differ
// from the C library's.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "common/string_utils.h"
#include "test_support.h"

namespace vox {
namespace {

using test::TempDir;

std::string itoa_text(int value, int radix) {
    char buffer[40];
    char *r = itoa(value, buffer, radix);
    EXPECT_EQ(r, buffer);
    return buffer;
}

TEST(StringUtilsTest, ItoaWritesSignAndMagnitudeDigits) {
    EXPECT_EQ(itoa_text(-255, 16), "-ff");
    EXPECT_EQ(itoa_text(0, 10), "0");
    EXPECT_EQ(itoa_text(10, 36), ":");
    EXPECT_EQ(itoa_text(35, 36), "S");  // '0' + 35
    EXPECT_EQ(itoa_text(0xabc, 16), "abc");
    EXPECT_EQ(itoa_text(-1, 16), "-1");
    EXPECT_EQ(itoa_text(5, 2), "101");
    EXPECT_EQ(itoa_text(1000, 10), "1000");
    EXPECT_EQ(itoa_text(INT_MIN, 10), "-2147483648");
    EXPECT_EQ(itoa_text(255, 0x10010), "ff");  // the radix is a 16-bit number
    char buffer[40];
    EXPECT_STREQ(ltoa(-4096, buffer, 16), "-1000");
}

TEST(StringUtilsTest, ReverseInPlace) {
    char odd[] = "abc", even[] = "ab", empty[] = "";
    EXPECT_EQ(reverse(odd), odd);
    EXPECT_STREQ(odd, "cba");
    EXPECT_STREQ(vox_strrev(even), "ba");
    EXPECT_STREQ(reverse(empty), "");
}

TEST(StringUtilsTest, CaseInsensitiveComparisons) {
    EXPECT_EQ(stricmp("abc", "ABD"), 'C' - 'D');
    EXPECT_EQ(stricmp("Hello", "hELLO"), 0);
    EXPECT_EQ(stricmp("abc", "abcd"), -'D');
    EXPECT_EQ(stricmp("a", ""), 'A');
    EXPECT_EQ(stricmp("[", "{"), '[' - '{');  // only letters fold

    EXPECT_EQ(strnicmp("abc", "ABD", 2), 0);
    EXPECT_EQ(strnicmp("abc", "ABD", 3), 'C' - 'D');
    EXPECT_EQ(strnicmp("a", "b", 0), 'A' - 'B');  // the first pair always counts
    EXPECT_EQ(strnicmp("a", "A", 0), 0);
    EXPECT_EQ(strnicmp("ab", "AB", 10), 0);

    EXPECT_EQ(yn_strcmpi("YES", "y"), 1);
    EXPECT_EQ(yn_strcmpi("y", "yes"), 0);
    EXPECT_EQ(yn_strcmpi("yes", "YES"), 1);
    EXPECT_EQ(yn_strcmpi("no", ""), 1);
    EXPECT_EQ(yn_strcmpi("no", "yes"), 0);
}

TEST(StringUtilsTest, CaseMapping) {
    EXPECT_EQ(to_up('a'), 'A');
    EXPECT_EQ(to_up('z'), 'Z');
    EXPECT_EQ(to_up('{'), '{');
    EXPECT_EQ(to_up('`'), '`');
    EXPECT_EQ(to_up(0xE9), 0xE9);
    EXPECT_EQ(to_up(-1), -1);

    char text[] = "Ab1\xE9z";
    EXPECT_EQ(strupr(text), text);
    EXPECT_STREQ(text, "AB1\xE9Z");
    EXPECT_STREQ(strlwr(text), "ab1\xE9z");
    EXPECT_EQ(strupr(nullptr), nullptr);
    EXPECT_EQ(strlwr(nullptr), nullptr);
}

TEST(StringUtilsTest, BoundedCompareAndCopy) {
    EXPECT_EQ(vox::strncmp("abc", "abd", 2), 0);
    EXPECT_EQ(vox::strncmp("abc", "abd", 3), 'c' - 'd');
    EXPECT_EQ(vox::strncmp("ab", "ab", 10), 0);
    EXPECT_EQ(vox::strncmp("abc", "ab", 3), 'c');
    EXPECT_EQ(vox::strncmp("a\x80", "a\x01", 2), -128 - 1);  // signed bytes
    EXPECT_EQ(vox::strncmp("x", "y", 0), 0);

    char dest[9] = "XXXXXXXX";
    EXPECT_EQ(vox::strncpy(dest, "abc", 6), dest);
    EXPECT_EQ(std::string(dest, 8), std::string("abc\0\0\0XX", 8));
    std::memcpy(dest, "XXXXXXXX", 8);
    vox::strncpy(dest, "abcdef", 3);
    EXPECT_EQ(std::string(dest, 8), "abcXXXXX");
}

TEST(StringUtilsTest, SubstringSearch) {
    const char *hello = "hello";
    EXPECT_EQ(vox::strstr(hello, "ll"), hello + 2);
    EXPECT_EQ(vox::strstr(hello, ""), nullptr);
    EXPECT_EQ(vox::strstr("", "a"), nullptr);
    EXPECT_EQ(vox::strstr("", ""), nullptr);
    EXPECT_EQ(vox::strstr("abc", "abcd"), nullptr);

    const char *text = "xABc";
    EXPECT_EQ(strstri(text, "bC"), text + 2);
    EXPECT_EQ(strstri(text, ""), text);
    EXPECT_EQ(strstri("", ""), nullptr);
    EXPECT_EQ(strstri("", "a"), nullptr);
    const char *aab = "aab";
    EXPECT_EQ(strstri(aab, "AB"), aab + 1);  // a partial match restarts one further on
    EXPECT_EQ(strstri("x@y", "`"), nullptr);
    EXPECT_EQ(strstri("abc", "bcd"), nullptr);
}

TEST(StringUtilsTest, ByteOrderReads) {
    const unsigned char ff7f[] = {0xFF, 0x7F};
    EXPECT_EQ(PtrInt16(ff7f, 0), 32767);
    EXPECT_EQ(PtrInt16(ff7f, 1), -129);
    EXPECT_EQ(PtrUInt16(ff7f, 1), 0xFF7Fu);
    EXPECT_EQ(PtrUInt16(ff7f, 0), 0x7FFFu);
    const unsigned char word[] = {0x01, 0x02, 0x03, 0x04}, minus2[] = {0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_EQ(PtrInt32(word, 1), 0x01020304);
    EXPECT_EQ(PtrInt32(word, 0), 0x04030201);
    EXPECT_EQ(PtrInt32(minus2, 1), -2);
}

TEST(StringUtilsTest, ByteOrderWrites) {
    unsigned char b[6] = {9, 9, 9, 9, 9, 9};
    Int32Ptr(1, b + 1, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(b), 6), std::string("\x09\0\0\0\x01\x09", 6));
    Int32Ptr(-2, b + 1, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(b), 6), std::string("\x09\xFE\xFF\xFF\xFF\x09", 6));
    Int16Ptr(0x12345, b + 1, 1);
    EXPECT_EQ(b[1], 0x23);
    EXPECT_EQ(b[2], 0x45);
    Int16Ptr(0x12345, b + 1, 0);
    EXPECT_EQ(b[1], 0x45);
    EXPECT_EQ(b[2], 0x23);
    EXPECT_EQ(b[3], 0xFF);  // nothing past the two bytes
}

TEST(StringUtilsTest, ByteSwaps) {
    EXPECT_EQ(irev(0x1234, 0), 0x3412);
    EXPECT_EQ(irev(0x12FF, 0), static_cast<int>(0xFF12) - 0x10000);
    EXPECT_EQ(irev(0x1234, 1), 0x1234);
    EXPECT_EQ(irev(0x18000, 1), -32768);
    EXPECT_EQ(lrev(0x01020304, 0), 0x04030201);
    EXPECT_EQ(lrev(0x000000FF, 0), static_cast<std::int32_t>(0xFF000000u));
    EXPECT_EQ(lrev(0x01020304, 1), 0x01020304);
}

TEST(StringUtilsTest, RenameLinksAndRemoves) {
    TempDir dir;
    std::string a = dir.file("a"), b = dir.file("b"), c = dir.file("c");
    test::write_file(a, "data");
    EXPECT_EQ(vox::rename(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"b"});
    EXPECT_EQ(test::read_file(b), "data");

    // An existing new name is not replaced.
    test::write_file(c, "other");
    EXPECT_EQ(vox::rename(b.c_str(), c.c_str()), -1);
    EXPECT_EQ(test::read_file(b), "data");
    EXPECT_EQ(test::read_file(c), "other");
    EXPECT_EQ(vox::rename(a.c_str(), dir.file("d").c_str()), -1);
}

TEST(StringUtilsTest, RenameDoesNotCrossFileSystems) {
    TempDir dir;
    struct stat shm, tmp;
    if (stat("/dev/shm", &shm) != 0 || stat(dir.path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    std::string old_name = dir.file("a");
    std::string new_name = "/dev/shm/vox42-rename-" + std::to_string(getpid());
    test::write_file(old_name, "data");
    EXPECT_EQ(vox::rename(old_name.c_str(), new_name.c_str()), -1);
    EXPECT_EQ(test::read_file(old_name), "data");
    EXPECT_NE(access(new_name.c_str(), F_OK), 0);
    unlink(new_name.c_str());
}

}  // namespace
}  // namespace vox
