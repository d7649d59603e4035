// The output routing point and its take-back.
#include "converter/routing.h"

#include "common/buffer_bytes.h"
#include "common/kernel_state.h"
#include "converter/conversion.h"
#include "converter/strings.h"

namespace vox {

namespace {

// dspcheck(n) for routed bytes.  Its common case, no progress step due and
// no source bytes read on the stream's fast path still to count (the
// stream then has nothing to bring up to date), only moves the count: done
// here without the calls, since every byte of the output passes.
inline void count_routed_bytes(unsigned n) {
    KernelState &k = kernel();
    ProgressState &p = k.progress;
    if (__builtin_expect(k.streams.in_count_mark == nullptr && p.DispCurrentCount < p.DispDotSize &&
                             p.DispDotSize - p.DispCurrentCount > n, 1))
        p.DispCurrentCount += n;
    else
        dspcheck(n);
}

// Writes to or takes back from the target stream itself.  While output
// redirection is on, the stream would hand the byte straight back to the
// routing point, so redirection is suspended around the call.
int put_to_target(int byte) {
    if (!conv().routing.redirect_mode) return b_putc(byte);
    RedirectOutputClose();
    int result = b_putc(byte);
    start_output_routing();
    return result;
}

int take_back_from_target() {
    if (!conv().routing.redirect_mode) return b_unput();
    RedirectOutputClose();
    int byte = b_unput();
    start_output_routing();
    return byte;
}

}  // namespace

void start_output_routing() {
    RedirectOutput(tf_frame_putc, tf_frame_unput);
    redirect_output_blocks(frame_put_block);
}

int placeholder_tbl_putc(int byte) {
    put_byte(byte, conv().buffers.table_buff);
    return 0;
}

int placeholder_tbl_unget() { return bufunput(conv().buffers.table_buff); }

int frame_put_block(const unsigned char *bytes, int count) {
    Conversion &c = conv();
    const RoutingState &r = c.routing;
    const ConversionBuffers &b = c.buffers;
    if (r.preprocess) {
        bufputs(b.preproceesed_bf, bytes, count);
        return 0;
    }
    if (r.native_gfx_output || r.output_apo_buff || r.text_flow || !(r.in_table || r.output_to_int_file)) {
        const int handle = r.native_gfx_output ? b.nat_buff
                           : r.output_apo_buff ? b.apo_temp_buff
                           : r.text_flow       ? b.text_flow_buff
                                               : b.int_tmp_buff;
        count_routed_bytes(static_cast<unsigned>(count));
        bufputs(handle, bytes, count);
        return 0;
    }
    for (int i = 0; i < count; ++i) tf_frame_putc(bytes[i]);
    return 0;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_frame_putc(int byte) {
    Conversion &c = conv();
    const RoutingState &r = c.routing;
    const ConversionBuffers &b = c.buffers;
    if (r.preprocess) {
        put_byte(byte, b.preproceesed_bf);
        return 0;
    }
    count_routed_bytes(1);
    if (r.native_gfx_output) {
        put_byte(byte, b.nat_buff);
    } else if (r.output_apo_buff) {
        put_byte(byte, b.apo_temp_buff);
    } else if (r.text_flow) {
        put_byte(byte, b.text_flow_buff);
    } else if (r.in_table) {
        placeholder_tbl_putc(byte);
    } else if (r.output_to_int_file) {
        put_to_target(byte);
    } else {
        put_byte(byte, b.int_tmp_buff);
    }
    return 0;
}

VOX_API int tf_frame_unput(void) {
    Conversion &c = conv();
    const RoutingState &r = c.routing;
    const ConversionBuffers &b = c.buffers;
    if (r.native_gfx_output) return bufunput(b.nat_buff);
    if (r.output_apo_buff) return bufunput(b.apo_temp_buff);
    if (r.text_flow) return bufunput(b.text_flow_buff);
    if (r.in_table) return placeholder_tbl_unget();
    return take_back_from_target();
}

VOX_API int tf_frame_from_out_string(const char *text) {
    if (text == nullptr) return 0;
    if (conv().routing.convert_string) return convert_out_string(text);
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p)
        tf_frame_putc(*p);
    return 0;
}

VOX_API void tf_frame_debug(const char *message) {
    if (message != nullptr) report_diagnostic(message);
}
}
