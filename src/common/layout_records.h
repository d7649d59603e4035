// Composers of the layout records built from shared state: the tab ruler
// record NTB, the ruler record RUL, the temporary-margin sequence (IPS, STM,
// LMR, TAB) and the character records XCS, UCS and HEX.
//
// The current ruler holds up to 256 stops in ascending order.  Editing it:
// FindPosInRuler finds the slot for a new stop and opens it, InsertTab
// fills it, RemoveVitrualTabs drops the "V" stops again.
//
// Every stop FindPosInRuler places is counted into c_cur_tabs, wherever it
// falls: into an empty ruler, before the first stop, between two stops or
// after the last one.  The temporary-margin sequence relies on that: it
// finds its "V" stops with FindTsNum, lets the STM walk end on the left
// indent's stop, and takes them out again with RemoveVitrualTabs, all of
// which look only at counted stops.  A position equal to any stop, the last
// one included, gets no slot (-1), so no position is ever listed twice.
// A full ruler (256 stops) still takes a stop before its last one; the last
// stop then drops off the end.  It takes none after the last one.
#pragma once

#include <cstdint>

#include "common/api.h"
#include "common/code_pages.h"

namespace vox {

constexpr int kRulerSlots = 256;

// The current ruler; positions in twips once VOXTwipFlag is 1.
struct RulerState {
    std::int32_t c_tab_stop[kRulerSlots] = {};
    unsigned char c_tab_type[kRulerSlots] = {};  // 'L' (or 0), 'C', 'R', 'D', 'V'
    unsigned char c_tab_ldr[kRulerSlots] = {};
    int c_cur_tabs = 0;
    int VOXTwipFlag = 0;
};

using LeaderPutFunc = int (*)(int byte);

}  // namespace vox

extern "C" {
// Records: NTB from the current ruler, each stop shifted by offset.
VOX_API int OutNTB(std::int32_t offset);
// One RUL for the given stops; nothing (and 0) when positions is null,
// otherwise returns count.
VOX_API int OutRUL(int kind, int count, const std::int32_t *positions,
                   const unsigned char *types, const unsigned char *leaders,
                   vox::LeaderPutFunc put);
// The left and first-line indents as NTB, IPS, STM, LMR and TAB records;
// the ruler is as before afterwards.
VOX_API int OutTempMargin(std::int32_t left, std::int32_t first, int shift,
                          std::int32_t margin);
VOX_API int OutIPS(std::int32_t first, std::int32_t left, std::int32_t margin,
                   int absolute);
VOX_API int OutSTM(std::int32_t target, std::int32_t margin, int absolute);
VOX_API int OutLMR(int from, int to, std::int32_t margin, int absolute);

// Ruler editing.  InsertTab returns 1 when the stop was added, else 0;
// FindPosInRuler returns the opened slot or -1; FindTsNum the index of
// the stop at exactly this position or -1.  MoveRulerDown opens a gap at
// index (0 to c_cur_tabs), MoveRulerUp closes the slot at index; both
// return -1 for an index outside those bounds, else 0.
VOX_API int InsertTab(std::int32_t position, int type);
VOX_API int FindPosInRuler(std::int32_t position);
VOX_API int FindTsNum(std::int32_t position);
VOX_API int MoveRulerDown(int index);
VOX_API int MoveRulerUp(int index);
VOX_API int RemoveVitrualTabs(void);

// A character of the given code page as XCS (when not 437) followed by
// HEX, UCS or a text byte for its code page 437 form.
VOX_API int OutXCS(int character, int code_page);

// The first of count bytes that differs from byte, or null (also for a
// null area).
VOX_API const unsigned char *memcchr(const unsigned char *area, int byte, int count);
}
