// Text output inside a flow: the line-end rewrite (on the target and in the
// flow's buffer), preparing a line's first text, the language record, and
// the drawing placeholder.
#include <string>

#include "common/kernel_state.h"
#include "common/records.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/routing.h"
#include "converter/text_flows.h"
#include "converter/text_output.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

constexpr unsigned kSNL = icf_code("SNL"), kHNL = icf_code("HNL"), kHCB = icf_code("HCB");

std::string icf(const std::string &rendering) {
    std::string bytes, error;
    EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
    return bytes;
}

void route(const std::string &bytes) {
    for (unsigned char c : bytes) tf_frame_putc(c);
}

class TextOutputTest : public ConverterTest {
  protected:
    void TearDown() override {
        RedirectOutputClose();
        ConverterTest::TearDown();
    }
    // Records reach tf_frame_putc, which sends them to the flow's buffer.
    static void route_to_flow_buffer() {
        conv().buffers.text_flow_buff = bufopen(1024);
        conv().routing.text_flow = conv().routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    static std::string close_flow_buffer() {
        std::string out = drain(conv().buffers.text_flow_buff);
        bufclose(conv().buffers.text_flow_buff);
        conv().routing.text_flow = conv().routing.redirect_mode = 0;
        RedirectOutputClose();
        return out;
    }
};

// Catches records restored out of order, a match sought past text,
// parameters kept on the new record, HNL 1 records kept (or deleted when
// an SNL is sought), eat_snl ignored or cleared without a match, and the
// closing HNL (and HCB) missing or written after a rewrite; on the target
// and in the flow's buffer.
TEST_F(TextOutputTest, LineEndRewrite) {
    struct { const char *name; unsigned from, to; int eat; const char *before, *after; int eat_after; } cases[] = {
        {"SNL after text", kSNL, kHNL, 0, "\"abc\"\nSNL\n", "\"abc\"\nHNL\n", 0},
        {"records after it", kSNL, kHNL, 0, "\"a\"\nSNL\nXCS 819 96\nKWN\n", "\"a\"\nHNL\nXCS 819 96\nKWN\n", 0},
        {"HNL 1 is no SNL", kSNL, kHNL, 0, "\"a\"\nSNL\nHNL 1\n", "\"a\"\nHNL\nHNL 1\n", 0},
        {"text after the SNL", kSNL, kHNL, 0, "SNL\n\"xy\"\n", "SNL\n\"xy\"\nHNL\n", 0},
        {"nothing to take back", kSNL, kHNL, 0, "", "HNL\n", 0},
        {"no SNL among records", kSNL, kHNL, 0, "KWN\nHNL\n", "KWN\nHNL\nHNL\n", 0},
        {"eat_snl drops the SNL", kSNL, kHNL, 1, "\"a\"\nSNL\nKWN\n", "\"a\"\nKWN\nHNL\n", 0},
        {"eat_snl, text first", kSNL, kHNL, 1, "SNL\n\"b\"\n", "SNL\n\"b\"\nHNL\n", 1},
        {"HNL becomes HCB", kHNL, kHCB, 0, "\"a\"\nHNL\n", "\"a\"\nHCB\n", 0},
        {"HNL 1 records deleted", kHNL, kHCB, 0, "\"a\"\nHNL\nHNL 1\nHNL 1\n", "\"a\"\nHCB\n", 0},
        {"HNL 2 rewritten", kHNL, kHCB, 0, "\"a\"\nHNL 2\n", "\"a\"\nHCB\n", 0},
        // No HNL to rewrite: a plain HNL, then the cell end.
        {"cell without HNL", kHNL, kHCB, 0, "\"a\"\n", "\"a\"\nHNL\nHCB\n", 0},
        {"HNL 1 deleted, then text", kHNL, kHCB, 0, "\"a\"\nHNL 1\n", "\"a\"\nHNL\nHCB\n", 0},
    };
    for (bool in_flow : {false, true}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (in_flow ? ", flow buffer" : ", target"));
            OutputCapture capture;
            conv().routing.output_to_int_file = 1;
            if (in_flow) route_to_flow_buffer();
            conv().strings.others.eat_snl = c.eat;
            route(icf(c.before));
            tf_replace_curr_para_end(c.from, c.to);
            EXPECT_EQ(visible(in_flow ? close_flow_buffer() : capture.bytes()), visible(icf(c.after)));
            EXPECT_EQ(conv().strings.others.eat_snl, c.eat_after);
        }
    }
    EXPECT_EQ(kernel().buffers.totused, 1) << "only the input is left open";
}

// Inside a flow, where attribute records are written.  Catches KWN with
// only one of its flags, SLG for the default language, SLG after KWN, the
// attribute memory not reset to the paragraph's bits when the current bits
// equal those last written (and only then), and the steps out of order.
TEST_F(TextOutputTest, PrepareForTextOutput) {
    use_written_paragraph_font();
    struct { int lang, keep, kwn, attr, last; const char *out; int last_after; } cases[] = {
        // The paragraph's own attributes are 1 (bold).
        {3, 0, 0, 1, 1, "", 1}, {3, 1, 1, 1, 1, "KWN\n", 1}, {3, 1, 0, 1, 1, "", 1}, {3, 0, 1, 1, 1, "", 1},
        {4, 1, 1, 1, 1, "SLG 2057\nKWN\n", 1},
        // Bold italic as last written: the memory goes back to bold, so
        // italic begins again.
        {3, 0, 0, 9, 9, "ITO\n", 9},
        // Plain text in a bold paragraph, as last written: bold ends again.
        {3, 0, 0, 0, 0, "EBT\n", 0},
        // Bold italic after underline: bold begins, underline ends, italic
        // begins, in that order.
        {3, 0, 0, 9, 2, "BBT\nEUL\nITO\n", 9},
    };
    int number = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(++number);
        Conversion &v = conv();
        v.strings.others.first_string_seen = 1;
        v.fonts.curr_lang = c.lang;
        v.paragraph_formats.keep_with_next = c.keep;
        v.paragraph_formats.output_kwn = c.kwn;
        v.layout.curr_high_act = c.attr;
        v.fonts.last_seen_attr = c.last;
        v.fonts.default_high_attrib = 1;
        route_to_flow_buffer();
        tf_prepare_4_text_output();
        EXPECT_EQ(visible(close_flow_buffer()), visible(icf(c.out)));
        EXPECT_EQ(v.fonts.last_seen_attr, c.last_after);
        EXPECT_EQ(v.text_flows.chars_seen, 1);
        EXPECT_EQ(v.strings.others.first_string_seen, 0);
    }

    // Every step at once, in order: the paragraph data (240 twips before
    // the paragraph: SBF with one line, and one blank line), the
    // paragraph's own centring, the font change from 12 to 24 points
    // (pitch 10 to 5), the language, keep-with-next, the attributes.
    Conversion &v = conv();
    v.strings.others.first_string_seen = 1;
    v.layout.para_sp_before = 240;
    v.layout.current_alig = 2;
    v.tabs.alig_output = 1;  // a <PgfAlignment of the paragraph itself
    v.fonts.curr_font_size = 480;
    v.fonts.curr_lang = 4;
    v.paragraph_formats.keep_with_next = v.paragraph_formats.output_kwn = 1;
    v.layout.curr_high_act = 9;
    v.fonts.last_seen_attr = 2;
    route_to_flow_buffer();
    tf_prepare_4_text_output();
    EXPECT_EQ(visible(close_flow_buffer()), visible(icf("SBF 240 1\nHNL 1\nCTX 0 40 0\nSPF 10 1 5 1 480 Times\n"
                                                        "SLG 2057\nKWN\nBBT\nEUL\nITO\n")));
    EXPECT_EQ(v.strings.char_width, 5);
    EXPECT_EQ(v.tabs.alig_output, 0);
}

// Catches a wrong identifier, -1 not mapped, and a parameter written for a
// code that names no language.
TEST_F(TextOutputTest, LanguageRecord) {
    const std::pair<int, const char *> cases[] = {
        {-1, "SLG 1024\n"}, {0, "SLG 1046\n"},  {1, "SLG 1030\n"},  {2, "SLG 1043\n"},  {3, "SLG 1033\n"},
        {4, "SLG 2057\n"},  {5, "SLG 1035\n"},  {6, "SLG 1036\n"},  {7, "SLG 1031\n"},  {8, "SLG 1040\n"},
        {9, "SLG 1044\n"},  {10, "SLG 2070\n"}, {11, "SLG 2058\n"}, {12, "SLG 1053\n"}, {13, "SLG\n"}, {-2, "SLG\n"},
    };
    conv().routing.output_to_int_file = 1;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        conv().fonts.curr_lang = c.first;
        OutputCapture capture;
        output_lang_change();
        EXPECT_EQ(visible(capture.bytes()), visible(icf(c.second)));
    }
}

// A placeholder on the page, then one inside a frame.  Catches the records
// routed anywhere but the node's buffer, routing left on the node, a frame
// node put on the page, and nodes or their buffers not released.
TEST_F(TextOutputTest, DrawingPlaceholder) {
    bufclose(conv().buffers.preproceesed_bf);  // so that every block is counted
    CountingAllocator::install();
    route_to_flow_buffer();
    tf_handle_page_token();
    tf_output_ff_graph_icfs();
    conv().pages.others.in_frame = 1;
    tf_output_ff_graph_icfs();
    GraphicNode *on_page = conv().pages.curr_pg_ptr->page_pictures, *in_frame = conv().text_flows.frame_graph_list;
    ASSERT_TRUE(on_page && in_frame && !on_page->next && !in_frame->next);
    EXPECT_EQ(conv().text_flows.curr_graph_node_ptr, in_frame);
    EXPECT_EQ(conv().routing.native_gfx_output, 0);
    EXPECT_EQ(conv().pages.others.interal_graph_output, 1);
    for (GraphicNode *node : {on_page, in_frame}) {
        EXPECT_EQ(node->kind, kGraphicNative);
        EXPECT_EQ(visible(drain(node->out_buffer)), visible(icf("PDS 626 0 0 0 0 0 0 0\nPCT 0\n")));
    }
    EXPECT_EQ(close_flow_buffer(), "");
    tf_free_page_list();
    tf_free_tf_list();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    CountingAllocator::uninstall();
}

}  // namespace
}  // namespace vox::test
