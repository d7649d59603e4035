// Strings and special characters: the string reader and writer, backslash
// sequences, hexadecimal characters, the ZEM character conversion, Char
// words, the attribute statements and the paragraph end.  The specials,
// attributes, alignment, indents and space-before-after documents pin the
// records of set 819 characters, the quoting and escape sequences, a cut
// string, the attribute words, and the paragraph end's HNL 1 records,
// margin restore and local-style alignment; the cases here are those the
// documents cannot see (positions and counts, results, diagnostics, flags).

#include <cstdio>

#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/token_table.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;
using Ints = std::vector<int>;

class StringsTest : public ConverterTest {
  protected:
    // Routed text bytes reach b_putc, where OutputCapture sees them.  The
    // paragraph font is in place and already written, so that preparing
    // text output writes nothing unless a case changes the font.
    void SetUp() override {
        ConverterTest::SetUp();
        conv().routing.output_to_int_file = 1, conv().routing.redirect_mode = 0;
        use_written_paragraph_font();
        vox42_set_diagnostic_listener([](const char *t, void *u) { static_cast<Strings *>(u)->push_back(t); }, &seen_);
    }
    void TearDown() override { vox42_set_diagnostic_listener(nullptr, nullptr), ConverterTest::TearDown(); }
    void restart() { TearDown(), SetUp(), seen_.clear(); }
    static StringState &strings() { return conv().strings; }
    static ParagraphLayoutState &layout() { return conv().layout; }
    static ParagraphFormatState &pgf() { return conv().paragraph_formats; }
    static TabState &tabs() { return conv().tabs; }
    static ReferenceState &refs() { return conv().references; }
    Strings seen_;  // diagnostics
};

// The set and code tf_convert_char_from gives a ZEM character.
std::pair<int, int> convert(int zem) { int set = 0; return tf_convert_char_from(&set, &zem), std::make_pair(set, zem); }

// Catches a set searched out of order, a wrong table entry, or a code that
// should miss set 819 found there (exactly ten of 128..255 do).
TEST_F(StringsTest, ConvertCharFromSearchesTheSetsInOrder) {
    struct { int zem, set, code; } cases[] = {
        {0x8E, 819, 233}, {0xA5, 819, 149}, {0xD0, 819, 150}, {0xA1, 850, 248}, {0xDA, 9999, 218}, {0xDE, 437, 95},
    };
    for (const auto &c : cases) EXPECT_EQ(convert(c.zem), std::make_pair(c.set, c.code)) << c.zem;
    std::vector<int> missing;
    for (int zem = 128; zem < 256; ++zem) if (convert(zem).first != 819) missing.push_back(zem);
    EXPECT_EQ(missing, (Ints{0xA1, 0xDA, 0xDE, 0xDF, 0xF5, 0xF9, 0xFA, 0xFD, 0xFE, 0xFF}));
}

// Strings: catches a sequence converted wrongly, the blank after a hex
// character kept, an unknown pair written, a cut string reported as whole,
// the position or paragraph counts off, and text output prepared for a
// value that is no string, or after a forced line end's records (a pending
// change from 12 to 24 points is written as SPF(2400 / 240, font 1,
// 2400 / 480, font 1, 480, Times)).  Hex
// characters: a converted character written in the wrong set, the Symbol
// font (any case) not kept in set 9998, the hard space and hyphen confused.
// Char words: one mapped to the wrong record or position change, and a
// forced line end that does not bring the line's formatting up to date
// before its records.  Frame text: converted with the String rules
// (unknown and string-only pairs must be kept here), or converted when
// conversion is off.  Each row: what it is, how it is written, the font,
// the font size, the position before, the input (or value, or text), the
// records written, the result, the position after, the characters counted
// in the paragraph (only those of a String's text count), and what is left
// of the input.
TEST_F(StringsTest, TextWriters) {
    // The ways text is written: a String value read from the input, a
    // hexadecimal character, a Char word read from the input, and frame text.
    using Writer = int (*)(const char *);
    Writer string_value = [](const char *input) { return feed(input), tf_write_out_string(); };
    Writer hex_char = [](const char *value) { return tf_handle_string_hex_char(std::stoi(value, nullptr, 16)), 0; };
    Writer char_word = [](const char *input) { return feed(input), tf_handle_char_token(), 0; };
    Writer frame_text = [](const char *text) { return tf_frame_from_out_string(text); };
    Writer frame_copied = [](const char *t) { return conv().routing.convert_string = 0, tf_frame_from_out_string(t); };
    struct { const char *name; Writer write; const char *font; int size, pos; const char *input, *rendering;
             int result, line_pos, para_chars; const char *rest; } cases[] = {
        {"plain after blanks", string_value, "Times", 240, 0, " \t`abc'>\r", "\"abc\"\n", 0, 30, 3, ">\r"},
        // Quoting sequences count twice; an unknown one is dropped.
        {"sequences", string_value, "Times", 240, 0, "`\\Q\\q\\<\\>\\\\a\\zb'", "\"`'<>\\\\ab\"\n", 0, 120, 7, ""},
        // A hex character eats the blank after it, or ends at a backslash.
        {"hex", string_value, "Times", 240, 0, "`\\xd0 x\\x11\\x15 '", "XCS 819 96\n\"_x\"\nNBR\nHHC\n", 0, 40, 1, ""},
        {"empty", string_value, "Times", 240, 0, "`'>", "", 0, 0, 0, ">"},
        {"cut by a line end", string_value, "Times", 240, 0, "`cut\r>", "\"cut\"\n", 1, 30, 3, "\r>"},
        {"not a string, font change pending", string_value, "Times", 480, 0, "x'", "", 1, 0, 0, "'"},
        {"hard hyphen", hex_char, "Symbol", 240, 0, "15", "HHC\n", 0, 10, 0, ""},
        {"symbol font keeps its codes", hex_char, "sYmBoL", 240, 0, "B1", "XCS 9998 B1\nUCS F1\n", 0, 10, 0, ""},
        {"negative writes nothing", hex_char, "Times", 240, 0, "-1", "", 0, 0, 0, ""},
        {"Bullet", char_word, "Times", 240, 50, "Bullet>", "XCS 819 95\n\"_\"\n", 0, 70, 0, ">"},
        {"HardSpace", char_word, "Times", 240, 50, " \tHardSpace>", "NBR\n", 0, 60, 0, ">"},
        {"SoftHyphen", char_word, "Times", 240, 50, "SoftHyphen>", "SHC\n", 0, 60, 0, ">"},
        {"Unknown", char_word, "Times", 240, 50, "Unknown>", "", 0, 60, 0, ">"},
        {"HardReturn", char_word, "Times", 480, 50, "HardReturn>", "SPF 10 1 5 1 480 Times\nNLN\nHNL\n", 0, 0, 0, ">"},
        // Unknown and string-only pairs kept, a hex character eating the blank
        // after it, a bullet, and a trailing backslash.
        {"frame text", frame_text, "Times", 240, 0, "a\\zb\\Q\\q\\xd0 x\\bend\\",
         "\"a\\\\zb\\\\Q\\\\q\"\nXCS 819 96\n\"_x\"\nXCS 819 95\n\"_end\\\\\"\n", 0, 20, 0, ""},
        {"conversion off", frame_copied, "Times", 240, 0, "\\xd0\\z", "\"\\\\xd0\\\\z\"\n", 0, 0, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart(), std::snprintf(conv().fonts.font_name, sizeof conv().fonts.font_name, "%s", c.font);
        conv().fonts.curr_font_size = c.size, strings().line_pos = c.pos;
        OutputCapture capture;
        EXPECT_EQ(c.write(c.input), c.result);
        EXPECT_EQ(icf::render(capture.bytes()), c.rendering);
        EXPECT_EQ((Ints{strings().line_pos, strings().para_char_cnt, strings().hardreturn_seen}),
                  (Ints{c.line_pos, c.para_chars, std::string(c.name) == "HardReturn"}));
        EXPECT_EQ(rest(), c.rest);
    }
}

// Catches a yes/no not read exactly or not reported, a token that is no
// attribute changing the bits, FWeight / FAngle not noting that they were
// stated, and a missing string not reported.  (The bits each statement and
// word sets or clears are pinned by the attributes document and the fonts
// tests.)
TEST_F(StringsTest, AttributeStatements) {
    auto weight = [](int) { return tf_do_fweight_token(); };
    auto angle = [](int) { return tf_do_fangle_token(); };
    struct { const char *name; int (*handler)(int); const char *token, *input; int before, after, fweight, fangle;
             const char *diagnostic; } cases[] = {
        {"lower-case yes", tf_set_high_stat, "FBold", "yes>", 0, 0, 0, 0, "Set Hig Bit: Did not read Yes/No."},
        {"not an attribute", tf_set_high_stat, "String", "Yes>", 5, 5, 0, 0, nullptr},
        {"DemiBold sets bold", weight, "", "`DemiBold'>", 8, 9, 1, 0, nullptr},
        {"weight without a string", weight, "", ">", 1, 1, 0, 0, "Do FWeight Token: Could not read string."},
        {"Oblique sets italic", angle, "", "`Oblique'>", 1, 9, 0, 1, nullptr},
        {"angle without a string", angle, "", ">", 8, 8, 0, 0, "Do FAngle Token: Could not read string."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart(), layout().curr_high_act = c.before, feed(c.input), c.handler(c.token[0] ? convert_token(c.token) : 0);
        EXPECT_EQ((Ints{layout().curr_high_act, layout().fweight_set, layout().fangle_set}),
                  (Ints{c.after, c.fweight, c.fangle}));
        EXPECT_EQ(seen_, c.diagnostic ? Strings{c.diagnostic} : Strings{});
        EXPECT_EQ(rest(), ">");
    }
}

// Catches leading zeros kept, the top nibble lost, or a new text each call.
TEST_F(StringsTest, ItoszhexDropsLeadingZeros) {
    std::pair<unsigned, const char *> cases[] = {{6699, "1A2B"}, {0, ""}, {0x10, "10"}, {0xFFFFFFFFu, "FFFFFFFF"}};
    const char *first = itoszhex(1);
    for (const auto &c : cases) EXPECT_STREQ(itoszhex(c.first) == first ? first : "(a new text)", c.second) << c.first;
}

// Catches a paragraph end outside a flow doing more than restore margins,
// and inside one: the paragraph not counted, alignment, snl_seen dropped in
// a table, the blank lines owed or eat_snl wrong for a second style, the
// deferred page break, and the flags not reset.  No flow or table buffer is
// open, so the line-end rewrite finds no SNL to turn into HNL and writes a
// plain HNL where the paragraph ends.  Each row: what it is, in a table, a
// second style, the blank lines owed, a page break after the paragraph, the
// records, the current alignment after, snl_seen after and the blank lines
// still owed after.
TEST_F(StringsTest, HardNewLineEndsTheParagraph) {
    tabs().temp_rsm = pgf().after_num_hnl = 1;
    tf_handle_hard_new_line();  // outside a flow: nothing written (no capture routing needed)
    EXPECT_EQ((Ints{tabs().temp_rsm, layout().pars_in_doc, tabs().can_do_tmp_mar, pgf().after_num_hnl}),
              (Ints{0, 0, 1, 1}));

    struct { const char *name; int in_table, second_style, after_num_hnl, hnp; const char *rendering;
             int current_alig, snl_seen, after_left; } cases[] = {
        // The style's alignment (3) follows; the blank lines owed are written.
        {"extra HNL records", 0, 0, 2, 0, "HNL\nHNL 1\nHNL 1\n", 3, 0, 0},
        {"table keeps snl_seen", 1, 0, 0, 0, "HNL\n", 3, 1, 0},
        // Nothing to drop: eat_snl stays set for the next paragraph end.
        {"second style", 0, 1, 1, 0, "HNL\n", 1, 1, 1},
        {"page break after the paragraph", 0, 0, 0, 1, "HNL\nHNP\n", 3, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        ParagraphFormatState &p = pgf();
        conv().routing.text_flow = !c.in_table, conv().routing.in_table = c.in_table;
        p.do_second_style = c.second_style, p.after_num_hnl = c.after_num_hnl, p.style_alig = 3;
        p.over_ride_tf_off = p.snl_seen = refs().text_stat = refs().change_bar_seen = 1, strings().para_char_cnt = 7;
        layout().current_alig = 1, layout().pars_in_doc = 4, strings().hnp_after_hnl = c.hnp;
        OutputCapture capture;
        EXPECT_EQ((tf_handle_hard_new_line(), icf::render(capture.bytes())), c.rendering);
        EXPECT_EQ((Ints{layout().pars_in_doc, layout().current_alig, layout().default_alig, p.snl_seen}),
                  (Ints{5, c.current_alig, 0, c.snl_seen}));
        EXPECT_EQ((Ints{p.after_num_hnl, p.eat_snl, p.over_ride_tf_off, p.do_second_style, p.first_string_seen,
                        refs().text_stat, refs().change_bar_seen, strings().para_char_cnt, strings().hnp_after_hnl}),
                  (Ints{c.after_left, c.second_style, !c.second_style, 0, 1, 0, 0, 0, 0}));
    }
}

}  // namespace
}  // namespace vox::test
