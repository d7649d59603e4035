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

extern "C" {

// --- paragraph formats and catalog ---------------------------------------
// Applies the catalog format named `tag`.
VOX_API int tf_set_catalog_vars(const char *tag);
VOX_API int tf_handle_pgftag_token(void);
VOX_API int tf_handle_end_pgf(void);
VOX_API int tf_handle_pgfplacementstyle(void);
// The style-off group of the current paragraph.
VOX_API int tf_end_curr_style(void);
// The paragraph data written before a paragraph's first text.
VOX_API int tf_output_pgf_data(void);

// --- fonts and character formats -------------------------------------------
VOX_API int tf_handle_ffamily_token(void);
VOX_API int tf_handle_lang_token(void);
VOX_API int tf_handle_funderlining_token(void);
VOX_API int tf_handle_fposition_token(void);
VOX_API int tf_handle_ftag_token(void);
// End action of Font; also writes pending font changes before text.
VOX_API int tf_handle_end_font(void);
// Writes the begin and end records that turn the written attributes into
// `attributes`.
VOX_API int tf_write_attr(int attributes);

// --- paragraph numbering -----------------------------------------------------
VOX_API int tf_output_para_num_string(void);
VOX_API int tf_handle_pgfstring_token(void);
// Converts the special characters of a numbering format in place.
VOX_API int tf_fixup_special_string_chars(char *text);

// --- tabs, alignment and margins ----------------------------------------------
VOX_API int tf_handle_alig_token(void);
VOX_API int tf_handle_tab_type_token(void);
VOX_API int tf_handle_tsleader_token(void);
// 1 when no counted slot of the working tab table holds `position`, else 0.
// PLACEHOLDER: accepts every position.
VOX_API int tf_new_tab(int position);
VOX_API int tf_end_curr_alig(void);
VOX_API int tf_start_pgf_alig(void);
// Writes the tab-stop record for the first `count` slots of `table` (30
// slots of four 32-bit fields).
VOX_API int tf_do_ntb_output(const int *table, int count);
// The record for the tab stop the next tab character reaches.
VOX_API int tf_output_tab(void);

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
VOX_API void tf_free_pgf_num_list(void);
VOX_API void tf_free_series_list(void);

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
VOX_API int tf_output_color(int color, const char *name);
// The colour code of the catalog colour `name`; PLACEHOLDER: 0.
VOX_API int tf_cmyk_conv_color(const char *name);

// --- insets and imported graphics ------------------------------------------------
VOX_API int tf_handle_importobfiledi_token(void);
VOX_API int tf_handle_importobject_token(void);
VOX_API int tf_handle_filename_token(void);
// A line of inset data (the main loop has read its '=').
VOX_API int tf_handle_inset_object(void);
}
