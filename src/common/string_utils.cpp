// String, number and byte-order helpers with the family's exact semantics.
#include "common/string_utils.h"

#include <cstring>
#include <unistd.h>

namespace vox {

char *strstr(const char *text, const char *pattern) {
    if (!*text || !*pattern) return nullptr;
    return const_cast<char *>(std::strstr(text, pattern));
}

int strncmp(const char *a, const char *b, int n) {
    for (int i = 0; i < n; ++i) {
        if (a[i] != b[i]) return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
        if (a[i] == '\0') return 0;
    }
    return 0;
}

char *strncpy(char *destination, const char *source, int n) {
    int i = 0;
    for (; i < n && source[i]; ++i) destination[i] = source[i];
    for (; i < n; ++i) destination[i] = '\0';
    return destination;
}

// A hard link plus a removal: never moves a file across file systems.
int rename(const char *old_name, const char *new_name) {
    if (::link(old_name, new_name) != 0) return -1;
    return ::unlink(old_name);
}

}  // namespace vox

namespace {

char *format_number(long value, char *buffer, int radix) {
    radix = static_cast<short>(radix);
    char *p = buffer;
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value)
                                        : static_cast<unsigned long>(value);
    if (value < 0) *p++ = '-';
    if (radix < 2) radix = 10;  // a radix below 2 has no digits; decimal is the sane reading
    char *digits = p;
    do {
        int d = static_cast<int>(magnitude % static_cast<unsigned>(radix));
        *p++ = static_cast<char>(radix == 16 && d >= 10 ? 'a' + d - 10 : '0' + d);
        magnitude /= static_cast<unsigned>(radix);
    } while (magnitude);
    *p = '\0';
    reverse(digits);
    return buffer;
}

std::uint32_t read_bytes(const unsigned char *a, int n, int order) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | a[order ? i : n - 1 - i];
    return v;
}

void write_bytes(std::uint32_t v, unsigned char *a, int n, int order) {
    for (int i = 0; i < n; ++i) a[order ? n - 1 - i : i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

extern "C" {

VOX_API char *itoa(int value, char *buffer, int radix) { return format_number(value, buffer, radix); }
VOX_API char *ltoa(long value, char *buffer, int radix) { return format_number(value, buffer, radix); }

VOX_API char *reverse(char *text) {
    std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i < n / 2; ++i) {
        char c = text[i];
        text[i] = text[n - 1 - i];
        text[n - 1 - i] = c;
    }
    return text;
}

VOX_API char *vox_strrev(char *text) { return reverse(text); }

VOX_API int to_up(int c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

VOX_API int stricmp(const char *a, const char *b) {
    for (;; ++a, ++b) {
        int d = to_up(static_cast<unsigned char>(*a)) - to_up(static_cast<unsigned char>(*b));
        if (d != 0 || *a == '\0') return d;
    }
}

VOX_API int strnicmp(const char *a, const char *b, int n) {
    int i = 0;
    do {
        int d = to_up(static_cast<unsigned char>(a[i])) - to_up(static_cast<unsigned char>(b[i]));
        if (d != 0 || a[i] == '\0') return d;
    } while (++i < n);
    return 0;
}

VOX_API char *strstri(const char *text, const char *pattern) {
    if (!*text) return nullptr;
    if (!*pattern) return const_cast<char *>(text);
    for (const char *t = text; *t; ++t) {
        const char *a = t, *p = pattern;
        while (*a && *p && to_up(static_cast<unsigned char>(*a)) == to_up(static_cast<unsigned char>(*p))) ++a, ++p;
        if (!*p) return const_cast<char *>(t);
    }
    return nullptr;
}

VOX_API int yn_strcmpi(const char *text, const char *prefix) {
    for (; *prefix; ++text, ++prefix)
        if (to_up(static_cast<unsigned char>(*text)) != to_up(static_cast<unsigned char>(*prefix))) return 0;
    return 1;
}

VOX_API char *strlwr(char *text) {
    if (text)
        for (char *p = text; *p; ++p)
            if (*p >= 'A' && *p <= 'Z') *p += 32;
    return text;
}

VOX_API char *strupr(char *text) {
    if (text)
        for (char *p = text; *p; ++p) *p = static_cast<char>(to_up(static_cast<unsigned char>(*p)));
    return text;
}

VOX_API int PtrInt16(const unsigned char *address, int order) {
    return static_cast<std::int16_t>(read_bytes(address, 2, order));
}
VOX_API unsigned PtrUInt16(const unsigned char *address, int order) { return read_bytes(address, 2, order); }
VOX_API std::int32_t PtrInt32(const unsigned char *address, int order) {
    return static_cast<std::int32_t>(read_bytes(address, 4, order));
}
VOX_API void Int16Ptr(int value, unsigned char *address, int order) {
    write_bytes(static_cast<std::uint32_t>(value), address, 2, order);
}
VOX_API void Int32Ptr(std::int32_t value, unsigned char *address, int order) {
    write_bytes(static_cast<std::uint32_t>(value), address, 4, order);
}

VOX_API int irev(int value, int flag) {
    auto v = static_cast<std::uint16_t>(value);
    if (flag == 0) v = static_cast<std::uint16_t>(v >> 8 | v << 8);
    return static_cast<std::int16_t>(v);
}

VOX_API std::int32_t lrev(std::int32_t value, int flag) {
    if (flag != 0) return value;
    return static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(value)));
}
}
