// The value readers over a real preprocessed-text buffer.  Every expected
// twips value is worked out by hand from the unit table:
// whole * factor + (f * factor', truncated) / 10^z, where f holds the first
// two significant fraction digits and z the fraction's leading zeros.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/value_readers.h"
#include "test_support.h"

namespace vox {
namespace {

// A dimension read with a default unit: its value, the bytes it leaves in
// the stream and last_err afterwards.
struct DimensionCase {
    std::string input;
    int expected;
    std::string left;
    int default_unit = kUnitInch, err = 0;
};
// A text read: what the reader returns and what it leaves in the stream.
struct TextCase {
    std::string input, text, left;
};

class ValueReaders : public test::ConverterTest {
  protected:
    // Starts a case: the stream holds exactly these bytes, no error recorded.
    void feed(const std::string &bytes) {
        ASSERT_EQ(rest(), "") << "the previous case left bytes behind";
        kernel().errors.last_err = 0;
        const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
        ASSERT_EQ(bufputs(conv().buffers.preproceesed_bf, data, static_cast<int>(bytes.size())), 0);
    }
    // Everything the readers left in the stream, made visible.
    static std::string rest() {
        std::string bytes;
        for (int c = preproc_getc(); c >= 0; c = preproc_getc()) bytes.push_back(static_cast<char>(c));
        return test::visible(bytes);
    }

    void check_dimensions(const std::vector<DimensionCase> &cases) {
        for (const auto &c : cases) {
            SCOPED_TRACE("input " + test::visible(c.input) + ", default unit " + std::to_string(c.default_unit));
            feed(c.input);
            conv().values.default_unit = c.default_unit;
            EXPECT_EQ(tf_convert_next_num(), c.expected);
            EXPECT_EQ(rest(), test::visible(c.left));
            EXPECT_EQ(kernel().errors.last_err, c.err);
        }
    }

    template <typename Reader>
    void check_texts(const std::vector<TextCase> &cases, Reader read) {
        for (const auto &c : cases) {
            SCOPED_TRACE("input " + test::visible(c.input));
            feed(c.input);
            EXPECT_EQ(test::visible(read()), test::visible(c.text));
            EXPECT_EQ(rest(), test::visible(c.left));
        }
    }
};

// Catches a wrong factor or truncation step in any unit, a fraction read
// with the wrong significant digits or leading zeros, and a unit letter
// misread (only one letter of "inch" is examined).
TEST_F(ValueReaders, WorkedExamplesAndEveryUnit) {
    check_dimensions({
        {"0.5\"", 720, ""},           // 50*144/10
        {"12.0pt>", 240, ">"},        // 12*20
        {"0.05\"", 72, ""},           // z=1: (50*144/10)/10
        {"1.25cm", 709, ""},          // 567 + 25*57/10 = 567 + 142
        {"2.0pt", 40, ""},            // 2*20
        {"8.5inch>", 12240, "nch>"},  // 11520 + 720
        {"11.0>", 15840, ">"},        // nothing before '>': inches
        {"2.75i", 3960, ""},          // 2880 + 75*144/10 (1080)
        {"0.0625\"", 89, ""},         // z=1, f=62: (8928/10 = 892)/10
        {"2.54cm", 1441, ""},         // 1134 + 54*57/10 (3078/10 = 307)
        {"3.5cc", 1954, ""},          // 1674 + 50*56/10 (280)
        {"1.1cc", 614, ""},           // a lone digit counts as tens: 558 + 56
        {"6.1pc", 1464, ""},          // 1440 + 10*24/10
        {"1.99pi", 477, ""},          // 240 + 2376/10 (237)
        {"10.37pt", 207, ""},         // 200 + 37/5 (7)
        {"1.005pt", 20, ""},          // z=2: (50/5 = 10)/100 = 0
        {"25.4m", 1439, ""},          // whole divided after its product: 14175/10 (1417) + 40*57/100 (22)
        {"7.25d", 152, ""},           // 147 + 25*2/10 (5)
    });
}

// Catches '>' not closing the number in inches (or eaten), a blank or other
// byte not falling back to the default unit, a conversion where the unit is
// missing, an unknown second letter not giving 0 and code 12, and a
// negative number converted or its unit read.
TEST_F(ValueReaders, UnitRecognitionAndSigns) {
    check_dimensions({
        {"3>", 4320, ">", kUnitPoint}, {"3>", 4320, ">", kUnitMillimetre},
        {"3 pt>", 60, "pt>", kUnitPoint},         // 3*20
        {"3 pt>", 1701, "pt>", kUnitCentimetre},  // 3*567
        {"12", 0, ""}, {"12c", 0, ""}, {"", 0, ""},
        {"12cx>", 0, ">", kUnitInch, 12}, {"1ci", 0, "", kUnitInch, 12}, {"1pm", 0, "", kUnitInch, 12},
        {" \t+2.5pt", 50, ""},  // blanks skipped: 40 + 50/5
        {"-3pt>", 0, "pt>"},
        {"-0.5\"", 0, "\""},    // negative by its fraction alone
        {"-0pt>", 0, ">"},      // minus zero is no negative number: the unit is read
        // A sign inside the number ends it and is dropped; the '3' after it
        // is then no unit letter: consumed, default unit.
        {"2-3pt", 2880, "pt"},
    });
}

// Catches "mm" read whole: its second 'm' stays, and the next read finds
// an empty number followed by 'm', which is 0 millimetres.
TEST_F(ValueReaders, SeveralDimensionsInOneStatement) {
    feed("1mm2.0pt8.5i>\r");
    for (int expected : {56, 0, 40, 12240}) EXPECT_EQ(tf_convert_next_num(), expected);  // 1mm: 567/10
    EXPECT_EQ(rest(), test::visible(">\r"));
}

// Catches an overflow or a cut number text changing the value: the whole
// part saturates, and fraction digits past the kept text are read but only
// two significant ones count.
TEST_F(ValueReaders, HugeNumbersStayInRange) {
    check_dimensions({
        {"99999999999999999999i", INT_MAX, ""},
        {"2147483647pt", INT_MAX, ""},
        {"107374182pt", 2147483640, ""},  // fits: 107374182*20
        {"1." + std::string(80, '0') + "5pt>", 20, ">"},       // z=80: the fraction adds nothing
        {"0.12345678901234567890123456789\"", 172, ""},        // f=12: 1728/10
        {"3." + std::string(70, '9') + "cm", 1701 + 564, ""},  // f=99: 5643/10
    });
}

// Catches an overflow, a wrong rounding direction or an unknown unit code
// converted, in the conversion called directly.
TEST(ValueReadersArithmetic, CalcUnitsDirectly) {
    const int cases[][5] = {
        // whole, fraction, unit, zeros, expected
        {0, INT_MAX, kUnitInch, 0, 302},          // f=21: 3024/10
        {0, 5, kUnitInch, 1000, 0},               // a huge zero count divides to 0
        {-3, 0, kUnitMillimetre, 0, -170},        // -1701/10, truncated toward zero
        {INT_MAX, 99, kUnitInch, 0, INT_MAX},
        {INT_MIN, 0, kUnitCicero, 0, INT_MIN},
        {INT_MAX, 0, kUnitMillimetre, 0, INT_MAX},  // about 1.2e11 before the cut
        {5, 0, 0, 0, 0},
        {5, 0, 8, 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tf_calc_units(c[0], c[1], c[2], c[3]), c[4]) << c[0] << "." << c[1] << " unit " << c[2];
}

// Catches a sign accepted inside a number (or kept), a carriage return
// skipped as a blank, a number text written past its bound, and an
// integer that overflows instead of saturating.
TEST_F(ValueReaders, NumberStringsAndIntegers) {
    check_texts(
        {
            {"  \t-12.5pt", "-12.5", "pt"}, {"5-3>", "5", "3>"}, {"--5", "-", "5"},
            {"1.2.3>", "1.2.3", ">"}, {"\r7", "", "\r7"}, {"", "", ""},
            {std::string(100, '7') + ">", std::string(kNumStringSize - 1, '7'), ">"},
        },
        [] { return std::string(tf_read_next_num_string()); });
    check_texts(
        {
            {" \t-17>", "-17", ">"}, {"12.9>", "12", ">"}, {"x", "0", "x"},
            {"2147483647", "2147483647", ""}, {"2147483648", "2147483647", ""},
            {"-2147483648", "-2147483648", ""}, {"-99999999999999999999", "-2147483648", ""},
        },
        [] { return std::to_string(tf_read_next_int()); });
}

// Catches a word that skips blanks, eats a '<' or '>', keeps its CR, or
// returns a length other than what it stored.
TEST_F(ValueReaders, Words) {
    check_texts(
        {
            {"Yes>\r", "Yes", ">\r"}, {"Portrait<45\xfe", "Portrait", "<45\xfe"},
            {"PageTop\rNext", "PageTop", "Next"}, {"  a b\tc-1.5>", "  a b\tc-1.5", ">"}, {"Right", "Right", ""},
        },
        [] {
            char word[kCompressWordSize];
            int length = tf_read_compress_word(word);
            EXPECT_EQ(length, static_cast<int>(std::strlen(word)));
            return std::string(word);
        });
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
