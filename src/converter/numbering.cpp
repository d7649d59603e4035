// Paragraph numbering: number texts, number formats and the numbering
// definition record.  See numbering.h.
#include "converter/numbering.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "common/int32.h"
#include "common/memory.h"
#include "common/records.h"
#include "common/streams.h"
#include "converter/conversion.h"
#include "converter/fonts.h"
#include "converter/pending_handlers.h"
#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/text_flows.h"

namespace vox {
namespace {

constexpr int kAllocationFailure = 8;
constexpr int kLastLevel = kPndLevels - 1;
constexpr unsigned kPND = icf_code("PND"), kPGN = icf_code("PGN"), kEPN = icf_code("EPN");

NumberingState &numbering() { return conv().numbering; }

// Copies text into a buffer, cut to N - 1 characters and a NUL.
template <std::size_t N>
void copy_bounded(char (&buffer)[N], const char *text) {
    std::size_t length = std::min(std::strlen(text), N - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

// ---- level texts and the level table ----------------------------------------

// A tracked copy of a non-empty text; null for an empty one.
char *copy_level_text(const char *text) {
    if (text == nullptr || text[0] == '\0') return nullptr;
    std::size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(VOXmalloc(size));
    if (copy == nullptr) conversion_fatal(kAllocationFailure);
    std::memcpy(copy, text, size);
    return copy;
}

void free_level_texts(PndLevel &level) {
    VOXfree(level.prefix);
    VOXfree(level.suffix);
    level.prefix = level.suffix = nullptr;
}

void clear_level_table() {
    for (PndLevel &level : numbering().pnd_list) {
        free_level_texts(level);
        level = PndLevel{};
    }
}

// ---- series letters -------------------------------------------------------------

void restore_series(const PndSeries &series) {
    NumberingState &n = numbering();
    for (int i = 0; i < series.count; ++i) {
        PndLevel &level = n.pnd_list[i];
        free_level_texts(level);
        level.value = series.levels[i].value;
        level.type = series.levels[i].type;
        level.follows = series.levels[i].follows;
    }
    n.max_pnd_levels = series.count;
}

PndSeries *append_series(int letter) {
    auto *series = static_cast<PndSeries *>(VOXmalloc(sizeof(PndSeries)));
    if (series == nullptr) conversion_fatal(kAllocationFailure);
    *series = PndSeries{};
    series->letter = letter;
    PndSeries **tail = &numbering().pnd_series_list;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = series;
    return series;
}

// The letter's one saved state becomes the first max_pnd_levels levels.
void save_series(int letter) {
    NumberingState &n = numbering();
    PndSeries *series = find_pnd_series(letter);
    if (series == nullptr) series = append_series(letter);
    series->count = n.max_pnd_levels;
    for (int i = 0; i < n.max_pnd_levels; ++i) {
        const PndLevel &level = n.pnd_list[i];
        series->levels[i] = PndSavedLevel{level.value, level.type, level.follows};
    }
}

// ---- reading a number format ------------------------------------------------------

int counter_type_of(char first) {
    switch (first) {
        case 'n': return kPndArabic;
        case 'a': return kPndLowerAlpha;
        case 'A': return kPndUpperAlpha;
        case 'r': return kPndLowerRoman;
        case 'R': return kPndUpperRoman;
        case ' ': return kPndNone;
        default: return -1;
    }
}

// The number after "=": an optional sign and decimal digits, clamped to
// the range of an int.
int block_number(const char *text, const char *end) {
    bool negative = false;
    if (text < end && (*text == '-' || *text == '+')) negative = *text++ == '-';
    std::int64_t value = 0;
    for (; text < end && *text >= '0' && *text <= '9'; ++text)
        value = std::min<std::int64_t>(value * 10 + (*text - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

// Walks a number format (series letter already skipped) and stores its
// levels in the level table.
class PndFormatReader {
  public:
    explicit PndFormatReader(const char *format) : next_(format) {}

    // Stores every level; returns the number of levels stored.
    int store_levels() {
        while (collect_literal()) {
            if (pending_) {
                store_pending("");
                follows_ = 1;
            }
            if (literal_len_ > 0) copy_bounded(prefix_, literal_);
            read_block();
        }
        if (!block_seen_ || !counter_) {
            if (literal_len_ > 0) copy_bounded(prefix_, literal_);
            store_pending("");
        } else {
            store_pending(literal_);
        }
        return level_;
    }

  private:
    // Collects literal characters up to the next '<' (consumed) or the
    // end; true at a '<'.
    bool collect_literal() {
        literal_len_ = 0;
        for (; *next_ != '\0' && *next_ != '<'; ++next_)
            if (literal_len_ < kPndLiteralLimit) literal_[literal_len_++] = *next_;
        literal_[literal_len_] = '\0';
        if (*next_ == '\0') return false;
        ++next_;
        return true;
    }

    // Reads a block up to its '>' (or the end of the format): its first
    // character sets the counter type, its second the value.
    void read_block() {
        const char *text = next_;
        while (*next_ != '\0' && *next_ != '>') ++next_;
        const char *end = next_;
        if (*next_ == '>') ++next_;
        int type = text < end ? counter_type_of(text[0]) : -1;
        counter_ = type >= 0;
        if (counter_) type_ = type;
        const int current = numbering().pnd_list[std::min(level_, kLastLevel)].value;
        if (end - text >= 2 && text[1] == '=')
            value_ = block_number(text + 2, end);
        else if (end - text >= 2 && text[1] == '+')
            value_ = wrap_add(current, 1);
        else
            value_ = current;
        pending_ = block_seen_ = true;
    }

    void store_pending(const char *suffix) {
        tf_save_pnd_level(std::min(level_, kLastLevel), value_, prefix_, type_, suffix, follows_);
        level_ = std::min(level_ + 1, kPndLevels);
    }

    const char *next_;
    char literal_[kPndLiteralLimit + 1] = {};
    int literal_len_ = 0;
    char prefix_[kPndLiteralLimit + 1] = {};
    int level_ = 0;        // the level the pending block is stored as
    int follows_ = 0;
    int type_ = kPndNone;
    int value_ = -1;       // none read: the level keeps its value
    bool pending_ = false;
    bool counter_ = false;  // the last block was a counter
    bool block_seen_ = false;
};

// ---- records ------------------------------------------------------------------------

// A text parameter of PND; "\t" stands for one space.
void put_pnd_text(const char *text) {
    for (const char *p = text; p != nullptr && *p != '\0'; ++p) {
        if (p[0] == '\\' && p[1] == 't') {
            b_putc(' ');
            ++p;
        } else {
            b_putc(static_cast<unsigned char>(*p));
        }
    }
    b_putc(kUS);
}

void write_pnd() {
    const NumberingState &n = numbering();
    beg_icf(kPND);
    dec_out(static_cast<std::uint32_t>(n.max_pnd_levels));
    for (int i = 0; i < n.max_pnd_levels; ++i) {
        const PndLevel &level = n.pnd_list[i];
        dec_out(static_cast<std::uint32_t>(level.value));
        put_pnd_text(level.prefix);
        dec_out(static_cast<std::uint32_t>(level.type));
        dec_out(0);
        put_pnd_text(level.suffix);
        dec_out(static_cast<std::uint32_t>(level.follows));
    }
    end_icf();
}

// ---- the number text ----------------------------------------------------------------

void put_number_byte(int byte) {
    StringState &s = conv().strings;
    tf_frame_putc(byte);
    s.line_pos = wrap_add(s.line_pos, s.char_width);
}

void write_number_text(const char *text) {
    const char *p = text;
    while (*p != '\0') {
        if (p[0] != '\\' || p[1] == '\0') {
            put_number_byte(static_cast<unsigned char>(*p++));
            continue;
        }
        char kind = p[1];
        p += 2;
        if (kind == 'x') {
            int value = tf_read_hex_string(p);
            p += conv().strings.hex_chars_read;
            if (*p == ' ') ++p;
            tf_handle_string_hex_char(value);
            continue;
        }
        int converted = tf_convert_special_char(static_cast<unsigned char>(kind));
        if (converted != 0) put_number_byte(converted);
    }
}

// Prepares text output without starting the paragraph's alignment.
void prepare_number_output() {
    int &at_end = conv().paragraph_formats.para_num_end;
    const int saved = at_end;
    at_end = 1;
    tf_prepare_4_text_output();
    at_end = saved;
}

// The character state a number font replaces.
struct SavedFont {
    char name[kFontNameSize];
    int size;
    int attributes;
    int color;
};

SavedFont save_font() {
    const Conversion &c = conv();
    SavedFont saved{};
    copy_bounded(saved.name, c.fonts.font_name);
    saved.size = c.fonts.curr_font_size;
    saved.attributes = c.layout.curr_high_act;
    saved.color = c.colours.curr_color;
    return saved;
}

void restore_font(const SavedFont &saved) {
    Conversion &c = conv();
    copy_bounded(c.fonts.font_name, saved.name);
    copy_bounded(c.fonts.font_family, saved.name);
    c.fonts.curr_font_size = saved.size;
    c.layout.curr_high_act = saved.attributes;
    c.colours.curr_color = saved.color;
}

bool apply_number_font(const char *tag) { return tf_set_fontcat_data(tag) == 1; }

}  // namespace

PndSeries *find_pnd_series(int letter) {
    for (PndSeries *s = numbering().pnd_series_list; s != nullptr; s = s->next)
        if (s->letter == letter) return s;
    return nullptr;
}

int pgn_level_number(const char *format) {
    int count = 0;
    for (const char *p = format; *p != '\0';) {
        if (*p++ != '<') continue;
        if (*p != '\0' && std::strchr("nrRaA ", *p) != nullptr) ++count;
        while (*p != '\0' && *p != '>') ++p;
    }
    return count == 0 ? 1 : count;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_handle_pgfstring_token(void) {
    NumberingState &n = numbering();
    n.num_string_to_output[0] = '\0';
    int c = preproc_getc();
    while (c == ' ' || c == '\t') c = preproc_getc();
    if (c != '`') {
        if (c >= 0) preproc_unget(c);
        tf_frame_debug("PgfString Token: Did not read start of string.");
        return -1;
    }
    int length = 0;
    for (c = preproc_getc(); c >= 0 && c != '\''; c = preproc_getc()) {
        if (c == '\r' || c == '\n') {
            preproc_unget(c);
            break;
        }
        if (length < kNumStringLimit) n.num_string_to_output[length++] = static_cast<char>(c);
    }
    n.num_string_to_output[length] = '\0';
    n.pgf_num_attr = conv().layout.curr_high_act;
    return 0;
}

VOX_API int tf_output_para_num_string(void) {
    Conversion &c = conv();
    NumberingState &n = c.numbering;
    if (n.num_string_to_output[0] == '\0') return 0;
    int &attributes = c.layout.curr_high_act;
    const int paragraph_attributes = attributes;
    attributes = n.pgf_num_attr;
    SavedFont saved_font{};
    bool font_applied = false;
    if (n.pgf_num_font_name[0] != '\0') {
        saved_font = save_font();
        font_applied = apply_number_font(n.pgf_num_font_name);
    }
    prepare_number_output();
    c.frames.text_seen = 1;
    tf_handle_pnd(n.pgf_num_format_str);
    beg_icf(kPGN);
    dec_out(static_cast<std::uint32_t>(pgn_level_number(n.pgf_num_format_str)));
    end_icf();
    char text[kNumStringLimit + 1];
    copy_bounded(text, n.num_string_to_output);
    n.num_string_to_output[0] = '\0';
    write_number_text(text);
    attributes = paragraph_attributes;
    out_icf(kEPN);
    if (font_applied) {
        restore_font(saved_font);
        prepare_number_output();
    }
    return 0;
}

VOX_API int tf_fixup_special_string_chars(char *text) {
    char *out = text;
    for (const char *in = text; *in != '\0';) {
        char replacement = 0;
        if (in[0] == '\\') {
            switch (in[1]) {
                case '>': replacement = '>'; break;
                case 'Q': replacement = '`'; break;
                case '\\': replacement = '\\'; break;
                case 'q': replacement = '\''; break;
                default: break;
            }
        }
        if (replacement != 0) {
            *out++ = replacement;
            in += 2;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
    return 0;
}

VOX_API int tf_handle_pnd(const char *format) {
    NumberingState &n = numbering();
    if (std::strcmp(format, n.last_pnd_format) == 0) return 0;
    copy_bounded(n.last_pnd_format, format);
    int letter = 0;
    if (format[0] != '\0' && format[1] == ':') {
        letter = static_cast<unsigned char>(format[0]);
        format += 2;
    }
    const PndSeries *saved = letter != 0 ? find_pnd_series(letter) : nullptr;
    if (saved != nullptr)
        restore_series(*saved);
    else
        clear_level_table();
    int levels = PndFormatReader(format).store_levels();
    if (levels > n.max_pnd_levels) n.max_pnd_levels = levels;
    if (letter != 0) save_series(letter);
    write_pnd();
    return 0;
}

VOX_API int tf_save_pnd_level(int index, int value, const char *prefix, int type, const char *suffix,
                              int follows) {
    if (index < 0 || index >= kPndLevels) return -1;
    PndLevel &level = numbering().pnd_list[index];
    free_level_texts(level);
    if (value >= 0) level.value = value;
    level.type = type;
    level.follows = follows;
    level.prefix = copy_level_text(prefix);
    level.suffix = copy_level_text(suffix);
    return 0;
}

VOX_API void tf_cleanup_pnd_list(void) {
    for (PndLevel &level : numbering().pnd_list) free_level_texts(level);
}

VOX_API void tf_free_pgf_num_list(void) { tf_cleanup_pnd_list(); }

VOX_API void tf_free_series_list(void) {
    NumberingState &n = numbering();
    while (PndSeries *series = n.pnd_series_list) {
        n.pnd_series_list = series->next;
        VOXfree(series);
    }
}
}
