// Colours of the text: catalog look-up and the colour record.  See
// colours.h.
#include "converter/colours.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/file_access.h"
#include "common/int32.h"
#include "common/records.h"
#include "converter/conversion.h"
#include "converter/list_files.h"

namespace vox {
namespace {

constexpr unsigned kBCL = icf_code("BCL");
constexpr int kFirstCatalogVersion = 4;  // documents with a colour catalog

ColourState &colours() { return conv().colours; }

// A colour component from a CMYK percentage and black: 255 for none, 0
// for 100 percent or more.
int component(int percent, int black) {
    return wrap_mul(wrap_sub(100, std::min(100, wrap_add(percent, black))), 255) / 100;
}

// A component's flag bit, with the dark bit for a component below 127.
int component_flags(int value, int bit) {
    if (value == 0) return 0;
    return value < 127 ? (bit | kColourDark) : bit;
}

// The colour's record, or false when the catalog has no such name.
bool catalog_rgb(const char *name, ColourRgb &rgb) {
    const CmykColorRecord *color = tf_get_cmyk_node(name);
    if (color == nullptr) return false;
    rgb = cmyk_to_rgb(*color);
    return true;
}

void write_bcl(const ColourRgb &rgb) {
    beg_icf(kBCL);
    dec_out(static_cast<std::uint32_t>(rgb.flags));
    dec_out(static_cast<std::uint32_t>(rgb.red));
    dec_out(static_cast<std::uint32_t>(rgb.green));
    dec_out(static_cast<std::uint32_t>(rgb.blue));
    end_icf();
}

}  // namespace

ColourRgb cmyk_to_rgb(const CmykColorRecord &color) {
    ColourRgb rgb{};
    rgb.red = component(color.cyan, color.black);
    rgb.green = component(color.magenta, color.black);
    rgb.blue = component(color.yellow, color.black);
    rgb.flags = component_flags(rgb.red, kColourRed) | component_flags(rgb.green, kColourGreen) |
                component_flags(rgb.blue, kColourBlue);
    return rgb;
}

ColourRgb separation_to_rgb(int code) {
    ColourRgb rgb{};
    if (code & kColourRed) rgb.flags = 12;
    if (code & kColourGreen) rgb.flags = (code & kColourRed) ? 14 : 10;
    if (code & kColourBlue) rgb.flags |= 9;
    rgb.red = (rgb.flags & kColourRed) ? 255 : 0;
    rgb.green = (rgb.flags & kColourGreen) ? 255 : 0;
    rgb.blue = (rgb.flags & kColourBlue) ? 255 : 0;
    return rgb;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API CmykColorRecord *tf_get_cmyk_node(const char *name) {
    ColourState &c = colours();
    if (name == nullptr || c.cmyk_fh < 0) return nullptr;
    CmykColorRecord color{};
    using Record = unsigned char[kColorRecordSize];
    auto named = [&](const Record &bytes) {
        load_color_record(bytes, color);
        return std::strcmp(color.name, name) == 0;
    };
    ListCache &cache = list_files().colours;
    if (find_list_record<kColorRecordSize>(c.cmyk_fh, cache, c.num_cmyk_colors, named) < 0) return nullptr;
    c.cmyk_node = color;
    return &c.cmyk_node;
}

VOX_API int tf_cmyk_conv_color(const char *name) {
    const CmykColorRecord *color = tf_get_cmyk_node(name);
    if (color == nullptr) return 0;
    int code = 0;
    if (color->cyan != 0) code += kColourRed;
    if (color->magenta != 0) code += kColourGreen;
    if (color->yellow != 0) code += kColourBlue;
    return code;
}

VOX_API int tf_output_color(int code, const char *name) {
    ColourState &c = colours();
    ColourRgb rgb{};
    bool known = true;
    if (conv().preproc.zem_ver >= kFirstCatalogVersion)
        known = catalog_rgb(name, rgb);
    else
        rgb = separation_to_rgb(code);
    if (known && (rgb.flags != c.last_color_flags || c.force_color_output)) {
        write_bcl(rgb);
        c.last_color_flags = rgb.flags;
    }
    c.force_color_output = 0;
    return 0;
}
}
