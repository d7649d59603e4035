// Page statements, the records implied by entering a text rectangle, and
// the page descriptions written at the end of the conversion.
#include "converter/pages.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/exit.h"
#include "common/int32.h"
#include "common/kernel_state.h"
#include "common/memory.h"
#include "common/records.h"
#include "common/streams.h"
#include "converter/conversion.h"
#include "converter/routing.h"
#include "converter/strings.h"
#include "converter/text_flows.h"
#include "converter/text_output.h"
#include "converter/token_reader.h"
#include "converter/value_readers.h"

namespace vox {
namespace {

constexpr int kAllocationFailure = 8;
constexpr int kBadValue = 12;
constexpr int kPageTextMargin = 2880;  // page length minus text height, twips

PageState &pg() { return conv().pages; }
FrameState &frames() { return conv().frames; }

template <typename T>
T *new_tracked() {
    void *area = VOXmalloc(sizeof(T));
    if (area == nullptr) conversion_fatal(kAllocationFailure);
    return new (area) T();
}

// PLACEHOLDER until the pictures module exists: writes the page's imported
// objects and graphics.  Does nothing.
void placeholder_output_page_pictures(PageRecord *) {}
// PLACEHOLDER until the frames module exists: step A.3, the pending
// anchored frame's record and buffered content.  Does nothing.
void placeholder_output_pending_frame(int) {}
// PLACEHOLDER until the frames module exists: <ID inside a frame.
void placeholder_frame_id(int) {}
// PLACEHOLDER until the frames module exists: <BRect inside a frame.
void placeholder_frame_brect() {}
// PLACEHOLDER until the pictures module exists: <BRect of an imported object.
void placeholder_importobject_brect() {}
// PLACEHOLDER until the frames module exists: forgets the frame's current
// text rectangle.
void placeholder_forget_frame_text_rect() {}

void append_page(PageRecord *page) {
    PageState &s = pg();
    page->prev = s.last_page;
    (s.last_page != nullptr ? s.last_page->next : s.start_page_list) = page;
    s.last_page = page;
}

void append_text_rect(PageRecord *page, TextRectRecord *rect) {
    TextRectRecord **link = &page->text_rects;
    TextRectRecord *prev = nullptr;
    while (*link != nullptr) {
        prev = *link;
        link = &(*link)->next;
    }
    rect->prev = prev;
    *link = rect;
}

// Inside a text rectangle of a page, as opposed to one of a frame.
bool in_page_text_rect() {
    return pg().in_textrect && !frames().frame_text_rect && pg().curr_textrect_ptr != nullptr;
}

void write_text_param(const char *text) {
    if (text != nullptr)
        for (const char *p = text; *p; ++p) b_putc(static_cast<unsigned char>(*p));
    b_putc(kUS);
}

// Step 1 of entering a rectangle: the break left pending by the rectangle
// the text last lay in.  A hard break in the middle of a paragraph waits
// for the paragraph's end; before the first paragraph it is not needed.
void write_pending_break() {
    PageState &s = pg();
    if (s.start_new_page == kNoBreak || frames().in_apo) return;
    if (s.start_new_page == kHardBreak) {
        if (conv().strings.para_char_cnt > 0)
            conv().strings.hnp_after_hnl = 1;
        else if (conv().layout.pars_in_doc > 0)
            out_icf(icf_code("HNP"));
    } else if (s.start_new_page == kSoftBreak) {
        out_icf(icf_code("SNP"));
    }
    if (s.curr_textrect_pg_ptr != nullptr) placeholder_output_page_pictures(s.curr_textrect_pg_ptr);
}

// Makes the first rectangle with this ID in page order current and sets the
// break its position implies.
bool index_before(const RectIndexEntry &a, const RectIndexEntry &b) {
    return a.id != b.id ? a.id < b.id : a.order < b.order;
}

// Rebuilds the look-up index of the page rectangles by ID.  False when
// memory for it cannot be had (the caller then searches the list).
bool rebuild_rect_index(PageState &s) {
    if (s.rect_index != nullptr) VOXfree(s.rect_index);
    s.rect_index = nullptr;
    s.rect_index_count = 0;
    int count = 0;
    for (PageRecord *page = s.start_page_list; page != nullptr; page = page->next)
        for (TextRectRecord *rect = page->text_rects; rect != nullptr; rect = rect->next) ++count;
    if (count > 0) {
        s.rect_index = static_cast<RectIndexEntry *>(VOXmalloc(sizeof(RectIndexEntry) * count));
        if (s.rect_index == nullptr) return false;
    }
    for (PageRecord *page = s.start_page_list; page != nullptr; page = page->next)
        for (TextRectRecord *rect = page->text_rects; rect != nullptr; rect = rect->next) {
            s.rect_index[s.rect_index_count] = {rect->id, s.rect_index_count, page, rect};
            ++s.rect_index_count;
        }
    std::sort(s.rect_index, s.rect_index + s.rect_index_count, index_before);
    s.rect_index_dirty = 0;
    return true;
}

// The first rectangle with this ID in page order (pages in list order, each
// page's rectangles in order), and its page; false when there is none.
bool first_rect_with_id(PageState &s, int id, PageRecord *&page_found, TextRectRecord *&rect_found) {
    if (!s.rect_index_dirty || rebuild_rect_index(s)) {
        const RectIndexEntry key{id, -1, nullptr, nullptr};
        RectIndexEntry *end = s.rect_index + s.rect_index_count;
        const RectIndexEntry *at = std::lower_bound(s.rect_index, end, key, index_before);
        if (at == end || at->id != id) return false;
        page_found = at->page;
        rect_found = at->rect;
        return true;
    }
    for (PageRecord *page = s.start_page_list; page != nullptr; page = page->next)
        for (TextRectRecord *rect = page->text_rects; rect != nullptr; rect = rect->next)
            if (rect->id == id) {
                page_found = page;
                rect_found = rect;
                return true;
            }
    return false;
}

void find_text_rect(int id) {
    PageState &s = pg();
    s.curr_textrect_pg_ptr = nullptr;
    s.curr_textrect_data_ptr = nullptr;
    s.start_new_page = kNoBreak;
    PageRecord *page = nullptr;
    TextRectRecord *rect = nullptr;
    if (!first_rect_with_id(s, id, page, rect)) return;
    s.curr_textrect_pg_ptr = page;
    s.curr_textrect_data_ptr = rect;
    if (rect->next == nullptr) s.start_new_page = rect->next_id != 0 ? kSoftBreak : kHardBreak;
}

void write_orientation(const PageRecord *page) {
    PageState &s = pg();
    if (page->orientation == s.last_seen_orient) return;
    beg_icf(icf_code("POR"));
    dec_out(page->orientation);
    end_icf();
    s.last_seen_orient = page->orientation;
}

void write_page_size(const PageRecord *page) {
    PageState &s = pg();
    int length = page->height;
    if (length != s.last_seen_form_len) {
        beg_icf(icf_code("SFL"));
        dec_out(s.last_seen_form_len / 240);
        dec_out(s.last_seen_height / 240);
        dec_out(length / 240);
        dec_out(wrap_sub(length, kPageTextMargin) / 240);
        dec_out(length);
        dec_out(wrap_sub(length, kPageTextMargin));
        end_icf();
    }
    s.last_seen_form_len = length;
    s.last_seen_height = wrap_sub(length, kPageTextMargin);
    if (page->width != s.last_seen_form_width) {
        beg_icf(icf_code("PGW"));
        dec_out(page->width / 144);
        dec_out(page->width);
        end_icf();
        s.last_seen_form_width = page->width;
    }
}

void write_margins(const TextRectRecord *rect) {
    PageState &s = pg();
    int left = rect->left;
    int right = wrap_add(rect->left, rect->width);
    if (left == s.last_seen_left_margin && right == s.last_seen_right_margin) return;
    tf_write_out_rsm(s.last_seen_left_margin, left, s.last_seen_right_margin, right);
    s.last_seen_left_margin = left;
    s.last_seen_right_margin = right;
}

struct WordValue {
    const char *word;
    int value;
    int master_kind;
};

constexpr WordValue kPageTypes[] = {
    {"LeftMasterPage", kMasterPage, 1},   {"RightMasterPage", kMasterPage, 2},
    {"OtherMasterPage", kMasterPage, 3},  {"ReferencePage", kReferencePage, 0},
    {"HiddenPage", kHiddenPage, 0},
};

constexpr WordValue kPageNumStyles[] = {
    {"Arabic", 0, 0}, {"UCRoman", 5, 0}, {"LCRoman", 4, 0}, {"UCAlpha", 3, 0}, {"LCAlpha", 2, 0},
};

template <std::size_t N>
const WordValue *find_word(const WordValue (&table)[N], const char *word) {
    for (const WordValue &entry : table)
        if (std::strcmp(entry.word, word) == 0) return &entry;
    return nullptr;
}

void write_page_description(const PageRecord *page) {
    beg_icf(icf_code("PDT"));
    dec_out(page->page_type);
    dec_out(page->master_kind);
    write_text_param(page->tag);
    dec_out(page->num_text_rects);
    for (const TextRectRecord *rect = page->text_rects; rect != nullptr; rect = rect->next)
        dec_out(rect->id);
    end_icf();
    for (const TextRectRecord *rect = page->text_rects; rect != nullptr; rect = rect->next) {
        beg_icf(icf_code("RDT"));
        dec_out(rect->id);
        dec_out(rect->left);
        dec_out(rect->top);
        dec_out(rect->width);
        dec_out(rect->height);
        end_icf();
    }
}

}  // namespace
}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_handle_page_token(void) {
    PageState &s = pg();
    if (s.in_page) {
        tf_frame_debug("Page Token: AlReady in page when Page is seen.");
        return 0;
    }
    PageRecord *page = new_tracked<PageRecord>();
    append_page(page);
    s.curr_pg_ptr = page;
    s.in_page = 1;
    s.num_pg_rects = 0;
    return 0;
}

VOX_API int tf_handle_end_page(void) {
    PageState &s = pg();
    s.in_page = 0;
    if (s.curr_pg_ptr != nullptr) s.curr_pg_ptr->num_text_rects = s.num_pg_rects;
    conv().text_flows.interal_graph_output = 0;
    return 0;
}

VOX_API int tf_handle_pagesize_token(void) {
    PageState &s = pg();
    if (!s.in_page || s.curr_pg_ptr == nullptr) {
        tf_frame_debug("PageSize Token: Got when not in page.");
        return 0;
    }
    s.curr_pg_ptr->width = tf_convert_next_num();
    s.curr_pg_ptr->height = tf_convert_next_num();
    tf_eat_rest_of_line();
    return 0;
}

VOX_API int tf_handle_pageorient_token(void) {
    PageState &s = pg();
    if (!s.in_page || s.curr_pg_ptr == nullptr) {
        tf_frame_debug("PageOrient Token: Got when not is page.");
        return 0;
    }
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    if (std::strcmp(word, "Portrait") == 0)
        s.curr_pg_ptr->orientation = 0;
    else if (std::strcmp(word, "Landscape") == 0)
        s.curr_pg_ptr->orientation = 1;
    else
        kernel().errors.last_err = kBadValue;
    return 0;
}

VOX_API int tf_handle_pagetype_token(void) {
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    PageRecord *page = pg().curr_pg_ptr;
    if (page == nullptr) return 0;
    const WordValue *type = find_word(kPageTypes, word);
    page->page_type = type != nullptr ? type->value : kBodyPage;
    page->master_kind = type != nullptr ? type->master_kind : 0;
    return 0;
}

VOX_API int tf_handle_pagetag_token(void) {
    char text[kPageTagLimit + 1];
    if (tf_from_read_string(text, kPageTagLimit) != 0) {
        tf_frame_debug("Handle PageTag Token: Could not read string.");
        return 0;
    }
    PageRecord *page = pg().curr_pg_ptr;
    if (page == nullptr) return 0;
    std::size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(VOXmalloc(size));
    if (copy == nullptr) conversion_fatal(kAllocationFailure);
    std::memcpy(copy, text, size);
    if (page->tag != nullptr) VOXfree(page->tag);
    page->tag = copy;
    return 0;
}

VOX_API int tf_handle_textrect_token(void) {
    PageState &s = pg();
    if (!s.in_page || s.in_textrect || s.curr_pg_ptr == nullptr) {
        if (frames().in_frame) frames().frame_text_rect = 1;
        tf_frame_debug("TextRect Token: Got when not in page or in textrect.");
        return 0;
    }
    TextRectRecord *rect = new_tracked<TextRectRecord>();
    append_text_rect(s.curr_pg_ptr, rect);
    s.rect_index_dirty = 1;
    s.curr_textrect_ptr = rect;
    s.in_textrect = 1;
    s.num_pg_rects += 1;
    return 0;
}

VOX_API int tf_handle_end_textrect(void) {
    frames().frame_text_rect = 0;
    pg().in_textrect = 0;
    placeholder_forget_frame_text_rect();
    return 0;
}

VOX_API int tf_handle_id_token(void) {
    if (!pg().in_textrect && !frames().in_frame) {
        tf_frame_debug("Id Token: Got when not in textrect or not in frame.");
        return 0;
    }
    int id = tf_read_next_int();
    if (id == 0) return 0;
    if (in_page_text_rect()) {
        pg().curr_textrect_ptr->id = id;
        pg().rect_index_dirty = 1;
    } else if (frames().in_frame)
        placeholder_frame_id(id);
    return 0;
}

VOX_API int tf_handle_brect_token(void) {
    if (frames().in_importobject) {
        placeholder_importobject_brect();
    } else if (frames().in_frame) {
        placeholder_frame_brect();
    } else if (in_page_text_rect()) {
        TextRectRecord *rect = pg().curr_textrect_ptr;
        rect->left = tf_convert_next_num();
        rect->top = tf_convert_next_num();
        rect->width = tf_convert_next_num();
        rect->height = tf_convert_next_num();
        rect->pen = pg().pen_setting;
    }
    return 0;
}

VOX_API int tf_handle_trnext_token(void) {
    if (!in_page_text_rect()) {
        tf_frame_debug("TRNext Token: Got when not in textrect.");
        return 0;
    }
    pg().curr_textrect_ptr->next_id = tf_read_next_int();
    return 0;
}

VOX_API int tf_handle_dpagenumstyle_token(void) {
    char word[kCompressWordSize];
    tf_read_compress_word(word);
    const WordValue *style = find_word(kPageNumStyles, word);
    if (style == nullptr) {
        tf_frame_debug("Pg Num Sty Token: Got bad style type.");
        return 0;
    }
    pg().page_num_type = style->value;
    return 0;
}

VOX_API int tf_handle_dstartpage_token(void) {
    pg().start_page_num = tf_read_next_int();
    return 0;
}

VOX_API int tf_handle_pen_token(void) {
    pg().pen_setting = tf_read_next_int();
    return 0;
}

VOX_API int tf_handle_textrectid_token(void) {
    PageState &s = pg();
    write_pending_break();
    int id = tf_read_next_int();
    if (frames().apo_data_seen) placeholder_output_pending_frame(id);
    beg_icf(icf_code("TRI"));
    dec_out(id);
    end_icf();
    if (!frames().in_apo) {
        find_text_rect(id);
        tf_handle_para_borders(s.curr_textrect_data_ptr != nullptr ? s.curr_textrect_data_ptr->pen
                                                                   : kNoBorderPen);
    }
    if (s.curr_textrect_data_ptr != nullptr) {
        write_orientation(s.curr_textrect_pg_ptr);
        write_page_size(s.curr_textrect_pg_ptr);
        write_margins(s.curr_textrect_data_ptr);
    }
    if (frames().first_page_gfx_output && s.curr_pg_ptr != nullptr)
        placeholder_output_page_pictures(s.curr_pg_ptr);
    return 0;
}

VOX_API int tf_write_out_rsm(int old_left, int new_left, int old_right, int new_right) {
    if (!conv().routing.text_flow) return 0;
    beg_icf(icf_code("RSM"));
    dec_out(old_left / 144);
    dec_out(old_right / 144);
    dec_out(new_left / 144);
    dec_out(new_right / 144);
    dec_out(new_left);
    dec_out(new_right);
    end_icf();
    return 0;
}

VOX_API int tf_handle_para_borders(int pen) {
    PageState &s = pg();
    if (pen == s.last_paragraph_pen) return 0;
    tf_output_pbc(pen == kNoBorderPen ? 0 : 0x1111);
    s.last_paragraph_pen = pen;
    return 0;
}

VOX_API int tf_output_pbc(int code) {
    beg_icf(icf_code("PBC"));
    HexOut16(code);
    dec_out(0);
    for (int i = 0; i < 4; ++i) HexOut8(0);
    end_icf();
    frames().clear_pbc = 1;
    return 0;
}

VOX_API int tf_output_dtp_pg_data(void) {
    for (const PageRecord *page = pg().start_page_list; page != nullptr; page = page->next)
        write_page_description(page);
    return 0;
}

VOX_API void tf_free_page_list(void) {
    PageState &s = pg();
    PageRecord *page = s.start_page_list;
    while (page != nullptr) {
        TextRectRecord *rect = page->text_rects;
        while (rect != nullptr) {
            TextRectRecord *next = rect->next;
            VOXfree(rect);
            rect = next;
        }
        if (page->tag != nullptr) VOXfree(page->tag);
        free_graphic_nodes(page->page_pictures);
        PageRecord *next = page->next;
        VOXfree(page);
        page = next;
    }
    if (s.rect_index != nullptr) VOXfree(s.rect_index);
    s.rect_index = nullptr;
    s.rect_index_count = 0;
    s.rect_index_dirty = 1;
    s.start_page_list = s.last_page = s.flow_scan_page = nullptr;
    s.curr_pg_ptr = nullptr;
    s.curr_textrect_ptr = nullptr;
    s.curr_textrect_pg_ptr = nullptr;
    s.curr_textrect_data_ptr = nullptr;
    conv().text_flows.curr_graph_node_ptr = nullptr;  // may have been one of the pages' nodes
}
}
