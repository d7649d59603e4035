// Paragraph numbering: format escapes, reading the number text, the
// numbering definition PND (levels, prefixes and suffixes, the repeated
// format, series letters), the PGN level number, the number text between
// PGN and EPN, and the number font.  Output is routed into the flow buffer
// as in a run; the records other modules write while text output is
// prepared are left out of the comparisons (see numbering_records).  The
// number-* and numbering-series-and-repeat documents pin the usual
// definitions (a series with two levels, a "\t" suffix, a repeated format,
// a series resumed after another), the number at the paragraph end or at
// its start, a number with a tab, and a number font applied and left.
#include <cstring>

#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/numbering.h"
#include "converter/routing.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;

// One level of an expected PND record.
struct Level { int value; std::string prefix; int type; std::string suffix; int follows; };

// The PND record for these levels: the count, then per level value,
// prefix, type, 0, suffix, follows.
std::string pnd(const std::vector<Level> &levels) {
    Strings p{std::to_string(levels.size())};
    for (const Level &l : levels)
        p.insert(p.end(), {std::to_string(l.value), l.prefix, std::to_string(l.type), "0", l.suffix,
                           std::to_string(l.follows)});
    return record("PND", p);
}
std::string pgn(int level) { return record("PGN", {std::to_string(level)}); }
const std::string kEPN = record("EPN");

// The rendering of the elements of the output this module is answerable
// for: its own records, the character records of a number's hexadecimal
// characters, the line and paragraph ends, and text.  What preparing text
// output writes for other modules (font, style, attribute records) is
// dropped.
std::string numbering_records(const std::string &bytes) {
    const std::string kept = "PND PGN EPN XCS UCS SNL HNL";
    std::string out;
    for (const icf::Element &e : icf::parse(bytes))
        out += !e.is_record ? e.text : kept.find(e.code) != std::string::npos ? record(e.code, e.params) : "";
    return icf::render(out);
}

class NumberingTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        conv().routing.text_flow = conv().routing.redirect_mode = 1;
        // 2400 / 240: ten line-position units per character.
        conv().buffers.text_flow_buff = bufopen(1024), conv().fonts.curr_font_size = 240;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    void TearDown() override { RedirectOutputClose(); ConverterTest::TearDown(); }
    template <class F> std::string out_of(F f) { f(); return numbering_records(drain(conv().buffers.text_flow_buff)); }
    // The number text in this format, as the end of a paragraph's first line writes it.
    std::string number(const char *format, const char *text) {
        std::strcpy(numbering().pgf_num_format_str, format), std::strcpy(numbering().num_string_to_output, text);
        return out_of(tf_output_para_num_string);
    }
    static NumberingState &numbering() { return conv().numbering; }
};

// Catches an escape not resolved, a replaced character scanned again (so
// that "\\q" would become a quote), an unknown pair losing a character, a
// backslash at the end read past; and in the level number, a non-counter
// block counted, a '<' inside a block taken as a new block, and a format
// without counters not counted as level 1.
TEST_F(NumberingTest, FormatEscapesAndLevelNumbers) {
    struct { const char *in, *out; } escapes[] = {
        {"a\\>b", "a>b"}, {"\\Qx\\q", "`x'"},   {"\\\\", "\\"},    {"\\\\q", "\\q"}, {"<n+>\\t", "<n+>\\t"},
        {"\\<n>", "\\<n>"}, {"end\\", "end\\"}, {"\\>\\>", ">>"}, {"", ""},
    };
    for (const auto &c : escapes) {
        std::string text = c.in;
        EXPECT_STREQ((tf_fixup_special_string_chars(text.data()), text.c_str()), c.out) << c.in;
    }
    struct { const char *format; int level; } levels[] = {
        {"<n+>", 1}, {"<$chapnum>.<n+>", 1}, {"<n+>.<a+>.<A+>.<r+>.<R+>.< >", 6}, {"Note", 1}, {"<x>", 1},
        {"<$a<n>.<n+>", 1}, {"S:<n+>.<n=1>", 2}, {"<n", 1}, {"<", 1},
    };
    for (const auto &c : levels) EXPECT_EQ(pgn_level_number(c.format), c.level) << c.format;
}

// Catches blanks not skipped, a line end swallowed, the 299-character cut
// off by one, characters past it left in the input, the attributes not
// taken, and a value that is no string consumed or leaving an earlier
// text pending (or not reported).
TEST_F(NumberingTest, NumberTextIsReadUpToItsQuote) {
    struct { std::string input, text, rest; bool bad; } cases[] = {
        {" \t`1.2'>\r", "1.2", ">\r", false}, {"`'>", "", ">", false}, {"`(a\r>", "(a", "\r>", false},
        {"`b\n", "b", "\n", false}, {"`" + std::string(310, '7') + "'>", std::string(299, '7'), ">", false},
        {" 12>", "", "12>", true},
    };
    Diagnostics diagnostics;
    Strings &seen = diagnostics.seen;
    for (const auto &c : cases) {
        std::strcpy(numbering().num_string_to_output, "old");
        numbering().pgf_num_attr = 5, conv().layout.curr_high_act = 9;
        seen.clear(), feed(c.input), tf_handle_pgfstring_token();
        EXPECT_EQ(numbering().num_string_to_output + ("|" + rest()) + std::to_string(numbering().pgf_num_attr),
                  c.text + "|" + c.rest + (c.bad ? "5" : "9"));
        EXPECT_EQ(seen, c.bad ? Strings{"PgfString Token: Did not read start of string."} : Strings{});
    }
}

// Formats, each on a fresh level table (F), then one conversion format
// after format.  Catches literal text given to the wrong level (or as
// suffix instead of the next prefix), a prefix that does not carry over a
// block without literal text, the type of a non-counter block changed, "+"
// counting from the wrong level, "\t" not written as a space, trailing text
// after a non-counter block not taken as its prefix, the unterminated
// block, the no-block format, "=" values misread, a literal run kept past
// 101 characters, the level index not stopping at 30 (blocks after the
// 30th overwrite level 30); a series
// letter's counters not restored (or restored with their texts, or without
// their count), a letter's state not replaced at each save, a format
// without a letter not starting from a cleared table, the level count not
// kept at its highest, and a negative value overwriting a level (T's
// second level comes back without its prefix).  Storing a level: an index
// out of range written, or an allocation failure not ending the run with
// code 8.  (A repeated format and the plain two-level series are in the
// numbering-series-and-repeat document.)
TEST_F(NumberingTest, Definitions) {
    std::string blocks;
    std::vector<Level> thirty;
    for (int i = 1; i <= 30; ++i)
        blocks += "<n=" + std::to_string(i) + ">", thirty.push_back({i == 30 ? 32 : i, "", 0, "", i == 1 ? 0 : 1});
    // Fresh: on a fresh level table.  The first "": equal to the last format
    // defined (none yet), no record.
    struct { int fresh; std::string format; std::string pnd; } steps[] = {
        {1, "", ""}, {1, "< =4>", pnd({{4, "", 6, "", 0}})}, {1, "Note\\tA", pnd({{0, "Note A", 6, "", 0}})},
        {1, "<$chapnum>.<n+>", pnd({{0, "", 6, "", 0}, {1, ".", 0, "", 1}})},
        {1, "(<R=12>)<a=2>-<r+>", pnd({{12, "(", 5, "", 0}, {2, ")", 2, "", 1}, {1, "-", 4, "", 1}})},
        {1, "x<n+><n+>", pnd({{1, "x", 0, "", 0}, {1, "x", 0, "", 1}})}, {1, "<n=x>", pnd({{0, "", 0, "", 0}})},
        {1, "<n+><$x> end", pnd({{1, "", 0, "", 0}, {0, " end", 0, "", 1}})}, {1, "<>", pnd({{0, "", 6, "", 0}})},
        {1, "<A=7><$x>", pnd({{7, "", 3, "", 0}, {0, "", 3, "", 1}})}, {1, "<n=4", pnd({{4, "", 0, "", 0}})},
        {1, std::string(120, 'L') + "<n=65>", pnd({{65, std::string(101, 'L'), 0, "", 0}})},
        {1, blocks + "<n=31><n=32>", pnd(thirty)}, {1, "S:<n+>", pnd({{1, "", 0, "", 0}})},
        {0, "T:<n=5>.<n+>", pnd({{5, "", 0, "", 0}, {1, ".", 0, "", 1}})}, {0, "S:<n+>", pnd({{2, "", 0, "", 0}})},
        {0, "T:<n+>", pnd({{6, "", 0, "", 0}, {1, "", 0, "", 1}})},
        {0, "<R=2>", pnd({{2, "", 5, "", 0}, {0, "", 0, "", 0}})},
        {0, "S:<n=-1>", pnd({{2, "", 0, "", 0}})}, {0, "S:<n+>", pnd({{3, "", 0, "", 0}})},
    };
    for (const auto &s : steps) {
        if (s.fresh) TearDown(), SetUp();
        EXPECT_EQ(out_of([&] { tf_handle_pnd(s.format.c_str()); }), icf::render(s.pnd)) << s.format;
    }
    EXPECT_EQ(numbering().max_pnd_levels, 1);
    EXPECT_EQ(tf_save_pnd_level(30, 1, "", 0, "", 0), -1);
    CountingAllocator::install(1, true);
    EXPECT_EQ(exit_code_of([] { tf_save_pnd_level(0, 1, "text", 0, "", 0); }), 8);
    CountingAllocator::uninstall();
}

// Catches the number written when none is pending, PND repeated for a
// second paragraph of the same format, escapes of the number text written
// wrongly or counted wrongly on the line, the text left pending, the
// attributes not returned to the paragraph's, text_seen not set and
// para_num_end not restored; and the number font not applied, the font
// state not restored from the saved name (font_family included), the
// colour and size not restored, and a restore made although the tag was
// unknown.
TEST_F(NumberingTest, NumberTextIsWrittenBetweenPgnAndEpn) {
    Conversion &c = conv();
    EXPECT_EQ((number("<n+>", ""), c.frames.text_seen), 0);
    EXPECT_EQ(number("<n+>", ""), "");
    c.layout.curr_high_act = 1, numbering().pgf_num_attr = 8, c.strings.line_pos = 0;
    EXPECT_EQ(number("<n+>.<n+>", "1.1"),
              icf::render(pnd({{1, "", 0, "", 0}, {1, ".", 0, "", 1}}) + pgn(2) + "1.1" + kEPN));
    EXPECT_EQ(number("<n+>.<n+>", "1.2\\t"), icf::render(pgn(2) + "1.2" + kEPN));
    EXPECT_EQ(numbering().num_string_to_output[0] + c.layout.curr_high_act * 10 + c.frames.text_seen * 100 +
                  c.paragraph_formats.para_num_end * 1000, 110);
    // 0x8E in set 819 is 233 (E9); "\>" and "\Q" count twice on the line,
    // "\z" and "\t" write nothing: 30 + 30 + 60 line-position units.
    EXPECT_EQ(number("<n+>.<n+>", "\\x8e 2\\>\\Q\\z"),
              icf::render(pgn(2) + record("XCS", {"819", "E9"}) + record("UCS", {"82"}) + "2>`" + kEPN));
    EXPECT_EQ(c.strings.line_pos, 120);
    // Character format "Num": Courier, 10 points, bold, colour 4 named Red.
    auto be32 = [](unsigned u) { return std::string{char(u >> 24), char(u >> 16), char(u >> 8), char(u)}; };
    auto field = [](std::string text) { return text.append(64 - text.size(), '\0'); };
    write_file(c.driver.font_cat_name, be32(2) + field("Num") + field("Courier") + be32(200) + be32(0) + be32(1) +
                                           be32(4) + std::string(8, '\0') + field("Red"));
    c.fonts.num_font_entries = 1;
    // Restored: the family from the saved name, the attributes those of
    // the number.  Not found: nothing to restore.
    struct { const char *tag, *family; int attr; } fonts[] = {{"Num", "Times", 8}, {"Other", "Helvetica", 1}};
    for (const auto &f : fonts) {
        c.colours.curr_color = 2, c.layout.curr_high_act = 1, std::strcpy(numbering().pgf_num_font_name, f.tag);
        std::strcpy(c.fonts.font_name, "Times"), std::strcpy(c.fonts.font_family, "Helvetica");
        EXPECT_EQ(number("<n+>.<n+>", "3"), icf::render(pgn(2) + "3" + kEPN)) << f.tag;
        const int state = c.fonts.curr_font_size * 100 + c.layout.curr_high_act * 10 + c.colours.curr_color;
        EXPECT_EQ(std::string(c.fonts.font_name) + "|" + c.fonts.font_family + "|" + std::to_string(state),
                  std::string("Times|") + f.family + "|" + std::to_string(24002 + f.attr * 10));
    }
}

}  // namespace
}  // namespace vox::test
