// The two dispatchers of the main pass: what a statement does when it
// starts ('<' and its token number) and when it ends ('>').  Each token is
// handled here (mostly a flag or a stored value) or passed to the module
// that owns it.
#pragma once

#include "common/api.h"

extern "C" {
// A statement starts: the main loop has read its '<'.  Reads the token
// number, pushes it and dispatches it.  Ends the run with code 16 when 100
// statements are already open.  Returns 0.
VOX_API int tf_handle_command_token(void);
// A statement ends: the main loop has read its '>'.  Pops the token stack
// and dispatches the statement it closes.  Ends the run with code 16 when
// no statement is open.  Returns 0.
VOX_API int tf_end_token(void);
// The start and end actions of token `number`.  Returns 0.
VOX_API int tf_handle_new_token(int number);
VOX_API int tf_handle_end_token(int number);
}
