// Text flows: storing them aside when the preprocessed text is split,
// listing them at the head of the intermediate code (FLO), choosing them in
// page order and pushing them back onto the input one by one; the stack of
// paragraph states saved around flows, catalogs, frames, tables and
// footnotes; the stack of the numbers of the flows being converted; and
// the start and end of a flow being converted (BTF, SPN once, the flow's
// buffer shared by nested flows, its flush into the next destination, ETF).
//
// A stored flow holds its preprocessed text from its '<' on, in a temporary
// buffer of its own, and the rectangle numbers named by its TextRectID
// statements.  Flows are numbered 1, 2, ... in source order; a flow tagged
// "HIDDEN" keeps its number but is taken out of the list (hidden_tf_ptr),
// so the numbers the FLO records carry may have a gap.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int kFlowIdStackSize = 100;
constexpr int kPgfTagNameSize = 124;  // a paragraph tag and its terminator
constexpr int kTfBufferBlock = 512;   // block size of a stored flow's buffer
constexpr int kHiddenTagLimit = 500;  // bytes of a TFTag string compared

// The paragraph layout values saved and restored around text flows and
// nested objects.  The paragraph, tab and font modules read and set them;
// they are kept together because the text-flow state stack saves and
// restores them as one.  The initial values are those tf_reset_tf_state
// gives.
struct ParagraphLayoutState {
    int current_alig = 0;
    int default_alig = 0;
    int brj_mode = 0;
    int curr_left_indent = 0;
    int curr_right_indent = 0;
    int curr_first_indent = 0;
    int old_line_space = 40;
    int new_line_space = 40;
    int default_line_space = 40;
    int def_para_sp_before = 0;
    int def_para_sp_after = 0;
    int para_sp_before = 0;
    int para_sp_after = 0;
    int can_rest_mar = 0;
    int fweight_set = 0;
    int fangle_set = 0;
    int curr_high_act = 0;
    int tf_left_off = 0;
    int tf_right_off = 0;
    int pars_in_doc = 0;
    int curr_tab_idx = 0;  // reset with the others, but not saved
    char pgf_tag_name[kPgfTagNameSize] = {};
};

// One saved paragraph state: a node of textflow_state_list, whose last
// node is the top of the stack.
struct TfStateRecord {
    int current_alig, default_alig, brj_mode;
    int curr_left_indent, curr_right_indent, curr_first_indent;
    int old_line_space, new_line_space, default_line_space;
    int def_para_sp_before, def_para_sp_after, para_sp_before, para_sp_after;
    int can_rest_mar, fweight_set, fangle_set, curr_high_act;
    int tf_left_off, tf_right_off, pars_in_doc;
    char pgf_tag_name[kPgfTagNameSize];
    TfStateRecord *next;
};

// A rectangle number of a stored flow's id list.
struct TfIdNode {
    int id;
    TfIdNode *next;
};

// A stored text flow: a node of start_tf_list.
struct StoredTextFlow {
    TfIdNode *id_list;     // TextRectID numbers in order, repetitions included
    int id_count;          // entries of id_list
    int flow_num;          // 1 for the first stored node, then counting up
    int buffer;            // temporary buffer holding the flow's text, -1 when archived
    StoredTextFlow *next;
    StoredTextFlow *prev;
    long archive_offset;   // where its text lies in the flow archive, when archived
    long archive_length;
};

// Stored flows beyond this many have their text moved to the flow archive
// (one temporary file) when complete, so that a document of any number of
// flows keeps within the table of temporary buffers.
constexpr int kFlowsKeptInBuffers = 256;

// The page-form values (PageState) as the last flow with text left them;
// a flow without text puts them back.
struct SavedPageForm {
    int left_margin = 0;   // last_seen_left_margin
    int right_margin = 0;  // last_seen_right_margin
    int form_len = 0;      // last_seen_form_len
    int form_width = 0;    // last_seen_form_width
    int height = 0;        // last_seen_height
    int orient = -1;       // last_seen_orient
};

struct PagePicture;  // the graphic node, text_output.h

struct TextFlowState {
    StoredTextFlow *start_tf_list = nullptr;  // in source order
    StoredTextFlow *last_tf = nullptr;        // the list's tail
    int flows_in_buffers = 0;                 // stored flows holding a buffer
    // The flow archive: a temporary file next to the target, made when the
    // first flow is archived.
    int archive_fh = -1;
    long archive_size = 0;
    char archive_name[272] = {};
    StoredTextFlow *hidden_tf_ptr = nullptr;  // the flow tagged "HIDDEN"
    TfStateRecord *textflow_state_list = nullptr;
    int tf_stack[kFlowIdStackSize] = {};
    int tf_push_idx = 0;
    int curr_tf_num = 0;         // number of the flow being replayed
    // 1: flows found only on master, reference or hidden pages are not
    // converted.  The driver sets it from the version level.
    int skip_master_pg_tf = 1;
    int text_flow_cnt = 0;       // open TextFlow statements (nested ones share the buffer)
    int output_page_data = 0;    // SPN has been written
    SavedPageForm saved_page_form;
    int chars_seen = 0;          // text output has been prepared
    int interal_graph_output = 0;  // graphics-output flag
    // Insets: the newest graphic node.  Moves to the insets module's state
    // when that lands.
    PagePicture *curr_graph_node_ptr = nullptr;
    // Drawing placeholders started inside a frame.  They belong on the
    // frame's picture list; until the frames module builds frame records
    // they are kept here so that the end of the run frees them.
    PagePicture *frame_graph_list = nullptr;
};

// Ends the run on a fatal condition of the document conversion through
// tf_frame_exit, which releases the conversion's buffers, lists and list
// files first.
[[noreturn]] void conversion_fatal(int code);

}  // namespace vox

extern "C" {
// Stores every text flow from the current input position (the '<' of the
// first TextFlow) to the end of input.  Returns 0; a buffer or allocation
// failure ends the run with code 8.
VOX_API int tf_store_all_text_flows(void);
// Checks the tag of a TFTag statement whose token number has just been
// read: 1 when it is the string "HIDDEN", else 0.  The bytes read are
// appended to the temporary buffer `buffer` unchanged.
VOX_API int tf_hidden_tf(int buffer);
// Writes one FLO record per stored flow, in list order: flow number, id
// count, the rectangle numbers.  Returns 0.
VOX_API int tf_output_flo(void);
// The next flow to replay in page order, or null.  `unused` is always 0.
VOX_API vox::StoredTextFlow *tf_find_next_text_flow(int unused);
// Unlinks the flow, pushes its text back onto the input so that it is read
// next in stored order, and frees it.  Returns 0.
VOX_API int tf_unput_text_flow(vox::StoredTextFlow *flow);
// Frees every stored flow and the hidden flow (buffers closed), and the
// drawing placeholders kept for frames (frame_graph_list).
VOX_API void tf_free_tf_list(void);
// The paragraph-state stack.  Push ends the run with code 8 when memory
// runs out; pop on an empty stack changes nothing.
VOX_API int tf_push_tf_state(void);
VOX_API int tf_pop_tf_state(void);
VOX_API int tf_reset_tf_state(void);
VOX_API void tf_free_tf_state_list(void);
// The flow id stack: push gives 0, or 1 when the 100 entries are in use;
// pop gives the top number, or -1 when empty.
VOX_API int tf_txtflo_push_id(int number);
VOX_API int tf_txtflo_pop_token(void);
// The start and end actions of TextFlow: BTF / SPN (once) and the flow's
// buffer; flushing the buffer and ETF.  Return 0.
VOX_API int tf_start_new_text_flow(void);
VOX_API int tf_end_curr_text_flow(void);
// Brings the output up to date before the first text of a line.
VOX_API int tf_prepare_4_text_output(void);
// Rewrites the last line-end record `old_code` of the current destination
// into `new_code` (packed record codes).
VOX_API int tf_replace_curr_para_end(unsigned old_code, unsigned new_code);
// The language record SLG for curr_lang.
VOX_API int output_lang_change(void);
// Starts the placeholder record of a drawing object of a page or frame.
VOX_API int tf_output_ff_graph_icfs(void);
// Appends every remaining byte of temporary buffer `from` to `to`.
// Returns 0.
VOX_API int tf_from_cp_buff_to_buff(int from, int to);
}
