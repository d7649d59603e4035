// The page list: one record per <Page statement in document order, each
// with the text rectangles its flows run through.  This header holds the
// records only; the page statements fill them.
#pragma once

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

struct PageState {
    PageRecord *start_page_list = nullptr;
    PageRecord *curr_pg_ptr = nullptr;
};

}  // namespace vox
