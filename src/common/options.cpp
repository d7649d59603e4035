// Options, configuration files, name=value pairs and the reference list.
#include "common/options.h"

#include <cstdlib>
#include <cstring>

#include "common/kernel_state.h"
#include "common/string_utils.h"

namespace vox {

// PLACEHOLDER until the graphics layer exists: GEX is accepted and does
// nothing; the graphics layer will reload GraphicObjectExtents here.
void reload_graphic_object_extents() {}

namespace {

SettingsState &settings() { return kernel().settings; }

// True when text begins with prefix, ignoring case.
bool starts_with(const char *text, const char *prefix) { return yn_strcmpi(text, prefix) == 1; }

int upper(char c) { return to_up(static_cast<unsigned char>(c)); }

const char *skip_equals(const char *text) { return *text == '=' ? text + 1 : text; }

// Copies what fits of text into a fixed buffer of size bytes.
void copy_fixed(char *buffer, std::size_t size, const char *text) {
    std::size_t n = std::strlen(text);
    if (n > size - 1) n = size - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

// Replaces a tracked text; the old copy goes, a failed copy leaves null.
void set_tracked_text(char *&slot, const char *text) {
    char *copy = tracked_strdup(text);
    VOXfree(slot);
    slot = copy;
}

// Appends " text" to tracked criteria (or starts them); out of memory the
// old criteria stay as they were.
void append_criteria(char *&slot, const char *text) {
    if (!slot) {
        set_tracked_text(slot, text);
        return;
    }
    std::size_t old_len = std::strlen(slot), add_len = std::strlen(text);
    auto *joined = static_cast<char *>(VOXmalloc(old_len + 1 + add_len + 1));
    if (!joined) return;
    std::memcpy(joined, slot, old_len);
    joined[old_len] = ' ';
    std::memcpy(joined + old_len + 1, text, add_len + 1);
    VOXfree(slot);
    slot = joined;
}

// The text after the first '=' of an option, or null when it has none.
const char *after_first_equals(const char *text) {
    const char *eq = std::strchr(text, '=');
    return eq ? eq + 1 : nullptr;
}

// Reads a run of decimal digits, leaving p after them.
int read_digits(const char *&p) {
    int value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
    return value;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    int u = upper(c);
    return u >= 'A' && u <= 'F' ? u - 'A' + 10 : 0;
}

// Up to eight hexadecimal digits, two per byte, first byte the most
// significant; bytes not given stay 0, and a lone last digit is the high
// half of its byte.
unsigned parse_general_info(const char *hex) {
    unsigned value = 0;
    for (int byte = 0; byte < 4 && hex[0]; ++byte, hex += 2) {
        unsigned b = static_cast<unsigned>(hex_value(hex[0])) << 4;
        if (hex[1]) b |= static_cast<unsigned>(hex_value(hex[1]));
        value |= b << (24 - 8 * byte);
        if (!hex[1]) break;
    }
    return value;
}

// BT with an empty name: the source name with its extension (from its last
// '.') replaced by ".bti".
void set_default_body_text_name(SettingsState &s) {
    const char *source = s.FirstParameterFileName;
    if (!source) return;
    std::size_t n = std::strlen(source);
    const char *dot = std::strrchr(source, '.');
    std::size_t stem = dot ? static_cast<std::size_t>(dot - source) : n;
    auto *name = static_cast<char *>(VOXmalloc(stem + 5));
    if (name) {
        std::memcpy(name, source, stem);
        std::memcpy(name + stem, ".bti", 5);
    }
    VOXfree(s.BodyTextFileName);
    s.BodyTextFileName = name;
}

// Graphics options: rest is the text after the G.
void parse_graphics_option(SettingsState &s, const char *rest) {
    int &flags = s.GraphicsOptionFlag;
    if (*rest == '1') {
        s.VOXGraphMode = 1;
        flags = 0;
    } else if (upper(*rest) == 'D') {
        flags |= 2;
    } else if (starts_with(rest, "EX")) {
        reload_graphic_object_extents();
    } else if (starts_with(rest, "ER")) {
        flags |= 512 | 1024;
    } else if (upper(*rest) == 'S') {
        const char *p = rest + 1;
        s.VOXGraphicFrameWidth = read_digits(p);
        if (*p) {
            ++p;  // any one separator
            s.VOXGraphicFrameHeight = read_digits(p);
        }
    } else if (starts_with(rest, "TF")) {
        if (s.GraphicTargetFormatCount < kGraphicTargetMax)
            s.GraphicTargetFormat[s.GraphicTargetFormatCount++] = std::atoi(skip_equals(rest + 2));
    } else if (starts_with(rest, "RR")) {
        flags |= 16;
    } else if (starts_with(rest, "RER")) {
        flags |= 64;
    } else if (starts_with(rest, "RE")) {
        flags |= 32;
    } else if (starts_with(rest, "RAP")) {
        if (const char *name = after_first_equals(rest)) set_tracked_text(s.GraphicCatalogFileName, name);
    } else if (starts_with(rest, "VX")) {
        flags |= 16 | 256;
    } else if (starts_with(rest, "VR")) {
        flags |= 128 | 16;
        if (upper(rest[2]) == 'H') flags |= 1024;
    } else if (upper(*rest) == 'X') {
        flags |= 4;
    } else if (starts_with(rest, "I=")) {
        s.GeneralInfoPtr = parse_general_info(rest + 2);
    }
}

int parse_b(SettingsState &s, const char *rest) {
    if (upper(*rest) == 'T') {
        const char *name = skip_equals(rest + 1);
        if (*name)
            set_tracked_text(s.BodyTextFileName, name);
        else
            set_default_body_text_name(s);
        return 0;
    }
    if (starts_with(rest, "P=")) {
        s.max_pipe_buf_len = std::atoi(rest + 2);
        return 0;
    }
    return 1;
}

int parse_c(SettingsState &s, const char *rest) {
    if (upper(*rest) == 'P') {
        int page = std::atoi(rest + 1);
        if (page >= 100 && page <= 9999) s.VOXCodePage = page;
        return LoadConfiguration(rest + 1);
    }
    if (starts_with(rest, "DC")) {
        s.GraphicsOptionFlag |= 1;
        return 0;
    }
    if (starts_with(rest, "MD")) {
        const char *pair = skip_equals(rest + 2);
        LoadCommandNameValue(pair);
        return LoadConfiguration(pair);
    }
    return LoadConfiguration(skip_equals(rest));
}

void parse_e(SettingsState &s, const char *rest) {
    if (starts_with(rest, "RR")) {
        if (const char *text = after_first_equals(rest)) set_tracked_text(s.ErrorMessageHandle, text);
    } else if (*rest == '=') {
        copy_fixed(s.SubLaunchPath, sizeof s.SubLaunchPath, rest + 1);
    }
}

int parse_i(SettingsState &s, const char *rest) {
    if (upper(*rest) == 'F') return 0x2000;
    if (upper(*rest) == 'N' && rest[1] && rest[2] == '=') {
        s.in_pipe = std::atoi(rest + 3);
        return 0x400;
    }
    return 2;
}

int parse_o(SettingsState &s, const char *rest) {
    int way = 0;
    switch (upper(*rest)) {
        case 'O': way = 1; break;
        case 'N': way = 2; break;
        case 'P': way = 4; break;
        case 'D': s.OLEOptionFlag |= 8; return 0;
        case 'U':
            if (rest[1] && rest[2] && rest[3] == '=') {
                s.out_pipe = std::atoi(rest + 4);
                return 0x400;
            }
            return 0;
        default: return 0;
    }
    s.OLEOptionFlag = (s.OLEOptionFlag & ~7) | way;
    return 0;
}

// PE[=name]: a name (its surrounding double quotes removed) replaces the
// exception list name; without one the default name stays.
void set_exception_list_name(SettingsState &s, const char *name) {
    if (*name == '"') ++name;
    std::size_t n = std::strlen(name);
    if (n > 0 && name[n - 1] == '"') --n;
    if (n == 0) return;
    if (n > sizeof s.excname - 1) n = sizeof s.excname - 1;
    std::memcpy(s.excname, name, n);
    s.excname[n] = '\0';
}

int parse_p(SettingsState &s, const char *rest) {
    if (*rest == '\0') return 0x40;
    if (starts_with(rest, "ICTURE=")) {
        set_tracked_text(s.BifPictLabel, rest + 7);
        return 0;
    }
    if (upper(*rest) == 'C') return 0x28;
    if (upper(*rest) == 'E') {
        if (rest[1] == '=') set_exception_list_name(s, rest + 2);
        return 8;
    }
    if (starts_with(rest, "ID=")) s.display_pid = std::atoi(rest + 3);
    return 0;
}

int parse_r(SettingsState &s, const char *rest) {
    if (starts_with(rest, "L=")) {
        set_tracked_text(s.VOXRefListFileName, rest + 2);
        return 0;
    }
    if (upper(*rest) == 'F') {
        if (rest[1] == '=') set_tracked_text(s.VOXRefFixBaseFileName, rest + 2);
        s.VOXReferencedFileNameFix = 1;
        return 0;
    }
    if (starts_with(rest, "UL")) {
        if (const char *name = after_first_equals(rest)) set_tracked_text(s.RulesFileName, name);
        return 0;
    }
    copy_fixed(s.range, sizeof s.range, rest);
    return 0x100;
}

void parse_s(SettingsState &s, const char *rest) {
    if (starts_with(rest, "ET") && rest[2] && upper(rest[3]) == 'P') {
        for (const char *p = rest + 4; (p = std::strchr(p, '=')) != nullptr; ++p)
            if (upper(p[1]) == 'A') {
                s.DefSettings[1] = 2;
                break;
            }
        return;
    }
    if (std::strlen(rest) < 2) return;
    set_tracked_text(s.SortCriteria, rest);
    s.SortOption = 1;
    s.LastParse = 2;
}

void parse_x(SettingsState &s, const char *rest) {
    if (std::strlen(rest) < 3) return;
    set_tracked_text(s.ExtractCriteria, rest);
    s.ExtractOption = 1;
    s.LastParse = 1;
}

int parse_t(SettingsState &s, const char *rest) {
    if (*rest == '=') copy_fixed(s.icfname, sizeof s.icfname, rest + 1);
    else if (upper(*rest) == 'W') return 0x1000;
    return 0;
}

// One option: letter selects it, rest is its argument.
int parse_option(SettingsState &s, int letter, const char *rest) {
    switch (letter) {
        case 'A': return 0x4000;
        case 'B': return parse_b(s, rest);
        case 'C': return parse_c(s, rest);
        case 'D':
            if (upper(*rest) == 'T') s.DeleteICFFile = 0;
            return 0;
        case 'E': parse_e(s, rest); return 0;
        case 'F': s.VOXDefinitionFile = rest; return 0;
        case 'G': parse_graphics_option(s, rest); return 0;
        case 'I': return parse_i(s, rest);
        case 'L':
        case 'W': s.BFBModeFlag = 0; return 0;
        case 'M':
            if (upper(*rest) == 'Z') copy_fixed(s.opt_margin_string, sizeof s.opt_margin_string, rest + 1);
            return 0;
        case 'N':
            if (upper(*rest) != 'R') return 0x80;
            copy_fixed(s.range, sizeof s.range, rest + 1);
            return 0x200;
        case 'O': return parse_o(s, rest);
        case 'P': return parse_p(s, rest);
        case 'Q': s.IPCMsgQueueID = std::atoi(rest); return 0;
        case 'R': return parse_r(s, rest);
        case 'S': parse_s(s, rest); return 0;
        case 'T': return parse_t(s, rest);
        case 'V': {
            constexpr std::size_t kVersionChars = 29;
            copy_fixed(s.ver_lvl, kVersionChars + 1, rest);
            return 0;
        }
        case 'X': parse_x(s, rest); return 0;
        case 'Z':
            ShowSourceControl();
            VOXexit(0);
        default: return 0;
    }
}

// A definition file named on a configuration line would point into the line
// buffer, which is gone once the file is parsed: keep its text here.
void keep_definition_file_text(SettingsState &s, const char *line, std::size_t line_size) {
    const char *d = s.VOXDefinitionFile;
    if (!d || d < line || d >= line + line_size) return;
    copy_fixed(s.definition_file_copy, sizeof s.definition_file_copy, d);
    s.VOXDefinitionFile = s.definition_file_copy;
}

// A configuration file's text, owned for the time of its parse.
class ConfigurationText {
  public:
    explicit ConfigurationText(const char *file_name) { text_ = read_whole(file_name); }
    ~ConfigurationText() { VOXfree(text_); }
    ConfigurationText(const ConfigurationText &) = delete;
    ConfigurationText &operator=(const ConfigurationText &) = delete;
    const char *text() const { return text_; }

  private:
    // The file's bytes up to the first Ctrl-Z, followed by CR LF NUL; null
    // when the file cannot be sized, opened or fully read.
    static char *read_whole(const char *file_name) {
        long size = GETSIZE(file_name);
        if (size < 0) return nullptr;
        auto *text = static_cast<char *>(VOXmalloc(static_cast<std::size_t>(size) + 10));
        if (!text) return nullptr;
        int handle = VOXopen(file_name, 1, 0);
        if (handle < 0) {
            VOXfree(text);
            return nullptr;
        }
        long got = read_all(handle, text, size);
        VOXclose(handle);
        if (got != size) {
            VOXfree(text);
            return nullptr;
        }
        auto *end = static_cast<char *>(std::memchr(text, 26, static_cast<std::size_t>(size)));
        if (!end) end = text + size;
        std::memcpy(end, "\r\n", 3);
        return text;
    }

    static long read_all(int handle, char *buffer, long size) {
        constexpr long kChunk = 1L << 20;
        long done = 0;
        while (done < size) {
            long want = size - done < kChunk ? size - done : kChunk;
            int n = VOXread(handle, buffer + done, static_cast<unsigned>(want));
            if (n <= 0) break;
            done += n;
        }
        return done;
    }

    char *text_ = nullptr;
};

// Counts one more nested configuration file for the time of its parse.
class ConfigurationDepth {
  public:
    explicit ConfigurationDepth(int &depth) : depth_(depth) { ++depth_; }
    ~ConfigurationDepth() { --depth_; }
    ConfigurationDepth(const ConfigurationDepth &) = delete;
    ConfigurationDepth &operator=(const ConfigurationDepth &) = delete;

  private:
    int &depth_;
};

int parse_configuration_lines(SettingsState &s, const char *text) {
    while (*text == ' ') ++text;
    char line[kConfigLineMax + 1];
    int bits = 0;
    while (*text) {
        text = CopyConfigurationOption(text, line);
        if (!line[0]) continue;
        bits |= CmdParseLine(line);
        keep_definition_file_text(s, line, sizeof line);
    }
    return bits;
}

bool is_separator(char c) { return c == '\\' || c == '/' || c == ':'; }

// The part after the last separator.
const char *base_name(const char *path) {
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (is_separator(*p)) base = p + 1;
    return base;
}

// Writes the directory under which references are recorded into out.
void write_reference_directory(const SettingsState &s, const char *source, char *out) {
    out[0] = '\0';
    if (const char *dir = s.VOXRefFixBaseFileName) {
        std::strcpy(out, dir);
        std::size_t n = std::strlen(out);
        if (n > 0 && !is_separator(out[n - 1])) std::strcpy(out + n, "\\");
    } else if (source) {
        std::size_t n = static_cast<std::size_t>(base_name(source) - source);
        std::memcpy(out, source, n);
        out[n] = '\0';
    }
}

const char *reference_kind_word(int kind) {
    static const char *const kWords[] = {"ole", "graphic", "stylesheet", "text",
                                         "spreadsheet", "formatting", "footnote", "dependent"};
    return kind >= 1 && kind <= 8 ? kWords[kind - 1] : "?";
}

}  // namespace
}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int options(int count, const char *const *arguments) {
    VOXInititialization();
    SettingsState &s = settings();
    s.DefSettings[0] = s.DefSettings[1] = 0;
    s.ARG0_BasePath = arguments[-2];
    s.FirstParameterFileName = arguments[-1];
    const char *first = s.FirstParameterFileName;
    if (first && (first[0] == '-' || first[0] == '/') && upper(first[1]) == 'C' && first[2] == '=') {
        ++count;
        --arguments;
    }
    s.optflags = 1;
    for (int i = 0; i < count; ++i) s.optflags |= CmdParseLine(arguments[i]);
    VOXOSInitialize();
    return 0;
}

VOX_API int CmdParseLine(const char *text) {
    SettingsState &s = settings();
    while (*text == ' ') ++text;
    if (*text == '-' || *text == '/') {
        ++text;
    } else if (s.LastParse != 0) {
        // A bare text right after S or X continues its criteria; elsewhere
        // (configuration lines) the dash is optional.
        if (*text) append_criteria(s.LastParse == 1 ? s.ExtractCriteria : s.SortCriteria, text);
        return 0;
    }
    s.LastParse = 0;
    if (*text == '\0') return 0;
    return parse_option(s, upper(*text), text + 1);
}

VOX_API int LoadConfiguration(const char *file_name) {
    SettingsState &s = settings();
    if (s.config_depth >= kMaxConfigDepth) return 0;
    ConfigurationText file(file_name);
    if (!file.text()) return 0;
    ConfigurationDepth nested(s.config_depth);
    return parse_configuration_lines(s, file.text());
}

VOX_API const char *CopyConfigurationOption(const char *text, char *line) {
    int n = 0;
    for (; *text && *text != '\r' && *text != '\n'; ++text)
        if (n < kConfigLineMax) line[n++] = *text;  // the rest of an overlong line is dropped
    line[n] = '\0';
    while (*text == '\r' || *text == '\n') ++text;
    return text;
}

VOX_API int LoadCommandNameValue(const char *text) {
    SettingsState &s = settings();
    if (s.voxCmdCount == 0)
        for (int i = 0; i < kCmdSlots; ++i) s.voxCmdName[i] = s.voxCmdValue[i] = nullptr;
    if (s.voxCmdCount >= kCmdSlots) return -1;
    const char *eq = std::strchr(text, '=');
    std::size_t name_len = eq ? static_cast<std::size_t>(eq - text) : std::strlen(text);
    const char *value = eq ? eq + 1 : "";
    std::size_t value_len = std::strcspn(value, "=");
    auto *name_copy = static_cast<char *>(VOXmalloc(name_len + 1));
    auto *value_copy = static_cast<char *>(VOXmalloc(value_len + 1));
    if (!name_copy || !value_copy) {
        VOXfree(name_copy);
        VOXfree(value_copy);
        return -1;
    }
    std::memcpy(name_copy, text, name_len);  // the blocks come cleared: NUL-ended
    std::memcpy(value_copy, value, value_len);
    s.voxCmdName[s.voxCmdCount] = name_copy;
    s.voxCmdValue[s.voxCmdCount] = value_copy;
    ++s.voxCmdCount;
    return 0;
}

VOX_API int voxGetCmdLineOption(const char *name, char *value_out) {
    const SettingsState &s = settings();
    for (int i = 0; i < s.voxCmdCount && i < kCmdSlots; ++i)
        if (s.voxCmdName[i] && stricmp(s.voxCmdName[i], name) == 0) {
            std::strcpy(value_out, s.voxCmdValue[i]);
            return 1;
        }
    return 0;
}

VOX_API int VOXRefListAddName(const char *name, int kind) {
    const char *list = settings().VOXRefListFileName;
    if (!list) return -1;
    int handle = VOXopen(list, 4, 0);
    if (handle < 0) return -1;
    VOXwrite(handle, name, static_cast<unsigned>(std::strlen(name) + 1));
    if (kind != 0) {
        const char *word = reference_kind_word(kind);
        VOXwrite(handle, word, static_cast<unsigned>(std::strlen(word)));
    }
    VOXwrite(handle, "\r\n", 2);
    VOXclose(handle);
    return 0;
}

VOX_API int FixReferenceFileName(const char *source, const char *reference, char *out) {
    const SettingsState &s = settings();
    if (s.VOXReferencedFileNameFix == 0) {
        std::strcpy(out, reference);
        return 0;
    }
    write_reference_directory(s, source, out);
    std::strcat(out, base_name(reference));
    return 0;
}

VOX_API int *GetDefSettings(void) { return settings().DefSettings; }

VOX_API const char *GetARG0_BasePath(void) { return settings().ARG0_BasePath; }
}
