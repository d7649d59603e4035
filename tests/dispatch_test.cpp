// The statement dispatchers: the token stack around them, and the start
// and end actions of the tokens handled in the dispatch itself.  Input is
// preprocessed text run through the same loop the driver runs.
#include <cstring>
#include <string>
#include <vector>

#include "common/file_access.h"
#include "common/kernel_state.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/token_reader.h"
#include "converter/token_table.h"
#include "test_support.h"

namespace vox::test {
namespace {

// A statement start and a whole statement, as the preprocessing pass writes them.
std::string open(int token, const std::string &values = "") {
    return "<" + std::to_string(token) + "\xfe" + values;
}
std::string stmt(int token, const std::string &values = "") { return open(token, values) + ">\r"; }

class DispatchTest : public ConverterTest {
  protected:
    void restart() {
        ConverterTest::TearDown();
        ConverterTest::SetUp();
    }
    // The driver's main loop: '<' starts a statement, '>' ends one, a
    // carriage return is skipped, anything else skips the rest of its line.
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
            if (c == '<')
                tf_handle_command_token();
            else if (c == '>')
                tf_end_token();
            else if (c != '\r')
                tf_eat_rest_of_line();
        }
    }
    static ParagraphLayoutState &layout() { return conv().layout; }
    static ParagraphFormatState &pf() { return conv().paragraph_formats; }
    static TabState &tabs() { return conv().tabs; }
    static TableState &tables() { return conv().tables; }
    static StringNeighbourFlags &flags() { return conv().strings.others; }
};

// Catches a token row attached to the wrong statement.
TEST_F(DispatchTest, TokenNumbersAreThoseOfTheTokenTable) {
#define VOX_CHECK_TOKEN(name, number) EXPECT_EQ(convert_token(#name), number) << #name;
    VOX_TOKEN_NUMBERS(VOX_CHECK_TOKEN)
#undef VOX_CHECK_TOKEN
}

// Catches an off-by-one stack limit, a stray '>' let through, and an
// unreadable number not pushed (its '>' would then close nothing) or its
// line skipped without stepping over a string holding '>'.
TEST_F(DispatchTest, TokenStackPairsStartsAndEnds) {
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += open(tok::Document) + "\r";
    struct { const char *name; std::string text; int code, open, last_err; } cases[] = {
        {"100 nested", hundred, -1, 100, 0},
        {"101 nested", hundred + open(tok::Document), 16, 100, 0},
        {"'>' with nothing open", ">\r", 16, 0, 0},
        {"one '>' too many", stmt(tok::Document) + ">\r", 16, 0, 0},
        {"unreadable number", "<\xfe" "ab`x>y'z\r>\r", -1, 0, 12},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        EXPECT_EQ(exit_code_of([&] { convert(c.text); }), c.code);
        EXPECT_EQ(conv().tokens.push_idx, c.open);
        EXPECT_EQ(kernel().errors.last_err, c.last_err);
    }
}

// Catches indents taken outside a Pgf and the flags missing or set by the
// right indent.
TEST_F(DispatchTest, IndentsOnlyInsideAPgf) {
    struct { const char *name; bool in_pgf; int token; const char *value; int first, left, right, flags; } cases[] = {
        {"first outside", false, tok::PgfFIndent, "1.0\"", 0, 0, 0, 0},
        {"left outside", false, tok::PgfLIndent, "1.0\"", 0, 0, 0, 0},
        {"right outside", false, tok::PgfRIndent, "1.0\"", 0, 0, 0, 0},
        {"first inside", true, tok::PgfFIndent, "1.0\"", 1440, 0, 0, 1},
        {"left inside", true, tok::PgfLIndent, "0.5\"", 0, 720, 0, 1},
        {"right inside", true, tok::PgfRIndent, "2\"", 0, 0, 2880, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        convert((c.in_pgf ? open(tok::Pgf) + "\r" : "") + stmt(c.token, c.value));
        EXPECT_EQ(layout().curr_first_indent, c.first);
        EXPECT_EQ(layout().curr_left_indent, c.left);
        EXPECT_EQ(layout().curr_right_indent, c.right);
        EXPECT_EQ(pf().left_indent_change, c.flags);
        EXPECT_EQ(layout().can_rest_mar, c.flags);
    }
}

// Catches values stored in the wrong place, a zero leading taken, and
// keywords compared loosely.
TEST_F(DispatchTest, ValuesAndWordsSetTheirVariables) {
    const std::string side_heads = stmt(tok::TFSideheadWidth, "1\"") + stmt(tok::TFSideheadGap, "0.5\"");
    struct { const char *name; void (*preset)(); std::string text; int (*get)(); int expected; } cases[] = {
        {"leading 0 ignored", nullptr, stmt(tok::PgfLeading, "0.0\""), [] { return layout().new_line_space; }, 40},
        {"leading 12pt", nullptr, stmt(tok::PgfLeading, "12.0pt"), [] { return layout().new_line_space; }, 240},
        {"space before", nullptr, stmt(tok::PgfSpBefore, "6pt"), [] { return layout().para_sp_before; }, 120},
        {"font size", nullptr, stmt(tok::FSize, "10pt"), [] { return conv().fonts.curr_font_size; }, 200},
        {"number at end Yes", nullptr, stmt(tok::PgfNumAtEnd, "Yes"), [] { return pf().para_num_end; }, 1},
        {"number at end yes", nullptr, stmt(tok::PgfNumAtEnd, "yes"), [] { return pf().para_num_end; }, 0},
        {"keep with next Yes", nullptr, stmt(tok::PgfWithNext, "Yes"),
         [] { return pf().keep_with_next + 2 * pf().output_kwn; }, 3},
        {"keep with next No", [] { pf().keep_with_next = pf().output_kwn = 1; }, stmt(tok::PgfWithNext, "No"),
         [] { return pf().keep_with_next + 2 * pf().output_kwn; }, 0},
        {"fixed spacing", nullptr, stmt(tok::PgfLineSpacing, "Fixed"), [] { return pf().fixed_line; }, 1},
        {"proportional spacing", [] { pf().fixed_line = 1; }, stmt(tok::PgfLineSpacing, "Proportional"),
         [] { return pf().fixed_line; }, 0},
        {"placement PageTop", nullptr, stmt(tok::PgfPlacement, "PageTop"), [] { return conv().pages.start_new_page; }, 1},
        {"side heads right", nullptr, stmt(tok::TFSideheadPlacement, "Right") + side_heads,
         [] { return layout().tf_right_off * 10 + layout().tf_left_off; }, 21600},
        {"side heads left", nullptr, stmt(tok::TFSideheadPlacement, "Left") + side_heads,
         [] { return layout().tf_right_off * 10 + layout().tf_left_off; }, 2160},
        {"ParaLine without a tag takes Body", [] { conv().strings.hardreturn_seen = 1; }, open(tok::ParaLine),
         [] { return int(std::strcmp(layout().pgf_tag_name, "Body") == 0) + 2 * conv().strings.hardreturn_seen; }, 1},
        {"colour in the catalog", [] { pf().in_pgfcatalog = 1; flags().curr_color = 5; }, stmt(tok::FColor, "`Red'"),
         [] { return flags().curr_color * 10 + int(std::strcmp(flags().color_name, "Red") == 0); }, 51},
        // An unknown colour name gives colour 0.
        {"colour in the text", [] { flags().curr_color = 5; }, stmt(tok::FColor, "`Red'"),
         [] { return flags().curr_color; }, 0},
        {"long colour name", nullptr, stmt(tok::FColor, "`" + std::string(100, 'c') + "'") + stmt(tok::FSize, "10pt"),
         [] { return int(std::strlen(flags().color_name)) * 1000 + conv().fonts.curr_font_size; }, 63200},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        if (c.preset) c.preset();
        convert(c.text);
        EXPECT_EQ(c.get(), c.expected);
    }
}

// Catches the version test inverted, the colour map misread, and a number
// outside the map read past its end.
TEST_F(DispatchTest, FSeparationMapsColoursOfVersion3Only) {
    struct { int version; const char *value; int color; } cases[] = {
        {3, "3", 2}, {3, "1", 7}, {3, "0", 0}, {3, "8", 5}, {4, "3", 5}, {5, "3", 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " " + c.value);
        restart();
        conv().preproc.zem_ver = c.version;
        flags().curr_color = 5;
        convert(stmt(tok::FSeparation, c.value));
        EXPECT_EQ(flags().curr_color, c.color);
    }
}

// Catches the case bits not exclusive or other attribute bits disturbed.
TEST_F(DispatchTest, FCaseSetsOneCaseBit) {
    struct { int before; const char *word; int after; } cases[] = {
        {0x001, "FUppercase", 0x401}, {0x400, "FSmallCaps", 0x800}, {0x800, "FUppercase", 0x400},
        {0xC09, "FAsTyped", 0x009},   {0x400, "FLowercase", 0x000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.word);
        layout().curr_high_act = c.before;
        convert(stmt(tok::FCase, c.word));
        EXPECT_EQ(layout().curr_high_act, c.after);
    }
}

// Catches the working table not cleared at a new paragraph's first stop,
// cleared again at its second, a repeated stop counted, and slot 30
// written (it would land in the next table).
TEST_F(DispatchTest, TabStopsFillTheWorkingTable) {
    layout().curr_tab_idx = 5;
    convert(open(tok::TabStop) + "\r" + stmt(tok::TSX, "2\"") + stmt(tok::TSDecimalChar, "46") + ">\r");
    EXPECT_EQ(std::vector<int>(tabs().work_tab_tbl[0], tabs().work_tab_tbl[0] + 4), (std::vector<int>{2880, 0, 0, 46}));
    for (int i = 1; i < kTabSlots; ++i) EXPECT_EQ(tabs().work_tab_tbl[i][kTabPosition], 0) << i;
    EXPECT_EQ(layout().curr_tab_idx, 1);
    EXPECT_EQ(tabs().start_tab_table, 0);

    convert(open(tok::TabStop) + "\r" + stmt(tok::TSX, "3\"") + ">\r");
    EXPECT_EQ(tabs().work_tab_tbl[0][kTabPosition], 2880);
    EXPECT_EQ(tabs().work_tab_tbl[1][kTabPosition], 4320);
    EXPECT_EQ(layout().curr_tab_idx, 2);

    // A stop the tab module refused: its values are ignored and it is not counted.
    tabs().skip_tab = 1;
    convert(open(tok::TabStop) + "\r" + stmt(tok::TSDecimalChar, "44") + ">\r");
    EXPECT_EQ(tabs().work_tab_tbl[2][kTabDecimal], 0);
    EXPECT_EQ(tabs().skip_tab, 0);
    EXPECT_EQ(layout().curr_tab_idx, 2);

    layout().curr_tab_idx = kTabSlots;
    convert(open(tok::TabStop) + "\r" + stmt(tok::TSX, "9\"") + stmt(tok::TSDecimalChar, "46") + ">\r");
    EXPECT_EQ(std::vector<int>(tabs().default_tab_tabl[0], tabs().default_tab_tabl[0] + 4),
              (std::vector<int>{1440, 'N', 0, 0}));
}

// Catches SNL written outside flows and tables, after a hard return, or
// the hard return not consumed.
TEST_F(DispatchTest, ParaLineEndWritesSoftNewLine) {
    struct {
        const char *name;
        int text_flow, in_table, hardreturn, line_pos;
        bool snl;
        int hardreturn_after, line_pos_after, snl_seen;
    } cases[] = {
        {"outside", 0, 0, 1, 30, false, 1, 30, 0},
        {"flow", 1, 0, 0, 0, true, 0, 0, 0},
        {"flow, after a hard return", 1, 0, 1, 0, false, 0, 0, 0},
        {"table", 0, 1, 0, 0, true, 0, 0, 0},
        {"flow, line started", 1, 0, 0, 40, true, 0, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        conv().pages.others.text_seen = 1;
        conv().routing.text_flow = c.text_flow;
        conv().routing.in_table = c.in_table;
        conv().strings.hardreturn_seen = c.hardreturn;
        conv().strings.line_pos = c.line_pos;
        OutputCapture capture;
        tf_handle_end_token(tok::ParaLine);
        EXPECT_EQ(visible(capture.bytes()), visible(c.snl ? record("SNL") : ""));
        EXPECT_EQ(conv().strings.hardreturn_seen, c.hardreturn_after);
        EXPECT_EQ(conv().strings.line_pos, c.line_pos_after);
        EXPECT_EQ(flags().snl_seen, c.snl_seen);
    }
}

// Catches the cell test of a straddled cell misread (row/column off by one,
// flags confused) or read outside the cell image.
TEST_F(DispatchTest, ParaEndEndsTheParagraphUnlessTheCellKeepsIt) {
    struct { const char *name; std::vector<int> cells; int row, col; bool ended; } cases[] = {
        {"no cell image", {}, 0, 0, true},
        {"left cell flag 4", {0, 4, 32}, 1, 3, false},
        {"own flag 8", {0, 0, 40}, 1, 3, false},
        {"flag 32 alone", {0, 0, 32}, 1, 3, true},
        {"no flag 32", {0, 4, 8}, 1, 3, true},
        {"second column", {4, 32, 32}, 1, 2, true},
        {"row outside the image", {0, 4, 32}, 2, 3, true},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        conv().routing.in_table = 1;
        conv().buffers.table_buff = bufopen(512);
        TableState &t = tables();
        t.table_cell_image = c.cells.empty() ? nullptr : c.cells.data();
        t.curr_tbl_max_rows = 1;
        t.curr_tbl_max_columns = 3;
        t.curr_row = c.row;
        t.curr_col = c.col;
        tabs().start_tab_table = 0;
        OutputCapture capture;
        tf_handle_end_token(tok::Para);
        EXPECT_EQ(layout().pars_in_doc, c.ended ? 1 : 0);
        EXPECT_EQ(tabs().start_tab_table, c.ended ? 1 : 0);
        t.table_cell_image = nullptr;
    }
}

TEST_F(DispatchTest, PgfFontEndRemembersTheParagraphFont) {
    FontState &f = conv().fonts;
    std::strcpy(f.font_family, "Helvetica");
    f.curr_font_size = 200;
    f.default_color = 4;
    std::strcpy(f.prev_font_state.color_name, "Cyan");
    layout().curr_high_act = 9;
    convert(open(tok::PgfFont) + "\r");
    EXPECT_EQ(pf().in_pgffont, 1);
    convert(">\r");
    EXPECT_STREQ(f.prev_font_state.family, "Helvetica");
    EXPECT_EQ(f.prev_font_state.size, 200);
    EXPECT_EQ(f.prev_font_state.attributes, 9);
    EXPECT_EQ(f.prev_font_state.color, 4);
    EXPECT_STREQ(f.prev_font_state.color_name, "Black");
    EXPECT_EQ(pf().in_pgffont, 0);
}

// Catches a record at the wrong offset, integers in host order, a record
// not cleared between colours, a tag not cut at 60 characters, and file
// failures not ending the run with their codes.
TEST_F(DispatchTest, ColorEndStoresTheRecordInTheColourFile) {
    TempDir dir;
    const std::string path = dir.file("colours");
    const std::string digits70 = "0123456789012345678901234567890123456789012345678901234567890123456789";
    const std::string teal = open(tok::Color) + "\r" + stmt(tok::ColorTag, "`Teal'") + stmt(tok::ColorCyan, "100") +
                             stmt(tok::ColorMagenta, "0") + stmt(tok::ColorYellow, "50") + ">\r";
    write_file(path, "");
    ColourState &c = conv().colours;
    c.cmyk_fh = VOXopen(path.c_str(), 3, 1);
    ASSERT_GE(c.cmyk_fh, 0);
    c.num_cmyk_colors = 2;
    std::strcpy(c.curr_cmyk_color.name, "Magentaish");
    c.curr_cmyk_color.black = 99;
    convert(teal + open(tok::Color) + "\r" + stmt(tok::ColorTag, "`" + digits70 + "'") + stmt(tok::ColorBlack, "10") +
            ">\r");
    VOXclose(c.cmyk_fh);
    c.cmyk_fh = -1;
    std::string expected(160, '\0');
    expected += "Teal" + std::string(60, '\0') + std::string("\0\0\0\x64\0\0\0\0\0\0\0\x32\0\0\0\0", 16);
    expected += digits70.substr(0, 60) + std::string(4, '\0') + std::string(12, '\0') + std::string("\0\0\0\x0a", 4);
    EXPECT_EQ(read_file(path), expected);
    EXPECT_EQ(c.num_cmyk_colors, 4);

    // No colour file: nothing stored, nothing counted.
    convert(teal);
    EXPECT_EQ(c.num_cmyk_colors, 4);

    struct { const char *name; bool seek; int code; } failures[] = {{"seek", true, 17}, {"write", false, 4}};
    for (const auto &f : failures) {
        SCOPED_TRACE(f.name);
        restart();
        use_host_files(true);
        conv().colours.cmyk_fh = VOXopen(path.c_str(), 3, 1);
        ASSERT_GE(conv().colours.cmyk_fh, 0);
        if (f.seek)
            host_files().fail_seek_at = host_files().seeks + 1;
        else
            host_files().fail_write_at = host_files().writes + 1;
        EXPECT_EQ(exit_code_of([&] { convert(teal); }), f.code);
        use_host_files(false);
    }
}

// Catches the diagnostic texts changed, and the link flags of a cross-
// reference source set although its string could not be read.
TEST_F(DispatchTest, CrossReferencesAndTableIdsReportBadValues) {
    struct { const char *name; std::string text; int open_link; std::vector<std::string> messages; } cases[] = {
        {"xref source", stmt(tok::XRefSrcText, "`Intro'"), 1, {}},
        {"xref source without string", stmt(tok::XRefSrcText, "12"), 0, {"Tran: Could not read XREF string."}},
        {"table ID 0", stmt(tok::TblID, "0"), 0, {"Handle New Token: Table ID < 0."}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        std::vector<std::string> seen;
        vox42_set_diagnostic_listener(
            [](const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); }, &seen);
        convert(c.text);
        vox42_set_diagnostic_listener(nullptr, nullptr);
        EXPECT_EQ(seen, c.messages);
        EXPECT_EQ(conv().references.xref_src_open, c.open_link);
    }
}

// Catches a ruling stored in the wrong word and a table format cleared
// outside the table catalog.
TEST_F(DispatchTest, TableFormatWords) {
    struct { int token, word; } rulings[] = {
        {tok::TblLRuling, 7},       {tok::TblBRuling, 8},        {tok::TblRRuling, 9},
        {tok::TblTRuling, 10},      {tok::TblColumnRuling, 11},  {tok::TblBodyRowRuling, 12},
        {tok::TblHFRowRuling, 13},  {tok::TblSeparatorRuling, 14},
    };
    for (const auto &r : rulings) {
        SCOPED_TRACE(r.token);
        std::vector<int> expected(kTblFormatWords, 99);
        expected[r.word] = 0;
        for (int &word : tables().tbl_cat_work) word = 99;
        convert(stmt(r.token, "`None'"));
        EXPECT_EQ(std::vector<int>(tables().tbl_cat_work, tables().tbl_cat_work + kTblFormatWords), expected);
    }
    convert(open(tok::TblFormat) + "\r");
    EXPECT_EQ(tables().tbl_cat_work[0], 99);
    convert(open(tok::TblCatalog) + "\r" + open(tok::TblFormat) + "\r");
    EXPECT_EQ(std::vector<int>(tables().tbl_cat_work, tables().tbl_cat_work + kTblFormatWords),
              std::vector<int>(kTblFormatWords, 0));
}

}  // namespace
}  // namespace vox::test
