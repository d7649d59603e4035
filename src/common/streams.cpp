// The buffered source and target streams.  The inline fast paths live in
// streams.h; this file holds opening and closing, the block-edge slow paths,
// push-back and take-back, redirection and repositioning.
#include "common/streams.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "common/kernel_state.h"

namespace vox {
namespace {

constexpr int kDefaultBlock = 50000;
constexpr int kQueueBlock = 4096;
constexpr int kMaxUnget = 1024;
constexpr int kBlockSlack = 17;
constexpr int kUngetSlack = 16;
constexpr int kOverflowBufferSize = 2048;
constexpr int kEofErrorCall = 25;  // calls past the end before error 5 is raised

unsigned char *alloc_block(int size) {
    return static_cast<unsigned char *>(VOXmalloc(static_cast<std::size_t>(size) + kBlockSlack));
}

void free_stream_buffers(StreamState &s) {
    VOXfree(s.ungetbuf);
    VOXfree(s.in_bufr);
    VOXfree(s.ot_bufr1);
    VOXfree(s.ot_bufr2);
    s.ungetbuf = s.in_bufr = s.ot_bufr1 = s.ot_bufr2 = nullptr;
    s.in_ptr = s.in_eof = s.ot_ptr = s.ot_eof = nullptr;
    s.in_fast_end = s.in_count_mark = nullptr;
}

unsigned char *current_target(const StreamState &s) { return s.ot_side == 0 ? s.ot_bufr1 : s.ot_bufr2; }
unsigned char *other_target(const StreamState &s) { return s.ot_side == 0 ? s.ot_bufr2 : s.ot_bufr1; }
int &current_stat(StreamState &s) { return s.ot_side == 0 ? s.ot_stat1 : s.ot_stat2; }
int &other_stat(StreamState &s) { return s.ot_side == 0 ? s.ot_stat2 : s.ot_stat1; }

// Counting.  b_getc counts every call in BCntRead and every source byte in
// the progress count, stepping the display when that reaches DispDotSize.
// The fast path does neither: it only advances in_ptr, up to in_fast_end,
// which stops it before the block's last byte and before the byte that
// completes a progress step.  The bytes between in_count_mark and in_ptr are
// the ones it delivered and nobody has counted yet.

// The fast path's limit for the current state: none while anything needs
// the slow path, else the block's last byte or the next progress step,
// whichever comes first.
void refresh_fast_end(KernelState &k) {
    StreamState &s = k.streams;
    s.in_count_mark = s.in_ptr;
    s.in_fast_end = nullptr;
    if ((s.ungetcnt | s.RedirectInputFlag | s.CopyGetFlag) != 0 || s.in_eof - s.in_ptr < 2) return;
    const ProgressState &p = k.progress;
    std::size_t until_step = p.DispCurrentCount + 1 < p.DispDotSize
                                 ? static_cast<std::size_t>(p.DispDotSize - p.DispCurrentCount - 1)
                                 : 0;
    std::size_t until_last = static_cast<std::size_t>(s.in_eof - 1 - s.in_ptr);
    s.in_fast_end = s.in_ptr + std::min(until_step, until_last);
}

void count_fast_reads(KernelState &k) {
    StreamState &s = k.streams;
    if (!s.in_count_mark) return;
    auto n = static_cast<unsigned>(s.in_ptr - s.in_count_mark);
    s.BCntRead += n;
    k.progress.DispCurrentCount += n;
    s.in_count_mark = s.in_ptr;
}

void check_invariants(const StreamState &s) {
    (void)s;
    assert(s.in_bufr == nullptr || (s.in_bufr <= s.in_ptr && s.in_ptr <= s.in_eof &&
                                    s.in_eof <= s.in_bufr + s.in_bsize));
    assert(s.in_fast_end == nullptr || s.in_fast_end < s.in_eof);
    assert(s.ungetcnt >= 0 && s.ungetcnt <= s.ungetsiz + 1);
    assert(!(s.ot_stat1 && s.ot_stat2));
}

// Restarts writing at the start of buffer 1 with nothing pending.
void reset_target(StreamState &s) {
    s.ot_side = 0;
    s.ot_stat1 = s.ot_stat2 = 0;
    s.ot_ptr = s.ot_bufr1;
    s.ot_eof = s.ot_bufr1 ? s.ot_bufr1 + s.ot_bsize : nullptr;
}

// Reads the next block into the source buffer: its byte count, 0 at the
// end, negative on error.
int read_block(StreamState &s) {
    int n = VOXread(s.in_f, s.in_bufr, static_cast<unsigned>(s.in_bsize));
    s.in_fast_end = s.in_count_mark = nullptr;  // the caller counted what came before
    s.in_ptr = s.in_bufr;
    s.in_eof = s.in_bufr + (n > 0 ? n : 0);
    return n;
}

// Delivers the -1 of a call past the end of input; far past it, the
// non-fatal error 5 is raised as well.
int past_end(StreamState &s) {
    s.in_eofst = s.in_eofst == 0 ? 1 : s.in_eofst + 2;
    if ((s.in_eofst + 1) / 2 >= kEofErrorCall) err_exit(5);
    return -1;
}

// Takes one byte from the source block, reading the next block as soon as
// this one is used up.
int take_source_byte(KernelState &k) {
    StreamState &s = k.streams;
    if (s.in_ptr >= s.in_eof) return past_end(s);
    ProgressState &p = k.progress;
    if (++p.DispCurrentCount >= p.DispDotSize) {
        DispDotUpdate();
        p.DispCurrentCount = 0;
    }
    int byte = *s.in_ptr++;
    if (s.in_ptr >= s.in_eof) {
        s.in_pos += static_cast<unsigned>(s.in_bsize);
        if (read_block(s) < 0) err_exit(2);
    }
    return byte;
}

// Pops the newest pushed-back byte from the store or its overflow buffer.
// Returns -2 when the store turns out to be empty (only possible when the
// stream was never opened and everything went to the overflow buffer).
int pop_pushed_back(StreamState &s) {
    if (s.ungetcnt <= s.ungetsiz) return s.ungetbuf[--s.ungetcnt];
    int byte = bufunput(s.ungettemp);
    if (byte != -1) return byte;
    bufclose(s.ungettemp);
    s.ungettemp = -1;
    if (s.ungetsiz == 0) {
        s.ungetcnt = 0;
        return -2;
    }
    s.ungetcnt = s.ungetsiz - 1;
    return s.ungetbuf[s.ungetcnt];
}

void copy_got(StreamState &s, int byte) {
    if (s.CopyGetFlag && s.CopyGetFunc) s.CopyGetFunc(byte);
}

// Writes the full other buffer if it waits, then makes the full current
// one wait and continues in the other.
void switch_target_buffer(StreamState &s) {
    if (other_stat(s)) {
        WriteMainBuffer(s.ot_f, other_target(s), s.ot_bsize);
        other_stat(s) = 0;
    }
    current_stat(s) = 1;
    s.ot_side ^= 1;
    s.ot_ptr = current_target(s);
    s.ot_eof = s.ot_ptr + s.ot_bsize;
}

// Steps back from an empty current buffer into the other one, re-reading it
// from the target file when it has been written already.  False when that
// cannot be done; the target buffers are then reset.
bool step_back_target(StreamState &s) {
    current_stat(s) = 0;
    s.ot_side ^= 1;
    unsigned char *buf = current_target(s);
    s.ot_eof = buf + s.ot_bsize;
    s.ot_ptr = s.ot_eof;
    if (current_stat(s)) {
        current_stat(s) = 0;  // the current buffer is never pending
        return true;
    }
    long back = -static_cast<long>(s.ot_bsize);
    if (VOXlseek(s.ot_f, back, 1) < 0 ||
        VOXread(s.ot_f, buf, static_cast<unsigned>(s.ot_bsize)) < s.ot_bsize ||
        VOXlseek(s.ot_f, back, 1) < 0) {
        reset_target(s);
        return false;
    }
    return true;
}

void close_overflow(StreamState &s) {
    if (s.ungettemp >= 0) bufclose(s.ungettemp);
    s.ungettemp = -1;
}

int open_buffers(StreamState &s, bool with_source, bool with_target, int size) {
    const int step = size / 4;
    for (; size > 0; size -= step > 0 ? step : size) {
        unsigned char *in = with_source ? alloc_block(size) : nullptr;
        unsigned char *o1 = with_target ? alloc_block(size) : nullptr;
        unsigned char *o2 = with_target ? alloc_block(size) : nullptr;
        if ((!with_source || in) && (!with_target || (o1 && o2))) {
            s.in_bufr = in;
            s.ot_bufr1 = o1;
            s.ot_bufr2 = o2;
            s.in_bsize = s.ot_bsize = size;
            return 0;
        }
        VOXfree(in);
        VOXfree(o1);
        VOXfree(o2);
    }
    return 8;
}

// One b_getc, counted, from wherever the next byte comes.
int next_byte(KernelState &k) {
    StreamState &s = k.streams;
    for (;;) {
        ++s.BCntRead;
        int byte;
        if (s.ungetcnt > 0) {
            if (s.RedirectInputFlag == 2) {
                byte = s.RedirectGetFunc();
            } else {
                byte = pop_pushed_back(s);
                if (byte == -2) {
                    --s.BCntRead;  // nothing was pushed back after all: count once
                    continue;
                }
            }
            copy_got(s, byte);
            return byte;
        }
        if (s.RedirectInputFlag) {
            byte = s.RedirectGetFunc();
            copy_got(s, byte);
            return byte;
        }
        byte = take_source_byte(k);
        if (byte >= 0) copy_got(s, byte);
        return byte;
    }
}

}  // namespace

void stream_sync_reads() {
    KernelState &k = kernel();
    count_fast_reads(k);
    // Until the next slow read looks at the state afresh, nothing is read
    // on the fast path, so nothing is left to count.
    k.streams.in_fast_end = k.streams.in_count_mark = nullptr;
}

int stream_getc_slow(StreamState &s) {
    KernelState &k = kernel();
    count_fast_reads(k);
    int byte = next_byte(k);
    refresh_fast_end(k);
    check_invariants(s);
    return byte;
}

int stream_putc_slow(StreamState &s, int byte) {
    if (s.RedirectOutputFlag) return s.RedirectPutFunc(byte);
    if (s.ot_ptr == nullptr) return 0;  // no target stream open
    ++s.BCntWritten;
    *s.ot_ptr++ = static_cast<unsigned char>(byte);
    if (s.ot_ptr >= s.ot_eof) switch_target_buffer(s);
    check_invariants(s);
    return 0;
}

int stream_put_block(StreamState &s, const unsigned char *bytes, int count) {
    if (s.RedirectOutputFlag) {
        if (s.RedirectPutBlockFunc) return s.RedirectPutBlockFunc(bytes, count);
        for (int i = 0; i < count; ++i) s.RedirectPutFunc(bytes[i]);
        return 0;
    }
    while (count > 0) {
        // As stream_putc: the fast path stops short of a block's last byte,
        // which the slow path stores and then switches blocks.
        const long room = s.ot_ptr ? static_cast<long>(s.ot_eof - s.ot_ptr) - 1 : 0;
        if (room <= 0) {
            stream_putc_slow(s, *bytes++);
            --count;
            continue;
        }
        const int run = static_cast<int>(std::min<long>(room, count));
        std::memcpy(s.ot_ptr, bytes, static_cast<std::size_t>(run));
        s.ot_ptr += run;
        s.BCntWritten += static_cast<unsigned>(run);
        bytes += run;
        count -= run;
    }
    return 0;
}

void redirect_output_blocks(PutBlockFunc put) { kernel().streams.RedirectPutBlockFunc = put; }

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int b_open(int in_handle, int out_handle, int size) {
    stream_sync_reads();
    KernelState &k = kernel();
    StreamState &s = k.streams;
    close_overflow(s);
    free_stream_buffers(s);
    // A cap (pipes, the standard streams) is also the block size taken for
    // a small request, so the driver's request of 2048 gives 4096-byte
    // blocks under the 4096 cap and 50000-byte blocks without one.
    if (s.MaxSize != -1 && size > s.MaxSize) size = s.MaxSize;
    if (size < kDefaultBlock) size = s.MaxSize == -1 ? kDefaultBlock : s.MaxSize;
    if (k.settings.IPCMsgQueueID != -1) size = kQueueBlock;
    if (size <= 0) return 8;

    s.RedirectOutputFlag = 0;
    s.RedirectPutFunc = nullptr;
    s.RedirectUnputFunc = nullptr;
    if (s.RedirectInputFlag != 1) {
        s.RedirectInputFlag = 0;
        s.RedirectUngetFunc = nullptr;
    }
    s.BCntWritten = s.BCntRead = s.in_pos = 0;
    s.ungetsiz = size < kMaxUnget ? size : kMaxUnget;
    s.in_f = in_handle;
    s.ot_f = out_handle;

    if (open_buffers(s, in_handle >= 0, out_handle >= 0, size) != 0) return 8;
    reset_target(s);
    s.ungetbuf = static_cast<unsigned char *>(VOXmalloc(static_cast<std::size_t>(s.ungetsiz) + kUngetSlack));
    if (!s.ungetbuf) {
        free_stream_buffers(s);
        return 8;
    }
    s.ungetcnt = 0;
    s.ungettemp = -1;
    s.in_eofst = 0;
    if (in_handle >= 0) {
        if (read_block(s) < 0) return 2;
        s.in_pos = static_cast<unsigned>(s.in_bsize);
    }
    return 0;
}

VOX_API int b_close(void) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    if (s.ot_f >= 0 && s.ot_bufr1) {
        if (other_stat(s)) {
            WriteMainBuffer(s.ot_f, other_target(s), s.ot_bsize);
            other_stat(s) = 0;
        }
        int filled = static_cast<int>(s.ot_ptr - current_target(s));
        if (filled > 0) WriteMainBuffer(s.ot_f, current_target(s), filled);
    }
    free_stream_buffers(s);
    s.ot_stat1 = s.ot_stat2 = 0;
    s.ungetcnt = 0;
    return 0;
}

VOX_API int b_getc(void) { return stream_getc(kernel().streams); }

VOX_API int b_unget(int byte) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    if (s.CopyGetFlag && s.CopyUnGetFunc) s.CopyUnGetFunc(byte);
    if (s.RedirectInputFlag == 2) return s.RedirectUngetFunc(byte);
    if (s.ungetcnt < s.ungetsiz) {
        s.ungetbuf[s.ungetcnt++] = static_cast<unsigned char>(byte);
        return 0;
    }
    if (s.ungettemp < 0) {
        s.ungettemp = bufopen(kOverflowBufferSize);
        if (s.ungettemp < 0) err_exit(8);
    }
    s.ungetcnt = s.ungetsiz + 1;
    bufput(byte, s.ungettemp);
    return 0;
}

VOX_API int b_putc(int byte) { return stream_putc(kernel().streams, byte); }

VOX_API int b_unput(void) {
    StreamState &s = kernel().streams;
    if (s.RedirectOutputFlag) return s.RedirectUnputFunc ? s.RedirectUnputFunc() : -1;
    if (s.BCntWritten == 0 || s.ot_ptr == nullptr) return -1;
    if (s.ot_ptr == current_target(s) && !step_back_target(s)) return -1;
    --s.BCntWritten;
    return *--s.ot_ptr;
}

VOX_API int qGetc(void) {
    stream_sync_reads();
    KernelState &k = kernel();
    StreamState &s = k.streams;
    if (s.ungetcnt > 0) {
        int byte = pop_pushed_back(s);
        if (byte != -2) return byte;
    }
    return take_source_byte(k);
}

VOX_API int qPutc(int byte) {
    StreamState &s = kernel().streams;
    if (s.ot_ptr == nullptr) return 0;
    ++s.BCntWritten;
    *s.ot_ptr++ = static_cast<unsigned char>(byte);
    if (s.ot_ptr >= s.ot_eof) switch_target_buffer(s);
    return 0;
}

VOX_API int b_read(int /*handle*/, unsigned char *buffer, int count) {
    int stored = 0;
    for (; stored < count; ++stored) {
        int byte = b_getc();
        if (byte == -1) break;
        buffer[stored] = static_cast<unsigned char>(byte);
    }
    return stored;
}

VOX_API int b_write(int /*handle*/, const unsigned char *buffer, int count) {
    stream_put_block(kernel().streams, buffer, count);
    return count;
}

VOX_API unsigned b_pos(void) { return kernel().streams.in_pos; }

VOX_API int RedirectOutput(PutFunc put, UnputFunc unput) {
    StreamState &s = kernel().streams;
    s.RedirectPutFunc = put;
    s.RedirectUnputFunc = unput;
    s.RedirectPutBlockFunc = nullptr;
    s.RedirectOutputFlag = 1;
    return 0;
}

VOX_API int RedirectOutputClose(void) {
    StreamState &s = kernel().streams;
    s.RedirectOutputFlag = 0;
    s.RedirectPutBlockFunc = nullptr;
    return 0;
}

VOX_API int RedirectInput(GetFunc get) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    s.RedirectGetFunc = get;
    s.RedirectInputFlag = 1;
    return 0;
}

VOX_API int RedirectGetUnget(GetFunc get, UngetFunc unget) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    s.RedirectGetFunc = get;
    s.RedirectUngetFunc = unget;
    s.RedirectInputFlag = 2;
    return 0;
}

VOX_API int RedirectInputClose(void) {
    stream_sync_reads();
    kernel().streams.RedirectInputFlag = 0;
    return 0;
}

VOX_API int CopyGetUnget(UngetFunc get_copy, UngetFunc unget_copy) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    s.CopyGetFunc = get_copy;
    s.CopyUnGetFunc = unget_copy;
    s.CopyGetFlag = 1;
    return 0;
}

VOX_API int CopyGetUngetClose(void) {
    stream_sync_reads();
    kernel().streams.CopyGetFlag = 0;
    return 0;
}

VOX_API int RewindSourceFile(void) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    if (s.RedirectInputFlag == 2) {
        close_overflow(s);  // the store is not read under this redirection
        s.ungetcnt = 0;
    }
    while (s.ungetcnt > 0) b_getc();
    s.in_pos = 0;
    s.in_eofst = 0;
    if (s.in_f < 0 || !s.in_bufr) return 0;
    if (VOXlseek(s.in_f, 0, 0) < 0 || read_block(s) < 0) return 2;
    s.in_pos = static_cast<unsigned>(s.in_bsize);
    return 0;
}

VOX_API int SetBGetPosition(long position, int clear) {
    stream_sync_reads();
    StreamState &s = kernel().streams;
    s.in_eofst = 0;
    if (s.in_f >= 0 && s.in_bufr) {
        VOXlseek(s.in_f, position, 0);
        if (read_block(s) < 0) err_exit(2);
        s.in_pos += static_cast<unsigned>(s.in_bsize);
    }
    if (clear == 1) {
        close_overflow(s);
        s.ungetcnt = 0;
    }
    return 0;
}

// Writes a whole block, continuing after a short write; a failed write ends
// the conversion with 4, a write that writes nothing with 10.
VOX_API int WriteMainBuffer(int handle, const unsigned char *buffer, int count) {
    int done = 0;
    while (done < count) {
        int n = VOXwrite(handle, buffer + done, static_cast<unsigned>(count - done));
        if (n < 0) err_exit(4);
        if (n == 0) err_exit(10);
        done += n;
    }
    return done;
}

VOX_API unsigned BytesRead(void) {
    stream_sync_reads();
    return kernel().streams.BCntRead;
}
VOX_API unsigned BytesWritten(void) { return kernel().streams.BCntWritten; }

VOX_API int SetMaxComBufferSize(int size) {
    kernel().streams.MaxSize = size;
    return 0;
}
}
