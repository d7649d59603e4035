// Colours: catalog colours stored by the end of <Color in a real colour
// file and chosen by <FColor, version-3 separations chosen by
// <FSeparation, the BCL record written only when the flags change (or
// when forced), and the colour look-up itself.
#include <string>
#include <vector>

#include "common/file_access.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "converter/colours.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/routing.h"
#include "converter/token_reader.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

std::string open(int token, const std::string &values = "") { return "<" + std::to_string(token) + "\xfe" + values; }
std::string stmt(int token, const std::string &values = "") { return open(token, values) + ">\r"; }

// A <Color statement of the colour catalog.
std::string color(const std::string &name, int cyan, int magenta, int yellow, int black) {
    return open(tok::Color) + "\r" + stmt(tok::ColorTag, "`" + name + "'") + stmt(tok::ColorCyan, std::to_string(cyan)) +
           stmt(tok::ColorMagenta, std::to_string(magenta)) + stmt(tok::ColorYellow, std::to_string(yellow)) +
           stmt(tok::ColorBlack, std::to_string(black)) + ">\r";
}

std::string bcl(int flags, int red, int green, int blue) {
    return record("BCL", {std::to_string(flags), std::to_string(red), std::to_string(green), std::to_string(blue)});
}

class ColoursTest : public ConverterTest {
  protected:
    TempDir dir;
    void SetUp() override {
        ConverterTest::SetUp();
        Conversion &c = conv();
        c.buffers.text_flow_buff = bufopen(1024);
        c.routing.text_flow = c.routing.redirect_mode = 1;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
        write_file(dir.file("colours"), "");
        c.colours.cmyk_fh = VOXopen(dir.file("colours").c_str(), 3, 1);
        c.preproc.zem_ver = 5;
    }
    void TearDown() override {
        RedirectOutputClose();
        if (conv().colours.cmyk_fh >= 0) VOXclose(conv().colours.cmyk_fh);
        ConverterTest::TearDown();
    }
    static void convert(const std::string &text) {
        feed(text);
        for (int c = preproc_getc(); c >= 0; c = preproc_getc())
            if (c == '<')
                tf_handle_command_token();
            else if (c == '>')
                tf_end_token();
    }
    static std::string out() { return icf::render(drain(conv().buffers.text_flow_buff)); }
    static StringNeighbourFlags &flags() { return conv().strings.others; }
};

// A version-5 document: the catalog is read into the colour file by the
// end of <Color, then <FColor names colours.  Catches black not added to
// a component, the sum not capped at 100, the dark bit set at 127 or
// missing below it, a look-up that does not start from the file's first
// record, a later duplicate name winning, names compared without case, a
// record written for an unchanged flag set or for an unknown name, the
// colour code summed wrongly, and a colour defined after an earlier
// look-up not found.
TEST_F(ColoursTest, CatalogColoursChosenByName) {
    convert(open(tok::ColorCatalog) + "\r" + color("Red", 0, 100, 100, 0) + color("Teal", 60, 0, 20, 0) +
            color("Black", 0, 0, 0, 100) + color("Red", 100, 0, 0, 0) + color("Maroon", 0, 100, 100, 50) +
            color("C50", 50, 0, 0, 0) + color("C51", 51, 0, 0, 0) + color("K80", 30, 0, 10, 80) +
            color("M99", 0, 99, 0, 0) + ">\r");
    ASSERT_EQ(conv().colours.num_cmyk_colors, 9);
    struct { const char *name; int code; std::string records; } steps[] = {
        {"Red", 3, bcl(4, 255, 0, 0)},
        {"Red", 3, ""},
        // 80 * 255 / 100 = 204.
        {"Teal", 5, bcl(15, 102, 255, 204)},
        {"Black", 0, bcl(0, 0, 0, 0)},
        {"Nope", 0, ""},
        {"red", 0, ""},
        {"Maroon", 3, bcl(4, 127, 0, 0)},
        // Same flags as Maroon: nothing, though red differs.
        {"Red", 3, ""},
        // 50 * 255 / 100 = 127: not below 127; 49 * 255 / 100 = 124.
        {"C50", 4, bcl(7, 127, 255, 255)},
        {"C51", 4, bcl(15, 124, 255, 255)},
        // Red capped at 0; 20 * 255 / 100 = 51; 10 * 255 / 100 = 25.
        {"K80", 5, bcl(11, 0, 51, 25)},
        {"M99", 2, bcl(15, 255, 2, 255)},
        {"Later", 0, ""},
    };
    int number = 0;
    for (const auto &s : steps) {
        SCOPED_TRACE(++number);
        convert(stmt(tok::FColor, std::string("`") + s.name + "'"));
        EXPECT_EQ(out(), icf::render(s.records));
        EXPECT_EQ(flags().curr_color, s.code);
        EXPECT_STREQ(flags().color_name, s.name);
    }
    convert(color("Later", 0, 0, 100, 0) + stmt(tok::FColor, "`Later'"));
    EXPECT_EQ(out(), icf::render(bcl(6, 255, 255, 0)));
    EXPECT_EQ(flags().curr_color, 1);
}

// A version-3 document: <FSeparation numbers through the colour map to
// codes, and codes to flags and components.  Catches the map or the flag
// rules misapplied (white must be 15 and 255, 255, 255), a repeated colour
// written again, and <FSeparation acting in a version-4 document.
TEST_F(ColoursTest, SeparationsOfVersionThree) {
    conv().preproc.zem_ver = 3;
    struct { int number; int code; std::string records; } steps[] = {
        {1, 7, bcl(15, 255, 255, 255)},
        {1, 7, ""},
        {2, 4, bcl(12, 255, 0, 0)},
        {3, 2, bcl(10, 0, 255, 0)},
        {4, 1, bcl(9, 0, 0, 255)},
        {5, 3, bcl(11, 0, 255, 255)},
        {6, 5, bcl(13, 255, 0, 255)},
        {7, 6, bcl(14, 255, 255, 0)},
        {0, 0, bcl(0, 0, 0, 0)},
        {0, 0, ""},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.number);
        convert(stmt(tok::FSeparation, std::to_string(s.number)));
        EXPECT_EQ(out(), icf::render(s.records));
        EXPECT_EQ(flags().curr_color, s.code);
    }
    conv().preproc.zem_ver = 4;
    flags().curr_color = 6;
    convert(stmt(tok::FSeparation, "2"));
    EXPECT_EQ(out(), "");
    EXPECT_EQ(flags().curr_color, 6);
}

// Catches the force flag ignored, kept for a second record, kept after a
// call that wrote nothing, and the flags not remembered after a forced
// record.
TEST_F(ColoursTest, ForcedRecordIsWrittenOnce) {
    ColourState &c = conv().colours;
    convert(open(tok::ColorCatalog) + "\r" + color("Black", 0, 0, 0, 100) + color("Red", 0, 100, 100, 0) + ">\r");
    struct { int force; const char *name; std::string records; } steps[] = {
        {1, "Black", bcl(0, 0, 0, 0)},
        {0, "Black", ""},
        {1, "Nope", ""},
        {0, "Black", ""},
        {1, "Red", bcl(4, 255, 0, 0)},
        {1, "Red", bcl(4, 255, 0, 0)},
        {0, "Red", ""},
    };
    int number = 0;
    for (const auto &s : steps) {
        SCOPED_TRACE(++number);
        c.force_color_output = s.force;
        tf_output_color(0, s.name);
        EXPECT_EQ(out(), icf::render(s.records));
        EXPECT_EQ(c.force_color_output, 0);
    }
    // Version 3 takes the code, not the name.
    conv().preproc.zem_ver = 3;
    tf_output_color(4, nullptr);
    c.force_color_output = 1;
    tf_output_color(4, "Black");
    EXPECT_EQ(out(), icf::render(bcl(12, 255, 0, 0) + bcl(12, 255, 0, 0)));
}

// Catches the look-up reading past the records counted, a record found in
// a file that cannot be read or positioned, a result that is not a copy
// of the first match, and the codes of tf_cmyk_conv_color.
TEST_F(ColoursTest, LookUpInTheColourFile) {
    convert(open(tok::ColorCatalog) + "\r" + color("Blue", 100, 100, 0, 0) + color("Odd", -5, 0, 1, 0) +
            color("Grey", 0, 0, 0, 50) + ">\r");
    CmykColorRecord *node = tf_get_cmyk_node("Odd");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(std::vector<int>({node->cyan, node->magenta, node->yellow, node->black}), std::vector<int>({-5, 0, 1, 0}));
    EXPECT_EQ(tf_get_cmyk_node("Blue"), node) << "one shared record";
    EXPECT_EQ(node->cyan, 100);
    EXPECT_EQ(tf_get_cmyk_node(nullptr), nullptr);
    EXPECT_EQ(tf_get_cmyk_node(""), nullptr);

    struct { const char *name; int code; } codes[] = {{"Blue", 6}, {"Odd", 5}, {"Grey", 0}, {"Green", 0}};
    for (const auto &c : codes) EXPECT_EQ(tf_cmyk_conv_color(c.name), c.code) << c.name;

    ColourState &c = conv().colours;
    c.num_cmyk_colors = 2;
    EXPECT_EQ(tf_get_cmyk_node("Grey"), nullptr) << "past the records counted";

    VOXclose(c.cmyk_fh);
    c.cmyk_fh = -1;
    EXPECT_EQ(tf_get_cmyk_node("Blue"), nullptr);

    use_host_files(true);
    c.cmyk_fh = VOXopen(dir.file("colours").c_str(), 3, 1);
    ASSERT_GE(c.cmyk_fh, 0);
    c.num_cmyk_colors = 3;
    host_files().fail_seek_at = host_files().seeks + 1;
    EXPECT_EQ(tf_get_cmyk_node("Blue"), nullptr);
    host_files().fail_read_at = host_files().reads + 1;
    EXPECT_EQ(tf_get_cmyk_node("Blue"), nullptr);
    EXPECT_NE(tf_get_cmyk_node("Blue"), nullptr);
    VOXclose(c.cmyk_fh);
    c.cmyk_fh = -1;
    use_host_files(false);
}

}  // namespace
}  // namespace vox::test
