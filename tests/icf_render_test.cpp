// The readable rendering of intermediate code: exact bytes of hand-written
// renderings, the rendering of hand-built bytes and groups, losslessness on
// arbitrary bytes, the errors of assemble, and the pairing check.
#include <pthread.h>

#include <iterator>
#include <random>
#include <string>

#include "icf_render.h"
#include "test_support.h"

namespace vox::icf {
namespace {

using test::icf_bytes, test::record;
// The head of a group: ESC GS, code, parameters, and no RS.
std::string head(const std::string &code, const std::vector<std::string> &params) {
    std::string r = record(code, params);
    return r.pop_back(), r;
}
const std::string kRS = "\x1e";

// Catches comments, blank lines, indentation or CR LF line ends not
// ignored, an empty or quoted parameter misread, and escapes in quotes
// decoded wrongly.
TEST(IcfRender, HandWrittenRenderingGivesExactBytes) {
    EXPECT_EQ(icf_bytes("DID 42\n"), std::string("\x1b\x1d" "DID42\x1f\x1e"));
    EXPECT_EQ(icf_bytes("# head\n\n   SNL\r\n\tHNL 1\n"), std::string("\x1b\x1dSNL\x1e\x1b\x1dHNL1\x1f\x1e"));
    EXPECT_EQ(icf_bytes("FDT 1 \"\" \"Times New\\\\Roman\"\n\"a\\\"b\\x8e\\x0A\"\n"),
              std::string("\x1b\x1d" "FDT1\x1f\x1fTimes New\\Roman\x1f\x1e" "a\"b\x8e\n"));
}

// Catches a structural pair not indented (or an attribute pair, or BRJ,
// indented), text not quoted, and bytes that are not a whole record (ESC
// without GS, a code that is not three letters or digits, bytes after the
// last US, a record cut off before its RS) lost or shown as a record.
TEST(IcfRender, RendersRecordsTextNestingAndBrokenBytes) {
    const std::string bytes = record("DID", {"42"}) + record("BTF", {"1"}) + record("BBT") + "Hi " + record("EBT") +
                              record("BRJ") + record("FNT") + "x" + record("EFN") + record("ETF", {"1"}) + "\x1bQ" +
                              "\x1b\x1d" "dId\x1e" + "\x1b\x1d" "HNL1\x1fz\x1e" + "\x1b\x1d" "SNL";
    EXPECT_EQ(render(bytes), "DID 42\nBTF 1\n  BBT\n  \"Hi \"\n  EBT\n  BRJ\n  FNT\n    \"x\"\n  EFN\nETF 1\n"
                             "\"\\x1BQ\\x1B\\x1DdId\\x1E\\x1B\\x1DHNL1\\x1Fz\\x1E\\x1B\\x1DSNL\"\n");
}

// Catches any byte string whose rendering does not assemble back to it.
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
            bytes += round < 2000 ? std::string(1, alphabet[rng() % alphabet.size()])
                                  : pieces[rng() % std::size(pieces)];
        std::string rendering = render(bytes), back, error;
        ASSERT_TRUE(assemble(rendering, back, error)) << error;
        ASSERT_EQ(back, bytes) << "round " << round << "\n" << rendering;
        with_groups += rendering.find(" {\n") != std::string::npos;
    }
    EXPECT_GT(with_groups, 200);  // groups do occur
}

// Catches a line assemble cannot read taken anyway or named by the wrong
// number: bad quotes and escapes, a code that is not one, text after a
// record or a quoted parameter, a "}" that closes nothing, text first in a
// group (it would read back as a parameter), a group without parameters
// (its first record would be one), and a group never closed (named by its
// own line).
TEST(IcfRender, AssembleNamesTheLineItCannotRead) {
    const std::pair<const char *, int> cases[] = {
        {"SNL\n\"unterminated\n", 2}, {"SNL\n\"bad \\q escape\"\n", 2}, {"SNL\n\"short \\x4\"\n", 2},
        {"SNL\ndId 1\n", 2}, {"SNL\nSNL a\\b\n", 2}, {"SNL\nHNL \"x\"y\n", 2}, {"SNL\n\"text\" trailing\n", 2},
        {"SNL\nAB\n", 2}, {"SNL\n}\n", 2}, {"SYT A {\n\n\"text first\"\n}\n", 3}, {"SNL\nSYT {\n  SEP\n}\n", 2},
        {"SYT A {\n  SEP\n  BBB 1 {\n    SEP\n}\n", 1},
    };
    for (const auto &c : cases) {
        std::string bytes, error;
        EXPECT_FALSE(assemble(c.first, bytes, error)) << c.first;
        EXPECT_EQ(error.rfind("line " + std::to_string(c.second) + ":", 0), 0u) << c.first << " -> " << error;
    }
}

// Catches begin and end records paired across kinds, out of order, or
// across a group's bounds, and BRJ/ERJ taken for a pair.
TEST(IcfRender, CountsUnpairedBeginAndEndRecords) {
    EXPECT_EQ(count_unpaired(record("BTF") + record("BBT") + record("BUL") + record("EBT") + record("EUL") +
                             record("ETF")), 0);
    EXPECT_EQ(count_unpaired(record("ETF") + record("BTF")), 2);  // end first, begin never ended
    EXPECT_EQ(count_unpaired(record("APO") + record("APO") + record("APF")), 1);
    EXPECT_EQ(count_unpaired("plain text" + record("SNL")), 0);
    // BRJ and ERJ are no pair: ERJ alone begins left alignment
    EXPECT_EQ(count_unpaired(record("ERJ") + record("SNL") + record("BRJ") + record("BRJ")), 0);
    // a group's content pairs on its own
    EXPECT_EQ(count_unpaired(record("BTF") + head("SYT", {"A"}) + record("BBT") + record("EBT") + kRS +
                             record("ETF")), 0);
    EXPECT_EQ(count_unpaired(head("SYT", {"A"}) + record("BBT") + kRS + record("EBT")), 2);
    EXPECT_EQ(count_unpaired(record("BTF") + head("SYT", {"A"}) + record("ETF") + kRS), 2);
}

// Each case both ways: the rendering of the bytes, and the bytes of the
// rendering.  Catches a group not recognised or recognised where bytes are
// broken, its content not indented one level deeper (or its braces not
// placed), a begin inside a group indenting what follows it, and a
// parameter that looks like a brace not quoted; an empty group, which is
// the plain record, is rendered as that record.
TEST(IcfRender, GroupsRenderAndAssembleBack) {
    struct { const char *what; std::string bytes, rendering; } cases[] = {
        {"smallest group", head("SYT", {"A"}) + record("SEP") + kRS, "SYT A {\n  SEP\n}\n"},
        // A style definition (attribute records in it are not indented),
        // then a flow that uses the style.
        {"style definition",
         record("DID", {"42"}) + head("SYT", {"Body", "1"}) + record("SYP", {"0"}) + record("ERJ") +
             record("SPF", {"10", "0", "10", "1", "240", "Times"}) + record("BBT") + record("SEP") + record("EBT") +
             kRS + record("BTF", {"1"}) + record("STY", {"Body", "1", "0"}) + record("STE") + "Hi" +
             record("ETF", {"1"}),
         "DID 42\nSYT Body 1 {\n  SYP 0\n  ERJ\n  SPF 10 0 10 1 240 Times\n  BBT\n  SEP\n  EBT\n}\n"
         "BTF 1\n  STY Body 1 0\n  STE\n  \"Hi\"\nETF 1\n"},
        {"nested twice, text between",
         head("AAA", {"1"}) + head("BBB", {"2", ""}) + record("SNL") + "a" + head("CCC", {"3"}) + record("SNL") + kRS +
             kRS + record("HNL") + kRS,
         "AAA 1 {\n  BBB 2 \"\" {\n    SNL\n    \"a\"\n    CCC 3 {\n      SNL\n    }\n  }\n  HNL\n}\n"},
        // A style group in a flow: a structural pair inside it, and a begin
        // left open in it that does not indent what follows the group.
        {"in a flow", record("BTF", {"1"}) + head("SYT", {"Note", "2"}) + record("FNT") + "x" + record("EFN") +
             record("APO") + kRS + record("ETF", {"1"}) + record("SNL"),
         "BTF 1\n  SYT Note 2 {\n    FNT\n      \"x\"\n    EFN\n    APO\n  }\nETF 1\nSNL\n"},
        {"text inside and before the closing RS",
         head("SYT", {"A"}) + record("SYP", {"0"}) + "t\x1f" + record("SEP") + "end" + kRS,
         "SYT A {\n  SYP 0\n  \"t\\x1F\"\n  SEP\n  \"end\"\n}\n"},
        {"a broken record inside: its RS closes the group",
         head("SYT", {"A"}) + record("SEP") + "\x1b\x1d" "dId" + kRS + "z",
         "SYT A {\n  SEP\n  \"\\x1B\\x1DdId\"\n}\n\"z\"\n"},
        {"cut off before its RS", head("SYT", {"A"}) + record("SYP", {"0"}) + "x",
         "\"\\x1B\\x1DSYTA\\x1F\"\nSYP 0\n\"x\"\n"},
        {"outer group cut off, inner one whole", head("AAA", {"1"}) + head("BBB", {"2"}) + record("CCC") + kRS,
         "\"\\x1B\\x1DAAA1\\x1F\"\nBBB 2 {\n  CCC\n}\n"},
        {"inner group cut off, and so the outer", head("AAA", {"1"}) + head("BBB", {"2"}) + record("CCC"),
         "\"\\x1B\\x1DAAA1\\x1F\\x1B\\x1DBBB2\\x1F\"\nCCC\n"},
        {"a record starting inside the parameters of a broken one",
         head("AAA", {"1"}) + "x" + record("BBB") + "y", "\"\\x1B\\x1DAAA1\\x1Fx\"\nBBB\n\"y\"\n"},
        {"ESC GS right after the code belongs to a parameter", "\x1b\x1dSTY" + record("XCS", {"819", "C9"}),
         "STY \"\\x1B\\x1DXCS819\" C9\n"},
        {"a parameter \"{\" is quoted", record("ABC", {"{", "}"}), "ABC \"{\" }\n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(render(c.bytes), c.rendering) << c.what;
        EXPECT_EQ(icf_bytes(c.rendering), c.bytes) << c.what;
    }
    EXPECT_EQ(icf_bytes("SYT A 1 {\n  # nothing embedded\n}\n"), record("SYT", {"A", "1"}));
    EXPECT_EQ(render(record("SYT", {"A", "1"})), "SYT A 1\n");
}

// Runs `body` on a thread with a small stack, where recursing once per
// level of a deep nesting would overflow.
template <class Body>
void run_on_small_stack(Body body) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
    pthread_t thread;
    auto entry = [](void *arg) -> void * { return (*static_cast<Body *>(arg))(), nullptr; };
    ASSERT_EQ(pthread_create(&thread, &attr, entry, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// Catches assembling, pairing or parsing that recurses once per level of
// nesting.
TEST(IcfRender, DeepNestingNeedsNoDeepStack) {
    constexpr int kDepth = 100000;
    std::string bytes, rendering;
    for (int i = 0; i < kDepth; ++i) bytes += head("AAA", {"1"}), rendering += "AAA 1 {\n";
    bytes += record("BBT"), rendering += "BBT\n";
    for (int i = 0; i < kDepth; ++i) bytes += kRS, rendering += "}\n";
    run_on_small_stack([&] {
        EXPECT_EQ(icf_bytes(rendering), bytes);
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
