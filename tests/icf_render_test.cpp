// The readable rendering of intermediate code: exact bytes of hand-written
// renderings, the rendering of hand-built bytes, losslessness on arbitrary
// bytes, the errors of assemble, and the pairing check.
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
              "  FNT\n"
              "    \"x\"\n"
              "  EFN\n"
              "ETF 1\n"
              "\"\\x1BQ\\x1B\\x1DdId\\x1E\\x1B\\x1DHNL1\\x1Fz\\x1E\\x1B\\x1DSNL\"\n");
}

TEST(IcfRender, AssemblingTheRenderingGivesBackEveryByteString) {
    // Bytes drawn mostly from the record bytes and code letters, so that
    // whole, broken and nested records all occur.
    const std::string alphabet = std::string("\x1b\x1d\x1e\x1f\x1b\x1d\x1e\x1f", 8) + "BTFETFDIDSNL \"\\#\n\x8e\x00";
    std::mt19937 rng(42);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(rng() % 40, '\0');
        for (char &c : bytes) c = alphabet[rng() % alphabet.size()];
        std::string back, error;
        ASSERT_TRUE(assemble(render(bytes), back, error)) << error;
        ASSERT_EQ(back, bytes) << "round " << round << "\n" << render(bytes);
    }
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
    auto rec = [](const char *code) { return std::string("\x1b\x1d") + code + "\x1e"; };
    EXPECT_EQ(count_unpaired(rec("BTF") + rec("BBT") + rec("BUL") + rec("EBT") + rec("EUL") + rec("ETF")), 0);
    EXPECT_EQ(count_unpaired(rec("ETF") + rec("BTF")), 2);   // end first, begin never ended
    EXPECT_EQ(count_unpaired(rec("APO") + rec("APO") + rec("APF")), 1);
    EXPECT_EQ(count_unpaired("plain text" + rec("SNL")), 0);
}

}  // namespace
}  // namespace vox::icf
