// Text flows over a preprocessed text written by hand: storage at the split
// (ids, numbers, buffers, the hidden flow, stray lines, statements after
// the flows), the FLO records, the page-order choice, replay, the two
// stacks, and the start and end of a flow being converted.  Records reach
// tf_frame_putc (as under the driver's output redirection) and, with no
// other destination set, the body buffer.

#include <cstring>

#include "converter/routing.h"
#include "converter/text_flows.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox {
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

// The bytes of a rendering.
std::string bytes_of(const std::string &r) { std::string b, e; EXPECT_TRUE(icf::assemble(r, b, e)) << e; return b; }

class TextFlows : public test::ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        conv().buffers.int_tmp_buff = bufopen(512), conv().routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    void TearDown() override {
        RedirectOutputClose(), tf_free_tf_list(), tf_free_tf_state_list();
        conv().pages = PageState();  // the page-order test's pages live on its stack
        ConverterTest::TearDown();
    }
    static void store(const std::string &bytes) {
        feed(bytes);
        ASSERT_EQ(tf_store_all_text_flows(), 0);
        ASSERT_EQ(rest(), "") << "storage leaves no input";
    }
    static Ints flow_numbers() {
        Ints numbers;
        for (auto *f = conv().text_flows.start_tf_list; f; f = f->next) numbers.push_back(f->flow_num);
        return numbers;
    }
    static StoredTextFlow *flow(int number) {
        auto *f = conv().text_flows.start_tf_list;
        while (f && f->flow_num != number) f = f->next;
        return f;
    }
    // What reached the buffer since the last look, against a rendering.
    static void expect_in(const std::string &rendering, int buffer = conv().buffers.int_tmp_buff) {
        EXPECT_EQ(test::visible(drain(buffer)), test::visible(bytes_of(rendering)));
    }
    static void route(const std::string &rendering) { for (unsigned char c : bytes_of(rendering)) tf_frame_putc(c); }
    // Flow `number` from start to end; it routes a rendering and, as
    // entering its rectangles would, sets the page form to form, form + 1...
    static void flow(int number, const char *routed, bool text_seen, int form = 0) {
        conv().text_flows.curr_tf_num = number, tf_start_new_text_flow();
        route(routed);
        for (int i = 0; i < 6; ++i) conv().pages.*kPageForm[i] = form + i;
        conv().pages.others.text_seen = text_seen, tf_end_curr_text_flow();
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
// replay, bytes pushed back in reverse, a flow left in the list, the head
// not moved on, and the pushed-back text not read before what was waiting.
TEST_F(TextFlows, StoresEachTopLevelStatementAsANodeAndReplaysIt) {
    store(kFlowH + kFlowA + "\r=xyz\r" + kFlowB + kFlowT + kDocument);
    EXPECT_EQ(flow_numbers(), (Ints{2, 3, 4, 5}));
    const StoredTextFlow *hidden = conv().text_flows.hidden_tf_ptr;
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->flow_num == 1 && hidden->next == nullptr && hidden->prev == nullptr && hidden->id_count == 1 &&
                hidden->id_list->id == 9 && hidden->id_list->next == nullptr);
    EXPECT_TRUE(flow(2)->prev == nullptr && flow(5)->prev == flow(4));
    EXPECT_EQ(test::visible(drain(hidden->buffer)), test::visible(stored(kFlowH)));
    EXPECT_EQ(test::visible(drain(flow(4)->buffer)), test::visible(stored(kFlowT)));
    tf_output_flo();
    expect_in("FLO 2 2 5 6\nFLO 3 2 7 7\nFLO 4 0\nFLO 5 0\n");

    feed("XY");
    tf_unput_text_flow(flow(3));
    EXPECT_EQ(flow_numbers(), (Ints{2, 4, 5}));
    EXPECT_EQ(flow(4)->prev, flow(2));
    tf_unput_text_flow(flow(2));
    EXPECT_EQ(flow_numbers(), (Ints{4, 5}));
    EXPECT_EQ(flow(4)->prev, nullptr);
    EXPECT_EQ(test::visible(rest()), test::visible(stored(kFlowAStored) + "xyz" + stored(kFlowB) + "XY"));
    tf_free_tf_list();
    EXPECT_TRUE(conv().text_flows.start_tf_list == nullptr && conv().text_flows.hidden_tf_ptr == nullptr);
    tf_output_flo();
    expect_in("");
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
    reference.next = &master, master.next = &body1, body1.next = &body2;
    const std::string flows = kTF + kID + "5" + kEnd + kEnd + kTF + kID + "7" + kEnd + kEnd + kTF + kID + "8" + kEnd +
                              kID + "9" + kEnd + kEnd + kTF + kEnd;
    struct { int skip; Ints removed; int expected; } cases[] = {  // expected 0: none
        {1, {}, 2}, {0, {}, 3}, {1, {2}, 1}, {0, {3}, 1}, {1, {1, 2}, 0}, {0, {1, 2, 3}, 4}, {0, {1, 2, 3, 4}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("skip " + std::to_string(c.skip) + ", removed " + std::to_string(c.removed.size()));
        // Each case is a conversion of its own.
        conv().pages.start_page_list = &reference, conv().pages.flow_scan_page = nullptr, store(flows);
        for (int number : c.removed) tf_unput_text_flow(flow(number)), drain(conv().buffers.preproceesed_bf);
        conv().text_flows.skip_master_pg_tf = c.skip;
        const StoredTextFlow *next = tf_find_next_text_flow(0);
        EXPECT_EQ(next ? next->flow_num : 0, c.expected);
        tf_free_tf_list();
    }
}

// Every saved field, by value 100 + its position.
using LayoutField = int ParagraphLayoutState::*;
#define F(n) &ParagraphLayoutState::n
const std::vector<LayoutField> kSavedFields = {
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
    const std::pair<long, void (*)()> cases[] = {
        {1, [] { tf_push_tf_state(); }}, {1, [] { tf_store_all_text_flows(); }},
        {2, [] { tf_start_new_text_flow(); }},  // the state record is had, its buffer not
    };
    for (const auto &c : cases) {
        conv().buffers.preproceesed_bf = bufopen(512), feed(kDocument);
        test::CountingAllocator::install(c.first, true);
        EXPECT_EQ(test::exit_code_of(c.second), 8);
        EXPECT_EQ(test::CountingAllocator::allocated(), c.first - 1);
        test::CountingAllocator::uninstall();
    }
}

// Catches an off-by-one at the 100-entry limit, an empty pop that does not
// give -1 or an ETF that does not write it as 65535, an end without a
// start writing ETF or popping the paragraph state, and an empty pop of the
// state stack that changes the state.
TEST_F(TextFlows, FlowIdStackAndEndsWithoutAStart) {
    EXPECT_EQ(tf_txtflo_pop_token(), -1);
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(tf_txtflo_push_id(i), 0) << i;
    EXPECT_EQ(tf_txtflo_push_id(101), 1);
    for (int i = 100; i >= 1; --i) ASSERT_EQ(tf_txtflo_pop_token(), i);
    EXPECT_EQ(tf_txtflo_pop_token(), -1);

    fill_layout(100, "Body"), tf_push_tf_state(), fill_layout(200, "Note");
    tf_end_curr_text_flow();
    expect_layout(200, "Note");
    conv().routing.text_flow = conv().text_flows.text_flow_cnt = 1, conv().buffers.text_flow_buff = bufopen(1024);
    tf_end_curr_text_flow();
    expect_in("ETF 65535\n");
    tf_pop_tf_state();  // nothing left to pop: no change
    expect_layout(100, "Body");
}

// start_page_num 0x1234 gives SPN its high byte 18 and low byte 52.
// Catches SPN written twice (a flow after the first gets none) or with its
// bytes swapped, the bytes of a flow without text kept, ETF before the
// flushed text or the border record, a flow in an anchored frame reaching
// the body, the paragraph state not restored, the flow and footnote
// buffers left open; a flow without text keeping the page form it set, a
// starting copy other than 0, 0, 0, 0, 0, -1, and the copy taken from a
// flow without text.
TEST_F(TextFlows, OneFlowFromStartToEnd) {
    struct { int first, apo, pen; const char *routed; int text; const char *body, *frame; int form, kept; } cases[] = {
        {true, 0, 15, "TRI 5", false, "BTF 2\nSPN 0 0 18 52 4\nETF 2\n", "", 10, -1},
        {false, 0, 15, "\"Hi\"", true, "BTF 2\n\"Hi\"\nETF 2\n", "", 20, 20},
        {false, 0, 15, "TRI 5", false, "BTF 2\nETF 2\n", "", 30, 20},
        {true, 0, 15, "\"Hi\"", true, "BTF 2\nSPN 0 0 18 52 4\n\"Hi\"\nETF 2\n", "", 40, 40},
        {false, 0, 3, "\"Hi\"", true, "BTF 2\n\"Hi\"\nPBC 0000 0 00 00 00 00\nETF 2\n", "", 50, 50},
        {false, 1, 15, "\"Hi\"", true, "", "BTF 2\n\"Hi\"\nETF 2\n", 60, 60},
    };
    Conversion &v = conv();
    v.pages.start_page_num = 0x1234, v.pages.page_num_type = 4;
    v.buffers.apo_temp_buff = bufopen(512);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        if (c.first) v.text_flows.output_page_data = 0;
        v.pages.others.in_apo = c.apo, v.pages.last_paragraph_pen = c.pen, v.routing.output_apo_buff = 0;
        v.buffers.footnote_buffer_handle = bufopen(512), fill_layout(100, "Body");
        const int open_before = kernel().buffers.totused;
        flow(2, c.routed, c.text, c.form);
        expect_in(c.body);
        expect_in(c.frame, v.buffers.apo_temp_buff);
        expect_layout(100, "Body");
        EXPECT_EQ(Ints({v.routing.text_flow, v.text_flows.text_flow_cnt, v.pages.others.text_seen,
                        v.buffers.text_flow_buff, v.buffers.footnote_buffer_handle, kernel().buffers.totused}),
                  (Ints{0, 0, 0, -1, -1, open_before - 1}));
        Ints form, kept = {0, 0, 0, 0, 0, -1};  // the starting copy
        for (auto field : kPageForm) form.push_back(v.pages.*field);
        if (c.kept >= 0) kept = {c.kept, c.kept + 1, c.kept + 2, c.kept + 3, c.kept + 4, c.kept + 5};
        EXPECT_EQ(form, kept);
    }
}

// Catches a nested flow opening a buffer of its own (its BTF must land in
// the shared one), no diagnostic, the buffer closed or the flag cleared
// while the outer flow is open, flow numbers popped out of order; the
// paragraph state not saved or restored (or restored into a neighbouring
// field), the state stack popped from the bottom, and a reset at the start
// that clears the tag or misses a field.
TEST_F(TextFlows, NestedFlowSharesTheBufferAndStacksTheState) {
    Strings seen;
    vox42_set_diagnostic_listener([](const char *t, void *u) { static_cast<Strings *>(u)->push_back(t); }, &seen);
    fill_layout(100, "Outer");
    conv().text_flows.output_page_data = conv().text_flows.curr_tf_num = 1;
    tf_start_new_text_flow();
    for (std::size_t i = 0; i < kSavedFields.size(); ++i)  // old, new and default line spacing start at 40
        EXPECT_EQ(conv().layout.*kSavedFields[i], i >= 6 && i <= 8 ? 40 : 0) << "field " << i;
    EXPECT_EQ(conv().layout.curr_tab_idx, 0);
    EXPECT_STREQ(conv().layout.pgf_tag_name, "Outer");
    route("\"A\"");
    fill_layout(200, "Inner");
    flow(2, "\"B\"", true);
    vox42_set_diagnostic_listener(nullptr, nullptr);
    EXPECT_EQ(seen, Strings{"Start TextFlow: Already in a textflow."});
    EXPECT_EQ(conv().routing.text_flow + conv().text_flows.text_flow_cnt, 2);
    expect_layout(200, "Inner");
    expect_in("BTF 1\n\"A\"\nBTF 2\n\"B\"\n");
    route("\"C\""), conv().pages.others.text_seen = 1, tf_end_curr_text_flow();
    expect_in("ETF 2\n\"C\"\nETF 1\n");
    expect_layout(100, "Outer");
    EXPECT_EQ(conv().text_flows.textflow_state_list, nullptr);
}

}  // namespace
}  // namespace vox
