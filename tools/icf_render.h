// The readable rendering of intermediate code, and its inverse.
//
// Intermediate code is a byte stream of plain text and records (ESC GS, a
// three-character code, parameters each ended by US, RS).  A record may
// also embed whole records between its parameters and its own RS: a group,
// such as a style definition.  The rendering shows one record or one run of
// text per line:
//
//   DID 42
//   SYT Body 1 {
//     SYP 0
//     SEP
//   }
//   BTF 1
//     "Hello, \"world\"\x8E"
//     SNL
//   ETF 1
//
// - A record line is its code, then its parameters separated by one space.
//   A parameter made only of printable ASCII other than space, '"' and '\'
//   stands bare, unless it is the single character '{'; any other parameter
//   (the empty one included) is quoted.
// - A text line is the text in double quotes.
// - Inside quotes, '\\' and '\"' stand for themselves and '\xHH' (two
//   upper-case hex digits) for any byte outside printable ASCII.
// - A group is a record with at least one parameter whose last US is
//   directly followed by ESC GS.  Its line ends in " {"; its embedded
//   records and text follow one level deeper, and a line "}" stands for the
//   RS that closes it.  Groups nest.  Bytes that do not form a well-made
//   record inside a group are its text, up to the first RS left over, which
//   closes the group.
// - Records between a structural begin record and its end record (BTF ...
//   ETF, FNT ... EFN, APO ... APF and the others of kRecordPairs marked
//   `nests`) are indented two spaces per level.  Indentation is for the eye
//   only: assembling ignores it.  Attribute pairs (BBT ... EBT) need not
//   nest inside each other and are not indented.  Each group's content
//   pairs on its own: a begin inside a group is not ended by an end record
//   outside it.
// - Bytes that do not form a well-made record or group (an ESC without GS,
//   a code that is not three letters or digits, a record or group cut off
//   before its RS, a record with bytes after its last US) are rendered as
//   text, escaped, so that nothing is lost.  The records embedded in a
//   group cut off before its RS still show as records.
// - assemble also takes blank lines and lines whose first non-blank
//   character is '#' (comments), so expected outputs can be written by hand.
//
// assemble(render(bytes)) == bytes for every byte string.
#pragma once

#include <string>
#include <vector>

namespace vox::icf {

// One parsed element of intermediate code: a record (code and parameters),
// a group (a record with the elements embedded before its RS), or a run of
// text.
struct Element {
    bool is_record = false;           // records and groups
    bool is_group = false;            // groups only
    std::string code;                 // three characters, records only
    std::vector<std::string> params;  // records only
    std::string text;                 // text runs only
    std::vector<Element> children;    // groups only: what stands before the RS

    Element() = default;
    Element(const Element &) = default;
    Element(Element &&) noexcept = default;
    Element &operator=(const Element &) = default;
    Element &operator=(Element &&) noexcept = default;
    // Takes nested groups apart without recursing once per level, so that
    // no nesting depth can exhaust the stack.
    ~Element();
};

// Splits intermediate code into records, groups and text runs.  Adjacent
// text is one run.
std::vector<Element> parse(const std::string &bytes);

// The readable rendering, one element per line, each line ended by '\n'.
std::string render(const std::string &bytes);

// The bytes a rendering stands for.  On a line it cannot read, returns false
// and describes the line in `error` ("line N: ...").  A group "X ... {"
// then "}" with nothing between stands for the plain record X; a group
// without parameters, or whose first element is text, is refused, because
// those bytes would not read back as a group.
bool assemble(const std::string &rendering, std::string &bytes, std::string &error);

// A begin record and the end record that closes it.
struct RecordPair {
    const char *begin;
    const char *end;
    bool nests;  // structural: indented in the rendering
};
extern const std::vector<RecordPair> kRecordPairs;

// The number of begin and end records of the pairs that are left unmatched:
// an end with no open begin of its pair, or a begin never ended.  Records
// pair within the same level only: the top level or one group's content.
int count_unpaired(const std::string &bytes);

}  // namespace vox::icf
