// `vox42 recognize [--expect N] FILE...`: one line per file,
//
//   FILE: FORMAT VERSION NAME
//
// with the format number and version the recogniser gives and a short
// readable name of the format.  Negative numbers are the recogniser's own
// results (-1 cannot open, -2 empty, -3 out of memory).
#include "recognize_command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The recogniser's entry points, exported by libvox42.so with C linkage.
extern "C" {
int autorec(const char *file_name, int *version_out);
int AutoRecExp(const char *file_name, int expected, int *version_out);
}

namespace {

struct FormatName {
    int format;
    const char *name;
};

const FormatName kFormatNames[] = {
    {-3, "out of memory"},
    {-2, "empty file"},
    {-1, "cannot open"},
    {0, "not recognised"},
    {1, "plain text"},
    {2, "8-bit or @-coded text"},
    {3, "intermediate code"},
    {4, "WordStar document"},
    {5, "Word for DOS document"},
    {6, "WordPerfect 4 document"},
    {7, "WordPerfect 5 document"},
    {8, "PFS document"},
    {9, "WordStar 2000 document"},
    {10, "MultiMate document"},
    {13, "DisplayWrite document"},
    {14, "Volkswriter document"},
    {15, "DCA revisable-form text"},
    {16, "OfficeWriter document"},
    {17, "XyWrite document"},
    {18, "escape-coded interchange text"},
    {19, "RTF document"},
    {20, "Lotus 1-2-3 worksheet"},
    {21, "Excel workbook"},
    {22, "Samna document"},
    {23, "Q&A Write document"},
    {24, "Manuscript document"},
    {25, "revisable-form document"},
    {26, "Wang document"},
    {27, "setup-headed document"},
    {28, "Enable document"},
    {29, "Framework document"},
    {30, "DX document"},
    {31, "Mass-11 document"},
    {32, "DCA final-form text"},
    {33, "Ami Pro document"},
    {34, "Wita document"},
    {35, "Interleaf document"},
    {36, "DEF document"},
    {37, "Legacy document"},
    {39, "Works document"},
    {42, "ZEM document"},
    {43, "Windows Write document"},
    {44, "Word for Windows 1/2 document"},
    {45, "WordPerfect Library file"},
    {46, "Interleaf document (later release)"},
    {47, "WiziWord document"},
    {48, "WordPerfect 6 document"},
    {49, "Word for Windows document"},
    {51, "MacWrite document"},
    {52, "MacWrite II document"},
    {54, "Word for Macintosh document"},
    {55, "FullWrite document"},
    {56, "MacWrite Pro document"},
    {57, "ClarisWorks document"},
    {58, "Works 4 document"},
    {59, "WordPerfect Macintosh 1 document"},
    {60, "WordPerfect Macintosh 2/3 document"},
    {62, "WriteNow document"},
    {101, "Uniplex document"},
    {102, "OfficePower document"},
    {103, "MDI document"},
    {104, "CEOwrite document"},
    {105, "Crystal report"},
    {107, "PDF document"},
    {108, "HTML document"},
    {111, "Word Pro document"},
    {112, "Leafcraft document"},
    {201, "PLX file"},
    {501, "PCX/DCX image"},
    {502, "TIFF image"},
    {503, "PostScript/EPS"},
    {504, "PNG image"},
    {507, "Paint image"},
    {508, "MacPaint image"},
    {512, "GIF image"},
    {513, "BMP image"},
    {517, "Windows icon"},
    {520, "CorelDRAW drawing"},
    {521, "JPEG image"},
    {522, "Sun raster image"},
    {524, "XPM image"},
    {600, "KRB drawing"},
    {601, "PIC drawing"},
    {602, "PICT picture"},
    {603, "CGM metafile"},
    {604, "HPGL plot"},
    {605, "Windows clipboard"},
    {606, "WPG graphic"},
    {607, "IGES drawing"},
    {608, "DXF drawing"},
    {609, "Micrografx drawing"},
    {610, "Windows metafile"},
    {613, "RGIP metafile"},
    {614, "SM drawing"},
    {615, "WPG 2 graphic"},
    {616, "Interpress"},
    {617, "draw file"},
    {618, "Freelance graphic"},
    {619, "PowerPoint 4 presentation"},
    {620, "Harvard Graphics chart"},
    {623, "OS/2 metafile"},
    {624, "FormFlow form"},
    {627, "PowerPoint presentation"},
    {628, "CorelDRAW 6 drawing"},
    {703, "Paradox table"},
    {707, "WordPerfect merge file"},
    {708, "GERBILDB database"},
    {770, "dBASE table"},
    {771, "Access database"},
    {801, "Quattro Pro spreadsheet"},
    {940, "ZIP archive"},
    {950, "Windows help file"},
};

void print_usage(std::FILE *out) {
    std::fputs("usage: vox42 recognize [--expect N] FILE...\n", out);
}

}  // namespace

const char *recognized_format_name(int format) {
    for (const FormatName &f : kFormatNames)
        if (f.format == format) return f.name;
    return "unnamed format";
}

int run_recognize(int argc, char **argv) {
    int expected = 0;
    int first = 0;
    if (first < argc && std::strcmp(argv[first], "--expect") == 0) {
        if (first + 1 >= argc) {
            print_usage(stderr);
            return 2;
        }
        char *end = nullptr;
        expected = static_cast<int>(std::strtol(argv[first + 1], &end, 10));
        if (!end || *end != '\0') {
            print_usage(stderr);
            return 2;
        }
        first += 2;
    }
    if (first >= argc) {
        print_usage(stderr);
        return 2;
    }
    for (int i = first; i < argc; ++i) {
        int version = 0;
        const int format = expected ? AutoRecExp(argv[i], expected, &version) : autorec(argv[i], &version);
        std::printf("%s: %d %d %s\n", argv[i], format, version, recognized_format_name(format));
    }
    return 0;
}
