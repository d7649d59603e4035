// The ZEM reader's input: the source during the preprocessing pass (also
// when the source stream's input is redirected to the reader itself), then
// the preprocessed text, or the footnote buffer while a footnote is read.
#include "converter/conversion.h"
#include "test_support.h"

namespace vox::test {
namespace {

class ConversionInputTest : public KernelTest {
  protected:
    void SetUp() override {
        KernelTest::SetUp();
        reset_conversion();
    }
    TempDir dir;
};

int fill(const std::string &bytes) {
    int h = bufopen(512);
    bufputs(h, reinterpret_cast<const unsigned char *>(bytes.data()), static_cast<int>(bytes.size()));
    return h;
}

std::string read_some(int n) {
    std::string got;
    for (int i = 0; i < n; ++i) got.push_back(static_cast<char>(preproc_getc()));
    return got;
}

TEST_F(ConversionInputTest, ReadsTheSourceWhileRedirectedToItself) {
    write_file(dir.file("src"), "<ZEMFile>");
    int in = VOXopen(dir.file("src").c_str(), 1, 1);
    ASSERT_EQ(b_open(in, -1, 2048), 0);
    RedirectInput(preproc_getc);
    conv().routing.redirect_in_mode = 1;
    EXPECT_EQ(read_some(4), "<ZEM");
    preproc_unget('X');
    preproc_unget('Y');
    EXPECT_EQ(read_some(3), "YXF");
    EXPECT_EQ(kernel().streams.RedirectInputFlag, 1);  // redirection resumed
    RedirectInputClose();
    b_close();
    VOXclose(in);
}

TEST_F(ConversionInputTest, AfterThePassReadsBuffersWithPushBack) {
    Conversion &c = conv();
    c.routing.preprocess = 0;
    c.buffers.preproceesed_bf = fill("<55\xfe>\r");
    c.buffers.footnote_buffer_handle = fill("note");
    EXPECT_EQ(read_some(2), "<5");
    c.routing.in_footnote = 1;
    EXPECT_EQ(read_some(2), "no");
    preproc_unget('O');
    EXPECT_EQ(read_some(3), "Ote");
    c.routing.in_footnote = 0;
    EXPECT_EQ(read_some(4), "5\xfe>\r");
    EXPECT_EQ(preproc_getc(), -1);
}

}  // namespace
}  // namespace vox::test
