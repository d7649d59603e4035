// The readable rendering of intermediate code, and its inverse.
//
// Intermediate code is a byte stream of plain text and records (ESC GS, a
// three-character code, parameters each ended by US, RS).  The rendering
// shows one record or one run of text per line:
//
//   DID 42
//   FLO 1 2 5 6
//   BTF 1
//     "Hello, \"world\"\x8E"
//     SNL
//   ETF 1
//
// - A record line is its code, then its parameters separated by one space.
//   A parameter made only of printable ASCII other than space, '"' and '\'
//   stands bare; any other parameter (the empty one included) is quoted.
// - A text line is the text in double quotes.
// - Inside quotes, '\\' and '\"' stand for themselves and '\xHH' (two
//   upper-case hex digits) for any byte outside printable ASCII.
// - Records between a structural begin record and its end record (BTF ...
//   ETF, FNT ... EFN, APO ... APF and the others of kRecordPairs marked
//   `nests`) are indented two spaces per level.  Indentation is for the eye
//   only: assembling ignores it.  Attribute pairs (BBT ... EBT) need not
//   nest inside each other and are not indented.
// - Bytes that do not form a well-made record (an ESC without GS, a code
//   that is not three letters or digits, a record cut off before its RS or
//   with bytes after its last US) are rendered as text, escaped, so that
//   nothing is lost.
// - assemble also takes blank lines and lines whose first non-blank
//   character is '#' (comments), so expected outputs can be written by hand.
//
// assemble(render(bytes)) == bytes for every byte string.
#pragma once

#include <string>
#include <vector>

namespace vox::icf {

// One parsed element of intermediate code: a record (code and parameters)
// or a run of text.
struct Element {
    bool is_record = false;
    std::string code;                 // three characters, records only
    std::vector<std::string> params;  // records only
    std::string text;                 // text runs only
};

// Splits intermediate code into records and text runs.
std::vector<Element> parse(const std::string &bytes);

// The readable rendering, one element per line, each line ended by '\n'.
std::string render(const std::string &bytes);

// The bytes a rendering stands for.  On a line it cannot read, returns false
// and describes the line in `error`.
bool assemble(const std::string &rendering, std::string &bytes, std::string &error);

// A begin record and the end record that closes it.
struct RecordPair {
    const char *begin;
    const char *end;
    bool nests;  // structural: indented in the rendering
};
extern const std::vector<RecordPair> kRecordPairs;

// The number of begin and end records of the pairs that are left unmatched:
// an end with no open begin of its pair, or a begin never ended.
int count_unpaired(const std::string &bytes);

}  // namespace vox::icf
