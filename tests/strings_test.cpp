// Strings and special characters: the string reader and writer, backslash
// sequences, hexadecimal characters, the ZEM character conversion, Char
// words, the attribute statements and the paragraph end.
#include <cstdio>
#include <string>
#include <vector>

#include "common/kernel_state.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/token_table.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

class StringsTest : public ConverterTest {
  protected:
    // Routed text bytes reach b_putc, where OutputCapture sees them.  The
    // paragraph font is in place and already written, so that preparing
    // text output writes nothing unless a case changes the font.
    void SetUp() override {
        ConverterTest::SetUp();
        conv().routing.output_to_int_file = 1;
        conv().routing.redirect_mode = 0;
        use_written_paragraph_font();
    }
    void TearDown() override {
        vox42_set_diagnostic_listener(nullptr, nullptr);
        ConverterTest::TearDown();
    }
    void restart() { TearDown(); SetUp(); seen_.clear(); }
    static std::string bytes_of(const std::string &rendering) {
        std::string bytes, error;
        EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
        return bytes;
    }
    static void expect_out(const OutputCapture &c, const char *rendering) {
        EXPECT_EQ(visible(c.bytes()), visible(bytes_of(rendering)));
    }
    void listen() {
        vox42_set_diagnostic_listener(
            [](const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); },
            &seen_);
    }
    static std::vector<std::string> one_or_none(const char *text) {
        return text ? std::vector<std::string>{text} : std::vector<std::string>{};
    }
    static StringState &strings() { return conv().strings; }
    static ParagraphLayoutState &layout() { return conv().layout; }
    static PageNeighbourFlags &page_flags() { return conv().pages.others; }
    std::vector<std::string> seen_;
};

// Catches a set searched out of order, a wrong table entry, or a code that
// should miss set 819 found there (exactly ten of 128..255 do).
TEST_F(StringsTest, ConvertCharFromSearchesTheSetsInOrder) {
    struct { int zem, set, code; } cases[] = {
        {0x8E, 819, 233}, {0xA5, 819, 149}, {0xD0, 819, 150}, {0xA1, 850, 248}, {0xDA, 9999, 218}, {0xDE, 437, 95},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.zem);
        int set = 0, code = c.zem;
        tf_convert_char_from(&set, &code);
        EXPECT_EQ(set, c.set);
        EXPECT_EQ(code, c.code);
    }
    std::vector<int> missing;
    for (int zem = 128; zem < 256; ++zem) {
        int set = 0, code = zem;
        tf_convert_char_from(&set, &code);
        if (set != 819) missing.push_back(zem);
    }
    EXPECT_EQ(missing, (std::vector<int>{0xA1, 0xDA, 0xDE, 0xDF, 0xF5, 0xF9, 0xFA, 0xFD, 0xFE, 0xFF}));
}

// Catches a sequence converted wrongly, the blank after a hex character
// kept, an unknown pair written, a cut string reported as whole, the
// position or paragraph counts off, and text output prepared after the
// text, or for a value that is no string.
TEST_F(StringsTest, WriteOutStringConvertsSequences) {
    struct { const char *name, *input, *rendering; int result, line_pos, para_chars; const char *rest; } cases[] = {
        {"plain", "`abc'>\r", "\"abc\"\n", 0, 30, 3, ">\r"},
        {"leading blanks", " \t`ab'", "\"ab\"\n", 0, 20, 2, ""},
        {"quoting sequences count twice", "`\\Q\\q\\<\\>\\\\'", "\"`'<>\\\\\"\n", 0, 100, 5, ""},
        {"unknown sequence dropped", "`a\\zb'", "\"ab\"\n", 0, 20, 2, ""},
        {"hex eats the blank", "`\\xd0 x'", "XCS 819 96\n\"_x\"\n", 0, 20, 1, ""},
        {"hex ended by a backslash", "`\\x11\\x15 '", "NBR\nHHC\n", 0, 20, 0, ""},
        {"empty", "`'>", "", 0, 0, 0, ">"},
        {"cut by a line end", "`cut\r>", "\"cut\"\n", 1, 30, 3, "\r>"},
        {"not a string", "x'", "", 1, 0, 0, "'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        feed(c.input);
        OutputCapture capture;
        EXPECT_EQ(tf_write_out_string(), c.result);
        expect_out(capture, c.rendering);
        EXPECT_EQ(strings().line_pos, c.line_pos);
        EXPECT_EQ(page_flags().para_char_cnt, c.para_chars);
        EXPECT_EQ(rest(), c.rest);
    }

    // A change from 12 to 24 points is pending: a value that is no string
    // leaves it pending; a string writes it first, SPF(2400 / 240, font 1,
    // 2400 / 480, font 1, 480, Times), and then advances 5 per character.
    restart();
    conv().fonts.curr_font_size = 480;
    feed("x `abc'");
    OutputCapture capture;
    EXPECT_EQ(tf_write_out_string(), 1);
    EXPECT_EQ(capture.bytes(), "");
    EXPECT_EQ(tf_write_out_string(), 0);
    expect_out(capture, "SPF 10 1 5 1 480 Times\n\"abc\"\n");
    EXPECT_EQ(strings().line_pos, 15);
}

// Catches a converted character written in the wrong set, the Symbol font
// (any case) not kept in set 9998, and the hard space and hyphen confused.
TEST_F(StringsTest, HexCharacterRecords) {
    struct { const char *name, *font; int value; const char *rendering; int line_pos; } cases[] = {
        {"converted", "Times", 0x8E, "XCS 819 E9\nUCS 82\n", 10},
        {"in no column", "Times", 0xDE, "\"_\"\n", 10},
        {"hard hyphen", "Symbol", 0x15, "HHC\n", 10},
        {"symbol font keeps its codes", "sYmBoL", 0xB1, "XCS 9998 B1\nUCS F1\n", 10},
        {"negative writes nothing", "Times", -1, "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        std::snprintf(strings().others.font_name, sizeof strings().others.font_name, "%s", c.font);
        OutputCapture capture;
        tf_handle_string_hex_char(c.value);
        expect_out(capture, c.rendering);
        EXPECT_EQ(strings().line_pos, c.line_pos);
    }
}

// Catches a Char word mapped to the wrong record or position change, and
// a forced line end that does not bring the line's formatting up to date
// before its records.
TEST_F(StringsTest, CharWords) {
    struct { const char *input, *rendering; int line_pos; } cases[] = {
        {"Pound>", "XCS 819 A3\nUCS 9C\n", 70}, {"Bullet>", "XCS 819 95\n\"_\"\n", 70},
        {" \tHardSpace>", "NBR\n", 60},          {"HardHyphen>", "HHC\n", 60},
        {"SoftHyphen>", "SHC\n", 60},            {"Tab>", "", 50},
        {"Unknown>", "", 60},                    {"HardReturn>", "NLN\nHNL\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        restart();
        strings().line_pos = 50;
        feed(c.input);
        OutputCapture capture;
        tf_handle_char_token();
        expect_out(capture, c.rendering);
        EXPECT_EQ(strings().line_pos, c.line_pos);
        EXPECT_EQ(strings().hardreturn_seen, std::string(c.input) == "HardReturn>" ? 1 : 0);
        EXPECT_EQ(rest(), ">");
    }

    // A pending change from 12 to 24 points comes before NLN and HNL.
    restart();
    conv().fonts.curr_font_size = 480;
    strings().line_pos = 50;
    feed("HardReturn>");
    OutputCapture capture;
    tf_handle_char_token();
    expect_out(capture, "SPF 10 1 5 1 480 Times\nNLN\nHNL\n");
    EXPECT_EQ(strings().line_pos, 0);
}

// Catches frame text converted with the String rules (unknown and
// string-only pairs must be kept here) and conversion done when it is off.
TEST_F(StringsTest, FrameFromOutStringConvertsItsOwnSequences) {
    struct { const char *name, *text, *rendering; int line_pos; } cases[] = {
        {"unknown pair kept", "a\\zb", "\"a\\\\zb\"\n", 0},
        {"string-only sequences kept", "\\Q\\q", "\"\\\\Q\\\\q\"\n", 0},
        {"hex eats the blank", "\\xd0 x", "XCS 819 96\n\"_x\"\n", 10},
        {"bullet", "\\b", "XCS 819 95\n\"_\"\n", 10},
        {"trailing backslash", "end\\", "\"end\\\\\"\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        OutputCapture capture;
        tf_frame_from_out_string(c.text);
        expect_out(capture, c.rendering);
        EXPECT_EQ(strings().line_pos, c.line_pos);
    }
    restart();
    conv().routing.convert_string = 0;
    OutputCapture capture;
    tf_frame_from_out_string("\\xd0\\z");
    EXPECT_EQ(capture.bytes(), "\\xd0\\z");
}

// Catches a yes/no read case-blind, the wrong attribute bit, a weight or
// angle word mapped wrongly, and a missing string not reported.
TEST_F(StringsTest, AttributeStatements) {
    auto weight = [](int) { return tf_do_fweight_token(); };
    auto angle = [](int) { return tf_do_fangle_token(); };
    struct { const char *name; int (*handler)(int); const char *token, *input; int before, after, fweight, fangle;
             const char *diagnostic; } cases[] = {
        {"bold yes", tf_set_high_stat, "FBold", "Yes>", 0, 1, 0, 0, nullptr},
        {"lower-case yes", tf_set_high_stat, "FBold", "yes>", 0, 0, 0, 0, "Set Hig Bit: Did not read Yes/No."},
        {"superscript", tf_set_high_stat, "FSupScript", "Yes>", 64, 192, 0, 0, nullptr},
        {"not an attribute", tf_set_high_stat, "String", "Yes>", 5, 5, 0, 0, nullptr},
        {"DemiBold sets bold", weight, "", "`DemiBold'>", 8, 9, 1, 0, nullptr},
        {"Regular clears bold", weight, "", "`Regular'>", 9, 8, 0, 0, nullptr},
        {"weight without a string", weight, "", ">", 1, 1, 0, 0, "Do FWeight Token: Could not read string."},
        {"Oblique sets italic", angle, "", "`Oblique'>", 1, 9, 0, 1, nullptr},
        {"Slanted clears italic", angle, "", "`Slanted'>", 9, 1, 0, 0, nullptr},
        {"angle without a string", angle, "", ">", 8, 8, 0, 0, "Do FAngle Token: Could not read string."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        listen();
        layout().curr_high_act = c.before;
        feed(c.input);
        c.handler(c.token[0] != '\0' ? convert_token(c.token) : 0);
        EXPECT_EQ(layout().curr_high_act, c.after);
        EXPECT_EQ(layout().fweight_set, c.fweight);
        EXPECT_EQ(layout().fangle_set, c.fangle);
        EXPECT_EQ(seen_, one_or_none(c.diagnostic));
        EXPECT_EQ(rest(), ">");
    }
}

// Catches leading zeros kept, the top nibble lost, or a new text each call.
TEST_F(StringsTest, ItoszhexDropsLeadingZeros) {
    struct { unsigned value; const char *text; } cases[] = {{6699, "1A2B"}, {0, ""}, {0x10, "10"}, {0xFFFFFFFFu, "FFFFFFFF"}};
    const char *first = itoszhex(1);
    for (const auto &c : cases) {
        EXPECT_STREQ(itoszhex(c.value), c.text);
        EXPECT_EQ(itoszhex(c.value), first);
    }
}

// Catches a paragraph end outside a flow doing more than restore margins,
// and inside one: extra HNL records, alignment, margins (tenths and
// twips), the deferred page break, and the flags not reset.
TEST_F(StringsTest, HardNewLineEndsTheParagraph) {
    StringNeighbourFlags *o = &strings().others;
    o->temp_rsm = o->after_num_hnl = 1;
    tf_handle_hard_new_line();  // outside a flow: nothing written (no capture routing needed)
    EXPECT_EQ(o->temp_rsm + layout().pars_in_doc, 0);
    EXPECT_EQ(o->can_do_tmp_mar + o->after_num_hnl, 2);

    // No flow or table buffer is open, so the line-end rewrite finds no SNL
    // to turn into HNL and writes a plain HNL where the paragraph ends.
    struct { const char *name; int in_table, second_style, after_num_hnl, local_style, temp_rsm, hnp;
             const char *rendering; int current_alig, default_alig, snl_seen, after_left; } cases[] = {
        // after_num_hnl resets current to default (0), then the style's 3.
        {"extra HNL records", 0, 0, 2, 0, 0, 0, "HNL\nHNL 1\nHNL 1\n", 3, 0, 0, 0},
        // A local style makes the default follow the current alignment.
        {"local style", 0, 0, 0, 1, 0, 0, "HNL\n", 1, 1, 0, 0},
        {"table keeps snl_seen", 1, 0, 0, 0, 0, 0, "HNL\n", 3, 0, 1, 0},
        // Nothing to drop: eat_snl stays set for the next paragraph end.
        {"second style", 0, 1, 1, 0, 0, 0, "HNL\n", 1, 0, 1, 1},
        // Margins 1440/10080 back to 2880/12240, in tenths of an inch and twips.
        {"temporary margins", 0, 0, 0, 0, 1, 0, "RSM 10 70 20 85 2880 12240\nHNL\n", 3, 0, 0, 0},
        {"page break after the paragraph", 0, 0, 0, 0, 0, 1, "HNL\nHNP\n", 3, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        o = &strings().others;
        conv().routing.text_flow = c.in_table ? 0 : 1;
        conv().routing.in_table = c.in_table;
        o->do_second_style = c.second_style;
        o->over_ride_tf_off = o->snl_seen = o->text_stat = o->change_bar_seen = 1;
        o->after_num_hnl = c.after_num_hnl;
        o->local_style = c.local_style;
        o->style_alig = 3;
        o->temp_rsm = c.temp_rsm;
        o->temp_left = 1440;
        o->temp_right = 10080;
        conv().pages.last_seen_left_margin = 2880;
        conv().pages.last_seen_right_margin = 12240;
        page_flags().hnp_after_hnl = c.hnp;
        page_flags().para_char_cnt = 7;
        layout().current_alig = 1;
        layout().pars_in_doc = 4;
        OutputCapture capture;
        tf_handle_hard_new_line();
        expect_out(capture, c.rendering);
        EXPECT_EQ(layout().pars_in_doc, 5);
        EXPECT_EQ(layout().current_alig, c.current_alig);
        EXPECT_EQ(layout().default_alig, c.default_alig);
        EXPECT_EQ(o->snl_seen, c.snl_seen);
        EXPECT_EQ(o->after_num_hnl, c.after_left);
        EXPECT_EQ(o->eat_snl, c.second_style);
        EXPECT_EQ(o->over_ride_tf_off + o->do_second_style, c.second_style ? 0 : 1);
        EXPECT_EQ(o->first_string_seen, 1);
        EXPECT_EQ(o->text_stat + o->change_bar_seen + page_flags().para_char_cnt + page_flags().hnp_after_hnl, 0);
    }
}

}  // namespace
}  // namespace vox::test
