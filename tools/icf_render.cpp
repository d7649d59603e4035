// Rendering intermediate code readably, and assembling it back.
#include "icf_render.h"

#include <cstdio>
#include <map>

namespace vox::icf {

const std::vector<RecordPair> kRecordPairs = {
    {"BTF", "ETF", true}, {"FNT", "EFN", true}, {"APO", "APF", true},
    {"PGN", "EPN", true}, {"BMT", "EMT", true}, {"BRL", "ERL", true},
    {"BCM", "ECM", true}, {"BRJ", "ERJ", true},
    {"BBT", "EBT", false}, {"BUL", "EUL", false}, {"ITO", "ITF", false},
    {"BSO", "ESO", false}, {"BSP", "ESP", false}, {"SBS", "EBS", false},
    {"SPS", "EPS", false}, {"BDU", "EDU", false}, {"BOL", "EOL", false},
    {"BCU", "ECU", false}, {"BCS", "ECS", false},
};

namespace {

constexpr char kESC = 27, kGS = 29, kRS = 30, kUS = 31;

bool is_code_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Reads a well-made record at `pos` into `e`; returns the position after
// its RS, or npos when the bytes there are not one.
std::size_t read_record(const std::string &b, std::size_t pos, Element &e) {
    if (pos + 6 > b.size() || b[pos] != kESC || b[pos + 1] != kGS) return std::string::npos;
    for (int i = 2; i < 5; ++i)
        if (!is_code_char(b[pos + i])) return std::string::npos;
    std::size_t rs = b.find(kRS, pos + 5);
    if (rs == std::string::npos) return std::string::npos;
    std::string body = b.substr(pos + 5, rs - pos - 5);
    if (!body.empty() && body.back() != kUS) return std::string::npos;
    e = Element();
    e.is_record = true;
    e.code = b.substr(pos + 2, 3);
    for (std::size_t start = 0; start < body.size();) {
        std::size_t us = body.find(kUS, start);
        e.params.push_back(body.substr(start, us - start));
        start = us + 1;
    }
    return rs + 1;
}

bool is_bare(const std::string &p) {
    if (p.empty()) return false;
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

const RecordPair *pair_of(const std::string &code, bool &is_begin) {
    for (const RecordPair &p : kRecordPairs) {
        if (code == p.begin || code == p.end) {
            is_begin = code == p.begin;
            return &p;
        }
    }
    return nullptr;
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

bool assemble_line(const std::string &line, std::string &bytes) {
    std::size_t pos = line.find_first_not_of(" \t");
    if (pos == std::string::npos || line[pos] == '#') return true;
    std::string token;
    if (line[pos] == '"') {
        pos = read_quoted(line, pos, token);
        if (pos == std::string::npos || line.find_first_not_of(" \t", pos) != std::string::npos) return false;
        bytes += token;
        return true;
    }
    if (pos + 3 > line.size()) return false;
    std::string code = line.substr(pos, 3);
    for (char c : code)
        if (!is_code_char(c)) return false;
    pos += 3;
    std::string record = std::string{kESC, kGS} + code;
    while (pos < line.size()) {
        if (line[pos] != ' ' && line[pos] != '\t') return false;
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos) break;
        if (line[pos] == '"') {
            pos = read_quoted(line, pos, token);
            if (pos == std::string::npos) return false;
        } else {
            std::size_t end = line.find_first_of(" \t", pos);
            token = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            if (!is_bare(token)) return false;
            pos = end == std::string::npos ? line.size() : end;
        }
        record += token;
        record += kUS;
    }
    bytes += record + kRS;
    return true;
}

}  // namespace

std::vector<Element> parse(const std::string &bytes) {
    std::vector<Element> out;
    std::string text;
    auto flush_text = [&] {
        if (text.empty()) return;
        Element e;
        e.text = text;
        out.push_back(e);
        text.clear();
    };
    for (std::size_t pos = 0; pos < bytes.size();) {
        Element e;
        std::size_t next = bytes[pos] == kESC ? read_record(bytes, pos, e) : std::string::npos;
        if (next == std::string::npos) {
            text += bytes[pos++];
            continue;
        }
        flush_text();
        out.push_back(e);
        pos = next;
    }
    flush_text();
    return out;
}

std::string render(const std::string &bytes) {
    std::string out;
    std::map<const RecordPair *, int> open;
    int depth = 0;
    for (const Element &e : parse(bytes)) {
        bool is_begin = false;
        const RecordPair *pair = e.is_record ? pair_of(e.code, is_begin) : nullptr;
        bool nests = pair && pair->nests;
        if (nests && !is_begin && open[pair] > 0) {
            --open[pair];
            --depth;
        }
        out.append(2 * static_cast<std::size_t>(depth), ' ');
        if (e.is_record) {
            out += e.code;
            for (const std::string &p : e.params) out += " " + (is_bare(p) ? p : quoted(p));
        } else {
            out += quoted(e.text);
        }
        out += '\n';
        if (nests && is_begin) {
            ++open[pair];
            ++depth;
        }
    }
    return out;
}

bool assemble(const std::string &rendering, std::string &bytes, std::string &error) {
    bytes.clear();
    std::size_t number = 0;
    for (std::size_t start = 0; start < rendering.size();) {
        std::size_t end = rendering.find('\n', start);
        if (end == std::string::npos) end = rendering.size();
        std::string line = rendering.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++number;
        if (!assemble_line(line, bytes)) {
            error = "line " + std::to_string(number) + ": cannot read: " + line;
            return false;
        }
        start = end + 1;
    }
    return true;
}

int count_unpaired(const std::string &bytes) {
    std::map<const RecordPair *, int> open;
    int unpaired = 0;
    for (const Element &e : parse(bytes)) {
        bool is_begin = false;
        const RecordPair *pair = e.is_record ? pair_of(e.code, is_begin) : nullptr;
        if (!pair) continue;
        if (is_begin)
            ++open[pair];
        else if (open[pair] > 0)
            --open[pair];
        else
            ++unpaired;
    }
    for (const auto &entry : open) unpaired += entry.second;
    return unpaired;
}

}  // namespace vox::icf
