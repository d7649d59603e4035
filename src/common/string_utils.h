// The converter's own string, number and byte-order helpers.  Several keep
// the names of C library functions but differ from them at the edges; the
// four whose names the C library also exports (strstr, strncmp, strncpy,
// rename) live in namespace vox with C++ linkage, so they never interpose
// the host's C library.
#pragma once

#include <cstdint>

#include "common/api.h"

namespace vox {
char *strstr(const char *text, const char *pattern);
int strncmp(const char *a, const char *b, int n);
char *strncpy(char *destination, const char *source, int n);
int rename(const char *old_name, const char *new_name);
}  // namespace vox

extern "C" {
VOX_API char *itoa(int value, char *buffer, int radix);
VOX_API char *ltoa(long value, char *buffer, int radix);
VOX_API char *reverse(char *text);
VOX_API char *vox_strrev(char *text);
VOX_API int stricmp(const char *a, const char *b);
VOX_API int strnicmp(const char *a, const char *b, int n);
VOX_API char *strstri(const char *text, const char *pattern);
VOX_API int yn_strcmpi(const char *text, const char *prefix);
VOX_API int to_up(int c);
VOX_API char *strlwr(char *text);
VOX_API char *strupr(char *text);
VOX_API int PtrInt16(const unsigned char *address, int order);
VOX_API unsigned PtrUInt16(const unsigned char *address, int order);
VOX_API std::int32_t PtrInt32(const unsigned char *address, int order);
VOX_API void Int16Ptr(int value, unsigned char *address, int order);
VOX_API void Int32Ptr(std::int32_t value, unsigned char *address, int order);
VOX_API int irev(int value, int flag);
VOX_API std::int32_t lrev(std::int32_t value, int flag);
}
