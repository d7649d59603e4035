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
    void SetUp() override {
        ConverterTest::SetUp();
        route_to_capture();
    }
    void TearDown() override {
        vox42_set_diagnostic_listener(nullptr, nullptr);
        ConverterTest::TearDown();
    }

    // Routed text bytes reach b_putc, where OutputCapture sees them next to
    // the records.
    static void route_to_capture() {
        conv().routing.output_to_int_file = 1;
        conv().routing.redirect_mode = 0;
    }

    void restart() {
        TearDown();
        SetUp();
    }

    static std::string bytes_of(const std::string &rendering) {
        std::string bytes, error;
        EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
        return bytes;
    }

    // Collects diagnostic texts until the end of the test.
    void listen() {
        vox42_set_diagnostic_listener(
            [](const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); },
            &seen_);
    }

    static StringState &strings() { return conv().strings; }
    static ParagraphLayoutState &layout() { return conv().layout; }
    static PageNeighbourFlags &page_flags() { return conv().pages.others; }

    std::vector<std::string> seen_;
};

TEST_F(StringsTest, ConvertCharFromSearchesTheSetsInOrder) {
    struct Case {
        int zem, set, code;
    } cases[] = {
        {0x8E, 819, 233}, {0xA5, 819, 149}, {0xD0, 819, 150}, {0x80, 819, 196},
        {0xA3, 819, 163}, {0xA1, 850, 248}, {0xDA, 9999, 218}, {0xDE, 437, 95},
        {'A', 437, 95},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.zem);
        int set = 0, code = c.zem;
        tf_convert_char_from(&set, &code);
        EXPECT_EQ(set, c.set);
        EXPECT_EQ(code, c.code);
    }
}

TEST_F(StringsTest, ExactlyTenHighCodesMissSet819) {
    const std::vector<int> expected = {0xA1, 0xDA, 0xDE, 0xDF, 0xF5, 0xF9, 0xFA, 0xFD, 0xFE, 0xFF};
    std::vector<int> missing;
    for (int zem = 128; zem < 256; ++zem) {
        int set = 0, code = zem;
        tf_convert_char_from(&set, &code);
        if (set != 819) missing.push_back(zem);
    }
    EXPECT_EQ(missing, expected);
}

TEST_F(StringsTest, WriteOutStringConvertsSequences) {
    struct Case {
        const char *name, *input, *rendering;
        int result, line_pos, para_chars;
        const char *rest;
    } cases[] = {
        {"plain", "`abc'>\r", "\"abc\"\n", 0, 30, 3, ">\r"},
        {"leading blanks", " \t`ab'", "\"ab\"\n", 0, 20, 2, ""},
        {"quoting sequences count twice", "`\\Q\\q\\<\\>\\\\'", "\"`'<>\\\\\"\n", 0, 100, 5, ""},
        {"unknown sequence dropped", "`a\\zb'", "\"ab\"\n", 0, 20, 2, ""},
        {"tab writes no byte", "`\\t'", "", 0, 0, 0, ""},
        {"hex eats the blank", "`\\xd0 x'", "XCS 819 96\n\"_x\"\n", 0, 20, 1, ""},
        {"hex ended by a backslash", "`\\x11\\x15 '", "NBR\nHHC\n", 0, 20, 0, ""},
        {"quote read as a digit", "`\\x15'", "\"_\"\n", 1, 10, 0, ""},
        {"empty", "`'>", "", 0, 0, 0, ">"},
        {"cut by a line end", "`cut\r>", "\"cut\"\n", 1, 30, 3, "\r>"},
        {"cut by the end of input", "`end", "\"end\"\n", 1, 30, 3, ""},
        {"not a string", "x'", "", 1, 0, 0, "'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        feed(c.input);
        OutputCapture capture;
        EXPECT_EQ(tf_write_out_string(), c.result);
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(c.rendering)));
        EXPECT_EQ(strings().line_pos, c.line_pos);
        EXPECT_EQ(page_flags().para_char_cnt, c.para_chars);
        EXPECT_EQ(rest(), c.rest);
    }
}

TEST_F(StringsTest, StringTokenWritesOnlyInsideAFlow) {
    feed("`abc'>");
    {
        OutputCapture capture;
        tf_handle_string_token();
        EXPECT_EQ(capture.bytes(), "");
    }
    EXPECT_EQ(rest(), ">");
    EXPECT_EQ(page_flags().text_seen, 0);

    struct Case {
        const char *name, *input, *text;
        int in_aframe, text_seen, apo_data_seen;
        bool diagnostic;
    } cases[] = {
        {"text", "`Hi\\Q'", "Hi`", 0, 1, 0, false},
        {"empty string still counts as text", "`'", "", 0, 1, 0, false},
        {"inside an anchored frame", "`x'", "x", 1, 1, 1, false},
        {"not a string", "7>", "", 0, 0, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        listen();
        seen_.clear();
        conv().routing.text_flow = 1;
        conv().buffers.text_flow_buff = bufopen(512);
        strings().others.in_aframe_token = c.in_aframe;
        strings().others.do_text_stat = 1;
        feed(c.input);
        tf_handle_string_token();
        EXPECT_EQ(drain(conv().buffers.text_flow_buff), c.text);
        EXPECT_EQ(page_flags().text_seen, c.text_seen);
        EXPECT_EQ(page_flags().apo_data_seen, c.apo_data_seen);
        EXPECT_EQ(strings().others.do_text_stat, 0);
        std::vector<std::string> expected;
        if (c.diagnostic) expected.push_back("Handle String Token: Could not write out string.");
        EXPECT_EQ(seen_, expected);
        bufclose(conv().buffers.text_flow_buff);
    }
}

TEST_F(StringsTest, FromReadStringStopsAtTheLimit) {
    char buffer[6];
    feed("  `hello world'>");
    EXPECT_EQ(tf_from_read_string(buffer, 5), 0);
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(rest(), " world'>");

    feed("`a'b");
    EXPECT_EQ(tf_from_read_string(buffer, 5), 0);
    EXPECT_STREQ(buffer, "a");
    EXPECT_EQ(rest(), "b");

    feed("\t12>");
    EXPECT_EQ(tf_from_read_string(buffer, 5), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(rest(), "12>");
}

TEST_F(StringsTest, HexReaders) {
    struct TextCase {
        const char *text;
        int value, count;
    } text_cases[] = {
        {"1A2B", 6699, 4}, {"ff zz", 255, 2}, {"a1\\x3", 0xA1, 2},
        {"g1", 1, 2},       {"", -1, 0},       {" 12", -1, 0},
    };
    for (const TextCase &c : text_cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(tf_read_hex_string(c.text), c.value);
        EXPECT_EQ(strings().hex_chars_read, c.count);
        EXPECT_EQ(tf_read_string_hex_char(c.text), c.value);
    }

    struct InputCase {
        const char *input;
        int value, count;
        const char *rest;
    } input_cases[] = {
        {"d0 x", 0xD0, 2, "x"}, {"11\\x15", 0x11, 2, "\\x15"}, {"AbC", 0xABC, 3, ""}, {" 5", -1, 0, "5"},
    };
    for (const InputCase &c : input_cases) {
        SCOPED_TRACE(c.input);
        feed(c.input);
        EXPECT_EQ(tf_read_string_hex_char(nullptr), c.value);
        EXPECT_EQ(strings().hex_chars_read, c.count);
        EXPECT_EQ(rest(), c.rest);
    }
}

TEST_F(StringsTest, HexCharacterRecords) {
    struct Case {
        const char *name, *font;
        int value;
        const char *rendering;
        int line_pos;
    } cases[] = {
        {"converted", "Times", 0x8E, "XCS 819 E9\nUCS 82\n", 10},
        {"no counterpart in 437", "Times", 0xD0, "XCS 819 96\n\"_\"\n", 10},
        {"in no column", "Times", 0xDE, "\"_\"\n", 10},
        {"hard space", "Times", 0x11, "NBR\n", 10},
        {"hard hyphen", "Symbol", 0x15, "HHC\n", 10},
        {"symbol font keeps its codes", "sYmBoL", 0xB1, "XCS 9998 B1\nUCS F1\n", 10},
        {"negative writes nothing", "Times", -1, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        std::snprintf(strings().others.font_name, sizeof strings().others.font_name, "%s", c.font);
        OutputCapture capture;
        tf_handle_string_hex_char(c.value);
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(c.rendering)));
        EXPECT_EQ(strings().line_pos, c.line_pos);
    }
}

TEST_F(StringsTest, CharWords) {
    struct Case {
        const char *input, *rendering;
        int line_pos;
    } cases[] = {
        {"Pound>", "XCS 819 A3\nUCS 9C\n", 70},
        {"Bullet>", "XCS 819 95\n\"_\"\n", 70},
        {"EnDash>", "XCS 819 96\n\"_\"\n", 70},
        {" \tHardSpace>", "NBR\n", 60},
        {"HardHyphen>", "HHC\n", 60},
        {"SoftHyphen>", "SHC\n", 60},
        {"Tab>", "", 50},
        {"Unknown>", "", 60},
        {"HardReturn>", "NLN\nHNL\n", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        restart();
        strings().line_pos = 50;
        feed(c.input);
        OutputCapture capture;
        tf_handle_char_token();
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(c.rendering)));
        EXPECT_EQ(strings().line_pos, c.line_pos);
        EXPECT_EQ(strings().hardreturn_seen, std::string(c.input) == "HardReturn>" ? 1 : 0);
        EXPECT_EQ(rest(), ">");
    }
}

TEST_F(StringsTest, FrameFromOutStringConvertsItsOwnSequences) {
    struct Case {
        const char *name, *text, *rendering;
        int line_pos;
    } cases[] = {
        {"plain bytes are not counted", "ab", "\"ab\"\n", 0},
        {"unknown pair kept", "a\\zb", "\"a\\\\zb\"\n", 0},
        {"string-only sequences kept", "\\Q\\q", "\"\\\\Q\\\\q\"\n", 0},
        {"hex eats the blank", "\\xd0 x", "XCS 819 96\n\"_x\"\n", 10},
        {"hex ended by a backslash", "\\x11\\x15", "NBR\nHHC\n", 20},
        {"bullet", "\\b", "XCS 819 95\n\"_\"\n", 10},
        {"tab", "\\ta", "\"a\"\n", 0},
        {"trailing backslash", "end\\", "\"end\\\\\"\n", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        OutputCapture capture;
        tf_frame_from_out_string(c.text);
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(c.rendering)));
        EXPECT_EQ(strings().line_pos, c.line_pos);
    }

    restart();
    conv().routing.convert_string = 0;
    OutputCapture capture;
    tf_frame_from_out_string("\\xd0\\z");
    EXPECT_EQ(capture.bytes(), "\\xd0\\z");
}

TEST_F(StringsTest, AttributeStatements) {
    struct Case {
        const char *name;
        int (*handler)(int);
        const char *token, *input;
        int before, after, fweight, fangle;
        const char *diagnostic;
    };
    auto weight = [](int) { return tf_do_fweight_token(); };
    auto angle = [](int) { return tf_do_fangle_token(); };
    const Case cases[] = {
        {"bold yes", tf_set_high_stat, "FBold", "Yes>", 0, 1, 0, 0, nullptr},
        {"lower-case yes changes nothing", tf_set_high_stat, "FBold", "yes>", 0, 0, 0, 0,
         "Set Hig Bit: Did not read Yes/No."},
        {"underline no", tf_set_high_stat, "FUnderline", "No>", 3, 1, 0, 0, nullptr},
        {"outline after blanks", tf_set_high_stat, "FOutline", " \tYes>", 0, 512, 0, 0, nullptr},
        {"superscript", tf_set_high_stat, "FSupScript", "Yes>", 64, 192, 0, 0, nullptr},
        {"not an attribute", tf_set_high_stat, "String", "Yes>", 5, 5, 0, 0, nullptr},
        {"DemiBold sets bold", weight, "", "`DemiBold'>", 8, 9, 1, 0, nullptr},
        {"Regular clears bold", weight, "", "`Regular'>", 9, 8, 0, 0, nullptr},
        {"weight without a string", weight, "", ">", 1, 1, 0, 0, "Do FWeight Token: Could not read string."},
        {"Oblique sets italic", angle, "", "`Oblique'>", 1, 9, 0, 1, nullptr},
        {"Italic sets italic", angle, "", "`Italic'>", 0, 8, 0, 1, nullptr},
        {"Slanted clears italic", angle, "", "`Slanted'>", 9, 1, 0, 0, nullptr},
        {"angle without a string", angle, "", ">", 8, 8, 0, 0, "Do FAngle Token: Could not read string."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        listen();
        seen_.clear();
        layout().curr_high_act = c.before;
        feed(c.input);
        c.handler(c.token[0] != '\0' ? convert_token(c.token) : 0);
        EXPECT_EQ(layout().curr_high_act, c.after);
        EXPECT_EQ(layout().fweight_set, c.fweight);
        EXPECT_EQ(layout().fangle_set, c.fangle);
        std::vector<std::string> expected;
        if (c.diagnostic != nullptr) expected.push_back(c.diagnostic);
        EXPECT_EQ(seen_, expected);
        EXPECT_EQ(rest(), ">");
    }
}

TEST_F(StringsTest, ItoszhexDropsLeadingZeros) {
    struct Case {
        unsigned value;
        const char *text;
    } cases[] = {{6699, "1A2B"}, {0, ""}, {0x10, "10"}, {0xFFFFFFFFu, "FFFFFFFF"}, {0x80000000u, "80000000"}};
    const char *first = itoszhex(1);
    for (const Case &c : cases) {
        EXPECT_STREQ(itoszhex(c.value), c.text);
        EXPECT_EQ(itoszhex(c.value), first);  // one shared text
    }
}

TEST_F(StringsTest, HardNewLineOutsideAFlowOnlyRestoresMargins) {
    StringNeighbourFlags &o = strings().others;
    o.temp_rsm = 1;
    o.after_num_hnl = 2;
    page_flags().para_char_cnt = 4;
    OutputCapture capture;
    tf_handle_hard_new_line();
    EXPECT_EQ(capture.bytes(), "");  // RSM is written only inside a flow
    EXPECT_EQ(o.temp_rsm, 0);
    EXPECT_EQ(o.can_do_tmp_mar, 1);
    EXPECT_EQ(o.after_num_hnl, 2);
    EXPECT_EQ(page_flags().para_char_cnt, 4);
    EXPECT_EQ(layout().pars_in_doc, 0);
}

TEST_F(StringsTest, HardNewLineEndsTheParagraph) {
    struct Case {
        const char *name;
        int in_table, second_style, after_num_hnl, local_style, temp_rsm, hnp;
        const char *rendering;
        int current_alig, default_alig, snl_seen, after_left;
    } cases[] = {
        // after_num_hnl resets current to default (0), then the style's 3.
        {"extra HNL records", 0, 0, 2, 0, 0, 0, "HNL 1\nHNL 1\n", 3, 0, 0, 0},
        // A local style makes the default follow the current alignment.
        {"local style", 0, 0, 0, 1, 0, 0, "", 1, 1, 0, 0},
        {"table keeps snl_seen", 1, 0, 0, 0, 0, 0, "", 3, 0, 1, 0},
        {"second style", 0, 1, 1, 0, 0, 0, "", 1, 0, 1, 1},
        // Margins 1440/10080 back to 2880/12240, in tenths of an inch and twips.
        {"temporary margins", 0, 0, 0, 0, 1, 0, "RSM 10 70 20 85 2880 12240\n", 3, 0, 0, 0},
        {"page break after the paragraph", 0, 0, 0, 0, 0, 1, "HNP\n", 3, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        StringNeighbourFlags &o = strings().others;
        conv().routing.text_flow = c.in_table ? 0 : 1;
        conv().routing.in_table = c.in_table;
        o.do_second_style = c.second_style;
        o.over_ride_tf_off = 1;
        o.after_num_hnl = c.after_num_hnl;
        o.local_style = c.local_style;
        o.style_alig = 3;
        o.snl_seen = 1;
        o.temp_rsm = c.temp_rsm;
        o.temp_left = 1440;
        o.temp_right = 10080;
        o.text_stat = o.change_bar_seen = 1;
        conv().pages.last_seen_left_margin = 2880;
        conv().pages.last_seen_right_margin = 12240;
        page_flags().hnp_after_hnl = c.hnp;
        page_flags().para_char_cnt = 7;
        layout().current_alig = 1;
        layout().pars_in_doc = 4;
        OutputCapture capture;
        tf_handle_hard_new_line();
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(c.rendering)));
        EXPECT_EQ(layout().pars_in_doc, 5);
        EXPECT_EQ(layout().current_alig, c.current_alig);
        EXPECT_EQ(layout().default_alig, c.default_alig);
        EXPECT_EQ(o.snl_seen, c.snl_seen);
        EXPECT_EQ(o.after_num_hnl, c.after_left);
        EXPECT_EQ(o.eat_snl, c.second_style);
        EXPECT_EQ(o.do_second_style, 0);
        EXPECT_EQ(o.over_ride_tf_off, c.second_style ? 0 : 1);
        EXPECT_EQ(o.first_string_seen, 1);
        EXPECT_EQ(o.text_stat + o.change_bar_seen + page_flags().para_char_cnt, 0);
        EXPECT_EQ(page_flags().hnp_after_hnl, 0);
    }
}

}  // namespace
}  // namespace vox::test
