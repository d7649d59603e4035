// Page statements: the page list they build, the records written when the
// text enters a text rectangle, and the page descriptions at the end.
#include <string>
#include <vector>

#include "common/kernel_state.h"
#include "converter/conversion.h"
#include "converter/pages.h"
#include "icf_render.h"
#include "test_support.h"

namespace vox::test {
namespace {

// Lengths used below, in the preprocessed text and in twips.
constexpr char kLetter[] = "8.5\"11.0\">\r";        // 12240 x 15840
constexpr char kLegal[] = "8.5\"14.0\">\r";         // 12240 x 20160
constexpr char kBodyRect[] = "1\"1\"6.5\"9\">\r";    // 1440 1440 9360 12960

class PagesTest : public ConverterTest {
  protected:
    void TearDown() override {
        vox42_set_diagnostic_listener(nullptr, nullptr);
        tf_free_page_list();
        ConverterTest::TearDown();
    }
    void restart() {
        tf_free_page_list();
        ConverterTest::TearDown();
        ConverterTest::SetUp();
    }
    // Feeds a statement's values, runs its handler and drops what it left.
    static void run(int (*handler)(), const std::string &values) {
        feed(values);
        handler();
        rest();
    }
    static void open_page(const char *size, const char *orientation = nullptr) {
        tf_handle_page_token();
        run(tf_handle_pagesize_token, size);
        if (orientation != nullptr) run(tf_handle_pageorient_token, std::string(orientation) + ">\r");
    }
    static void add_rect(int id, const char *brect, int next_id = 0, int pen = 15) {
        run(tf_handle_pen_token, std::to_string(pen) + ">\r");
        tf_handle_textrect_token();
        run(tf_handle_id_token, std::to_string(id) + ">\r");
        run(tf_handle_brect_token, brect);
        if (next_id != 0) run(tf_handle_trnext_token, std::to_string(next_id) + ">\r");
        tf_handle_end_textrect();
    }
    // One page holding one rectangle per id, the last one pointing to next_id.
    static void page_with(const char *size, std::vector<int> ids, int next_id = 0, const char *orient = nullptr) {
        open_page(size, orient);
        for (std::size_t i = 0; i < ids.size(); ++i) add_rect(ids[i], kBodyRect, i + 1 == ids.size() ? next_id : 0);
        tf_handle_end_page();
    }
    // The bytes a text flow's <TextRectID statement writes, made readable.
    static std::string enter(int id) {
        OutputCapture capture;
        run(tf_handle_textrectid_token, std::to_string(id) + ">\r");
        return visible(capture.bytes());
    }
    static std::string bytes_of(const std::string &rendering) {
        std::string bytes, error;
        EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
        return visible(bytes);
    }
    static PageState &pages() { return conv().pages; }
};

// Catches page size, length or margins converted wrongly on first entry,
// records repeated when nothing changed, and a length change without the
// old length (width unchanged: no PGW or RSM).
TEST_F(PagesTest, EntryWritesOrientationPageSizeAndMargins) {
    conv().routing.text_flow = 1;
    page_with(kLetter, {1});
    page_with(kLegal, {2});
    EXPECT_EQ(pages().start_page_list->width, 12240);
    EXPECT_EQ(pages().start_page_list->height, 15840);
    // Margins 0..12240 become 1440..10800.
    EXPECT_EQ(enter(1), bytes_of("TRI 1\nPOR 0\nSFL 0 0 66 54 15840 12960\nPGW 85 12240\nRSM 0 85 10 75 1440 10800\n"));
    // No paragraph completed yet: no break either.
    EXPECT_EQ(enter(1), bytes_of("TRI 1\n"));
    // 20160 / 240 = 84, 17280 / 240 = 72.
    EXPECT_EQ(enter(2), bytes_of("TRI 2\nSFL 66 54 84 72 20160 17280\n"));
}

// Catches SNP and HNP confused, a break written with text in the paragraph
// (it must be deferred), with no paragraph yet, or while a frame is output.
TEST_F(PagesTest, PendingBreakIsWrittenOnTheNextEntry) {
    struct { const char *name; int first_entered, next_of_last, pars, chars, in_apo; const char *second; int deferred;
    } cases[] = {
        {"not last of page", 1, 0, 1, 0, 0, "TRI 1\n", 0},
        {"last with next ID", 2, 3, 1, 0, 0, "SNP\nTRI 1\n", 0},
        {"last without next ID", 2, 0, 1, 0, 0, "HNP\nTRI 1\n", 0},
        {"paragraph has text", 2, 0, 1, 4, 0, "TRI 1\n", 1},
        {"no paragraph completed", 2, 0, 0, 0, 0, "TRI 1\n", 0},
        {"frame being output", 2, 3, 1, 0, 1, "TRI 1\n", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        page_with(kLetter, {1, 2}, c.next_of_last);
        enter(c.first_entered);
        conv().layout.pars_in_doc = c.pars;
        pages().others.para_char_cnt = c.chars;
        pages().others.in_apo = c.in_apo;
        EXPECT_EQ(enter(1), bytes_of(c.second));
        EXPECT_EQ(pages().others.hnp_after_hnl, c.deferred);
    }
}

// Catches a later page's rectangle chosen for a duplicate ID.
TEST_F(PagesTest, FirstRectangleInPageOrderWinsForADuplicateId) {
    page_with(kLetter, {4, 5});
    open_page(kLegal, "Landscape");
    add_rect(5, "0.5\"0.5\"2\"3\">\r", 0, 1);
    tf_handle_end_page();
    std::string out = enter(5);
    PageRecord *first = pages().start_page_list;
    EXPECT_EQ(pages().curr_textrect_pg_ptr, first);
    EXPECT_EQ(pages().curr_textrect_data_ptr, first->text_rects->next);
    // Portrait letter page, pen 15: no border; last of its page, no successor.
    EXPECT_EQ(out, bytes_of("TRI 5\nPOR 0\nSFL 0 0 66 54 15840 12960\nPGW 85 12240\n"));
    EXPECT_EQ(pages().start_new_page, kHardBreak);
}

// Catches an unknown ID leaving the pending break, the current rectangle,
// or an active border in place.
TEST_F(PagesTest, UnknownIdWritesOnlyTriAndClearsBorder) {
    struct { int pen; const char *expected; } cases[] = {{1, "TRI 9\nPBC 0000 0 00 00 00 00\n"}, {15, "TRI 9\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pen);
        restart();
        conv().routing.text_flow = 1;
        open_page(kLetter);
        add_rect(1, kBodyRect, 0, c.pen);
        tf_handle_end_page();
        enter(1);
        ASSERT_EQ(pages().start_new_page, kHardBreak);
        EXPECT_EQ(enter(9), bytes_of(c.expected));
        EXPECT_EQ(pages().start_new_page, kNoBreak);
        EXPECT_EQ(pages().curr_textrect_data_ptr, nullptr);
        EXPECT_EQ(pages().curr_textrect_pg_ptr, nullptr);
    }
}

// Catches POR written without a change, and an unknown orientation word
// changing the orientation instead of setting error 12.
TEST_F(PagesTest, OrientationRecordOnlyOnChange) {
    page_with(kLetter, {1}, 2, "Portrait");
    page_with(kLetter, {2}, 3, "Landscape");
    page_with(kLetter, {3}, 0, "Landscape");
    enter(1);
    EXPECT_EQ(enter(2), bytes_of("SNP\nTRI 2\nPOR 1\n"));
    EXPECT_EQ(enter(3), bytes_of("SNP\nTRI 3\n"));
    EXPECT_EQ(enter(1), bytes_of("TRI 1\nPOR 0\n"));
    open_page(kLetter, "Landscape");
    run(tf_handle_pageorient_token, "Sideways>\r");
    EXPECT_EQ(pages().curr_pg_ptr->orientation, 1);
    EXPECT_EQ(kernel().errors.last_err, 12);
}

// Catches RSM written outside a flow, margins then not counted as written
// (written again on the next entry).
TEST_F(PagesTest, MarginRecordOnlyInsideATextFlow) {
    {
        OutputCapture capture;
        tf_write_out_rsm(1440, 2880, 12240, 10080);
        EXPECT_EQ(capture.bytes(), "");
        conv().routing.text_flow = 1;
        tf_write_out_rsm(1440, 2880, 12240, 10080);
        EXPECT_EQ(visible(capture.bytes()), bytes_of("RSM 10 85 20 70 2880 10080\n"));
    }
    conv().routing.text_flow = 0;
    page_with(kLetter, {1});
    enter(1);
    EXPECT_EQ(pages().last_seen_left_margin, 1440);
    EXPECT_EQ(pages().last_seen_right_margin, 10800);
    conv().routing.text_flow = 1;
    EXPECT_EQ(enter(1), bytes_of("TRI 1\n"));

}

// Catches PDT/RDT fields out of order, an untagged page not written as "",
// rectangles of one page split, a tag set on the wrong page.
TEST_F(PagesTest, PageDescriptionsForTwoPages) {
    open_page(kLetter);
    add_rect(1, kBodyRect, 2);
    add_rect(2, "1\"10\"6.5\"0.5\">\r");
    tf_handle_end_page();
    run(tf_handle_pagetag_token, "`First'>\r");  // acts on the page opened last
    open_page(kLetter);
    run(tf_handle_pagetype_token, "ReferencePage>\r");
    add_rect(7, "0.5\"0.5\"2\"3\">\r");
    tf_handle_end_page();
    {
        OutputCapture capture;
        tf_output_dtp_pg_data();
        EXPECT_EQ(visible(capture.bytes()), bytes_of("PDT 1 0 First 2 1 2\nRDT 1 1440 1440 9360 12960\n"
                                                     "RDT 2 1440 14400 9360 720\nPDT 3 0 \"\" 1 7\n"
                                                     "RDT 7 720 720 2880 4320\n"));
    }
}

// Catches a PageType or DPageNumStyle word mapped to the wrong value.
TEST_F(PagesTest, PageTypeAndNumberStyleWords) {
    struct { const char *word; int type, master; } types[] = {
        {"LeftMasterPage", 2, 1}, {"RightMasterPage", 2, 2}, {"OtherMasterPage", 2, 3},
        {"ReferencePage", 3, 0},  {"HiddenPage", 4, 0},      {"BodyPage", 1, 0},
    };
    open_page(kLetter);
    for (const auto &c : types) {
        SCOPED_TRACE(c.word);
        pages().curr_pg_ptr->page_type = pages().curr_pg_ptr->master_kind = 9;
        run(tf_handle_pagetype_token, std::string(c.word) + ">\r");
        EXPECT_EQ(pages().curr_pg_ptr->page_type, c.type);
        EXPECT_EQ(pages().curr_pg_ptr->master_kind, c.master);
    }
    struct { const char *word; int expected; } styles[] = {
        {"Arabic", 0}, {"UCRoman", 5}, {"LCRoman", 4}, {"UCAlpha", 3}, {"LCAlpha", 2}, {"Greek", 1}};
    for (const auto &c : styles) {
        SCOPED_TRACE(c.word);
        pages().page_num_type = 1;
        run(tf_handle_dpagenumstyle_token, std::string(c.word) + ">\r");
        EXPECT_EQ(pages().page_num_type, c.expected);
    }
}

// Catches a statement out of its context acted on or not reported.
TEST_F(PagesTest, StatementsOutOfContextAreReported) {
    struct { const char *name; bool in_page, in_textrect; int (*handler)(); const char *values, *message; } cases[] = {
        {"page in page", true, false, tf_handle_page_token, "", "Page Token: AlReady in page when Page is seen."},
        {"size outside page", false, false, tf_handle_pagesize_token, kLetter, "PageSize Token: Got when not in page."},
        {"orientation outside page", false, false, tf_handle_pageorient_token, "Portrait>\r",
         "PageOrient Token: Got when not is page."},
        {"text rect outside page", false, false, tf_handle_textrect_token, "",
         "TextRect Token: Got when not in page or in textrect."},
        {"text rect in text rect", true, true, tf_handle_textrect_token, "",
         "TextRect Token: Got when not in page or in textrect."},
        {"id outside text rect", true, false, tf_handle_id_token, "3>\r",
         "Id Token: Got when not in textrect or not in frame."},
        {"next outside text rect", true, false, tf_handle_trnext_token, "3>\r", "TRNext Token: Got when not in textrect."},
        {"tag not a string", true, false, tf_handle_pagetag_token, "12>\r", "Handle PageTag Token: Could not read string."},
        {"bad number style", false, false, tf_handle_dpagenumstyle_token, "Greek>\r", "Pg Num Sty Token: Got bad style type."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        if (c.in_page) open_page(kLetter);
        if (c.in_textrect) tf_handle_textrect_token();
        std::vector<std::string> seen;
        vox42_set_diagnostic_listener(
            [](const char *text, void *user) { static_cast<std::vector<std::string> *>(user)->push_back(text); },
            &seen);
        run(c.handler, c.values);
        vox42_set_diagnostic_listener(nullptr, nullptr);
        EXPECT_EQ(seen, std::vector<std::string>{c.message});
        EXPECT_EQ(pages().start_page_list != nullptr, c.in_page);
        EXPECT_EQ(pages().num_pg_rects, c.in_textrect ? 1 : 0);
    }
}

}  // namespace
}  // namespace vox::test
