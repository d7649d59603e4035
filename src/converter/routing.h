// The output routing point of the converter.  Every byte a record writer
// sends to the target stream (through output redirection) and every text
// byte a statement handler writes passes through tf_frame_putc, which sends
// it to the first destination whose flag is set:
//
//   preprocess          -> preproceesed_bf  (the preprocessing pass)
//   native_gfx_output   -> nat_buff         (a drawing placeholder)
//   output_apo_buff     -> apo_temp_buff    (an anchored frame)
//   text_flow           -> text_flow_buff   (the text flow being converted)
//   in_table            -> the table writer
//   output_to_int_file  -> the target stream itself
//   otherwise           -> int_tmp_buff     (the body)
//
// tf_frame_unput takes the last byte back from the drawing, frame, flow or
// table destination, in that order of precedence, and otherwise from the
// target stream.  The preprocessed-text and body buffers are not among the
// places it takes from: a byte sent to either of them is final.
//
// PLACEHOLDER until the tables module exists: the table writer and its
// take-back (placeholder_tbl_putc / placeholder_tbl_unget below) append to
// and take back from table_buff; the tables module replaces them with
// tf_frame_tbl_putc / tf_tbl_unget, which choose the section buffer.
//
// tf_frame_from_out_string with convert_string set converts the text's
// backslash sequences through the strings module (convert_out_string).
#pragma once

#include "common/api.h"

namespace vox {

// PLACEHOLDER until the tables module exists: appends the byte to
// table_buff.  Returns 0.
int placeholder_tbl_putc(int byte);
// PLACEHOLDER until the tables module exists: takes the last byte back from
// table_buff; -1 when there is none.
int placeholder_tbl_unget();

// Sends the target stream's output to the routing point: single bytes to
// tf_frame_putc, a record's parameter bytes to frame_put_block.
void start_output_routing();

// Routes `count` bytes as tf_frame_putc routes each of them (progress
// steps included), copying them in one step when they go to a buffer.
int frame_put_block(const unsigned char *bytes, int count);

}  // namespace vox

extern "C" {
// Routes one output byte (0-255) to its destination; returns 0.  Counts one
// progress step per byte, except during the preprocessing pass.
VOX_API int tf_frame_putc(int byte);
// Takes the last routed byte back; -1 when nothing can be taken back.
VOX_API int tf_frame_unput(void);
// Writes a NUL-terminated text through tf_frame_putc: unchanged while
// convert_string is 0 (the preprocessing pass), converted otherwise.
// Returns 0.
VOX_API int tf_frame_from_out_string(const char *text);
// The diagnostic hook of the converter: hands the text to the host's
// diagnostic listener when one is installed, and otherwise discards it.
VOX_API void tf_frame_debug(const char *message);
}
