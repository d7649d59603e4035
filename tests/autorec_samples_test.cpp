// Real files made by real tools (scripts/make_autorec_samples.sh, kept
// under tests/data/autorec) are recognised as what they are.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "autorec/autorec.h"
#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

using AutoRecSamples = KernelTest;

std::string sample(const std::string &name) { return std::string(VOX42_SOURCE_DIR) + "/tests/data/autorec/" + name; }

Outcome recognise_path(const std::string &path) {
    int version = -9;
    const int format = autorec(path.c_str(), &version);
    return {format, version};
}

struct Sample {
    const char *file;
    Outcome expected;
};

// Each expected value follows from the file's first bytes and the rules:
// for instance the PICT file has its 512-byte header and the version 2
// opcode at 522 (version 0); the OS/2 bitmap has a 12-byte core header
// (version 4); the EPS and the text files pass the text statistics, the
// EPS beginning "%!" (503, version 1); the ZEM document is a 3.00 file.
const Sample kSamples[] = {
    {"gradient.png", {504, 0}},        {"gradient.gif", {512, 0}},       {"gradient.jpg", {521, 0}},
    {"gradient-le.tif", {502, 0}},     {"gradient-be.tif", {502, 0}},    {"gradient.bmp", {513, 0}},
    {"gradient-os2.bmp", {513, 4}},    {"gradient.pcx", {501, 0}},       {"gradient.xpm", {524, 0}},
    {"gradient.ras", {522, 0}},        {"gradient.pict", {602, 0}},      {"gradient.mac", {508, 0}},
    {"page.eps", {503, 1}},            {"page.pdf", {107, 0}},           {"text.html", {108, 3}},
    {"text.rtf", {19, 1}},             {"text.zip", {940, 0}},           {"text-lf.txt", {1, 0}},
    {"text-crlf.txt", {1, 0}},         {"text-cr.txt", {1, 0}},          {"text-crcrlf.txt", {1, 0}},
    {"document.zem", {42, 0}},         {"intermediate.icf", {3, 0}},
};

TEST_F(AutoRecSamples, RealFilesAreRecognised) {
    for (const Sample &s : kSamples) EXPECT_EQ(recognise_path(sample(s.file)), s.expected) << s.file;
}

// The Word file holds the later document layout (its stream begins EC A5),
// which the probe leaves to the battery; its directory lies past the first
// 4096 bytes, so nothing in the block names it.
TEST_F(AutoRecSamples, LaterWordLayoutIsLeftUnnamed) {
    EXPECT_EQ(recognise_path(sample("text.doc")), (Outcome{0, 0}));
}

TEST_F(AutoRecSamples, PresentationThroughTheDirectory) {
    TempDir dir;
    const std::string ppt = dir.file("slides.ppt");
    const std::string command = "gzip -dc '" + sample("slides.ppt.gz") + "' > '" + ppt + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(recognise_path(ppt), (Outcome{627, 0}));
}

}  // namespace
}  // namespace vox::test
