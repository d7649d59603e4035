// The token stack and the readers of the main pass over a real
// preprocessed-text buffer: what each returns, what it leaves in the
// stream, what it copies and how many progress steps it counts.
#include "common/temp_buffers.h"
#include "converter/token_reader.h"
#include "test_support.h"

namespace vox {
namespace {

const std::string kEnd = "\xFE";  // the end marker of a token number

using TokenReader = test::ConverterTest;

// Catches a 254 left in the stream, digits past the buffer's room kept or
// left unread, a stop byte consumed instead of pushed back (or a 254 pushed
// back), strings looked into, and steps counted for bytes that are not
// skipped.
TEST_F(TokenReader, ReadersStopAndPushBackByTheirRules) {
    int (*const num)() = tf_read_token_num, (*const eat)() = tf_eat_rest_of_line,
                (*const skip)() = tf_unknown_token_line_skip, (*const white)() = tf_skipp_white_space;
    const struct { int (*read)(); std::string input; int result; std::string left; long steps = 0; } cases[] = {
        {num, "86" + kEnd + "<", 86, "<"}, {num, kEnd + ">", 0, ">"}, {num, "12", 12, ""}, {num, "7a9" + kEnd, 7, ""},
        {num, "12345678901" + kEnd + "x", 123456789, "x"},  // digits beyond nine read and dropped
        {eat, "abc<def", 0, "<def", 3},  {eat, "ab>c", 0, ">c", 2},  {eat, "ab\rc", 0, "\rc", 2},
        {eat, "abcd", 0, "", 4},         {eat, "`a<b'<", 0, "<b'<", 2},  // eat looks into strings
        {skip, "x`a<b\r'c>d", 0, ">d", 6}, {skip, "ab\rc", 0, "\rc"}, {skip, "`abc", 0, "", 4},
        {white, " \t x", 0, "x"}, {white, "  " + kEnd + "x", 0, "x"}, {white, "  ", 0, ""}, {white, "x", 0, "x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases) + ": " + test::visible(c.input));
        feed(c.input);
        const unsigned before = kernel().progress.DispCurrentCount;
        EXPECT_EQ(c.read(), c.result);
        EXPECT_EQ(static_cast<long>(kernel().progress.DispCurrentCount - before), c.steps);
        EXPECT_EQ(test::visible(rest()), test::visible(c.left));
    }
}

// Catches the marker not copied, bytes after it consumed, the end of input
// taken for a number, and the work string keeping an earlier number.
TEST_F(TokenReader, NextTokenNumCopiesItsBytesIntoTheBuffer) {
    const struct { std::string input; int result; std::string copied, left, work; } cases[] = {
        {"84" + kEnd + "5>", 84, "84" + kEnd, "5>", "84"}, {"7" + kEnd, 7, "7" + kEnd, "", "7"},
        {kEnd + "<", 0, kEnd, "<", ""}, {"12", -1, "12", "", "12"}, {"", -1, "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(test::visible(c.input));
        feed(c.input);
        const int buffer = bufopen(512);
        ASSERT_EQ(bufput('<', buffer), 0);
        EXPECT_EQ(tf_read_next_token_num(buffer), c.result);
        EXPECT_EQ(test::visible(drain(buffer)), test::visible("<" + c.copied));
        EXPECT_EQ(test::visible(rest()), test::visible(c.left));
        EXPECT_EQ(std::string(conv().tokens.buff), c.work);
        bufclose(buffer);
    }
}

// Catches an off-by-one at the 100-entry limit, a refused push that still
// changes the stack, and pops in the wrong order or below empty.
TEST_F(TokenReader, TokenStackHoldsOneHundredEntries) {
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(tf_push_token(i), 0) << i;
    EXPECT_EQ(tf_push_token(101), 1);
    EXPECT_EQ(conv().tokens.push_idx, 100);
    for (int i = 100; i >= 1; --i) ASSERT_EQ(tf_pop_token(), i);
    EXPECT_EQ(tf_pop_token() + tf_pop_token(), -2);
    EXPECT_EQ(tf_push_token(0), 0);  // an unreadable number still balances its '>'
    EXPECT_EQ(tf_pop_token(), 0);
}

}  // namespace
}  // namespace vox
