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

}  // namespace

std::uint64_t write_zem_document(std::FILE *out, const ZemShape &shape) {
    Random r(shape.seed);
    Sink sink(out);
    std::uint32_t unique = 1000;
    sink.put("<ZEMFile 5.00> # generated document\n<Units Uin>\n<CharUnits CUpt>\n");
    sink.put(catalog());

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
    do {
        const std::uint64_t done = sink.count() - main_start;
        const auto k = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            pages - 1, main_budget ? done * pages / main_budget : 0));
        const char *tag = paragraph_tag(r);
        std::string para = para_header(tag, unique++);
        const std::uint32_t lines = tag[0] == 'H' ? 1 : 1 + r.below(6);
        for (std::uint32_t i = 0; i < lines; ++i) {
            para += para_line(r, k != current_page ? main_rect(k) : 0);
            current_page = k;
        }
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
