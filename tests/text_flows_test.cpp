// Text flows over a preprocessed text written by hand: storage at the split
// (ids, numbers, buffers, the hidden flow, stray lines, statements after
// the flows), the FLO records, the page-order choice, replay, the two
// stacks, and the start and end of a flow being converted.
#include <cstring>
#include <string>
#include <vector>

#include "common/kernel_state.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/pages.h"
#include "converter/routing.h"
#include "converter/text_flows.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox {
namespace {

const std::string kEnd = "\xFE";  // the end marker of a token number

// A statement start in preprocessed form: '<', the token number, 254.
std::string start(int token) { return "<" + std::to_string(token) + kEnd; }
const std::string kClose = ">\r";

// Flow A: rectangles 5 (written "05": stored as its decimal digits) and 6,
// and a string holding a '>' that must not end the statement.
const std::string kFlowA = start(86) + start(84) + "05" + kClose + start(84) + "6" + kClose + start(60) +
                           "`a>b'" + kClose + kClose;
const std::string kFlowAStored = start(86) + start(84) + "5" + kClose + start(84) + "6" + kClose +
                                 start(60) + "`a>b'" + kClose + kClose;
// Flow B: rectangle 7 twice, and a tag that is not "HIDDEN" (case counts).
const std::string kFlowB =
    start(86) + start(84) + "7" + kClose + start(132) + "`Hidden'" + kClose + start(84) + "7" + kClose + kClose;
// The hidden flow: blanks before its tag are kept in its buffer.
const std::string kFlowH = start(86) + start(132) + " \t`HIDDEN'" + kClose + start(84) + "9" + kClose + kClose;
// A top-level statement after the flows.
const std::string kDocument = start(99) + kClose;

// What a node stores of a top-level statement: the carriage return after
// its closing '>' is read at depth 0 and skipped.
std::string stored(const std::string &statement) { return statement.substr(0, statement.size() - 1); }

class TextFlows : public test::ConverterTest {
  protected:
    void TearDown() override {
        tf_free_tf_list();
        tf_free_tf_state_list();
        conv().pages = PageState();
        ConverterTest::TearDown();
    }
    static void store(const std::string &bytes) {
        feed(bytes);
        ASSERT_EQ(tf_store_all_text_flows(), 0);
        ASSERT_EQ(drain(conv().buffers.preproceesed_bf), "") << "storage leaves no input";
    }
    static std::vector<int> flow_numbers() {
        std::vector<int> numbers;
        for (auto *f = conv().text_flows.start_tf_list; f; f = f->next) numbers.push_back(f->flow_num);
        return numbers;
    }
    static StoredTextFlow *flow(int number) {
        for (auto *f = conv().text_flows.start_tf_list; f; f = f->next)
            if (f->flow_num == number) return f;
        return nullptr;
    }
    static std::vector<int> ids(const StoredTextFlow *f) {
        std::vector<int> list;
        for (auto *n = f->id_list; n; n = n->next) list.push_back(n->id);
        return list;
    }
    static std::string flo_records() {
        test::OutputCapture out;
        tf_output_flo();
        return out.bytes();
    }
    static std::string assembled(const std::string &rendering) {
        std::string bytes, error;
        EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
        return bytes;
    }
};

// Catches flows cut at a '>' inside a string, ids not listed or listed
// without repetitions, a hidden flow still listed or renumbering the ones
// after it, a stray line's first byte or CR kept, a statement after the
// flows folded into the last flow, and id digits copied as written rather
// than as the number read; a FLO for the hidden flow, parameters out of
// order, or a flow without ids left out.
TEST_F(TextFlows, StoresEachTopLevelStatementAsANode) {
    store(kFlowA + "\r=xyz\r" + kFlowB + kFlowH + kDocument);
    EXPECT_EQ(flow_numbers(), (std::vector<int>{1, 2, 4}));
    ASSERT_NE(conv().text_flows.hidden_tf_ptr, nullptr);
    const StoredTextFlow *hidden = conv().text_flows.hidden_tf_ptr;
    EXPECT_EQ(hidden->flow_num, 3);
    EXPECT_TRUE(hidden->next == nullptr && hidden->prev == nullptr);
    EXPECT_EQ(flow(4)->prev, flow(2));

    struct Expect {
        const StoredTextFlow *flow;
        std::vector<int> ids;
        std::string text;
    };
    const std::vector<Expect> expected = {
        {flow(1), {5, 6}, stored(kFlowAStored) + "xyz"},
        {flow(2), {7, 7}, stored(kFlowB)},
        {hidden, {9}, stored(kFlowH)},
        {flow(4), {}, stored(kDocument)},
    };
    for (const auto &e : expected) {
        SCOPED_TRACE("flow " + std::to_string(e.flow->flow_num));
        EXPECT_EQ(ids(e.flow), e.ids);
        EXPECT_EQ(e.flow->id_count, static_cast<int>(e.ids.size()));
        EXPECT_EQ(test::visible(drain(e.flow->buffer)), test::visible(e.text));
    }
    EXPECT_EQ(test::visible(flo_records()), test::visible(assembled("FLO 1 2 5 6\nFLO 2 2 7 7\nFLO 4 0\n")));
}

// Catches the hidden head leaving a dangling list, a TFTag without a string
// swallowing its '>' (the next flow would then be folded into this one),
// and nothing written for an empty list.
TEST_F(TextFlows, HiddenHeadAndTagsWithoutStrings) {
    struct Case {
        const char *what;
        std::string input, flo;
        bool hidden;
    };
    const std::vector<Case> cases = {
        {"hidden flow first", kFlowH + start(86) + start(84) + "1" + kClose + kClose, "FLO 2 1 1\n", true},
        {"tag without a string", start(86) + start(132) + kClose + kClose + start(86) + kClose,
         "FLO 1 0\nFLO 2 0\n", false},
        {"only a hidden flow", kFlowH, "", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        store(c.input);
        EXPECT_EQ(conv().text_flows.hidden_tf_ptr != nullptr, c.hidden);
        EXPECT_EQ(test::visible(flo_records()), test::visible(assembled(c.flo)));
        tf_free_tf_list();
        EXPECT_EQ(conv().text_flows.start_tf_list, nullptr);
        EXPECT_EQ(conv().text_flows.hidden_tf_ptr, nullptr);
    }
}

// Pages in order: a reference page (rectangle 8), a master page (5), a body
// page (9 then 7), a body page (5).  Flows: A starts in 5, B in 7, C in 8
// (then 9, which must not count), D has no rectangle.
//
// Catches master, reference or hidden pages walked when they are to be
// skipped, a flow matched by a later id than its first, rectangles walked
// out of order, and the fallback to the list head taken when skipping.
TEST_F(TextFlows, NextFlowFollowsPageOrder) {
    TextRectRecord r8{8}, r5a{5}, r9{9}, r7{7}, r5b{5};
    r9.next = &r7;
    PageRecord reference, master, body1, body2;
    reference.page_type = kReferencePage;
    reference.text_rects = &r8;
    master.page_type = kMasterPage;
    master.text_rects = &r5a;
    body1.text_rects = &r9;
    body2.text_rects = &r5b;
    reference.next = &master;
    master.next = &body1;
    body1.next = &body2;

    const std::string flows = start(86) + start(84) + "5" + kClose + kClose +              // 1
                              start(86) + start(84) + "7" + kClose + kClose +              // 2
                              start(86) + start(84) + "8" + kClose + start(84) + "9" + kClose + kClose +  // 3
                              start(86) + kClose;                                          // 4
    struct Case {
        int skip;
        std::vector<int> removed;
        int expected;  // 0: none
    };
    const std::vector<Case> cases = {
        {1, {}, 2},         {0, {}, 3},       {1, {2}, 1},          {0, {3}, 1},
        {1, {1, 2}, 0},     {0, {1, 2, 3}, 4}, {0, {1, 2, 3, 4}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("skip " + std::to_string(c.skip) + ", removed " + std::to_string(c.removed.size()));
        conv().pages.start_page_list = &reference;
        conv().pages.flow_scan_page = nullptr;  // each case is a conversion of its own
        store(flows);
        for (int number : c.removed) {
            tf_unput_text_flow(flow(number));
            drain(conv().buffers.preproceesed_bf);
        }
        conv().text_flows.skip_master_pg_tf = c.skip;
        const StoredTextFlow *next = tf_find_next_text_flow(0);
        EXPECT_EQ(next ? next->flow_num : 0, c.expected);
        tf_free_tf_list();
    }
}

// Catches bytes pushed back in reverse, a flow left in the list, the head
// not moved on, and the pushed-back text not read before what was waiting.
TEST_F(TextFlows, ReplayPushesTheTextBackInStoredOrder) {
    store(kFlowA + kFlowB + kDocument);
    feed("XY");
    tf_unput_text_flow(flow(2));
    EXPECT_EQ(flow_numbers(), (std::vector<int>{1, 3}));
    EXPECT_EQ(flow(3)->prev, flow(1));
    tf_unput_text_flow(flow(1));
    EXPECT_EQ(flow_numbers(), (std::vector<int>{3}));
    EXPECT_EQ(flow(3)->prev, nullptr);
    EXPECT_EQ(test::visible(drain(conv().buffers.preproceesed_bf)),
              test::visible(stored(kFlowAStored) + stored(kFlowB) + "XY"));
}

// Every saved field, by value 100 + its position.
using LayoutField = int ParagraphLayoutState::*;
#define F(n) &ParagraphLayoutState::n
const std::vector<LayoutField> kSavedFields = {
    F(current_alig), F(default_alig), F(brj_mode), F(curr_left_indent), F(curr_right_indent),
    F(curr_first_indent), F(old_line_space), F(new_line_space), F(default_line_space), F(def_para_sp_before),
    F(def_para_sp_after), F(para_sp_before), F(para_sp_after), F(can_rest_mar), F(fweight_set),
    F(fangle_set), F(curr_high_act), F(tf_left_off), F(tf_right_off), F(pars_in_doc),
};
#undef F

void fill_layout(int base, const char *tag) {
    ParagraphLayoutState &p = conv().layout;
    for (std::size_t i = 0; i < kSavedFields.size(); ++i) p.*kSavedFields[i] = base + static_cast<int>(i);
    p.curr_tab_idx = base;
    std::strcpy(p.pgf_tag_name, tag);
}

void expect_layout(int base, const char *tag) {
    const ParagraphLayoutState &p = conv().layout;
    for (std::size_t i = 0; i < kSavedFields.size(); ++i)
        EXPECT_EQ(p.*kSavedFields[i], base + static_cast<int>(i)) << "field " << i;
    EXPECT_STREQ(p.pgf_tag_name, tag);
}

// Catches a field not saved or restored (or restored into its neighbour),
// the stack popped from the bottom, a reset that clears the tag or misses
// a field, and an empty pop that changes the state.
TEST_F(TextFlows, StateStackSavesResetsAndRestores) {
    fill_layout(100, "Heading");
    ASSERT_EQ(tf_push_tf_state(), 0);
    tf_reset_tf_state();
    const ParagraphLayoutState &p = conv().layout;
    for (std::size_t i = 0; i < kSavedFields.size(); ++i) {
        const bool line_spacing = i >= 6 && i <= 8;  // old, new and default line spacing
        EXPECT_EQ(p.*kSavedFields[i], line_spacing ? 40 : 0) << "field " << i;
    }
    EXPECT_EQ(p.curr_tab_idx, 0);
    EXPECT_STREQ(p.pgf_tag_name, "Heading");

    fill_layout(200, "Body");
    ASSERT_EQ(tf_push_tf_state(), 0);
    fill_layout(300, "Note");
    tf_pop_tf_state();
    expect_layout(200, "Body");
    tf_pop_tf_state();
    expect_layout(100, "Heading");
    EXPECT_EQ(conv().text_flows.textflow_state_list, nullptr);
    fill_layout(400, "Last");
    tf_pop_tf_state();
    expect_layout(400, "Last");
}

// Catches a state record, flow node or flow buffer allocated outside the
// tracked allocator's failure path: each must end the run with code 8.
// The run's end closes the input, so each case opens it afresh.
TEST_F(TextFlows, AllocationFailureEndsWithCodeEight) {
    const std::pair<long, void (*)()> cases[] = {
        {1, [] { tf_push_tf_state(); }}, {1, [] { tf_store_all_text_flows(); }},
        {2, [] { tf_start_new_text_flow(); }},  // the state record is had, its buffer not
    };
    test::OutputCapture capture;
    for (const auto &c : cases) {
        conv().buffers.preproceesed_bf = bufopen(512);
        feed(kDocument);
        test::CountingAllocator::install(c.first, true);
        EXPECT_EQ(test::exit_code_of(c.second), 8);
        EXPECT_EQ(test::CountingAllocator::allocated(), c.first - 1);
        test::CountingAllocator::uninstall();
    }
}

// Catches an off-by-one at the 100-entry limit, and an empty pop that does
// not give -1 (which ETF writes as 65535).
TEST_F(TextFlows, FlowIdStackHoldsOneHundredNumbers) {
    EXPECT_EQ(tf_txtflo_pop_token(), -1);
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(tf_txtflo_push_id(i), 0) << i;
    EXPECT_EQ(tf_txtflo_push_id(101), 1);
    for (int i = 100; i >= 1; --i) ASSERT_EQ(tf_txtflo_pop_token(), i);
    EXPECT_EQ(tf_txtflo_pop_token(), -1);
}

// ---- converting a flow: BTF, SPN, the flow's buffer, ETF -------------------

// Records reach tf_frame_putc (as under the driver's output redirection)
// and, with no other destination set, the body buffer.
class FlowBrackets : public TextFlows {
  protected:
    void SetUp() override {
        TextFlows::SetUp();
        conv().buffers.int_tmp_buff = bufopen(512);
        conv().routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    void TearDown() override {
        RedirectOutputClose();
        TextFlows::TearDown();
    }
    static void route(const std::string &rendering) {
        for (unsigned char c : assembled(rendering)) tf_frame_putc(c);
    }
    // What reached the buffer since the last look, against a rendering.
    static void expect_in(int buffer, const std::string &rendering) {
        EXPECT_EQ(test::visible(drain(buffer)), test::visible(assembled(rendering)));
    }
    static void flow(int number, const char *routed, bool text_seen) {
        conv().text_flows.curr_tf_num = number;
        tf_start_new_text_flow();
        route(routed);
        conv().pages.others.text_seen = text_seen;
        tf_end_curr_text_flow();
    }
};

// start_page_num 0x1234 gives SPN its high byte 18 and low byte 52.
// Catches SPN written twice or with its bytes swapped, the bytes of a flow
// without text kept, ETF before the flushed text or the border record, a
// flow in an anchored frame reaching the body, the paragraph state not
// restored, and the flow and footnote buffers left open.
TEST_F(FlowBrackets, OneFlowFromStartToEnd) {
    struct { int page_data, in_apo, pen; const char *routed; bool text; const char *body, *frame; } cases[] = {
        {0, 0, 15, "\"Hi\"", true, "BTF 2\nSPN 0 0 18 52 4\n\"Hi\"\nETF 2\n", ""},
        {1, 0, 15, "\"Hi\"", true, "BTF 2\n\"Hi\"\nETF 2\n", ""},
        {1, 0, 15, "TRI 5", false, "BTF 2\nETF 2\n", ""},
        {0, 0, 15, "TRI 5", false, "BTF 2\nSPN 0 0 18 52 4\nETF 2\n", ""},
        {1, 0, 3, "\"Hi\"", true, "BTF 2\n\"Hi\"\nPBC 0000 0 00 00 00 00\nETF 2\n", ""},
        {1, 1, 15, "\"Hi\"", true, "", "BTF 2\n\"Hi\"\nETF 2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        Conversion &v = conv();
        v.text_flows.output_page_data = c.page_data;
        v.pages.start_page_num = 0x1234;
        v.pages.page_num_type = 4;
        v.pages.others.in_apo = c.in_apo;
        v.pages.last_paragraph_pen = c.pen;
        v.routing.output_apo_buff = 0;
        v.buffers.apo_temp_buff = bufopen(512);
        v.buffers.footnote_buffer_handle = bufopen(512);
        fill_layout(100, "Body");
        const int open_before = kernel().buffers.totused;
        flow(2, c.routed, c.text);
        expect_in(v.buffers.int_tmp_buff, c.body);
        expect_in(v.buffers.apo_temp_buff, c.frame);
        expect_layout(100, "Body");
        EXPECT_EQ(v.routing.text_flow + v.text_flows.text_flow_cnt + v.pages.others.text_seen, 0);
        EXPECT_EQ(v.buffers.text_flow_buff + v.buffers.footnote_buffer_handle, -2);
        EXPECT_EQ(kernel().buffers.totused, open_before - 1) << "flow and footnote buffers closed";
        bufclose(v.buffers.apo_temp_buff);
    }
}

// Each flow sets the page form as entering its rectangles would.  Catches
// a flow without text keeping those values, a starting copy other than
// 0, 0, 0, 0, 0, -1, and the copy taken from a flow without text.
TEST_F(FlowBrackets, FlowWithoutTextRestoresThePageForm) {
    PageState &p = conv().pages;
    int *const form[] = {&p.last_seen_left_margin, &p.last_seen_right_margin, &p.last_seen_form_len,
                         &p.last_seen_form_width,  &p.last_seen_height,       &p.last_seen_orient};
    const std::vector<int> zero = {0, 0, 0, 0, 0, -1}, a = {1440, 10800, 15840, 12240, 12960, 0},
                           b = {2880, 9360, 20160, 12240, 17280, 1};
    const struct { bool text; std::vector<int> set, after; } steps[] = {
        {false, a, zero}, {true, a, a}, {false, b, a}, {true, b, b}};
    for (const auto &s : steps) {
        conv().text_flows.curr_tf_num = 1;
        tf_start_new_text_flow();
        for (int i = 0; i < 6; ++i) *form[i] = s.set[static_cast<std::size_t>(i)];
        conv().pages.others.text_seen = s.text;
        tf_end_curr_text_flow();
        for (int i = 0; i < 6; ++i) EXPECT_EQ(*form[i], s.after[static_cast<std::size_t>(i)]) << i;
    }
}

// Catches a nested flow opening a buffer of its own (its BTF must land in
// the shared one), no diagnostic, the buffer closed or the flag cleared
// while the outer flow is open, and flow numbers popped out of order.
TEST_F(FlowBrackets, NestedFlowSharesTheBuffer) {
    std::vector<std::string> seen;
    vox42_set_diagnostic_listener(
        [](const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); },
        &seen);
    conv().text_flows.output_page_data = 1;
    conv().text_flows.curr_tf_num = 1;
    tf_start_new_text_flow();
    route("\"A\"");
    flow(2, "\"B\"", true);
    vox42_set_diagnostic_listener(nullptr, nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"Start TextFlow: Already in a textflow."});
    EXPECT_EQ(conv().routing.text_flow + conv().text_flows.text_flow_cnt, 2);
    expect_in(conv().buffers.int_tmp_buff, "BTF 1\n\"A\"\nBTF 2\n\"B\"\n");
    route("\"C\"");
    conv().pages.others.text_seen = 1;
    tf_end_curr_text_flow();
    expect_in(conv().buffers.int_tmp_buff, "ETF 2\n\"C\"\nETF 1\n");
}

// Catches an end without a start writing ETF or popping the paragraph
// state, and an empty flow id stack not written as 65535.
TEST_F(FlowBrackets, EndWithoutStartAndEmptyIdStack) {
    fill_layout(100, "Body");
    tf_push_tf_state();
    fill_layout(200, "Note");
    tf_end_curr_text_flow();
    expect_layout(200, "Note");
    conv().routing.text_flow = conv().text_flows.text_flow_cnt = 1;
    conv().buffers.text_flow_buff = bufopen(1024);
    tf_end_curr_text_flow();
    expect_in(conv().buffers.int_tmp_buff, "ETF 65535\n");
    expect_layout(100, "Body");
}

}  // namespace
}  // namespace vox
