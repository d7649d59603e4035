// Paragraph formats and the paragraph catalog: style definitions and the
// catalog file, applying formats in the text (style-on group, paragraph
// data, style-off group at the paragraph end), space and line-spacing
// records, and the catalog file's failures.  Input is preprocessed text run
// through the main loop; output is routed into the body or flow buffer as
// in a run.  Expected records of the tab, font and colour modules follow
// their rules too (version 3 colours, so colour 0 is BCL 0 0 0 0), and are
// written as their rendering: a record a line, a group's records between
// "SYT ... {" and "}".  The whole documents (road-of-one-paragraph,
// space-before-after, leading-and-line-spacing, indents, alignment,
// catalog-default-and-missing-tag, colour-separations-v3) pin the style
// groups of the usual formats applied paragraph after paragraph: the
// collapsed spacing and the HNL 1 owed, KWN, RSP and LNH, indent stops and
// temporary margins, "Body" for an untagged paragraph, local styles; the
// cases here are the catalog file, the state left behind, and the edges.
#include <cstring>

#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/dispatch.h"
#include "converter/paragraphs.h"
#include "converter/routing.h"
#include "converter/token_reader.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

std::string stmt(int t, const std::string &value = "") { return "<" + std::to_string(t) + "\xfe" + value + ">\r"; }
std::string block(int t, const std::string &inside) { return "<" + std::to_string(t) + "\xfe\r" + inside + ">\r"; }
std::string pgf(std::string tag, std::string in = "") { return block(tok::Pgf, stmt(tok::PgfTag, "`" + tag + "'") + in); }
// n parameters 00 of a tab-stop record NTB: map bytes 0-31, kind bytes
// 32-51, 40 leader bytes, then the count and the positions.
std::string zeros(int n) { return n > 0 ? " 00" + zeros(n - 1) : ""; }
std::string be32(unsigned u) { return {char(u >> 24), char(u >> 16), char(u >> 8), char(u)}; }
std::string field(const std::string &text, std::size_t size) { return text + std::string(size - text.size(), '\0'); }
const std::string kNoStops = "NTB" + zeros(92) + " 0\n", kBlack = "BCL 0 0 0 0\n";
const std::string kHelvetica = "SPF 10 0 8 1 280 Helvetica\n", kGreen = "BCL 10 0 255 0\n";  // colour 2
// Head's properties in its style groups: centred, 6 pt leading, a right
// stop at 2 inches, Helvetica 14 pt bold.
const std::string kHead = "CTX 0 40 0\nRSP 1 3 360\nNTB 00 00 08" + zeros(29) + " 20" + zeros(59) + " 1 2880\n" +
                          kHelvetica + kBlack + "BBT\n";

// The paragraph catalog and the font list are the empty ones the fixture
// opens as a run does.
class ParagraphsTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        Conversion &c = conv();
        // The twips flag as the driver's default ruler leaves it.
        c.preproc.zem_ver = 3, c.routing.redirect_mode = kernel().ruler.VOXTwipFlag = 1;
        c.paragraph_formats.first_string_seen = c.tabs.can_do_tmp_mar = 1;
        c.buffers.text_flow_buff = c.buffers.int_tmp_buff = bufopen(1024);  // flows and body: one output in order
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    void TearDown() override { RedirectOutputClose(); ConverterTest::TearDown(); }
    // What was written since, rendered: a record a line (a group's records
    // not indented), text in quotes.
    static std::string out() {
        std::string r = icf::render(drain(conv().buffers.text_flow_buff));
        for (std::size_t at; (at = r.find("\n ")) != std::string::npos;) r.erase(at + 1, 1);
        return r;
    }
    static std::string convert(const std::string &text) {
        feed(text);
        for (int c; (c = preproc_getc()) >= 0;) c == '<' ? tf_handle_command_token() : c == '>' ? tf_end_token() : 0;
        return out();
    }
    static ParagraphLayoutState &layout() { return conv().layout; }
    static ParagraphFormatState &formats() { return conv().paragraph_formats; }
};

const std::string kCatalog = block(
    tok::PgfCatalog,
    pgf("Body", stmt(tok::PgfSpBefore, "6pt") + stmt(tok::PgfSpAfter, "12pt") + stmt(tok::PgfWithNext, "Yes")) +
        pgf("Head", stmt(tok::PgfAlignment, "Center") + stmt(tok::PgfLeading, "6pt") +
                        block(tok::PgfFont, stmt(tok::FFamily, "`Helvetica'") + stmt(tok::FSize, "14pt") +
                                                stmt(tok::FBold, "Yes")) +
                        block(tok::TabStop, stmt(tok::TSX, "2.0\"") + stmt(tok::TSType, "Right"))) +
        pgf("Note", stmt(tok::PgfLIndent, "0.5\"")) +
        pgf("Fix", stmt(tok::PgfLineSpacing, "Fixed") + stmt(tok::PgfLeading, "6pt") + stmt(tok::FSeparation, "3")));

// A catalog defined, stored, and applied in the text.  Catches a style
// record out of order or missing (no RSP for 2 pt leading, SAF without
// collapsing, the indent records, LNH for fixed spacing), the wrong style
// number, attributes not turned off after SEP, the black colour record
// missing after the SEP of a coloured format, font values (but not the
// attributes) reset between formats, defaults not reset after an entry,
// catalog entries with a field at the wrong offset, in the wrong byte
// order, or without the stops inserted at the indents; the style-on group,
// paragraph data or style-off group of a bold, centred format with a stop
// written out of place, the stops not copied into both tables; a local
// style that changes the state or writes more than the attribute records,
// and a style-off group that does not close the character style and the
// alignment first (keeping the alignment till the format's is set), or
// handles the attribute bits in the wrong order.
TEST_F(ParagraphsTest, CatalogFormatsDefinedStoredAndApplied) {
    EXPECT_EQ(convert(kCatalog),
              "SYT Body 1 {\nSYP 0\nERJ\n" + kNoStops + "SBF 120 1\nSAF 240 1\nKWN\n" + kBlack + "SEP\n}\n" +
                  "SYT Head 2 {\nSYP 0\n" + kHead + "SEP\nEBT\n}\nSYT Note 3 {\nSYP 0\nERJ\nNTB 84" + zeros(31) +
                  " 88" + zeros(59) + " 2 0 720\nETM\nSTM 0 5 0 720\nLMR 5 720\n" + kHelvetica + kBlack + "SEP\n}\n" +
                  "SYT Fix 4 {\nSYP 0\nERJ\nLNH 240\n" + kNoStops + kHelvetica + kGreen + "SEP\n" + kBlack + "}\n");
    const ParagraphFormatState &p = formats();
    EXPECT_EQ(formats().cat_idx * 100 + p.in_pgf * 10 + p.keep_with_next, 410);  // a catalog <Pgf leaves in_pgf
    EXPECT_EQ((convert(block(tok::Pgf, "")), p.in_pgf), 0);                           // a paragraph's own clears it
    const std::string file = read_file(conv().driver.cat_name), note = file.substr(2 * 940);
    ASSERT_EQ(file.size(), 4u * 940);
    const std::string head = field("Head", 124) + be32(2) + std::string(12, '\0') + field("Helvetica", 64) +
                             be32(280) + be32(0) + be32(1) + std::string(12, '\0') + field("", 64) + be32(120) +
                             be32(1) + std::string(8, '\0') + be32(2880) + std::string("\0R", 2) +
                             std::string(2 + 29 * 8, '\0') + be32(1) + std::string(24 + 301 + 63, '\0');
    EXPECT_EQ(visible(file.substr(940, 940)), visible(head));
    EXPECT_EQ(file.substr(300, 8) + file.substr(564, 4), be32(120) + be32(240) + be32(1));  // Body: spaces, keep
    // Note: its left indent, the font inherited but not the attributes, the
    // two indent stops.
    EXPECT_EQ(visible(note.substr(132, 4) + note.substr(140, 9) + note.substr(204, 12) + note.substr(296, 28)),
              visible(be32(720) + "Helvetica" + be32(280) + be32(0) + be32(0) + be32(2) + std::string(12, '\0') +
                      std::string("\0V\0\0", 4) + be32(720) + std::string("\0V\0\0", 4)));

    conv().routing.text_flow = 1, conv().colours.curr_color = 0;  // Fix's colour left behind by the catalog
    EXPECT_EQ(convert(block(tok::Para, stmt(tok::PgfTag, "`Head'") + block(tok::ParaLine, stmt(tok::String, "`Hi'")))),
              "STY Head 2 0\n" + kHead + "STE\nRSP 0 3 360\nNTB 80 00 08" + zeros(29) + " 82" + zeros(59) +
                  " 2 0 2880\nRSP 3 3 360\nBBT\n\"Hi\"\nECT\nSTF Head 2 0\nEBT\nSTE\nHNL\n");
    EXPECT_EQ(layout().curr_tab_idx + conv().tabs.default_tab_cnt, 2);  // the text's indent stop is gone again
    // Slot 1, after the count: as the catalog defaults left it.
    for (auto *table : {&conv().tabs.work_tab_tbl, &conv().tabs.default_tab_tabl})
        EXPECT_EQ((*table)[0][kTabPosition] + (*table)[0][kTabType] + (*table)[1][kTabPosition] * 10000,
                  2880 + 'R' + 21600000);
    // Style-off groups: of a local style, back to the format's bold only;
    // of Head over a character style and a right alignment; of Note.
    auto end_style = [](const char *tag) { std::strcpy(layout().pgf_tag_name, tag), tf_end_curr_style(); return out(); };
    FontState &f = conv().fonts;
    layout().curr_high_act = f.last_seen_attr = f.attr_before_char_sty = 9;
    f.default_high_attrib = 1, layout().new_line_space = 77;
    EXPECT_EQ((tf_set_catalog_vars("Missing"), end_style("Missing")), "ITF\n");
    EXPECT_EQ(formats().local_style * 1000 + layout().new_line_space * 10 + layout().curr_high_act, 1779);
    const std::string em = be32(7) + field("Em", 64);
    std::memcpy(f.curr_font_cat_entry, em.data(), em.size());
    f.last_seen_attr = 9, f.have_char_style = 1, layout().current_alig = 3;
    EXPECT_EQ(end_style("Head"), "STF Em 7 1\nSTE\nEAT\nSTF Head 2 0\nEBT\nSTE\n");
    EXPECT_EQ(layout().current_alig * 100 + layout().default_alig * 10 + layout().curr_high_act, 228);
    EXPECT_EQ(end_style("Note"), "ECT\nITF\nSTF Note 3 0\nSTE\n");
}

// The paragraph data.  Catches the requested spacing not reset to the
// default once RSP or LNH is written, or reset when nothing was written;
// the temporary margin of the format not ended when the paragraph's own
// indents differ from it (or ended when they do not), the indent stops
// kept, and the alignment not returned to the default when no
// <PgfAlignment asked for another.  (The space records and their
// collapsing, and the RSP and LNH records, are pinned by the
// space-before-after and leading-and-line-spacing documents.)
TEST_F(ParagraphsTest, ParagraphDataRecords) {
    ParagraphLayoutState &l = layout();
    struct { int old_space, new_space; const char *records; int old_out, new_out; } spacings[] = {
        {40, 40, "", 40, 40}, {40, 120, "RSP 0 3 360\n", 360, 99},
    };
    for (const auto &c : spacings) {
        l.old_line_space = c.old_space, l.new_line_space = c.new_space, l.default_line_space = 99;
        EXPECT_EQ((tf_output_rsp(), out() + std::to_string(l.old_line_space * 1000 + l.new_line_space)),
                  c.records + std::to_string(c.old_out * 1000 + c.new_out));
    }
    // The format's left and first indents and the paragraph's first (its
    // left one is 1440): the margin ended; can_rest_mar, can_do_tmp_mar and
    // the stop count after.
    struct { int sty_left, sty_first, first, can_rest; const char *records; int after; } margins[] = {
        {720, 0, 0, 1, "ETM\nETM\nSTM 0 10 0 1440\nLMR 10 1440\n", 10},
        {720, 360, 360, 1, "ETM\nETM\nSTM 0 2 0 360\nSTM 2 10 360 1440\nLMR 7 1080\n", 10},
        {0, 0, 0, 1, "", 100}, {720, 0, 0, 0, "", 0},
    };
    for (const auto &c : margins) {
        TearDown(), SetUp();  // the same layout state, started afresh
        TabState &t = conv().tabs;
        t.sty_curr_left = c.sty_left, l.curr_left_indent = 1440, l.curr_first_indent = c.first;
        formats().sty_curr_first = c.sty_first, l.can_rest_mar = c.can_rest, t.can_do_tmp_mar = 0;
        EXPECT_EQ((tf_output_pgf_data(), out() + std::to_string(l.can_rest_mar * 100 + t.can_do_tmp_mar * 10 +
                                                                l.curr_tab_idx)),
                  c.records + std::to_string(c.after));
    }
    // A centred paragraph data without <PgfAlignment: ended, back to left.
    layout().current_alig = 2, layout().default_alig = 0, conv().tabs.alig_output = 0;
    EXPECT_EQ((tf_output_pgf_data(), out() + std::to_string(layout().current_alig)), "ECT\n0");
}

// Catches a book file writing style definitions or not storing entries,
// a style-on group written inside a table catalog, lookups that do not
// take the first of two equal tags, the blank lines owed for the space
// after not counted, the justification mode of the text changed by the
// style group, a tag not cut to 119 characters, and the placement-style
// words.
TEST_F(ParagraphsTest, BookFilesTagsAndPlacementStyles) {
    conv().preproc.zem_book = 1;
    const std::string space = stmt(tok::PgfSpBefore, "6pt") + stmt(tok::PgfSpAfter, "24pt");
    // Nothing written, both entries stored.
    EXPECT_TRUE(convert(block(tok::PgfCatalog, pgf("Body", space) + pgf("Body"))).empty() && formats().cat_idx == 2);
    conv().tables.in_tbl_catalog = 1;
    // 480 / 240 blank lines owed, no group clears them.
    EXPECT_EQ((tf_set_catalog_vars("Body"), out() + std::to_string(layout().para_sp_before * 10 +
                                                                   formats().after_num_hnl)), "1202");
    conv().tables.in_tbl_catalog = 0, layout().brj_mode = 1;
    EXPECT_EQ((tf_set_catalog_vars("Body"), layout().brj_mode), 1);  // ERJ in the group, the text still justified
    EXPECT_EQ(out().rfind("STY Body 1 0\nERJ\n", 0), 0u);  // the style-on group first
    formats().in_pgfcatalog = 1;
    EXPECT_EQ((convert(stmt(tok::PgfTag, "`" + std::string(130, 'x') + "'")), std::string(layout().pgf_tag_name)),
              std::string(119, 'x'));
    struct { const char *word; int flags; } words[] = {
        {"SideheadTop", 10}, {"SideheadFirstBaseline", 10}, {"SideheadLastBaseline", 10}, {"Straddle", 1},
        {"Sidehead", 0}};
    ParagraphFormatState &o = formats();
    for (const auto &w : words)
        EXPECT_EQ((o.do_second_style = o.over_ride_tf_off = 0, convert(stmt(tok::PgfPlacementStyle, w.word)),
                   o.do_second_style * 10 + o.over_ride_tf_off), w.flags) << w.word;
}

// Catches a failed seek or a short write of the catalog file going
// unnoticed or ending with the wrong code, also for a lookup.
TEST_F(ParagraphsTest, CatalogFileFailuresEndTheRun) {
    using P = HostFilePlan;
    struct { long P::*at, P::*count; bool lookup; int code; } cases[] = {
        {&P::fail_seek_at, &P::seeks, false, 17}, {&P::fail_write_at, &P::writes, false, 4},
        {&P::zero_write_at, &P::writes, false, 4}, {&P::fail_seek_at, &P::seeks, true, 17},
    };
    const std::string catalog = block(tok::PgfCatalog, pgf("Body"));
    for (const auto &c : cases) {
        // The catalog file from now on through the host file functions (a
        // handle is a file descriptor to both back ends).
        TearDown(), SetUp(), use_host_files(true);
        if (c.lookup) convert(catalog);
        host_files().*c.at = host_files().*c.count + 1;
        EXPECT_EQ(exit_code_of([&] { c.lookup ? tf_set_catalog_vars("Body") : (convert(catalog), 0); }), c.code);
    }
}

}  // namespace
}  // namespace vox::test
