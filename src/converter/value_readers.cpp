// The value readers: words, integers and dimensions of the preprocessed
// text, read through preproc_getc / preproc_unget.
#include "converter/value_readers.h"

#include <climits>
#include <cstring>

#include "common/kernel_state.h"
#include "converter/conversion.h"

namespace vox {
namespace {

constexpr int kCarriageReturn = 13;
constexpr int kUnknownUnitCode = 12;
// Significant fraction digits kept: more than the two a conversion uses,
// few enough that the value fits an int.
constexpr int kFractionDigitsKept = 9;

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_sign(int c) { return c == '+' || c == '-'; }

int clamp_to_int(long long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// The value of an optional sign and the digits after it, as atoi reads
// them; the magnitude stops growing once it is past the int range.
int leading_int_value(const char *text) {
    bool negative = false;
    if (is_sign(*text)) negative = *text++ == '-';
    long long magnitude = 0;
    for (; is_digit(*text); ++text) {
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (*text - '0');
    }
    return clamp_to_int(negative ? -magnitude : magnitude);
}

// The fraction part of a number: its digits' value and the count of its
// leading zeros that have another character after them.
struct FractionPart {
    int value = 0;
    int zeros = 0;
};

// Digits past the kept ones are dropped: they never reach the two
// significant digits a conversion uses.
FractionPart read_fraction(const char *text) {
    FractionPart part;
    while (text[part.zeros] == '0' && text[part.zeros + 1] != '\0') ++part.zeros;
    int kept = 0;
    for (const char *p = text; is_digit(*p); ++p) {
        if (part.value == 0 && *p == '0') continue;  // leading zeros add nothing
        if (kept++ < kFractionDigitsKept) part.value = part.value * 10 + (*p - '0');
    }
    return part;
}

// fraction * 10 / 10^(digits - 1): the first two significant digits, a
// lone digit counting as tens.  Reduced without the multiplication, which
// could overflow.
long long two_significant_digits(int fraction) {
    if (fraction <= 0) return 0;
    if (fraction < 10) return fraction * 10LL;
    while (fraction >= 100) fraction /= 10;
    return fraction;
}

// value / 10^zeros, truncating, one power at a time so that no power of
// ten has to be formed.
long long divide_by_power_of_ten(long long value, int zeros) {
    for (int i = 0; i < zeros && value != 0; ++i) value /= 10;
    return value;
}

// The unit code after 'c' or 'p', or 0 when the second letter ends the
// input or names no unit (the latter recorded as code 12).
int second_unit_letter(int first) {
    int second = preproc_getc();
    if (second < 0) return 0;
    if (first == 'c' && second == 'm') return kUnitCentimetre;
    if (first == 'c' && second == 'c') return kUnitCicero;
    if (first == 'p' && (second == 'c' || second == 'i')) return kUnitPica;
    if (first == 'p' && second == 't') return kUnitPoint;
    kernel().errors.last_err = kUnknownUnitCode;
    return 0;
}

// Reads the unit letters after a number; 0 when no conversion is due.
int read_unit_code() {
    int c = preproc_getc();
    switch (c) {
        case -1:
            return 0;
        case '>':
            // The statement end closes the number: inches, and the '>' is
            // still the statement's.
            preproc_unget(c);
            return kUnitInch;
        case 'i':
        case '"':
            return kUnitInch;
        case 'c':
        case 'p':
            return second_unit_letter(c);
        case 'm':
            return kUnitMillimetre;
        case 'd':
            return kUnitDidot;
        default:
            return conv().values.default_unit;
    }
}

}  // namespace

int read_compress_word(char *buffer, std::size_t size) {
    std::size_t stored = 0;
    for (;;) {
        int c = preproc_getc();
        if (c < 0 || c == kCarriageReturn) break;
        if (c == '<' || c == '>') {
            preproc_unget(c);
            break;
        }
        // Past the buffer the word is still read to its end.
        if (stored + 1 < size) buffer[stored++] = static_cast<char>(c);
    }
    if (size > 0) buffer[stored] = '\0';
    return static_cast<int>(stored);
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_read_compress_word(char *buffer) { return read_compress_word(buffer, kCompressWordSize); }

VOX_API const char *tf_read_next_num_string(void) {
    char *text = conv().values.num_string;
    std::size_t length = 0;
    int c = preproc_getc();
    while (c == ' ' || c == '\t') c = preproc_getc();
    for (;; c = preproc_getc()) {
        if (c < 0) break;
        if (is_sign(c)) {
            if (length > 0) break;  // a sign inside the number ends it and is dropped
        } else if (!is_digit(c) && c != '.') {
            preproc_unget(c);
            break;
        }
        if (length + 1 < kNumStringSize) text[length] = static_cast<char>(c);
        ++length;
    }
    text[length < kNumStringSize ? length : kNumStringSize - 1] = '\0';
    return text;
}

VOX_API int tf_read_next_int(void) { return leading_int_value(tf_read_next_num_string()); }

VOX_API int tf_convert_next_num(void) {
    const char *text = tf_read_next_num_string();
    int whole = leading_int_value(text);
    FractionPart fraction;
    if (const char *point = std::strchr(text, '.')) fraction = read_fraction(point + 1);
    // A minus sign before a nonzero magnitude: no unit is read.
    if (text[0] == '-' && (whole != 0 || fraction.value != 0)) return 0;
    return tf_find_units(whole, fraction.value, fraction.zeros);
}

VOX_API int tf_find_units(int whole, int fraction, int zeros) {
    int unit = read_unit_code();
    if (unit == 0) return 0;
    return tf_calc_units(whole, fraction, unit, zeros);
}

VOX_API int tf_calc_units(int whole, int fraction, int unit, int zeros) {
    // Twips per unit as whole x mul / div + fraction x mul / div, each step
    // truncating, one row per unit code 1-7.
    struct Factors {
        long long whole_mul, whole_div, fraction_mul, fraction_div;
    };
    static constexpr Factors kFactors[] = {
        {1440, 1, 144, 10},  // inch
        {567, 1, 57, 10},    // centimetre
        {558, 1, 56, 10},    // cicero
        {240, 1, 24, 10},    // pica
        {20, 1, 1, 5},       // point
        {567, 10, 57, 100},  // millimetre
        {21, 1, 2, 10},      // didot
    };
    if (unit < kUnitInch || unit > kUnitDidot) return 0;
    const Factors &k = kFactors[unit - kUnitInch];
    const long long whole_twips = static_cast<long long>(whole) * k.whole_mul / k.whole_div;
    const long long fraction_twips = two_significant_digits(fraction) * k.fraction_mul / k.fraction_div;
    return clamp_to_int(whole_twips + divide_by_power_of_ten(fraction_twips, zeros));
}
}
