// Statement handlers and writers of the converter modules that are not
// built yet: paragraph formats and catalog, fonts and character formats,
// paragraph numbering, tabs and alignment, variables / markers /
// cross-references / conditional text, tables, frames, footnotes and
// colours, insets and imported graphics.
//
// Every function here is a PLACEHOLDER with its final name and signature:
// the dispatcher, the driver and the text-flow code call them as they will
// call the real ones.  Each writes nothing and returns 0 unless noted; the
// start handlers (the tf_handle_*_token functions, tf_handle_ruling,
// tf_handle_pgfplacementstyle, tf_get_footnote, tf_buffer_notes) skip
// their statement's values, strings whole, as the real ones read them, and
// tf_handle_inset_object skips its data line.  When a
// module lands, its functions move out of this file into the module.
#pragma once

#include "common/api.h"
// Modules already built, for the callers that still find their functions
// through this header.
#include "converter/colours.h"
#include "converter/numbering.h"
#include "converter/paragraphs.h"
#include "converter/tabs.h"

extern "C" {

// --- paragraph formats and catalog: converter/paragraphs.h ----------------

// --- fonts and character formats: converter/fonts.h -------------------------

// --- paragraph numbering: converter/numbering.h --------------------------------

// --- tabs, alignment and margins: converter/tabs.h ------------------------------

// --- variables, markers, cross-references, conditional text ------------------
VOX_API int tf_handle_mtext_token(void);
VOX_API int tf_handle_mtype_token(void);
VOX_API int tf_handle_vardef_token(void);
VOX_API int tf_handle_varname_token(void);
// Opens (kind 4, with the link name) or closes (kind 5, name null) a
// hypertext link.
VOX_API int tf_output_hypertext_xrf(const char *name, int kind);
// 1 when `text` has the form of a paragraph cross-reference, else 0.
VOX_API int tf_style_xref(const char *text);
// Copies the leading digits of `text` into `name`.
VOX_API int tf_get_xref_num(const char *text, char *name);
VOX_API int tf_start_text_stat(void);
VOX_API int tf_end_text_stat(void);
VOX_API void tf_free_xref_list(void);

// --- tables ----------------------------------------------------------------------
VOX_API int tf_handle_atbl_token(void);
VOX_API int tf_handle_cell_straddle(int count, int kind);
VOX_API int tf_handle_cellcontent_token(void);
VOX_API int tf_handle_cell_token(void);
VOX_API int tf_handle_row_token(void);
VOX_API int tf_handle_tblalignment_token(void);
// Reads a ruling name and gives its number; PLACEHOLDER: 0.
VOX_API int tf_handle_ruling(void);
VOX_API int tf_handle_start_table(void);
VOX_API int tf_handle_tblcolumnwidth_token(void);
VOX_API int tf_handle_tbltag_token(void);
VOX_API int tf_handle_tbl_token(void);
VOX_API int tf_clear_cell_ruling_list(void);
VOX_API int tf_end_tbl_format(void);
VOX_API int tf_handle_end_tbl(void);
// Closes the table section buffers.
VOX_API void tf_close_tbl_buffers(void);

// --- frames ------------------------------------------------------------------------
VOX_API int tf_handle_aframe_token(void);
VOX_API int tf_handle_frame_token(void);
// Writes the closing positioning record of a pending anchored frame.
VOX_API int tf_output_apf(void);
VOX_API int tf_pop_frame_state(int in_frame_place, void *frame_place);
VOX_API void tf_free_frame_list(void);
VOX_API void tf_free_frame_state_list(void);

// --- footnotes and colours ---------------------------------------------------------
VOX_API int tf_get_footnote(void);
VOX_API int tf_end_footnote(void);
VOX_API int tf_buffer_notes(void);
// Colours: converter/colours.h.

// --- insets and imported graphics ------------------------------------------------
VOX_API int tf_handle_importobfiledi_token(void);
VOX_API int tf_handle_importobject_token(void);
VOX_API int tf_handle_filename_token(void);
// A line of inset data (the main loop has read its '=').
VOX_API int tf_handle_inset_object(void);
}
