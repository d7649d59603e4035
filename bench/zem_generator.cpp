// Generated ZEM documents; see zem_generator.h for their shape.
#include "zem_generator.h"

#include <algorithm>
#include <vector>

namespace vox::bench {
namespace {

// A small deterministic generator (xorshift64*), the same on every host.
class Random {
  public:
    explicit Random(std::uint32_t seed) : state_(0x9E3779B97F4A7C15ull ^ (seed * 0x100000001B3ull + 1)) {}
    std::uint32_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }
    bool one_in(std::uint32_t n) { return below(n) == 0; }

  private:
    std::uint64_t state_;
};

// Output with a byte count, written to the file in large blocks.
class Sink {
  public:
    explicit Sink(std::FILE *out) : out_(out) {}
    ~Sink() { flush(); }
    Sink(const Sink &) = delete;
    Sink &operator=(const Sink &) = delete;

    void put(const std::string &text) {
        block_ += text;
        count_ += text.size();
        if (block_.size() >= kBlock) flush();
    }
    std::uint64_t count() const { return count_; }
    // Writes what is pending; the bytes that reached the file.
    std::uint64_t finish() {
        flush();
        return written_;
    }

  private:
    static constexpr std::size_t kBlock = 1 << 20;
    void flush() {
        if (block_.empty()) return;
        written_ += std::fwrite(block_.data(), 1, block_.size(), out_);
        block_.clear();
    }
    std::FILE *out_;
    std::string block_;
    std::uint64_t count_ = 0, written_ = 0;
};

const char *const kWords[] = {
    "the",      "converter", "reads",    "a",         "document", "and",      "writes",   "its",
    "text",     "flow",      "through",  "each",      "page",     "of",       "records",  "which",
    "format",   "paragraph", "table",    "frame",     "marker",   "value",    "string",   "line",
    "catalog",  "is",        "in",       "to",        "with",     "for",      "when",     "statement",
    "rectangle", "order",    "output",   "font",      "size",     "tab",      "stop",     "number",
    "reference", "variable", "heading",  "section",   "example",  "see",      "also",     "note"};
constexpr std::uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

// Sequences a string can hold besides plain words, each with its blank
// where a hexadecimal escape needs one to end.
const char *const kEscapes[] = {"\\xd5 ", "\\xd2 ", "\\xd3 ", "\\xa5 ", "\\xd0 ", "\\xd1 ",
                                "\\x8e ", "\\Q",    "\\q",    "\\>",    "\\<",    "\\\\",
                                "\\t"};
constexpr std::uint32_t kEscapeCount = sizeof kEscapes / sizeof kEscapes[0];

const char *const kChars[] = {"Tab", "EmDash", "EnDash", "SoftHyphen", "HardSpace", "Bullet",
                              "Pound", "HardReturn"};
constexpr std::uint32_t kCharCount = sizeof kChars / sizeof kChars[0];

std::string quoted(const std::string &text) { return "`" + text + "'"; }

// Text of a String statement, about `length` bytes.
std::string sentence(Random &r, std::size_t length) {
    std::string s;
    while (s.size() < length) {
        if (!s.empty()) s += ' ';
        if (r.one_in(12))
            s += kEscapes[r.below(kEscapeCount)];
        else
            s += kWords[r.below(kWordCount)];
    }
    return s;
}

std::string para_header(const char *tag, std::uint32_t unique) {
    return " <Para \n  <Unique " + std::to_string(unique) + ">\n  <PgfTag " + quoted(tag) + ">\n";
}

// One line of a paragraph: strings, special characters and now and then a
// character format change.  `rect` > 0 puts the line in that rectangle.
std::string para_line(Random &r, std::uint32_t rect) {
    std::string s = "  <ParaLine \n";
    if (rect > 0) s += "   <TextRectID " + std::to_string(rect) + ">\n";
    const std::uint32_t pieces = 1 + r.below(3);
    for (std::uint32_t i = 0; i < pieces; ++i) {
        if (r.one_in(6)) s += "   <Font \n    <FTag `'>\n    <FWeight `Bold'>\n    <FLocked No>\n   > # end of Font\n";
        s += "   <String " + quoted(sentence(r, 20 + r.below(60))) + ">\n";
        if (r.one_in(4)) s += std::string("   <Char ") + kChars[r.below(kCharCount)] + ">\n";
        if (r.one_in(6)) s += "   <Font \n    <FTag `'>\n    <FLocked No>\n   > # end of Font\n";
    }
    return s + "  > # end of ParaLine\n";
}

const char *paragraph_tag(Random &r) {
    const std::uint32_t pick = r.below(20);
    if (pick == 0) return "Heading1";
    if (pick < 4) return "Bullet";
    return "Body";
}

std::string catalog() {
    std::string s = "<PgfCatalog \n";
    const char *const tags[] = {"Body", "Heading1", "Bullet"};
    const char *const families[] = {"Times", "Helvetica", "Times"};
    const char *const sizes[] = {"10.0", "16.0", "10.0"};
    for (int i = 0; i < 3; ++i) {
        s += " <Pgf \n  <PgfTag " + quoted(tags[i]) + ">\n  <PgfAlignment LeftRight>\n";
        s += "  <PgfFIndent  0.0\">\n  <PgfLIndent  " + std::string(i == 2 ? "0.25" : "0.0") + "\">\n";
        s += "  <PgfSpBefore  6.0 pt>\n  <PgfLeading  2.0 pt>\n  <PgfNumTabs 1>\n";
        s += "  <TabStop \n   <TSX  0.25\">\n   <TSType Left>\n   <TSLeaderStr ` '>\n  > # end of TabStop\n";
        s += "  <PgfFont \n   <FFamily " + quoted(families[i]) + ">\n   <FSize  " + sizes[i] + " pt>\n";
        s += std::string("   <FWeight `") + (i == 1 ? "Bold" : "Regular") + "'>\n  > # end of PgfFont\n";
        s += " > # end of Pgf\n";
    }
    return s + "> # end of PgfCatalog\n";
}

std::string text_rect(std::uint32_t id, const char *brect, std::uint32_t next) {
    return " <TextRect \n  <ID " + std::to_string(id) + ">\n  <Pen 15>\n  <BRect  " + brect +
           ">\n  <TRNext " + std::to_string(next) + ">\n > # end of TextRect\n";
}

std::string page(const char *type, std::uint32_t number, const std::string &rects) {
    return "<Page \n <PageType " + std::string(type) + ">\n <PageNum " + quoted(std::to_string(number)) +
           ">\n <PageSize  8.5\" 11.0\">\n <PageOrientation Portrait>\n" + rects + "> # end of Page\n";
}

// Rectangle IDs: 1 and 2 on the master and reference pages, then for body
// page k (0-based) 10 + 2k for the main flow and 11 + 2k for its sidebar.
std::uint32_t main_rect(std::uint32_t k) { return 10 + 2 * k; }
std::uint32_t side_rect(std::uint32_t k) { return 11 + 2 * k; }
bool has_sidebar(const ZemShape &shape, std::uint32_t k) {
    return shape.side_flow_every > 0 && k % shape.side_flow_every == 0;
}

std::string side_flow(Random &r, std::uint32_t k, std::uint32_t &unique) {
    std::string s = "<TextFlow \n <TFTag `Side'>\n";
    for (int p = 0; p < 2; ++p) {
        s += para_header("Body", unique++);
        s += para_line(r, p == 0 ? side_rect(k) : 0);
        s += " > # end of Para\n";
    }
    return s + "> # end of TextFlow\n";
}

// A flow on the master page, converted only with a version level "5D".
std::string master_flow(Random &r, std::uint32_t &unique) {
    return "<TextFlow \n <TFTag `Footer'>\n" + para_header("Body", unique++) + para_line(r, 1) +
           " > # end of Para\n> # end of TextFlow\n";
}

// ---- Formatting-heavy documents --------------------------------------

// The colour catalog; a colour's separation number is its index.
struct Colour {
    const char *tag;
    int cyan, magenta, yellow, black;
    bool reserved;  // one of the application's own colours
};
const Colour kColours[] = {{"Black", 0, 0, 0, 100, true},  {"White", 0, 0, 0, 0, true},
                           {"Red", 0, 100, 100, 0, true},  {"Green", 100, 0, 100, 0, true},
                           {"Blue", 100, 100, 0, 0, true}, {"Cyan", 100, 0, 0, 0, true},
                           {"Magenta", 0, 100, 0, 0, true}, {"Dark Grey", 0, 0, 0, 75, false}};
enum ColourIndex { kBlack = 0, kRed = 2, kBlue = 4, kDarkGrey = 7 };

// The colour statements of a font: the separation number, then the name.
std::string colour_lines(const std::string &indent, std::size_t colour) {
    return indent + "<FSeparation " + std::to_string(colour) + ">\n" + indent + "<FColor " +
           quoted(kColours[colour].tag) + ">\n";
}

std::string percent(int value) { return "  " + std::to_string(value) + ".000000>\n"; }

std::string colour_catalog() {
    std::string s = "<ColorCatalog \n";
    for (const Colour &c : kColours) {
        s += " <Color \n  <ColorTag " + quoted(c.tag) + ">\n";
        s += "  <ColorCyan" + percent(c.cyan) + "  <ColorMagenta" + percent(c.magenta);
        s += "  <ColorYellow" + percent(c.yellow) + "  <ColorBlack" + percent(c.black);
        if (c.reserved) {
            std::string name = c.tag;
            s += "  <ColorAttribute ColorIs" + name + ">\n  <ColorAttribute ColorIsReserved>\n";
        }
        s += " > # end of Color\n";
    }
    return s + "> # end of ColorCatalog\n";
}

struct Tab {
    const char *position;  // inches
    const char *type;      // Left, Center, Right or Decimal
    const char *leader;
};

std::string tab_stops(const std::string &indent, const std::vector<Tab> &tabs) {
    std::string s = indent + "<PgfNumTabs " + std::to_string(tabs.size()) + ">\n";
    for (const Tab &t : tabs) {
        s += indent + "<TabStop \n" + indent + " <TSX  " + t.position + "\">\n";
        s += indent + " <TSType " + t.type + ">\n" + indent + " <TSLeaderStr " + quoted(t.leader) + ">\n";
        if (t.type[0] == 'D') s += indent + " <TSDecimalChar 46>\n";
        s += indent + "> # end of TabStop\n";
    }
    return s;
}

// How a format's paragraphs are numbered; each kind has its own format.
enum class Numbering { None, Chapter, Section, FirstStep, NextStep, Bullet, Note };

// The number format as written in the file: series letter, building blocks
// with their `\>` escape, and a `\\t` that ends the number with a tab.
const char *number_format(Numbering n) {
    switch (n) {
        case Numbering::Chapter: return "H:<n+\\>< =0\\>\\\\t";     // chapter, resets the section
        case Numbering::Section: return "H:<n\\>.<n+\\>\\\\t";      // repeats the chapter number
        case Numbering::FirstStep: return "S:<n=1\\>.\\\\t";        // restarts the list
        case Numbering::NextStep: return "S:<n+\\>.\\\\t";
        case Numbering::Bullet: return "B:\\xa5 \\\\t";
        case Numbering::Note: return "N:Note <R+\\>:\\\\t";
        case Numbering::None: break;
    }
    return "";
}

// What a paragraph of a format holds.
enum class Fill { Prose, Heading, Contents, Columns, Listing };

struct PgfFormat {
    const char *tag;
    const char *alignment;
    const char *first, *left, *right;     // indents, inches
    const char *before, *after, *leading;  // points
    bool fixed_spacing, with_next;
    const char *family, *size, *weight, *angle;
    std::size_t colour;
    Numbering numbering;
    std::vector<Tab> tabs;
    Fill fill;
};

enum FormatIndex {
    kBody, kIndented, kTitle, kHeading1, kHeading2, kStep1, kStep, kBullet,
    kContents, kColumns, kCode, kNote, kSignature
};

const std::vector<PgfFormat> &pgf_formats() {
    static const std::vector<PgfFormat> formats = {
        {"Body", "LeftRight", "0.0", "0.0", "0.0", "4.0", "2.0", "2.0", false, false, "Times", "10.0", "Regular",
         "Regular", kBlack, Numbering::None, {}, Fill::Prose},
        {"Indented", "Left", "0.25", "0.0", "0.0", "3.0", "3.0", "3.0", false, false, "Times", "10.0", "Regular",
         "Regular", kBlack, Numbering::None, {{"1.5", "Left", " "}, {"3.0", "Left", " "}}, Fill::Prose},
        {"Title", "Center", "0.0", "0.0", "0.0", "24.0", "12.0", "4.0", true, true, "Helvetica", "20.0", "Bold",
         "Regular", kBlue, Numbering::None, {}, Fill::Heading},
        {"Heading1", "Left", "0.0", "0.0", "0.0", "18.0", "6.0", "2.0", false, true, "Helvetica", "16.0", "Bold",
         "Regular", kBlack, Numbering::Chapter, {{"0.5", "Left", " "}}, Fill::Heading},
        {"Heading2", "Left", "0.0", "0.0", "0.0", "12.0", "4.0", "2.0", false, true, "Helvetica", "12.0", "Bold",
         "Oblique", kDarkGrey, Numbering::Section, {{"0.5", "Left", " "}}, Fill::Heading},
        {"Step1", "Left", "0.0", "0.3", "0.0", "6.0", "0.0", "2.0", false, false, "Times", "10.0", "Regular",
         "Regular", kBlack, Numbering::FirstStep, {{"0.3", "Left", " "}}, Fill::Prose},
        {"Step", "Left", "0.0", "0.3", "0.0", "2.0", "0.0", "2.0", false, false, "Times", "10.0", "Regular",
         "Regular", kBlack, Numbering::NextStep, {{"0.3", "Left", " "}}, Fill::Prose},
        {"Bullet", "Left", "0.1", "0.3", "0.0", "2.0", "0.0", "2.0", false, false, "Times", "10.0", "Regular",
         "Regular", kBlack, Numbering::Bullet, {{"0.3", "Left", " "}}, Fill::Prose},
        {"Contents", "Left", "0.0", "0.5", "0.5", "0.0", "0.0", "1.0", true, false, "Times", "10.0", "Regular",
         "Regular", kBlack, Numbering::None, {{"0.5", "Left", " "}, {"4.5", "Right", "."}}, Fill::Contents},
        {"Columns", "Left", "0.0", "0.0", "0.0", "0.0", "0.0", "2.0", false, false, "Helvetica", "9.0", "Regular",
         "Regular", kBlack, Numbering::None,
         {{"1.0", "Left", " "}, {"2.25", "Center", " "}, {"3.5", "Right", "_"}, {"4.75", "Decimal", ". "}},
         Fill::Columns},
        {"Code", "Left", "0.25", "0.25", "0.0", "0.0", "0.0", "0.0", true, false, "Courier", "9.0", "Regular",
         "Regular", kBlack, Numbering::None,
         {{"0.75", "Left", " "}, {"1.25", "Left", " "}, {"1.75", "Left", " "}, {"2.25", "Left", " "},
          {"2.75", "Left", " "}, {"3.25", "Left", " "}},
         Fill::Listing},
        {"Note", "LeftRight", "0.0", "0.75", "0.5", "6.0", "6.0", "2.0", false, false, "Times", "9.0", "Regular",
         "Italic", kRed, Numbering::Note, {{"0.75", "Left", " "}}, Fill::Prose},
        {"Signature", "Right", "2.0", "2.0", "0.25", "12.0", "0.0", "2.0", false, false, "Times", "10.0", "Regular",
         "Italic", kBlack, Numbering::None, {}, Fill::Heading},
    };
    return formats;
}

std::string inches(const char *value) { return std::string("  ") + value + "\">\n"; }
std::string points(const char *value) { return std::string("  ") + value + " pt>\n"; }

// The paragraph font of a catalog format, every property stated.
std::string pgf_font(const PgfFormat &f) {
    std::string s = "  <PgfFont \n   <FTag `'>\n   <FFamily " + quoted(f.family) + ">\n   <FVar `Regular'>\n";
    s += "   <FWeight " + quoted(f.weight) + ">\n   <FAngle " + quoted(f.angle) + ">\n";
    s += "   <FEncoding `FolioRoman'>\n   <FSize" + points(f.size);
    s += "   <FUnderlining FNoUnderlining>\n   <FOverline No>\n   <FStrike No>\n   <FChangeBar No>\n";
    s += "   <FOutline No>\n   <FShadow No>\n   <FPairKern Yes>\n   <FCase FAsTyped>\n   <FPosition FNormal>\n";
    s += "   <FDX  0.0%>\n   <FDY  0.0%>\n   <FDW  0.0%>\n   <FLocked No>\n" + colour_lines("   ", f.colour);
    return s + "  > # end of PgfFont\n";
}

// One catalog format in the shape the application writes.
std::string catalog_pgf(const PgfFormat &f) {
    std::string s = " <Pgf \n  <PgfTag " + quoted(f.tag) + ">\n  <PgfUseNextTag No>\n  <PgfNextTag `'>\n";
    s += "  <PgfAlignment " + std::string(f.alignment) + ">\n";
    s += "  <PgfFIndent" + inches(f.first) + "  <PgfLIndent" + inches(f.left) + "  <PgfRIndent" + inches(f.right);
    s += "  <PgfFIndentRelative No>\n  <PgfFIndentOffset  0.0\">\n  <PgfTopSeparator `'>\n";
    s += "  <PgfTopSepAtIndent No>\n  <PgfTopSepOffset  0.0\">\n  <PgfBotSeparator `'>\n";
    s += "  <PgfBotSepAtIndent No>\n  <PgfBotSepOffset  0.0\">\n  <PgfPlacement Anywhere>\n";
    s += "  <PgfPlacementStyle Normal>\n  <PgfRunInDefaultPunct `. '>\n";
    s += "  <PgfSpBefore" + points(f.before) + "  <PgfSpAfter" + points(f.after);
    s += std::string("  <PgfWithPrev No>\n  <PgfWithNext ") + (f.with_next ? "Yes" : "No") + ">\n";
    s += "  <PgfBlockSize 2>\n" + pgf_font(f);
    s += std::string("  <PgfLineSpacing ") + (f.fixed_spacing ? "Fixed" : "Proportional") + ">\n";
    s += "  <PgfLeading" + points(f.leading);
    if (f.numbering == Numbering::None) {
        s += "  <PgfAutoNum No>\n";
    } else {
        s += "  <PgfAutoNum Yes>\n  <PgfNumFormat " + quoted(number_format(f.numbering)) + ">\n";
        s += "  <PgfNumberFont " + quoted(f.numbering == Numbering::Note ? "Strong" : "") + ">\n";
        s += "  <PgfNumAtEnd No>\n";
    }
    s += tab_stops("  ", f.tabs);
    s += "  <PgfHyphenate Yes>\n  <HyphenMaxLines 2>\n  <HyphenMinPrefix 3>\n  <HyphenMinSuffix 3>\n";
    s += "  <HyphenMinWord 5>\n  <PgfLetterSpace No>\n  <PgfMinWordSpace 90>\n  <PgfOptWordSpace 100>\n";
    s += "  <PgfMaxWordSpace 110>\n  <PgfLanguage USEnglish>\n  <PgfCellAlignment Top>\n";
    s += "  <PgfCellMargins  0.0 pt 0.0 pt 0.0 pt 0.0 pt>\n  <PgfLocked No>\n";
    return s + " > # end of Pgf\n";
}

// Character formats: a tag and the property statements of its entry.
struct CharFormat {
    const char *tag;
    const char *properties;
};
const CharFormat kCharFormats[] = {
    {"Emphasis", "  <FAngle `Italic'>\n"},
    {"Strong", "  <FWeight `Bold'>\n"},
    {"Code", "  <FFamily `Courier'>\n  <FWeight `Regular'>\n  <FSize  9.0 pt>\n"},
    {"Warning", "  <FWeight `Bold'>\n  <FSeparation 2>\n  <FColor `Red'>\n"},
    {"Link", "  <FUnderlining FSingle>\n  <FSeparation 4>\n  <FColor `Blue'>\n"},
    {"Term", "  <FCase FSmallCaps>\n  <FSeparation 7>\n  <FColor `Dark Grey'>\n"},
};
constexpr std::uint32_t kCharFormatCount = sizeof kCharFormats / sizeof kCharFormats[0];

// The catalogs ahead of the pages: colours, paragraph formats, character
// formats (numbered after the paragraph formats) and the document's
// numbering setting.
std::string formatting_catalogs() {
    std::string s = colour_catalog() + "<PgfCatalog \n";
    for (const PgfFormat &f : pgf_formats()) s += catalog_pgf(f);
    s += "> # end of PgfCatalog\n<FontCatalog \n";
    for (const CharFormat &c : kCharFormats)
        s += " <Font \n  <FTag " + quoted(c.tag) + ">\n" + c.properties + "  <FLocked No>\n > # end of Font\n";
    s += "> # end of FontCatalog\n";
    return s + "<Document \n <DStartPage 1>\n <DPageNumStyle Arabic>\n <PgfNumbering Continue>\n"
               "> # end of Document\n";
}

std::string roman(std::uint32_t n) {
    static const std::pair<std::uint32_t, const char *> kDigits[] = {
        {1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
        {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},   {4, "IV"},  {1, "I"}};
    std::string s;
    for (const auto &d : kDigits)
        for (; n >= d.first; n -= d.first) s += d.second;
    return s;
}

std::string string_line(const std::string &text) { return "   <String " + quoted(text) + ">\n"; }
std::string char_line(const char *name) { return std::string("   <Char ") + name + ">\n"; }

// A character format switched on for a few words and off again.
std::string char_format_span(Random &r) {
    const char *tag = kCharFormats[r.below(kCharFormatCount)].tag;
    return "   <Font \n    <FTag " + quoted(tag) + ">\n    <FLocked No>\n   > # end of Font\n" +
           string_line(sentence(r, 6 + r.below(24))) + "   <Font \n    <FTag `'>\n    <FLocked No>\n   > # end of Font\n";
}

// A local font change of one to four properties for a few words, then the
// return to the paragraph font (and to its colour when it changed).
std::string local_font_span(Random &r, std::size_t pgf_colour) {
    static const char *const kFamilies[] = {"Helvetica", "Courier", "Arial", "Palatino"};
    static const char *const kSizes[] = {"8.0", "9.0", "11.0", "12.0", "14.0"};
    static const std::size_t kTextColours[] = {2, 3, 4, 5, 6, 7};
    constexpr std::uint32_t kProperties = 11;
    std::uint32_t chosen = 0;
    for (std::uint32_t n = 1 + r.below(4); n > 0; --n) chosen |= 1u << r.below(kProperties);
    auto has = [chosen](std::uint32_t bit) { return (chosen >> bit) & 1u; };
    std::string s = "   <Font \n    <FTag `'>\n";
    if (has(0)) s += "    <FFamily " + quoted(kFamilies[r.below(4)]) + ">\n";
    if (has(1)) s += "    <FWeight `Bold'>\n";
    if (has(2)) s += std::string("    <FAngle `") + (r.one_in(2) ? "Italic" : "Oblique") + "'>\n";
    if (has(3)) s += "    <FSize  " + std::string(kSizes[r.below(5)]) + " pt>\n";
    if (has(4)) s += std::string("    <FUnderlining ") + (r.one_in(3) ? "FDouble" : "FSingle") + ">\n";
    if (has(5)) s += "    <FStrike Yes>\n";
    if (has(6)) s += "    <FOutline Yes>\n";
    if (has(7)) s += "    <FShadow Yes>\n";
    if (has(8)) s += std::string("    <FCase ") + (r.one_in(2) ? "FUppercase" : "FSmallCaps") + ">\n";
    if (has(9)) s += std::string("    <FPosition ") + (r.one_in(2) ? "FSuperscript" : "FSubscript") + ">\n";
    s += "    <FLocked No>\n";
    if (has(10)) s += colour_lines("    ", kTextColours[r.below(6)]);
    s += "   > # end of Font\n" + string_line(sentence(r, 4 + r.below(28)));
    s += "   <Font \n    <FTag `'>\n    <FLocked No>\n";
    if (has(10)) s += colour_lines("    ", pgf_colour);
    return s + "   > # end of Font\n";
}

std::string line_start(std::uint32_t rect) {
    std::string s = "  <ParaLine \n";
    if (rect > 0) s += "   <TextRectID " + std::to_string(rect) + ">\n";
    return s;
}
const char *const kLineEnd = "  > # end of ParaLine\n";

// Running text: plain strings, character format spans, local font changes,
// special characters and tabs.
std::string prose_line(Random &r, const PgfFormat &f, std::uint32_t rect) {
    static const char *const kSpecials[] = {"HardSpace", "EmDash", "EnDash", "SoftHyphen", "Bullet"};
    std::string s = line_start(rect);
    for (std::uint32_t pieces = 1 + r.below(4); pieces > 0; --pieces) {
        const std::uint32_t pick = r.below(10);
        if (pick < 4) {
            s += string_line(sentence(r, 20 + r.below(60)));
        } else if (pick < 6) {
            s += char_format_span(r);
        } else if (pick < 8) {
            s += local_font_span(r, f.colour);
        } else if (pick == 8) {
            s += string_line(sentence(r, 10 + r.below(30))) + char_line(kSpecials[r.below(5)]);
        } else {
            s += char_line("Tab") + string_line(sentence(r, 10 + r.below(30)));
        }
    }
    return s + kLineEnd;
}

// A contents line: number, tab, title, tab to the right stop with its
// leader, page number.
std::string contents_line(Random &r, std::uint32_t rect, std::uint32_t chapter) {
    std::string s = line_start(rect) + string_line(std::to_string(chapter) + "." + std::to_string(1 + r.below(9)));
    s += char_line("Tab") + string_line(sentence(r, 15 + r.below(30)));
    return s + char_line("Tab") + string_line(std::to_string(1 + r.below(400))) + kLineEnd;
}

// A row of five cells, the last four at the left, centre, right and decimal
// stops.
std::string columns_line(Random &r, std::uint32_t rect) {
    std::string s = line_start(rect) + string_line(kWords[r.below(kWordCount)]);
    for (int cell = 0; cell < 3; ++cell)
        s += char_line("Tab") + string_line(sentence(r, 4 + r.below(10)));
    s += char_line("Tab") + string_line(std::to_string(r.below(10000)) + "." + std::to_string(10 + r.below(90)));
    return s + kLineEnd;
}

// A code line indented by tabs; lines but the last end with a hard return.
std::string listing_line(Random &r, std::uint32_t rect, bool last) {
    std::string s = line_start(rect);
    for (std::uint32_t tabs = r.below(3); tabs > 0; --tabs) s += char_line("Tab");
    s += string_line(sentence(r, 10 + r.below(50)));
    if (!last) s += char_line("HardReturn");
    return s + kLineEnd;
}

// A paragraph's own format changes: some of its indents, alignment,
// spacing, line spacing and tab stops.
std::string pgf_override(Random &r) {
    static const char *const kAlignments[] = {"Left", "LeftRight", "Center", "Right"};
    static const char *const kIndents[] = {"0.0", "0.125", "0.25", "0.5", "0.75", "1.0"};
    static const char *const kSpaces[] = {"0.0", "3.0", "6.0", "9.0", "12.0"};
    static const Tab kTabs[] = {{"0.5", "Left", " "},    {"1.25", "Center", " "}, {"2.0", "Right", "."},
                                {"2.75", "Decimal", ". "}, {"3.5", "Right", "_"},  {"4.25", "Left", "-"}};
    std::string s = "  <Pgf \n";
    if (r.one_in(2)) s += "   <PgfAlignment " + std::string(kAlignments[r.below(4)]) + ">\n";
    if (r.one_in(2)) {
        s += "   <PgfFIndent" + inches(kIndents[r.below(6)]) + "   <PgfLIndent" + inches(kIndents[r.below(6)]);
        s += "   <PgfRIndent" + inches(kIndents[r.below(4)]);
    }
    if (r.one_in(2)) s += "   <PgfSpBefore" + points(kSpaces[r.below(5)]) + "   <PgfSpAfter" + points(kSpaces[r.below(5)]);
    if (r.one_in(3)) s += "   <PgfLeading" + points(kSpaces[r.below(3)]);
    if (r.one_in(4)) s += std::string("   <PgfLineSpacing ") + (r.one_in(2) ? "Fixed" : "Proportional") + ">\n";
    if (r.one_in(4)) s += std::string("   <PgfWithNext ") + (r.one_in(2) ? "Yes" : "No") + ">\n";
    if (r.one_in(3)) {
        std::vector<Tab> tabs;
        for (const Tab &t : kTabs)
            if (r.one_in(2)) tabs.push_back(t);
        s += tab_stops("   ", tabs);
    }
    return s + "  > # end of Pgf\n";
}

// The main flow's paragraphs: the formats in a fixed cycle of runs, each
// run of random length, with the numbers the application would show.
class StyledText {
  public:
    std::string paragraph(Random &r, std::uint32_t unique, std::uint32_t rect) {
        const PgfFormat &f = pgf_formats()[next_format(r)];
        std::string s = para_header(f.tag, unique);
        if (r.one_in(5)) s += pgf_override(r);
        if (f.numbering != Numbering::None) s += "  <PgfNumString " + quoted(number_text(f.numbering)) + ">\n";
        const std::uint32_t lines = line_count(r, f.fill);
        for (std::uint32_t i = 0; i < lines; ++i) s += line(r, f, i == 0 ? rect : 0, i + 1 == lines);
        return s + " > # end of Para\n";
    }

  private:
    struct Run {
        FormatIndex format;
        std::uint32_t shortest, longest;
    };
    static constexpr Run kCycle[] = {
        {kTitle, 1, 1},    {kHeading1, 1, 1}, {kBody, 1, 3},     {kHeading2, 1, 1},  {kBody, 1, 2},
        {kIndented, 1, 2}, {kStep1, 1, 1},    {kStep, 1, 4},     {kBody, 1, 1},      {kBullet, 2, 4},
        {kHeading2, 1, 1}, {kColumns, 2, 5},  {kContents, 2, 5}, {kBody, 1, 2},      {kCode, 2, 5},
        {kNote, 1, 1},     {kHeading2, 1, 1}, {kBody, 1, 2},     {kSignature, 1, 1}};
    static constexpr std::size_t kCycleLength = sizeof kCycle / sizeof kCycle[0];

    FormatIndex next_format(Random &r) {
        if (left_in_run_ == 0) {
            position_ = (position_ + 1) % kCycleLength;
            const Run &run = kCycle[position_];
            left_in_run_ = run.shortest + r.below(run.longest - run.shortest + 1);
        }
        --left_in_run_;
        return kCycle[position_].format;
    }

    static std::uint32_t line_count(Random &r, Fill fill) {
        switch (fill) {
            case Fill::Heading: return 1;
            case Fill::Contents: return 1;
            case Fill::Columns: return 1 + r.below(2);
            case Fill::Listing: return 1 + r.below(4);
            case Fill::Prose: break;
        }
        return 1 + r.below(5);
    }

    std::string line(Random &r, const PgfFormat &f, std::uint32_t rect, bool last) {
        switch (f.fill) {
            case Fill::Heading: return line_start(rect) + string_line(sentence(r, 12 + r.below(30))) + kLineEnd;
            case Fill::Contents: return contents_line(r, rect, chapter_);
            case Fill::Columns: return columns_line(r, rect);
            case Fill::Listing: return listing_line(r, rect, last);
            case Fill::Prose: break;
        }
        return prose_line(r, f, rect);
    }

    // The number text of the next paragraph of a numbered format.
    std::string number_text(Numbering n) {
        switch (n) {
            case Numbering::Chapter:
                section_ = 0;
                return std::to_string(++chapter_) + "\\t";
            case Numbering::Section: return std::to_string(chapter_) + "." + std::to_string(++section_) + "\\t";
            case Numbering::FirstStep: step_ = 1; return "1.\\t";
            case Numbering::NextStep: return std::to_string(++step_) + ".\\t";
            case Numbering::Bullet: return "\\xa5 \\t";
            case Numbering::Note: return "Note " + roman(++note_) + ":\\t";
            case Numbering::None: break;
        }
        return "";
    }

    std::size_t position_ = kCycleLength - 1;  // the first run starts the cycle
    std::uint32_t left_in_run_ = 0;
    std::uint32_t chapter_ = 0, section_ = 0, step_ = 0, note_ = 0;
};

}  // namespace

std::uint64_t write_zem_document(std::FILE *out, const ZemShape &shape) {
    Random r(shape.seed);
    Sink sink(out);
    std::uint32_t unique = 1000;
    sink.put("<ZEMFile 5.00> # generated document\n<Units Uin>\n<CharUnits CUpt>\n");
    sink.put(shape.formatting_heavy ? formatting_catalogs() : catalog());

    const std::uint64_t page_bytes = std::max<std::uint32_t>(shape.page_text_bytes, 1024);
    const auto pages = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, shape.bytes / page_bytes));
    sink.put(page("OtherMasterPage", 0, text_rect(1, "1.0\" 10.0\" 6.5\" 0.5\"", 0)));
    sink.put(page("ReferencePage", 0, text_rect(2, "1.0\" 1.0\" 6.5\" 9.0\"", 0)));
    for (std::uint32_t k = 0; k < pages; ++k) {
        std::string rects = text_rect(main_rect(k), "1.0\" 1.0\" 5.0\" 9.0\"", k + 1 < pages ? main_rect(k + 1) : 0);
        if (has_sidebar(shape, k)) rects += text_rect(side_rect(k), "6.25\" 1.0\" 1.25\" 4.0\"", 0);
        sink.put(page("BodyPage", k + 1, rects));
    }

    // Side flows are made first so that the main flow's share is known.
    std::vector<std::string> sides;
    for (std::uint32_t k = 0; k < pages; ++k)
        if (has_sidebar(shape, k)) sides.push_back(side_flow(r, k, unique));
    const std::size_t stored_before = sides.size() / 2;
    sink.put(master_flow(r, unique));
    for (std::size_t i = 0; i < stored_before; ++i) sink.put(sides[i]);

    std::uint64_t sides_after = 0;
    for (std::size_t i = stored_before; i < sides.size(); ++i) sides_after += sides[i].size();
    constexpr std::uint64_t kClosingRoom = 2048;  // the flow's end and the last paragraph's overshoot
    const std::uint64_t used = sink.count() + sides_after;
    const std::uint64_t main_budget = shape.bytes > used + kClosingRoom ? shape.bytes - used - kClosingRoom : 0;
    const std::uint64_t main_start = sink.count();
    sink.put("<TextFlow \n <TFTag `A'>\n <TFAutoConnect Yes>\n");
    std::uint32_t current_page = pages;  // none yet
    StyledText styled;
    do {
        const std::uint64_t done = sink.count() - main_start;
        const auto k = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            pages - 1, main_budget ? done * pages / main_budget : 0));
        // The first line of a page's first paragraph names the page's rectangle.
        const std::uint32_t rect = k != current_page ? main_rect(k) : 0;
        current_page = k;
        if (shape.formatting_heavy) {
            const std::string para = styled.paragraph(r, unique++, rect);
            // A paragraph that would pass the budget is left out, so the size stays exact.
            if (done > 0 && done + para.size() > main_budget + kClosingRoom / 2) break;
            sink.put(para);
            continue;
        }
        const char *tag = paragraph_tag(r);
        std::string para = para_header(tag, unique++);
        const std::uint32_t lines = tag[0] == 'H' ? 1 : 1 + r.below(6);
        for (std::uint32_t i = 0; i < lines; ++i) para += para_line(r, i == 0 ? rect : 0);
        sink.put(para + " > # end of Para\n");
    } while (sink.count() - main_start < main_budget);
    sink.put("> # end of TextFlow\n");
    for (std::size_t i = stored_before; i < sides.size(); ++i) sink.put(sides[i]);

    // A comment fills up to the exact size.
    if (sink.count() + 1 < shape.bytes) {
        const std::uint64_t gap = shape.bytes - sink.count();
        sink.put("#" + std::string(gap - 2, '-') + "\n");
    } else if (sink.count() < shape.bytes) {
        sink.put("\n");
    }
    return sink.finish();
}

bool write_zem_file(const std::string &path, const ZemShape &shape) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::uint64_t written = write_zem_document(f, shape);
    return std::fclose(f) == 0 && written >= shape.bytes;
}

}  // namespace vox::bench
