// Paragraph numbering: format escapes, reading the number text, the
// numbering definition PND (levels, prefixes and suffixes, the repeated
// format, series letters), the PGN level number, the number text between
// PGN and EPN, the number at the paragraph end, and the number font.
// Output is routed into the flow buffer as in a run; the records other
// modules write while text output is prepared are left out of the
// comparisons (see numbering_records).
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/file_access.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/numbering.h"
#include "converter/routing.h"
#include "converter/token_reader.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

std::string open(int token, const std::string &values = "") { return "<" + std::to_string(token) + "\xfe" + values; }
std::string stmt(int token, const std::string &values = "") { return open(token, values) + ">\r"; }

// One level of an expected PND record.
struct Level { int value; std::string prefix; int type; std::string suffix; int follows; };

// The PND record for these levels: the count, then per level value,
// prefix, type, 0, suffix, follows.
std::string pnd(const std::vector<Level> &levels) {
    std::vector<std::string> params{std::to_string(levels.size())};
    for (const Level &l : levels) {
        for (const std::string &p : {std::to_string(l.value), l.prefix, std::to_string(l.type), std::string("0"),
                                     l.suffix, std::to_string(l.follows)})
            params.push_back(p);
    }
    return record("PND", params);
}

std::string pgn(int level) { return record("PGN", {std::to_string(level)}); }
const std::string kEPN = record("EPN");

// The elements of the output this module is answerable for: its own
// records, the character records of a number's hexadecimal characters, the
// line and paragraph ends, and text.  What preparing text output writes
// for other modules (font, style, attribute records) is dropped.
std::string numbering_records(const std::string &bytes) {
    static const std::set<std::string> kept = {"PND", "PGN", "EPN", "XCS", "UCS", "SNL", "HNL"};
    std::string out;
    for (const icf::Element &e : icf::parse(bytes)) {
        if (!e.is_record)
            out += e.text;
        else if (kept.count(e.code))
            out += record(e.code, e.params);
    }
    return out;
}

class NumberingTest : public ConverterTest {
  protected:
    TempDir dir;
    void SetUp() override {
        ConverterTest::SetUp();
        Conversion &c = conv();
        c.buffers.text_flow_buff = bufopen(1024);
        c.routing.text_flow = c.routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
        write_file(dir.file("fonts"), "");
        write_file(dir.file("chars"), char_catalog);
        c.driver.font_list_handle = VOXopen(dir.file("fonts").c_str(), 3, 1);
        c.driver.font_cat_handle = VOXopen(dir.file("chars").c_str(), 3, 1);
        // 2400 / 240: ten line-position units per character.
        c.fonts.curr_font_size = 240;
    }
    void TearDown() override {
        RedirectOutputClose();
        tf_free_pgf_num_list();
        tf_free_series_list();
        for (int *h : {&conv().driver.font_list_handle, &conv().driver.font_cat_handle})
            if (*h >= 0) VOXclose(*h);
        ConverterTest::TearDown();
    }
    void restart() { TearDown(), SetUp(); }
    // The driver's main loop over preprocessed text.
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc())
            if (c == '<')
                tf_handle_command_token();
            else if (c == '>')
                tf_end_token();
    }
    static std::string out() { return drain(conv().buffers.text_flow_buff); }
    static std::string defined(const char *format) {
        tf_handle_pnd(format);
        return icf::render(out());
    }
    static NumberingState &numbering() { return conv().numbering; }
    static void set_pending(const char *format, const char *text) {
        std::strcpy(numbering().pgf_num_format_str, format);
        std::strcpy(numbering().num_string_to_output, text);
    }
    std::string char_catalog;
};

// Catches an escape not resolved, a replaced character scanned again (so
// that "\\q" would become a quote), an unknown pair losing a character,
// and a backslash at the end read past.
TEST_F(NumberingTest, FormatEscapesResolveInPlace) {
    struct { const char *in, *out; } cases[] = {
        {"a\\>b", "a>b"},          {"\\Qx\\q", "`x'"},     {"\\\\", "\\"},
        {"\\\\q", "\\q"},          {"<n+>\\t", "<n+>\\t"}, {"\\<n>", "\\<n>"},
        {"end\\", "end\\"},        {"\\>\\>", ">>"},       {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        char text[64];
        std::strcpy(text, c.in);
        EXPECT_EQ(tf_fixup_special_string_chars(text), 0);
        EXPECT_STREQ(text, c.out);
    }
}

// Catches blanks not skipped, a line end swallowed, the 299-character cut
// off by one, characters past it left in the input, the attributes not
// taken, and a value that is no string consumed or leaving an earlier
// text pending.
TEST_F(NumberingTest, NumberTextIsReadUpToItsQuote) {
    const std::string long_text(310, '7');
    struct { const char *name; std::string input, text, rest; int attr; bool diagnostic; } cases[] = {
        {"blanks and tabs first", " \t`1.2'>\r", "1.2", ">\r", 9, false},
        {"empty", "`'>", "", ">", 9, false},
        {"cut by a line end", "`(a\r>", "(a", "\r>", 9, false},
        {"cut by a line feed", "`b\n", "b", "\n", 9, false},
        {"at most 299", "`" + long_text + "'>", long_text.substr(0, 299), ">", 9, false},
        {"not a string", " 12>", "", "12>", 5, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        std::strcpy(numbering().num_string_to_output, "old");
        numbering().pgf_num_attr = 5;
        conv().layout.curr_high_act = 9;
        std::vector<std::string> seen;
        vox42_set_diagnostic_listener(
            [](const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); }, &seen);
        feed(c.input);
        tf_handle_pgfstring_token();
        vox42_set_diagnostic_listener(nullptr, nullptr);
        EXPECT_EQ(numbering().num_string_to_output, c.text);
        EXPECT_EQ(rest(), c.rest);
        EXPECT_EQ(numbering().pgf_num_attr, c.attr);
        EXPECT_EQ(seen, c.diagnostic ? std::vector<std::string>{"PgfString Token: Did not read start of string."}
                                     : std::vector<std::string>{});
    }
}

// Each format on a fresh level table.  Catches literal text given to the
// wrong level (or as suffix instead of the next prefix), a prefix that does
// not carry over a block without literal text, the type of a non-counter
// block changed, "+" counting from the wrong level, "\t" not written as a
// space, trailing text after a non-counter block not taken as its prefix,
// the unterminated block, the no-block format, "=" values misread, a
// literal run kept past 101 characters, and the level index not stopping
// at 30 (blocks after the 30th overwrite level 30).
TEST_F(NumberingTest, DefinitionOfOneFormat) {
    const std::string run(120, 'L');
    std::string blocks;
    std::vector<Level> thirty;
    for (int i = 1; i <= 30; ++i) {
        blocks += "<n=" + std::to_string(i) + ">";
        thirty.push_back({i == 30 ? 32 : i, "", 0, "", i == 1 ? 0 : 1});
    }
    struct { std::string format; std::string pnd; } cases[] = {
        {"S:<n+>.<n=1>", pnd({{1, "", 0, "", 0}, {1, ".", 0, "", 1}})},
        {"<n+>\\t", pnd({{1, "", 0, " ", 0}})},
        {"<$chapnum>.<n+>", pnd({{0, "", 6, "", 0}, {1, ".", 0, "", 1}})},
        {"Chapter <A=3>: ", pnd({{3, "Chapter ", 3, ": ", 0}})},
        {"(<R=12>)<a=2>-<r+>", pnd({{12, "(", 5, "", 0}, {2, ")", 2, "", 1}, {1, "-", 4, "", 1}})},
        {"x<n+><n+>", pnd({{1, "x", 0, "", 0}, {1, "x", 0, "", 1}})},
        {"<n+><$x> end", pnd({{1, "", 0, "", 0}, {0, " end", 0, "", 1}})},
        {"<A=7><$x>", pnd({{7, "", 3, "", 0}, {0, "", 3, "", 1}})},
        {"< =4>", pnd({{4, "", 6, "", 0}})},
        {"Note\\tA", pnd({{0, "Note A", 6, "", 0}})},
        {"<n=4", pnd({{4, "", 0, "", 0}})},
        {"<n=x>", pnd({{0, "", 0, "", 0}})},
        {"<>", pnd({{0, "", 6, "", 0}})},
        {run + "<n=65>", pnd({{65, run.substr(0, 101), 0, "", 0}})},
        {blocks + "<n=31><n=32>", pnd(thirty)},
        // Equal to the last format defined (none yet): no record.
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format);
        restart();
        EXPECT_EQ(defined(c.format.c_str()), icf::render(c.pnd));
    }
}

// One conversion, format after format.  Catches a repeated format defined
// again, a series letter's counters not restored (or restored with their
// texts, or without their count), a letter's state not replaced at each
// save, a format without a letter not starting from a cleared table, the
// level count not kept at its highest, and a negative value overwriting a
// level.
TEST_F(NumberingTest, DefinitionsAcrossFormatsAndSeries) {
    struct { const char *format; std::string pnd; } steps[] = {
        {"S:<n+>", pnd({{1, "", 0, "", 0}})},
        {"S:<n+>", ""},
        {"T:<n=5>.<n+>", pnd({{5, "", 0, "", 0}, {1, ".", 0, "", 1}})},
        {"S:<n+>", pnd({{2, "", 0, "", 0}})},
        // T's second level comes back without its prefix.
        {"T:<n+>", pnd({{6, "", 0, "", 0}, {1, "", 0, "", 1}})},
        {"<R=2>", pnd({{2, "", 5, "", 0}, {0, "", 0, "", 0}})},
        {"S:<n=-1>", pnd({{2, "", 0, "", 0}})},
        {"S:<n+>", pnd({{3, "", 0, "", 0}})},
    };
    int number = 0;
    for (const auto &s : steps) {
        SCOPED_TRACE(++number);
        EXPECT_EQ(defined(s.format), icf::render(s.pnd));
    }
    EXPECT_EQ(numbering().max_pnd_levels, 1);
}

// Catches a non-counter block counted, a '<' inside a block taken as a new
// block, and a format without counters not counted as level 1.
TEST_F(NumberingTest, LevelNumberCountsCounterBlocks) {
    struct { const char *format; int level; } cases[] = {
        {"<n+>", 1},        {"<$chapnum>.<n+>", 1}, {"<n+>.<a+>.<A+>.<r+>.<R+>.< >", 6},
        {"Note", 1},        {"<x>", 1},             {"<$a<n>.<n+>", 1},
        {"S:<n+>.<n=1>", 2}, {"<n", 1},             {"<", 1},
    };
    for (const auto &c : cases) EXPECT_EQ(pgn_level_number(c.format), c.level) << c.format;
}

// Catches the number written when none is pending, PND repeated for a
// second paragraph of the same format, escapes of the number text written
// wrongly or counted wrongly on the line, the text left pending, the
// attributes not returned to the paragraph's, text_seen not set and
// para_num_end not restored.
TEST_F(NumberingTest, NumberTextIsWrittenBetweenPgnAndEpn) {
    tf_output_para_num_string();
    EXPECT_EQ(out(), "");
    EXPECT_EQ(conv().pages.others.text_seen, 0);

    Conversion &c = conv();
    c.layout.curr_high_act = 1;
    numbering().pgf_num_attr = 8;
    set_pending("<n+>.<n+>", "1.1");
    tf_output_para_num_string();
    set_pending("<n+>.<n+>", "1.2\\t");
    tf_output_para_num_string();
    const std::string twice = pnd({{1, "", 0, "", 0}, {1, ".", 0, "", 1}}) + pgn(2) + "1.1" + kEPN + pgn(2) + "1.2" + kEPN;
    EXPECT_EQ(icf::render(numbering_records(out())), icf::render(twice));
    EXPECT_EQ(numbering().num_string_to_output[0], '\0');
    EXPECT_EQ(c.layout.curr_high_act, 1);
    EXPECT_EQ(c.pages.others.text_seen, 1);
    EXPECT_EQ(c.paragraph_formats.para_num_end, 0);

    // 0x8E in set 819 is 233 (E9); "\>" and "\Q" count twice on the line,
    // "\z" writes nothing.
    c.strings.line_pos = 0;
    set_pending("<n+>.<n+>", "\\x8e 2\\>\\Q\\z");
    tf_output_para_num_string();
    EXPECT_EQ(icf::render(numbering_records(out())),
              icf::render(pgn(2) + record("XCS", {"819", "E9"}) + record("UCS", {"82"}) + "2>`" + kEPN));
    EXPECT_EQ(c.strings.line_pos, 60);
}

// Through the statements of two paragraphs.  Catches the number written at
// the line start when it belongs at the end (or twice), and written after
// the paragraph's closing HNL instead of before it.
TEST_F(NumberingTest, NumberAtTheParagraphEnd) {
    auto paragraph = [](const char *at_end) {
        return open(tok::Para) + "\r" + stmt(tok::PgfNumAtEnd, at_end) + stmt(tok::PgfNumFormat, "`(<a+>)'") +
               stmt(tok::PgfNumString, "`(a)'") + open(tok::ParaLine) + "\r" + stmt(tok::String, "`Hi'") + ">\r" +
               open(tok::ParaLine) + "\r" + stmt(tok::String, "`yo'") + ">\r" + ">\r";
    };
    const std::string definition = pnd({{1, "(", 2, ")", 0}});
    const std::string number = pgn(1) + "(a)" + kEPN;
    struct { const char *at_end; std::string records; } cases[] = {
        {"Yes", "Hi" + record("SNL") + "yo" + record("SNL") + definition + number + record("HNL")},
        {"No", definition + number + "Hi" + record("SNL") + "yo" + record("HNL")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.at_end);
        restart();
        convert(paragraph(c.at_end));
        EXPECT_EQ(icf::render(numbering_records(out())), icf::render(c.records));
    }
}

// Catches the number font not applied, the font state not restored from
// the saved name (font_family included), the colour and size not
// restored, and a restore made although the tag was unknown.
TEST_F(NumberingTest, NumberFontIsAppliedAndRestored) {
    auto be32 = [](int v) {
        const auto u = static_cast<unsigned>(v);
        return std::string{char(u >> 24), char(u >> 16), char(u >> 8), char(u)};
    };
    auto field = [](const std::string &text, std::size_t size) { return text + std::string(size - text.size(), '\0'); };
    // Character format "Num": Courier, 10 points, bold, colour 4 named Red.
    char_catalog = be32(2) + field("Num", 64) + field("Courier", 64) + be32(200) + be32(0) + be32(1) + be32(4) +
                   std::string(8, '\0') + field("Red", 64);
    // Restored: the family from the saved name, the attributes those of
    // the number.  Not found: nothing to restore.
    struct { const char *tag, *family; int attr; } cases[] = {{"Num", "Times", 8}, {"Other", "Helvetica", 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tag);
        restart();
        Conversion &v = conv();
        v.fonts.num_font_entries = 1;
        std::strcpy(v.strings.others.font_name, "Times");
        std::strcpy(v.fonts.font_family, "Helvetica");
        v.strings.others.curr_color = 2;
        v.layout.curr_high_act = 1;
        numbering().pgf_num_attr = 8;
        std::strcpy(numbering().pgf_num_font_name, c.tag);
        set_pending("<n+>", "3");
        tf_output_para_num_string();
        EXPECT_EQ(icf::render(numbering_records(out())), icf::render(pnd({{1, "", 0, "", 0}}) + pgn(1) + "3" + kEPN));
        EXPECT_STREQ(v.strings.others.font_name, "Times");
        EXPECT_STREQ(v.fonts.font_family, c.family);
        EXPECT_EQ(v.fonts.curr_font_size, 240);
        EXPECT_EQ(v.layout.curr_high_act, c.attr);
        EXPECT_EQ(v.strings.others.curr_color, 2);
    }
}

// Catches an allocation failure of a level text not ending the run with
// code 8, and an index out of range written.
TEST_F(NumberingTest, StoringALevel) {
    EXPECT_EQ(tf_save_pnd_level(30, 1, "", 0, "", 0), -1);
    CountingAllocator::install(1, true);
    EXPECT_EQ(exit_code_of([] { tf_save_pnd_level(0, 1, "text", 0, "", 0); }), 8);
    CountingAllocator::uninstall();
}

}  // namespace
}  // namespace vox::test
