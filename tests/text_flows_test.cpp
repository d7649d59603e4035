// Text flows over a preprocessed text written by hand: storage at the split
// (ids, numbers, buffers, the hidden flow, stray lines, statements after
// the flows), the FLO records, the page-order choice, replay, the two
// stacks, and the start and end of a flow being converted.  Records reach
// tf_frame_putc (as under the driver's output redirection) and, with no
// other destination set, the body buffer.

#include <cstring>

#include "converter/routing.h"
#include "converter/text_flows.h"
#include "test_support.h"

namespace vox::test {
namespace {

using Ints = std::vector<int>;
using Strings = std::vector<std::string>;
// Statement starts in preprocessed form ('<', the token number, 254) of
// TextFlow, TextRectID, String, TFTag and Document; the end of a statement.
const std::string kTF = "<86\xFE", kID = "<84\xFE", kStr = "<60\xFE", kTag = "<132\xFE", kDoc = "<99\xFE", kEnd = ">\r";
// Flow A: rectangles 5 (written "05": stored as its decimal digits) and 6,
// and a string holding a '>' that must not end the statement.
const std::string kFlowA = kTF + kID + "05" + kEnd + kID + "6" + kEnd + kStr + "`a>b'" + kEnd + kEnd;
const std::string kFlowAStored = kTF + kID + "5" + kEnd + kID + "6" + kEnd + kStr + "`a>b'" + kEnd + kEnd;
// Flow B: rectangle 7 twice, and a tag that is not "HIDDEN" (case counts).
const std::string kFlowB = kTF + kID + "7" + kEnd + kTag + "`Hidden'" + kEnd + kID + "7" + kEnd + kEnd;
// The hidden flow: blanks before its tag are kept in its buffer.
const std::string kFlowH = kTF + kTag + " \t`HIDDEN'" + kEnd + kID + "9" + kEnd + kEnd;
// A flow whose TFTag has no string, and a top-level statement after the flows.
const std::string kFlowT = kTF + kTag + kEnd + kEnd, kDocument = kDoc + kEnd;
// What a node stores of a top-level statement: the carriage return after
// its closing '>' is read at depth 0 and skipped.
std::string stored(const std::string &statement) { return statement.substr(0, statement.size() - 1); }

// The page form a flow sets as entering its rectangles would.
constexpr int PageState::*kPageForm[] = {
    &PageState::last_seen_left_margin, &PageState::last_seen_right_margin, &PageState::last_seen_form_len,
    &PageState::last_seen_form_width,  &PageState::last_seen_height,       &PageState::last_seen_orient};

// The fixture's end releases the flow lists, the state stack and their
// buffers with the rest of the kernel.
class TextFlows : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp(), conv().buffers.int_tmp_buff = bufopen(512), conv().routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    static void store(const std::string &bytes) {
        feed(bytes);
        ASSERT_EQ(tf_store_all_text_flows(), 0);
        ASSERT_EQ(rest(), "") << "storage leaves no input";
    }
    // The numbers of the listed flows, head first; -1 for a node whose back
    // link is not the node before it.
    static Ints flow_numbers() {
        Ints numbers;
        for (const StoredTextFlow *f = conv().text_flows.start_tf_list, *before = nullptr; f; before = f, f = f->next)
            numbers.push_back(f->prev == before ? f->flow_num : -1);
        return numbers;
    }
    static StoredTextFlow *flow(int number) {
        for (auto *f = conv().text_flows.start_tf_list; f; f = f->next) if (f->flow_num == number) return f;
        return nullptr;
    }
    // What reached the buffer since the last look, against a rendering.
    static void expect_in(const std::string &rendering, int buffer = conv().buffers.int_tmp_buff) {
        EXPECT_EQ(visible(drain(buffer)), visible(icf_bytes(rendering)));
    }
    static void route(const std::string &rendering) { for (unsigned char c : icf_bytes(rendering)) tf_frame_putc(c); }
    // Flow `number` from start to end; it routes a rendering and, as
    // entering its rectangles would, sets the page form to form, form + 1...
    static void flow(int number, const char *routed, bool text_seen, int form = 0) {
        conv().text_flows.curr_tf_num = number, tf_start_new_text_flow();
        route(routed);
        for (int i = 0; i < 6; ++i) conv().pages.*kPageForm[i] = form + i;
        conv().frames.text_seen = text_seen, tf_end_curr_text_flow();
    }
};

// Catches flows cut at a '>' inside a string, ids not listed or listed
// without repetitions, a hidden flow still listed, renumbering the ones
// after it or (as the head) leaving a dangling list, a TFTag without a
// string swallowing its '>' (the next flow would then be folded into this
// one), a stray line's first byte or CR kept, a statement after the flows
// folded into the last flow, id digits copied as written rather than as
// the number read; a FLO for the hidden flow, parameters out of order, a
// flow without ids left out, or anything written for an empty list; in
// replay, bytes pushed back in reverse, a flow left in the list or its
// neighbours not linked past it, the head not moved on, and the
// pushed-back text not read before what was waiting.
TEST_F(TextFlows, StoresEachTopLevelStatementAsANodeAndReplaysIt) {
    store(kFlowH + kFlowA + "\r=xyz\r" + kFlowB + kFlowT + kDocument);
    EXPECT_EQ(flow_numbers(), (Ints{2, 3, 4, 5}));
    const StoredTextFlow *hidden = conv().text_flows.hidden_tf_ptr;
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->flow_num == 1 && hidden->next == nullptr && hidden->prev == nullptr && hidden->id_count == 1 &&
                hidden->id_list->id == 9 && hidden->id_list->next == nullptr);
    EXPECT_EQ(visible(drain(hidden->buffer)), visible(stored(kFlowH)));
    EXPECT_EQ(visible(drain(flow(4)->buffer)), visible(stored(kFlowT)));
    tf_output_flo(), expect_in("FLO 2 2 5 6\nFLO 3 2 7 7\nFLO 4 0\nFLO 5 0\n");

    feed("XY");
    tf_unput_text_flow(flow(3));
    EXPECT_EQ(flow_numbers(), (Ints{2, 4, 5}));
    tf_unput_text_flow(flow(2));
    EXPECT_EQ(flow_numbers(), (Ints{4, 5}));
    EXPECT_EQ(visible(rest()), visible(stored(kFlowAStored) + "xyz" + stored(kFlowB) + "XY"));
    tf_free_tf_list();
    EXPECT_TRUE(conv().text_flows.start_tf_list == nullptr && conv().text_flows.hidden_tf_ptr == nullptr);
    tf_output_flo(), expect_in("");
}

// Pages in order: a reference page (rectangle 8), a master page (5), a body
// page (9 then 7), a body page (5).  Flows: A starts in 5, B in 7, C in 8
// (then 9, which must not count), D has no rectangle.
//
// Catches master or reference pages walked when they are to be skipped, a
// flow matched by a later id than its first, rectangles walked out of
// order, and the fallback to the list head taken when skipping.
TEST_F(TextFlows, NextFlowFollowsPageOrder) {
    TextRectRecord r8{8}, r5a{5}, r9{9}, r7{7}, r5b{5};
    PageRecord reference, master, body1, body2;
    r9.next = &r7, reference.page_type = kReferencePage, master.page_type = kMasterPage;
    reference.text_rects = &r8, master.text_rects = &r5a, body1.text_rects = &r9, body2.text_rects = &r5b;
    reference.next = &master, master.next = &body1, body1.next = &body2, conv().pages.start_page_list = &reference;
    const std::string flows = kTF + kID + "5" + kEnd + kEnd + kTF + kID + "7" + kEnd + kEnd + kTF + kID + "8" + kEnd +
                              kID + "9" + kEnd + kEnd + kTF + kEnd;
    struct { int skip; Ints removed; int expected; } cases[] = {  // expected 0: none
        {1, {}, 2}, {0, {}, 3}, {1, {2}, 1}, {0, {3}, 1}, {1, {1, 2}, 0}, {0, {1, 2, 3}, 4}, {0, {1, 2, 3, 4}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("skip " + std::to_string(c.skip) + ", removed " + std::to_string(c.removed.size()));
        // Each case is a conversion of its own.
        tf_free_tf_list(), conv().pages.flow_scan_page = nullptr, store(flows);
        for (int number : c.removed) tf_unput_text_flow(flow(number)), drain(conv().buffers.preproceesed_bf);
        conv().text_flows.skip_master_pg_tf = c.skip;
        EXPECT_EQ(tf_find_next_text_flow(0), flow(c.expected));  // there is no flow 0
    }
}

// Every saved field, by value 100 + its position.
#define F(n) &ParagraphLayoutState::n
const std::vector<int ParagraphLayoutState::*> kSavedFields = {
    F(current_alig), F(default_alig), F(brj_mode), F(curr_left_indent), F(curr_right_indent), F(curr_first_indent),
    F(old_line_space), F(new_line_space), F(default_line_space), F(def_para_sp_before), F(def_para_sp_after),
    F(para_sp_before), F(para_sp_after), F(can_rest_mar), F(fweight_set), F(fangle_set), F(curr_high_act),
    F(tf_left_off), F(tf_right_off), F(pars_in_doc)};
#undef F

void fill_layout(int base, const char *tag) {
    for (std::size_t i = 0; i < kSavedFields.size(); ++i) conv().layout.*kSavedFields[i] = base + int(i);
    conv().layout.curr_tab_idx = base, std::strcpy(conv().layout.pgf_tag_name, tag);
}

void expect_layout(int base, const char *tag) {
    for (std::size_t i = 0; i < kSavedFields.size(); ++i) EXPECT_EQ(conv().layout.*kSavedFields[i], base + int(i)) << i;
    EXPECT_STREQ(conv().layout.pgf_tag_name, tag);
}

// Catches a state record, flow node or flow buffer allocated outside the
// tracked allocator's failure path: each must end the run with code 8.
// The run's end closes the input, so each case opens it afresh.
TEST_F(TextFlows, AllocationFailureEndsWithCodeEight) {
    // The request that fails: a flow's start has its state record, not its buffer.
    const std::pair<long, int (*)()> cases[] = {
        {1, tf_push_tf_state}, {1, tf_store_all_text_flows}, {2, tf_start_new_text_flow}};
    for (const auto &c : cases) {
        conv().buffers.preproceesed_bf = bufopen(512), feed(kDocument);
        CountingAllocator::install(c.first, true);
        EXPECT_EQ(exit_code_of(c.second), 8);
        EXPECT_EQ(CountingAllocator::allocated(), c.first - 1);
        CountingAllocator::uninstall();
    }
}

// Catches an off-by-one at the 100-entry limit, an empty pop that does not
// give -1 or an ETF that does not write it as 65535, an end without a
// start writing ETF or popping the paragraph state, and an empty pop of the
// state stack that changes the state.
TEST_F(TextFlows, FlowIdStackAndEndsWithoutAStart) {
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(tf_txtflo_push_id(i), 0) << i;
    EXPECT_EQ(tf_txtflo_push_id(101), 1);
    for (int i = 100; i >= 1; --i) ASSERT_EQ(tf_txtflo_pop_token(), i);
    EXPECT_EQ(tf_txtflo_pop_token(), -1);

    fill_layout(100, "Body"), tf_push_tf_state(), fill_layout(200, "Note");
    tf_end_curr_text_flow(), expect_layout(200, "Note");
    conv().routing.text_flow = conv().text_flows.text_flow_cnt = 1, conv().buffers.text_flow_buff = bufopen(1024);
    tf_end_curr_text_flow(), expect_in("ETF 65535\n");
    tf_pop_tf_state(), expect_layout(100, "Body");  // nothing left to pop: no change
}

// start_page_num 0x1234 gives SPN its high byte 18 and low byte 52.
// Catches SPN written twice (a flow after the first gets none) or with its
// bytes swapped, the bytes of a flow without text kept, ETF before the
// flushed text or the border record, a flow in an anchored frame reaching
// the body, the paragraph state not restored, the flow and footnote
// buffers left open; a flow without text keeping the page form it set, a
// starting copy other than 0, 0, 0, 0, 0, -1, and the copy taken from a
// flow without text.  (SPN before the first flow's text is the
// whole-document tests'.)
TEST_F(TextFlows, OneFlowFromStartToEnd) {
    struct { int apo, pen; const char *routed; int text; const char *body, *frame; int form, kept; } cases[] = {
        {0, 15, "TRI 5", false, "BTF 2\nSPN 0 0 18 52 4\nETF 2\n", "", 10, -1},  // the first flow
        {0, 15, "\"Hi\"", true, "BTF 2\n\"Hi\"\nETF 2\n", "", 20, 20},
        {0, 15, "TRI 5", false, "BTF 2\nETF 2\n", "", 30, 20},
        {0, 3, "\"Hi\"", true, "BTF 2\n\"Hi\"\nPBC 0000 0 00 00 00 00\nETF 2\n", "", 50, 50},
        {1, 15, "\"Hi\"", true, "", "BTF 2\n\"Hi\"\nETF 2\n", 60, 60},
    };
    Conversion &v = conv();
    v.pages.start_page_num = 0x1234, v.pages.page_num_type = 4;
    v.buffers.apo_temp_buff = bufopen(512);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        v.frames.in_apo = c.apo, v.pages.last_paragraph_pen = c.pen, v.routing.output_apo_buff = 0;
        v.buffers.footnote_buffer_handle = bufopen(512), fill_layout(100, "Body");
        const int open_before = kernel().buffers.totused;
        flow(2, c.routed, c.text, c.form);
        expect_in(c.body), expect_in(c.frame, v.buffers.apo_temp_buff), expect_layout(100, "Body");
        // Routing, count, flags and buffers, then the copy of the page form
        // (the starting copy is 0, 0, 0, 0, 0, -1).
        Ints got = {v.routing.text_flow, v.text_flows.text_flow_cnt, v.frames.text_seen, v.buffers.text_flow_buff,
                    v.buffers.footnote_buffer_handle, kernel().buffers.totused};
        Ints want = {0, 0, 0, -1, -1, open_before - 1};
        for (int i = 0; i < 6; ++i)
            got.push_back(v.pages.*kPageForm[i]), want.push_back(c.kept < 0 ? -(i == 5) : c.kept + i);
        EXPECT_EQ(got, want);
    }
}

// Catches a nested flow opening a buffer of its own (its BTF must land in
// the shared one), no diagnostic, the buffer closed or the flag cleared
// while the outer flow is open, flow numbers popped out of order; the
// paragraph state not saved or restored (or restored into a neighbouring
// field), the state stack popped from the bottom, and a reset at the start
// that clears the tag or misses a field.
TEST_F(TextFlows, NestedFlowSharesTheBufferAndStacksTheState) {
    Diagnostics diagnostics;
    fill_layout(100, "Outer"), conv().text_flows.output_page_data = conv().text_flows.curr_tf_num = 1;
    tf_start_new_text_flow();
    for (std::size_t i = 0; i < kSavedFields.size(); ++i)  // old, new and default line spacing start at 40
        EXPECT_EQ(conv().layout.*kSavedFields[i], i >= 6 && i <= 8 ? 40 : 0) << "field " << i;
    EXPECT_EQ(conv().layout.curr_tab_idx, 0);
    EXPECT_STREQ(conv().layout.pgf_tag_name, "Outer");
    route("\"A\""), fill_layout(200, "Inner"), flow(2, "\"B\"", true);
    EXPECT_EQ(diagnostics.seen, Strings{"Start TextFlow: Already in a textflow."});
    EXPECT_EQ(conv().routing.text_flow + conv().text_flows.text_flow_cnt, 2);
    expect_layout(200, "Inner"), expect_in("BTF 1\n\"A\"\nBTF 2\n\"B\"\n");
    route("\"C\""), conv().frames.text_seen = 1, tf_end_curr_text_flow();
    expect_in("ETF 2\n\"C\"\nETF 1\n"), expect_layout(100, "Outer");
    EXPECT_EQ(conv().text_flows.textflow_state_list, nullptr);
}

}  // namespace
}  // namespace vox::test
