// PLACEHOLDER bodies of the handlers of modules not built yet; see
// pending_handlers.h.  Each does nothing, except that the start handlers
// skip their statement's values.
#include "converter/pending_handlers.h"

#include "converter/conversion.h"
#include "converter/token_reader.h"

namespace {

// What a start handler placeholder does with its statement's values: skips
// them up to the next nested statement or the statement's end, stepping
// over strings whole.  The main loop's own skipping would stop at a '<' or
// '>' inside a string (variable definitions and file names hold them) and
// lose the statement structure.
int skip_statement_values() { return tf_unknown_token_line_skip(); }

// What the inset placeholder does with a data line: skips it to its end.
int skip_data_line() {
    int byte;
    while ((byte = preproc_getc()) != -1 && byte != 13) {
    }
    if (byte == 13) preproc_unget(byte);
    return 0;
}

}  // namespace

extern "C" {

// --- PLACEHOLDER: variables, markers, cross-references, conditional text ------------------
VOX_API int tf_handle_mtext_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_mtype_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_vardef_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_varname_token(void) { return skip_statement_values(); }
VOX_API int tf_output_hypertext_xrf(const char *, int) { return 0; }
VOX_API int tf_style_xref(const char *) { return 0; }
VOX_API int tf_get_xref_num(const char *, char *) { return 0; }
VOX_API int tf_start_text_stat(void) { return 0; }
VOX_API int tf_end_text_stat(void) { return 0; }
VOX_API void tf_free_xref_list(void) {}
// --- PLACEHOLDER: tables ----------------------------------------------------------------------
VOX_API int tf_handle_atbl_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_cell_straddle(int, int) { return 0; }
VOX_API int tf_handle_cellcontent_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_cell_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_row_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_tblalignment_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_ruling(void) { return skip_statement_values(); }
VOX_API int tf_handle_start_table(void) { return 0; }
VOX_API int tf_handle_tblcolumnwidth_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_tbltag_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_tbl_token(void) { return skip_statement_values(); }
VOX_API int tf_clear_cell_ruling_list(void) { return 0; }
VOX_API int tf_end_tbl_format(void) { return 0; }
VOX_API int tf_handle_end_tbl(void) { return 0; }
VOX_API void tf_close_tbl_buffers(void) {}
// --- PLACEHOLDER: frames ------------------------------------------------------------------------
VOX_API int tf_handle_aframe_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_frame_token(void) { return skip_statement_values(); }
VOX_API int tf_output_apf(void) { return 0; }
VOX_API int tf_pop_frame_state(int, void *) { return 0; }
VOX_API void tf_free_frame_list(void) {}
VOX_API void tf_free_frame_state_list(void) {}
// --- PLACEHOLDER: footnotes and colours ---------------------------------------------------------
VOX_API int tf_get_footnote(void) { return skip_statement_values(); }
VOX_API int tf_end_footnote(void) { return 0; }
VOX_API int tf_buffer_notes(void) { return skip_statement_values(); }
// --- PLACEHOLDER: insets and imported graphics ------------------------------------------------
VOX_API int tf_handle_importobfiledi_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_importobject_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_filename_token(void) { return skip_statement_values(); }
VOX_API int tf_handle_inset_object(void) { return skip_data_line(); }
}
