// Fonts and character formats; see fonts.h.
#include "converter/fonts.h"

#include <cstdio>
#include <cstring>

#include "common/file_access.h"
#include "common/records.h"
#include "common/streams.h"
#include "common/string_utils.h"
#include "converter/colours.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/driver.h"
#include "converter/list_files.h"
#include "converter/pending_handlers.h"
#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/value_readers.h"

namespace vox {

namespace {

constexpr int kSeekFailed = 17;
constexpr int kWriteFailed = 4;
constexpr int kPitchTwips = 2400;       // pitch = 2400 / size: characters per inch
constexpr int kSmallestSizeTaken = 200;  // a size below 1 counts as this
constexpr int kParagraphFontSize = 240;  // 12 points
constexpr int kTagOffset = 4;            // of a character format entry
constexpr int kEntryTagSize = 64;
constexpr int kCharacterStyleKind = 1;
constexpr const char *kDefaultFamily = "Times";
constexpr const char *kBlack = "Black";

constexpr unsigned kSPF = icf_code("SPF"), kSYT = icf_code("SYT"), kSYP = icf_code("SYP"),
                   kSEP = icf_code("SEP"), kSTY = icf_code("STY"), kSTF = icf_code("STF"),
                   kSTE = icf_code("STE");

FontState &fonts() { return conv().fonts; }
ColourState &colours() { return conv().colours; }
int &curr_high_act() { return conv().layout.curr_high_act; }
DriverState &driver() { return conv().driver; }

// --- small helpers ----------------------------------------------------------------

// Copies text into a field of `size` bytes: at most size - 1 characters,
// the rest of the field cleared.
void copy_field(char *field, std::size_t size, const char *text) {
    std::size_t length = std::strlen(text);
    if (length > size - 1) length = size - 1;
    std::memcpy(field, text, length);
    std::memset(field + length, 0, size - length);
}

template <std::size_t N>
void copy_field(char (&field)[N], const char *text) {
    copy_field(field, N, text);
}

// Reads a NUL-terminated name out of a fixed field that may lack the NUL.
template <std::size_t N>
void read_field(char (&out)[N], const unsigned char *field, std::size_t size) {
    std::size_t length = 0;
    while (length < size && length + 1 < N && field[length] != 0) ++length;
    std::memcpy(out, field, length);
    out[length] = '\0';
}

int size_for_pitch(int size) { return size < 1 ? kSmallestSizeTaken : size; }

void set_char_width(int size) { conv().strings.char_width = kPitchTwips / size_for_pitch(size); }

// The current font: font_family and font_name both.
void set_current_family(const char *family) {
    copy_field(fonts().font_family, family);
    copy_field(fonts().font_name, family);
}

// A text parameter: the text through the converting writer, then US.
void write_text_param(const char *text) {
    tf_frame_from_out_string(text);
    b_putc(kUS);
}

void seek_or_exit(int handle, long offset) {
    if (VOXlseek(handle, offset, SEEK_SET) != offset) tf_frame_exit(kSeekFailed);
}

void write_or_exit(int handle, const unsigned char *bytes, int count) {
    if (VOXwrite(handle, bytes, static_cast<unsigned>(count)) != count) tf_frame_exit(kWriteFailed);
}

// A list file lookup's result, ending the run when the file could not be
// positioned for reading.
int found_or_exit(int index) {
    if (index == kListSeekFailed) tf_frame_exit(kSeekFailed);
    return index;
}

std::int32_t entry_style_number(const unsigned char *entry) { return get_be32(entry); }

void entry_tag(const unsigned char *entry, char (&tag)[kEntryTagSize]) {
    read_field(tag, entry + kTagOffset, kEntryTagSize);
}

// STY or STF: tag, style number, kind 1.
void write_style_switch(unsigned code, const unsigned char *entry) {
    char tag[kEntryTagSize];
    entry_tag(entry, tag);
    beg_icf(code);
    write_text_param(tag);
    dec_out(static_cast<std::uint32_t>(entry_style_number(entry)));
    dec_out(kCharacterStyleKind);
    end_icf();
}

// The colour record of a character part, written even when unchanged.
void write_forced_color(int color, const char *name) {
    int &force = conv().colours.force_color_output;
    force = 1;
    tf_output_color(color, name);
    force = 0;
}

// --- family names -------------------------------------------------------------

void remove_first_space(char *from) {
    if (char *space = std::strchr(from, ' ')) tf_strlft(space, 1);
}

// Words that only describe the face, not the family.
constexpr const char *kFaceWords[] = {"bold", "italic", "oblique", "demi", "pitch", "(MS)", "(IBM PC)", "(FW)"};

// --- the font list ---------------------------------------------------------------

// Searches the font list file for `name`; its number, or 0.
int find_listed_font(const char *name) {
    DriverState &d = driver();
    if (d.num_fonts == 0) return 0;
    int number = 0;
    using Record = unsigned char[kFontRecordSize];
    auto named = [&](const Record &entry) {
        char listed[kFontRecordNameSize + 1];
        read_field(listed, entry + 4, kFontRecordNameSize);
        if (std::strcmp(listed, name) != 0) return false;
        number = get_be32(entry);
        return true;
    };
    ListCache &cache = list_files().font_list;
    found_or_exit(find_list_record<kFontRecordSize>(d.font_list_handle, cache, d.num_fonts, named));
    return number;
}

int append_font(const char *name) {
    DriverState &d = driver();
    int number = ++d.num_fonts;
    unsigned char entry[kFontRecordSize] = {};
    put_be32(entry, number);
    copy_field(reinterpret_cast<char *>(entry + 4), kFontRecordNameSize, name);
    const long offset = static_cast<long>(number - 1) * kFontRecordSize;
    seek_or_exit(d.font_list_handle, offset);
    write_or_exit(d.font_list_handle, entry, kFontRecordSize);
    note_list_write(list_files().font_list, d.font_list_handle, offset, entry, kFontRecordSize);
    return number;
}

bool fits_lookup_memo(const char *name) { return std::strlen(name) < sizeof fonts().looked_up_font; }

// --- the character catalog --------------------------------------------------------

// Reads the first entry whose tag is `tag` into `entry`; false when there
// is none (or the file ends early).
bool find_char_format(const char *tag, unsigned char (&entry)[kCharFormatEntrySize]) {
    const FontState &f = fonts();
    const int handle = driver().font_cat_handle;
    if (f.num_font_entries == 0) return false;
    using Record = unsigned char[kCharFormatEntrySize];
    auto tagged = [&](const Record &bytes) {
        std::memcpy(entry, bytes, kCharFormatEntrySize);
        char stored[kEntryTagSize];
        entry_tag(entry, stored);
        return std::strcmp(stored, tag) == 0;
    };
    return found_or_exit(find_list_record<kCharFormatEntrySize>(handle, list_files().char_catalog,
                                                                f.num_font_entries, tagged)) >= 0;
}

// The character part of the format being stored: what the <Font stated.
FontStateRecord stated_char_part() {
    const FontState &f = fonts();
    const ColourState &c = colours();
    FontStateRecord part{};
    copy_field(part.family, f.font_family);
    part.size = f.curr_font_size;
    part.attributes = curr_high_act() != 0 ? curr_high_act() : -1;
    part.color = c.curr_color != 0 ? c.curr_color : -1;
    copy_field(part.color_name, c.color_name);
    return part;
}

void write_char_entry(int number, const unsigned char (&entry)[kCharFormatEntrySize]) {
    const int handle = driver().font_cat_handle;
    const long offset = static_cast<long>(number - 1) * kCharFormatEntrySize;
    seek_or_exit(handle, offset);
    write_or_exit(handle, entry, kCharFormatEntrySize);
    note_list_write(list_files().char_catalog, handle, offset, entry, kCharFormatEntrySize);
}

// What a character format changes in the current state when applied.
void take_char_part(const FontStateRecord &part) {
    FontState &f = fonts();
    ColourState &c = colours();
    f.attr_before_char_sty = curr_high_act();
    if (part.family[0] != '\0') set_current_family(part.family);
    if (part.size != 0) f.curr_font_size = part.size;
    if (part.attributes > 0) curr_high_act() = part.attributes;
    if (part.color > 0) c.curr_color = part.color;
    if (part.color_name[0] != '\0') copy_field(c.color_name, part.color_name);
}

// An empty <FTag: back to the paragraph font.
void return_to_paragraph_font() {
    FontState &f = fonts();
    const FontStateRecord &p = f.prev_font_state;
    const int size = p.size == 0 ? kParagraphFontSize : p.size;
    char family[sizeof p.family + 1];
    read_field(family, reinterpret_cast<const unsigned char *>(p.family), sizeof p.family);
    set_current_family(family);
    f.curr_font_size = size;
    set_char_width(size);
    curr_high_act() = f.default_high_attrib = p.attributes;
    f.default_color = p.color;
    char color_name[sizeof p.color_name + 1];
    read_field(color_name, reinterpret_cast<const unsigned char *>(p.color_name), sizeof p.color_name);
    copy_field(colours().color_name, color_name);
    ReferenceState &r = conv().references;
    if (r.change_bar_seen) {
        tf_end_text_stat();
        r.change_bar_seen = 0;
    }
}

// --- attributes and words -------------------------------------------------------

// Attribute records in the order they are written.
struct AttributeRecords {
    int bit;
    unsigned begin, end;
};
constexpr AttributeRecords kAttributeOrder[] = {
    {kHighBold, icf_code("BBT"), icf_code("EBT")},
    {kHighUnderline, icf_code("BUL"), icf_code("EUL")},
    {kHighItalic, icf_code("ITO"), icf_code("ITF")},
    {kHighStrike, icf_code("BSO"), icf_code("ESO")},
    {kHighShadow, icf_code("BSP"), icf_code("ESP")},
    {kHighSubScript, icf_code("SBS"), icf_code("EBS")},
    {kHighSupScript, icf_code("SPS"), icf_code("EPS")},
    {kHighDoubleUnderline, icf_code("BDU"), icf_code("EDU")},
    {kHighOutline, icf_code("BOL"), icf_code("EOL")},
    {kHighAllCaps, icf_code("BCU"), icf_code("ECU")},
    {kHighSmallCaps, icf_code("BCS"), icf_code("ECS")},
};

bool attributes_written_here() {
    const RoutingState &r = conv().routing;
    return r.text_flow || r.in_table || conv().paragraph_formats.in_pgfcatalog || fonts().in_fontcatalog;
}

struct LanguageWord {
    const char *word;
    int code;
};
constexpr LanguageWord kLanguageWords[] = {
    {"Brazilian", 0}, {"Danish", 1},  {"Dutch", 2},      {"USEnglish", 3},   {"UKEnglish", 4},
    {"Finnish", 5},   {"French", 6},  {"German", 7},     {"Italian", 8},     {"Norwegain", 9},
    {"Portuguese", 10}, {"Spanish", 11}, {"Swedish", 12},
};
constexpr int kUnknownLanguage = -1;

int language_code(const char *word) {
    for (const LanguageWord &l : kLanguageWords)
        if (std::strcmp(word, l.word) == 0) return l.code;
    return kUnknownLanguage;
}

// A word that sets or clears a pair of attribute bits.
struct BitWord {
    const char *word;
    int set, clear;
};

void apply_bit_word(const BitWord *words, std::size_t count) {
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    for (std::size_t i = 0; i < count; ++i) {
        if (std::strcmp(word, words[i].word) != 0) continue;
        curr_high_act() = (curr_high_act() & ~words[i].clear) | words[i].set;
        return;
    }
}

constexpr BitWord kUnderliningWords[] = {
    {"FSingle", kHighUnderline, 0},
    {"FDouble", kHighDoubleUnderline, 0},
    {"FNoUnderlining", 0, kHighUnderline | kHighDoubleUnderline},
};
constexpr BitWord kPositionWords[] = {
    {"FSuperscript", kHighSupScript, 0},
    {"FSubscript", kHighSubScript, 0},
    {"FNormal", 0, kHighSupScript | kHighSubScript},
};

}  // namespace

void load_char_part(const unsigned char *part, FontStateRecord &record) {
    record = FontStateRecord{};
    std::memcpy(record.family, part, sizeof record.family);
    record.family[sizeof record.family - 1] = '\0';
    record.size = get_be32(part + 64);
    record.reserved = get_be32(part + 68);
    record.attributes = get_be32(part + 72);
    record.color = get_be32(part + 76);
    std::memcpy(record.reserved2, part + 80, sizeof record.reserved2);
    std::memcpy(record.color_name, part + 88, sizeof record.color_name);
    record.color_name[sizeof record.color_name - 1] = '\0';
}

void store_char_part(const FontStateRecord &record, unsigned char *part) {
    std::memcpy(part, record.family, sizeof record.family);
    put_be32(part + 64, record.size);
    put_be32(part + 68, record.reserved);
    put_be32(part + 72, record.attributes);
    put_be32(part + 76, record.color);
    std::memcpy(part + 80, record.reserved2, sizeof record.reserved2);
    std::memcpy(part + 88, record.color_name, sizeof record.color_name);
}

void normalise_family_name(char *name) {
    if (char *itc = strstri(name, "ITC ")) tf_strlft(itc, 4);
    if (strstri(name, "Avant Garde")) remove_first_space(name);
    if (char *gothic = strstri(name, "Gothic")) {
        tf_strlft(gothic, 6);
        remove_first_space(name);
    }
    if (char *zapf = strstri(name, "Zapf ")) remove_first_space(zapf);
    if (char *schoolbook = strstri(name, "Schoolbook")) {
        std::memcpy(schoolbook, "Schlbk", 6);
        tf_strlft(schoolbook + 6, 4);
    }
    for (const char *word : kFaceWords)
        if (char *found = strstri(name, word)) tf_strlft(found, static_cast<int>(std::strlen(word)));
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_handle_ffamily_token(void) {
    char name[kFamilyStringLimit + 1];
    tf_from_read_string(name, kFamilyStringLimit);
    if (name[0] == '\0') {
        fonts().font_name[0] = '\0';
        return 0;
    }
    normalise_family_name(name);
    name[kFamilyLimit] = '\0';
    set_current_family(name);
    return 0;
}

VOX_API int tf_strlft(char *position, int count) {
    const std::size_t length = std::strlen(position);
    std::size_t removed = count < 0 ? 0 : static_cast<std::size_t>(count);
    if (removed > length) removed = length;
    std::memmove(position, position + removed, length - removed + 1);
    return 0;
}

VOX_API int tf_handle_end_font(void) {
    if (fonts().in_fontcatalog) return tf_end_fontcat_entry();
    FontState &f = fonts();
    const char *name = f.font_name;
    const int number = tf_get_font_num(name);
    if (f.curr_font_size == f.last_font_size && number == f.last_seen_font_num) return 0;
    tf_output_font(f.last_font_size, f.last_seen_font_num, f.curr_font_size, number, name);
    f.last_seen_font_num = number;
    f.last_font_size = f.curr_font_size;
    set_char_width(f.curr_font_size);
    return 0;
}

VOX_API int tf_get_font_num(const char *name) {
    FontState &f = fonts();
    const bool memo = fits_lookup_memo(name);
    if (memo && f.looked_up_font_num != 0 && std::strcmp(f.looked_up_font, name) == 0) return f.looked_up_font_num;
    int number = find_listed_font(name);
    if (number == 0) number = append_font(name);
    if (memo) {
        copy_field(f.looked_up_font, name);
        f.looked_up_font_num = number;
    }
    return number;
}

VOX_API int tf_output_font(int old_size, int old_num, int new_size, int new_num, const char *name) {
    old_size = size_for_pitch(old_size);
    new_size = size_for_pitch(new_size);
    beg_icf(kSPF);
    dec_out(static_cast<std::uint32_t>(kPitchTwips / old_size));
    dec_out(static_cast<std::uint32_t>(old_num));
    dec_out(static_cast<std::uint32_t>(kPitchTwips / new_size));
    dec_out(static_cast<std::uint32_t>(new_num));
    dec_out(static_cast<std::uint32_t>(new_size));
    write_text_param(name);
    end_icf();
    return 0;
}

VOX_API int tf_end_fontcat_entry(void) {
    FontState &f = fonts();
    unsigned char entry[kCharFormatEntrySize] = {};
    store_char_part(stated_char_part(), entry + kCharPartOffset);
    copy_field(reinterpret_cast<char *>(entry + kTagOffset), kEntryTagSize, f.ftag_name);
    const int number = ++f.num_font_entries;
    put_be32(entry, conv().paragraph_formats.cat_idx + number);
    write_char_entry(number, entry);
    ColourState &c = colours();
    c.color_name[0] = '\0';
    c.curr_color = 0;
    f.curr_font_size = 0;
    curr_high_act() = 0;
    tf_output_char_syt(entry);
    f.font_family[0] = '\0';
    return 0;
}

VOX_API int tf_output_char_syt(const unsigned char *entry) {
    char tag[kEntryTagSize];
    entry_tag(entry, tag);
    beg_icf(kSYT);
    write_text_param(tag);
    dec_out(static_cast<std::uint32_t>(entry_style_number(entry)));
    beg_icf(kSYP);
    dec_out(kCharacterStyleKind);
    end_icf();
    tf_write_char_style_data(entry + kCharPartOffset);
    out_icf(kSEP);
    tf_write_attr(0);
    end_icf();
    return 0;
}

VOX_API int tf_handle_ftag_token(void) {
    FontState &f = fonts();
    if (f.have_char_style) tf_end_char_style(f.curr_font_cat_entry);
    char tag[kFtagLimit + 1];
    tf_from_read_string(tag, kFtagLimit);
    if (tag[0] == '\0') {
        return_to_paragraph_font();
        return 0;
    }
    copy_field(f.ftag_name, tag);
    if (!f.in_fontcatalog) tf_set_fontcat_data(f.ftag_name);
    return 0;
}

VOX_API int tf_set_fontcat_data(const char *tag) {
    unsigned char entry[kCharFormatEntrySize];
    if (!find_char_format(tag, entry)) return 0;
    FontStateRecord part;
    load_char_part(entry + kCharPartOffset, part);
    take_char_part(part);
    tf_output_char_sty(entry);
    return 1;
}

VOX_API int tf_output_char_sty(const unsigned char *entry) {
    FontState &f = fonts();
    if (f.have_char_style) tf_end_char_style(f.curr_font_cat_entry);
    write_style_switch(kSTY, entry);
    tf_write_char_style_data(entry + kCharPartOffset);
    out_icf(kSTE);
    std::memmove(f.curr_font_cat_entry, entry, kCharFormatEntrySize);
    f.have_char_style = 1;
    return 0;
}

VOX_API int tf_end_char_style(const unsigned char *entry) {
    FontState &f = fonts();
    write_style_switch(kSTF, entry);
    curr_high_act() = f.attr_before_char_sty;
    tf_write_attr(curr_high_act());
    FontStateRecord part;
    load_char_part(entry + kCharPartOffset, part);
    if (part.color != 0 || std::strcmp(part.color_name, kBlack) == 0) tf_output_color(0, kBlack);
    out_icf(kSTE);
    f.have_char_style = 0;
    return 0;
}

VOX_API int tf_write_char_style_data(const unsigned char *part) {
    FontStateRecord p;
    load_char_part(part, p);
    if (p.size != 0 || p.family[0] != '\0') {
        const int size = p.size != 0 ? p.size : kParagraphFontSize;
        const char *name = p.family[0] != '\0' ? p.family : kDefaultFamily;
        const int number = tf_get_font_num(name);
        tf_output_font(kParagraphFontSize, 0, size, number, name);
        fonts().last_seen_font_num = number;
    }
    write_forced_color(p.color, p.color_name);
    if (p.attributes >= 0) tf_write_attr(p.attributes);
    return 0;
}

VOX_API int tf_write_attr(int new_bits) {
    FontState &f = fonts();
    if (!attributes_written_here() || new_bits == f.last_seen_attr) return 0;
    const int old_bits = f.last_seen_attr;
    for (const AttributeRecords &a : kAttributeOrder) {
        const bool now = (new_bits & a.bit) != 0, before = (old_bits & a.bit) != 0;
        if (now && !before)
            out_icf(a.begin);
        else if (before && !now)
            out_icf(a.end);
    }
    f.last_seen_attr = new_bits;
    return 0;
}

VOX_API int tf_handle_lang_token(void) {
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    fonts().curr_lang = language_code(word);
    return 0;
}

VOX_API int tf_handle_funderlining_token(void) {
    apply_bit_word(kUnderliningWords, sizeof kUnderliningWords / sizeof kUnderliningWords[0]);
    return 0;
}

VOX_API int tf_handle_fposition_token(void) {
    apply_bit_word(kPositionWords, sizeof kPositionWords / sizeof kPositionWords[0]);
    return 0;
}
}
