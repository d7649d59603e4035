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

    // A fresh conversion for the next case of a table.
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

    // The bytes a text flow's <TextRectID statement writes.
    static std::string enter(int id) {
        OutputCapture capture;
        run(tf_handle_textrectid_token, std::to_string(id) + ">\r");
        return capture.bytes();
    }

    static std::string bytes_of(const std::string &rendering) {
        std::string bytes, error;
        EXPECT_TRUE(icf::assemble(rendering, bytes, error)) << error;
        return bytes;
    }

    static PageState &pages() { return conv().pages; }
};

TEST_F(PagesTest, FirstEntryWritesOrientationPageSizeAndMargins) {
    conv().routing.text_flow = 1;
    open_page(kLetter);
    add_rect(1, kBodyRect);
    tf_handle_end_page();
    PageRecord *page = pages().start_page_list;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->width, 12240);
    EXPECT_EQ(page->height, 15840);
    EXPECT_EQ(page->num_text_rects, 1);
    // Margins 0..12240 become 1440..10800.
    EXPECT_EQ(visible(enter(1)), visible(bytes_of("TRI 1\nPOR 0\nSFL 0 0 66 54 15840 12960\n"
                                                  "PGW 85 12240\nRSM 0 85 10 75 1440 10800\n")));
    // The same rectangle again: nothing has changed, only the break of a
    // last rectangle without successor (no paragraph completed yet: none).
    EXPECT_EQ(visible(enter(1)), visible(bytes_of("TRI 1\n")));
}

TEST_F(PagesTest, PageLengthChangeCarriesOldLengthAndWidthIsKept) {
    conv().routing.text_flow = 1;
    open_page(kLetter);
    add_rect(1, kBodyRect);
    tf_handle_end_page();
    open_page(kLegal);
    add_rect(2, kBodyRect);
    tf_handle_end_page();
    enter(1);
    // 20160 / 240 = 84, 17280 / 240 = 72; width and margins unchanged.
    EXPECT_EQ(visible(enter(2)), visible(bytes_of("TRI 2\nSFL 66 54 84 72 20160 17280\n")));
}

struct BreakCase {
    const char *name;
    int first_entered;   // rectangle 1 is not the last of its page, 2 is
    int next_of_last;    // TRNext of rectangle 2
    int pars_in_doc;
    int para_char_cnt;
    int in_apo;
    const char *second_entry;
    int deferred;        // hnp_after_hnl afterwards
};

TEST_F(PagesTest, PendingBreakIsWrittenOnTheNextEntry) {
    const BreakCase cases[] = {
        {"not last of page", 1, 0, 1, 0, 0, "TRI 1\n", 0},
        {"last with next ID", 2, 3, 1, 0, 0, "SNP\nTRI 1\n", 0},
        {"last without next ID", 2, 0, 1, 0, 0, "HNP\nTRI 1\n", 0},
        {"paragraph has text", 2, 0, 1, 4, 0, "TRI 1\n", 1},
        {"no paragraph completed", 2, 0, 0, 0, 0, "TRI 1\n", 0},
        {"frame being output", 2, 3, 1, 0, 1, "TRI 1\n", 0},
    };
    for (const BreakCase &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        open_page(kLetter);
        add_rect(1, kBodyRect);
        add_rect(2, kBodyRect, c.next_of_last);
        tf_handle_end_page();
        enter(c.first_entered);
        conv().layout.pars_in_doc = c.pars_in_doc;
        pages().others.para_char_cnt = c.para_char_cnt;
        pages().others.in_apo = c.in_apo;
        EXPECT_EQ(visible(enter(1)), visible(bytes_of(c.second_entry)));
        EXPECT_EQ(pages().others.hnp_after_hnl, c.deferred);
    }
}

TEST_F(PagesTest, BreakWhileFrameIsOutputStaysPending) {
    open_page(kLetter);
    add_rect(1, kBodyRect);
    tf_handle_end_page();
    enter(1);
    ASSERT_EQ(pages().start_new_page, kHardBreak);
    conv().layout.pars_in_doc = 1;
    pages().others.in_apo = 1;
    EXPECT_EQ(visible(enter(1)), visible(bytes_of("TRI 1\n")));
    pages().others.in_apo = 0;
    EXPECT_EQ(visible(enter(1)), visible(bytes_of("HNP\nTRI 1\n")));
}

TEST_F(PagesTest, FirstRectangleInPageOrderWinsForADuplicateId) {
    open_page(kLetter);
    add_rect(4, kBodyRect);
    add_rect(5, kBodyRect);
    tf_handle_end_page();
    open_page(kLegal, "Landscape");
    add_rect(5, "0.5\"0.5\"2\"3\">\r", 0, 1);
    tf_handle_end_page();
    std::string out = enter(5);
    PageRecord *first = pages().start_page_list;
    EXPECT_EQ(pages().curr_textrect_pg_ptr, first);
    EXPECT_EQ(pages().curr_textrect_data_ptr, first->text_rects->next);
    // Portrait letter page, pen 15: no border; last of its page, no successor.
    EXPECT_EQ(visible(out), visible(bytes_of("TRI 5\nPOR 0\nSFL 0 0 66 54 15840 12960\nPGW 85 12240\n")));
    EXPECT_EQ(pages().start_new_page, kHardBreak);
}

struct UnknownIdCase {
    const char *name;
    int pen;
    const char *expected;
};

TEST_F(PagesTest, UnknownIdWritesOnlyTriAndClearsBorder) {
    const UnknownIdCase cases[] = {
        {"border on", 1, "TRI 9\nPBC 0000 0 00 00 00 00\n"},
        {"border off", 15, "TRI 9\n"},
    };
    for (const UnknownIdCase &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        conv().routing.text_flow = 1;
        open_page(kLetter);
        add_rect(1, kBodyRect, 0, c.pen);
        tf_handle_end_page();
        enter(1);
        ASSERT_EQ(pages().start_new_page, kHardBreak);
        EXPECT_EQ(visible(enter(9)), visible(bytes_of(c.expected)));
        EXPECT_EQ(pages().start_new_page, kNoBreak);
        EXPECT_EQ(pages().curr_textrect_data_ptr, nullptr);
        EXPECT_EQ(pages().curr_textrect_pg_ptr, nullptr);
    }
}

TEST_F(PagesTest, OrientationRecordOnlyOnChange) {
    open_page(kLetter, "Portrait");
    add_rect(1, kBodyRect, 2);
    tf_handle_end_page();
    open_page(kLetter, "Landscape");
    add_rect(2, kBodyRect, 3);
    tf_handle_end_page();
    open_page(kLetter, "Landscape");
    add_rect(3, kBodyRect);
    tf_handle_end_page();
    enter(1);
    // Each rectangle is the last of its page with a successor: soft breaks.
    EXPECT_EQ(visible(enter(2)), visible(bytes_of("SNP\nTRI 2\nPOR 1\n")));
    EXPECT_EQ(visible(enter(3)), visible(bytes_of("SNP\nTRI 3\n")));
    EXPECT_EQ(visible(enter(1)), visible(bytes_of("TRI 1\nPOR 0\n")));
}

TEST_F(PagesTest, UnknownOrientationWordKeepsOrientation) {
    open_page(kLetter, "Landscape");
    run(tf_handle_pageorient_token, "Sideways>\r");
    EXPECT_EQ(pages().curr_pg_ptr->orientation, 1);
    EXPECT_EQ(kernel().errors.last_err, 12);
}

TEST_F(PagesTest, MarginRecordOnlyInsideATextFlow) {
    struct {
        int text_flow;
        const char *expected;
    } cases[] = {{1, "RSM 10 85 20 70 2880 10080\n"}, {0, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text_flow);
        conv().routing.text_flow = c.text_flow;
        OutputCapture capture;
        tf_write_out_rsm(1440, 2880, 12240, 10080);
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(c.expected)));
    }
}

TEST_F(PagesTest, MarginsOutsideATextFlowStillCountAsWritten) {
    open_page(kLetter);
    add_rect(1, kBodyRect);
    tf_handle_end_page();
    conv().routing.text_flow = 0;
    enter(1);
    EXPECT_EQ(pages().last_seen_left_margin, 1440);
    EXPECT_EQ(pages().last_seen_right_margin, 10800);
    conv().routing.text_flow = 1;
    EXPECT_EQ(visible(enter(1)), visible(bytes_of("TRI 1\n")));
}

TEST_F(PagesTest, ParagraphBorderFollowsThePen) {
    struct {
        int pen;
        const char *expected;
    } steps[] = {
        {15, ""},
        {3, "PBC 1111 0 00 00 00 00\n"},
        {3, ""},
        {7, "PBC 1111 0 00 00 00 00\n"},
        {15, "PBC 0000 0 00 00 00 00\n"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.pen);
        OutputCapture capture;
        tf_handle_para_borders(s.pen);
        EXPECT_EQ(visible(capture.bytes()), visible(bytes_of(s.expected)));
    }
    EXPECT_EQ(pages().others.clear_pbc, 1);
}

TEST_F(PagesTest, PageDescriptionsForTwoPages) {
    open_page(kLetter);
    run(tf_handle_pagetag_token, "`First'>\r");
    add_rect(1, kBodyRect, 2);
    add_rect(2, "1\"10\"6.5\"0.5\">\r");
    tf_handle_end_page();
    open_page(kLetter);
    run(tf_handle_pagetype_token, "ReferencePage>\r");
    add_rect(7, "0.5\"0.5\"2\"3\">\r");
    tf_handle_end_page();
    OutputCapture capture;
    tf_output_dtp_pg_data();
    EXPECT_EQ(visible(capture.bytes()), visible(bytes_of("PDT 1 0 First 2 1 2\n"
                                                         "RDT 1 1440 1440 9360 12960\n"
                                                         "RDT 2 1440 14400 9360 720\n"
                                                         "PDT 3 0 \"\" 1 7\n"
                                                         "RDT 7 720 720 2880 4320\n")));
}

TEST_F(PagesTest, PageTypeWords) {
    struct {
        const char *word;
        int type, master;
    } cases[] = {
        {"LeftMasterPage", 2, 1}, {"RightMasterPage", 2, 2}, {"OtherMasterPage", 2, 3},
        {"ReferencePage", 3, 0},  {"HiddenPage", 4, 0},      {"BodyPage", 1, 0},
    };
    open_page(kLetter);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.word);
        pages().curr_pg_ptr->page_type = 9;
        pages().curr_pg_ptr->master_kind = 9;
        run(tf_handle_pagetype_token, std::string(c.word) + ">\r");
        EXPECT_EQ(pages().curr_pg_ptr->page_type, c.type);
        EXPECT_EQ(pages().curr_pg_ptr->master_kind, c.master);
    }
}

TEST_F(PagesTest, PageTypeAndTagBeforeAnyPageAreIgnored) {
    feed("HiddenPage>\r");
    tf_handle_pagetype_token();
    EXPECT_EQ(rest(), ">\r");
    feed("`Tag'>\r");
    tf_handle_pagetag_token();
    EXPECT_EQ(rest(), ">\r");
    EXPECT_EQ(pages().start_page_list, nullptr);
}

TEST_F(PagesTest, PageTagActsOnThePageOpenedLast) {
    open_page(kLetter);
    tf_handle_end_page();
    run(tf_handle_pagetag_token, "`Late'>\r");
    run(tf_handle_pagetag_token, "`Later'>\r");
    EXPECT_STREQ(pages().start_page_list->tag, "Later");
}

TEST_F(PagesTest, PageNumberStyleWords) {
    struct {
        const char *word;
        int expected;
    } cases[] = {{"Arabic", 0}, {"UCRoman", 5}, {"LCRoman", 4}, {"UCAlpha", 3}, {"LCAlpha", 2}, {"Greek", 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.word);
        pages().page_num_type = 1;
        run(tf_handle_dpagenumstyle_token, std::string(c.word) + ">\r");
        EXPECT_EQ(pages().page_num_type, c.expected);
    }
}

TEST_F(PagesTest, StatementValuesAndLeftovers) {
    open_page(kLetter);
    feed("1\"2\" rest of line>\r");
    tf_handle_pagesize_token();
    EXPECT_EQ(rest(), ">\r");
    EXPECT_EQ(pages().curr_pg_ptr->width, 1440);
    EXPECT_EQ(pages().curr_pg_ptr->height, 2880);
    run(tf_handle_dstartpage_token, "12>\r");
    EXPECT_EQ(pages().start_page_num, 12);
    add_rect(6, kBodyRect, 0, 4);
    tf_handle_textrect_token();
    run(tf_handle_id_token, "0>\r");  // 0 leaves the ID as it was
    tf_handle_end_textrect();
    tf_handle_end_page();
    TextRectRecord *first = pages().start_page_list->text_rects;
    EXPECT_EQ(first->id, 6);
    EXPECT_EQ(first->pen, 4);
    EXPECT_EQ(first->next->id, 0);
    EXPECT_EQ(pages().start_page_list->num_text_rects, 2);
}

struct DiagnosticCase {
    const char *name;
    bool in_page, in_textrect;
    int (*handler)();
    const char *values;
    const char *message;
};

TEST_F(PagesTest, StatementsOutOfContextAreReported) {
    const DiagnosticCase cases[] = {
        {"page in page", true, false, tf_handle_page_token, "",
         "Page Token: AlReady in page when Page is seen."},
        {"size outside page", false, false, tf_handle_pagesize_token, kLetter,
         "PageSize Token: Got when not in page."},
        {"orientation outside page", false, false, tf_handle_pageorient_token, "Portrait>\r",
         "PageOrient Token: Got when not is page."},
        {"text rect outside page", false, false, tf_handle_textrect_token, "",
         "TextRect Token: Got when not in page or in textrect."},
        {"text rect in text rect", true, true, tf_handle_textrect_token, "",
         "TextRect Token: Got when not in page or in textrect."},
        {"id outside text rect", true, false, tf_handle_id_token, "3>\r",
         "Id Token: Got when not in textrect or not in frame."},
        {"next outside text rect", true, false, tf_handle_trnext_token, "3>\r",
         "TRNext Token: Got when not in textrect."},
        {"tag not a string", true, false, tf_handle_pagetag_token, "12>\r",
         "Handle PageTag Token: Could not read string."},
        {"bad number style", false, false, tf_handle_dpagenumstyle_token, "Greek>\r",
         "Pg Num Sty Token: Got bad style type."},
    };
    for (const DiagnosticCase &c : cases) {
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
        int pages_listed = 0;
        for (PageRecord *p = pages().start_page_list; p != nullptr; p = p->next) ++pages_listed;
        EXPECT_EQ(pages_listed, c.in_page ? 1 : 0);
        if (c.in_page) {
            EXPECT_EQ(pages().num_pg_rects, c.in_textrect ? 1 : 0);
        }
    }
}

}  // namespace
}  // namespace vox::test
