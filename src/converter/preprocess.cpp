// The validity check, the preprocessing pass and its macro definitions.
#include "converter/preprocess.h"

#include <algorithm>
#include <cstring>

#include "common/buffer_bytes.h"
#include "common/kernel_state.h"
#include "converter/conversion.h"
#include "converter/routing.h"
#include "converter/token_table.h"
#include "converter/value_readers.h"

namespace vox {

const SpecialWord preproc_key_tbl[table_size] = {
    {"define", 0, tf_do_define},
};

namespace {

constexpr int kCarriageReturn = 13;
constexpr int kLineFeed = 10;
constexpr int kEndMarker = 254;  // ends a token number in the preprocessed text

bool is_line_end(int c) { return c == kLineFeed || c == kCarriageReturn; }
bool is_definition_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A growable byte buffer in tracked memory, always with room for a
// terminator after its bytes.
class ByteBuffer {
  public:
    explicit ByteBuffer(std::size_t initial) { grow(initial); }
    ~ByteBuffer() { VOXfree(data_); }
    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    void push(int c) {
        if (size_ + 1 >= capacity_) grow(capacity_ * 2);
        data_[size_++] = static_cast<char>(c);
    }
    void append(const char *text) {
        while (*text != '\0') push(static_cast<unsigned char>(*text++));
    }
    void clear() { size_ = 0; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    void reserve(std::size_t room) {
        if (room > capacity_) grow(room);
    }
    char *c_str() {
        data_[size_] = '\0';
        return data_;
    }

  private:
    void grow(std::size_t room) {
        char *bigger = static_cast<char *>(VOXmalloc(room));
        if (bigger == nullptr) VOXexit(8);
        if (data_ != nullptr) std::memcpy(bigger, data_, size_);
        VOXfree(data_);
        data_ = bigger;
        capacity_ = room;
    }

    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The state machine of the pass.  Modes: 0 between statements, 1 reading a
// statement name, 2 name complete, 3 reading values.
class PreprocessPass {
  public:
    int run();

  private:
    void on_open_bracket();
    void on_close_bracket(int c);
    void on_string();
    void on_data_marker(int c);
    void on_line_end(int c);
    void on_space();
    void on_comment();
    void mode_action(int c);
    void complete_name();
    void skip_statement();
    void write_line();

    int mode_ = 0;
    int depth_ = 0;
    bool line_open_ = false;
    bool line_open_before_statement_ = false;  // as it stood before the last '<'
    ByteBuffer name_{128};
    ByteBuffer line_{512};
};

int PreprocessPass::run() {
    for (int c = b_getc(); c != -1; c = b_getc()) {
        switch (c) {
            case '<': on_open_bracket(); break;
            case '>': on_close_bracket(c); break;
            case '`': on_string(); break;
            case '&':
            case '=': on_data_marker(c); break;
            case kLineFeed:
            case kCarriageReturn: on_line_end(c); break;
            case ' ': on_space(); break;
            case '#': on_comment(); break;
            default: mode_action(c); break;
        }
    }
    if (depth_ != 0) VOXexit(16);
    return 0;
}

void PreprocessPass::on_open_bracket() {
    ++depth_;
    line_open_before_statement_ = line_open_;
    line_open_ = true;
    mode_ = 1;
}

void PreprocessPass::on_close_bracket(int c) {
    if (mode_ == 1) {
        // The name ends at the bracket, which then closes the statement.
        b_unget(c);
        mode_ = 2;
        mode_action(c);
        return;
    }
    line_.push('>');
    line_.push(kCarriageReturn);
    write_line();
    --depth_;
    line_open_ = false;
    name_.clear();
    mode_ = 0;
}

void PreprocessPass::on_string() {
    line_.push('`');
    for (int c = b_getc(); c != -1; c = b_getc()) {
        line_.push(c);
        if (c == '\'') break;
    }
}

void PreprocessPass::on_data_marker(int c) {
    if (mode_ == 3) {  // inside a statement's values: plain value text
        mode_action(c);
        return;
    }
    if (mode_ != 0) {  // ends a statement name; the marker itself is dropped
        mode_ = 2;
        mode_action(c);
        return;
    }
    line_.push(c);
    for (int next = b_getc(); next != -1; next = b_getc()) {
        if (is_line_end(next)) {
            b_unget(next);  // the line end is left to the line-end rule
            break;
        }
        line_.push(next);
    }
    line_.push(kCarriageReturn);
    write_line();
}

void PreprocessPass::on_line_end(int c) {
    if (mode_ == 1) {
        b_unget(c);
        mode_ = 2;
        mode_action(c);
        return;
    }
    if (line_open_) {
        tf_frame_putc(kCarriageReturn);
        line_open_ = false;
    }
    mode_ = 0;
}

void PreprocessPass::on_space() {
    if (mode_ == 1 || mode_ == 2) {
        ++mode_;
        mode_action(' ');
    }
}

void PreprocessPass::on_comment() {
    for (int c = b_getc(); c != -1 && !is_line_end(c); c = b_getc()) {
    }
    mode_ = 0;
}

void PreprocessPass::mode_action(int c) {
    switch (mode_) {
        case 1: name_.push(c); break;
        case 2: complete_name(); break;
        case 3: line_.push(c); break;
        default: break;  // between statements: dropped
    }
}

void PreprocessPass::complete_name() {
    // A macro replaces the name in place: make room for the longest value.
    name_.reserve(conv().preproc.longest_macro_value + 1);
    char *name = name_.c_str();
    if (do_special_word(name, name_.capacity())) {
        // A definition: nothing of its statement reaches the output, not
        // even the line end its '<' would otherwise be owed.
        skip_statement();
        line_open_ = line_open_before_statement_;
        return;
    }
    int token = convert_token(name);
    if (token == 0) {
        skip_statement();
        return;
    }
    char digits[16];
    int length = 0;
    for (int n = token; n > 0; n /= 10) digits[length++] = static_cast<char>('0' + n % 10);
    line_.push('<');
    while (length > 0) line_.push(digits[--length]);
    line_.push(kEndMarker);
    write_line();
    name_.clear();
    mode_ = 3;
}

void PreprocessPass::skip_statement() {
    x_zem2();
    --depth_;
    name_.clear();
    mode_ = 0;
}

void PreprocessPass::write_line() {
    tf_frame_from_out_string(line_.c_str());
    line_.clear();
}

// Cuts "...(name,value)..." in place: name and value point into text.
// False when the text has no '(' or no ',' after it.
bool split_definition(char *text, char **name, char **value) {
    char *open = std::strchr(text, '(');
    if (open == nullptr) return false;
    char *comma = std::strchr(open + 1, ',');
    if (comma == nullptr) return false;
    *comma = '\0';
    *name = open + 1;
    *value = comma + 1;
    if (char *close = std::strchr(*value, ')')) *close = '\0';
    return true;
}

// Leading blanks go; trailing blanks go too, unless everything after the
// first character is blank.
char *trim_definition_part(char *text) {
    while (is_definition_blank(*text)) ++text;
    std::size_t length = std::strlen(text);
    std::size_t end = length;
    while (end > 1 && is_definition_blank(text[end - 1])) --end;
    if (end > 1) text[end] = '\0';
    return text;
}

// A quoted part keeps only what stands between its first '`' and its
// last '\''.
char *unquote_definition_part(char *text) {
    if (char *quote = std::strchr(text, '`')) text = quote + 1;
    if (char *close = std::strrchr(text, '\'')) *close = '\0';
    return text;
}

// Gathers a definition that goes on beyond its first word: the word, then
// input bytes up to and including the next ')'.
void read_definition_line(const char *word, char (&line)[kDefineLineSize]) {
    std::size_t length = 0;
    for (; word[length] != '\0' && length + 1 < kDefineLineSize; ++length) line[length] = word[length];
    for (int c = preproc_getc(); c != -1; c = preproc_getc()) {
        if (length + 1 < kDefineLineSize) line[length++] = static_cast<char>(c);
        if (c == ')') break;
    }
    line[length] = '\0';
}

}  // namespace

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_check_for_valid_zem(void) {
    int c = b_getc();
    if (c == -1) return 2;
    if (c != '<') return 9;
    do {
        c = b_getc();
    } while (c == ' ' || c == '\t');
    if (c == -1) return 2;
    b_unget(c);
    char head[8] = {};
    for (int i = 0; i < 7; ++i) {
        c = b_getc();
        if (c == -1) return 2;
        head[i] = static_cast<char>(c);
    }
    PreprocState &p = conv().preproc;
    if (std::strcmp(head, "ZEMFile") != 0) {
        if (std::strncmp(head, "Book", 4) != 0) return 9;
        p.zem_book = 1;
    }
    int version = tf_read_next_int();
    p.zem_ver = version >= 5 ? 5 : version == 4 ? 4 : 3;
    x_zem2();
    return 0;
}

VOX_API int do_token(void) {
    PreprocessPass pass;
    return pass.run();
}

VOX_API int x_zem2(void) {
    int depth = 1;
    bool in_string = false;
    while (depth > 0) {
        int c = b_getc();
        if (c == -1) break;
        if (in_string) {
            if (c == '\'') in_string = false;
        } else if (c == '`') {
            in_string = true;
        } else if (c == '<') {
            ++depth;
        } else if (c == '>') {
            --depth;
        }
    }
    return 0;
}

VOX_API int tf_store_rest_of_line(int buffer) {
    for (int c = preproc_getc(); c != -1 && c != kCarriageReturn; c = preproc_getc()) put_byte(c, buffer);
    put_byte(kCarriageReturn, buffer);
    return 0;
}

VOX_API int tf_buff_string(int buffer) {
    for (int c = preproc_getc(); c != -1 && c != '\''; c = preproc_getc()) put_byte(c, buffer);
    put_byte('\'', buffer);
    return 0;
}

VOX_API int do_special_word(char *word, std::size_t room) {
    for (const SpecialWord &entry : preproc_key_tbl) {
        bool match = entry.whole_word ? std::strcmp(word, entry.keyword) == 0
                                      : std::strncmp(word, entry.keyword, std::strlen(entry.keyword)) == 0;
        if (match) {
            entry.handler(entry.whole_word ? nullptr : word);
            return 1;
        }
    }
    replace_macro(word, room);
    return 0;
}

VOX_API int store_in_macro_list(const char *name, const char *value, int replace) {
    PreprocState &p = conv().preproc;
    MacroEntry *last = nullptr;
    for (MacroEntry *e = p.macro_list_ptr; e != nullptr; e = e->next) {
        if (std::strcmp(e->name, name) == 0) {
            if (!replace) return -1;
            char *copy = tracked_strdup(value);
            if (copy == nullptr) return -2;
            VOXfree(e->value);
            e->value = copy;
            p.longest_macro_value = std::max(p.longest_macro_value, std::strlen(value));
            return 0;
        }
        last = e;
    }
    auto *entry = static_cast<MacroEntry *>(VOXmalloc(sizeof(MacroEntry)));
    char *name_copy = entry ? tracked_strdup(name) : nullptr;
    char *value_copy = name_copy ? tracked_strdup(value) : nullptr;
    if (value_copy == nullptr) {
        VOXfree(name_copy);
        VOXfree(entry);
        return -2;
    }
    *entry = MacroEntry{name_copy, value_copy, nullptr};
    (last ? last->next : p.macro_list_ptr) = entry;
    p.longest_macro_value = std::max(p.longest_macro_value, std::strlen(value));
    return 0;
}

VOX_API int replace_macro(char *word, std::size_t room) {
    for (const MacroEntry *e = conv().preproc.macro_list_ptr; e != nullptr; e = e->next) {
        if (std::strcmp(e->name, word) != 0) continue;
        std::size_t length = std::strlen(e->value);
        if (length + 1 > room) return 0;
        std::memcpy(word, e->value, length + 1);
        return 1;
    }
    return 0;
}

VOX_API int tf_do_define(char *word) {
    char *name = nullptr;
    char *value = nullptr;
    if (std::strchr(word, ')') != nullptr) {
        if (split_definition(word, &name, &value)) store_in_macro_list(name, value, 1);
        return 0;
    }
    char line[kDefineLineSize];
    read_definition_line(word, line);
    if (!split_definition(line, &name, &value)) return 0;
    name = unquote_definition_part(trim_definition_part(name));
    value = unquote_definition_part(trim_definition_part(value));
    store_in_macro_list(name, value, 1);
    return 0;
}

VOX_API void tf_free_macro_list(void) {
    PreprocState &p = conv().preproc;
    MacroEntry *e = p.macro_list_ptr;
    while (e != nullptr) {
        MacroEntry *next = e->next;
        VOXfree(e->name);
        VOXfree(e->value);
        VOXfree(e);
        e = next;
    }
    p.macro_list_ptr = nullptr;
    p.longest_macro_value = 0;
}
}
