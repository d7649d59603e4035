// Text output inside a flow: the line-end rewrite (on the target and in the
// flow's buffer), preparing a line's first text, the language record, and
// the drawing placeholder.
#include "converter/routing.h"
#include "converter/text_output.h"
#include "test_support.h"

namespace vox::test {

constexpr unsigned kSNL = icf_code("SNL"), kHNL = icf_code("HNL"), kHCB = icf_code("HCB");

// Every test has a flow buffer, and writes to the target when no flow is on
// (under an OutputCapture).  The fixture's end drops any redirection.
class TextOutputTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp(), conv().buffers.text_flow_buff = bufopen(1024), conv().routing.output_to_int_file = 1;
    }
    // Records reach tf_frame_putc, which sends them to the flow's buffer;
    // off, they reach the target.
    static void route_to_flow_buffer(bool on = true) {
        RoutingState &r = conv().routing;
        if ((r.text_flow = r.redirect_mode = on)) RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
};

// Catches records restored out of order, a match sought past text,
// parameters kept on the new record, HNL 1 records kept (or deleted when
// an SNL is sought), eat_snl ignored or cleared without a match, and the
// closing HNL (and HCB) missing or written after a rewrite; on the target
// and in the flow's buffer.  Each row: what it is, the code sought, its
// replacement, eat_snl before, the records before, after, and eat_snl after.
TEST_F(TextOutputTest, LineEndRewrite) {
    struct { const char *name; unsigned from, to; int eat; const char *before, *after; int eat_after; } cases[] = {
        {"records after the SNL, HNL 1 among them", kSNL, kHNL, 0, "\"a\"\nSNL\nHNL 1\nXCS 819 96\nKWN\n",
         "\"a\"\nHNL\nHNL 1\nXCS 819 96\nKWN\n", 0},
        {"nothing to take back", kSNL, kHNL, 0, "", "HNL\n", 0},
        {"eat_snl drops the SNL", kSNL, kHNL, 1, "\"a\"\nSNL\nKWN\n", "\"a\"\nKWN\nHNL\n", 0},
        // Text ends the search: no match, so a plain HNL, and eat_snl stays.
        {"eat_snl, text first", kSNL, kHNL, 1, "SNL\n\"b\"\n", "SNL\n\"b\"\nHNL\n", 1},
        {"HNL 1 records deleted, HNL 2 rewritten", kHNL, kHCB, 0, "\"a\"\nHNL 2\nHNL 1\nHNL 1\n", "\"a\"\nHCB\n", 0},
        // No HNL to rewrite once the HNL 1 is gone: a plain HNL, then the cell end.
        {"HNL 1 deleted, then text", kHNL, kHCB, 0, "\"a\"\nHNL 1\n", "\"a\"\nHNL\nHCB\n", 0},
    };
    for (bool flow : {false, true}) for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + (flow ? ", flow buffer" : ", target"));
        OutputCapture capture;
        route_to_flow_buffer(flow), conv().paragraph_formats.eat_snl = c.eat;
        for (unsigned char byte : icf_bytes(c.before)) tf_frame_putc(byte);
        tf_replace_curr_para_end(c.from, c.to);
        EXPECT_EQ(visible(flow ? drain(conv().buffers.text_flow_buff) : capture.bytes()), visible(icf_bytes(c.after)));
        EXPECT_EQ(conv().paragraph_formats.eat_snl, c.eat_after);
    }
    EXPECT_EQ(kernel().buffers.totused, 2) << "only the input and the flow's buffer are left open";
}

// Inside a flow, where attribute records are written; the paragraph's own
// attributes are 1 (bold), its language 3 (the default).  Catches KWN with
// only one of its flags, SLG for the default language, the attribute memory not reset to the paragraph's
// bits when the current bits equal those last written (and only then), and
// the steps out of order.  Each row: the language, keep-with-next and its
// output flag, the current and last written attributes, the space before
// the paragraph, its own alignment (2: centred, as by a <PgfAlignment of
// the paragraph itself), the font size, the records
// written, and the attributes last written afterwards.
TEST_F(TextOutputTest, PrepareForTextOutput) {
    use_written_paragraph_font(), route_to_flow_buffer();
    Conversion &v = conv();
    struct { int lang, keep, kwn, attr, last, space, alig, size; const char *out; int last_after; } cases[] = {
        {3, 1, 1, 1, 1, 0, 0, 240, "KWN\n", 1}, {3, 1, 0, 1, 1, 0, 0, 240, "", 1}, {3, 0, 1, 1, 1, 0, 0, 240, "", 1},
        // Bold italic as last written: the memory goes back to bold, so
        // italic begins again.  Plain text in a bold paragraph, as last
        // written: bold ends again.
        {3, 0, 0, 9, 9, 0, 0, 240, "ITO\n", 9}, {3, 0, 0, 0, 0, 0, 0, 240, "EBT\n", 0},
        // Every step at once, in order: the paragraph data (240 twips
        // before: SBF with one line, and one blank line), the centring, the
        // font change from 12 to 24 points (pitch 10 to 5), the language,
        // keep-with-next, and bold italic after underline (bold begins,
        // underline ends, italic begins).
        {4, 1, 1, 9, 2, 240, 2, 480,
         "SBF 240 1\nHNL 1\nCTX 0 40 0\nSPF 10 1 5 1 480 Times\nSLG 2057\nKWN\nBBT\nEUL\nITO\n", 9},
    };
    for (const auto &c : cases) {
        v.paragraph_formats.first_string_seen = v.fonts.default_high_attrib = 1, v.fonts.curr_lang = c.lang;
        v.fonts.curr_font_size = c.size, v.layout.para_sp_before = c.space, v.layout.curr_high_act = c.attr;
        v.paragraph_formats.keep_with_next = c.keep, v.paragraph_formats.output_kwn = c.kwn;
        v.fonts.last_seen_attr = c.last, v.layout.current_alig = c.alig, v.tabs.alig_output = c.alig != 0;
        tf_prepare_4_text_output();
        EXPECT_EQ(visible(drain(v.buffers.text_flow_buff)), visible(icf_bytes(c.out)));
        // Afterwards: the attributes last written, text seen, the first
        // string and the alignment done, the width of a character.
        EXPECT_EQ((std::vector<int>{v.fonts.last_seen_attr, v.text_flows.chars_seen,
                                    v.paragraph_formats.first_string_seen, v.tabs.alig_output, v.strings.char_width}),
                  (std::vector<int>{c.last_after, 1, 0, 0, 2400 / c.size})) << c.out;
    }
}

// Catches a wrong identifier, -1 not mapped, and a parameter written for a
// code that names no language (-2, 13).
TEST_F(TextOutputTest, LanguageRecord) {
    OutputCapture capture;
    for (int lang = -2; lang <= 13; ++lang) conv().fonts.curr_lang = lang, output_lang_change();
    EXPECT_EQ(visible(capture.bytes()), visible(icf_bytes("SLG\nSLG 1024\nSLG 1046\nSLG 1030\nSLG 1043\nSLG 1033\n"
                                                          "SLG 2057\nSLG 1035\nSLG 1036\nSLG 1031\nSLG 1040\nSLG 1044\n"
                                                          "SLG 2070\nSLG 2058\nSLG 1053\nSLG\n")));
}

// A placeholder on the page, then one inside a frame.  Catches the records
// routed anywhere but the node's buffer, routing left on the node, a frame
// node put on the page, and nodes or their buffers not released.
TEST_F(TextOutputTest, DrawingPlaceholder) {
    bufclose(conv().buffers.preproceesed_bf), CountingAllocator::install();  // so that every block is counted
    route_to_flow_buffer(), tf_handle_page_token(), tf_output_ff_graph_icfs();
    conv().frames.in_frame = 1, tf_output_ff_graph_icfs();
    GraphicNode *on_page = conv().pages.curr_pg_ptr->page_pictures, *in_frame = conv().text_flows.frame_graph_list;
    ASSERT_TRUE(on_page && in_frame && !on_page->next && !in_frame->next);
    EXPECT_TRUE(conv().text_flows.curr_graph_node_ptr == in_frame && on_page->kind == kGraphicNative &&
                in_frame->kind == kGraphicNative && !conv().routing.native_gfx_output &&
                conv().text_flows.interal_graph_output && drain(conv().buffers.text_flow_buff).empty());
    for (GraphicNode *node : {on_page, in_frame})
        EXPECT_EQ(visible(drain(node->out_buffer)), visible(icf_bytes("PDS 626 0 0 0 0 0 0 0\nPCT 0\n")));
    tf_free_page_list(), tf_free_tf_list(), CountingAllocator::uninstall();
    EXPECT_EQ(CountingAllocator::outstanding(), 0);  // counted up to the release
}

}  // namespace vox::test
