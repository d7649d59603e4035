// Fonts and character formats: family names, font changes and the font
// list, attribute statements and records, language words, the character
// catalog and its style definitions, character styles on and off, and the
// list files' failures.  Input is preprocessed text run through the main
// loop; output is routed into the flow (or body) buffer as in a run.
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/file_access.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/dispatch.h"
#include "converter/fonts.h"
#include "converter/routing.h"
#include "converter/token_reader.h"
#include "test_support.h"

namespace vox::test {
namespace {

using Strings = std::vector<std::string>;
std::string open(int token) { return "<" + std::to_string(token) + "\xfe"; }
std::string stmt(int token, const std::string &value) { return open(token) + value + ">\r"; }
std::string font(const std::string &inside) { return open(tok::Font) + "\r" + inside + ">\r"; }
std::string str(const std::string &text) { return "`" + text + "'"; }
// Records from lines "CODE param ..."; a last word "{" leaves the record
// open for the records embedded in it, and a line "}" ends it.
std::string recs(const Strings &lines) {
    std::string out;
    for (const std::string &line : lines) {
        std::istringstream in(line);
        const Strings w{std::istream_iterator<std::string>(in), {}};
        const bool open = w.back() == "{";
        const std::string r = line == "}" ? "\x1e" : record(w[0], Strings(w.begin() + 1, w.end() - open));
        out += r.substr(0, r.size() - open);
    }
    return visible(out);
}
std::string be32(int v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string field(const std::string &text) { return text + std::string(64 - text.size(), '\0'); }
std::string entry(int style, const std::string &tag, const std::string &family, int size, int bits, int color,
                  const std::string &color_name) {
    return be32(style) + field(tag) + field(family) + be32(size) + be32(0) + be32(bits) + be32(color) +
           std::string(8, '\0') + field(color_name);
}

class FontsTest : public ConverterTest {
  protected:
    TempDir dir;
    void SetUp() override {
        ConverterTest::SetUp();
        Conversion &c = conv();
        c.preproc.zem_ver = 3;
        c.buffers.text_flow_buff = bufopen(512), c.buffers.int_tmp_buff = bufopen(512);
        c.routing.text_flow = c.routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
        open_lists();
    }
    void TearDown() override {
        RedirectOutputClose();
        close_lists();
        ConverterTest::TearDown();
    }
    static void close_lists() {
        for (int *h : {&conv().driver.font_list_handle, &conv().driver.font_cat_handle})
            if (*h >= 0) VOXclose(*h), *h = -1;
    }
    // An empty font list and a character catalog holding `catalog`.
    void open_lists(const std::string &catalog = "", bool host_files = false) {
        close_lists();
        use_host_files(host_files);
        write_file(dir.file("fonts"), "");
        write_file(dir.file("chars"), catalog);
        conv().driver.font_list_handle = VOXopen(dir.file("fonts").c_str(), 3, 1);
        conv().driver.font_cat_handle = VOXopen(dir.file("chars").c_str(), 3, 1);
    }
    static std::string out() { return visible(drain(conv().buffers.text_flow_buff) + drain(conv().buffers.int_tmp_buff)); }
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc())
            if (c == '<' || c == '>') c == '<' ? tf_handle_command_token() : tf_end_token();
    }
    static FontState &fonts() { return conv().fonts; }
    static StringNeighbourFlags &flags() { return conv().strings.others; }
    static int &bits() { return conv().layout.curr_high_act; }
};

// Catches a normalisation step skipped, applied to every occurrence, done
// case-sensitively or out of order, the 60-character cut, and an empty
// family clearing font_family too.
TEST_F(FontsTest, FamilyNamesAreNormalised) {
    const std::string az = "ABCDEFGHIJKLMNOPQRSTUVWXYZ", cut = az + az + "ABCDEFGH";
    Strings cases[] = {
        {"ITC Avant Garde Gothic Demi", "AvantGarde "}, {"New Century Schoolbook", "New Century Schlbk"},
        {"Zapf Dingbats", "ZapfDingbats"},              {"Helvetica (MS)", "Helvetica "},
        {"My itc zapf chancery", "My zapfchancery"},    {"Century Gothic", "Century"},
        {"Helvetica-BoldOblique", "Helvetica-"},        {"Bold Bold", " Bold"},
        {"Courier New (IBM PC)", "Courier New "},       {cut + "IJKLMNOPQR", cut},
        {"", ""},
    };
    for (const Strings &c : cases) {
        convert(stmt(tok::FFamily, str(c[0])));
        EXPECT_EQ(std::string(flags().font_name) + "|" + fonts().font_family, c[1] + "|" + (c[0].empty() ? cut : c[1]));
    }
}

// Catches SPF written without a change or with old and new values mixed
// up, a known font appended again, size 0 not taken as 200, the pitch not
// kept, and font list entries the FDT writer cannot read back.
TEST_F(FontsTest, FontChangesWriteSpfOnlyWhenSizeOrFontChanges) {
    const std::string helvetica = stmt(tok::FFamily, str("Helvetica")), ten = stmt(tok::FSize, "10pt");
    struct { std::string in; Strings out; int width; } steps[] = {
        {font(helvetica + ten), {"SPF 10 0 12 1 200 Helvetica"}, 12},
        {font(helvetica + ten), {}, 12},
        {font(stmt(tok::FSize, "12pt")), {"SPF 12 1 10 1 240 Helvetica"}, 10},
        {font(stmt(tok::FFamily, str("Times"))), {"SPF 10 1 10 2 240 Times"}, 10},
        {font(helvetica), {"SPF 10 2 10 1 240 Helvetica"}, 10},
        {font(stmt(tok::FSize, "0")), {"SPF 10 1 12 1 200 Helvetica"}, 12},
        {font(""), {}, 12},
    };
    for (const auto &s : steps) {
        convert(s.in);
        EXPECT_EQ(out(), recs(s.out)) << s.in;
        EXPECT_EQ(conv().strings.char_width, s.width) << s.in;
    }
    EXPECT_EQ(read_file(dir.file("fonts")), be32(1) + field("Helvetica") + be32(2) + field("Times"));
    tf_output_fdt();
    tf_output_font(-1, 3, 0, 4, "X");
    EXPECT_EQ(out(), recs({"FDT 2 3 00 1 Helvetica 00 2 Times 00", "SPF 12 3 12 4 200 X"}));
}

// Catches a statement setting or clearing the wrong bits, FUnderlining or
// FPosition clearing the other bit, records out of their fixed order, and
// records written (or last_seen_attr changed) outside flows and catalogs
// or for unchanged bits.
TEST_F(FontsTest, AttributeStatementsAndTheirRecords) {
    auto all = [](const char *word) {
        std::string s;
        for (int t : {tok::FBold, tok::FUnderline, tok::FDoubleUnderline, tok::FItalic, tok::FStrike, tok::FShadow,
                      tok::FSubScript, tok::FSupScript, tok::FOutline})
            s += stmt(t, word);
        return s;
    };
    struct { int from; std::string in; int to; Strings out; } cases[] = {
        {0, stmt(tok::FWeight, str("Bold Oblique")), 1, {"BBT"}},
        {1, stmt(tok::FWeight, str("semibold")), 0, {"EBT"}},
        {0, stmt(tok::FAngle, str("Oblique")), 8, {"ITO"}},
        {0, all("Yes") + stmt(tok::FCase, "FUppercase"), 0x6FF,
         {"BBT", "BUL", "ITO", "BSO", "BSP", "SBS", "SPS", "BDU", "BOL", "BCU"}},
        {0x6FF, all("No") + stmt(tok::FCase, "FPlain"), 0,
         {"EBT", "EUL", "ITF", "ESO", "ESP", "EBS", "EPS", "EDU", "EOL", "ECU"}},
        {4, stmt(tok::FUnderlining, "FSingle"), 6, {"BUL"}},
        {2, stmt(tok::FUnderlining, "FDouble"), 6, {"BDU"}},
        {6, stmt(tok::FUnderlining, "FNoUnderlining"), 0, {"EUL", "EDU"}},
        {2, stmt(tok::FUnderlining, "FWavy") + stmt(tok::FPosition, "FLow"), 2, {}},
        {0, stmt(tok::FPosition, "FSuperscript") + stmt(tok::FPosition, "FSubscript"), 0xC0, {"SBS", "SPS"}},
        {0xC0, stmt(tok::FPosition, "FNormal"), 0, {"EBS", "EPS"}},
        {0x400, stmt(tok::FCase, "FSmallCaps"), 0x800, {"ECU", "BCS"}},
    };
    for (const auto &c : cases) {
        bits() = fonts().last_seen_attr = c.from;
        convert(c.in);
        tf_write_attr(bits());
        EXPECT_EQ(out(), recs(c.out)) << c.in;
        EXPECT_EQ(std::vector<int>({bits(), fonts().last_seen_attr}), std::vector<int>({c.to, c.to})) << c.in;
    }
    // Flow, paragraph catalog, font catalog, the bits last written.
    int where[][4] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 1}};
    for (const auto &w : where) {
        conv().routing.text_flow = w[0];
        conv().paragraph_formats.in_pgfcatalog = w[1];
        fonts().in_fontcatalog = w[2];
        fonts().last_seen_attr = w[3];
        tf_write_attr(1);
        const bool written = (w[0] || w[1] || w[2]) && !w[3];
        EXPECT_EQ(out(), recs(written ? Strings{"BBT"} : Strings{}));
        EXPECT_EQ(fonts().last_seen_attr, written || w[3] ? 1 : 0);
    }
}

// Catches a language word compared case-insensitively, the "Norwegain"
// spelling lost, and an unknown word not giving -1.
TEST_F(FontsTest, LanguageWords) {
    std::pair<const char *, int> cases[] = {{"Brazilian", 0},  {"USEnglish", 3}, {"Norwegain", 9},
                                            {"Norwegian", -1}, {"Swedish", 12},  {"usenglish", -1}};
    for (const auto &c : cases) {
        convert(stmt(tok::PgfLanguage, c.first));
        EXPECT_EQ(fonts().curr_lang, c.second) << c.first;
    }
}

// Catches catalog entries at the wrong offset or with fields out of place,
// "not stated" values not stored as 0 / -1, style numbers not counted from
// cat_idx, the state not reset after each entry, and the style definition
// records out of order (the first entry inherits the size left over).
TEST_F(FontsTest, FontCatalogStoresEntriesAndDefinesTheirStyles) {
    conv().routing.text_flow = 0;
    conv().preproc.zem_ver = 5;  // no colour file: no colour records
    fonts().cat_idx = 4;
    fonts().curr_font_size = 200;
    convert(open(tok::FontCatalog) + "\r" + font(stmt(tok::FTag, str("Emphasis")) + stmt(tok::FAngle, str("Italic"))) +
            font(stmt(tok::FTag, str("Code")) + stmt(tok::FFamily, str("Courier")) + stmt(tok::FSize, "9pt") +
                 stmt(tok::FWeight, str("Bold"))));
    flags().curr_color = 4;
    std::strcpy(flags().color_name, "Red");
    convert(font(stmt(tok::FTag, str("Code"))) + ">\r");  // a tag stored before is not applied here
    EXPECT_EQ(out(), recs({"SYT Emphasis 5 {", "SYP 1", "SPF 10 0 12 1 200 Times", "ITO", "SEP", "ITF", "}",
                           "SYT Code 6 {", "SYP 1", "SPF 10 0 13 2 180 Courier", "BBT", "SEP", "EBT", "}",
                           "SYT Code 7 {", "SYP 1", "SEP", "}"}));
    EXPECT_EQ(read_file(dir.file("chars")), entry(5, "Emphasis", "", 200, 8, -1, "") +
                                               entry(6, "Code", "Courier", 180, 1, -1, "") +
                                               entry(7, "Code", "", 0, -1, 4, "Red"));
    EXPECT_EQ(std::vector<int>({fonts().num_font_entries, fonts().curr_font_size, bits(), flags().curr_color,
                                int(std::strlen(flags().color_name) + std::strlen(fonts().font_family)),
                                fonts().in_fontcatalog}),
              std::vector<int>({3, 0, 0, 0, 0, 0}));
}

// Catches a style not ended before the next one, the attributes before it
// not restored, a part's colour record not forced, the closing "Black"
// record written for colour 0, the part's font record, an unknown tag
// changing anything, and an empty tag not returning to the paragraph font.
TEST_F(FontsTest, CharacterStylesOnAndOff) {
    open_lists((entry(5, "Emphasis", "", 0, 8, -1, "") + entry(6, "Code", "Courier", 180, 1, 4, "Red") +
                entry(7, "Plain", "", 0, -1, 0, "Blue")));
    fonts().num_font_entries = 3;
    bits() = fonts().last_seen_attr = 2;
    fonts().prev_font_state = FontStateRecord{"Times", 0, 0, 2, 0, {}, "Black"};
    fonts().curr_font_size = 240;
    auto ftag = [](const std::string &tag) { return stmt(tok::FTag, str(tag)); };
    struct { std::string in; Strings out; int bits, active; } steps[] = {
        {ftag("Emphasis"), {"STY Emphasis 5 1", "BCL 15 255 255 255", "EUL", "ITO", "STE"}, 8, 1},
        {ftag("Code"), {"STF Emphasis 5 1", "BUL", "ITF", "BCL 0 0 0 0", "STE", "STY Code 6 1",
                        "SPF 10 0 13 1 180 Courier", "BCL 12 255 0 0", "BBT", "EUL", "STE"}, 1, 1},
        // The part's font record left the last size written as it was.
        {font(""), {"SPF 10 1 13 1 180 Courier"}, 1, 1},
        {ftag(""), {"STF Code 6 1", "EBT", "BUL", "BCL 0 0 0 0", "STE"}, 2, 0},
        {ftag("Plain") + stmt(tok::FSeparation, "2"), {"STY Plain 7 1", "BCL 0 0 0 0", "STE", "BCL 12 255 0 0"}, 2, 1},
        {ftag("Missing"), {"STF Plain 7 1", "STE"}, 2, 0},
    };
    for (const auto &s : steps) {
        convert(s.in);
        EXPECT_EQ(out(), recs(s.out)) << s.in;
        EXPECT_EQ(std::vector<int>({bits(), fonts().have_char_style}), std::vector<int>({s.bits, s.active})) << s.in;
    }
    EXPECT_EQ(std::string(flags().font_name) + fonts().font_family + flags().color_name + fonts().ftag_name,
              "TimesTimesBlueMissing");
    EXPECT_EQ(std::vector<int>({fonts().curr_font_size, conv().strings.char_width, fonts().default_high_attrib}),
              std::vector<int>({240, 10, 2}));
    flags().change_bar_seen = 1;
    convert(ftag(""));
    EXPECT_EQ(flags().change_bar_seen, 0);
}

// Catches list file failures not ending the run with 17 (seek) or 4
// (write), and a short read not ending a search as "not found".
TEST_F(FontsTest, ListFileFailures) {
    const std::string new_font = font(stmt(tok::FFamily, str("A"))), new_entry = open(tok::FontCatalog) + "\r" + font("");
    struct { std::string in; long HostFilePlan::*fail, HostFilePlan::*count; int code; } cases[] = {
        {new_font, &HostFilePlan::fail_seek_at, &HostFilePlan::seeks, 17},
        {new_font, &HostFilePlan::zero_write_at, &HostFilePlan::writes, 4},
        {new_entry, &HostFilePlan::fail_seek_at, &HostFilePlan::seeks, 17},
        {new_entry, &HostFilePlan::zero_write_at, &HostFilePlan::writes, 4},
    };
    for (const auto &c : cases) {
        TearDown();
        SetUp();
        open_lists("", true);
        host_files().*c.fail = host_files().*c.count + 1;
        EXPECT_EQ(exit_code_of([&] { convert(c.in); }), c.code) << c.in;
    }
    TearDown();
    SetUp();
    open_lists(entry(5, "Emphasis", "", 0, 8, -1, "") + entry(5, "Emphasis", "", 0, 8, -1, ""), true);
    fonts().num_font_entries = 2;
    EXPECT_EQ(std::vector<int>({tf_get_font_num("A"), tf_get_font_num("B")}), std::vector<int>({1, 2}));
    host_files().zero_read_at = host_files().reads + 1;
    EXPECT_EQ(tf_get_font_num("A"), 3);
    host_files().zero_read_at = host_files().reads + 1;
    EXPECT_EQ(tf_set_fontcat_data("Emphasis"), 0);
    EXPECT_EQ(tf_set_fontcat_data("Emphasis"), 1);
}

}  // namespace
}  // namespace vox::test
