// Options and configuration: the parser of command-line style options, the
// configuration files that carry options line by line, the name=value pairs
// a host can query after the parse, and the reference list file in which the
// converter records every file a document refers to.
//
// Every option is one text: an optional run of spaces, "-" or "/", a letter
// that selects the option (either case), and its argument.  CmdParseLine
// stores what the option sets in the kernel's SettingsState and returns the
// option's optflags bits; options() ORs them together.  A text without the
// leading "-" or "/" continues the criteria of an S or X option right before
// it; anywhere else it is read as an option all the same, which is how
// configuration lines may leave the dash out.
//
// Limits and how they are enforced:
//   - Configuration files nest at most kMaxConfigDepth deep (a file naming
//     itself, directly or through others, is read that many times and then
//     no more); a file beyond the limit contributes nothing.
//   - A configuration line keeps its first kConfigLineMax characters; the
//     rest of an overlong line is dropped, not read as a line of its own,
//     so a cut line can never turn into an option nobody wrote.
//   - Empty configuration lines are skipped.
//   - At most kCmdSlots name=value pairs are held; later pairs are dropped
//     without allocating anything.
//   - Fixed-size texts (icfname, excname, SubLaunchPath, range,
//     opt_margin_string) keep what fits in their buffers; ver_lvl keeps at
//     most 29 characters.
//   - A tracked text set again releases its old copy; when the new copy
//     cannot be allocated the setting is left unset (null).  Appending to
//     sort or extract criteria keeps the old criteria when out of memory.
#pragma once

#include "common/api.h"

namespace vox {

constexpr int kMaxConfigDepth = 8;      // nested configuration files
constexpr int kConfigLineMax = 1023;    // characters kept of one configuration line

// PLACEHOLDER until the graphics layer exists: the GEX option asks for the
// picture extents to be reloaded from the extents exchange file.  The
// graphics layer owns GraphicObjectExtents and the file; this hook does
// nothing until it is wired to SetGraphicsExtentsPointer.
void reload_graphic_object_extents();

}  // namespace vox

extern "C" {
// Parses the options arguments[0 .. count-1]; arguments[-2] is the program
// path and arguments[-1] the first parameter (the source name), which is
// parsed as well when it has the form -C=file or /C=file.  Installs the
// signal handlers first and prepares the file layer last.  Returns 0.
VOX_API int options(int count, const char *const *arguments);
// Parses one option; returns its optflags bits.
VOX_API int CmdParseLine(const char *text);
// Parses a configuration file; the OR of its options' bits, 0 when it
// cannot be read.
VOX_API int LoadConfiguration(const char *file_name);
// Copies one line of text (up to CR, LF or NUL, at most kConfigLineMax
// characters) into line and returns the start of the next line.
VOX_API const char *CopyConfigurationOption(const char *text, char *line);
// Stores one name=value pair; 0 when stored, -1 when dropped.
VOX_API int LoadCommandNameValue(const char *text);
// 1 and the value copied to value_out when a stored name equals name
// (ignoring case), else 0.
VOX_API int voxGetCmdLineOption(const char *name, char *value_out);
// Appends name, its NUL, the kind word and CR LF to the reference list
// file; 0 when written, -1 when there is no list or it cannot be opened.
VOX_API int VOXRefListAddName(const char *name, int kind);
// Writes into out the name under which a referenced file is recorded.
VOX_API int FixReferenceFileName(const char *source, const char *reference, char *out);
VOX_API int *GetDefSettings(void);
VOX_API const char *GetARG0_BasePath(void);
}
