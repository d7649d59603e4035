// Tabs, alignment and margins: the working tab table of the current
// paragraph and its tab-stop record (NTB), the record each tab character
// becomes, the alignment mode with its begin and end records, and the
// temporary-margin records that express a paragraph's indents (with extra
// "V" stops at the indent positions) and its right indent (RMI and RSM).
//
// State: TabState (formatting_state.h) holds the three 30-slot tables,
// start_tab_table, skip_tab, sidehead_right, alig_output and the
// temporary margins (temp_left / temp_right, temp_rsm, can_do_tmp_mar);
// curr_tab_idx (the count of work_tab_tbl), current_alig, default_alig,
// brj_mode, the indents and the side-head offsets are in
// ParagraphLayoutState; line_pos and char_width in StringState;
// over_ride_tf_off and first_string_seen in ParagraphFormatState.  Counts
// are taken as at most 30 wherever a table is read.
//
// Readings chosen where the rules leave room:
// - tf_output_tab scans the counted slots only (i below the count), each
//   against the slot after it; for the last counted slot that is the first
//   uncounted one, taken as it stands.  With no counted stop a tab writes
//   nothing.
// - tf_do_ntb_output writes the stops of the table it is given (every
//   caller passes the working table, or a count of 0); it does not touch
//   last_output_table and does not look at text_flow.  The comparison with
//   the last table written, the copy into it and the text-flow condition
//   belong to tf_write_out_tab_table.
// - The presence test of an indent stop checks a slot's position for the
//   sought one before it lets a zero position end the search, so a stop at
//   position 0 is found in any counted slot.
// - Placing an indent stop compares slot i with slot i + 1 only while
//   i + 1 is a slot of the table; a scan that reaches slot 29 without a
//   place ends at the count, and a place of 30 becomes 29.
// - The ruler handed to OutTempMargin gets the working stops' positions and
//   types only; the leader bytes of the ruler stay as the last tab-stop
//   record left them.
#pragma once

#include "common/api.h"

extern "C" {

// --- statement handlers -------------------------------------------------------------
// <PgfAlignment: reads the word, sets current_alig and alig_output.
VOX_API int tf_handle_alig_token(void);
// <TSType: reads the word; stores the type while the slot is open.
VOX_API int tf_handle_tab_type_token(void);
// <TSLeaderStr: reads the quoted word; its first character (not a space)
// becomes the slot's leader while the slot is open.
VOX_API int tf_handle_tsleader_token(void);
// 1 when no counted slot of the working tab table holds `position`, else 0
// (the dispatcher then sets skip_tab).
VOX_API int tf_new_tab(int position);

// --- tabs -----------------------------------------------------------------------------
// The record for the stop the next tab character reaches.
VOX_API int tf_output_tab(void);
// The record for stop `stop` of the working table; line_pos moves to it.
VOX_API int tf_write_tab(int stop);
// The tab-stop record of the working table: always with force, otherwise
// only when the table differs from the one written last.  Nothing outside
// text flows unless a style group is being written.
VOX_API int tf_write_out_tab_table(int force);
// The tab-stop record for the first `count` slots of `table` (30 slots of
// four 32-bit fields), positions shifted by the left margin.
VOX_API int tf_do_ntb_output(const int *table, int count);

// --- alignment ----------------------------------------------------------------------
// The begin record of current_alig.
VOX_API int tf_start_pgf_alig(void);
// The end record of current_alig.
VOX_API int tf_end_curr_alig(void);
// Ends the alignment and, unless keep, returns to default_alig; without
// keep nothing happens when the alignment already is the default.
VOX_API int tf_end_para_reset_alig(int keep);

// --- margins ------------------------------------------------------------------------
// Inserts "V" stops into the working table at the left and first-line
// indent positions (plus the left side-head offset) where it has none.
VOX_API int tf_check_temp_margins(void);
// The right indent as RMI and RSM, then the left and first-line indents as
// temporary-margin records, when they call for them.
VOX_API int tf_write_temp_margins(void);
}
