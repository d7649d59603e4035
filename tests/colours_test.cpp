// Colours: catalog colours stored by the end of <Color in a real colour
// file and chosen by <FColor, version-3 separations chosen by
// <FSeparation, the BCL record written only when the flags change (or
// when forced), and the colour look-up itself.
#include "common/file_access.h"
#include "converter/colours.h"
#include "converter/dispatch.h"
#include "converter/token_reader.h"
#include "test_support.h"

namespace vox::test {
namespace {

std::string open(int token) { return "<" + std::to_string(token) + "\xfe"; }
std::string stmt(int token, const std::string &value) { return open(token) + value + ">\r"; }
// A <Color statement of the colour catalog.
std::string color(const std::string &name, int c, int m, int y, int k) {
    return open(tok::Color) + "\r" + stmt(tok::ColorTag, "`" + name + "'") + stmt(tok::ColorCyan, std::to_string(c)) +
           stmt(tok::ColorMagenta, std::to_string(m)) + stmt(tok::ColorYellow, std::to_string(y)) +
           stmt(tok::ColorBlack, std::to_string(k)) + ">\r";
}
std::string catalog(const std::string &colors) { return open(tok::ColorCatalog) + "\r" + colors + ">\r"; }
std::string bcl(int f, int r, int g, int b) {
    return visible(record("BCL", {std::to_string(f), std::to_string(r), std::to_string(g), std::to_string(b)}));
}

// The colour file is the empty one the fixture opens as a run does.
class ColoursTest : public ConverterTest {
  protected:
    void SetUp() override { ConverterTest::SetUp(); conv().preproc.zem_ver = 5; }
    // Runs the text through the main loop; what it wrote, made readable.
    static std::string convert(const std::string &text) {
        OutputCapture out;
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc())
            c == '<' ? tf_handle_command_token() : c == '>' ? tf_end_token() : 0;
        return visible(out.bytes());
    }
    static ColourState &colours() { return conv().colours; }
};

// A version-5 document: the catalog is read into the colour file by the
// end of <Color, then <FColor names colours.  Catches black not added to
// a component, the sum not capped at 100, the dark bit set at 127 or
// missing below it, a look-up that does not start from the file's first
// record, a later duplicate name winning, names compared without case, a
// record written for an unchanged flag set or for an unknown name, the
// colour code summed wrongly, a colour defined after an earlier look-up
// not found; and the force flag ignored, kept for the next call (also
// after a call that wrote nothing), or its record's flags not remembered.
TEST_F(ColoursTest, CatalogColoursChosenByName) {
    convert(catalog(color("Red", 0, 100, 100, 0) + color("Teal", 60, 0, 20, 0) + color("Black", 0, 0, 0, 100) +
                    color("Red", 100, 0, 0, 0) + color("Maroon", 0, 100, 100, 50) + color("C50", 50, 0, 0, 0) +
                    color("C51", 51, 0, 0, 0) + color("K80", 30, 0, 10, 80) + color("M99", 0, 99, 0, 0)));
    ASSERT_EQ(conv().colours.num_cmyk_colors, 9);
    // Teal: 80 * 255 / 100 = 204.  Maroon then Red: the same flags, nothing
    // though red differs.  C50: 50 * 255 / 100 = 127, not below 127; C51:
    // 49 * 255 / 100 = 124.  K80: red capped at 0, 20 * 255 / 100 = 51,
    // 10 * 255 / 100 = 25.
    struct { int force; const char *name; int code; std::string records; } steps[] = {
        {0, "Red", 3, bcl(4, 255, 0, 0)}, {0, "Red", 3, ""}, {0, "Teal", 5, bcl(15, 102, 255, 204)},
        {1, "Black", 0, bcl(0, 0, 0, 0)}, {1, "Black", 0, bcl(0, 0, 0, 0)}, {0, "Black", 0, ""}, {1, "Nope", 0, ""},
        {0, "Black", 0, ""}, {0, "red", 0, ""}, {0, "Maroon", 3, bcl(4, 127, 0, 0)}, {0, "Red", 3, ""},
        {0, "C50", 4, bcl(7, 127, 255, 255)}, {0, "C51", 4, bcl(15, 124, 255, 255)}, {0, "K80", 5, bcl(11, 0, 51, 25)},
        {0, "M99", 2, bcl(15, 255, 2, 255)}, {0, "Later", 0, ""},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(&s - steps);
        conv().colours.force_color_output = s.force;
        EXPECT_EQ(convert(stmt(tok::FColor, std::string("`") + s.name + "'")), s.records);
        EXPECT_EQ(colours().curr_color * 10 + conv().colours.force_color_output, s.code * 10);
        EXPECT_STREQ(colours().color_name, s.name);
    }
    EXPECT_EQ(convert(color("Later", 0, 0, 100, 0) + stmt(tok::FColor, "`Later'")), bcl(6, 255, 255, 0));
    EXPECT_EQ(colours().curr_color, 1);
}

// A version-3 document: <FSeparation numbers through the colour map to
// codes, and codes to flags and components.  Catches the map or the flag
// rules misapplied (white must be 15 and 255, 255, 255), a repeated colour
// written again unless forced, the name looked up instead of the code, and
// <FSeparation acting in a version-4 document.
TEST_F(ColoursTest, SeparationsOfVersionThree) {
    conv().preproc.zem_ver = 3;
    struct { int number, force, code; std::string records; } steps[] = {
        {1, 0, 7, bcl(15, 255, 255, 255)}, {1, 0, 7, ""},  {2, 0, 4, bcl(12, 255, 0, 0)},
        {2, 1, 4, bcl(12, 255, 0, 0)},     {3, 0, 2, bcl(10, 0, 255, 0)},   {4, 0, 1, bcl(9, 0, 0, 255)},
        {5, 0, 3, bcl(11, 0, 255, 255)},   {6, 0, 5, bcl(13, 255, 0, 255)}, {7, 0, 6, bcl(14, 255, 255, 0)},
        {0, 0, 0, bcl(0, 0, 0, 0)},        {0, 0, 0, ""},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.number);
        conv().colours.force_color_output = s.force;
        EXPECT_EQ(convert(stmt(tok::FSeparation, std::to_string(s.number))), s.records);
        EXPECT_EQ(colours().curr_color, s.code);
    }
    conv().preproc.zem_ver = 4, colours().curr_color = 6;
    const std::string written = convert(stmt(tok::FSeparation, "2"));
    EXPECT_EQ(written + std::to_string(colours().curr_color), "6");
}

// Catches the look-up reading past the records counted, a record found in
// a file that cannot be read or positioned, the file read again while its
// records are held, a stored colour not found, a result that is not a copy
// of the first match, the codes of tf_cmyk_conv_color, and a failed seek or
// write of the colour file not ending the run with 17 or 4.
TEST_F(ColoursTest, LookUpInTheColourFile) {
    convert(catalog(color("Blue", 100, 100, 0, 0) + color("Odd", -5, 0, 1, 0) + color("Grey", 0, 0, 0, 50)));
    CmykColorRecord *n = tf_get_cmyk_node("Odd");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(std::vector<int>({n->cyan, n->magenta, n->yellow, n->black}), std::vector<int>({-5, 0, 1, 0}));
    EXPECT_EQ(tf_get_cmyk_node("Blue") == n ? n->cyan : -1, 100) << "one shared record, now Blue's";
    struct { const char *name; int code; } codes[] = {
        {"Blue", 6}, {"Odd", 5}, {"Grey", 0}, {"Green", 0}, {"", 0}, {nullptr, 0}};
    for (const auto &c : codes) EXPECT_EQ(tf_cmyk_conv_color(c.name), c.code) << (c.name ? c.name : "null");
    ColourState &c = conv().colours;
    c.num_cmyk_colors = 2;
    EXPECT_EQ(tf_get_cmyk_node("Grey"), nullptr) << "past the records counted";
    VOXclose(c.cmyk_fh), c.cmyk_fh = -1;
    EXPECT_EQ(tf_get_cmyk_node("Blue"), nullptr);
    use_host_files(true);
    c.cmyk_fh = VOXopen(conv().driver.cmyk_name, 3, 1), c.num_cmyk_colors = 3;
    forget_list_cache(list_files().colours);  // the file opened anew under the converter
    host_files().fail_seek_at = host_files().seeks + 1;
    EXPECT_EQ(tf_get_cmyk_node("Blue"), nullptr);
    host_files().fail_read_at = host_files().reads + 1;
    EXPECT_EQ(tf_get_cmyk_node("Blue"), nullptr);
    EXPECT_NE(tf_get_cmyk_node("Blue"), nullptr);
    // Read once, the records answer from memory until a colour is stored.
    const long reads = host_files().reads;
    EXPECT_NE(tf_get_cmyk_node("Grey"), nullptr);
    EXPECT_EQ(tf_get_cmyk_node("Teal"), nullptr);
    EXPECT_EQ(host_files().reads, reads);
    convert(catalog(color("Teal", 100, 0, 30, 10)));
    EXPECT_NE(tf_get_cmyk_node("Teal"), nullptr);
    // Storing a colour: a failed seek ends the run with 17, a short write with 4.
    for (long HostFilePlan::*at : {&HostFilePlan::fail_seek_at, &HostFilePlan::zero_write_at}) {
        TearDown(), SetUp(), use_host_files(true);
        conv().colours.cmyk_fh = VOXopen(conv().driver.cmyk_name, 3, 1);
        host_files().*at = 1;
        EXPECT_EQ(exit_code_of([] { convert(color("A", 0, 0, 0, 0)); }), at == &HostFilePlan::fail_seek_at ? 17 : 4);
    }
}

}  // namespace
}  // namespace vox::test
