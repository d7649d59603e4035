// The token stack and the small readers of the main pass.
#include "converter/token_reader.h"

#include <cstdlib>

#include "common/buffer_bytes.h"
#include "common/progress.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"

using namespace vox;

namespace {

constexpr int kCarriageReturn = 13;

bool ends_line(int byte) { return byte == '<' || byte == '>' || byte == kCarriageReturn; }

// Steps over the rest of a string whose '`' has just been read, up to and
// including its closing quote; returns the number of bytes read.
long skip_string_body() {
    long count = 0;
    for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
        ++count;
        if (c == '\'') break;
    }
    return count;
}

}  // namespace

extern "C" {

VOX_API int tf_read_token_num(void) {
    TokenState &t = conv().tokens;
    int length = 0;
    for (int c = preproc_getc(); c >= 0 && c != kTokenEndMarker; c = preproc_getc())
        if (length < kReadNumBuffSize - 1) t.read_num_buff[length++] = static_cast<char>(c);
    t.read_num_buff[length] = '\0';
    return std::atoi(t.read_num_buff);
}

VOX_API int tf_push_token(int number) {
    TokenState &t = conv().tokens;
    if (t.push_idx >= kTokenStackSize) return 1;
    t.token_stack[t.push_idx++] = number;
    return 0;
}

VOX_API int tf_pop_token(void) {
    TokenState &t = conv().tokens;
    if (t.push_idx <= 0) return -1;
    return t.token_stack[--t.push_idx];
}

VOX_API int tf_eat_rest_of_line(void) {
    for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
        if (ends_line(c)) {
            preproc_unget(c);
            break;
        }
        dspcheck(1);
    }
    return 0;
}

VOX_API int tf_unknown_token_line_skip(void) {
    for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
        if (ends_line(c)) {
            preproc_unget(c);
            break;
        }
        if (c == '`') dspcheck(1 + skip_string_body());
    }
    return 0;
}

VOX_API int tf_read_next_token_num(int buffer) {
    TokenState &t = conv().tokens;
    int length = 0;
    t.buff[0] = '\0';
    for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
        put_byte(c, buffer);
        if (c == kTokenEndMarker) return std::atoi(t.buff);
        if (length < kTokenWorkSize - 1) {
            t.buff[length++] = static_cast<char>(c);
            t.buff[length] = '\0';
        }
    }
    return -1;
}

VOX_API int tf_skipp_white_space(void) {
    int c = preproc_getc();
    while (c == ' ' || c == '\t') c = preproc_getc();
    if (c >= 0 && c != kTokenEndMarker) preproc_unget(c);
    return 0;
}
}
