// Page statements: the page list they build, the records written when the
// text enters a text rectangle, and the page descriptions at the end.  The
// first entry's page form, a tagged master page, two rectangles on one page
// and a break not needed before the first paragraph are also pinned by the
// whole documents (master-pages*, hidden-flow, flows-page-order).
#include "converter/pages.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

// Lengths used below, in the preprocessed text and in twips.
constexpr char kLetter[] = "8.5\"11.0\"";       // 12240 x 15840
constexpr char kLegal[] = "8.5\"14.0\"";        // 12240 x 20160
constexpr char kBodyRect[] = "1\"1\"6.5\"9\"";   // 1440 1440 9360 12960
constexpr char kSmallRect[] = "0.5\"1\"2\"3\"";  // 720 1440 2880 4320

class PagesTest : public ConverterTest {
  protected:
    void TearDown() override { tf_free_page_list(); ConverterTest::TearDown(); }
    // Feeds a statement's values and its end, runs its handler and drops
    // what it left.
    static void run(int (*handler)(), const std::string &values) { feed(values + ">\r"); handler(); rest(); }
    // A page of this size and orientation (none when null) holding these
    // rectangles: ID, BRect, the next rectangle's ID (0: none) and pen.
    struct Rect { int id; const char *brect; int next_id, pen; };
    static void page(const char *size, const char *orientation, const std::vector<Rect> &rects) {
        tf_handle_page_token(), run(tf_handle_pagesize_token, size);
        if (orientation != nullptr) run(tf_handle_pageorient_token, orientation);
        for (const Rect &r : rects) {
            run(tf_handle_pen_token, std::to_string(r.pen)), tf_handle_textrect_token();
            run(tf_handle_id_token, std::to_string(r.id)), run(tf_handle_brect_token, r.brect);
            if (r.next_id != 0) run(tf_handle_trnext_token, std::to_string(r.next_id));
            tf_handle_end_textrect();
        }
        tf_handle_end_page();
    }
    // The rendering of what a text flow's <TextRectID statement writes.
    static std::string enter(int id) {
        OutputCapture capture;
        run(tf_handle_textrectid_token, std::to_string(id));
        return icf::render(capture.bytes());
    }
    static PageState &pages() { return conv().pages; }
};

// Three pages entered in turn, then described.  Catches page size, length
// or margins converted wrongly, records repeated when nothing changed,
// margins met outside a flow not counted as written, a length change
// without the old length (width unchanged: no PGW), POR without a change,
// an unknown ID leaving the pending break, the current rectangle or an
// active border in place, a later page's rectangle chosen for a duplicate
// ID; and PDT/RDT fields out of order, an untagged page not written as "",
// rectangles of one page split, a tag or type set on the wrong page.
TEST_F(PagesTest, EnteringRectanglesAndDescribingPages) {
    page(kLetter, "Portrait", {{1, kBodyRect, 2, 15}});
    page(kLegal, "Landscape", {{1, kBodyRect, 0, 15}, {2, kBodyRect, 3, 15}});
    run(tf_handle_pagetag_token, "`Second'");  // acts on the page opened last
    page(kLegal, "Landscape", {{3, kSmallRect, 0, 1}});
    run(tf_handle_pagetype_token, "RightMasterPage");
    // 15840 / 240 = 66, 12960 / 240 = 54, 20160 / 240 = 84, 17280 / 240 = 72;
    // margins 0..12240, then 1440..10800, 720..3600.
    struct { int flow, id; const char *records; int pending; } steps[] = {
        {0, 1, "TRI 1\nPOR 0\nSFL 0 0 66 54 15840 12960\nPGW 85 12240\n", kSoftBreak},
        {1, 1, "SNP\nTRI 1\n", kSoftBreak},
        {1, 2, "SNP\nTRI 2\nPOR 1\nSFL 66 54 84 72 20160 17280\n", kSoftBreak},
        {1, 3, "SNP\nTRI 3\nPBC 1111 0 00 00 00 00\nRSM 10 75 5 25 720 3600\n", kHardBreak},
        {1, 9, "TRI 9\nPBC 0000 0 00 00 00 00\n", kNoBreak},
        {1, 1, "TRI 1\nPOR 0\nSFL 84 72 66 54 15840 12960\nRSM 5 25 10 75 1440 10800\n", kSoftBreak},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.records);
        conv().routing.text_flow = s.flow;
        EXPECT_EQ(enter(s.id), s.records);
        EXPECT_EQ(pages().start_new_page, s.pending);
        EXPECT_EQ(pages().curr_textrect_data_ptr == nullptr && pages().curr_textrect_pg_ptr == nullptr, s.id == 9);
    }
    OutputCapture capture;
    tf_output_dtp_pg_data();
    EXPECT_EQ(icf::render(capture.bytes()),
              "PDT 1 0 \"\" 1 1\nRDT 1 1440 1440 9360 12960\nPDT 1 0 Second 2 1 2\nRDT 1 1440 1440 9360 12960\n"
              "RDT 2 1440 1440 9360 12960\nPDT 2 2 \"\" 1 3\nRDT 3 720 1440 2880 4320\n");
}

// Catches SNP and HNP confused (the soft break is in the test above), a
// break written with text in the paragraph (it must be deferred), with no
// paragraph yet, or while a frame is output.
TEST_F(PagesTest, PendingBreakIsWrittenOnTheNextEntry) {
    // The next ID of rectangle 2 (last of the page), paragraphs and
    // characters so far, in a frame: what entering rectangle 1 then writes.
    struct { const char *name; int next, pars, chars, apo; const char *second; int deferred; } cases[] = {
        {"last without next ID", 0, 1, 0, 0, "HNP\nTRI 1\n", 0}, {"paragraph has text", 0, 1, 4, 0, "TRI 1\n", 1},
        {"no paragraph completed", 0, 0, 0, 0, "TRI 1\n", 0},   {"frame being output", 3, 1, 0, 1, "TRI 1\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown(), SetUp();
        page(kLetter, nullptr, {{1, kBodyRect, 0, 15}, {2, kBodyRect, c.next, 15}});
        enter(2), conv().layout.pars_in_doc = c.pars;
        conv().strings.para_char_cnt = c.chars, conv().frames.in_apo = c.apo;
        EXPECT_EQ(enter(1), c.second);
        EXPECT_EQ(conv().strings.hnp_after_hnl, c.deferred);
    }
}

// Catches an unknown orientation word changing the orientation instead of
// setting error 12, and a PageType or DPageNumStyle word mapped to the
// wrong value (BodyPage and RightMasterPage are in the test above; an
// unknown style leaves the style as it was).
TEST_F(PagesTest, StatementWords) {
    tf_handle_page_token();
    PageRecord &p = *pages().curr_pg_ptr;
    run(tf_handle_pageorient_token, "Landscape"), run(tf_handle_pageorient_token, "Sideways");
    EXPECT_EQ(p.orientation * 100 + kernel().errors.last_err, 112);
    std::string types, styles;
    for (const char *word : {"LeftMasterPage", "OtherMasterPage", "ReferencePage", "HiddenPage", "Unknown"})
        run(tf_handle_pagetype_token, word), types += std::to_string(p.page_type * 10 + p.master_kind) + " ";
    for (const char *word : {"Arabic", "UCRoman", "LCRoman", "UCAlpha", "LCAlpha", "Greek"})
        pages().page_num_type = 1, run(tf_handle_dpagenumstyle_token, word),
            styles += std::to_string(pages().page_num_type);
    EXPECT_EQ(types + styles, "21 23 30 40 10 054321");
}

// Catches a statement out of its context acted on or not reported.
TEST_F(PagesTest, StatementsOutOfContextAreReported) {
    struct { bool in_page, in_textrect; int (*handler)(); const char *values, *message; } cases[] = {
        {true, false, tf_handle_page_token, "", "Page Token: AlReady in page when Page is seen."},
        {false, false, tf_handle_pagesize_token, kLetter, "PageSize Token: Got when not in page."},
        {false, false, tf_handle_pageorient_token, "Portrait", "PageOrient Token: Got when not is page."},
        {false, false, tf_handle_textrect_token, "", "TextRect Token: Got when not in page or in textrect."},
        {true, true, tf_handle_textrect_token, "", "TextRect Token: Got when not in page or in textrect."},
        {true, false, tf_handle_id_token, "3", "Id Token: Got when not in textrect or not in frame."},
        {true, false, tf_handle_trnext_token, "3", "TRNext Token: Got when not in textrect."},
        {true, false, tf_handle_pagetag_token, "12", "Handle PageTag Token: Could not read string."},
        {false, false, tf_handle_dpagenumstyle_token, "Greek", "Pg Num Sty Token: Got bad style type."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        TearDown(), SetUp();
        if (c.in_page) tf_handle_page_token();
        if (c.in_textrect) tf_handle_textrect_token();
        {
            Diagnostics diagnostics;
            run(c.handler, c.values);
            EXPECT_EQ(diagnostics.seen, std::vector<std::string>{c.message});
        }
        EXPECT_EQ((pages().start_page_list != nullptr) * 10 + pages().num_pg_rects, c.in_page * 10 + c.in_textrect);
    }
}

}  // namespace
}  // namespace vox::test
