// The value readers of the ZEM reader: words, integers and dimensions that
// follow a statement's token number in the preprocessed text.  Every byte
// comes from preproc_getc and goes back through preproc_unget.
//
// Dimensions come out in twips (1/1440 inch).  A number is split at its
// first point into a whole part, a fraction and the count of the
// fraction's leading zeros; the unit after it selects a conversion whose
// integer steps truncate one by one:
//
//   code unit        written as           twips
//   1    inch        i, ", or '>' next    whole*1440 + (f*144/10) / 10^z
//   2    centimetre  cm                   whole*567  + (f*57/10)  / 10^z
//   3    cicero      cc                   whole*558  + (f*56/10)  / 10^z
//   4    pica        pc, pi               whole*240  + (f*24/10)  / 10^z
//   5    point       pt                   whole*20   + (f/5)      / 10^z
//   6    millimetre  m                    whole*567/10 + (f*57/100) / 10^z
//   7    didot       d                    whole*21   + (f*2/10)   / 10^z
//
// f is the fraction's first two significant digits (a lone digit d counts
// as d*10), z the fraction's leading zeros that have a further character
// after them.  Only the letters shown are read: the second 'm' of "mm"
// stays in the stream.
//
// Bounds (no reader ever writes past them, no arithmetic overflows):
// - a word is stored in at most kCompressWordSize bytes by the exported
//   tf_read_compress_word; longer words are cut there but still read to
//   their end, so the stream position never depends on the buffer size;
// - a number's text is kept in ValueReaderState::num_string, at most
//   kNumStringSize - 1 characters; further characters of the same number
//   are read and dropped (they cannot change a converted value: the whole
//   part already saturates and only two significant fraction digits count);
// - integer values saturate at INT_MAX / INT_MIN, and a conversion whose
//   result leaves the 32-bit range gives INT_MAX (INT_MIN below).
#pragma once

#include <cstddef>

#include "common/api.h"

namespace vox {

// The smallest word buffer a caller hands to tf_read_compress_word (the
// inset reader's 20 bytes): 19 characters and the terminator.
constexpr std::size_t kCompressWordSize = 20;
// Room for one number's characters and the terminator.
constexpr std::size_t kNumStringSize = 64;

// Unit codes of the dimension reader.
enum UnitCode {
    kUnitInch = 1,
    kUnitCentimetre = 2,
    kUnitCicero = 3,
    kUnitPica = 4,
    kUnitPoint = 5,
    kUnitMillimetre = 6,
    kUnitDidot = 7,
};

struct ValueReaderState {
    int default_unit = kUnitInch;  // unit of a number followed by no unit letter
    char num_string[kNumStringSize] = {};  // the number read last
};

// Reads a word into buffer, storing at most size - 1 characters and a
// terminator (size 0 stores nothing); returns the number stored.
int read_compress_word(char *buffer, std::size_t size);

}  // namespace vox

extern "C" {
// Reads the bytes up to the end of input, '<', '>' or a carriage return;
// a '<' or '>' is left in the stream, a carriage return is consumed.  No
// blank is skipped.  buffer must hold kCompressWordSize (20) bytes.
// Returns the number of characters stored.
VOX_API int tf_read_compress_word(char *buffer);
// Skips spaces and tabs and reads a number's characters: a sign as the
// first character only, then digits and points.  A later sign ends the
// number and is consumed; any other byte ends it and stays in the stream.
// The text stays valid until the next call.
VOX_API const char *tf_read_next_num_string(void);
// The decimal value of the next number (its integer part).
VOX_API int tf_read_next_int(void);
// The next dimension in twips; 0 for a negative number, for the end of
// input where a unit is due, and for an unknown unit after 'c' or 'p'
// (which also records the non-fatal code 12 in last_err).
VOX_API int tf_convert_next_num(void);
// Reads the unit after a number and converts the number with it.
VOX_API int tf_find_units(int whole, int fraction, int zeros);
// Converts a number to twips in the given unit code; 0 for an unknown code.
VOX_API int tf_calc_units(int whole, int fraction, int unit, int zeros);
}
