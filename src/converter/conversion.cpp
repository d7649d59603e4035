// The per-thread conversion state and the input of the ZEM reader.
#include "converter/conversion.h"

#include "common/buffer_bytes.h"
#include "common/kernel_state.h"
#include "common/thread_state.h"

namespace vox {

__thread Conversion *tls_conversion __attribute__((tls_model("initial-exec"))) = nullptr;

Conversion *make_conversion() { return make_thread_state(tls_conversion); }

void reset_conversion() { conv() = Conversion(); }

}  // namespace vox

using namespace vox;

extern "C" {

// During the preprocessing pass the source stream's own input is
// redirected to this function, so the redirection is suspended around the
// read that reaches the source itself.  It is the input redirection that
// has to be suspended, so the test is on redirect_in_mode (the driver turns
// both redirections on and off together).
VOX_API int preproc_getc(void) {
    Conversion &c = conv();
    if (c.routing.preprocess) {
        if (!c.routing.redirect_in_mode) return b_getc();
        RedirectInputClose();
        int byte = b_getc();
        RedirectInput(preproc_getc);
        return byte;
    }
    if (c.routing.in_footnote) return get_byte(c.buffers.footnote_buffer_handle);
    return get_byte(c.buffers.preproceesed_bf);
}

VOX_API int preproc_unget(int byte) {
    Conversion &c = conv();
    if (c.routing.preprocess) {
        if (!c.routing.redirect_in_mode) return b_unget(byte);
        RedirectInputClose();
        int result = b_unget(byte);
        RedirectInput(preproc_getc);
        return result;
    }
    if (c.routing.in_footnote) return bufunget(byte, c.buffers.footnote_buffer_handle);
    return bufunget(byte, c.buffers.preproceesed_bf);
}
}
