// Composers of the layout records: NTB and RUL from ruler data, the
// temporary-margin sequence (IPS, STM, LMR, TAB) that expresses a
// paragraph's left and first-line indents as steps between tab stops, the
// ruler editing behind it, and the character records XCS, UCS and HEX.
// Everything goes out through the record writers, so where the bytes land
// is the stream layer's business.
#include "common/layout_records.h"

#include "common/int32.h"
#include "common/kernel_state.h"
#include "common/records.h"

using namespace vox;

namespace {

constexpr unsigned kNTB = icf_code("NTB"), kRUL = icf_code("RUL"), kIPS = icf_code("IPS"),
                   kSTM = icf_code("STM"), kLMR = icf_code("LMR"), kTAB = icf_code("TAB"),
                   kXCS = icf_code("XCS"), kUCS = icf_code("UCS"), kHEX = icf_code("HEX");
static_assert(kNTB == 2702 && kRUL == 12978 && kIPS == 19977 && kSTM == 13971 &&
                  kLMR == 18860 && kTAB == 2100 && kXCS == 19576 && kUCS == 19573 &&
                  kHEX == 24744,
              "record codes");

constexpr int kMapBytes = 32;      // 256 one-tenth-inch columns, one bit each
constexpr int kKindBytes = 20;     // two stops per byte
constexpr int kListedStops = 40;   // stops whose kinds and leaders are listed
constexpr int kColumnTwips = 144;  // one column is 1/10 inch
constexpr unsigned char kVirtual = 'V';

RulerState &ruler() { return kernel().ruler; }

// Stops in use, kept within the arrays whatever a caller stored.
int stop_count(const RulerState &r) {
    return r.c_cur_tabs < 0 ? 0 : r.c_cur_tabs > kRulerSlots ? kRulerSlots : r.c_cur_tabs;
}

int column_unit(const RulerState &r) { return r.VOXTwipFlag ? kColumnTwips : 1; }

// Decimal parameters take the low 16 bits of their value.
void dec_param(std::int64_t value) { dec_out(static_cast<std::uint32_t>(value)); }

void copy_slot(RulerState &r, int to, int from) {
    r.c_tab_stop[to] = r.c_tab_stop[from];
    r.c_tab_type[to] = r.c_tab_type[from];
    r.c_tab_ldr[to] = r.c_tab_ldr[from];
}

void shift_ruler(RulerState &r, std::int32_t by) {
    for (int i = 0, n = stop_count(r); i < n; ++i) r.c_tab_stop[i] = wrap_add(r.c_tab_stop[i], by);
}

// ---- NTB -----------------------------------------------------------------

int kind_nibble(unsigned char kind) {
    switch (kind) {
        case 'C': return 1;
        case 'R': return 2;
        case 'D': return 3;
        case kVirtual: return 8;
        default: return 0;  // left, and anything unknown
    }
}

// Bit p (most significant bit first) for each stop in tenth-inch column p;
// columns past the map are left out.  Unsigned, so a stop shifted below
// zero lands past the map too.
void write_stop_map(const RulerState &r, std::int32_t offset) {
    unsigned char map[kMapBytes] = {};
    for (int i = 0, n = stop_count(r); i < n; ++i) {
        std::uint32_t p = static_cast<std::uint32_t>(wrap_add(r.c_tab_stop[i], offset));
        if (r.VOXTwipFlag) p = (p + kColumnTwips / 2) / kColumnTwips;
        if (p < 8u * kMapBytes) map[p / 8] |= 0x80 >> (p % 8);
    }
    for (unsigned char byte : map) HexOut8(byte);
}

void write_stop_kinds(const RulerState &r, int listed) {
    for (int b = 0; b < kKindBytes; ++b) {
        const int even = 2 * b, odd = even + 1;
        const int high = even < listed ? kind_nibble(r.c_tab_type[even]) : 0;
        const int low = odd < listed ? kind_nibble(r.c_tab_type[odd]) : 0;
        HexOut8(high << 4 | low);
    }
}

void write_stop_leaders(const RulerState &r, int listed) {
    const bool any = memcchr(r.c_tab_ldr, 0, listed) != nullptr;
    if (!any && !r.VOXTwipFlag) return;
    for (int i = 0; i < kListedStops; ++i) HexOut8(any && i < listed ? r.c_tab_ldr[i] : 0);
}

// ---- RUL -----------------------------------------------------------------

void write_leader(unsigned char leader, LeaderPutFunc put) {
    if (leader == 0) return;  // an empty parameter
    if (put)
        put(leader);
    else
        b_putc(leader >= 32 && leader <= 127 ? leader : '.');
}

// ---- STM and LMR -------------------------------------------------------------

void write_stm(std::int64_t from, std::int64_t to, int unit, bool twips) {
    beg_icf(kSTM);
    dec_param(from / unit);
    dec_param(to / unit);
    if (twips) {
        dec_param(from);
        dec_param(to);
    }
    end_icf();
}

void write_lmr(std::int64_t width, int unit, bool twips) {
    beg_icf(kLMR);
    dec_param(width / unit);
    if (twips) dec_param(width);
    end_icf();
}

}  // namespace

extern "C" {

VOX_API const unsigned char *memcchr(const unsigned char *area, int byte, int count) {
    if (!area) return nullptr;
    const auto b = static_cast<unsigned char>(byte);
    for (int i = 0; i < count; ++i)
        if (area[i] != b) return area + i;
    return nullptr;
}

VOX_API int OutNTB(std::int32_t offset) {
    const RulerState &r = ruler();
    const int n = stop_count(r);
    const int listed = n < kListedStops ? n : kListedStops;
    beg_icf(kNTB);
    write_stop_map(r, offset);
    write_stop_kinds(r, listed);
    write_stop_leaders(r, listed);
    if (r.VOXTwipFlag) {
        dec_out(static_cast<std::uint32_t>(n));
        for (int i = 0; i < n; ++i) dec_out(static_cast<std::uint32_t>(wrap_add(r.c_tab_stop[i], offset)));
    }
    return end_icf();
}

VOX_API int OutRUL(int kind, int count, const std::int32_t *positions,
                   const unsigned char *types, const unsigned char *leaders,
                   LeaderPutFunc put) {
    if (!positions) return 0;
    beg_icf(kRUL);
    HexOut8(kind);
    dec_out(static_cast<std::uint32_t>(count));
    for (int i = 0; i < count; ++i) dec_param(positions[i] < 0 ? 0 : positions[i]);

    // A 0 type is no "L" byte, so it alone makes the list go out (as "L").
    const bool typed = memcchr(types, 'L', count) != nullptr;
    for (int i = 0; typed && i < count; ++i) {
        b_putc(types[i] ? types[i] : 'L');
        b_putc(kUS);
    }
    if (memcchr(leaders, 0, count)) {
        for (int i = 0; !typed && i < count; ++i) {
            b_putc('L');
            b_putc(kUS);
        }
        for (int i = 0; i < count; ++i) {
            write_leader(leaders[i], put);
            b_putc(kUS);
        }
    }
    end_icf();
    return count;
}

VOX_API int OutIPS(std::int32_t first, std::int32_t left, std::int32_t margin, int absolute) {
    const bool twips = ruler().VOXTwipFlag != 0;
    const std::int64_t l = left, f = first, m = margin;
    beg_icf(kIPS);
    if (absolute) {
        if (twips) {
            dec_param((l + m) / kColumnTwips);
            dec_param((f + m) / kColumnTwips);
        }
        dec_param(l + m);
        dec_param(f + m);
    } else if (twips) {
        dec_param((l - m) / kColumnTwips);
        dec_param((f - m) / kColumnTwips);
        dec_param(l);
        dec_param(f);
    } else {
        dec_param(l - m);
        dec_param(f - m);
    }
    return end_icf();
}

// Steps from the margin (or from 0 with absolute positions) to target,
// one STM per stop passed.
VOX_API int OutSTM(std::int32_t target, std::int32_t margin, int absolute) {
    const RulerState &r = ruler();
    const int n = stop_count(r), unit = column_unit(r);
    const bool twips = r.VOXTwipFlag != 0;
    const std::int64_t base = absolute ? margin : 0;
    std::int64_t s = absolute ? 0 : margin;
    int i = 0;
    while (i < n && r.c_tab_stop[i] <= s) ++i;
    for (; i < n && s < target; ++i) {
        const std::int64_t t = r.c_tab_stop[i];
        write_stm(s + base, t + base, unit, twips);
        s = t;
    }
    return 0;
}

// The widths between stops from..to, from the right; a negative from adds
// the width from 0 to the first stop.
VOX_API int OutLMR(int from, int to, std::int32_t margin, int absolute) {
    const RulerState &r = ruler();
    const int unit = column_unit(r);
    const bool twips = r.VOXTwipFlag != 0;
    const std::int64_t adjust = absolute ? margin : 0;
    const bool owe_first = from < 0;
    if (owe_first) from = 0;
    if (to > kRulerSlots - 1) to = kRulerSlots - 1;
    for (int i = to; i > from && i >= 1; --i)
        write_lmr(adjust + (std::int64_t(r.c_tab_stop[i]) - r.c_tab_stop[i - 1]), unit, twips);
    if (owe_first) write_lmr(adjust + r.c_tab_stop[0], unit, twips);
    return 0;
}

VOX_API int OutTempMargin(std::int32_t left, std::int32_t first, int shift, std::int32_t margin) {
    RulerState &r = ruler();
    if (shift) {
        shift_ruler(r, margin);
        left = wrap_add(left, margin);
        first = wrap_add(first, margin);
    }
    const int at_left = InsertTab(left, kVirtual);
    const int at_first = InsertTab(first, kVirtual);
    const bool inserted = at_left || at_first;
    if (inserted) OutNTB(0);

    int tabs = 0;
    if (first > left) {
        const int left_index = FindTsNum(left);
        tabs = FindTsNum(first) - (left_index < 0 ? 1 : left_index);
        OutIPS(first, left, margin, 0);
    }
    if (left != 0) OutSTM(left, margin, 0);
    if (first < left) OutLMR(FindTsNum(first), FindTsNum(left), margin, 0);
    for (; tabs > 0; --tabs) {
        beg_icf(kTAB);
        dec_out(1);
        end_icf();
    }

    if (inserted) RemoveVitrualTabs();
    if (shift) shift_ruler(r, -margin);
    return 0;
}

// ---- ruler editing -------------------------------------------------------

VOX_API int MoveRulerDown(int index) {
    RulerState &r = ruler();
    const int n = stop_count(r);
    if (index < 0 || index > n || index >= kRulerSlots) return -1;
    // On a full ruler the last stop has nowhere to go and drops off.
    const int top = n < kRulerSlots ? n : kRulerSlots - 1;
    for (int i = top; i > index; --i) copy_slot(r, i, i - 1);
    r.c_cur_tabs = n < kRulerSlots ? n + 1 : n;
    return 0;
}

VOX_API int MoveRulerUp(int index) {
    RulerState &r = ruler();
    const int n = stop_count(r);
    if (index < 0 || index >= n) return -1;
    for (int i = index; i + 1 < n; ++i) copy_slot(r, i, i + 1);
    r.c_cur_tabs = n - 1;
    return 0;
}

// Opens and counts the slot for a new stop at position (see the header for
// why every placed stop is counted); -1 for a position already present or
// past the last stop of a full ruler.
VOX_API int FindPosInRuler(std::int32_t position) {
    const RulerState &r = ruler();
    const int n = stop_count(r);
    int slot = n;
    if (n > 0 && position < r.c_tab_stop[0]) {
        slot = 0;
    } else {
        for (int k = 0; k < n; ++k) {
            if (position == r.c_tab_stop[k]) return -1;
            if (k + 1 < n && position < r.c_tab_stop[k + 1]) {
                slot = k + 1;
                break;
            }
        }
    }
    if (slot >= kRulerSlots) return -1;
    MoveRulerDown(slot);
    return slot;
}

VOX_API int InsertTab(std::int32_t position, int type) {
    const int slot = FindPosInRuler(position);
    if (slot < 0) return 0;
    RulerState &r = ruler();
    r.c_tab_stop[slot] = position;
    r.c_tab_type[slot] = static_cast<unsigned char>(type);
    r.c_tab_ldr[slot] = 0;
    return 1;
}

VOX_API int FindTsNum(std::int32_t position) {
    const RulerState &r = ruler();
    for (int i = 0, n = stop_count(r); i < n; ++i)
        if (r.c_tab_stop[i] == position) return i;
    return -1;
}

VOX_API int RemoveVitrualTabs(void) {
    RulerState &r = ruler();
    for (int i = 0; i < stop_count(r);) {
        if (r.c_tab_type[i] == kVirtual)
            MoveRulerUp(i);  // the next stop moves into slot i: look again
        else
            ++i;
    }
    return 0;
}

// ---- characters ------------------------------------------------------------

VOX_API int OutXCS(int character, int code_page) {
    if (code_page != GetCurrentCodePage()) {
        beg_icf(kXCS);
        dec_out(static_cast<std::uint32_t>(code_page));
        HexOut8(character);
        end_icf();
        character = TranCodePage(code_page, GetCurrentCodePage(), character);
    }
    if (character >= 1 && character <= 31) {
        beg_icf(kHEX);
        HexOut8(character);
        end_icf();
    } else if (character < 128) {
        b_putc(character > 0 ? character : '_');  // -1 and 0: untranslatable
    } else {
        beg_icf(kUCS);
        HexOut8(character);
        end_icf();
    }
    return 0;
}
}
