// The page list: one record per <Page statement in document order, each
// with the text rectangles its flows run through; the page statements that
// fill it; and the records written when the text enters a rectangle
// (page break, orientation, page size, margins, paragraph border) and,
// at the end, one page description per page.
#pragma once

#include "common/api.h"

namespace vox {

// Page types.
enum PageType { kBodyPage = 1, kMasterPage = 2, kReferencePage = 3, kHiddenPage = 4 };

// One <TextRect of a page; lengths in twips.
struct TextRectRecord {
    int id = 0;                       // from <ID
    int left = 0, top = 0, width = 0, height = 0;  // from <BRect
    int next_id = 0;                  // from <TRNext: the rectangle the flow continues in, 0 none
    int pen = 15;                     // pen_setting when <BRect was read; 15 no border
    TextRectRecord *next = nullptr;
    TextRectRecord *prev = nullptr;
};

// An imported object of a page; defined by the inset reader.
struct PagePicture;

// One <Page; lengths in twips.
struct PageRecord {
    int height = 0, width = 0;        // from <PageSize
    int orientation = 0;              // 0 portrait, 1 landscape
    int graphic_kind = 0;             // the page's imported graphic, set by the inset reader
    char *graphic_file_name = nullptr;
    int num_text_rects = 0;           // set when the page closes
    int page_type = kBodyPage;        // PageType
    int master_kind = 0;              // 0 none, 1 left, 2 right, 3 other
    char *tag = nullptr;              // copy of the <PageTag string, or none
    TextRectRecord *text_rects = nullptr;  // in document order
    PagePicture *page_pictures = nullptr;
    PageRecord *next = nullptr;
    PageRecord *prev = nullptr;
};

// Pending break kinds of start_new_page.
enum PageBreak { kNoBreak = 0, kHardBreak = 1, kSoftBreak = 2 };

constexpr int kNoBorderPen = 15;
constexpr int kPageTagLimit = 300;  // characters of a <PageTag kept

// One entry of the look-up index of page text rectangles by ID: `order`
// is the rectangle's position in page order, so that among equal IDs the
// first in page order sorts first.
struct RectIndexEntry {
    int id;
    int order;
    PageRecord *page;
    TextRectRecord *rect;
};

struct PageState {
    PageRecord *start_page_list = nullptr;
    PageRecord *last_page = nullptr;                 // the list's tail
    // Where the search for the next text flow in page order resumes: the
    // pages before it hold no rectangle that begins a flow still stored.
    PageRecord *flow_scan_page = nullptr;
    // Text rectangles by ID, built when first needed after rectangles or
    // their IDs changed (rect_index_dirty).
    RectIndexEntry *rect_index = nullptr;
    int rect_index_count = 0;
    int rect_index_dirty = 1;
    PageRecord *curr_pg_ptr = nullptr;
    int in_page = 0;
    int in_textrect = 0;
    int num_pg_rects = 0;                            // rectangles of the page being read
    TextRectRecord *curr_textrect_ptr = nullptr;     // the rectangle being read
    PageRecord *curr_textrect_pg_ptr = nullptr;      // where the text currently lies
    TextRectRecord *curr_textrect_data_ptr = nullptr;
    int start_new_page = kNoBreak;                   // break due when the text enters a rectangle
    int last_seen_orient = -1;                       // values last written
    int last_seen_form_len = 0;
    int last_seen_height = 0;
    int last_seen_form_width = 0;
    int last_seen_left_margin = 0;
    int last_seen_right_margin = 12240;
    int start_page_num = 1;
    int page_num_type = 0;
    int pen_setting = kNoBorderPen;                  // from <Pen
    int last_paragraph_pen = kNoBorderPen;           // pen of the last border record
};

}  // namespace vox

extern "C" {
// Page statements; each is called after its token number has been read.
VOX_API int tf_handle_page_token(void);
VOX_API int tf_handle_end_page(void);
VOX_API int tf_handle_pagesize_token(void);
VOX_API int tf_handle_pageorient_token(void);
VOX_API int tf_handle_pagetype_token(void);
VOX_API int tf_handle_pagetag_token(void);
VOX_API int tf_handle_textrect_token(void);
VOX_API int tf_handle_end_textrect(void);
VOX_API int tf_handle_id_token(void);
VOX_API int tf_handle_brect_token(void);
VOX_API int tf_handle_trnext_token(void);
VOX_API int tf_handle_dpagenumstyle_token(void);
VOX_API int tf_handle_dstartpage_token(void);
VOX_API int tf_handle_pen_token(void);
// The text enters the rectangle whose ID follows: writes the pending break,
// TRI, and the orientation, page size and margin records it implies.
VOX_API int tf_handle_textrectid_token(void);
// RSM from the old margins to the new ones, only inside a text flow.
VOX_API int tf_write_out_rsm(int old_left, int new_left, int old_right, int new_right);
// PBC for the pen when it differs from the pen of the last border record.
VOX_API int tf_handle_para_borders(int pen);
// PBC with the border code; sets clear_pbc.
VOX_API int tf_output_pbc(int code);
// PDT and RDT records of every page, in list order.
VOX_API int tf_output_dtp_pg_data(void);
// Frees the page list and forgets every page pointer.
VOX_API void tf_free_page_list(void);
}
