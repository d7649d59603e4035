// The source and target streams: one pair per thread, carrying a whole
// conversion.
//
// Source: block reads into in_bufr; b_getc hands out bytes, b_unget pushes
// bytes back without limit (a store of ungetsiz bytes, then an overflow
// temporary buffer).  Input may be redirected to a get function (flag 1) or
// to a get and push-back pair (flag 2); a copy hook may watch every byte.
//
// Target: two block buffers used in turn.  A full buffer is written only when
// the other one fills too, so the last full block always stays in memory and
// b_unput can take bytes back across a block edge without file access; going
// back further re-reads a block from the target file.  Output may be
// redirected to a put/take-back pair.
//
//   target buffer states (ot_stat = 1: full, not yet written):
//     writing in side S, other side written or empty
//       --S fills--> other pending? write it; S pending; switch sides
//     b_unput with S empty --> step back into the other side; re-read it
//       from the file when it was already written
//
// Invariants (asserted in debug builds):
//   1. in_bufr <= in_ptr <= in_eof <= in_bufr + in_bsize
//   2. 0 <= ungetcnt <= ungetsiz + 1; ungetcnt == ungetsiz + 1 iff
//      ungettemp >= 0
//   3. at most one target buffer is pending, and never the current one
#pragma once

#include "common/api.h"

namespace vox {

using PutFunc = int (*)(int byte);
using UnputFunc = int (*)(void);
using GetFunc = int (*)(void);
using UngetFunc = int (*)(int byte);

struct StreamState {
    int in_f = -1, ot_f = -1;
    int in_bsize = 0, ot_bsize = 0;
    unsigned char *in_bufr = nullptr;
    unsigned char *in_ptr = nullptr;
    unsigned char *in_eof = nullptr;
    unsigned in_pos = 0;
    int in_eofst = 0;
    unsigned char *ot_bufr1 = nullptr, *ot_bufr2 = nullptr;
    unsigned char *ot_ptr = nullptr, *ot_eof = nullptr;
    int ot_side = 0;
    int ot_stat1 = 0, ot_stat2 = 0;
    unsigned char *ungetbuf = nullptr;
    int ungetsiz = 0;
    int ungetcnt = 0;
    int ungettemp = -1;
    unsigned BCntRead = 0;
    unsigned BCntWritten = 0;
    int MaxSize = -1;
    int RedirectOutputFlag = 0;
    PutFunc RedirectPutFunc = nullptr;
    UnputFunc RedirectUnputFunc = nullptr;
    int RedirectInputFlag = 0;
    GetFunc RedirectGetFunc = nullptr;
    UngetFunc RedirectUngetFunc = nullptr;
    int CopyGetFlag = 0;
    UngetFunc CopyGetFunc = nullptr;    // sees each byte delivered
    UngetFunc CopyUnGetFunc = nullptr;
};

// The slow paths of the byte operations: block edges, push-back,
// redirection, the copy hook and progress steps.
int stream_getc_slow(StreamState &s);
int stream_putc_slow(StreamState &s, int byte);

// Next source byte.  The common case, a byte in the middle of a block with
// nothing pushed back, redirected or watched, is a pointer step.
inline int stream_getc(StreamState &s, unsigned &progress, unsigned dot_size) {
    if (__builtin_expect((s.ungetcnt | s.RedirectInputFlag | s.CopyGetFlag) == 0 &&
                             s.in_eof - s.in_ptr > 1 && progress + 1 < dot_size, 1)) {
        ++s.BCntRead;
        ++progress;
        return *s.in_ptr++;
    }
    return stream_getc_slow(s);
}

// Appends one byte to the target.  The common case is a store and a step.
inline int stream_putc(StreamState &s, int byte) {
    if (__builtin_expect(s.RedirectOutputFlag == 0 && s.ot_eof - s.ot_ptr > 1, 1)) {
        ++s.BCntWritten;
        *s.ot_ptr++ = static_cast<unsigned char>(byte);
        return 0;
    }
    return stream_putc_slow(s, byte);
}

}  // namespace vox

extern "C" {
VOX_API int b_open(int in_handle, int out_handle, int size);
VOX_API int b_close(void);
VOX_API int b_getc(void);
VOX_API int b_unget(int byte);
VOX_API int b_putc(int byte);
VOX_API int b_unput(void);
VOX_API int qGetc(void);
VOX_API int qPutc(int byte);
VOX_API int b_read(int handle, unsigned char *buffer, int count);
VOX_API int b_write(int handle, const unsigned char *buffer, int count);
VOX_API unsigned b_pos(void);
VOX_API int RedirectOutput(vox::PutFunc put, vox::UnputFunc unput);
VOX_API int RedirectOutputClose(void);
VOX_API int RedirectInput(vox::GetFunc get);
VOX_API int RedirectInputClose(void);
VOX_API int RedirectGetUnget(vox::GetFunc get, vox::UngetFunc unget);
VOX_API int CopyGetUnget(vox::UngetFunc get_copy, vox::UngetFunc unget_copy);
VOX_API int CopyGetUngetClose(void);
VOX_API int RewindSourceFile(void);
VOX_API int SetBGetPosition(long position, int clear);
VOX_API int WriteMainBuffer(int handle, const unsigned char *buffer, int count);
VOX_API unsigned BytesRead(void);
VOX_API unsigned BytesWritten(void);
VOX_API int SetMaxComBufferSize(int size);
}
