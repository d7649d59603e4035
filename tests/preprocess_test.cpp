// The validity check, the preprocessing pass and its macros, the token
// table, and the output routing point the pass writes through.  The pass is
// driven as the driver drives it: source file, streams, preproceesed_bf,
// output redirected to tf_frame_putc and input to preproc_getc.  Expected
// preprocessed texts are worked out by hand from the pass's rules.
#include <set>

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
    for (int c; (c = bufget(handle)) != -1;) bytes.push_back(static_cast<char>(c));
    return bytes;
}

class PreprocessTest : public KernelTest {
  protected:
    void SetUp() override { KernelTest::SetUp(); reset_conversion(); }
    // RemovePurgeableFiles closes the files a test opened; fresh_kernel drops the streams.
    void TearDown() override { RemovePurgeableFiles(); reset_conversion(); KernelTest::TearDown(); }

    // A fresh conversion over this source, with the streams and preproceesed_bf open, as the
    // driver has them before the validity check.
    void open_source(const std::string &bytes) {
        TearDown();  // a fresh kernel and conversion
        write_file(dir.file("doc.zem"), bytes);
        ASSERT_EQ(b_open(VOXopen(dir.file("doc.zem").c_str(), 1, 1), -1, 2048), 0);
        conv().buffers.preproceesed_bf = bufopen(512);
    }
    // The preprocessed text of a valid source, or "ended with N" when the pass ends the run with
    // code N.  The pass runs with the driver's redirection and string mode.
    std::string preprocess(const std::string &source) {
        open_source(source);
        EXPECT_EQ(tf_check_for_valid_zem(), 0);
        RedirectOutput(tf_frame_putc, tf_frame_unput);
        RedirectInput(preproc_getc);
        conv().routing.redirect_mode = conv().routing.redirect_in_mode = 1;
        conv().routing.convert_string = 0;
        const int code = exit_code_of([] { EXPECT_EQ(do_token(), 0); });
        return code == -1 ? drain(conv().buffers.preproceesed_bf) : "ended with " + std::to_string(code);
    }

    TempDir dir;
};

// Catches a wrong number for a name, an inexact or case-blind match, and a
// table entry the search cannot find or a number given twice.
TEST(TokenTableTest, LookupIsExactAndCoversEveryEntryOnce) {
    EXPECT_EQ(std::make_pair(convert_token("AFrames"), convert_token("TblTitle")), std::make_pair(1, 143));
    for (const char *n : {"pgf", "PGF", "Pg", "PgfTagX", "", " Pgf", "define"}) EXPECT_EQ(convert_token(n), 0) << n;
    std::set<int> numbers;  // each found under its name, and 1 to kTokenCount once each
    for (const TokenEntry &e : token_list) EXPECT_EQ(convert_token(e.name), *numbers.insert(e.number).first) << e.name;
    EXPECT_TRUE(numbers.size() == kTokenCount && *numbers.begin() == 1 && *numbers.rbegin() == kTokenCount);
}

// Catches a wrong code for a non-ZEM or cut-short source, a wrong version
// class or book flag, and a header not skipped whole (strings, nesting).
TEST_F(PreprocessTest, ValidityCheck) {
    const struct { const char *source; int code, version, book; } rows[] = {
        {" <ZEMFile 5.00>\n", 9, 0, 0}, {"# x\n<ZEMFile 5.00>\n", 9, 0, 0}, {"<ZEMFilx 5.00>", 9, 0, 0}, {"", 2, 0, 0},
        {"<Book", 2, 0, 0}, {"<ZEMFile 4.00>Z", 0, 4, 0}, {"<ZEMFile 2.00>Z", 0, 3, 0}, {"<ZEMFile 6.00>Z", 0, 5, 0},
        // The seven bytes "Book 5." are the name; the number read after them is 0.
        {"<ZEMFile 3.00>Z", 0, 3, 0}, {"< \tZEMFile 4.00>Z", 0, 4, 0}, {"<Book 5.0 `a>b' <X 1>>Z", 0, 3, 1},
    };
    for (const auto &r : rows) {
        open_source(r.source);
        const int code = tf_check_for_valid_zem(), next = code ? 'Z' : b_getc();  // the byte after the header
        EXPECT_EQ(std::make_tuple(code, conv().preproc.zem_ver, conv().preproc.zem_book, next),
                  std::make_tuple(r.code, r.version, r.book, int{'Z'})) << visible(r.source);
    }
}

// Catches any fault in the bytes the pass writes: token starts, value blanks, strings, comments,
// unknown statements dropped whole, data lines, line ends of every form (CR, LF, CR LF: one each),
// definitions and their substitution, cut buffers; and a missing '>' not ending the run with code
// 16.  (An extra one: the driver's rows; a lower-case name is unknown: the token table.)
TEST_F(PreprocessTest, PreprocessedBytes) {
    const std::string name(300, 'N'), value(700, 'v'), pgf_a = start(55) + "\r" + start(53) + "`A'>\r=data 1\r>\r";
    const std::pair<std::string, std::string> rows[] = {
        {"<Pgf\n  <PgfTag `Body'>\n  <PgfLeading 2.0 pt> # comment\n>\n",
         start(55) + "\r" + start(53) + "`Body'>\r" + start(54) + "2.0pt>\r" + ">\r"},
        {"<Pgf\r <PgfTag `A'>\r=data 1\r>\r", pgf_a}, {"<Pgf\r\n <PgfTag `A'>\r\n=data 1\r\n>\r\n", pgf_a},
        {"<String 1 2 `two  blanks \\xd0 here'>\n", start(60) + "12`two  blanks \\xd0 here'>\r"},
        // The comment after the name takes the line end with it.
        {"# <Pgf> `not a string\n<Pgf # still the Pgf line\n>\n", start(55) + ">\r"},
        // The dropped statement's line had a '<' after the last '>' written: one carriage return.
        {"<Pgf\n <Unique 12\n  <Nested `a > b' <Deeper 1>>\n >\n <PgfTag `X'>\n>\n",
         start(55) + "\r\r" + start(53) + "`X'>\r>\r"},
        {"<Page 7 <PageTag `R'>>\n", start(43) + "7" + start(41) + "`R'>\r>\r"}, {"<Pgf <PgfTag>\n", "ended with 16"},
        // '=' and '&' start data lines only between statements.
        {"<ImportObject\n=TIFF\n&%v 1 \t2\n>\n<MText a=b & c>\n",
         start(31) + "\r=TIFF\r&%v 1 \t2\r>\r" + start(35) + "a=b&c>\r"},
        // A definition inside the Pgf line leaves the carriage return owed to the Pgf start; on a
        // line of its own it leaves nothing.
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
    for (const auto &[source, text] : rows)
        EXPECT_EQ(visible(preprocess("<ZEMFile 5.00>\n" + source)), visible(text)) << source;
}

// Catches a macro list that loses order, replaces without leave, writes past the word's room, or
// trims a definition given whole in one word, and a block leaked on freeing or on each failed
// allocation of a new entry (entry, name, value).
TEST_F(PreprocessTest, MacroListStoresReplacesSubstitutesAndFrees) {
    CountingAllocator::install();
    EXPECT_EQ((std::vector<int>{store_in_macro_list("A", "one", 0), store_in_macro_list("B", "two", 0),
                                store_in_macro_list("A", "uno", 0), store_in_macro_list("A", "eins", 1)}),
              (std::vector<int>{0, 0, -1, 0}));
    char word[8] = "B", small[4] = "A", other[8] = "AB", define[] = "define( a ,`b')";  // "eins" needs 5 bytes
    EXPECT_EQ((std::vector<int>{replace_macro(word, sizeof word), replace_macro(small, sizeof small),
                                do_special_word(other, sizeof other), do_special_word(define, sizeof define)}),
              (std::vector<int>{1, 0, 0, 1}));
    std::string list = std::string(word) + "|" + small + "|" + other + "|";
    for (auto *e = conv().preproc.macro_list_ptr; e; e = e->next) list += e->name + std::string("=") + e->value + ";";
    EXPECT_EQ(list, "two|A|AB|A=eins;B=two; a =`b';");
    tf_free_macro_list();
    auto nothing_held = [] { return std::make_pair(!conv().preproc.macro_list_ptr, CountingAllocator::outstanding()); };
    EXPECT_EQ(nothing_held(), std::make_pair(true, 0L));
    for (long k = 1; k <= 3; ++k) {  // the entry, its name, its value
        CountingAllocator::install(k);
        EXPECT_EQ(store_in_macro_list("C", "w", 1), -2) << k;
        EXPECT_EQ(nothing_held(), std::make_pair(true, 0L)) << k;
    }
}

// Catches a copy that loses or doubles its end byte, or runs past the
// end of input (where the second line ends).
TEST_F(PreprocessTest, RestOfLineAndStringAreCopiedWithTheirEnd) {
    conv().routing.preprocess = 0;  // input from preproceesed_bf
    int in = conv().buffers.preproceesed_bf = bufopen(512), out = bufopen(512);
    bufputs(in, reinterpret_cast<const unsigned char *>("abc\rdef'gh"), 10);
    for (auto copy : {tf_store_rest_of_line, tf_buff_string, tf_store_rest_of_line, tf_buff_string}) copy(out);
    EXPECT_EQ(visible(drain(out)), visible("abc\rdef'gh\r'"));
}

// Catches a wrong destination order or take-back order, a take-back from the pass's or body
// buffer, progress counted during the pass, and redirection not resumed after a write to the
// target.
TEST_F(PreprocessTest, RoutingAndTakeBackFollowTheFlagOrder) {
    ConversionBuffers &b = conv().buffers;
    RoutingState &r = conv().routing;
    for (int *h : {&b.preproceesed_bf, &b.nat_buff, &b.apo_temp_buff, &b.text_flow_buff, &b.table_buff,
                   &b.int_tmp_buff})
        *h = bufopen(512);
    ASSERT_EQ(b_open(-1, VOXopen(dir.file("target").c_str(), 2, 2), 2048), 0);
    RedirectOutput(tf_frame_putc, tf_frame_unput);
    r.redirect_mode = 1;
    int *flags[] = {&r.preprocess, &r.native_gfx_output, &r.output_apo_buff, &r.text_flow, &r.in_table,
                    &r.output_to_int_file};
    for (int *flag : flags) *flag = 1;
    const unsigned before = kernel().progress.DispCurrentCount;
    for (int i = 0; i < 6; *flags[i++] = 0) tf_frame_putc("ABCDEF"[i]);  // each flag cleared after its byte
    tf_frame_putc('G');
    EXPECT_EQ(kernel().progress.DispCurrentCount, before + 6);  // all but the pass's byte
    EXPECT_EQ(kernel().streams.RedirectOutputFlag, 1);
    // Each destination gives back its own byte, then -1 once empty; the target whatever its flag.
    for (int i = 1; i < 6; ++i) *flags[i] = 1;
    std::vector<int> back;
    for (int i = 1; i < 6; *flags[i++] = 0) back.insert(back.end(), {tf_frame_unput(), tf_frame_unput()});
    EXPECT_EQ(back, (std::vector<int>{'B', -1, 'C', -1, 'D', -1, 'E', -1, 'F', -1}));
    EXPECT_EQ(drain(b.preproceesed_bf) + drain(b.int_tmp_buff), "AG");
}

}  // namespace
}  // namespace vox::test
