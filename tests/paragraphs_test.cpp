// Paragraph formats and the paragraph catalog: style definitions and the
// catalog file, applying formats in the text (style-on group, paragraph
// data, style-off group at the paragraph end), space and line-spacing
// records, and the catalog file's failures.  Input is preprocessed text run
// through the main loop; output is routed into the body or flow buffer as
// in a run.  Expected records of the tab, font and colour modules follow
// their rules too (version 3 colours, so colour 0 is BCL 0 0 0 0).
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/file_access.h"
#include "common/kernel_state.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/paragraphs.h"
#include "converter/routing.h"
#include "test_support.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;
std::string open(int token, const std::string &values = "") { return "<" + std::to_string(token) + "\xfe" + values; }
std::string stmt(int token, const std::string &values = "") { return open(token, values) + ">\r"; }
std::string block(int token, const std::string &inside) { return open(token) + "\r" + inside + ">\r"; }
std::string pgf(const std::string &tag, const std::string &inside = "") {
    return block(tok::Pgf, stmt(tok::PgfTag, "`" + tag + "'") + inside);
}
std::string para(const std::string &inside, const std::string &text) {
    return block(tok::Para, inside + block(tok::ParaLine, stmt(tok::String, "`" + text + "'")));
}
std::string R(const std::string &code, const Strings &params = {}) { return record(code, params); }
// A style definition: its RS comes after the records embedded in it.
std::string syt(const std::string &tag, const std::string &number, const std::string &inside,
                const std::string &after_sep = "") {
    std::string head = record("SYT", {tag, number});
    head.pop_back();
    return head + R("SYP", {"0"}) + inside + R("SEP") + after_sep + "\x1e";
}
// A tab-stop record: map bytes 0-31, kind bytes 32-51, 40 leader bytes (all
// 00 unless named), the count and the positions.
std::string ntb(std::vector<std::pair<int, const char *>> bytes, const Strings &positions) {
    Strings p(92, "00");
    for (auto &b : bytes) p[b.first] = b.second;
    p.push_back(std::to_string(positions.size()));
    p.insert(p.end(), positions.begin(), positions.end());
    return R("NTB", p);
}
const std::string kNoStops = ntb({}, {}), kBlack = R("BCL", {"0", "0", "0", "0"});
std::string be32(unsigned u) { return {char(u >> 24), char(u >> 16), char(u >> 8), char(u)}; }
std::string field(const std::string &text, std::size_t size) { return text + std::string(size - text.size(), '\0'); }

class ParagraphsTest : public ConverterTest {
  protected:
    TempDir dir;
    void SetUp() override {
        ConverterTest::SetUp();
        Conversion &c = conv();
        c.preproc.zem_ver = 3;
        c.strings.others.first_string_seen = c.strings.others.can_do_tmp_mar = 1;
        kernel().ruler.VOXTwipFlag = 1;  // as after the driver's default ruler
        for (int *b : {&c.buffers.text_flow_buff, &c.buffers.int_tmp_buff}) *b = bufopen(1024);
        c.routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
        for (const char *name : {"cat", "fonts"}) write_file(dir.file(name), "");
        c.driver.cat_list_handle = VOXopen(dir.file("cat").c_str(), 3, 1);
        c.driver.font_list_handle = VOXopen(dir.file("fonts").c_str(), 3, 1);
    }
    void TearDown() override {
        RedirectOutputClose();
        for (int *h : {&conv().driver.cat_list_handle, &conv().driver.font_list_handle})
            if (*h >= 0) VOXclose(*h);
        ConverterTest::TearDown();
    }
    void restart() { TearDown(), SetUp(); }
    std::string catalog_file() {
        VOXclose(conv().driver.cat_list_handle);
        conv().driver.cat_list_handle = -1;
        return read_file(dir.file("cat"));
    }
    static std::string out() {
        return visible(drain(conv().buffers.text_flow_buff) + drain(conv().buffers.int_tmp_buff));
    }
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc())
            c == '<' ? tf_handle_command_token() : c == '>' ? tf_end_token() : 0;
    }
    static ParagraphLayoutState &layout() { return conv().layout; }
    static StringNeighbourFlags &flags() { return conv().strings.others; }
};

const std::string kCatalog = block(
    tok::PgfCatalog,
    pgf("Body", stmt(tok::PgfSpBefore, "6pt") + stmt(tok::PgfSpAfter, "12pt") + stmt(tok::PgfWithNext, "Yes")) +
        pgf("Head", stmt(tok::PgfAlignment, "Center") + stmt(tok::PgfLeading, "6pt") +
                        block(tok::PgfFont, stmt(tok::FFamily, "`Helvetica'") + stmt(tok::FSize, "14pt") +
                                                stmt(tok::FBold, "Yes")) +
                        block(tok::TabStop, stmt(tok::TSX, "2.0\"") + stmt(tok::TSType, "Right"))) +
        pgf("Note", stmt(tok::PgfLIndent, "0.5\"")));
const std::string kHelvetica = R("SPF", {"10", "0", "8", "1", "280", "Helvetica"});
const std::string kVStop = std::string("\0V\0\0", 4);

// Catches a style record out of order or missing (no RSP for 2 pt leading,
// SAF without collapsing, the indent records), the wrong style number,
// attributes not turned off after SEP, font values reset between formats,
// defaults not reset after an entry, and catalog entries with a field at
// the wrong offset, in the wrong byte order, or without the stops inserted
// at the indents.
TEST_F(ParagraphsTest, CatalogFormatsAreDefinedAndStored) {
    convert(kCatalog);
    EXPECT_EQ(out(), visible(syt("Body", "1", R("ERJ") + kNoStops + R("SBF", {"120", "1"}) + R("SAF", {"240", "1"}) +
                                                   R("KWN") + kBlack) +
                             syt("Head", "2", R("CTX", {"0", "40", "0"}) + R("RSP", {"1", "3", "360"}) +
                                                   ntb({{2, "08"}, {32, "20"}}, {"2880"}) + kHelvetica + kBlack + R("BBT"),
                                 R("EBT")) +
                             syt("Note", "3", R("ERJ") + ntb({{0, "84"}, {32, "88"}}, {"0", "720"}) + R("ETM") +
                                                   R("STM", {"0", "5", "0", "720"}) + R("LMR", {"5", "720"}) +
                                                   kHelvetica + kBlack)));
    const ParagraphFormatState &p = conv().paragraph_formats;
    EXPECT_EQ(conv().fonts.cat_idx * 100 + p.in_pgf * 10 + p.keep_with_next, 310);  // a catalog <Pgf leaves in_pgf
    convert(block(tok::Pgf, ""));
    EXPECT_EQ(p.in_pgf, 0);  // a paragraph's own <Pgf clears it
    EXPECT_EQ(layout().new_line_space + layout().curr_left_indent + layout().curr_tab_idx, 40);
    EXPECT_EQ(conv().tabs.work_tab_tbl[0][kTabPosition] + conv().tabs.last_output_table[0][kTabPosition], 2880);
    const std::string file = catalog_file();
    ASSERT_EQ(file.size(), 3u * 940);
    const std::string head = field("Head", 124) + be32(2) + std::string(12, '\0') + field("Helvetica", 64) +
                             be32(280) + be32(0) + be32(1) + std::string(12, '\0') + field("", 64) + be32(120) +
                             be32(1) + std::string(8, '\0') + be32(2880) + std::string("\0R", 2) +
                             std::string(2 + 29 * 8, '\0') + be32(1) + std::string(24 + 301 + 63, '\0');
    EXPECT_EQ(visible(file.substr(940, 940)), visible(head));
    EXPECT_EQ(file.substr(300, 8) + file.substr(564, 4), be32(120) + be32(240) + be32(1));  // Body: spaces, keep
    const std::string note = file.substr(2 * 940);
    EXPECT_EQ(note.substr(132, 4) + note.substr(140, 9), be32(720) + "Helvetica");  // the font inherited,
    EXPECT_EQ(note.substr(204, 12), be32(280) + be32(0) + be32(0));                 // not the attributes
    EXPECT_EQ(visible(note.substr(296, 28)), visible(be32(2) + std::string(12, '\0') + kVStop + be32(720) + kVStop));
}

// Catches the style-on group, paragraph data or style-off group written
// out of place, RSP not repeated for a leading other than 2 pt, space
// before not folded into the last space after, the HNL 1 owed for the
// space after missing, "Body" not taken for an untagged paragraph, the
// stops not copied into both tables, and KWN of the style group taken from
// the format being applied rather than from the state it is applied over.
TEST_F(ParagraphsTest, ParagraphsApplyTheirFormats) {
    convert(kCatalog);
    out();
    conv().routing.text_flow = 1;
    convert(para(stmt(tok::PgfTag, "`Head'"), "Hi"));
    EXPECT_EQ(out(), visible(R("STY", {"Head", "2", "0"}) + R("CTX", {"0", "40", "0"}) + R("RSP", {"1", "3", "360"}) +
                             ntb({{2, "08"}, {32, "20"}}, {"2880"}) + kHelvetica + kBlack + R("BBT") + R("STE") +
                             R("RSP", {"0", "3", "360"}) + ntb({{0, "80"}, {2, "08"}, {32, "82"}}, {"0", "2880"}) +
                             R("RSP", {"3", "3", "360"}) + R("BBT") + "Hi" + R("ECT") +
                             R("STF", {"Head", "2", "0"}) + R("EBT") + R("STE") + R("HNL")));
    EXPECT_EQ(layout().curr_tab_idx + conv().tabs.default_tab_cnt, 2);  // the text's indent stop is gone again
    for (auto *table : {&conv().tabs.work_tab_tbl, &conv().tabs.default_tab_tabl}) {
        EXPECT_EQ((*table)[0][kTabPosition] + (*table)[0][kTabType], 2880 + 'R');
        EXPECT_EQ((*table)[1][kTabPosition], 2160);  // after the count: as the catalog defaults left it
    }
    const std::string body_on = R("STY", {"Body", "1", "0"}) + R("ERJ") + kNoStops + R("SBF", {"120", "1"}) +
                                R("SAF", {"240", "1"});
    const std::string body_off = R("STF", {"Body", "1", "0"}) + R("STE") + R("HNL");
    const std::string stop_at_0 = ntb({{0, "80"}, {32, "80"}}, {"0"});
    convert(para("", "Yo"));
    EXPECT_EQ(out(), visible(body_on + kBlack + R("STE") + R("RSP", {"3", "2", "280"}) + R("SAF", {"240", "1"}) +
                             stop_at_0 + R("RSP", {"2", "2", "280"}) + "Yo" + body_off + R("HNL", {"1"})));
    convert(para("", "Z"));
    EXPECT_EQ(out(), visible(body_on + R("KWN") + kBlack + R("STE") + R("RSP", {"2", "2", "280"}) +
                             R("SBF", {"0", "0"}) + stop_at_0 + R("RSP", {"2", "2", "280"}) + "Z" + body_off));
    EXPECT_EQ(conv().paragraph_formats.output_kwn * 1000 + conv().paragraph_formats.last_para_sp_after, 240);
}

// Catches a local style that changes the state or writes more than the
// attribute records, and a style-off group that does not close the
// character style and the alignment first, or handles the attribute bits
// in the wrong order.
TEST_F(ParagraphsTest, StyleOffGroups) {
    convert(block(tok::PgfCatalog, pgf("Quote", stmt(tok::PgfAlignment, "Right") +
                                                    block(tok::PgfFont, stmt(tok::FBold, "Yes"))) +
                                       pgf("Plain")));
    out();
    conv().routing.text_flow = 1;
    FontState &f = conv().fonts;
    layout().curr_high_act = f.last_seen_attr = f.attr_before_char_sty = 9;
    f.default_high_attrib = 1, layout().new_line_space = 77;
    std::strcpy(layout().pgf_tag_name, "Missing");
    tf_set_catalog_vars("Missing");
    tf_end_curr_style();
    EXPECT_EQ(out(), visible(R("ITF")));  // back to the format's bold only
    EXPECT_EQ(flags().local_style * 1000 + layout().new_line_space * 10 + layout().curr_high_act, 1779);
    f.last_seen_attr = 9, f.have_char_style = 1;
    const std::string em = be32(7) + field("Em", 64);
    std::memcpy(f.curr_font_cat_entry, em.data(), em.size());
    layout().current_alig = 2;
    std::strcpy(layout().pgf_tag_name, "Quote");
    tf_end_curr_style();
    EXPECT_EQ(out(), visible(R("STF", {"Em", "7", "1"}) + R("STE") + R("ECT") + R("STF", {"Quote", "1", "0"}) +
                             R("EBT") + R("STE")));
    EXPECT_EQ(layout().current_alig * 100 + layout().default_alig * 10 + layout().curr_high_act, 338);
    std::strcpy(layout().pgf_tag_name, "Plain");
    tf_end_curr_style();
    EXPECT_EQ(out(), visible(R("EAT") + R("ITF") + R("STF", {"Plain", "2", "0"}) + R("STE")));
}

// Catches the collapsing rule inverted or applied without collapse, the
// line count not rounded, HNL 1 records without collapse, the space after
// compared with one value only, last_para_sp_after / after_num_hnl updated
// in the wrong mode; RSP written without a change, its parameters not in
// units of 120 twips with the line height added, the fixed-spacing record,
// the requested spacing reset when nothing was written, LNH missing from
// the style groups of a fixed-spacing format, and the black colour record
// missing after the SEP of a coloured format.
TEST_F(ParagraphsTest, SpaceAndLineSpacingRecords) {
    const std::string hnl = R("HNL", {"1"});
    struct { int collapse, before, def_before, after, def_after, last; std::string records; int last_out, hnl; } spaces[] = {
        {1, 360, 0, 240, 240, 240, R("SBF", {"120", "1"}) + hnl, 240, 5},
        {1, 240, 120, 240, 240, 240, R("SBF", {"0", "0"}), 240, 5},
        {1, 240, 0, 240, 240, 240, "", 240, 5},
        {1, 600, 0, 0, 0, 0, R("SBF", {"600", "3"}) + hnl + hnl + hnl, 0, 5},
        {1, 100, 0, 360, 240, 0, R("SBF", {"100", "0"}) + R("SAF", {"360", "2"}), 360, 2},
        {1, 0, 0, 0, 0, 240, R("SAF", {"0", "0"}), 0, 0},
        {0, 360, 0, 240, 240, 240, R("SBF", {"360", "2"}), 240, 0},
        {0, 0, 0, 240, 240, 0, R("SAF", {"240", "1"}), 0, 0},
    };
    for (const auto &c : spaces) {
        ParagraphLayoutState &l = layout();
        l.para_sp_before = c.before, l.def_para_sp_before = c.def_before;
        l.para_sp_after = c.after, l.def_para_sp_after = c.def_after;
        conv().paragraph_formats.last_para_sp_after = c.last, flags().after_num_hnl = 5;
        tf_output_para_space(c.collapse);
        EXPECT_EQ(out(), visible(c.records));
        EXPECT_EQ(conv().paragraph_formats.last_para_sp_after * 10 + flags().after_num_hnl, c.last_out * 10 + c.hnl)
            << visible(c.records);
    }
    struct { int old_space, new_space, fixed; std::string records; int old_out, new_out; } spacings[] = {
        {40, 40, 0, "", 40, 40},
        {40, 120, 0, R("RSP", {"0", "3", "360"}), 360, 99},
        {360, 40, 0, R("RSP", {"3", "2", "280"}), 280, 99},
        {40, 120, 1, R("LNH", {"240"}), 240, 99},
        {240, 240, 1, "", 240, 240},
    };
    for (const auto &c : spacings) {
        layout().old_line_space = c.old_space, layout().new_line_space = c.new_space;
        layout().default_line_space = 99, conv().paragraph_formats.fixed_line = c.fixed;
        tf_output_rsp();
        EXPECT_EQ(out(), visible(c.records));
        EXPECT_EQ(layout().old_line_space * 1000 + layout().new_line_space, c.old_out * 1000 + c.new_out)
            << visible(c.records);
    }
    restart();
    convert(block(tok::PgfCatalog, pgf("Fix", stmt(tok::PgfLineSpacing, "Fixed") + stmt(tok::PgfLeading, "6pt") +
                                                  stmt(tok::FSeparation, "3"))));
    const std::string green = R("BCL", {"10", "0", "255", "0"});  // colour 2
    EXPECT_EQ(out(), visible(syt("Fix", "1", R("ERJ") + R("LNH", {"240"}) + kNoStops + green, kBlack)));
    tf_set_catalog_vars("Fix");
    tf_output_rsp();  // the next paragraph
    EXPECT_EQ(out(), visible(R("STY", {"Fix", "1", "0"}) + R("ERJ") + R("LNH", {"240"}) + kNoStops + green +
                             R("STE") + R("LNH", {"240"}) + R("LNH", {"240"})));
}

// Catches the temporary margin of the format not ended when the
// paragraph's own indents differ from it (or ended when they do not), the
// indent stops kept, and the alignment not returned to the default when
// no <PgfAlignment asked for another.
TEST_F(ParagraphsTest, ParagraphDataEndsTheFormatsMarginAndAlignment) {
    const std::string etm = R("ETM") + R("ETM");
    struct { int sty_left, sty_first, first, can_rest; std::string records; } cases[] = {
        {720, 0, 0, 1, etm + R("STM", {"0", "10", "0", "1440"}) + R("LMR", {"10", "1440"})},
        {720, 360, 360, 1,
         etm + R("STM", {"0", "2", "0", "360"}) + R("STM", {"2", "10", "360", "1440"}) + R("LMR", {"7", "1080"})},
        {0, 0, 0, 1, ""},
        {720, 0, 0, 0, ""},
    };
    for (const auto &c : cases) {
        restart();
        ParagraphLayoutState &l = layout();
        conv().tabs.sty_curr_left = c.sty_left, l.curr_left_indent = 1440;
        conv().paragraph_formats.sty_curr_first = c.sty_first, l.curr_first_indent = c.first;
        l.can_rest_mar = c.can_rest, flags().can_do_tmp_mar = 0;
        tf_output_pgf_data();
        EXPECT_EQ(out(), visible(c.records));
        const int expected = c.records.empty() ? c.can_rest * 100 : 10;  // can_rest_mar, can_do_tmp_mar, count
        EXPECT_EQ(l.can_rest_mar * 100 + flags().can_do_tmp_mar * 10 + l.curr_tab_idx, expected);
    }
    for (int alig_output : {0, 1}) {
        layout().current_alig = 2, layout().default_alig = 0, conv().tabs.alig_output = alig_output;
        tf_output_pgf_data();
        EXPECT_EQ(out(), alig_output ? "" : visible(R("ECT")));
        EXPECT_EQ(layout().current_alig, alig_output ? 2 : 0);
    }
}

// Catches a book file writing style definitions or not storing entries,
// a style-on group written inside a table catalog, lookups that do not
// take the first of two equal tags, the blank lines owed for the space
// after not counted, the justification mode of the text changed by the
// style group, a tag not cut to 119 characters, and the placement-style
// words.
TEST_F(ParagraphsTest, BookFilesTagsAndPlacementStyles) {
    conv().preproc.zem_book = 1;
    convert(block(tok::PgfCatalog, pgf("Body", stmt(tok::PgfSpBefore, "6pt") + stmt(tok::PgfSpAfter, "24pt")) +
                                       pgf("Body")));
    EXPECT_EQ(out() + std::to_string(conv().fonts.cat_idx), "2");
    conv().tables.in_tbl_catalog = 1;
    tf_set_catalog_vars("Body");
    EXPECT_EQ(out(), "");
    EXPECT_EQ(layout().para_sp_before * 10 + flags().after_num_hnl, 1202);  // 480 / 240, no group clears it
    conv().tables.in_tbl_catalog = 0, layout().brj_mode = 1;
    tf_set_catalog_vars("Body");
    EXPECT_EQ(layout().brj_mode, 1);  // ERJ in the group, the text still justified
    const std::string style_on = visible(R("STY", {"Body", "1", "0"}) + R("ERJ"));
    EXPECT_EQ(out().substr(0, style_on.size()), style_on);
    const std::string long_tag(130, 'x');
    conv().paragraph_formats.in_pgfcatalog = 1;
    convert(stmt(tok::PgfTag, "`" + long_tag + "'"));
    EXPECT_EQ(std::string(layout().pgf_tag_name), long_tag.substr(0, 119));
    struct { const char *word; int flags; } words[] = {{"SideheadTop", 10}, {"SideheadFirstBaseline", 10},
        {"SideheadLastBaseline", 10}, {"Straddle", 1}, {"Sidehead", 0}, {"Normal", 0}};
    for (const auto &w : words) {
        flags().do_second_style = flags().over_ride_tf_off = 0;
        convert(stmt(tok::PgfPlacementStyle, w.word));
        EXPECT_EQ(flags().do_second_style * 10 + flags().over_ride_tf_off, w.flags) << w.word;
    }
}

// Catches a failed seek or a short write of the catalog file going
// unnoticed or ending with the wrong code, also for a lookup.
TEST_F(ParagraphsTest, CatalogFileFailuresEndTheRun) {
    using P = HostFilePlan;
    struct { long P::*at, P::*count; bool lookup; int code; } cases[] = {
        {&P::fail_seek_at, &P::seeks, false, 17},
        {&P::fail_write_at, &P::writes, false, 4},
        {&P::zero_write_at, &P::writes, false, 4},
        {&P::fail_seek_at, &P::seeks, true, 17},
    };
    const std::string catalog = block(tok::PgfCatalog, pgf("Body"));
    for (const auto &c : cases) {
        restart();
        use_host_files(true);
        VOXclose(conv().driver.cat_list_handle);
        conv().driver.cat_list_handle = VOXopen(dir.file("cat").c_str(), 3, 1);
        if (c.lookup) convert(catalog);
        host_files().*c.at = host_files().*c.count + 1;
        EXPECT_EQ(exit_code_of([&] { c.lookup ? tf_set_catalog_vars("Body") : (convert(catalog), 0); }), c.code);
        use_host_files(false);
    }
}

}  // namespace
}  // namespace vox::test
