// Text flows: storage at the split, the FLO list, page-order choice and
// replay; the paragraph-state stack and the flow id stack.
#include "converter/text_flows.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/buffer_bytes.h"
#include "common/exit.h"
#include "common/file_access.h"
#include "common/kernel_state.h"
#include "common/memory.h"
#include "common/records.h"
#include "common/temp_buffers.h"
#include "common/temp_files.h"
#include "converter/conversion.h"
#include "converter/pages.h"
#include "converter/pending_handlers.h"
#include "converter/preprocess.h"
#include "converter/routing.h"
#include "converter/text_output.h"
#include "converter/token_reader.h"
#include "converter/value_readers.h"

using namespace vox;

namespace vox {

[[noreturn]] void conversion_fatal(int code) { tf_frame_exit(code); }

}  // namespace vox

namespace {

constexpr int kCarriageReturn = 13;
constexpr int kTokenTextRectID = 84;
constexpr int kTokenTFTag = 132;
constexpr int kAllocationFailure = 8;
constexpr int kTextFlowBufferBlock = 1024;  // block size of text_flow_buff

void put_text(const char *text, int buffer) {
    for (; *text; ++text) put_byte(static_cast<unsigned char>(*text), buffer);
}

void free_id_list(TfIdNode *node) {
    while (node) {
        TfIdNode *next = node->next;
        VOXfree(node);
        node = next;
    }
}

void free_flow(StoredTextFlow *flow) {
    if (flow->buffer >= 0) {
        bufclose(flow->buffer);
        --conv().text_flows.flows_in_buffers;
    }
    free_id_list(flow->id_list);
    VOXfree(flow);
}

// Appends a new node with its own buffer to the list.
StoredTextFlow *append_flow(TextFlowState &s, int flow_num) {
    auto *flow = static_cast<StoredTextFlow *>(VOXmalloc(sizeof(StoredTextFlow)));
    if (!flow) conversion_fatal(8);
    *flow = StoredTextFlow{nullptr, 0, flow_num, bufopen(kTfBufferBlock), nullptr, nullptr, -1, 0};
    if (flow->buffer < 0) {
        VOXfree(flow);
        conversion_fatal(8);
    }
    ++s.flows_in_buffers;
    if (!s.start_tf_list) {
        s.start_tf_list = flow;
    } else {
        s.last_tf->next = flow;
        flow->prev = s.last_tf;
    }
    s.last_tf = flow;
    return flow;
}

// Joins the neighbours of a flow; the next node becomes the head when the
// flow was the head.
void unlink_flow(TextFlowState &s, StoredTextFlow *flow) {
    if (flow->prev) flow->prev->next = flow->next;
    if (flow->next) flow->next->prev = flow->prev;
    if (s.start_tf_list == flow) s.start_tf_list = flow->next;
    if (s.last_tf == flow) s.last_tf = flow->prev;
    flow->next = flow->prev = nullptr;
}

// --- the flow archive ----------------------------------------------------------

constexpr int kArchiveChunk = 8192;

void open_flow_archive(TextFlowState &s) {
    if (gen_fnam(kernel().settings.icfname, s.archive_name) != 0) {
        s.archive_name[0] = '\0';
        conversion_fatal(8);
    }
    s.archive_fh = VOXopen(s.archive_name, 3, 3);
    if (s.archive_fh < 0) conversion_fatal(8);
}

// Moves a complete flow's text from its buffer to the end of the archive
// and closes the buffer.
void archive_flow(TextFlowState &s, StoredTextFlow *flow) {
    if (s.archive_fh < 0) open_flow_archive(s);
    if (VOXlseek(s.archive_fh, s.archive_size, SEEK_SET) != s.archive_size) conversion_fatal(17);
    flow->archive_offset = s.archive_size;
    unsigned char chunk[kArchiveChunk];
    for (int n = bufgets(flow->buffer, chunk, sizeof chunk); n > 0; n = bufgets(flow->buffer, chunk, sizeof chunk)) {
        if (VOXwrite(s.archive_fh, chunk, static_cast<unsigned>(n)) != n) conversion_fatal(4);
        s.archive_size += n;
    }
    flow->archive_length = s.archive_size - flow->archive_offset;
    bufclose(flow->buffer);
    flow->buffer = -1;
    --s.flows_in_buffers;
}

// Brings an archived flow's text back into a buffer of its own.
void restore_flow(TextFlowState &s, StoredTextFlow *flow) {
    flow->buffer = bufopen(kTfBufferBlock);
    if (flow->buffer < 0) conversion_fatal(8);
    ++s.flows_in_buffers;
    if (VOXlseek(s.archive_fh, flow->archive_offset, SEEK_SET) != flow->archive_offset) conversion_fatal(17);
    unsigned char chunk[kArchiveChunk];
    for (long left = flow->archive_length; left > 0;) {
        const int want = static_cast<int>(left < kArchiveChunk ? left : kArchiveChunk);
        if (VOXread(s.archive_fh, chunk, static_cast<unsigned>(want)) != want) conversion_fatal(2);
        bufputs(flow->buffer, chunk, want);
        left -= want;
    }
    flow->archive_offset = -1;
}

void remove_flow_archive(TextFlowState &s) {
    if (s.archive_fh >= 0) VOXclose(s.archive_fh);
    s.archive_fh = -1;
    if (s.archive_name[0] != '\0') VOXunlink(s.archive_name);
    s.archive_name[0] = '\0';
    s.archive_size = 0;
}

void append_id(StoredTextFlow *flow, int id) {
    auto *node = static_cast<TfIdNode *>(VOXmalloc(sizeof(TfIdNode)));
    if (!node) conversion_fatal(8);
    *node = TfIdNode{id, nullptr};
    TfIdNode **tail = &flow->id_list;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
}

// The rectangle number of a TextRectID: into the id list, and its digits
// into the buffer (the reader consumed them).
void store_text_rect_id(StoredTextFlow *flow, int &id_count) {
    int id = tf_read_next_int();
    append_id(flow, id);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", id);
    put_text(digits, flow->buffer);
    ++id_count;
}

// A node tagged "HIDDEN" leaves the list for hidden_tf_ptr; a flow hidden
// before it (a second tagged flow) is freed.
void hide_flow(TextFlowState &s, StoredTextFlow *flow) {
    unlink_flow(s, flow);
    if (s.hidden_tf_ptr && s.hidden_tf_ptr != flow) free_flow(s.hidden_tf_ptr);
    s.hidden_tf_ptr = flow;
}

// A line between flows that does not start a statement: the bytes after
// its first byte, up to the carriage return, go to the current flow.
void store_stray_line(StoredTextFlow *flow) {
    for (int c = preproc_getc(); c >= 0 && c != kCarriageReturn; c = preproc_getc())
        if (flow) put_byte(c, flow->buffer);
}

bool first_id_is(const StoredTextFlow *flow, int id) {
    return flow->id_list && flow->id_list->id == id;
}

StoredTextFlow *flow_starting_in(const TextFlowState &s, int rect_id) {
    for (StoredTextFlow *flow = s.start_tf_list; flow; flow = flow->next)
        if (first_id_is(flow, rect_id)) return flow;
    return nullptr;
}

bool page_skipped(const PageRecord *page, int skip_master_pg_tf) {
    return skip_master_pg_tf && (page->page_type == kMasterPage || page->page_type == kReferencePage ||
                                 page->page_type == kHiddenPage);
}

void save_layout(const ParagraphLayoutState &p, TfStateRecord &r) {
    r.current_alig = p.current_alig;
    r.default_alig = p.default_alig;
    r.brj_mode = p.brj_mode;
    r.curr_left_indent = p.curr_left_indent;
    r.curr_right_indent = p.curr_right_indent;
    r.curr_first_indent = p.curr_first_indent;
    r.old_line_space = p.old_line_space;
    r.new_line_space = p.new_line_space;
    r.default_line_space = p.default_line_space;
    r.def_para_sp_before = p.def_para_sp_before;
    r.def_para_sp_after = p.def_para_sp_after;
    r.para_sp_before = p.para_sp_before;
    r.para_sp_after = p.para_sp_after;
    r.can_rest_mar = p.can_rest_mar;
    r.fweight_set = p.fweight_set;
    r.fangle_set = p.fangle_set;
    r.curr_high_act = p.curr_high_act;
    r.tf_left_off = p.tf_left_off;
    r.tf_right_off = p.tf_right_off;
    r.pars_in_doc = p.pars_in_doc;
    std::memcpy(r.pgf_tag_name, p.pgf_tag_name, kPgfTagNameSize);
}

void restore_layout(const TfStateRecord &r, ParagraphLayoutState &p) {
    p.current_alig = r.current_alig;
    p.default_alig = r.default_alig;
    p.brj_mode = r.brj_mode;
    p.curr_left_indent = r.curr_left_indent;
    p.curr_right_indent = r.curr_right_indent;
    p.curr_first_indent = r.curr_first_indent;
    p.old_line_space = r.old_line_space;
    p.new_line_space = r.new_line_space;
    p.default_line_space = r.default_line_space;
    p.def_para_sp_before = r.def_para_sp_before;
    p.def_para_sp_after = r.def_para_sp_after;
    p.para_sp_before = r.para_sp_before;
    p.para_sp_after = r.para_sp_after;
    p.can_rest_mar = r.can_rest_mar;
    p.fweight_set = r.fweight_set;
    p.fangle_set = r.fangle_set;
    p.curr_high_act = r.curr_high_act;
    p.tf_left_off = r.tf_left_off;
    p.tf_right_off = r.tf_right_off;
    p.pars_in_doc = r.pars_in_doc;
    std::memcpy(p.pgf_tag_name, r.pgf_tag_name, kPgfTagNameSize);
}

// ---- start and end of a flow being converted ------------------------------

void write_btf_and_spn(Conversion &c) {
    TextFlowState &s = c.text_flows;
    beg_icf(icf_code("BTF"));
    dec_out(static_cast<std::uint32_t>(s.curr_tf_num));
    end_icf();
    tf_txtflo_push_id(s.curr_tf_num);  // beyond 100 nested flows the number is not kept
    if (s.output_page_data) return;
    const PageState &p = c.pages;
    beg_icf(icf_code("SPN"));
    dec_out(0);
    dec_out(0);
    dec_out(static_cast<std::uint32_t>((p.start_page_num >> 8) & 0xFF));
    dec_out(static_cast<std::uint32_t>(p.start_page_num & 0xFF));
    dec_out(static_cast<std::uint32_t>(p.page_num_type));
    end_icf();
    s.output_page_data = 1;
}

// A nested TextFlow shares the buffer the outer one opened.
void open_text_flow_buffer(Conversion &c) {
    if (c.routing.text_flow) {
        tf_frame_debug("Start TextFlow: Already in a textflow.");
        return;
    }
    c.routing.text_flow = 1;
    c.buffers.text_flow_buff = bufopen(kTextFlowBufferBlock);
    if (c.buffers.text_flow_buff < 0) conversion_fatal(kAllocationFailure);
}

void save_page_form(const PageState &p, SavedPageForm &saved) {
    saved.left_margin = p.last_seen_left_margin;
    saved.right_margin = p.last_seen_right_margin;
    saved.form_len = p.last_seen_form_len;
    saved.form_width = p.last_seen_form_width;
    saved.height = p.last_seen_height;
    saved.orient = p.last_seen_orient;
}

void restore_page_form(const SavedPageForm &saved, PageState &p) {
    p.last_seen_left_margin = saved.left_margin;
    p.last_seen_right_margin = saved.right_margin;
    p.last_seen_form_len = saved.form_len;
    p.last_seen_form_width = saved.form_width;
    p.last_seen_height = saved.height;
    p.last_seen_orient = saved.orient;
}

// A flow with text hands its buffered output on to whatever destination
// holds once the flow's own is switched off; the page-form values it wrote
// become the ones to come back to.  A flow without text leaves no trace:
// its bytes are dropped and the page-form records it may have counted as
// written are forgotten.
void flush_or_drop_flow_output(Conversion &c) {
    int buffer = c.buffers.text_flow_buff;
    if (c.frames.text_seen) {
        int text_flow = c.routing.text_flow;
        c.routing.text_flow = 0;
        unsigned char chunk[4096];
        for (int n = bufgets(buffer, chunk, sizeof chunk); n > 0; n = bufgets(buffer, chunk, sizeof chunk))
            frame_put_block(chunk, n);
        c.routing.text_flow = text_flow;
        save_page_form(c.pages, c.text_flows.saved_page_form);
    } else {
        restore_page_form(c.text_flows.saved_page_form, c.pages);
        c.layout.brj_mode = 0;
        while (get_byte(buffer) >= 0) {
        }
    }
}

void close_flow_buffers(ConversionBuffers &b) {
    bufclose(b.text_flow_buff);
    b.text_flow_buff = -1;
    if (b.footnote_buffer_handle >= 0) {
        bufclose(b.footnote_buffer_handle);
        b.footnote_buffer_handle = -1;
    }
}

}  // namespace

namespace vox {
namespace {

// True when the main pass's input holds nothing more: no byte left in the
// main input buffer, none pushed back, no footnote being replayed.  The
// main loop asks for the next flow exactly then.
bool main_input_exhausted() {
    const Conversion &c = conv();
    if (c.routing.preprocess || c.routing.in_footnote) return false;
    const int input = c.buffers.preproceesed_bf;
    if (input < 0 || BufNumStored(input) != 0) return false;
    const BufferHeader *h = kernel().buffers.bufptrs[input];
    return h != nullptr && !h->overflow_active;
}

// Pushing a flow's text back onto an exhausted input byte by byte leaves
// the input holding exactly the flow's text in stored order; taking the
// flow's buffer as the input reads the same bytes without copying them.
void adopt_as_main_input(StoredTextFlow *flow) {
    int &input = conv().buffers.preproceesed_bf;
    bufclose(input);
    input = flow->buffer;
    flow->buffer = -1;
    --conv().text_flows.flows_in_buffers;
}

}  // namespace
}  // namespace vox

extern "C" {

VOX_API int tf_store_all_text_flows(void) {
    TextFlowState &s = conv().text_flows;
    StoredTextFlow *current = nullptr;
    int depth = 0, flow_num = 1, id_count = 0;
    for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
        if (depth == 0) {
            if (c == kCarriageReturn) continue;
            if (c != '<') {
                store_stray_line(current);
                continue;
            }
            if (current) {
                current->id_count = id_count;
                // Complete now; a hidden flow keeps its buffer for the
                // conditional text that reads it.
                if (s.flows_in_buffers >= kFlowsKeptInBuffers && current != s.hidden_tf_ptr)
                    archive_flow(s, current);
            }
            current = append_flow(s, flow_num++);
            id_count = 0;
        }
        put_byte(c, current->buffer);
        if (c == '<') {
            ++depth;
            int token = tf_read_next_token_num(current->buffer);
            if (token == kTokenTextRectID) store_text_rect_id(current, id_count);
            else if (token == kTokenTFTag && tf_hidden_tf(current->buffer)) hide_flow(s, current);
        } else if (c == '>') {
            --depth;
        } else if (c == '`') {
            tf_buff_string(current->buffer);
        }
    }
    if (current) current->id_count = id_count;
    return 0;
}

// A byte after the blanks that opens no string is pushed back rather than
// kept: the caller still sees a '>' there, and stores it itself.
VOX_API int tf_hidden_tf(int buffer) {
    int c = preproc_getc();
    while (c == ' ' || c == '\t') {
        put_byte(c, buffer);
        c = preproc_getc();
    }
    if (c != '`') {
        if (c >= 0) preproc_unget(c);
        return 0;
    }
    put_byte(c, buffer);
    char tag[kHiddenTagLimit + 1];
    int length = 0;
    for (c = preproc_getc(); c >= 0; c = preproc_getc()) {
        put_byte(c, buffer);
        if (c == '\'') break;
        if (length < kHiddenTagLimit) tag[length++] = static_cast<char>(c);
    }
    tag[length] = '\0';
    return std::strcmp(tag, "HIDDEN") == 0 ? 1 : 0;
}

VOX_API int tf_output_flo(void) {
    for (StoredTextFlow *flow = conv().text_flows.start_tf_list; flow; flow = flow->next) {
        beg_icf(icf_code("FLO"));
        dec_out(static_cast<std::uint32_t>(flow->flow_num));
        dec_out(static_cast<std::uint32_t>(flow->id_count));
        for (TfIdNode *id = flow->id_list; id; id = id->next) dec_out(static_cast<std::uint32_t>(id->id));
        end_icf();
    }
    return 0;
}

// The walk resumes at pages.flow_scan_page: stored flows are only ever
// taken out of the list and pages only appended, so a page that held no
// rectangle beginning a stored flow never holds one later.  The page where
// the walk stopped (or the last page) is looked at again next time, as
// its rectangles or its type may still change while it is the page being
// read.
VOX_API StoredTextFlow *tf_find_next_text_flow(int /*unused*/) {
    Conversion &c = conv();
    const TextFlowState &s = c.text_flows;
    PageState &pages = c.pages;
    PageRecord *page = pages.flow_scan_page != nullptr ? pages.flow_scan_page : pages.start_page_list;
    for (; page; page = page->next) {
        pages.flow_scan_page = page;
        if (page_skipped(page, s.skip_master_pg_tf)) continue;
        for (TextRectRecord *rect = page->text_rects; rect; rect = rect->next)
            if (StoredTextFlow *flow = flow_starting_in(s, rect->id)) return flow;
    }
    return s.skip_master_pg_tf ? nullptr : s.start_tf_list;
}

VOX_API int tf_unput_text_flow(StoredTextFlow *flow) {
    TextFlowState &s = conv().text_flows;
    unlink_flow(s, flow);
    if (flow->buffer < 0 && flow->archive_offset >= 0) restore_flow(s, flow);
    if (main_input_exhausted()) {
        adopt_as_main_input(flow);
    } else {
        for (int c = bufunput(flow->buffer); c >= 0; c = bufunput(flow->buffer)) preproc_unget(c);
    }
    free_flow(flow);
    return 0;
}

VOX_API void tf_free_tf_list(void) {
    TextFlowState &s = conv().text_flows;
    while (StoredTextFlow *flow = s.start_tf_list) {
        s.start_tf_list = flow->next;
        free_flow(flow);
    }
    if (s.hidden_tf_ptr) free_flow(s.hidden_tf_ptr);
    s.hidden_tf_ptr = nullptr;
    s.last_tf = nullptr;
    s.flows_in_buffers = 0;
    remove_flow_archive(s);
    free_frame_graph_list();
}

VOX_API int tf_push_tf_state(void) {
    Conversion &c = conv();
    auto *record = static_cast<TfStateRecord *>(VOXmalloc(sizeof(TfStateRecord)));
    if (!record) conversion_fatal(8);
    save_layout(c.layout, *record);
    record->next = nullptr;
    TfStateRecord **tail = &c.text_flows.textflow_state_list;
    while (*tail) tail = &(*tail)->next;
    *tail = record;
    return 0;
}

VOX_API int tf_pop_tf_state(void) {
    Conversion &c = conv();
    TfStateRecord **top = &c.text_flows.textflow_state_list;
    if (!*top) return 0;
    while ((*top)->next) top = &(*top)->next;
    restore_layout(**top, c.layout);
    VOXfree(*top);
    *top = nullptr;
    return 0;
}

// Everything but pgf_tag_name back to its starting value.
VOX_API int tf_reset_tf_state(void) {
    ParagraphLayoutState &p = conv().layout;
    char tag[kPgfTagNameSize];
    std::memcpy(tag, p.pgf_tag_name, kPgfTagNameSize);
    p = ParagraphLayoutState();
    std::memcpy(p.pgf_tag_name, tag, kPgfTagNameSize);
    return 0;
}

VOX_API void tf_free_tf_state_list(void) {
    TextFlowState &s = conv().text_flows;
    while (TfStateRecord *record = s.textflow_state_list) {
        s.textflow_state_list = record->next;
        VOXfree(record);
    }
}

VOX_API int tf_txtflo_push_id(int number) {
    TextFlowState &s = conv().text_flows;
    if (s.tf_push_idx >= kFlowIdStackSize) return 1;
    s.tf_stack[s.tf_push_idx++] = number;
    return 0;
}

VOX_API int tf_txtflo_pop_token(void) {
    TextFlowState &s = conv().text_flows;
    if (s.tf_push_idx <= 0) return -1;
    return s.tf_stack[--s.tf_push_idx];
}

VOX_API int tf_start_new_text_flow(void) {
    Conversion &c = conv();
    tf_push_tf_state();
    tf_reset_tf_state();
    if (c.frames.in_apo) c.routing.output_apo_buff = 1;
    write_btf_and_spn(c);
    ++c.text_flows.text_flow_cnt;
    open_text_flow_buffer(c);
    return 0;
}

VOX_API int tf_end_curr_text_flow(void) {
    Conversion &c = conv();
    TextFlowState &s = c.text_flows;
    if (!c.routing.text_flow && !s.text_flow_cnt) return 0;
    if (--s.text_flow_cnt == 0) c.routing.text_flow = 0;
    flush_or_drop_flow_output(c);
    ParagraphLayoutState &l = c.layout;
    l.curr_first_indent = l.curr_right_indent = l.curr_left_indent = l.curr_high_act = 0;
    if (s.text_flow_cnt == 0) close_flow_buffers(c.buffers);
    c.frames.text_seen = 0;
    c.tabs.tmp_tab_tbl = 0;
    tf_handle_para_borders(kNoBorderPen);
    beg_icf(icf_code("ETF"));
    dec_out(static_cast<std::uint32_t>(tf_txtflo_pop_token()));  // -1 (empty) comes out as 65535
    end_icf();
    tf_output_apf();
    tf_pop_tf_state();
    return 0;
}

VOX_API int tf_from_cp_buff_to_buff(int from, int to) {
    for (int c = get_byte(from); c >= 0; c = get_byte(from)) put_byte(c, to);
    return 0;
}
}
