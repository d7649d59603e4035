// The recogniser's entry points, the tester battery and the small helpers
// every tester uses.
#include <cstring>

#include "autorec/autorec.h"
#include "common/file_access.h"
#include "common/kernel_state.h"
#include "common/memory.h"

namespace vox {

const unsigned char Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
const unsigned char WordDoc[24] = {'W', 0, 'o', 0, 'r', 0, 'd', 0, 'D', 0, 'o', 0,
                                   'c', 0, 'u', 0, 'm', 0, 'e', 0, 'n', 0, 't', 0};

namespace {

// The battery, in the order it runs.  The first tester that names a format
// wins, so a specific signature must come before a looser one that could
// also claim it; the text statistics come last and always answer.  The
// expected-format column names the caller's expected formats for which the
// row runs first (format 4 runs two rows, in table order).
const BatteryRow kBattery[] = {
    {1, "auto_tst_rft", auto_tst_rft, {15, 0}},
    {2, "auto_tst_wp5", auto_tst_wp5, {7, 0}},
    {3, "auto_tst_mm", auto_tst_mm, {10, 0}},
    {4, "auto_tst_msw", auto_tst_msw, {5, 0}},
    {5, "auto_tst_ow", auto_tst_ow, {16, 0}},
    {6, "auto_tst_qaw", auto_tst_qaw, {23, 0}},
    {7, "auto_tst_en", auto_tst_en, {28, 0}},
    {8, "auto_tst_pfs", auto_tst_pfs, {8, 0}},
    {9, "auto_tst_fcdb", auto_tst_fcdb, {708, 0}},
    {10, "auto_tst_ws2", auto_tst_ws2, {9, 0}},
    {11, "auto_tst_dx", auto_tst_dx, {30, 0}},
    {12, "auto_tst_ibm", auto_tst_ibm, {13, 0}},
    {13, "auto_tst_rtf", auto_tst_rtf, {19, 0}},
    {14, "auto_tst_WinWord", auto_tst_WinWord, {44, 0}},
    {15, "auto_tst_ami", auto_tst_ami, {33, 0}},
    {16, "auto_tst_wks", auto_tst_wks, {20, 0}},
    {17, "auto_tst_xls", auto_tst_xls, {21, 0}},
    {18, "auto_tst_fw3", auto_tst_fw3, {29, 0}},
    {19, "auto_tst_rf", auto_tst_rf, {25, 0}},
    {20, "auto_tst_wang", auto_tst_wang, {26, 0}},
    {21, "auto_tst_sma", auto_tst_sma, {22, 0}},
    {22, "auto_tst_lm", auto_tst_lm, {24, 0}},
    {23, "auto_tst_fft", auto_tst_fft, {32, 0}},
    {24, "auto_tst_mwm", auto_tst_mwm, {53, 54}},
    {25, "auto_tst_mcw", auto_tst_mcw, {51, 0}},
    {26, "auto_tst_mcw2", auto_tst_mcw2, {52, 0}},
    {27, "auto_tst_mcwpro", auto_tst_mcwpro, {56, 0}},
    {28, "auto_tst_clworks", auto_tst_clworks, {57, 0}},
    {29, "auto_tst_fwp", auto_tst_fwp, {55, 0}},
    {30, "auto_tst_ilf", auto_tst_ilf, {35, 0}},
    {31, "auto_tst_mwp2", auto_tst_mwp2, {60, 0}},
    {32, "auto_tst_com", auto_tst_com, {3, 0}},
    {33, "auto_tst_dif", auto_tst_dif, {18, 0}},
    {34, "auto_tst_db", auto_tst_db, {770, 0}},
    {35, "auto_tst_pdx", auto_tst_pdx, {703, 0}},
    {36, "auto_tst_access", auto_tst_access, {771, 0}},
    {37, "auto_tst_ws5", auto_tst_ws5, {4, 0}},
    {38, "auto_tst_leg", auto_tst_leg, {37, 0}},
    {39, "auto_tst_zem", auto_tst_zem, {42, 0}},
    {40, "auto_tst_mdi", auto_tst_mdi, {103, 0}},
    {41, "auto_tst_op", auto_tst_op, {102, 0}},
    {42, "auto_tst_wordpro", auto_tst_wordpro, {111, 0}},
    {43, "auto_tst_quattro", auto_tst_quattro, {0, 0}},
    {44, "auto_tst_crystal", auto_tst_crystal, {105, 0}},
    {45, "auto_tst_wpl", auto_tst_wpl, {45, 0}},
    {46, "auto_tst_vw", auto_tst_vw, {14, 0}},
    {47, "auto_tst_wmf", auto_tst_wmf, {0, 0}},
    {48, "auto_tst_os2met", auto_tst_os2met, {0, 0}},
    {49, "auto_tst_krb", auto_tst_krb, {0, 0}},
    {50, "auto_tst_tiff", auto_tst_tiff, {0, 0}},
    {51, "auto_tst_gif", auto_tst_gif, {0, 0}},
    {52, "auto_tst_iges", auto_tst_iges, {0, 0}},
    {53, "auto_tst_dxf", auto_tst_dxf, {0, 0}},
    {54, "auto_tst_wn", auto_tst_wn, {0, 0}},
    {55, "auto_tst_wita", auto_tst_wita, {0, 0}},
    {56, "auto_tst_wizi", auto_tst_wizi, {0, 0}},
    {57, "auto_tst_pdf", auto_tst_pdf, {0, 0}},
    {58, "auto_tst_jpeg", auto_tst_jpeg, {0, 0}},
    {59, "auto_tst_corel", auto_tst_corel, {0, 0}},
    {60, "auto_tst_mgx", auto_tst_mgx, {0, 0}},
    {61, "auto_tst_rgip", auto_tst_rgip, {0, 0}},
    {62, "auto_tst_sdw", auto_tst_sdw, {0, 0}},
    {63, "auto_tst_bmp", auto_tst_bmp, {0, 0}},
    {64, "auto_tst_xpm", auto_tst_xpm, {0, 0}},
    {65, "auto_tst_pict", auto_tst_pict, {0, 0}},
    {66, "auto_tst_sunras", auto_tst_sunras, {0, 0}},
    {67, "auto_tst_eps", auto_tst_eps, {0, 0}},
    {68, "auto_tst_pic", auto_tst_pic, {0, 0}},
    {69, "auto_tst_WinWord6", auto_tst_WinWord6, {0, 0}},
    {70, "auto_tst_xls5", auto_tst_xls5, {0, 0}},
    {71, "auto_tst_html", auto_tst_html, {0, 0}},
    {72, "auto_tst_formflow", auto_tst_formflow, {0, 0}},
    {73, "auto_tst_plx", auto_tst_plx, {0, 0}},
    {74, "auto_tst_png", auto_tst_png, {0, 0}},
    {75, "auto_tst_mas", auto_tst_mas, {31, 0}},
    {76, "auto_tst_works", auto_tst_works, {0, 0}},
    {77, "auto_tst_works3", auto_tst_works3, {0, 0}},
    {78, "auto_tst_msp", auto_tst_msp, {0, 0}},
    {79, "auto_tst_dcx", auto_tst_dcx, {0, 0}},
    {80, "auto_tst_pcx", auto_tst_pcx, {0, 0}},
    {81, "auto_tst_winclp", auto_tst_winclp, {0, 0}},
    {82, "auto_tst_winicon", auto_tst_winicon, {0, 0}},
    {83, "auto_tst_power", auto_tst_power, {0, 0}},
    {84, "auto_tst_ppt", auto_tst_ppt, {0, 0}},
    {85, "auto_tst_freelance", auto_tst_freelance, {0, 0}},
    {86, "auto_tst_wizidraw", auto_tst_wizidraw, {0, 0}},
    {87, "auto_tst_WPGNoHdr", auto_tst_WPGNoHdr, {0, 0}},
    {88, "auto_tst_misc", auto_tst_misc, {0, 0}},
    {89, "auto_tst_def", auto_tst_def, {36, 0}},
    {90, "auto_tst_xyw", auto_tst_xyw, {17, 0}},
    {91, "auto_tst_uniplex", auto_tst_uniplex, {101, 0}},
    {92, "auto_tst_ceo", auto_tst_ceo, {104, 0}},
    {93, "auto_tst_cgm", auto_tst_cgm, {0, 0}},
    {94, "auto_tst_wp4", auto_tst_wp4, {6, 0}},
    {95, "auto_tst_ws", auto_tst_ws, {4, 0}},
    {96, "auto_tst_wpm1", auto_tst_wpm1, {0, 0}},
    {97, "auto_tst_ptx", auto_tst_ptx, {27, 0}},
    {98, "auto_tst_hpgl", auto_tst_hpgl, {0, 0}},
    {99, "auto_tst_hvdgrph", auto_tst_hvdgrph, {0, 0}},
    {100, "auto_tst_mac", auto_tst_mac, {0, 0}},
    {101, "auto_tst_zip", auto_tst_zip, {0, 0}},
    {102, "auto_tst_asc", auto_tst_asc, {1, 0}},
};
constexpr int kBatteryCount = sizeof(kBattery) / sizeof(kBattery[0]);

// Runs one tester with a clean version, so a tester that gives up half-way
// leaves no version behind.
int run_tester(RecognizerState &st, Tester test) {
    st.ver = 0;
    int format = test(st);
    if (format == 0) st.ver = 0;
    return format;
}

bool row_expects(const BatteryRow &row, int expected) {
    return row.expected[0] == expected || row.expected[1] == expected;
}

// The testers for the caller's expected format, flagged through MinorVal.
int run_expected_testers(RecognizerState &st, int expected) {
    int format = 0;
    st.MinorVal = 1;
    for (int i = 0; i < kBatteryCount && format == 0; ++i)
        if (row_expects(kBattery[i], expected)) format = run_tester(st, kBattery[i].test);
    st.MinorVal = 0;
    return format;
}

int run_battery(RecognizerState &st) {
    for (int i = 0; i < kBatteryCount - 1; ++i) {
        int format = run_tester(st, kBattery[i].test);
        if (format != 0) return format;
    }
    return run_tester(st, kBattery[kBatteryCount - 1].test);
}

void remember_name(RecognizerState &st, const char *file_name) {
    std::strncpy(st.name, file_name ? file_name : "", sizeof st.name - 1);
    st.name[sizeof st.name - 1] = '\0';
}

// Reads up to `count` bytes, retrying short reads, through the file layer.
int read_up_to(int handle, unsigned char *buffer, int count, int (*read_fn)(int, void *, unsigned)) {
    int total = 0;
    while (total < count) {
        int got = read_fn(handle, buffer + total, static_cast<unsigned>(count - total));
        if (got <= 0) break;
        total += got;
    }
    return total;
}

int vox_read(int handle, void *buffer, unsigned count) { return VOXread(handle, buffer, count); }

// The caller's table: open, one read of up to a block, close.
int read_block_through_io(const AutoRecIO &io, const char *file_name, unsigned char *block) {
    int handle = io.open ? io.open(file_name, 1, 1) : -1;
    if (handle < 0) return kAutoRecOpenFailed;
    int got = io.read ? io.read(handle, block, kAutoRecBlockSize) : 0;
    if (got > kAutoRecBlockSize) got = kAutoRecBlockSize;
    if (io.close) io.close(handle);
    return got > 0 ? got : kAutoRecNothingRead;
}

// The file system: open, read one block, probe a compound file, close.
// Returns the byte count (or a negative result) and the probe's format.
int read_block_and_probe(RecognizerState &st, const char *file_name, unsigned char *block, int *ole_format) {
    *ole_format = 0;
    st.f_num = VOXopen(file_name, 1, 1);
    if (st.f_num < 0) return kAutoRecOpenFailed;
    st.CurFH = st.f_num;
    int got = read_up_to(st.f_num, block, kAutoRecBlockSize, vox_read);
    if (got > 0) *ole_format = auto_OLE2Formats(block, got, AutoSeek, AutoRead);
    VOXclose(st.f_num);
    st.f_num = st.CurFH = -1;
    return got > 0 ? got : kAutoRecNothingRead;
}

}  // namespace

const BatteryRow *battery_rows(int *count) {
    *count = kBatteryCount;
    return kBattery;
}

bool has_bytes(const RecognizerState &st, int count) { return st.len >= count; }

bool bytes_at(const RecognizerState &st, int offset, const void *text, int count) {
    return offset >= 0 && st.len >= offset + count && std::memcmp(st.bufr + offset, text, count) == 0;
}

bool text_at(const RecognizerState &st, int offset, const char *text) {
    return bytes_at(st, offset, text, static_cast<int>(std::strlen(text)));
}

unsigned le16(const unsigned char *p) { return p[0] | static_cast<unsigned>(p[1]) << 8; }
unsigned be16(const unsigned char *p) { return static_cast<unsigned>(p[0]) << 8 | p[1]; }

int find_directory_entry(const RecognizerState &st, const char *ascii, bool prefix) {
    const int n = static_cast<int>(std::strlen(ascii));
    for (int at = 512; at + 128 <= st.len; at += 128) {
        const unsigned char *entry = st.bufr + at;
        bool same = true;
        for (int i = 0; i < n && same; ++i)
            same = entry[2 * i] == static_cast<unsigned char>(ascii[i]) && entry[2 * i + 1] == 0;
        if (!same) continue;
        // The name length at 64 counts the terminating NUL, in bytes.
        unsigned name_bytes = le16(entry + 64);
        if (prefix ? (name_bytes >= 2u * (n + 1) && name_bytes <= 64) : name_bytes == 2u * (n + 1))
            return at;
    }
    return -1;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int auto_chk_mtch(const unsigned char *a, const unsigned char *b, int n) {
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return -1;
    return 0;
}

VOX_API int autoToLower(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

VOX_API int autoChkMatchI(const unsigned char *a, const unsigned char *b, int n) {
    for (int i = 0; i < n; ++i)
        if (autoToLower(a[i]) != autoToLower(b[i])) return -1;
    return 0;
}

VOX_API int AutoStrCmpIC(const unsigned char *entry_name, const char *text) {
    int i = 0;
    for (; text[i]; ++i) {
        if (i >= 32) return 1;
        if (entry_name[2 * i] != static_cast<unsigned char>(text[i]) || entry_name[2 * i + 1] != 0) return 1;
    }
    // Same length: the entry's name ends here (32 UTF-16 units at most).
    if (i < 32 && (entry_name[2 * i] != 0 || entry_name[2 * i + 1] != 0)) return 1;
    return 0;
}

VOX_API std::int32_t AutoPtrInt32(const unsigned char *p) {
    return static_cast<std::int32_t>(p[0] | static_cast<std::uint32_t>(p[1]) << 8 |
                                     static_cast<std::uint32_t>(p[2]) << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

VOX_API int AutoRead(unsigned char *buffer, int count) {
    if (count <= 0) return 0;
    return read_up_to(kernel().autorec.CurFH, buffer, count, vox_read);
}

VOX_API int AutoSeek(long offset) {
    return VOXlseek(kernel().autorec.CurFH, offset, 0) == offset ? 0 : -1;
}

VOX_API int AutoRecFindFormat(int expected) {
    RecognizerState &st = kernel().autorec;
    if (expected != 0) {
        int format = run_expected_testers(st, expected);
        if (format != 0) return format;
    }
    return run_battery(st);
}

VOX_API int AutoRecBlock(const unsigned char *block, int length, int expected, int *version_out) {
    RecognizerState &st = kernel().autorec;
    st.MinorVal = 0;
    st.ver = 0;
    if (length < 0) length = 0;
    int size = length > kAutoRecMinBuffer ? length : kAutoRecMinBuffer;
    st.bufr = static_cast<unsigned char *>(VOXmalloc(static_cast<std::size_t>(size)));
    if (!st.bufr) {
        if (version_out) *version_out = 0;
        return kAutoRecNoMemory;
    }
    if (length > 0) std::memcpy(st.bufr, block, static_cast<std::size_t>(length));
    std::memset(st.bufr + length, 0, static_cast<std::size_t>(size - length));
    st.len = length;
    int format = AutoRecFindFormat(expected);
    if (version_out) *version_out = format != 0 ? st.ver : 0;
    VOXfree(st.bufr);
    st.bufr = nullptr;
    st.len = 0;
    return format;
}

VOX_API int AutoRecFile(const char *file_name, int expected, int *version_out, const AutoRecIO *io) {
    RecognizerState &st = kernel().autorec;
    remember_name(st, file_name);
    if (version_out) *version_out = 0;
    auto *block = static_cast<unsigned char *>(VOXmalloc(kAutoRecBlockSize));
    if (!block) return kAutoRecNoMemory;
    int ole_format = 0;
    int got = io ? read_block_through_io(*io, file_name, block) : read_block_and_probe(st, file_name, block, &ole_format);
    int format;
    if (got < 0)
        format = got;
    else if (ole_format != 0) {
        format = ole_format;
        if (version_out) *version_out = st.ver;
    } else
        format = AutoRecBlock(block, got, expected, version_out);
    VOXfree(block);
    return format;
}

VOX_API int AutoRecExp(const char *file_name, int expected, int *version_out) {
    return AutoRecFile(file_name, expected, version_out, nullptr);
}

VOX_API int autorec(const char *file_name, int *version_out) {
    return AutoRecFile(file_name, 0, version_out, nullptr);
}

}  // extern "C"
