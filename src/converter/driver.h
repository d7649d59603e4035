// The conversion driver: one call of MainEntryPoint converts one document.
// VOXMainEntry parses the options, opens the source, the target and the
// temporary stores, checks and preprocesses the source, splits off the
// text flows, writes the head, runs the main loop over the main input and
// then over each flow in page order, and writes page records, font table
// and body.  Every end goes through tf_frame_exit (or, before the
// temporary stores exist, VOXexit), which returns the result code to
// MainEntryPoint.
//
// Choices made where the driver's outline leaves room:
//
// - The argument table.  MainEntryPoint refuses with code 8, before it
//   opens or allocates anything, a command line that would not fit: more
//   than kMaxExtraArgs extra arguments, a target name longer than
//   kMaxTargetChars (slot 2 is "-t=" and the name in 128 bytes), a version
//   level longer than kMaxVersionChars (slot 3 is "-v" and the level in 16
//   bytes), or a null source or target name.  A null version level counts
//   as an empty one.  The slots are tracked blocks, released with
//   everything else when the call ends.
// - The font-table and variables list files are made next to the target
//   while the starting values are set, before the source and the target
//   are opened; a target in a directory that does not exist therefore ends
//   the run with 8 (no list file can be made there), not with 3.
// - Every call is a fresh run: the conversion state, and the kernel state a
//   run sets up (error state, streams, options, progress, ruler, record
//   code ring), start from their initial values.  What the thread keeps
//   from earlier calls is only its diagnostic listener, its temporary-name
//   counter and its file-layer settings.
// - The host's allocation functions are used when both are given; with
//   one of them missing the C library's pair is used, so no block is ever
//   released by a function that did not make it.  They are in force for
//   the call only.
// - After the run, whatever way it ended, MainEntryPoint makes sure that
//   nothing is left: it repeats the release of tf_frame_exit (a no-op when
//   that already ran), removes the files of the purge lists (the five list
//   files and spill files; never the target), and releases every tracked
//   block.  The option texts that pointed into the argument table or at
//   the host's strings are forgotten.  This also covers the ends that do
//   not go through tf_frame_exit: the source or target failing to open
//   (the font-table and variables list files already exist then) and the
//   preprocessing pass ending an unbalanced source with code 16.
// - A fatal condition met while tf_frame_exit releases things (a failed
//   flush of the target) does not cut the release short: the remaining
//   steps still run, and the run ends with that condition's code when it
//   was ending with 0, else with its own code.
// - The split of the preprocessed text reads a carriage return met at the
//   start of a line as a line of its own (an empty line), so the line after
//   it is looked at for a TextFlow start like any other.
// - tf_output_fdt ends the run with code 17 when the font-table file cannot
//   be positioned at its start or a record cannot be read back whole.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int kArgSlots = 20;          // the argument table
constexpr int kMaxExtraArgs = 16;      // slots 4 to 19
constexpr int kProgramSlotSize = 48;   // slot 0, "VOXMainEntry"
constexpr int kTargetSlotSize = 128;   // slot 2, "-t=" and the target name
constexpr int kVersionSlotSize = 16;   // slot 3, "-v" and the version level
constexpr int kMaxTargetChars = kTargetSlotSize - 4;    // 124
constexpr int kMaxVersionChars = kVersionSlotSize - 3;  // 13

constexpr int kListFileNameSize = 500;  // a generated temporary file name
constexpr int kFontRecordSize = 68;     // a font-table record
constexpr int kFontRecordNameSize = 64;

// What the driver holds for one run: the source and target handles, the
// temporary list files and their names, and the counts of the font and
// variable lists.  Handles are -1 and names empty while not open / made.
struct DriverState {
    const char *source_file_name = nullptr;  // argv[1]
    const char *p_tgtnm = nullptr;           // argv[1] as well
    int icf_fh = -1;                         // the source
    int dest_file = -1;                      // the target
    char cat_name[kListFileNameSize] = {};       // paragraph catalog
    char font_cat_name[kListFileNameSize] = {};  // font catalog
    char cmyk_name[kListFileNameSize] = {};      // colours
    char fdt_name[kListFileNameSize] = {};       // font table
    char var_name[kListFileNameSize] = {};       // variables
    int cat_list_handle = -1;
    int font_cat_handle = -1;
    int font_list_handle = -1;
    int var_list_handle = -1;
    int num_fonts = 0;        // records in the font-table file
    int num_var_entries = 0;  // complete definitions in the variables file
};

}  // namespace vox

extern "C" {
// Never returns: ends with tf_frame_exit / VOXexit.
[[noreturn]] VOX_API void VOXMainEntry(int argc, char **argv);
// Sets the conversion's starting values and opens the font-table and
// variables list files (failure: code 8 through tf_frame_exit).  Returns 0.
VOX_API int tf_init_starting_vars(void);
// Releases every buffer, list and temporary file of the conversion, closes
// source and target, and ends the run with `code`.
[[noreturn]] VOX_API void tf_frame_exit(int code);
// Writes page records and font table (documents only) to the target, then
// the body buffer.  Returns 0.
VOX_API int tf_output_int_file(void);
// The font table record FDT.  Returns 0.
VOX_API int tf_output_fdt(void);
// Output redirection through tf_frame_putc, input redirection through
// preproc_getc.  Return 0.
VOX_API int tf_frame_redout_start(void);
VOX_API int tf_frame_redout_end(void);
VOX_API int tf_frame_redin_start(void);
VOX_API int tf_frame_redin_end(void);
}
