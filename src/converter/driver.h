// The conversion driver: one call of MainEntryPoint converts one document.
// VOXMainEntry parses the options, opens the source, the target and the
// temporary stores, checks and preprocesses the source, splits off the
// text flows, writes the head, runs the main loop over the main input and
// then over each flow in page order, and writes page records, font table
// and body.  Every end goes through tf_frame_exit (or, before the
// temporary stores exist, VOXexit), which returns the result code to
// MainEntryPoint.
#pragma once

#include "common/api.h"

extern "C" {
// Never returns: ends with tf_frame_exit / VOXexit.
[[noreturn]] VOX_API void VOXMainEntry(int argc, char **argv);
// Sets the conversion's starting values and opens the font-table and
// variables list files.
VOX_API int tf_init_starting_vars(void);
// Releases every buffer, list and temporary file of the conversion, closes
// source and target, and ends the run with `code`.
[[noreturn]] VOX_API void tf_frame_exit(int code);
// Writes page records and font table (documents only) to the target, then
// the body buffer.
VOX_API int tf_output_int_file(void);
// The font table record FDT.
VOX_API int tf_output_fdt(void);
// Output redirection through tf_frame_putc, input redirection through
// preproc_getc.
VOX_API int tf_frame_redout_start(void);
VOX_API int tf_frame_redout_end(void);
VOX_API int tf_frame_redin_start(void);
VOX_API int tf_frame_redin_end(void);
}
