// Fonts and character formats: family names, font changes and the font
// list, attribute statements and records, language words, the character
// catalog and its style definitions, character styles on and off, and the
// list files' failures.  Input is preprocessed text run through the main
// loop; output is routed into the flow (or body) buffer as in a run.  The
// documents font-families-and-spf, attributes, character-catalog-and-ftag,
// character-style-switching and colour-character-format pin the common
// family rewrites, when SPF is written and with what, every attribute
// statement with the records' order, and character styles defined, applied
// and switched; the cases here are the rest.
#include <cstring>

#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/dispatch.h"
#include "converter/fonts.h"
#include "converter/routing.h"
#include "converter/token_reader.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

std::string open(int token) { return "<" + std::to_string(token) + "\xfe"; }
std::string stmt(int token, const std::string &value) { return open(token) + value + ">\r"; }
std::string font(const std::string &inside) { return open(tok::Font) + "\r" + inside + ">\r"; }
std::string ftag(const std::string &tag) { return stmt(tok::FTag, "`" + tag + "'"); }
std::string be32(int v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string field(const std::string &text) { return text + std::string(64 - text.size(), '\0'); }
// A character catalog entry: style number, tag, then the character part.
std::string entry(int style, std::string tag, std::string family, int size, int bits, int color, std::string name) {
    return be32(style) + field(tag) + field(family) + be32(size) + be32(0) + be32(bits) + be32(color) +
           std::string(8, '\0') + field(name);
}

// The font list and the character catalog are the empty ones the fixture
// opens as a run does.
class FontsTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        conv().preproc.zem_ver = 3, conv().routing.text_flow = conv().routing.redirect_mode = 1;
        // One buffer for flows and the body: the output in order.
        conv().buffers.text_flow_buff = conv().buffers.int_tmp_buff = bufopen(1024);
        RedirectOutput(tf_frame_putc, tf_frame_unput);
    }
    void TearDown() override { RedirectOutputClose(); ConverterTest::TearDown(); }
    // The character catalog holding `catalog`, and both list files used
    // from now on through the host file functions (a handle is a file
    // descriptor to both back ends).
    static void on_host(const std::string &cat) { write_file(conv().driver.font_cat_name, cat), use_host_files(true); }
    // What was written since, rendered: a record a line, a group's content
    // indented, text in quotes.
    static std::string out() { return icf::render(drain(conv().buffers.text_flow_buff)); }
    static std::string convert(const std::string &text) {
        feed(text);
        for (int c; (c = preproc_getc()) >= 0;) c == '<' ? tf_handle_command_token() : c == '>' ? tf_end_token() : 0;
        return out();
    }
    static FontState &fonts() { return conv().fonts; }
    static ColourState &colours() { return conv().colours; }
    static int &bits() { return conv().layout.curr_high_act; }
};

// Catches a family normalisation step skipped (lower-case "itc", "zapf ",
// "Oblique", "(IBM PC)"), applied to every occurrence, the 60-character
// cut, an empty family clearing font_family too; a language word compared
// case-insensitively, the "Norwegain" spelling lost, an unknown word not
// giving -1; the character width not following the size, a known font
// appended again, and font list entries at the wrong offset.
TEST_F(FontsTest, FontStatements) {
    const std::string cut(60, 'x');
    std::pair<std::string, std::string> families[] = {
        {"`My itc zapf chancery'", "My zapfchancery"}, {"`Helvetica-BoldOblique'", "Helvetica-"},
        {"`Courier New (IBM PC)'", "Courier New "}, {"`Bold Bold'", " Bold"}, {"`" + cut + "yyy'", cut}, {"`'", ""},
    };
    for (const auto &[in, name] : families)
        EXPECT_EQ((convert(stmt(tok::FFamily, in)), fonts().font_name + ("|" + std::string(fonts().font_family))),
                  name + "|" + (name.empty() ? cut : name));
    std::pair<const char *, int> words[] = {{"Brazilian", 0},  {"USEnglish", 3}, {"Norwegain", 9},
                                            {"Norwegian", -1}, {"Swedish", 12},  {"usenglish", -1}};
    for (const auto &[word, code] : words)
        EXPECT_EQ((convert(stmt(tok::PgfLanguage, word)), fonts().curr_lang), code) << word;
    // 10 points: 2400 / 200 = 12 a character; the size is kept by a <Font without FSize.
    const std::string helvetica = stmt(tok::FFamily, "`Helvetica'"), ten = stmt(tok::FSize, "10pt");
    std::pair<std::string, const char *> steps[] = {
        {font(helvetica + ten), "SPF 10 0 12 1 200 Helvetica\n"}, {font(helvetica + ten), ""},
        {font(stmt(tok::FFamily, "`Times'")), "SPF 12 1 12 2 200 Times\n"},
        {font(helvetica), "SPF 12 2 12 1 200 Helvetica\n"},
    };
    for (const auto &[in, records] : steps) EXPECT_EQ(convert(in), records) << in;
    EXPECT_EQ(conv().strings.char_width, 12);
    EXPECT_EQ(read_file(conv().driver.fdt_name), be32(1) + field("Helvetica") + be32(2) + field("Times"));
}

// Catches FUnderlining FSingle clearing the double underline, FSmallCaps
// keeping all capitals, unknown words (FWavy, FLow) changing bits, and
// records written (or last_seen_attr changed) outside flows and catalogs
// or for unchanged bits.  (The other statements, and the records' fixed
// order, are pinned by the attributes document.)
TEST_F(FontsTest, AttributeStatementsAndTheirRecords) {
    struct { int from; std::string in; int to; const char *out; } cases[] = {
        {4, stmt(tok::FUnderlining, "FSingle"), 6, "BUL\n"},
        {0x400, stmt(tok::FCase, "FSmallCaps"), 0x800, "ECU\nBCS\n"},
        {2, stmt(tok::FUnderlining, "FWavy") + stmt(tok::FPosition, "FLow"), 2, ""},
    };
    for (const auto &c : cases) {
        const std::string stated = (bits() = fonts().last_seen_attr = c.from, convert(c.in));
        EXPECT_EQ((tf_write_attr(bits()), stated + out() + std::to_string(bits() * 10000 + fonts().last_seen_attr)),
                  c.out + std::to_string(c.to * 10001)) << c.in;
    }
    // Outside flows and catalogs: nothing written, last_seen_attr left at 2.
    EXPECT_EQ((conv().routing.text_flow = 0, tf_write_attr(1), out() + std::to_string(fonts().last_seen_attr)), "2");
}

// Catches catalog entries at the wrong offset or with fields out of place,
// "not stated" values not stored as 0 / -1, style numbers not counted from
// cat_idx, the state not reset after each entry, and the style definition
// records out of order (the first entry inherits the size left over).
TEST_F(FontsTest, FontCatalogStoresEntriesAndDefinesTheirStyles) {
    conv().routing.text_flow = 0, conv().preproc.zem_ver = 5;  // colours by name: none in the colour file
    conv().paragraph_formats.cat_idx = 4, fonts().curr_font_size = 200;
    const std::string two = convert(open(tok::FontCatalog) + "\r" +
                                    font(ftag("Emphasis") + stmt(tok::FAngle, "`Italic'")) +
                                    font(ftag("Code") + stmt(tok::FFamily, "`Courier'") + stmt(tok::FSize, "9pt") +
                                         stmt(tok::FWeight, "`Bold'")));
    colours().curr_color = 4, std::strcpy(colours().color_name, "Red");
    // A tag stored before is not applied here.
    EXPECT_EQ(two + convert(font(ftag("Code")) + ">\r"),
              "SYT Emphasis 5 {\n  SYP 1\n  SPF 10 0 12 1 200 Times\n  ITO\n  SEP\n  ITF\n}\nSYT Code 6 {\n  SYP 1\n"
              "  SPF 10 0 13 2 180 Courier\n  BBT\n  SEP\n  EBT\n}\nSYT Code 7 {\n  SYP 1\n  SEP\n}\n");
    EXPECT_EQ(read_file(conv().driver.font_cat_name), entry(5, "Emphasis", "", 200, 8, -1, "") +
                                                          entry(6, "Code", "Courier", 180, 1, -1, "") +
                                                          entry(7, "Code", "", 0, -1, 4, "Red"));
}

// Catches a style not ended before the next one, the attributes before it
// not restored, a part's colour record not forced, the closing "Black"
// record written for colour 0, the part's font record, an unknown tag
// changing anything, and an empty tag not returning to the paragraph font.
TEST_F(FontsTest, CharacterStylesOnAndOff) {
    write_file(conv().driver.font_cat_name, entry(5, "Emphasis", "", 0, 8, -1, "") +
                                                entry(6, "Code", "Courier", 180, 1, 4, "Red") +
                                                entry(7, "Plain", "", 0, -1, 0, "Blue"));
    fonts().num_font_entries = 3, fonts().curr_font_size = 240, bits() = fonts().last_seen_attr = 2;
    fonts().prev_font_state = FontStateRecord{"Times", 0, 0, 2, 0, {}, "Black"};
    struct { std::string in; const char *out; int bits, active; } steps[] = {
        {ftag("Emphasis"), "STY Emphasis 5 1\nBCL 15 255 255 255\nEUL\nITO\nSTE\n", 8, 1},
        {ftag("Code"), "STF Emphasis 5 1\nBUL\nITF\nBCL 0 0 0 0\nSTE\nSTY Code 6 1\nSPF 10 0 13 1 180 Courier\n"
                       "BCL 12 255 0 0\nBBT\nEUL\nSTE\n", 1, 1},
        {ftag(""), "STF Code 6 1\nEBT\nBUL\nBCL 0 0 0 0\nSTE\n", 2, 0},
        {ftag("Plain") + stmt(tok::FSeparation, "2"), "STY Plain 7 1\nBCL 0 0 0 0\nSTE\nBCL 12 255 0 0\n", 2, 1},
        {ftag("Missing"), "STF Plain 7 1\nSTE\n", 2, 0},
    };
    for (const auto &s : steps) {
        EXPECT_EQ(convert(s.in), s.out) << s.in;
        EXPECT_EQ(bits() * 10 + fonts().have_char_style, s.bits * 10 + s.active) << s.in;
    }
    EXPECT_EQ(std::string(fonts().font_name) + fonts().font_family + colours().color_name + fonts().ftag_name +
                  std::to_string(fonts().curr_font_size * 1000 + conv().strings.char_width * 10 +
                                 fonts().default_high_attrib), "TimesTimesBlueMissing240102");
    int &change_bar = conv().references.change_bar_seen;
    EXPECT_EQ((change_bar = 1, convert(ftag("")), change_bar), 0);
}

// Catches list file failures not ending the run with 17 (seek) or 4
// (write), and a short read not ending a search as "not found".
TEST_F(FontsTest, ListFileFailures) {
    const std::string new_font = font(stmt(tok::FFamily, "`A'")), new_entry = open(tok::FontCatalog) + "\r" + font("");
    // The first seek or write after the fixture's start fails.
    struct { std::string in; long HostFilePlan::*fail; int code; } cases[] = {
        {new_font, &HostFilePlan::fail_seek_at, 17},  {new_font, &HostFilePlan::zero_write_at, 4},
        {new_entry, &HostFilePlan::fail_seek_at, 17}, {new_entry, &HostFilePlan::zero_write_at, 4},
    };
    for (const auto &c : cases) {
        TearDown(), SetUp(), on_host(""), host_files().*c.fail = 1;
        EXPECT_EQ(exit_code_of([&] { convert(c.in); }), c.code) << c.in;
    }
    const std::string emphasis = entry(5, "Emphasis", "", 0, 8, -1, "");
    TearDown(), SetUp(), on_host(emphasis + emphasis), fonts().num_font_entries = 2;
    EXPECT_EQ(std::vector<int>({tf_get_font_num("A"), tf_get_font_num("B")}), std::vector<int>({1, 2}));
    EXPECT_EQ((host_files().zero_read_at = host_files().reads + 1, tf_get_font_num("A")), 3);
    // The first lookup's read comes back short: not found; the second finds it.
    host_files().zero_read_at = host_files().reads + 1;
    EXPECT_EQ(std::vector<int>({tf_set_fontcat_data("Emphasis"), tf_set_fontcat_data("Emphasis")}),
              std::vector<int>({0, 1}));
}

}  // namespace
}  // namespace vox::test
