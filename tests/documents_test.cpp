// Whole documents: every tests/documents/NAME.zem is converted in a scratch
// directory and compared byte for byte with NAME.expected, which holds the
// expected intermediate code in the readable rendering (docs/
// intermediate-code.md), worked out by hand.  Header comment lines of the
// expected file may set the run:
//
//   # version: 5D      version level passed to the entry point (default "5")
//   # result: 16       expected result code (default 0)
//   # options: -X      extra arguments, separated by blanks; "-N" (no
//                      progress display) is always passed first
//
// After every run the directory must hold the source and the target only:
// no temporary file survives a conversion, whatever its result.
#include <dirent.h>

#include <algorithm>
#include <sstream>

#include "icf_render.h"
#include "test_support.h"
#include "vox42/vox42.h"

namespace vox::test {
namespace {

const std::string kDocumentDir = std::string(VOX42_SOURCE_DIR) + "/tests/documents";

std::vector<std::string> document_names() {
    std::vector<std::string> names;
    if (DIR *dir = opendir(kDocumentDir.c_str())) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zem") == 0)
                names.push_back(name.substr(0, name.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Expectation {
    std::string version = "5";
    int result = 0;
    std::vector<std::string> options;
    std::string bytes;
};

// The value of a "# key: value" header line, or false.
bool header_value(const std::string &line, const std::string &key, std::string &value) {
    const std::string prefix = "# " + key + ":";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    value = line.substr(prefix.size());
    value.erase(0, value.find_first_not_of(' '));
    return true;
}

Expectation read_expectation(const std::string &name) {
    Expectation e;
    const std::string text = read_file(kDocumentDir + "/" + name + ".expected");
    std::istringstream lines(text);
    for (std::string line, value; std::getline(lines, line);) {
        if (header_value(line, "version", value)) e.version = value;
        if (header_value(line, "result", value)) e.result = std::stoi(value);
        if (header_value(line, "options", value)) {
            std::istringstream words(value);
            for (std::string word; words >> word;) e.options.push_back(word);
        }
    }
    std::string error;
    EXPECT_TRUE(icf::assemble(text, e.bytes, error)) << name << ".expected: " << error;
    return e;
}

class Documents : public KernelTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Documents, ConvertToTheExpectedCode) {
    const std::string name = GetParam();
    const Expectation expected = read_expectation(name);
    TempDir dir;
    const std::string source = dir.file("doc.zem"), target = dir.file("doc.icf");
    write_file(source, read_file(kDocumentDir + "/" + name + ".zem"));

    std::vector<char *> argv{const_cast<char *>("-N")};
    for (const std::string &option : expected.options) argv.push_back(const_cast<char *>(option.c_str()));
    argv.push_back(nullptr);
    const int result = MainEntryPoint(source.c_str(), target.c_str(), expected.version.c_str(),
                                      argv.data(), nullptr, nullptr);

    EXPECT_EQ(result, expected.result) << name;
    const std::vector<std::string> left = dir.entries();
    const bool has_target = std::find(left.begin(), left.end(), "doc.icf") != left.end();
    EXPECT_EQ(left.size(), has_target ? 2u : 1u) << name << ": a temporary file was left behind";
    const std::string got = has_target ? read_file(target) : std::string();
    EXPECT_EQ(icf::render(got), icf::render(expected.bytes)) << name;
    EXPECT_EQ(got, expected.bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(All, Documents, ::testing::ValuesIn(document_names()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             std::string id = info.param;
                             for (char &ch : id)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return id;
                         });

// The real documents of the shared sample corpus (when present): each
// converts with 0, leaves no temporary file, and gives intermediate code
// that converts at least one flow and closes every flow it begins.  (The
// attribute and alignment records need not pair: a left alignment begins
// with ERJ, and a style-on group writes begin records the text repeats.)
TEST(SampleDocuments, ConvertCompletelyAndCleanly) {
    const std::string corpus = "/work/shared/corpus/zem";
    std::vector<std::string> names;
    if (DIR *dir = opendir(corpus.c_str())) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zem") == 0) names.push_back(name);
        }
        closedir(dir);
    }
    if (names.empty()) GTEST_SKIP() << "no sample documents at " << corpus;
    char quiet[] = "-N";
    char *argv[] = {quiet, nullptr};
    for (const std::string &name : names) {
        TempDir dir;
        const std::string target = dir.file("doc.icf");
        const std::string source = corpus + "/" + name;
        ASSERT_EQ(MainEntryPoint(source.c_str(), target.c_str(), "5", argv, nullptr, nullptr), 0) << name;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"doc.icf"}) << name;
        int open_flows = 0, flows = 0;
        for (const icf::Element &e : icf::parse(read_file(target))) {
            if (!e.is_record) continue;
            if (e.code == "BTF") {
                ++open_flows;
                ++flows;
            } else if (e.code == "ETF") {
                EXPECT_GE(--open_flows, 0) << name << ": ETF without BTF";
            }
        }
        EXPECT_GT(flows, 0) << name;
        EXPECT_EQ(open_flows, 0) << name;
    }
}

// Every number of a document (after its header line) replaced by the same
// out-of-range value: lengths, sizes, percentages and IDs at the edges of
// 32 bits.  IDs stay consistent, so each document ends as it does with its
// own numbers, leaves no temporary file, and its output stays small (the
// blank lines of an enormous space before or after are capped).  Under the
// sanitizers this also checks that no arithmetic on them overflows.
std::string with_every_number(const std::string &doc, const std::string &value) {
    std::string out = doc.substr(0, doc.find('\n'));
    for (std::size_t i = out.size(); i < doc.size();) {
        const bool starts = isdigit(static_cast<unsigned char>(doc[i])) &&
                            !isalnum(static_cast<unsigned char>(doc[i - 1])) && doc[i - 1] != '.';
        if (!starts) {
            out += doc[i++];
            continue;
        }
        if (out.back() == '-') out.pop_back();
        while (i < doc.size() && (isdigit(static_cast<unsigned char>(doc[i])) || doc[i] == '.')) ++i;
        out += value;
    }
    return out;
}

TEST(ExtremeValues, EndAsWithTheirOwnNumbers) {
    std::vector<std::string> names = document_names();
    char quiet[] = "-N";
    char *argv[] = {quiet, nullptr};
    for (const std::string &name : names) {
        const Expectation expected = read_expectation(name);
        const std::string doc = read_file(kDocumentDir + "/" + name + ".zem");
        for (const char *value : {"2147483647", "-2147483647", "99999999", "4294967296"}) {
            TempDir dir;
            write_file(dir.file("doc.zem"), with_every_number(doc, value));
            const std::string target = dir.file("doc.icf");
            const int result = MainEntryPoint(dir.file("doc.zem").c_str(), target.c_str(),
                                              expected.version.c_str(), argv, nullptr, nullptr);
            EXPECT_EQ(result, expected.result) << name << " with " << value;
            const std::vector<std::string> left = dir.entries();
            EXPECT_LE(left.size(), 2u) << name << " with " << value << ": a temporary file was left behind";
            if (result == 0) {
                EXPECT_LT(read_file(target).size(), 1u << 20) << name << " with " << value;
            }
        }
    }
}

// More flows than the table of temporary buffers has slots: flows beyond
// the first few hundred wait in the flow archive.  Page i holds rectangle
// i, and flow k (stored k-th) runs in rectangle 701 - k, so page order
// converts the flows from the last stored to the first.
TEST(ManyFlows, AreAllConvertedInPageOrder) {
    constexpr int kFlows = 700;
    std::string doc = "<ZEMFile 5.00>\n";
    for (int i = 1; i <= kFlows; ++i)
        doc += "<Page <PageSize 8.5\" 11.0\"> <TextRect <ID " + std::to_string(i) +
               "> <BRect 1.0\" 1.0\" 6.5\" 9.0\">>>\n";
    for (int k = 1; k <= kFlows; ++k)
        doc += "<TextFlow <Para <ParaLine <TextRectID " + std::to_string(kFlows + 1 - k) +
               "> <String `flow " + std::to_string(k) + "'>>>>\n";
    TempDir dir;
    write_file(dir.file("doc.zem"), doc);
    char quiet[] = "-N";
    char *argv[] = {quiet, nullptr};
    ASSERT_EQ(MainEntryPoint(dir.file("doc.zem").c_str(), dir.file("doc.icf").c_str(), "5", argv, nullptr, nullptr), 0);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"doc.icf", "doc.zem"}));

    std::vector<int> converted;
    std::string text;
    for (const icf::Element &e : icf::parse(read_file(dir.file("doc.icf")))) {
        if (e.is_record && e.code == "BTF") converted.push_back(std::stoi(e.params.at(0)));
        if (!e.is_record) text += e.text + "|";
    }
    ASSERT_EQ(converted.size(), static_cast<size_t>(kFlows));
    for (int i = 0; i < kFlows; ++i) EXPECT_EQ(converted[i], kFlows - i) << "position " << i;
    EXPECT_EQ(text.substr(0, 18), "flow 700|flow 699|");
    EXPECT_EQ(text.substr(text.size() - 7), "flow 1|");
}

}  // namespace
}  // namespace vox::test
