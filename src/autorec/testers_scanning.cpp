// Testers that look through the whole block rather than at fixed offsets:
// dot commands, bracketed and escaped codes, ruler lines, plotter commands,
// fixed-column exchange files and the CGM element walk.
#include <cstring>
#include <initializer_list>

#include "autorec/autorec.h"

namespace vox {

namespace {

int found(RecognizerState &st, int format, int version) {
    st.ver = version;
    return format;
}

bool line_start(const RecognizerState &st, int i) { return i == 0 || st.bufr[i - 1] == '\n' || st.bufr[i - 1] == '\r'; }

bool starts_with_i(const RecognizerState &st, int at, const char *text) {
    const int n = static_cast<int>(std::strlen(text));
    return at + n <= st.len && autoChkMatchI(st.bufr + at, reinterpret_cast<const unsigned char *>(text), n) == 0;
}

// Lines that begin with one of `commands` (either case).
template <int N>
int count_line_commands(const RecognizerState &st, const char *const (&commands)[N]) {
    int count = 0;
    for (int i = 0; i < st.len; ++i) {
        if (st.bufr[i] != '.' || !line_start(st, i)) continue;
        for (const char *c : commands)
            if (starts_with_i(st, i, c)) {
                ++count;
                break;
            }
    }
    return count;
}

}  // namespace

// Double-dot layout commands at line starts; two of them make the file.
int auto_tst_vw(RecognizerState &st) {
    static const char *const kCommands[] = {"..PAGE", "..HEAD", "..FOOT", "..LAYOUT"};
    return count_line_commands(st, kCommands) >= 2 ? found(st, 14, 0) : 0;
}

// Commands bracketed by AE and AF: an upper-case letter first, at most 80
// bytes, no line end inside.
int auto_tst_xyw(RecognizerState &st) {
    const unsigned char *b = st.bufr;
    int commands = 0;
    int crlf = 0;
    for (int i = 0; i < st.len; ++i) {
        if (b[i] == '\r' && i + 1 < st.len && b[i + 1] == '\n') ++crlf;
        if (b[i] != 0xAE) continue;
        if (text_at(st, i + 1, "MD+")) return found(st, 17, 2);
        if (i + 1 >= st.len || b[i + 1] < 'A' || b[i + 1] > 'Z') continue;
        for (int j = i + 2; j < st.len && j <= i + 80; ++j) {
            if (b[j] == 0xAF) {
                ++commands;
                break;
            }
            if (b[j] == '\r' || b[j] == '\n' || b[j] == 0xAE) break;
        }
    }
    return commands >= 8 || (commands >= 4 && crlf >= 5) ? found(st, 17, 1) : 0;
}

// Escape sequences of the interchange text: character attributes (SGR)
// and the page-format controls.  Four of them make the file.
int auto_tst_dif(RecognizerState &st) {
    static const char *const kSequences[20] = {"0m",  "1m",  "2m",  "3m",  "4m",  "5m",  "7m",
                                               "9m",  "21m", "22m", "23m", "24m", "25m", "27m",
                                               "29m", "0t",  "1t",  "0u",  "1u",  "m"};
    int count = 0;
    for (int i = 0; i + 2 < st.len && count < 4; ++i) {
        if (st.bufr[i] != 0x1B || st.bufr[i + 1] != '[') continue;
        for (const char *s : kSequences)
            if (text_at(st, i + 2, s)) {
                ++count;
                break;
            }
    }
    return count >= 4 ? found(st, 18, 0) : 0;
}

int auto_tst_wita(RecognizerState &st) {
    static const unsigned char kOpen[] = {0xFB, 0x00, 0x01};
    static const unsigned char kClose[] = {0xFA, 0x00, 0x01};
    for (int i = 0; i + 11 <= st.len; ++i)
        if (std::memcmp(st.bufr + i, kOpen, 3) == 0 && std::memcmp(st.bufr + i + 8, kClose, 3) == 0)
            return found(st, 34, 0);
    return 0;
}

// "$(" codes in the first line, weighted by how telling each is.
int auto_tst_def(RecognizerState &st) {
    int score = 0;
    for (int i = 0; i + 1 < st.len; ++i) {
        const unsigned char c = st.bufr[i];
        if (c == '\r' || c == '\n') break;
        if (c != '$' || st.bufr[i + 1] != '(') continue;
        if (text_at(st, i, "$(WY)"))
            score += 200;
        else if (text_at(st, i, "$(SB)"))
            score += 30;
        else if (text_at(st, i, "$(PGS") || text_at(st, i, "$(PGM"))
            score += 100;
        else
            score += 2;
    }
    return score >= 235 ? found(st, 36, 0) : 0;
}

namespace {

struct RulerChars {
    bool member[256] = {};
    RulerChars() {
        for (const char *c = "#.ACHIJLMRTac|"; *c; ++c) member[static_cast<unsigned char>(*c)] = true;
    }
};

bool is_ruler_char(unsigned char c) {
    static const RulerChars kRuler;
    return kRuler.member[c];
}

}  // namespace

// A ruler line: only ruler characters, at least 21 dots and an "L".
int auto_tst_uniplex(RecognizerState &st) {
    int dots = 0;
    bool left_margin = false;
    bool clean = true;
    for (int i = 0; i <= st.len; ++i) {
        const unsigned char c = i < st.len ? st.bufr[i] : '\n';
        if (c == '\r' || c == '\n') {
            if (clean && dots >= 21 && left_margin) return found(st, 101, 0);
            dots = 0;
            left_margin = false;
            clean = true;
            continue;
        }
        if (!is_ruler_char(c)) clean = false;
        dots += c == '.';
        left_margin |= c == 'L';
    }
    return 0;
}

namespace {

// A code framed by 1D: 1D, a 16-bit length n, and at n the same length
// again followed by 1D.
int framed_code_end(const RecognizerState &st, int at) {
    const unsigned char *b = st.bufr;
    if (b[at] != 0x1D || at + 3 > st.len) return -1;
    const int n = static_cast<int>(le16(b + at + 1));
    if (n < 3 || at + n + 3 > st.len) return -1;
    if (static_cast<int>(le16(b + at + n)) != n || b[at + n + 2] != 0x1D) return -1;
    return at + n + 3;
}

int count_framed_codes(const RecognizerState &st) {
    int count = 0;
    for (int i = 0; i < st.len && count < 4;) {
        const int end = framed_code_end(st, i);
        if (end > 0) {
            ++count;
            i = end;
        } else {
            ++i;
        }
    }
    return count;
}

// A word whose last letter carries bit 7, then a (soft) space.
int count_soft_space_pairs(const RecognizerState &st) {
    int pairs = 0;
    for (int i = 0; i + 1 < st.len; ++i) {
        const unsigned char c = st.bufr[i], next = st.bufr[i + 1];
        const unsigned char low = c & 0x7F;
        const bool marked_letter = c >= 0x80 && ((low >= 'a' && low <= 'z') || (low >= 'A' && low <= 'Z'));
        if (marked_letter && (next == 0xA0 || next == ' ')) ++pairs;
    }
    return pairs;
}

}  // namespace

// Dot commands at line starts, codes framed by 1D (version 3), or words
// marked for reformatting followed by soft spaces (version 2).
int auto_tst_ws(RecognizerState &st) {
    static const char *const kDotCommands[15] = {".pa", ".cp", ".he", ".fo", ".pn", ".op", ".pl", ".mt",
                                                 ".mb", ".hm", ".fm", ".po", ".lh", ".uj", ".lm"};
    const int needed = st.MinorVal ? 3 : 5;
    if (count_line_commands(st, kDotCommands) > needed) return found(st, 4, 0);
    if (count_framed_codes(st) >= 4) return found(st, 4, 3);
    if (count_soft_space_pairs(st) >= 100) return found(st, 4, 2);
    return 0;
}

// The fixed-length function codes of the Macintosh release of the 4.x
// word processor: the code, its length to the repeated code byte.  The
// four codes at the end are those the 4.x heuristic counts against itself.
int auto_tst_wpm1(RecognizerState &st) {
    struct CodeLengths {
        unsigned char length[256] = {};
        CodeLengths() {
            static const unsigned char kCodes[][2] = {{0xC0, 5}, {0xC1, 3}, {0xC3, 4}, {0xC7, 5},
                                                      {0xCB, 5}, {0xCC, 3}, {0xD0, 5}, {0xD1, 4},
                                                      {0xCD, 2}, {0xCE, 3}, {0xD2, 3}, {0xD3, 3}};
            for (const auto &c : kCodes) length[c[0]] = c[1];
        }
    };
    static const CodeLengths kLengths;
    int matches = 0;
    const unsigned char *b = st.bufr;
    for (int i = 0; i < st.len && matches < 10; ++i) {
        const int n = kLengths.length[b[i]];
        if (n != 0 && i + n < st.len && b[i + n] == b[i]) ++matches;
    }
    return matches >= 10 ? found(st, 59, 0) : 0;
}

int auto_tst_ptx(RecognizerState &st) {
    if (!text_at(st, 0, "SETUP")) return 0;
    if (st.len > 5) {
        const unsigned char next = st.bufr[5];
        if ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z')) return 0;
    }
    return found(st, 27, 0);
}

namespace {

// Two-letter plotter command mnemonics.
bool is_plotter_mnemonic(unsigned char a, unsigned char b) {
    static const char kMnemonics[] =
        "AAARCACICPCSDFDIDRDTEAEREWFTIMINIPIWLBLOLTOAOCODOEOFOHOIOOOPOSOWPAPDPRPSPTPUPW"
        "RARORRSASCSISLSMSPSRSSTLUCVSWGXTYTBPPGNPPEPMEPFPCTDLESLAMCMTPCRFTRULWUFISDSBSVTDADSG";
    for (int i = 0; kMnemonics[i]; i += 2)
        if (kMnemonics[i] == a && kMnemonics[i + 1] == b) return true;
    return false;
}

bool is_parameter_char(unsigned char c) {
    return (c >= '0' && c <= '9') || c == ',' || c == '+' || c == '-' || c == '.' || c == ' ';
}

bool is_upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

// Plotter command statistics: each command letter scores 1, a ";" or a
// parameter of four characters or more scores 5.  Bytes that fit no
// command count against the file: 60 points before 10 such bytes make it
// a plot.  Line ends, blanks, label text (LB up to its ETX) and device
// escape sequences are neutral.
int auto_tst_hpgl(RecognizerState &st) {
    const unsigned char *b = st.bufr;
    int score = 0;
    int stray = 0;
    int i = 0;
    while (i < st.len && score < 60 && stray < 10) {
        const unsigned char c = b[i];
        if (is_upper(c) && i + 1 < st.len && is_plotter_mnemonic(c, b[i + 1])) {
            const bool label = c == 'L' && b[i + 1] == 'B';
            score += 2;
            i += 2;
            if (label) {
                while (i < st.len && b[i] != 0x03) ++i;
                ++i;
                continue;
            }
            const int start = i;
            while (i < st.len && is_parameter_char(b[i])) ++i;
            if (i - start >= 4) score += 5;
            if (i < st.len && b[i] == ';') {
                score += 5;
                ++i;
            }
        } else if (c == 0x1B) {
            // A device-control escape: skip to its final letter or colon.
            ++i;
            while (i < st.len && !is_upper(b[i]) && b[i] != ':') ++i;
            ++i;
        } else if (c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == ';') {
            ++i;
        } else {
            ++stray;
            ++i;
        }
    }
    return score >= 60 ? found(st, 604, 0) : 0;
}

namespace {

// The sequence field of an exchange-file line: section letter at column
// 73, then a seven-digit line number.
bool iges_line_at(const RecognizerState &st, int at, const char *sections, const char *number) {
    return at + 80 <= st.len && std::strchr(sections, st.bufr[at + 72]) != nullptr && st.bufr[at + 72] != 0 &&
           text_at(st, at + 73, number);
}

}  // namespace

// 80-column lines whose columns 73-80 hold the section letter and a line
// number padded with zeros ("S0000001", then "S0000002" or "G0000001").
int auto_tst_iges(RecognizerState &st) {
    if (!iges_line_at(st, 0, "S", "0000001")) return 0;
    int next = 80;
    if (text_at(st, next, "\r\n"))
        next += 2;
    else if (text_at(st, next, "\n"))
        next += 1;
    else
        return 0;
    return iges_line_at(st, next, "SG", "000000") ? found(st, 607, 0) : 0;
}

namespace {

// One group line: blanks, then `text`, then CR LF or LF.  Returns the
// offset of the next line or -1.
int group_line(const RecognizerState &st, int at, const char *text) {
    while (at < st.len && st.bufr[at] == ' ') ++at;
    if (!text_at(st, at, text)) return -1;
    at += static_cast<int>(std::strlen(text));
    if (text_at(st, at, "\r\n")) return at + 2;
    if (text_at(st, at, "\n")) return at + 1;
    return -1;
}

}  // namespace

// The opening groups of a drawing exchange file (line ends CR LF, or LF as
// files written on Unix have them), or the sentinel of its binary forms.
int auto_tst_dxf(RecognizerState &st) {
    int at = 0;
    for (const char *line : {"0", "SECTION", "2", "HEADER"}) {
        at = group_line(st, at, line);
        if (at < 0) break;
    }
    if (at >= 0) return found(st, 608, 0);
    if (text_at(st, 0, "AutoCAD ") && (text_at(st, 8, "Binary DXF") || text_at(st, 8, "DXB ")))
        return found(st, 608, 2);
    return 0;
}

namespace {

struct CgmElement {
    int element_class;
    int id;
    int length;  // parameter bytes, without padding
    int next;    // offset of the following element
};

CgmElement read_cgm_element(const RecognizerState &st, int at) {
    const unsigned header = be16(st.bufr + at);
    CgmElement e{static_cast<int>(header >> 12), static_cast<int>((header >> 5) & 0x7F),
                 static_cast<int>(header & 0x1F), at + 2};
    if (e.length == 31) {
        e.length = at + 4 <= st.len ? static_cast<int>(be16(st.bufr + at + 2) & 0x7FFF) : 0;
        e.next += 2;
    }
    e.next += e.length + (e.length & 1);
    return e;
}

bool cgm_element_plausible(int c, int id) {
    static const int kMaxId[8] = {5, 15, 7, 6, 19, 35, 1, 2};
    return c >= 0 && c < 8 && id >= 1 && id <= kMaxId[c];
}

}  // namespace

// A binary metafile: begin metafile, then a run of elements whose classes
// and ids all exist.
int auto_tst_cgm(RecognizerState &st) {
    if (!has_bytes(st, 200)) return 0;
    CgmElement e = read_cgm_element(st, 0);
    if (e.element_class != 0 || e.id != 1) return 0;
    int plausible = 2;
    int zero_length = 0;
    int elements = 1;
    int at = e.next;
    while (st.len - at >= 10 && elements < 10 && zero_length < 5 && plausible < 10) {
        e = read_cgm_element(st, at);
        ++elements;
        if (e.length == 0) ++zero_length;
        if (cgm_element_plausible(e.element_class, e.id))
            ++plausible;
        else if (e.element_class > 0 || e.id > 0)
            return 0;
        at = e.next;
    }
    return plausible >= 8 && zero_length < 5 ? found(st, 603, 0) : 0;
}

}  // namespace vox
