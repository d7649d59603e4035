// The conversion state: everything the ZEM reader and the driver hold for
// one document, one struct per module, in one object per thread.  The
// driver resets it at the start of every conversion (reset_conversion), so
// nothing carries over from one document to the next.
//
// This header grows with the converter: each module declares its state
// struct in its own header and adds one field here.
#pragma once

#include "common/api.h"
#include "converter/driver.h"
#include "converter/formatting_state.h"
#include "converter/list_files.h"
#include "converter/pages.h"
#include "converter/preprocess.h"
#include "converter/strings.h"
#include "converter/text_flows.h"
#include "converter/token_reader.h"
#include "converter/value_readers.h"

namespace vox {

// The temporary buffers and list files of one conversion (-1: none).
struct ConversionBuffers {
    int preproceesed_bf = -1;         // the preprocessed source, later the main input
    int table_buff = -1;
    int int_tmp_buff = -1;            // the body of the intermediate code
    int apo_temp_buff = -1;           // frame contents
    int text_flow_buff = -1;          // the text flow being converted
    int footnote_buffer_handle = -1;  // stored footnote bodies
    int nat_buff = -1;                // the drawing placeholder being written
};

// Where input comes from and output goes to.
struct RoutingState {
    int preprocess = 1;          // 1 during the validity check and the preprocessing pass
    int convert_string = 1;      // 0: tf_frame_from_out_string copies unchanged
    int redirect_mode = 0;       // output redirected to tf_frame_putc
    int redirect_in_mode = 0;    // input redirected to preproc_getc
    int in_footnote = 0;         // preproc_getc reads the footnote buffer
    // Output destinations, tested in this order by tf_frame_putc.
    int native_gfx_output = 0;
    int output_apo_buff = 0;
    int text_flow = 0;
    int in_table = 0;
    int output_to_int_file = 0;
};

struct Conversion {
    ConversionBuffers buffers;
    RoutingState routing;
    ValueReaderState values;
    PreprocState preproc;
    TokenState tokens;
    PageState pages;
    TextFlowState text_flows;
    ParagraphLayoutState layout;
    StringState strings;
    // The formatting modules and those still to come (formatting_state.h).
    ParagraphFormatState paragraph_formats;
    FontState fonts;
    NumberingState numbering;
    TabState tabs;
    ReferenceState references;
    TableState tables;
    FrameState frames;
    ColourState colours;
    ListFilesState list_files;
    DriverState driver;
};

extern __thread Conversion *tls_conversion __attribute__((tls_model("initial-exec")));

Conversion *make_conversion();

// The calling thread's conversion state, made on first use.
inline Conversion &conv() {
    Conversion *c = tls_conversion;
    if (__builtin_expect(c == nullptr, 0)) c = make_conversion();
    return *c;
}

// Starts a conversion afresh: every module's state to its initial values.
void reset_conversion();

}  // namespace vox

extern "C" {
// The input of the ZEM reader: the source during the preprocessing pass,
// then the preprocessed text (or the footnote buffer while a footnote is
// replayed).  -1 at the end.
VOX_API int preproc_getc(void);
// Pushes a byte back onto that input; pushed-back bytes come back last in,
// first out.
VOX_API int preproc_unget(int byte);
}
