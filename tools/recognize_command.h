// `vox42 recognize FILE...`: names the format of each file.
#pragma once

// argv holds the arguments after the word "recognize".  Prints one line per
// file: the name, the format number, the version and a readable name.
// Returns 0, or 2 on a usage error.
int run_recognize(int argc, char **argv);

// The readable name of a format number (or of a negative result).
const char *recognized_format_name(int format);
