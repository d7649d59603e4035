// The value readers over a real preprocessed-text buffer.  Every expected
// twips value is worked out by hand from the unit table:
// whole * factor + (f * factor', truncated) / 10^z, where f holds the first
// two significant fraction digits and z the fraction's leading zeros.
#include <climits>
#include <cstring>

#include "converter/value_readers.h"
#include "test_support.h"

namespace vox {
namespace {

using ValueReaders = test::ConverterTest;

// Catches a wrong factor or truncation step in any unit, a fraction read with the wrong
// significant digits or leading zeros, a unit letter misread (one letter of "inch" is examined),
// '>' not closing the number in inches (or eaten), a blank not falling back to the default unit,
// a missing unit converted, an unknown second letter not giving 0 and code 12, a negative number
// converted or its unit read, and an overflow or a cut number text changing the value.
TEST_F(ValueReaders, Dimensions) {
    const int cm = kUnitCentimetre, in = kUnitInch;
    const struct { std::string input; int expected; std::string left; int unit = kUnitInch, err = 0; } cases[] = {
        {"0.5\"", 720, ""},   {"12.0pt>", 240, ">"},     // 50*144/10; 12*20
        {"0.05\"", 72, ""},   {"0.0625\"", 89, ""},      // z=1: 720/10; z=1, f=62: (8928/10 = 892)/10
        {"1.25cm", 709, ""},  {"1.1cc", 614, ""},        // 567 + 25*57/10 (142); a lone digit is tens: 558 + 56
        {"6.1pc", 1464, ""},  {"1.99pi", 477, ""},       // 1440 + 10*24/10; 240 + 2376/10 (237)
        {"10.37pt", 207, ""}, {"1.005pt", 20, ""},       // 200 + 37/5 (7); z=2: (50/5 = 10)/100 = 0
        {"7.25d", 152, ""},   {"8.5inch>", 12240, "nch>"},  // 147 + 25*2/10 (5); 11520 + 720
        {"25.4m", 1439, ""},  // whole divided after its product: 14175/10 (1417) + 40*57/100 (22)
        {"3>", 4320, ">", kUnitPoint}, {"3 pt>", 1701, "pt>", cm},  // '>' is inches; a blank: 3*567
        {"12", 0, ""}, {"12c", 0, ""}, {"", 0, ""},                  // no unit where one is due
        {"12cx>", 0, ">", in, 12}, {"1ci", 0, "", in, 12}, {"1pm", 0, "", in, 12},
        {" \t+2.5pt", 50, ""},  // blanks skipped: 40 + 50/5
        {"-3pt>", 0, "pt>"}, {"-0.5\"", 0, "\""}, {"-0pt>", 0, ">"},  // minus zero is no negative number
        {"2-3pt", 2880, "pt"},  // a sign ends the number and is dropped; '3' is no unit: consumed
        {"99999999999999999999i", INT_MAX, ""}, {"2147483647pt", INT_MAX, ""},
        {"107374182pt", 2147483640, ""},                        // fits: 107374182*20
        {"1." + std::string(80, '0') + "5pt>", 20, ">"},       // z=80: the fraction adds nothing
        {"0.12345678901234567890123456789\"", 172, ""},        // f=12: 1728/10
        {"3." + std::string(70, '9') + "cm", 1701 + 564, ""},  // f=99: 5643/10
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("input " + test::visible(c.input) + ", default unit " + std::to_string(c.unit));
        feed(c.input);
        kernel().errors.last_err = 0;
        conv().values.default_unit = c.unit;
        EXPECT_EQ(tf_convert_next_num(), c.expected);
        EXPECT_EQ(test::visible(rest()), test::visible(c.left));
        EXPECT_EQ(kernel().errors.last_err, c.err);
    }
}

// Catches "mm" read whole: its second 'm' stays, and the next read finds
// an empty number followed by 'm', which is 0 millimetres.
TEST_F(ValueReaders, SeveralDimensionsInOneStatement) {
    feed("1mm2.0pt8.5i>\r");
    for (int expected : {56, 0, 40, 12240}) EXPECT_EQ(tf_convert_next_num(), expected);  // 1mm: 567/10
    EXPECT_EQ(rest(), ">\r");
}

// Catches an overflow, a wrong rounding direction or an unknown unit code
// converted, in the conversion called directly.
TEST(ValueReadersArithmetic, CalcUnitsDirectly) {
    const int cases[][5] = {
        // whole, fraction, unit, zeros, expected
        {0, INT_MAX, kUnitInch, 0, 302}, {0, 5, kUnitInch, 1000, 0},  // f=21: 3024/10; a huge zero count
        {-3, 0, kUnitMillimetre, 0, -170},                             // -1701/10, truncated toward zero
        {INT_MAX, 99, kUnitInch, 0, INT_MAX}, {INT_MIN, 0, kUnitCicero, 0, INT_MIN},
        {INT_MAX, 0, kUnitMillimetre, 0, INT_MAX},  // about 1.2e11 before the cut
        {5, 0, 0, 0, 0}, {5, 0, 8, 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tf_calc_units(c[0], c[1], c[2], c[3]), c[4]) << c[0] << "." << c[1] << " unit " << c[2];
}

std::string num_string() { return tf_read_next_num_string(); }
std::string integer() { return std::to_string(tf_read_next_int()); }
std::string word() {
    char word[kCompressWordSize];
    const int length = tf_read_compress_word(word);
    EXPECT_EQ(length, static_cast<int>(std::strlen(word)));
    return word;
}

// Catches a sign accepted inside a number (or kept), a carriage return skipped as a blank, a
// number text written past its bound, an integer that overflows instead of saturating, and a word
// that skips blanks, eats a '<' or '>', keeps its CR, or returns a length other than it stored.
TEST_F(ValueReaders, NumberStringsIntegersAndWords) {
    const struct { std::string (*read)(); std::string input, text, left; } cases[] = {
        {num_string, "  \t-12.5pt", "-12.5", "pt"}, {num_string, "5-3>", "5", "3>"}, {num_string, "--5", "-", "5"},
        {num_string, "1.2.3>", "1.2.3", ">"}, {num_string, "\r7", "", "\r7"}, {num_string, "", "", ""},
        {num_string, std::string(100, '7') + ">", std::string(kNumStringSize - 1, '7'), ">"},
        {integer, " \t-17>", "-17", ">"}, {integer, "12.9>", "12", ">"}, {integer, "x", "0", "x"},
        {integer, "2147483647", "2147483647", ""}, {integer, "2147483648", "2147483647", ""},
        {integer, "-2147483648", "-2147483648", ""}, {integer, "-99999999999999999999", "-2147483648", ""},
        {word, "Yes>\r", "Yes", ">\r"}, {word, "Portrait<45\xfe", "Portrait", "<45\xfe"}, {word, "Right", "Right", ""},
        {word, "PageTop\rNext", "PageTop", "Next"}, {word, "  a b\tc-1.5>", "  a b\tc-1.5", ">"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("input " + test::visible(c.input));
        feed(c.input);
        EXPECT_EQ(test::visible(c.read()), test::visible(c.text));
        EXPECT_EQ(test::visible(rest()), test::visible(c.left));
    }
}

// Catches a word written past its buffer, or a long word not read to its
// end (the stream position must not depend on the buffer size).
TEST_F(ValueReaders, LongWordsAreCutButReadToTheirEnd) {
    const std::string long_word = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    char word[32];
    std::memset(word, '#', sizeof word);
    feed(long_word + ">");
    EXPECT_EQ(tf_read_compress_word(word), 19);
    EXPECT_EQ(std::string(word, sizeof word), std::string("ABCDEFGHIJKLMNOPQRS\0", 20) + std::string(12, '#'));
    EXPECT_EQ(rest(), ">");
    for (std::size_t size : {1, 0}) {
        std::memset(word, '#', sizeof word);
        feed(long_word + "\rX");
        EXPECT_EQ(read_compress_word(word, size), 0) << size;
        EXPECT_EQ(std::string(word, 2), size == 1 ? std::string("\0#", 2) : "##") << size;
        EXPECT_EQ(rest(), "X") << size;
    }
}

}  // namespace
}  // namespace vox
