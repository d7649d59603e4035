// The readable rendering of intermediate code: exact bytes of hand-written
// renderings, the rendering of hand-built bytes and groups, losslessness on
// arbitrary bytes, the errors of assemble, and the pairing check.
#include <pthread.h>

#include <initializer_list>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "icf_render.h"

namespace vox::icf {
namespace {

std::string assembled(const std::string &rendering) {
    std::string bytes, error;
    EXPECT_TRUE(assemble(rendering, bytes, error)) << error;
    return bytes;
}

// A whole record, and the head of a group: ESC GS, code, parameters.
std::string rec(const char *code, std::initializer_list<const char *> params = {}) {
    std::string out = std::string("\x1b\x1d") + code;
    for (const char *p : params) out += std::string(p) + "\x1f";
    return out + "\x1e";
}
std::string head(const char *code, std::initializer_list<const char *> params) {
    std::string r = rec(code, params);
    return r.substr(0, r.size() - 1);
}
const std::string kRS = "\x1e";

TEST(IcfRender, HandWrittenRenderingGivesExactBytes) {
    EXPECT_EQ(assembled("DID 42\n"), std::string("\x1b\x1d" "DID42\x1f\x1e"));
    // comments, blank lines and indentation are ignored; CR LF lines are fine
    EXPECT_EQ(assembled("# head\n\n   SNL\r\n\tHNL 1\n"),
              std::string("\x1b\x1dSNL\x1e\x1b\x1dHNL1\x1f\x1e"));
    // an empty and a quoted parameter, escapes in text
    EXPECT_EQ(assembled("FDT 1 \"\" \"Times New\\\\Roman\"\n\"a\\\"b\\x8e\\x0A\"\n"),
              std::string("\x1b\x1d" "FDT1\x1f\x1fTimes New\\Roman\x1f\x1e" "a\"b\x8e\n"));
}

TEST(IcfRender, RendersRecordsTextNestingAndBrokenBytes) {
    std::string bytes = std::string("\x1b\x1d" "DID42\x1f\x1e") +
                        "\x1b\x1d" "BTF1\x1f\x1e" +            // opens a level
                        "\x1b\x1d" "BBT\x1e" "Hi \x1b\x1d" "EBT\x1e" +  // attributes: no level
                        "\x1b\x1d" "BRJ\x1e" +                 // no pair
                        "\x1b\x1d" "FNT\x1e" "x\x1b\x1d" "EFN\x1e" +
                        "\x1b\x1d" "ETF1\x1f\x1e" +
                        "\x1bQ" +                              // ESC without GS
                        "\x1b\x1d" "dId\x1e" +                 // not a code
                        "\x1b\x1d" "HNL1\x1fz\x1e" +           // bytes after the last US
                        "\x1b\x1d" "SNL";                      // cut off before RS
    EXPECT_EQ(render(bytes),
              "DID 42\n"
              "BTF 1\n"
              "  BBT\n"
              "  \"Hi \"\n"
              "  EBT\n"
              "  BRJ\n"
              "  FNT\n"
              "    \"x\"\n"
              "  EFN\n"
              "ETF 1\n"
              "\"\\x1BQ\\x1B\\x1DdId\\x1E\\x1B\\x1DHNL1\\x1Fz\\x1E\\x1B\\x1DSNL\"\n");
}

TEST(IcfRender, AssemblingTheRenderingGivesBackEveryByteString) {
    // Bytes drawn mostly from the record bytes and code letters, so that
    // whole, broken and nested records all occur; then from pieces that
    // make groups, broken heads and stray RS.
    const std::string alphabet = std::string("\x1b\x1d\x1e\x1f\x1b\x1d\x1e\x1f", 8) + "BTFETFDIDSNL \"\\#\n\x8e\x00";
    const std::string pieces[] = {"\x1b\x1dSYT", "\x1b\x1dSEP", "A\x1f", "\x1f", "\x1e", "x", "\x1b", "\x1b\x1d" "dId"};
    std::mt19937 rng(42);
    int with_groups = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string bytes;
        for (unsigned n = rng() % 40; n > 0; --n)
            bytes += round < 2000 ? std::string(1, alphabet[rng() % alphabet.size()]) : pieces[rng() % std::size(pieces)];
        std::string rendering = render(bytes), back, error;
        ASSERT_TRUE(assemble(rendering, back, error)) << error;
        ASSERT_EQ(back, bytes) << "round " << round << "\n" << rendering;
        with_groups += rendering.find(" {\n") != std::string::npos;
    }
    EXPECT_GT(with_groups, 200);  // groups do occur
}

TEST(IcfRender, AssembleNamesTheLineItCannotRead) {
    const char *bad[] = {"\"unterminated\n", "\"bad \\q escape\"\n", "\"short \\x4\"\n",
                         "dId 1\n",          "SNL a\\b\n",         "HNL \"x\"y\n",
                         "\"text\" trailing\n", "AB\n"};
    for (const char *line : bad) {
        std::string bytes, error;
        EXPECT_FALSE(assemble(std::string("SNL\n") + line, bytes, error)) << line;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
    }
}

TEST(IcfRender, CountsUnpairedBeginAndEndRecords) {
    EXPECT_EQ(count_unpaired(rec("BTF") + rec("BBT") + rec("BUL") + rec("EBT") + rec("EUL") + rec("ETF")), 0);
    EXPECT_EQ(count_unpaired(rec("ETF") + rec("BTF")), 2);   // end first, begin never ended
    EXPECT_EQ(count_unpaired(rec("APO") + rec("APO") + rec("APF")), 1);
    EXPECT_EQ(count_unpaired("plain text" + rec("SNL")), 0);
    // BRJ and ERJ are no pair: ERJ alone begins left alignment
    EXPECT_EQ(count_unpaired(rec("ERJ") + rec("SNL") + rec("BRJ") + rec("BRJ")), 0);
    // a group's content pairs on its own
    EXPECT_EQ(count_unpaired(rec("BTF") + head("SYT", {"A"}) + rec("BBT") + rec("EBT") + kRS + rec("ETF")), 0);
    EXPECT_EQ(count_unpaired(head("SYT", {"A"}) + rec("BBT") + kRS + rec("EBT")), 2);
    EXPECT_EQ(count_unpaired(rec("BTF") + head("SYT", {"A"}) + rec("ETF") + kRS), 2);
}

TEST(IcfRender, RendersAStyleDefinitionAsAGroup) {
    std::string bytes = rec("DID", {"42"}) + head("SYT", {"Body", "1"}) + rec("SYP", {"0"}) + rec("ERJ") +
                        rec("SPF", {"10", "0", "10", "1", "240", "Times"}) + rec("BBT") + rec("SEP") + rec("EBT") + kRS +
                        rec("BTF", {"1"}) + rec("STY", {"Body", "1", "0"}) + rec("STE") + "Hi" + rec("ETF", {"1"});
    EXPECT_EQ(render(bytes), "DID 42\nSYT Body 1 {\n  SYP 0\n  ERJ\n  SPF 10 0 10 1 240 Times\n  BBT\n  SEP\n  EBT\n}\n"
                             "BTF 1\n  STY Body 1 0\n  STE\n  \"Hi\"\nETF 1\n");
    // In a text flow; a structural pair inside the group, and a begin left
    // open in it that does not indent what follows the group.
    bytes = rec("BTF", {"1"}) + head("SYT", {"Note", "2"}) + rec("FNT") + "x" + rec("EFN") + rec("APO") + kRS +
            rec("ETF", {"1"}) + rec("SNL");
    EXPECT_EQ(render(bytes), "BTF 1\n  SYT Note 2 {\n    FNT\n      \"x\"\n    EFN\n    APO\n  }\nETF 1\nSNL\n");
}

// Each case both ways: the rendering of the bytes, and the bytes of the
// rendering.
TEST(IcfRender, GroupsRenderAndAssembleBack) {
    struct Case {
        const char *what;
        std::string bytes;
        std::string rendering;
    } cases[] = {
        {"smallest group", head("SYT", {"A"}) + rec("SEP") + kRS, "SYT A {\n  SEP\n}\n"},
        {"nested twice, text between",
         head("AAA", {"1"}) + head("BBB", {"2", ""}) + rec("SNL") + "a" + head("CCC", {"3"}) + rec("SNL") + kRS + kRS +
             rec("HNL") + kRS,
         "AAA 1 {\n  BBB 2 \"\" {\n    SNL\n    \"a\"\n    CCC 3 {\n      SNL\n    }\n  }\n  HNL\n}\n"},
        {"text inside and before the closing RS",
         head("SYT", {"A"}) + rec("SYP", {"0"}) + "t\x1f" + rec("SEP") + "end" + kRS,
         "SYT A {\n  SYP 0\n  \"t\\x1F\"\n  SEP\n  \"end\"\n}\n"},
        {"a broken record inside: its RS closes the group", head("SYT", {"A"}) + rec("SEP") + "\x1b\x1d" "dId" + kRS + "z",
         "SYT A {\n  SEP\n  \"\\x1B\\x1DdId\"\n}\n\"z\"\n"},
        {"cut off before its RS", head("SYT", {"A"}) + rec("SYP", {"0"}) + "x",
         "\"\\x1B\\x1DSYTA\\x1F\"\nSYP 0\n\"x\"\n"},
        {"outer group cut off, inner one whole", head("AAA", {"1"}) + head("BBB", {"2"}) + rec("CCC") + kRS,
         "\"\\x1B\\x1DAAA1\\x1F\"\nBBB 2 {\n  CCC\n}\n"},
        {"inner group cut off, and so the outer", head("AAA", {"1"}) + head("BBB", {"2"}) + rec("CCC"),
         "\"\\x1B\\x1DAAA1\\x1F\\x1B\\x1DBBB2\\x1F\"\nCCC\n"},
        {"a record starting inside the parameters of a broken one",
         head("AAA", {"1"}) + "x" + rec("BBB") + "y", "\"\\x1B\\x1DAAA1\\x1Fx\"\nBBB\n\"y\"\n"},
        {"ESC GS right after the code belongs to a parameter", "\x1b\x1dSTY" + rec("XCS", {"819", "C9"}),
         "STY \"\\x1B\\x1DXCS819\" C9\n"},
        {"a parameter \"{\" is quoted", rec("ABC", {"{", "}"}), "ABC \"{\" }\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(render(c.bytes), c.rendering) << c.what;
        EXPECT_EQ(assembled(c.rendering), c.bytes) << c.what;
    }
}

TEST(IcfRender, AnEmptyGroupIsThePlainRecord) {
    EXPECT_EQ(assembled("SYT A 1 {\n  # nothing embedded\n}\n"), rec("SYT", {"A", "1"}));
    EXPECT_EQ(render(rec("SYT", {"A", "1"})), "SYT A 1\n");
}

TEST(IcfRender, AssembleRefusesGroupsTheBytesCannotShow) {
    struct Case {
        const char *rendering;
        const char *error_start;
    } cases[] = {
        {"SNL\n}\n", "line 2:"},                              // closes nothing
        {"SYT A {\n\n\"text first\"\n}\n", "line 3:"},       // would read back as a parameter
        {"SNL\nSYT {\n  SEP\n}\n", "line 2:"},                // no parameter: SEP would be one
        {"SYT A {\n  SEP\n  BBB 1 {\n    SEP\n}\n", "line 1:"},  // SYT never closed: names its line
    };
    for (const Case &c : cases) {
        std::string bytes, error;
        EXPECT_FALSE(assemble(c.rendering, bytes, error)) << c.rendering;
        EXPECT_EQ(error.rfind(c.error_start, 0), 0u) << c.rendering << " -> " << error;
    }
}

// Runs `body` on a thread with a small stack, where recursing once per
// level of a deep nesting would overflow.
template <class Body>
void run_on_small_stack(Body body) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
    pthread_t thread;
    auto entry = [](void *arg) -> void * {
        (*static_cast<Body *>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, entry, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST(IcfRender, DeepNestingNeedsNoDeepStack) {
    constexpr int kDepth = 100000;
    std::string bytes, rendering;
    for (int i = 0; i < kDepth; ++i) bytes += head("AAA", {"1"}), rendering += "AAA 1 {\n";
    bytes += rec("BBT");
    rendering += "BBT\n";
    for (int i = 0; i < kDepth; ++i) bytes += kRS, rendering += "}\n";
    run_on_small_stack([&] {
        EXPECT_EQ(assembled(rendering), bytes);
        EXPECT_EQ(count_unpaired(bytes), 1);  // the BBT, innermost
        std::vector<Element> elements = parse(bytes);
        int depth = 0;
        for (const std::vector<Element> *level = &elements; level->size() == 1 && level->front().is_group;
             level = &level->front().children)
            ++depth;
        EXPECT_EQ(depth, kDepth);
    });
}

}  // namespace
}  // namespace vox::icf
