// Settings the kernel reads while it works: option bits, the target name
// next to which temporary files are made, the transport selection, the
// graphics and OLE handling, the names of auxiliary files.  The option
// parser (options.cpp) fills them; a host may read them after a conversion.
//
// Texts marked "tracked copy" are VOXmalloc blocks owned here: setting one
// again releases the old copy, and GlobalShutDown releases them all.
#pragma once

#include <array>
#include <cstring>

namespace vox {

constexpr int kOptPipeTransport = 0x400;    // files through the pipe file server
constexpr int kOptHostFiles = 0x2000;       // files through the host (or the queue)
constexpr int kOptQuiet = 0x80;             // no progress display
constexpr const char *kDefaultIcfName = "vox99int.tmp";
constexpr const char *kDefaultExcName = "except.lst";

constexpr int kCmdSlots = 25;               // name=value pairs held
constexpr int kGraphicTargetSlots = 50;     // room of GraphicTargetFormat
constexpr int kGraphicTargetMax = 49;       // entries actually used at most
constexpr int kDefSettingsWords = 6;

struct SettingsState {
    int optflags = 0;                 // OR of the option bits
    char icfname[256];                // the intermediate-code (target) file name
    char ver_lvl[50];                 // version level; 2nd char 'D' keeps master pages
    char excname[256];                // exception list file
    int IPCMsgQueueID = -1;           // message queue of the queue transport, -1 none
    int in_pipe = -1;                 // pipe transport: replies come from here
    int out_pipe = -1;                // pipe transport: requests go here
    int max_pipe_buf_len = 4096;      // largest pipe record
    int BFBModeFlag = 0;
    int display_pid = 0;              // process told of progress by SIGUSR1, 0 none
    int DeleteICFFile = 1;
    int VOXCodePage = -1;             // code page named by the options, -1 none

    // Graphics and embedded objects.
    int GraphicsOptionFlag = 1;       // 1 process graphics, 2 keep files, 4 none, ...
    int VOXGraphMode = 0;             // 1: byte-stream pictures written unconverted
    int GraphicTargetFormat[kGraphicTargetSlots] = {};  // formats the target takes as they are
    int GraphicTargetFormatCount = 0;
    int VOXGraphicFrameWidth = 0;
    int VOXGraphicFrameHeight = 0;
    char SubLaunchPath[256];          // directory of the graphic converter programs
    int OLEOptionFlag = 4;            // low 3 bits: the way OLE objects are written; 8 keep files
    unsigned GeneralInfoPtr = 0;

    // Auxiliary file names and labels (tracked copies).
    char *BodyTextFileName = nullptr;
    char *GraphicCatalogFileName = nullptr;
    char *RulesFileName = nullptr;
    char *ErrorMessageHandle = nullptr;
    char *BifPictLabel = nullptr;
    char *VOXRefListFileName = nullptr;     // reference list file, none when null
    char *VOXRefFixBaseFileName = nullptr;  // directory for recorded references
    int VOXReferencedFileNameFix = 0;       // 1: references recorded under a fixed directory
    const char *VOXDefinitionFile = nullptr;  // points into the option text
    char definition_file_copy[1024];  // its text when it came from a configuration line

    // Ranges, margins, sort and extract criteria.
    char range[20];
    char opt_margin_string[25];
    char *SortCriteria = nullptr;     // tracked copy
    int SortOption = 0;
    char *ExtractCriteria = nullptr;  // tracked copy
    int ExtractOption = 0;
    int LastParse = 0;                // 1 after X, 2 after S: bare texts continue them

    int DefSettings[kDefSettingsWords] = {};
    const char *ARG0_BasePath = nullptr;          // the program path (argument 0)
    const char *FirstParameterFileName = nullptr; // the source name (argument 1)

    char *voxCmdName[kCmdSlots] = {};  // name=value pairs of the CMD option
    char *voxCmdValue[kCmdSlots] = {};
    int voxCmdCount = 0;

    int config_depth = 0;             // configuration files being read, nested

    SettingsState() {
        std::strcpy(icfname, kDefaultIcfName);
        std::strcpy(ver_lvl, "0");
        std::strcpy(excname, kDefaultExcName);
        SubLaunchPath[0] = range[0] = opt_margin_string[0] = definition_file_copy[0] = '\0';
    }

    // Every setting held as a tracked copy, for releasing them all at once.
    std::array<char **, 9> heap_texts() {
        return {&BodyTextFileName, &GraphicCatalogFileName, &RulesFileName,
                &ErrorMessageHandle, &BifPictLabel, &VOXRefListFileName,
                &VOXRefFixBaseFileName, &SortCriteria, &ExtractCriteria};
    }
};

}  // namespace vox
