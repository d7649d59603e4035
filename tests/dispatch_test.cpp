// The statement dispatchers: the token stack around them, and the start
// and end actions of the tokens handled in the dispatch itself.  Input is
// preprocessed text run through the same loop the driver runs.

#include <cstring>
#include <utility>

#include "converter/dispatch.h"
#include "converter/token_table.h"
#include "test_support.h"

namespace vox::test {
namespace {

using Ints = std::vector<int>;
using Strings = std::vector<std::string>;
// Statements written as in a source, as the preprocessing pass passes them
// on: "<Name " becomes '<', the token number and 254; '>' ends its line.
std::string zem(const std::string &text) {
    std::string out;
    for (std::size_t i = 0, blank; i < text.size(); ++i)
        if (text[i] == '<' && (blank = text.find(' ', i)) != std::string::npos)
            out += "<" + std::to_string(convert_token(text.substr(i + 1, blank - i - 1).c_str())) + "\xfe", i = blank;
        else
            out += text[i] == '>' ? std::string(">\r") : std::string(1, text[i]);
    return out;
}
ParagraphLayoutState &layout() { return conv().layout; }
ParagraphFormatState &pf() { return conv().paragraph_formats; }
TabState &tabs() { return conv().tabs; }
ColourState &colours() { return conv().colours; }

class DispatchTest : public ConverterTest {
  protected:
    void restart() { ConverterTest::TearDown(), ConverterTest::SetUp(); }
    // The driver's main loop: '<' starts a statement, '>' ends one, a
    // carriage return is skipped, anything else skips the rest of its line.
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc())
            c == '<' ? tf_handle_command_token() : c == '>' ? tf_end_token() : c != '\r' ? tf_eat_rest_of_line() : 0;
    }
};

Ints indents() { return {layout().curr_first_indent, layout().curr_left_indent, layout().curr_right_indent,
                         pf().left_indent_change, layout().can_rest_mar}; }
Ints words() { return {pf().para_num_end, pf().keep_with_next, pf().output_kwn, pf().fixed_line,
                       conv().pages.start_new_page}; }
Ints colour() { return {colours().curr_color, int(std::strlen(colours().color_name)), conv().fonts.curr_font_size}; }
Ints xref() { return {conv().references.xref_src_open, conv().tables.curr_table_id}; }
Ints line_end() { return {conv().strings.hardreturn_seen, conv().strings.line_pos, pf().snl_seen}; }
Ints para_end() { return {layout().pars_in_doc, tabs().start_tab_table}; }
void version(int v) { conv().preproc.zem_ver = v, colours().curr_color = 5; }
// An open ParaLine, with text seen, ended by the next '>'.
std::function<void()> in_line(int text_flow, int in_table, int hardreturn, int line_pos) { return [=] {
    conv().routing.text_flow = text_flow, conv().routing.in_table = in_table, conv().frames.text_seen = 1;
    conv().strings.hardreturn_seen = hardreturn, conv().strings.line_pos = line_pos, tf_push_token(tok::ParaLine);
}; }
// An open Para at (row, col) of a one-row, three-column table with the
// given cell image (none when empty), ended by the next '>'.
// The image lives in the function object, in the test's table.
std::function<void()> in_cell(Ints cells, int row, int col) { return [=]() mutable {
    TableState &t = conv().tables;
    t.table_cell_image = cells.empty() ? nullptr : cells.data(), t.curr_row = row, t.curr_col = col;
    t.curr_tbl_max_rows = 1, t.curr_tbl_max_columns = 3, conv().routing.in_table = 1, tabs().start_tab_table = 0;
    conv().buffers.table_buff = bufopen(512), tf_push_token(tok::Para);
}; }

// Catches an unreadable number not pushed (its '>' would then close
// nothing) or its line skipped without stepping over a string holding '>';
// indents taken outside a Pgf or setting the wrong flags, values stored in
// the wrong place, a zero leading taken, keywords compared loosely,
// side-head offsets swapped, a long colour name not cut, an unknown colour
// not 0 in the text, the paragraph font not remembered; the FSeparation
// version test inverted or its map read past its end; SNL written outside
// flows and tables or after a hard return, the hard return not consumed;
// the cell test of a straddled cell misread (row/column off by one, flags
// confused) or read outside the cell image; diagnostic texts changed, and
// the link flag of a cross-reference set although its string was
// unreadable; and first, a token number of the dispatch that is not the
// token table's (its row would be attached to the wrong statement).
//
// The whole-document tests hold the rest: the limit of 100 open statements
// and a stray '>' (nested-100, nested-101, stray-close), FSeparation's map
// in a version-3 document, FColor ignored in the paragraph catalog, and
// the exclusive FCase bits beside the other attributes.
TEST_F(DispatchTest, StatementsSetTheirState) {
#define VOX_CHECK_TOKEN(name, number) EXPECT_EQ(convert_token(#name), number) << #name;
    VOX_TOKEN_NUMBERS(VOX_CHECK_TOKEN)
#undef VOX_CHECK_TOKEN
    // The records written and the diagnostics are checked when not null ("" for none).
    struct { const char *name; std::function<void()> preset; std::string text; Ints (*get)(), expected;
             const char *out = nullptr, *diagnostic = nullptr; } cases[] = {
        {"unreadable number", [] {}, "<\xfe" "ab`x>y'z\r>\r",
         [] { return Ints{conv().tokens.push_idx, kernel().errors.last_err}; }, {0, 12}},
        {"outside a Pgf", [] {}, zem("<PgfFIndent 1\"><PgfLIndent 1\"><PgfRIndent 1\">"), indents, {0, 0, 0, 0, 0}},
        {"first, left indent", [] {}, zem("<Pgf <PgfFIndent 1\"><PgfLIndent 0.5\">"), indents, {1440, 720, 0, 1, 1}},
        {"right indent", [] {}, zem("<Pgf <PgfRIndent 2\">"), indents, {0, 0, 2880, 0, 0}},
        {"leading 0 after 12pt, space before", [] {}, zem("<PgfLeading 12.0pt><PgfLeading 0.0\"><PgfSpBefore 6pt>"),
         [] { return Ints{layout().new_line_space, layout().para_sp_before}; }, {240, 120}},
        {"Yes, yes, Fixed, PageTop", [] { pf().keep_with_next = pf().output_kwn = 1; },
         zem("<PgfNumAtEnd Yes><PgfWithNext yes><PgfLineSpacing Fixed><PgfPlacement PageTop>"), words, {1, 0, 0, 1, 1}},
        {"other words", [] { pf().para_num_end = pf().fixed_line = 1; }, zem("<PgfNumAtEnd yes><PgfWithNext Yes>"
         "<PgfLineSpacing Proportional><PgfPlacement Anywhere>"), words, {0, 1, 1, 0, 0}},
        {"side heads", [] {}, zem("<TFSideheadPlacement Right><TFSideheadWidth 1\"><TFSideheadGap 0.5\">"
                                    "<TFSideheadPlacement Left><TFSideheadWidth 2\">"),
         [] { return Ints{layout().tf_right_off, layout().tf_left_off}; }, {2160, 2880}},
        {"ParaLine without a tag takes Body", [] { conv().strings.hardreturn_seen = 1; }, zem("<ParaLine "),
         [] { return Ints{layout().pgf_tag_name == std::string("Body"), conv().strings.hardreturn_seen}; }, {1, 0}},
        {"long unknown colour in the text", [] { colours().curr_color = 5; },
         zem("<FColor `" + std::string(100, 'c') + "'><FSize 10pt>"), colour, {0, 63, 200}},
        {"PgfFont end", [] { std::strcpy(conv().fonts.font_family, "Helvetica"), conv().fonts.default_color = 4; },
         zem("<FSize 10pt><FCase FUppercase><PgfFont >"), [] {
             const FontStateRecord &p = conv().fonts.prev_font_state;
             return Ints{!std::strcmp(p.family, "Helvetica"), p.size, p.attributes, p.color,
                         !std::strcmp(p.color_name, "Black")};
         }, {1, 200, 0x400, 4, 1}},
        {"FSeparation 8", [] { version(3); }, zem("<FSeparation 8>"), colour, {5, 0, 0}},
        {"FSeparation, version 4", [] { version(4); }, zem("<FSeparation 3>"), colour, {5, 0, 0}},
        {"line end outside", in_line(0, 0, 1, 30), ">", line_end, {1, 30, 0}, ""},
        {"line end in a flow", in_line(1, 0, 0, 0), ">", line_end, {0, 0, 0}, "SNL"},
        {"line end after a hard return", in_line(1, 0, 1, 0), ">", line_end, {0, 0, 0}, ""},
        {"line end in a table", in_line(0, 1, 0, 0), ">", line_end, {0, 0, 0}, "SNL"},
        {"line end, line started", in_line(1, 0, 0, 40), ">", line_end, {0, 0, 1}, "SNL"},
        {"no cell image", in_cell({}, 0, 0), ">", para_end, {1, 1}},
        {"left cell flag 4", in_cell({0, 4, 32}, 1, 3), ">", para_end, {0, 0}},
        {"own flag 8", in_cell({0, 0, 40}, 1, 3), ">", para_end, {0, 0}},
        {"flag 32 alone", in_cell({0, 0, 32}, 1, 3), ">", para_end, {1, 1}},
        {"no flag 32", in_cell({0, 4, 8}, 1, 3), ">", para_end, {1, 1}},
        {"second column", in_cell({4, 32, 32}, 1, 2), ">", para_end, {1, 1}},
        {"row outside the image", in_cell({0, 4, 32}, 2, 3), ">", para_end, {1, 1}},
        {"xref source", [] {}, zem("<XRefSrcText `Intro'>"), xref, {1, 0}, nullptr, ""},
        {"xref, no string", [] {}, zem("<XRefSrcText 12>"), xref, {0, 0}, nullptr, "Tran: Could not read XREF string."},
        {"table ID 0", [] {}, zem("<TblID 0>"), xref, {0, 0}, nullptr, "Handle New Token: Table ID < 0."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart(), c.preset();
        Diagnostics diagnostics;
        OutputCapture capture;
        EXPECT_EQ(exit_code_of([&] { convert(c.text); }), -1);
        EXPECT_EQ(c.get(), c.expected);
        if (c.out) { EXPECT_EQ(visible(capture.bytes()), visible(*c.out ? record(c.out) : "")); }
        if (c.diagnostic) { EXPECT_EQ(diagnostics.seen, *c.diagnostic ? Strings{c.diagnostic} : Strings{}); }
    }
}

// Catches the working table not cleared at a new paragraph's first stop,
// cleared again at its second, a refused stop's values kept or counted,
// and slot 30 written (it would land in the next table).
TEST_F(DispatchTest, TabStopsFillTheWorkingTable) {
    const auto &tbl = tabs().work_tab_tbl;
    layout().curr_tab_idx = 5, tabs().work_tab_tbl[1][kTabPosition] = 77;
    convert(zem("<TabStop <TSX 2\"><TSDecimalChar 46>>"));
    EXPECT_EQ(Ints(tbl[0], tbl[0] + 4), (Ints{2880, 0, 0, 46}));
    EXPECT_EQ(Ints({tbl[1][kTabPosition], tabs().start_tab_table}), Ints(2, 0));
    // The second stop, then one the tab module refused.
    convert(zem("<TabStop <TSX 3\">>")), tabs().skip_tab = 1, convert(zem("<TabStop <TSDecimalChar 44>>"));
    EXPECT_EQ(Ints({tbl[0][kTabPosition], tbl[1][kTabPosition], tbl[2][kTabDecimal], layout().curr_tab_idx,
                    tabs().skip_tab}), (Ints{2880, 4320, 0, 2, 0}));
    layout().curr_tab_idx = kTabSlots, convert(zem("<TabStop <TSX 9\"><TSDecimalChar 46>>"));
    EXPECT_EQ(Ints(tabs().default_tab_tabl[0], tabs().default_tab_tabl[0] + 4), (Ints{1440, 'N', 0, 0}));
}

// Catches a record at the wrong offset, integers in host order, a record
// not cleared between colours, a tag not cut at 60 characters, a record
// stored or counted without a colour file, and file failures not ending
// the run with their codes.
TEST_F(DispatchTest, ColorEndStoresTheRecordInTheColourFile) {
    TempDir dir;
    const std::string ten = "0123456789", digits70 = ten + ten + ten + ten + ten + ten + ten;
    const std::string teal = zem("<Color <ColorTag `Teal'><ColorCyan 100><ColorMagenta 0><ColorYellow 50>>");
    const std::string long_tag = zem("<Color <ColorTag `" + digits70 + "'><ColorBlack 10>>");
    // Records 2 and 3 of 80 bytes: the name in 64, then cyan, magenta,
    // yellow and black in four bytes each, high byte first.
    const std::string expected = std::string(160, '\0') + "Teal" + std::string(60, '\0') +
                                 std::string("\0\0\0\x64\0\0\0\0\0\0\0\x32\0\0\0\0", 16) + digits70.substr(0, 60) +
                                 std::string(16, '\0') + std::string("\0\0\0\x0a", 4);
    ColourState &c = conv().colours;
    for (int code : {-1, 17, 4}) {  // stored; the seek fails; the write fails
        restart(), use_host_files(true);
        c.cmyk_fh = VOXopen(dir.file("colours").c_str(), 2, 1);
        ASSERT_GE(c.cmyk_fh, 0);
        std::strcpy(c.curr_cmyk_color.name, "Magentaish"), c.num_cmyk_colors = 2, c.curr_cmyk_color.black = 99;
        HostFilePlan &h = host_files();
        if (code > 0) (code == 17 ? h.fail_seek_at : h.fail_write_at) = (code == 17 ? h.seeks : h.writes) + 1;
        EXPECT_EQ(exit_code_of([&] { convert(teal + long_tag); }), code);
        if (code > 0) continue;
        VOXclose(std::exchange(c.cmyk_fh, -1)), convert(teal);  // without a colour file
        EXPECT_EQ(read_file(dir.file("colours")), expected);
        EXPECT_EQ(c.num_cmyk_colors, 4);
    }
}

// Catches a ruling stored in the wrong word and a table format cleared
// outside the table catalog.
TEST_F(DispatchTest, TableFormatWords) {
    int *work = conv().tables.tbl_cat_work, word = 7;  // the rulings are words 7 to 14, in this order
    Ints expected(kTblFormatWords, 99);
    for (int i = 0; i < kTblFormatWords; ++i) work[i] = 99;
    for (std::string ruling : {"L", "B", "R", "T", "Column", "BodyRow", "HFRow", "Separator"}) {
        convert(zem("<Tbl" + ruling + "Ruling `None'>")), expected[word++] = 0;
        EXPECT_EQ(Ints(work, work + kTblFormatWords), expected) << ruling;
    }
    convert(zem("<TblFormat "));
    EXPECT_EQ(work[0], 99);
    convert(zem("<TblCatalog <TblFormat "));
    EXPECT_EQ(Ints(work, work + kTblFormatWords), Ints(kTblFormatWords, 0));
}

}  // namespace
}  // namespace vox::test
