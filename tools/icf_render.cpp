// Rendering intermediate code readably, and assembling it back.
#include "icf_render.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vox::icf {

// ERJ and BRJ are not a pair: ERJ also begins left alignment, and BRJ is
// written at the end of a justified line.
const std::vector<RecordPair> kRecordPairs = {
    {"BTF", "ETF", true}, {"FNT", "EFN", true}, {"APO", "APF", true},
    {"PGN", "EPN", true}, {"BMT", "EMT", true}, {"BRL", "ERL", true},
    {"BCM", "ECM", true},
    {"BBT", "EBT", false}, {"BUL", "EUL", false}, {"ITO", "ITF", false},
    {"BSO", "ESO", false}, {"BSP", "ESP", false}, {"SBS", "EBS", false},
    {"SPS", "EPS", false}, {"BDU", "EDU", false}, {"BOL", "EOL", false},
    {"BCU", "ECU", false}, {"BCS", "ECS", false},
};

Element::~Element() {
    std::vector<Element> pending = std::move(children);
    while (!pending.empty()) {
        Element last = std::move(pending.back());
        pending.pop_back();
        for (Element &child : last.children) pending.push_back(std::move(child));
        last.children.clear();  // moved-from elements: nothing below them
    }
}

namespace {

constexpr char kESC = 27, kGS = 29, kRS = 30, kUS = 31;

bool is_code_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Adds an element to a list, joining it to a text run it follows.
void append(std::vector<Element> &list, Element &&e) {
    if (!e.is_record && !list.empty() && !list.back().is_record) {
        list.back().text += e.text;
        return;
    }
    list.push_back(std::move(e));
}

void append_text(std::vector<Element> &list, std::string text) {
    Element e;
    e.text = std::move(text);
    append(list, std::move(e));
}

// Splits bytes into elements in one pass.  Groups whose RS has not come yet
// stay open on a stack; a group still open at the end is cut off and
// becomes its head's bytes as text followed by its content.  That is what
// reading its bytes again from the byte after its ESC gives: the head holds
// no RS, and every record starting inside it runs on into the same content,
// which closes nothing, so the only records found are those already found.
class Parser {
  public:
    explicit Parser(const std::string &bytes) : b_(bytes) {}
    std::vector<Element> run();

  private:
    // What the bytes at an ESC turn out to be.
    enum class Head { kText, kRecord, kGroup, kCutOff };
    struct OpenGroup {
        Element group;
        std::size_t start;    // its ESC
        std::size_t content;  // where its content starts: ESC GS after its last US
    };

    Head read_head(std::size_t pos, Element &e, std::size_t &next);
    Head read_params(std::size_t pos, Element &e, std::size_t &next);
    std::vector<Element> &level() { return open_.empty() ? top_ : open_.back().group.children; }
    void close_group();
    void flatten_cut_off_groups();

    const std::string &b_;
    std::vector<Element> top_;
    std::vector<OpenGroup> open_;
    // Set when the parameters of a head ran into an RS before their US:
    // that RS.  A head starting before it, inside those parameters, meets
    // the same US boundaries and so breaks at the same RS unless its code is
    // directly followed by RS; this keeps every byte read a bounded number
    // of times.
    std::size_t broken_at_ = 0;
};

// Reads a record head at the ESC at `pos` into `e`.  kRecord: a whole
// record ending before `next`; kGroup: a group whose content starts at
// `next`; kCutOff: no RS at or after `pos`; kText: the ESC is text.
Parser::Head Parser::read_head(std::size_t pos, Element &e, std::size_t &next) {
    if (pos + 5 > b_.size() || b_[pos + 1] != kGS) return Head::kText;
    for (std::size_t i = pos + 2; i < pos + 5; ++i)
        if (!is_code_char(b_[i])) return Head::kText;
    e = Element();
    e.is_record = true;
    e.code = b_.substr(pos + 2, 3);
    if (pos < broken_at_) {
        if (b_[pos + 5] != kRS) return Head::kText;
        next = pos + 6;
        return Head::kRecord;
    }
    return read_params(pos, e, next);
}

Parser::Head Parser::read_params(std::size_t pos, Element &e, std::size_t &next) {
    static const char kEnds[] = {kRS, kUS, 0};
    for (std::size_t p = pos + 5;;) {
        if (p >= b_.size()) return Head::kCutOff;
        if (b_[p] == kRS) {
            next = p + 1;
            return Head::kRecord;
        }
        // ESC GS right after a US ends the parameters; right after the code
        // it is part of the first parameter.
        if (p > pos + 5 && b_[p] == kESC && p + 1 < b_.size() && b_[p + 1] == kGS) {
            next = p;
            return Head::kGroup;
        }
        std::size_t end = b_.find_first_of(kEnds, p);
        if (end == std::string::npos) return Head::kCutOff;
        if (b_[end] == kRS) {
            broken_at_ = end;
            return Head::kText;
        }
        e.params.push_back(b_.substr(p, end - p));
        p = end + 1;
    }
}

void Parser::close_group() {
    Element group = std::move(open_.back().group);
    open_.pop_back();
    append(level(), std::move(group));
}

// Each open group is the last element of the one around it, so the
// flattened groups follow each other from the outermost in.
void Parser::flatten_cut_off_groups() {
    for (OpenGroup &cut : open_) {
        append_text(top_, b_.substr(cut.start, cut.content - cut.start));
        for (Element &child : cut.group.children) append(top_, std::move(child));
    }
    open_.clear();
}

std::vector<Element> Parser::run() {
    static const char kGroupStops[] = {kESC, kRS, 0};
    for (std::size_t pos = 0; pos < b_.size();) {
        if (b_[pos] == kRS && !open_.empty()) {
            close_group();
            ++pos;
            continue;
        }
        if (b_[pos] == kESC) {
            Element e;
            std::size_t next = 0;
            Head head = read_head(pos, e, next);
            if (head == Head::kRecord) {
                append(level(), std::move(e));
                pos = next;
                continue;
            }
            if (head == Head::kGroup) {
                e.is_group = true;
                open_.push_back({std::move(e), pos, next});
                pos = next;
                continue;
            }
            if (head == Head::kCutOff) {  // no RS left: nothing after can close
                append_text(level(), b_.substr(pos));
                break;
            }
        }
        std::size_t end = open_.empty() ? b_.find(kESC, pos + 1) : b_.find_first_of(kGroupStops, pos + 1);
        if (end == std::string::npos) end = b_.size();
        append_text(level(), b_.substr(pos, end - pos));
        pos = end;
    }
    flatten_cut_off_groups();
    return std::move(top_);
}

// Visits elements in document order without recursing into groups:
// visit(e) for each element, then, for a group, its children and leave().
template <class Visit, class Leave>
void walk(const std::vector<Element> &top, Visit visit, Leave leave) {
    std::vector<std::pair<const std::vector<Element> *, std::size_t>> stack{{&top, 0}};
    while (!stack.empty()) {
        auto &[list, next] = stack.back();
        if (next == list->size()) {
            stack.pop_back();
            if (!stack.empty()) leave();
            continue;
        }
        const Element &e = (*list)[next++];
        visit(e);
        if (e.is_group) stack.push_back({&e.children, 0});
    }
}

// The pair `code` begins or ends, with which of the two it is; -1 for none.
int pair_index(const Element &e, bool &is_begin) {
    if (!e.is_record) return -1;
    for (std::size_t i = 0; i < kRecordPairs.size(); ++i) {
        if (e.code == kRecordPairs[i].begin || e.code == kRecordPairs[i].end) {
            is_begin = e.code == kRecordPairs[i].begin;
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The begin records still open in one level: the top or a group's content.
struct OpenPairs {
    std::vector<int> open = std::vector<int>(kRecordPairs.size(), 0);
    int depth = 0;   // open structural pairs: indentation inside the level
    int indent = 0;  // indentation of the level itself

    // Counts the element in; returns whether it was an end with no begin.
    bool take(const Element &e) {
        bool is_begin = false;
        int pair = pair_index(e, is_begin);
        if (pair < 0) return false;
        bool nests = kRecordPairs[static_cast<std::size_t>(pair)].nests;
        int &count = open[static_cast<std::size_t>(pair)];
        if (is_begin) {
            ++count;
            if (nests) ++depth;
            return false;
        }
        if (count == 0) return true;
        --count;
        if (nests) --depth;
        return false;
    }
    int unended() const {
        int sum = 0;
        for (int count : open) sum += count;
        return sum;
    }
};

bool is_bare(const std::string &p) {
    if (p.empty() || p == "{") return false;
    for (unsigned char c : p)
        if (c <= ' ' || c >= 127 || c == '"' || c == '\\') return false;
    return true;
}

std::string quoted(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < ' ' || c >= 127) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void render_line(const Element &e, int indent, std::string &out) {
    out.append(2 * static_cast<std::size_t>(indent), ' ');
    if (e.is_record) {
        out += e.code;
        for (const std::string &p : e.params) out += " " + (is_bare(p) ? p : quoted(p));
        if (e.is_group) out += " {";
    } else {
        out += quoted(e.text);
    }
    out += '\n';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a quoted token starting at line[pos] == '"'; returns the position
// after the closing quote, or npos on a malformed token.
std::size_t read_quoted(const std::string &line, std::size_t pos, std::string &out) {
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') return pos + 1;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size()) return std::string::npos;
        if (line[pos] == '"' || line[pos] == '\\') {
            out += line[pos];
        } else if (line[pos] == 'x' && pos + 2 < line.size() && hex_value(line[pos + 1]) >= 0 &&
                   hex_value(line[pos + 2]) >= 0) {
            out += static_cast<char>(hex_value(line[pos + 1]) * 16 + hex_value(line[pos + 2]));
            pos += 2;
        } else {
            return std::string::npos;
        }
    }
    return std::string::npos;
}

// What one line of a rendering holds.
enum class Line { kNothing, kText, kRecord, kGroupStart, kGroupEnd, kUnreadable };

// Reads a record line from `pos` (its code) into `bytes`: the whole record,
// or only its head when the line opens a group with " {".
Line assemble_record(const std::string &line, std::size_t pos, std::string &bytes) {
    if (pos + 3 > line.size()) return Line::kUnreadable;
    std::string code = line.substr(pos, 3);
    for (char c : code)
        if (!is_code_char(c)) return Line::kUnreadable;
    pos += 3;
    std::string record = std::string{kESC, kGS} + code, token;
    while (pos < line.size()) {
        if (line[pos] != ' ' && line[pos] != '\t') return Line::kUnreadable;
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos) break;
        if (line[pos] == '"') {
            pos = read_quoted(line, pos, token);
            if (pos == std::string::npos) return Line::kUnreadable;
        } else {
            std::size_t end = line.find_first_of(" \t", pos);
            token = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            pos = end == std::string::npos ? line.size() : end;
            if (token == "{" && line.find_first_not_of(" \t", pos) == std::string::npos) {
                bytes += record;
                return Line::kGroupStart;
            }
            if (!is_bare(token)) return Line::kUnreadable;
        }
        record += token;
        record += kUS;
    }
    bytes += record + kRS;
    return Line::kRecord;
}

Line assemble_line(const std::string &line, std::string &bytes) {
    std::size_t pos = line.find_first_not_of(" \t");
    if (pos == std::string::npos || line[pos] == '#') return Line::kNothing;
    if (line[pos] == '}') {
        if (line.find_first_not_of(" \t", pos + 1) != std::string::npos) return Line::kUnreadable;
        bytes += kRS;
        return Line::kGroupEnd;
    }
    if (line[pos] != '"') return assemble_record(line, pos, bytes);
    std::string token;
    pos = read_quoted(line, pos, token);
    if (pos == std::string::npos || line.find_first_not_of(" \t", pos) != std::string::npos)
        return Line::kUnreadable;
    bytes += token;
    return Line::kText;
}

// A group whose "}" has not come yet.
struct GroupInAssembly {
    std::size_t line;            // its own line
    std::size_t content;         // where its content starts in the bytes
    std::size_t first_line = 0;  // the first line of its content
};

// Whether a closed group's content, the bytes from `content` up to the
// closing RS, reads back as a group: empty (the plain record), or
// starting with ESC GS.
bool content_reads_back(const std::string &bytes, std::size_t content) {
    std::size_t size = bytes.size() - 1 - content;
    return size == 0 || (size >= 2 && bytes[content] == kESC && bytes[content + 1] == kGS);
}

}  // namespace

std::vector<Element> parse(const std::string &bytes) { return Parser(bytes).run(); }

std::string render(const std::string &bytes) {
    std::string out;
    std::vector<OpenPairs> levels(1);
    walk(
        parse(bytes),
        [&](const Element &e) {
            OpenPairs &level = levels.back();
            int before = level.depth;
            level.take(e);
            int indent = level.indent + std::min(before, level.depth);
            render_line(e, indent, out);
            if (e.is_group) {
                levels.emplace_back();
                levels.back().indent = indent + 1;
            }
        },
        [&] {
            out.append(2 * static_cast<std::size_t>(levels.back().indent - 1), ' ');
            out += "}\n";
            levels.pop_back();
        });
    return out;
}

bool assemble(const std::string &rendering, std::string &bytes, std::string &error) {
    bytes.clear();
    std::vector<GroupInAssembly> groups;
    auto fail = [&](std::size_t number, const std::string &why) {
        error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    std::size_t number = 0;
    for (std::size_t start = 0; start < rendering.size();) {
        std::size_t end = rendering.find('\n', start);
        if (end == std::string::npos) end = rendering.size();
        std::string line = rendering.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        ++number;
        Line kind = assemble_line(line, bytes);
        if (kind == Line::kUnreadable) return fail(number, "cannot read: " + line);
        if (kind == Line::kNothing) continue;
        if (kind == Line::kGroupEnd) {
            if (groups.empty()) return fail(number, "\"}\" closes no group");
            if (!content_reads_back(bytes, groups.back().content))
                return fail(groups.back().first_line, "a group's content must begin with ESC GS, as a record does");
            groups.pop_back();
            continue;
        }
        if (!groups.empty() && groups.back().first_line == 0) groups.back().first_line = number;
        if (kind == Line::kGroupStart) {
            // Without a parameter, the first embedded record would read
            // back as one.
            if (bytes.back() != kUS) return fail(number, "a group needs at least one parameter");
            groups.push_back({number, bytes.size()});
        }
    }
    if (!groups.empty()) return fail(groups.back().line, "group never closed by \"}\"");
    return true;
}

int count_unpaired(const std::string &bytes) {
    std::vector<OpenPairs> levels(1);
    int unpaired = 0;
    walk(
        parse(bytes),
        [&](const Element &e) {
            if (levels.back().take(e)) ++unpaired;
            if (e.is_group) levels.emplace_back();
        },
        [&] {
            unpaired += levels.back().unended();
            levels.pop_back();
        });
    return unpaired + levels.back().unended();
}

}  // namespace vox::icf
