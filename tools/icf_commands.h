// `vox42 dump` and `vox42 assemble`: intermediate code shown readably, and
// the readable form turned back into bytes.
#pragma once

// argv holds the arguments after the command word.  Each returns the
// tool's exit status: 0, 1 when a file cannot be read or written or a
// rendering cannot be assembled (or, for dump --check, when records are
// left unpaired), 2 on a usage error.
int run_dump(int argc, char **argv);
int run_assemble(int argc, char **argv);
