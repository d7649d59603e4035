// `vox42 convert SOURCE TARGET [--version-level L] [--verbose] [OPTION...]`:
// converts one ZEM document into intermediate code through MainEntryPoint.
#pragma once

// The exit status of a command line the tool cannot use.  It lies outside
// the library's result codes, which the tool passes on as its own status.
constexpr int kConvertUsageError = 64;

// argv holds the arguments after the word "convert".  Returns 0, the
// library's nonzero result code (after one line on standard error naming
// it), or kConvertUsageError.
int run_convert(int argc, char **argv);
