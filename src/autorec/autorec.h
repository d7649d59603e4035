// Format recognition: names the format of a file from its first 4096 bytes
// as a format number (the number of the family converter that reads it)
// and a version.
//
// A compound document (OLE2 structured storage) is first probed by walking
// its directory (ole2_probe.cpp).  Everything else goes through a fixed,
// ordered battery of small testers (recognizer.cpp holds the table), each
// of which looks at the same block and either names its format or passes.
// The last tester, the text statistics, always answers.
//
// Source files:
//   recognizer.cpp         entry points, the battery table, expected-format runs
//   ole2_probe.cpp         the compound-file directory walk
//   testers_documents.cpp  word processors, spreadsheets, databases
//   testers_graphics.cpp   pictures, drawings, archives
//   testers_scanning.cpp   testers that scan the whole block (dot commands,
//                          bracketed codes, plotter commands, the CGM walk)
//   wordperfect_checks.cpp the WordPerfect testers, merge check, 4.x heuristic
//   text_statistics.cpp    the plain-text tester
#pragma once

#include <cstdint>

#include "common/api.h"

namespace vox {

// Recognition results other than a format number.
constexpr int kAutoRecNotRecognised = 0;
constexpr int kAutoRecOpenFailed = -1;
constexpr int kAutoRecNothingRead = -2;
constexpr int kAutoRecNoMemory = -3;

constexpr int kAutoRecBlockSize = 4096;  // bytes read from a file
constexpr int kAutoRecMinBuffer = 4000;  // bufr is never smaller

struct RecognizerState {
    char name[1024] = {};             // copy of the file name (truncated)
    unsigned char *bufr = nullptr;    // the block under test, zero-padded
    std::int32_t len = 0;             // valid bytes in bufr
    std::int32_t ver = 0;             // version set by the tester that matched
    std::int32_t MinorVal = 0;        // 1 while the expected-format tester runs
    int f_num = -1;                   // the open file
    int CurFH = -1;                   // the file the compound-file probe reads
};

// The compound-file signature and the UTF-16LE name "WordDocument".
extern const unsigned char Signature[8];
extern const unsigned char WordDoc[24];

// One entry of the WordPerfect 4.x function-code list.
struct WpCode {
    unsigned char code;
    unsigned char length;   // distance to the repeated code byte
    unsigned char version;  // 9 marks codes of other formats
};
constexpr int kWpCodeCount = 23;
extern const WpCode wp_lst[kWpCodeCount];

// A tester looks at st.bufr / st.len and returns 0 or its format number,
// setting st.ver on a match.
using Tester = int (*)(RecognizerState &st);

// One row of the battery: its place, the tester, and the expected formats
// (up to two, 0 for none) for which it runs first.
struct BatteryRow {
    int number;
    const char *name;
    Tester test;
    int expected[2];
};

// The battery in the order it runs.
const BatteryRow *battery_rows(int *count);

// Reads and seeks of the compound-file probe.
using OleSeekFn = int (*)(long offset);
using OleReadFn = int (*)(unsigned char *buffer, int count);

// The FAT access state of the compound-file probe.
struct AutoFATState {
    unsigned char sector[512];
    std::int32_t held = -1;       // FAT sector index in `sector`, -1 none
    std::int32_t fat_sectors = 0; // header offset 44
    OleSeekFn seek = nullptr;
    OleReadFn read = nullptr;
};

int auto_OLE2Formats(const unsigned char *block, int length, OleSeekFn seek, OleReadFn read);
std::int32_t AutoFAT_LookupBlock(AutoFATState &state, std::int32_t block, const std::int32_t *fat_list);

// Block helpers shared by the testers.
bool has_bytes(const RecognizerState &st, int count);
bool bytes_at(const RecognizerState &st, int offset, const void *text, int count);
bool text_at(const RecognizerState &st, int offset, const char *text);
unsigned le16(const unsigned char *p);
unsigned be16(const unsigned char *p);
// Finds a 128-byte compound-file directory entry named `ascii` at a
// 128-byte boundary from offset 512 on; with `prefix` the entry's name only
// has to begin with it.  Returns its offset or -1.
int find_directory_entry(const RecognizerState &st, const char *ascii, bool prefix);

// Word processors, spreadsheets and databases.
int auto_tst_rft(RecognizerState &st);
int auto_tst_mm(RecognizerState &st);
int auto_tst_msw(RecognizerState &st);
int auto_tst_ow(RecognizerState &st);
int auto_tst_qaw(RecognizerState &st);
int auto_tst_en(RecognizerState &st);
int auto_tst_pfs(RecognizerState &st);
int auto_tst_fcdb(RecognizerState &st);
int auto_tst_ws2(RecognizerState &st);
int auto_tst_dx(RecognizerState &st);
int auto_tst_ibm(RecognizerState &st);
int auto_tst_rtf(RecognizerState &st);
int auto_tst_WinWord(RecognizerState &st);
int auto_tst_ami(RecognizerState &st);
int auto_tst_wks(RecognizerState &st);
int auto_tst_xls(RecognizerState &st);
int auto_tst_fw3(RecognizerState &st);
int auto_tst_rf(RecognizerState &st);
int auto_tst_wang(RecognizerState &st);
int auto_tst_sma(RecognizerState &st);
int auto_tst_lm(RecognizerState &st);
int auto_tst_fft(RecognizerState &st);
int auto_tst_mwm(RecognizerState &st);
int auto_tst_mcw(RecognizerState &st);
int auto_tst_mcw2(RecognizerState &st);
int auto_tst_mcwpro(RecognizerState &st);
int auto_tst_clworks(RecognizerState &st);
int auto_tst_fwp(RecognizerState &st);
int auto_tst_ilf(RecognizerState &st);
int auto_tst_com(RecognizerState &st);
int auto_tst_db(RecognizerState &st);
int auto_tst_pdx(RecognizerState &st);
int auto_tst_access(RecognizerState &st);
int auto_tst_ws5(RecognizerState &st);
int auto_tst_leg(RecognizerState &st);
int auto_tst_zem(RecognizerState &st);
int auto_tst_mdi(RecognizerState &st);
int auto_tst_op(RecognizerState &st);
int auto_tst_wordpro(RecognizerState &st);
int auto_tst_quattro(RecognizerState &st);
int auto_tst_crystal(RecognizerState &st);
int auto_tst_wpl(RecognizerState &st);
int auto_tst_wn(RecognizerState &st);
int auto_tst_wizi(RecognizerState &st);
int auto_tst_pdf(RecognizerState &st);
int auto_tst_WinWord6(RecognizerState &st);
int auto_tst_xls5(RecognizerState &st);
int auto_tst_html(RecognizerState &st);
int auto_tst_formflow(RecognizerState &st);
int auto_tst_plx(RecognizerState &st);
int auto_tst_mas(RecognizerState &st);
int auto_tst_works(RecognizerState &st);
int auto_tst_works3(RecognizerState &st);
int auto_tst_power(RecognizerState &st);
int auto_tst_ppt(RecognizerState &st);
int auto_tst_misc(RecognizerState &st);
int auto_tst_ceo(RecognizerState &st);
int auto_tst_zip(RecognizerState &st);

// Pictures and drawings.
int auto_tst_wmf(RecognizerState &st);
int auto_tst_os2met(RecognizerState &st);
int auto_tst_krb(RecognizerState &st);
int auto_tst_tiff(RecognizerState &st);
int auto_tst_gif(RecognizerState &st);
int auto_tst_jpeg(RecognizerState &st);
int auto_tst_corel(RecognizerState &st);
int auto_tst_mgx(RecognizerState &st);
int auto_tst_rgip(RecognizerState &st);
int auto_tst_sdw(RecognizerState &st);
int auto_tst_bmp(RecognizerState &st);
int auto_tst_xpm(RecognizerState &st);
int auto_tst_pict(RecognizerState &st);
int auto_tst_sunras(RecognizerState &st);
int auto_tst_eps(RecognizerState &st);
int auto_tst_pic(RecognizerState &st);
int auto_tst_png(RecognizerState &st);
int auto_tst_msp(RecognizerState &st);
int auto_tst_dcx(RecognizerState &st);
int auto_tst_pcx(RecognizerState &st);
int auto_tst_winclp(RecognizerState &st);
int auto_tst_winicon(RecognizerState &st);
int auto_tst_freelance(RecognizerState &st);
int auto_tst_wizidraw(RecognizerState &st);
int auto_tst_WPGNoHdr(RecognizerState &st);
int auto_tst_hvdgrph(RecognizerState &st);
int auto_tst_mac(RecognizerState &st);

// Testers that scan the whole block.
int auto_tst_vw(RecognizerState &st);
int auto_tst_xyw(RecognizerState &st);
int auto_tst_dif(RecognizerState &st);
int auto_tst_wita(RecognizerState &st);
int auto_tst_def(RecognizerState &st);
int auto_tst_uniplex(RecognizerState &st);
int auto_tst_ws(RecognizerState &st);
int auto_tst_wpm1(RecognizerState &st);
int auto_tst_ptx(RecognizerState &st);
int auto_tst_hpgl(RecognizerState &st);
int auto_tst_iges(RecognizerState &st);
int auto_tst_dxf(RecognizerState &st);
int auto_tst_cgm(RecognizerState &st);

// WordPerfect.
int auto_tst_wp5(RecognizerState &st);
int auto_tst_mwp2(RecognizerState &st);
int auto_tst_wp4(RecognizerState &st);
bool CheckWPMailMergeFile(const RecognizerState &st);

// Plain text.
int auto_tst_asc(RecognizerState &st);

}  // namespace vox

extern "C" {

// The caller's file functions for AutoRecFile: open(name, 1, 1),
// read(handle, buffer, 4096) and, in the fourth slot, close(handle).  The
// third slot (a writer) is never called.
typedef struct AutoRecIO {
    int (*open)(const char *name, int mode, int kind);
    int (*read)(int handle, void *buffer, unsigned count);
    int (*write)(int handle, const void *buffer, unsigned count);
    int (*close)(int handle);
} AutoRecIO;

VOX_API int autorec(const char *file_name, int *version_out);
VOX_API int AutoRecExp(const char *file_name, int expected, int *version_out);
VOX_API int AutoRecFile(const char *file_name, int expected, int *version_out, const AutoRecIO *io);
VOX_API int AutoRecBlock(const unsigned char *block, int length, int expected, int *version_out);
VOX_API int AutoRecFindFormat(int expected);
VOX_API int AutoRead(unsigned char *buffer, int count);
VOX_API int AutoSeek(long offset);
VOX_API int auto_chk_mtch(const unsigned char *a, const unsigned char *b, int n);
VOX_API int autoChkMatchI(const unsigned char *a, const unsigned char *b, int n);
VOX_API int autoToLower(int c);
VOX_API int AutoStrCmpIC(const unsigned char *entry_name, const char *text);
VOX_API std::int32_t AutoPtrInt32(const unsigned char *p);
}
