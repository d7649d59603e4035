// Colours of the text.  Documents of version 4 and 5 define named colours
// in their colour catalog (cyan, magenta, yellow and black percentages);
// the dispatcher stores each as an 80-byte record of the colour file
// cmyk_fh (store_color_record, formatting_state.h), and <FColor chooses one
// by name.  Version-3 documents choose one of eight colours by number
// (<FSeparation, mapped to a 3-bit colour code by the dispatcher).  A
// change of colour is written as BCL: flags, red, green, blue.
//
// The state lives in ColourState (formatting_state.h), the current colour
// curr_color / color_name included.
//
// Choices made where the rules leave room:
// - force_color_output forces the one colour record of the next
//   tf_output_color call and is cleared at the end of that call, also when
//   the call writes nothing (an unknown catalog name), so that it never
//   carries over to a later, unrelated colour change.
// - Colour names are compared exactly (case counts); the first record of
//   that name wins.  The look-up reads the file from its start, at most
//   num_cmyk_colors records; no colour file, a failed seek or a short read
//   ends it as not found.
// - A null name finds no colour.
#pragma once

#include "common/api.h"
#include "converter/formatting_state.h"

namespace vox {

// BCL flag bits.
enum ColourFlag { kColourBlue = 1, kColourGreen = 2, kColourRed = 4, kColourDark = 8 };

// What BCL carries.
struct ColourRgb {
    int flags;
    int red, green, blue;
};

// The flags and components of a catalog colour.
ColourRgb cmyk_to_rgb(const CmykColorRecord &color);
// The flags and components of a version-3 colour code.
ColourRgb separation_to_rgb(int code);

}  // namespace vox

extern "C" {
// The first catalog colour named `name`, copied into a shared record that
// the next call overwrites; null when there is none.
VOX_API vox::CmykColorRecord *tf_get_cmyk_node(const char *name);
// The colour code of a catalog colour: 4 for cyan, 2 for magenta, 1 for
// yellow (summed); 0 for an unknown name.
VOX_API int tf_cmyk_conv_color(const char *name);
// Writes BCL for the colour `code` (version 3) or `name` (version 4 and
// up) when its flags differ from those last written, or when forced.
VOX_API int tf_output_color(int code, const char *name);
}
