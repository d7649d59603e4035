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
//   1. in_bufr <= in_ptr <= in_eof <= in_bufr + in_bsize, and
//      in_fast_end is null or at most in_eof - 1
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
// Takes `count` bytes at once where a PutFunc would take them one by one.
using PutBlockFunc = int (*)(const unsigned char *bytes, int count);

struct StreamState {
    int in_f = -1, ot_f = -1;
    int in_bsize = 0, ot_bsize = 0;
    unsigned char *in_bufr = nullptr;
    unsigned char *in_ptr = nullptr;
    unsigned char *in_eof = nullptr;
    unsigned char *in_fast_end = nullptr;    // the fast path may read below this
    unsigned char *in_count_mark = nullptr;  // where the fast path's uncounted run began
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
    PutBlockFunc RedirectPutBlockFunc = nullptr;  // see redirect_output_blocks
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
// nothing pushed back, redirected or watched and no progress step due, is a
// pointer step and a compare: in_fast_end marks how far that holds, and the
// bytes it delivers are counted into BCntRead and the progress count the
// next time the slow path runs (see streams.cpp, "Counting").
inline int stream_getc(StreamState &s) {
    unsigned char *p = s.in_ptr;
    if (__builtin_expect(p < s.in_fast_end, 1)) {
        s.in_ptr = p + 1;
        return *p;
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

// Appends `count` bytes to the target: the same as b_putc of each, in one
// call to the redirection's block function when it has one.
int stream_put_block(StreamState &s, const unsigned char *bytes, int count);

// Lets the current output redirection take several bytes per call: `put`
// must do exactly what the redirection's PutFunc would do byte by byte.
// RedirectOutput and RedirectOutputClose forget it.
void redirect_output_blocks(PutBlockFunc put);

// Brings BCntRead and the progress count up to date with the bytes the fast
// path delivered, and sends the next read through the slow path, which
// looks at the state afresh.  Called before anything reads those counts or
// changes what the fast path depends on.
void stream_sync_reads();

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
