// Strings, special characters, the paragraph end and the attribute bits.
#include "converter/strings.h"

#include <cstdint>
#include <cstring>
#include <strings.h>

#include "common/int32.h"
#include "common/layout_records.h"
#include "common/records.h"
#include "converter/colours.h"
#include "converter/conversion.h"
#include "converter/fonts.h"
#include "converter/pages.h"
#include "converter/paragraphs.h"
#include "converter/pending_handlers.h"
#include "converter/routing.h"
#include "converter/text_flows.h"
#include "converter/token_table.h"
#include "converter/value_readers.h"

namespace vox {

// Columns 1-4 as listed per target set; byte 0 is the row's own code.
const unsigned char convert_table[char_tbl_size][5] = {
    {128, 130, 130, 128, 95}, {129, 159, 159, 129, 95}, {130, 142, 142, 130, 226}, {131, 137, 137, 131, 196},
    {132, 138, 138, 132, 227}, {133, 136, 136, 133, 201}, {134, 140, 140, 134, 160}, {135, 141, 141, 135, 224},
    {136, 144, 144, 136, 246}, {137, 145, 145, 137, 228}, {138, 143, 143, 138, 179}, {139, 149, 149, 139, 220},
    {140, 148, 148, 140, 206}, {141, 147, 147, 141, 95}, {142, 128, 128, 142, 95}, {143, 129, 129, 143, 95},
    {144, 131, 131, 144, 95}, {145, 190, 190, 145, 212}, {146, 174, 174, 146, 213}, {147, 153, 153, 147, 210},
    {148, 154, 154, 148, 211}, {149, 152, 152, 149, 165}, {150, 158, 158, 150, 208}, {151, 157, 157, 151, 209},
    {152, 216, 216, 152, 247}, {153, 133, 133, 153, 170}, {154, 134, 134, 154, 240}, {155, 162, 191, 155, 221},
    {156, 163, 163, 156, 207}, {157, 180, 175, 157, 95}, {158, 95, 176, 158, 95}, {159, 196, 196, 159, 217},
    {160, 135, 135, 160, 95}, {161, 146, 146, 161, 193}, {162, 151, 151, 162, 162}, {163, 156, 156, 163, 163},
    {164, 150, 150, 164, 219}, {165, 132, 132, 165, 180}, {166, 187, 187, 166, 173}, {167, 188, 188, 167, 164},
    {168, 192, 192, 168, 172}, {169, 95, 168, 169, 169}, {170, 194, 194, 170, 187}, {171, 186, 186, 171, 199},
    {172, 185, 185, 172, 194}, {173, 193, 193, 95, 45}, {174, 199, 199, 174, 168}, {175, 200, 200, 175, 248},
    {176, 95, 95, 95, 251}, {177, 95, 95, 177, 177}, {178, 95, 95, 95, 183}, {179, 95, 124, 95, 184},
    {180, 43, 43, 180, 171}, {181, 43, 231, 181, 181}, {182, 43, 229, 95, 166}, {183, 43, 203, 95, 225},
    {184, 43, 95, 95, 252}, {185, 43, 43, 95, 182}, {186, 124, 124, 95, 188}, {187, 43, 43, 187, 200},
    {188, 43, 43, 188, 185}, {189, 43, 162, 95, 186}, {190, 43, 180, 190, 189}, {191, 43, 43, 191, 192},
    {192, 43, 43, 192, 203}, {193, 43, 43, 193, 231}, {194, 43, 43, 194, 229}, {195, 43, 43, 95, 204},
    {196, 208, 208, 196, 128}, {197, 43, 43, 95, 129}, {198, 43, 139, 95, 174}, {199, 43, 204, 199, 130},
    {200, 43, 43, 200, 233}, {201, 43, 43, 201, 131}, {202, 43, 43, 202, 230}, {203, 43, 43, 203, 232},
    {204, 43, 43, 204, 237}, {205, 208, 208, 205, 234}, {206, 43, 43, 206, 235}, {207, 43, 219, 207, 236},
    {208, 43, 95, 208, 195}, {209, 43, 195, 209, 132}, {210, 43, 230, 210, 241}, {211, 43, 232, 211, 238},
    {212, 43, 233, 212, 239}, {213, 43, 245, 213, 205}, {214, 43, 234, 214, 133}, {215, 43, 235, 95, 176},
    {216, 43, 236, 216, 175}, {217, 43, 43, 217, 244}, {218, 43, 43, 218, 242}, {219, 95, 95, 219, 243},
    {220, 95, 95, 220, 134}, {221, 95, 124, 221, 197}, {222, 95, 237, 95, 215}, {223, 95, 95, 95, 167},
    {224, 95, 238, 224, 136}, {225, 167, 167, 225, 135}, {226, 95, 239, 226, 137}, {227, 95, 241, 227, 139},
    {228, 95, 155, 228, 138}, {229, 95, 205, 229, 140}, {230, 181, 181, 230, 190}, {231, 95, 202, 231, 141},
    {232, 95, 215, 232, 143}, {233, 95, 242, 233, 142}, {234, 95, 243, 234, 144}, {235, 95, 244, 235, 145},
    {236, 95, 198, 236, 147}, {237, 191, 197, 237, 146}, {238, 95, 248, 238, 148}, {239, 95, 171, 239, 149},
    {240, 95, 208, 240, 178}, {241, 177, 177, 241, 150}, {242, 95, 95, 242, 152}, {243, 95, 189, 243, 151},
    {244, 95, 166, 244, 153}, {245, 95, 164, 95, 155}, {246, 214, 214, 246, 154}, {247, 95, 226, 247, 214},
    {248, 161, 161, 248, 191}, {249, 95, 172, 95, 157}, {250, 95, 225, 95, 156}, {251, 95, 182, 251, 158},
    {252, 95, 184, 252, 159}, {253, 95, 183, 253, 198}, {254, 95, 95, 95, 202}, {95, 95, 95, 95, 216},
};

namespace {

constexpr unsigned kNBR = icf_code("NBR"), kHHC = icf_code("HHC"), kSHC = icf_code("SHC"),
                   kNLN = icf_code("NLN"), kHNL = icf_code("HNL"), kHNP = icf_code("HNP"),
                   kSNL = icf_code("SNL");

// Search order of tf_convert_char_from: table column and its set.
struct ColumnSet {
    int column;
    int set;
};
constexpr ColumnSet kSearchOrder[] = {{4, kSet819}, {2, kSet850}, {3, kSetZem}, {1, kSet437}};

StringState &st() { return conv().strings; }
ParagraphLayoutState &layout() { return conv().layout; }
ParagraphFormatState &pgf() { return conv().paragraph_formats; }
TabState &tabs() { return conv().tabs; }
ReferenceState &refs() { return conv().references; }
FrameState &frames() { return conv().frames; }


int skip_blanks() {
    int c = preproc_getc();
    while (c == ' ' || c == '\t') c = preproc_getc();
    return c;
}

// Skips blanks and tabs and reads the next word.
void read_next_word(char (&word)[kCompressWordSize]) {
    int c = skip_blanks();
    if (c >= 0) preproc_unget(c);
    tf_read_compress_word(word);
}

int hex_digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;  // takes a digit position, adds nothing
}

// Adds one character to a number being read; wraps rather than overflows.
void add_hex_digit(std::uint32_t &value, int c) { value = value * 16u + unsigned(hex_digit_value(c)); }

int finish_hex(std::uint32_t value, int count) {
    st().hex_chars_read = count;
    return count == 0 ? -1 : static_cast<int>(value);
}

// One character further along the line (the width of a character in
// twips comes from the font size, so a huge size wraps, see int32.h).
void advance_line_pos() { st().line_pos = wrap_add(st().line_pos, st().char_width); }

// Writes one text byte of a String and counts it.
void put_text_byte(int byte) {
    tf_frame_putc(byte);
    advance_line_pos();
    ++st().para_char_cnt;
}

// Plain bytes of a String gathered into one routed block: the same output,
// line position and character count as put_text_byte of each.  Whatever
// else the String writes (a hexadecimal or special character) is written
// after the run so far is flushed, so the order stays.
class TextRun {
  public:
    void add(int byte) {
        bytes_[count_++] = static_cast<unsigned char>(byte);
        if (count_ == sizeof bytes_) flush();
    }
    void flush() {
        if (count_ == 0) return;
        frame_put_block(bytes_, count_);
        StringState &s = st();
        s.line_pos = wrap_add(s.line_pos, wrap_mul(count_, s.char_width));
        s.para_char_cnt += count_;
        count_ = 0;
    }

  private:
    unsigned char bytes_[256];
    int count_ = 0;
};

// Reads String bytes up to the quote, a line end or the end of input;
// true when the quote ended them.  A line end stays in the input.
bool write_string_bytes() {
    TextRun run;
    for (;;) {
        int c = preproc_getc();
        if (c >= 0 && c != '\'' && c != '\r' && c != '\n' && c != '\\') {
            run.add(c);
            continue;
        }
        run.flush();
        if (c < 0) return false;
        if (c == '\'') return true;
        if (c == '\r' || c == '\n') {
            preproc_unget(c);
            return false;
        }
        int next = preproc_getc();
        if (next < 0) return false;
        if (next == 'x') {
            tf_handle_string_hex_char(tf_read_string_hex_char(nullptr));
            continue;
        }
        int converted = tf_convert_special_char(next);
        if (converted != 0) put_text_byte(converted);
    }
}

// Discards the bytes of a string up to its closing quote or the end of input.
void skip_string_bytes() {
    int c = preproc_getc();
    while (c >= 0 && c != '\'') c = preproc_getc();
}

struct CharWord {
    const char *word;
    int zem_code;      // written with tf_handle_string_hex_char, or 0
    unsigned record;   // written as a record without parameters, or 0
};
constexpr CharWord kCharWords[] = {
    {"Pound", 0xA3, 0},   {"Cent", 0xA2, 0},          {"Yen", 0xB4, 0},
    {"Dagger", 0xA0, 0},  {"DoubleDagger", 0xE0, 0},  {"Bullet", kZemBullet, 0},
    {"EnDash", 0xD0, 0},  {"EmDash", 0xD1, 0},        {"SoftHyphen", 0, kSHC},
    {"HardHyphen", 0, kHHC}, {"HardSpace", 0, kNBR},
};

struct HighToken {
    const char *name;
    int bit;
};
constexpr HighToken kHighTokens[] = {
    {"FBold", kHighBold},           {"FUnderline", kHighUnderline},
    {"FDoubleUnderline", kHighDoubleUnderline}, {"FItalic", kHighItalic},
    {"FStrike", kHighStrike},       {"FShadow", kHighShadow},
    {"FSubScript", kHighSubScript}, {"FSupScript", kHighSupScript},
    {"FOutline", kHighOutline},
};

int high_bit_of(int token) {
    for (const HighToken &t : kHighTokens)
        if (convert_token(t.name) == token) return t.bit;
    return 0;
}

// Sets or clears an attribute bit together with its statement's flag.
void set_attribute(int bit, int &flag, bool on) {
    if (on)
        layout().curr_high_act |= bit;
    else
        layout().curr_high_act &= ~bit;
    flag = on ? 1 : 0;
}

// Step 5 of the paragraph end: the usual paragraph end and alignment reset.
void end_plain_paragraph() {
    ParagraphFormatState &f = pgf();
    ParagraphLayoutState &l = layout();
    tf_replace_curr_para_end(kSNL, kHNL);
    if (!conv().routing.in_table) f.snl_seen = 0;
    ++l.pars_in_doc;
    write_blank_lines(f.after_num_hnl);
    if (f.after_num_hnl != 0 && l.current_alig != l.default_alig) l.current_alig = l.default_alig;
    f.after_num_hnl = 0;
    if (f.local_style)
        l.default_alig = l.current_alig;
    else
        l.current_alig = f.style_alig;
}

}  // namespace

int convert_out_string(const char *text) {
    const char *p = text;
    while (*p != '\0') {
        if (*p != '\\' || p[1] == '\0') {
            tf_frame_putc(static_cast<unsigned char>(*p++));
            continue;
        }
        char kind = p[1];
        p += 2;
        if (kind == 'x') {
            tf_handle_string_hex_char(tf_read_hex_string(p));
            p += st().hex_chars_read;
            if (*p == ' ') ++p;
        } else if (kind == 't') {
            tf_output_tab();
        } else if (kind == 'b') {
            tf_handle_string_hex_char(kZemBullet);
        } else {
            tf_frame_putc('\\');
            tf_frame_putc(static_cast<unsigned char>(kind));
        }
    }
    return 0;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_from_read_string(char *buffer, int limit) {
    buffer[0] = '\0';
    int c = skip_blanks();
    if (c != '`') {
        if (c >= 0) preproc_unget(c);
        return 1;
    }
    int n = 0;
    while (n < limit) {
        c = preproc_getc();
        if (c < 0 || c == '\'') break;
        buffer[n++] = static_cast<char>(c);
    }
    buffer[n] = '\0';
    return 0;
}

VOX_API int tf_handle_string_token(void) {
    const RoutingState &r = conv().routing;
    if (!r.text_flow && !r.in_table) {
        int c = skip_blanks();
        if (c == '`')
            skip_string_bytes();
        else if (c >= 0)
            preproc_unget(c);
        return 0;
    }
    if (refs().do_text_stat) {
        tf_start_text_stat();
        refs().do_text_stat = 0;
    }
    if (tf_write_out_string() != 0) {
        tf_frame_debug("Handle String Token: Could not write out string.");
        return 0;
    }
    frames().text_seen = 1;
    if (frames().in_aframe_token) frames().apo_data_seen = 1;
    return 0;
}

VOX_API int tf_write_out_string(void) {
    if (skip_blanks() != '`') return 1;
    tf_prepare_4_text_output();
    return write_string_bytes() ? 0 : 1;
}

VOX_API int tf_handle_char_token(void) {
    char word[kCompressWordSize];
    read_next_word(word);
    if (std::strcmp(word, "Tab") == 0) {
        tf_output_tab();
        return 0;
    }
    if (std::strcmp(word, "HardReturn") == 0) return tf_handle_nln();
    for (const CharWord &w : kCharWords) {
        if (std::strcmp(word, w.word) != 0) continue;
        if (w.record != 0)
            out_icf(w.record);
        else
            tf_handle_string_hex_char(w.zem_code);
        break;
    }
    advance_line_pos();
    return 0;
}

VOX_API int tf_convert_special_char(int byte) {
    switch (byte) {
        case '<':
        case '>':
        case '\\':
            advance_line_pos();
            return byte;
        case 'Q':
            advance_line_pos();
            return '`';
        case 'q':
            advance_line_pos();
            return '\'';
        case 't':
            tf_output_tab();
            return 0;
        default:
            return 0;
    }
}

VOX_API int tf_read_string_hex_char(const char *text) {
    if (text != nullptr) return tf_read_hex_string(text);
    std::uint32_t value = 0;
    int count = 0;
    for (;;) {
        int c = preproc_getc();
        if (c < 0 || c == ' ') break;
        if (c == '\\') {
            preproc_unget(c);  // begins the next sequence
            break;
        }
        add_hex_digit(value, c);
        ++count;
    }
    return finish_hex(value, count);
}

VOX_API int tf_read_hex_string(const char *text) {
    std::uint32_t value = 0;
    int count = 0;
    for (; text[count] != '\0' && text[count] != ' ' && text[count] != '\\'; ++count)
        add_hex_digit(value, static_cast<unsigned char>(text[count]));
    return finish_hex(value, count);
}

VOX_API int tf_handle_string_hex_char(int value) {
    if (value < 0) return 0;
    advance_line_pos();
    if (value == kZemHardSpace) return out_icf(kNBR);
    if (value == kZemHardHyphen) return out_icf(kHHC);
    int set = kSetSymbol, code = value;
    if (strcasecmp(conv().fonts.font_name, "Symbol") != 0) tf_convert_char_from(&set, &code);
    OutXCS(code, set);
    return 0;
}

VOX_API int tf_convert_char_from(int *set, int *code) {
    for (const ColumnSet &cs : kSearchOrder) {
        for (int r = 0; r < char_tbl_size; ++r) {
            if (convert_table[r][cs.column] != *code) continue;
            *set = cs.set;
            *code = 128 + r;
            return 0;
        }
    }
    *set = kSet437;
    *code = '_';
    return 0;
}

VOX_API int tf_set_high_stat(int token) {
    int bit = high_bit_of(token);
    char word[kCompressWordSize];
    read_next_word(word);
    if (std::strcmp(word, "Yes") == 0)
        layout().curr_high_act |= bit;
    else if (std::strcmp(word, "No") == 0)
        layout().curr_high_act &= ~bit;
    else
        tf_frame_debug("Set Hig Bit: Did not read Yes/No.");
    return 0;
}

VOX_API int tf_do_fweight_token(void) {
    char text[kStringValueLimit + 1];
    if (tf_from_read_string(text, kStringValueLimit) != 0) {
        tf_frame_debug("Do FWeight Token: Could not read string.");
        return 0;
    }
    set_attribute(kHighBold, layout().fweight_set, std::strstr(text, "Bold") != nullptr);
    return 0;
}

VOX_API int tf_do_fangle_token(void) {
    char text[kStringValueLimit + 1];
    if (tf_from_read_string(text, kStringValueLimit) != 0) {
        tf_frame_debug("Do FAngle Token: Could not read string.");
        return 0;
    }
    bool italic = std::strcmp(text, "Italic") == 0 || std::strcmp(text, "Oblique") == 0;
    set_attribute(kHighItalic, layout().fangle_set, italic);
    return 0;
}

VOX_API int tf_handle_nln(void) {
    tf_prepare_4_text_output();
    st().hardreturn_seen = 1;
    out_icf(kNLN);
    out_icf(kHNL);
    tf_write_temp_margins();
    st().line_pos = 0;
    return 0;
}

VOX_API int tf_handle_hard_new_line(void) {
    TabState &t = tabs();
    if (t.temp_rsm) {
        const PageState &p = conv().pages;
        tf_write_out_rsm(t.temp_left, p.last_seen_left_margin, t.temp_right, p.last_seen_right_margin);
        t.temp_rsm = 0;
    }
    t.can_do_tmp_mar = 1;
    const RoutingState &r = conv().routing;
    if (!r.text_flow && !r.in_table) return 0;
    tf_output_hypertext_xrf(nullptr, 5);
    ParagraphFormatState &f = pgf();
    if (f.do_second_style) {
        f.eat_snl = 1;
        tf_replace_curr_para_end(kSNL, kHNL);
        f.do_second_style = 0;
        f.over_ride_tf_off = 0;
        ++layout().pars_in_doc;
    } else {
        end_plain_paragraph();
    }
    if (!conv().tables.from_cell_content) {
        const ColourState &colour = conv().colours;
        tf_output_color(colour.curr_color, colour.color_name);
        tf_write_attr(layout().curr_high_act);
    }
    f.first_string_seen = 1;
    tf_end_text_stat();
    refs().text_stat = 0;
    refs().change_bar_seen = 0;
    StringState &s = st();
    s.para_char_cnt = 0;
    if (s.hnp_after_hnl) {
        out_icf(kHNP);
        s.hnp_after_hnl = 0;
    }
    return 0;
}

VOX_API const char *itoszhex(unsigned value) {
    static const char kDigits[] = "0123456789ABCDEF";
    char *out = st().hex_text;
    int shift = 28;
    while (shift > 0 && (value >> shift & 15u) == 0) shift -= 4;
    int n = 0;
    if (value != 0)
        for (; shift >= 0; shift -= 4) out[n++] = kDigits[value >> shift & 15u];
    out[n] = '\0';
    return out;
}
}
