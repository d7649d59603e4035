// The validity check, the preprocessing pass and its macros, the token
// table, and the output routing point the pass writes through.  The pass is
// driven as the driver drives it: source file, streams, preproceesed_bf,
// output redirected to tf_frame_putc and input to preproc_getc.  Expected
// preprocessed texts are worked out by hand from the pass's rules.
#include <cstdlib>
#include <filesystem>

#include "converter/conversion.h"
#include "converter/preprocess.h"
#include "converter/routing.h"
#include "converter/token_table.h"
#include "test_support.h"

namespace vox::test {
namespace {

// The statement start of token n in the preprocessed text.
std::string start(int n) { return "<" + std::to_string(n) + "\xfe"; }

std::string drain(int handle) {
    std::string bytes;
    for (int c = bufget(handle); c != -1; c = bufget(handle)) bytes.push_back(static_cast<char>(c));
    return bytes;
}

class PreprocessTest : public KernelTest {
  protected:
    void SetUp() override { KernelTest::SetUp(); reset_conversion(); }
    void TearDown() override { close_source(); reset_conversion(); KernelTest::TearDown(); }

    // A fresh conversion over this source (or the file at path), with the
    // streams and preproceesed_bf open, as the driver has them before the
    // validity check.
    void open_source(const std::string &bytes, std::string path = "") {
        close_source();
        fresh_kernel();
        reset_conversion();
        if (path.empty()) write_file(path = dir.file("doc.zem"), bytes);
        source_ = VOXopen(path.c_str(), 1, 1);
        ASSERT_GE(source_, 0) << path;
        ASSERT_EQ(b_open(source_, -1, 2048), 0);
        conv().buffers.preproceesed_bf = bufopen(512);
    }
    void close_source() {
        RedirectInputClose();
        RedirectOutputClose();
        b_close();
        if (source_ >= 0) VOXclose(source_);
        source_ = -1;
    }
    // Runs the pass with the driver's redirection and copying string mode;
    // returns the code it ended the run with (-1: none).
    int run_pass() {
        RoutingState &r = conv().routing;
        RedirectOutput(tf_frame_putc, tf_frame_unput);
        RedirectInput(preproc_getc);
        r.redirect_mode = r.redirect_in_mode = 1;
        r.convert_string = 0;
        return exit_code_of([] { EXPECT_EQ(do_token(), 0); });
    }
    // The preprocessed text of a valid source, made visible.
    std::string preprocess(const std::string &source) {
        open_source(source);
        EXPECT_EQ(tf_check_for_valid_zem(), 0);
        EXPECT_EQ(run_pass(), -1);
        return visible(drain(conv().buffers.preproceesed_bf));
    }

    TempDir dir;
    int source_ = -1;
};

const std::string kHeader = "<ZEMFile 5.00>\n";

// Catches a wrong number for a name, an inexact or case-blind match, and a
// table entry the search cannot find or a number given twice.
TEST(TokenTableTest, LookupIsExactAndCoversEveryEntryOnce) {
    const std::pair<const char *, int> names[] = {
        {"AFrames", 1}, {"AFrame", 2},     {"Pgf", 55},  {"PgfTag", 53}, {"PgfLeading", 54}, {"TblF", 72},
        {"Tbl", 83},    {"TblTitle", 143}, {"pgf", 0},   {"PGF", 0},     {"Pg", 0},          {"PgfTagX", 0},
        {"", 0},        {" Pgf", 0},       {"ZEMFile", 0}, {"define", 0}};
    for (const auto &n : names) EXPECT_EQ(convert_token(n.first), n.second) << '"' << n.first << '"';
    std::vector<int> seen(kTokenCount + 1, 0);
    for (int i = 0; i < kTokenCount; ++i) {
        const TokenEntry &e = token_list[i];
        EXPECT_TRUE(i == 0 || cmp_func(&token_list[i - 1], &e) < 0) << e.name;
        ASSERT_TRUE(e.number >= 1 && e.number <= kTokenCount) << e.name;
        ++seen[e.number];
        EXPECT_EQ(convert_token(e.name), e.number) << e.name;
    }
    for (int n = 1; n <= kTokenCount; ++n) EXPECT_EQ(seen[n], 1) << "token " << n;
}

// Catches a wrong code for a non-ZEM or cut-short source, a wrong version
// class or book flag, and a header not skipped whole (strings, nesting).
TEST_F(PreprocessTest, ValidityCheck) {
    struct Row {
        const char *source;
        int code, version, book;
    } rows[] = {
        {" <ZEMFile 5.00>\n", 9, 0, 0},   {"\n<ZEMFile 5.00>\n", 9, 0, 0}, {"# x\n<ZEMFile 5.00>\n", 9, 0, 0},
        {"<ZEMFilx 5.00>", 9, 0, 0},      {"", 2, 0, 0},                   {"<Book", 2, 0, 0},
        {"<ZEMFile 4.00>Z", 0, 4, 0},     {"<ZEMFile 3.00>Z", 0, 3, 0},    {"<ZEMFile 2.00>Z", 0, 3, 0},
        {"<ZEMFile 5.50>Z", 0, 5, 0},     {"<ZEMFile 6.00>Z", 0, 5, 0},    {"< \tZEMFile 4.00>Z", 0, 4, 0},
        // The seven bytes "Book 5." are the name; the number read after them is 0.
        {"<Book 5.0 `a>b' <X 1>>Z", 0, 3, 1},
    };
    for (const Row &r : rows) {
        open_source(r.source);
        EXPECT_EQ(tf_check_for_valid_zem(), r.code) << visible(r.source);
        EXPECT_EQ(conv().preproc.zem_ver, r.version) << r.source;
        EXPECT_EQ(conv().preproc.zem_book, r.book) << r.source;
        if (r.code == 0) { EXPECT_EQ(b_getc(), 'Z') << r.source; }
    }
}

// Catches any fault in the bytes the pass writes: token starts, value
// blanks, strings, comments, unknown and lower-case statements dropped
// whole, data lines, definitions and their substitution, cut buffers.
TEST_F(PreprocessTest, PreprocessedBytes) {
    const std::string name(300, 'N'), value(700, 'v');
    const std::pair<std::string, std::string> rows[] = {
        {"<Pgf\n  <PgfTag `Body'>\n  <PgfLeading 2.0 pt> # comment\n>\n",
         start(55) + "\r" + start(53) + "`Body'>\r" + start(54) + "2.0pt>\r" + ">\r"},
        {"<PageSize 612.0 pt 792.0 pt>\n<String `two  blanks \\xd0 here'>\n",
         start(40) + "612.0pt792.0pt>\r" + start(60) + "`two  blanks \\xd0 here'>\r"},
        // The comment after the name takes the line end with it.
        {"# <Pgf> `not a string\n<Pgf # still the Pgf line\n>\n", start(55) + ">\r"},
        // The dropped statement's line had a '<' after the last '>' written:
        // its line end leaves one carriage return.
        {"<Pgf\n <Unique 12\n  <Nested `a > b' <Deeper 1>>\n >\n <PgfTag `X'>\n>\n",
         start(55) + "\r\r" + start(53) + "`X'>\r>\r"},
        {"<pgf <PgfTag `A'>>\n<Pgf>\n", "\r" + start(55) + ">\r"},
        // '=' and '&' start data lines only between statements.
        {"<ImportObject\n=TIFF\n&%v 1 \t2\n>\n<MText a=b & c>\n",
         start(31) + "\r=TIFF\r&%v 1 \t2\r>\r" + start(35) + "a=b&c>\r"},
        {"<Page 7 <PageTag `R'>>\n", start(43) + "7" + start(41) + "`R'>\r>\r"},
        // A definition inside the Pgf line leaves the carriage return owed
        // to the Pgf start; on a line of its own it leaves nothing.
        {"<define(Hd,PgfTag)>\n<Pgf <define(Ln,PgfLeading)>\n <Hd `Title'>\n <Ln 2pt>\n>\n",
         start(55) + "\r" + start(53) + "`Title'>\r" + start(54) + "2pt>\r>\r"},
        {"<define(Hd, `PgfTag' ) extra>\n<Hd>\n", start(53) + ">\r"},
        // A redefinition replaces; <X> becomes Y, not looked up again: unknown.
        {"<define(A,Pgf)><define(A,Para)><A>\n<define(X,Y)><define(Y,Pgf)><X>\n", start(45) + ">\r\r"},
        // Long strings, names and macro values are not cut.
        {"<String `" + value + "'>\n<" + name + " 1>\n<define(" + name + ",PgfLeading)><" + name +
             " 1.0\">\n<define(S," + std::string(1000, 'q') + ")><S>\n",
         start(60) + "`" + value + "'>\r\r" + start(54) + "1.0\">\r\r"},
    };
    for (const auto &row : rows) EXPECT_EQ(preprocess(kHeader + row.first), visible(row.second)) << row.first;
}

// Catches a line end form that is not read as one (doubled or lost CR).
TEST_F(PreprocessTest, CrAndLfAndCrLfLineEndsGiveTheSameText) {
    for (std::string e : {"\n", "\r", "\r\n"})
        EXPECT_EQ(preprocess("<ZEMFile 5.00>" + e + "<Pgf" + e + " <PgfTag `A'>" + e + "=data 1" + e + ">" + e),
                  visible(start(55) + "\r" + start(53) + "`A'>\r=data 1\r>\r"))
            << visible(e);
}

// Catches a missing or extra '>' not ending the run with code 16.
TEST_F(PreprocessTest, UnbalancedBracketsEndTheRunWithCode16) {
    for (const char *body : {"<Pgf\n <PgfTag `A'>\n", "<Pgf>>\n"}) {
        open_source(kHeader + body);
        ASSERT_EQ(tf_check_for_valid_zem(), 0);
        EXPECT_EQ(run_pass(), 16) << body;
    }
}

// Catches a macro list that loses order, replaces without leave, writes
// past the word's room, or trims a definition given whole in one word.
TEST_F(PreprocessTest, MacroListStoresReplacesAndSubstitutes) {
    EXPECT_EQ(store_in_macro_list("A", "one", 0), 0);
    EXPECT_EQ(store_in_macro_list("B", "two", 0), 0);
    EXPECT_EQ(store_in_macro_list("A", "uno", 0), -1);
    EXPECT_EQ(store_in_macro_list("A", "eins", 1), 0);
    const MacroEntry *e = conv().preproc.macro_list_ptr;
    ASSERT_TRUE(e && e->next);
    EXPECT_EQ(std::string(e->name) + e->value + e->next->name, "AeinsB");
    EXPECT_EQ(e->next->next, nullptr);
    char word[8] = "B", small[4] = "A", other[8] = "AB";  // "eins" needs 5 bytes
    EXPECT_EQ(replace_macro(word, sizeof word), 1);
    EXPECT_STREQ(word, "two");
    EXPECT_EQ(replace_macro(small, sizeof small), 0);
    EXPECT_STREQ(small, "A");
    EXPECT_EQ(do_special_word(other, sizeof other), 0);
    EXPECT_STREQ(other, "AB");
    char define[] = "define( a ,`b')", lookup[16] = " a ";
    EXPECT_EQ(do_special_word(define, sizeof define), 1);
    EXPECT_EQ(replace_macro(lookup, sizeof lookup), 1);
    EXPECT_STREQ(lookup, "`b'");
}

// Catches a leaked block on freeing, and on each failed allocation of a
// new entry (entry, name, value).
TEST_F(PreprocessTest, MacroMemoryIsReturnedAlsoWhenAllocationFails) {
    CountingAllocator::install();
    ASSERT_EQ(store_in_macro_list("A", "x", 1), 0);
    ASSERT_EQ(store_in_macro_list("B", "y", 1), 0);
    ASSERT_EQ(store_in_macro_list("A", "z", 1), 0);
    EXPECT_GT(CountingAllocator::outstanding(), 0);
    tf_free_macro_list();
    EXPECT_EQ(conv().preproc.macro_list_ptr, nullptr);
    EXPECT_EQ(CountingAllocator::outstanding(), 0);
    for (long k = 1; k <= 3; ++k) {
        CountingAllocator::install(k);
        EXPECT_EQ(store_in_macro_list("C", "w", 1), -2) << k;
        EXPECT_EQ(conv().preproc.macro_list_ptr, nullptr) << k;
        EXPECT_EQ(CountingAllocator::outstanding(), 0) << k;
    }
    CountingAllocator::uninstall();
}

// Catches a copy that loses or doubles its end byte, or runs past the
// end of input.
TEST_F(PreprocessTest, RestOfLineAndStringAreCopiedWithTheirEnd) {
    conv().routing.preprocess = 0;
    int in = conv().buffers.preproceesed_bf = bufopen(512), out = bufopen(512);
    bufputs(in, reinterpret_cast<const unsigned char *>("abc\rdef'gh"), 10);
    tf_store_rest_of_line(out);
    tf_buff_string(out);
    tf_store_rest_of_line(out);  // ends at the end of input
    tf_buff_string(out);
    EXPECT_EQ(visible(drain(out)), visible("abc\rdef'gh\r'"));
}

// Catches a wrong destination order or take-back order, a take-back from
// the pass's or body buffer, progress counted during the pass, and
// redirection not resumed after a write to the target.
TEST_F(PreprocessTest, RoutingAndTakeBackFollowTheFlagOrder) {
    ConversionBuffers &b = conv().buffers;
    RoutingState &r = conv().routing;
    for (int *h : {&b.preproceesed_bf, &b.nat_buff, &b.apo_temp_buff, &b.text_flow_buff, &b.table_buff,
                   &b.int_tmp_buff})
        *h = bufopen(512);
    write_file(dir.file("target"), "");
    int target = VOXopen(dir.file("target").c_str(), 2, 2);
    ASSERT_EQ(b_open(-1, target, 2048), 0);
    RedirectOutput(tf_frame_putc, tf_frame_unput);
    r.redirect_mode = 1;
    int *flags[] = {&r.preprocess, &r.native_gfx_output, &r.output_apo_buff, &r.text_flow, &r.in_table,
                    &r.output_to_int_file};
    const unsigned before = kernel().progress.DispCurrentCount;
    for (int i = 0; i < 6; ++i) *flags[i] = 1;
    for (int i = 0; i < 6; ++i) {
        tf_frame_putc("ABCDEF"[i]);
        *flags[i] = 0;
    }
    tf_frame_putc('G');
    EXPECT_EQ(kernel().progress.DispCurrentCount, before + 6);  // all but the pass's byte
    EXPECT_EQ(kernel().streams.RedirectOutputFlag, 1);
    // Each destination gives back its own byte; the table's, once empty, -1.
    for (int i = 1; i < 5; ++i) *flags[i] = 1;
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(tf_frame_unput(), "ABCDE"[i]) << i;
        if (i == 4) { EXPECT_EQ(tf_frame_unput(), -1); }
        *flags[i] = 0;
    }
    EXPECT_EQ(tf_frame_unput(), 'F');  // from the target, whatever its flag
    EXPECT_EQ(tf_frame_unput(), -1);
    EXPECT_EQ(drain(b.preproceesed_bf) + drain(b.int_tmp_buff), "AG");
    b_close();
    VOXclose(target);
}

// Catches a diagnostic lost with a listener, or delivered without one.
TEST_F(PreprocessTest, DebugReachesTheListenerOnly) {
    std::string heard;
    vox42_set_diagnostic_listener([](const char *text, void *user) { *static_cast<std::string *>(user) += text; },
                                  &heard);
    tf_frame_debug("Start TextFlow: Already in a textflow.");
    vox42_set_diagnostic_listener(nullptr, nullptr);
    tf_frame_debug("discarded");
    EXPECT_EQ(heard, "Start TextFlow: Already in a textflow.");
}

// The fault in a preprocessed text's structure: statement starts ('<', a
// token number, 254) against ends ('>' CR), strings and data lines stepped
// over; empty when it holds.  Counts the statement starts.
std::string structure_fault(const std::string &text, long &starts) {
    long depth = 0;
    starts = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool line_start = i == 0 || text[i - 1] == '\r';
        std::size_t end = i;
        if (text[i] == '`') {
            end = text.find('\'', i + 1);
        } else if (line_start && (text[i] == '=' || text[i] == '&')) {
            end = text.find('\r', i);
        } else if (text[i] == '<') {
            end = text.find('\xfe', i);
            int n = end == std::string::npos ? 0 : std::atoi(text.substr(i + 1, end - i - 1).c_str());
            if (n < 1 || n > kTokenCount) return "bad statement start at " + std::to_string(i);
            ++depth, ++starts;
        } else if (text[i] == '>') {
            if (text.compare(i, 2, ">\r") != 0 || --depth < 0) return "bad '>' at " + std::to_string(i);
            end = i + 1;
        }
        if (end == std::string::npos) return "unterminated at " + std::to_string(i);
        i = end;
    }
    return depth == 0 ? "" : "open statements at the end";
}

// Catches a real document the pass cannot take: a run ended, an unbalanced
// or malformed text, or a text that lost its statements.
TEST_F(PreprocessTest, EverySampleDocumentPreprocessesBalanced) {
    const std::string corpus = "/work/shared/corpus/zem";
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(corpus, error))
        if (entry.path().extension() == ".zem") names.push_back(entry.path());
    if (names.empty()) GTEST_SKIP() << "no sample documents at " << corpus;
    for (const std::string &name : names) {
        open_source("", name);
        ASSERT_EQ(tf_check_for_valid_zem(), 0) << name;
        EXPECT_EQ(run_pass(), -1) << name << " ended the run";
        long starts = 0;
        EXPECT_EQ(structure_fault(drain(conv().buffers.preproceesed_bf), starts), "") << name;
        EXPECT_GT(starts, 100) << name;
    }
}

}  // namespace
}  // namespace vox::test
