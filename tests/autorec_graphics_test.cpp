// The recogniser's picture testers and the testers that scan the whole
// block: blocks each must accept, with the version it sets, and near
// misses it must reject.
#include <array>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "autorec/autorec.h"
#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

using AutoRecGraphics = KernelTest;

const Outcome kNo{0, 0};

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST_F(AutoRecGraphics, MetafilesAndDrawings) {
    EXPECT_EQ(run_tester(auto_tst_wmf, bytes({0xD7, 0xCD, 0xC6, 0x9A, 0, 0})), (Outcome{610, 0}));
    EXPECT_EQ(run_tester(auto_tst_wmf, bytes({0x01, 0x00, 0x09, 0x00, 0x00, 0x03})), (Outcome{610, 1}));
    EXPECT_EQ(run_tester(auto_tst_wmf, bytes({0x01, 0x00, 0x09, 0x00, 0x00, 0x01})), (Outcome{610, 1}));
    EXPECT_EQ(run_tester(auto_tst_wmf, bytes({0x01, 0x00, 0x09, 0x00, 0x00, 0x02})), kNo);
    EXPECT_EQ(run_tester(auto_tst_wmf, bytes({0x01, 0x00, 0x09, 0x00, 0x00})), kNo);

    ByteBlock met(20);
    met.put(2, {0xD3, 0xA8, 0xA8, 0x00}).put(18, {0x05, 0x18});
    EXPECT_EQ(run_tester(auto_tst_os2met, met.str()), (Outcome{623, 0}));
    EXPECT_EQ(run_tester(auto_tst_os2met, ByteBlock(met).put(19, {0x19}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_os2met, ByteBlock(met).resize(19).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_krb, std::string("\x1f\x00\x12KRB Graphics File\x00x", 22)), (Outcome{600, 0}));
    EXPECT_EQ(run_tester(auto_tst_krb, std::string("\x1f\x00\x12KRB Graphics File!", 21)), kNo);
    EXPECT_EQ(run_tester(auto_tst_krb, "<0000,Kestrelwik 3D -- Copyright"), (Outcome{600, 0}));

    EXPECT_EQ(run_tester(auto_tst_corel, "WLxxxxxx"), (Outcome{520, 0}));
    EXPECT_EQ(run_tester(auto_tst_corel, std::string("RIFF\x10\0\0\0CDR5vrsn", 16)), (Outcome{520, 0}));
    EXPECT_EQ(run_tester(auto_tst_corel, std::string("RIFF\x10\0\0\0CDR6vrsn", 16)), (Outcome{628, 0}));
    EXPECT_EQ(run_tester(auto_tst_corel, std::string("RIFF\x10\0\0\0CDRAvrsn", 16)), (Outcome{520, 0}));
    EXPECT_EQ(run_tester(auto_tst_corel, std::string("RIFF\x10\0\0\0WAVEfmt ", 16)), kNo);

    EXPECT_EQ(run_tester(auto_tst_mgx, bytes({0, 0, 0, 4, 3, 0, 0, 0, 2})), (Outcome{609, 0}));
    EXPECT_EQ(run_tester(auto_tst_mgx, bytes({0, 0, 0, 4, 3, 0, 0, 0, 3})), kNo);
    EXPECT_EQ(run_tester(auto_tst_mgx, bytes({0, 0, 0, 4, 3, 0, 0, 0})), kNo);
    EXPECT_EQ(run_tester(auto_tst_rgip, "%RGIP_METAFILE 1"), (Outcome{613, 0}));
    EXPECT_EQ(run_tester(auto_tst_sdw, bytes({'S', 'M', 2, 1})), (Outcome{614, 0}));
    EXPECT_EQ(run_tester(auto_tst_sdw, bytes({'S', 'M', 0, 1})), (Outcome{614, 0}));
    EXPECT_EQ(run_tester(auto_tst_sdw, bytes({'S', 'M', 1, 1})), kNo);
    EXPECT_EQ(run_tester(auto_tst_pic, bytes({0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x44, 0x00, 0x00,
                                              0x00, 0x00, 0x0C, 0x7F, 0x09, 0x06})),
              (Outcome{601, 0}));
    EXPECT_EQ(run_tester(auto_tst_pic, bytes({0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x44, 0x00, 0x00,
                                              0x00, 0x00, 0x0C, 0x7F, 0x09})),
              kNo);
    EXPECT_EQ(run_tester(auto_tst_freelance, bytes({0, 1, '@', 0, 'D', 'E', 'B', 'R', '@', 0})), (Outcome{618, 0}));
    EXPECT_EQ(run_tester(auto_tst_freelance, bytes({0, 1, '@', 0, 'D', 'E', 'B', 'R', '@', 1})), kNo);
    EXPECT_EQ(run_tester(auto_tst_hvdgrph, bytes({0xDC, 0xFE, 0x18, 0x02})), (Outcome{620, 0}));
    EXPECT_EQ(run_tester(auto_tst_hvdgrph, bytes({0xDC, 0xFE, 0x18, 0x03})), kNo);
    EXPECT_EQ(run_tester(auto_tst_WPGNoHdr, bytes({0x0F, 0x06, 0x01, 0x00})), (Outcome{606, 0}));
    ByteBlock wpg2(18);
    wpg2.put(10, {0x04, 0x01}).put(14, {0xB0, 0x04, 0xB0, 0x04});
    EXPECT_EQ(run_tester(auto_tst_WPGNoHdr, wpg2.str()), (Outcome{615, 0}));
    EXPECT_EQ(run_tester(auto_tst_WPGNoHdr, ByteBlock(wpg2).put(17, {0x05}).str()), kNo);
}

TEST_F(AutoRecGraphics, RasterSignatures) {
    EXPECT_EQ(run_tester(auto_tst_tiff, bytes({'I', 'I', 0x2A, 0x00})), (Outcome{502, 0}));
    EXPECT_EQ(run_tester(auto_tst_tiff, bytes({'M', 'M', 0x00, 0x2A})), (Outcome{502, 0}));
    EXPECT_EQ(run_tester(auto_tst_tiff, bytes({'I', 'I', 0x00, 0x2A})), kNo);
    EXPECT_EQ(run_tester(auto_tst_gif, "GIF89a"), (Outcome{512, 0}));
    EXPECT_EQ(run_tester(auto_tst_gif, "GI"), kNo);
    EXPECT_EQ(run_tester(auto_tst_xpm, "/* XPM */\nstatic char"), (Outcome{524, 0}));
    EXPECT_EQ(run_tester(auto_tst_xpm, "/*XPM */"), kNo);

    const std::string png = bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}) + std::string(13, 'x');
    EXPECT_EQ(run_tester(auto_tst_png, png), (Outcome{504, 0}));
    EXPECT_EQ(run_tester(auto_tst_png, png.substr(0, 20)), kNo);
    EXPECT_EQ(run_tester(auto_tst_png, bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0B}) + std::string(13, 'x')),
              kNo);

    const std::string ras = bytes({0x59, 0xA6, 0x6A, 0x95}) + std::string(32, '\0');
    EXPECT_EQ(run_tester(auto_tst_sunras, ras), (Outcome{522, 0}));
    EXPECT_EQ(run_tester(auto_tst_sunras, ras.substr(0, 35)), kNo);

    const std::string eps = bytes({0xC5, 0xD0, 0xD3, 0xC6}) + std::string(26, '\0');
    EXPECT_EQ(run_tester(auto_tst_eps, eps), (Outcome{503, 0}));
    EXPECT_EQ(run_tester(auto_tst_eps, eps.substr(0, 29)), kNo);

    ByteBlock msp(33);
    msp.put(0, "DanM").le16(4, 16).le16(6, 16);
    EXPECT_EQ(run_tester(auto_tst_msp, msp.str()), (Outcome{507, 0}));
    EXPECT_EQ(run_tester(auto_tst_msp, ByteBlock(msp).put(0, "LinS").str()), (Outcome{507, 0}));
    EXPECT_EQ(run_tester(auto_tst_msp, ByteBlock(msp).le16(6, 0).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_msp, ByteBlock(msp).resize(32).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_dcx, bytes({0xB1, 0x68, 0xDE, 0x3A, 0x04, 0x10, 0, 0})), (Outcome{501, 1}));
    EXPECT_EQ(run_tester(auto_tst_dcx, bytes({0xB1, 0x68, 0xDE, 0x3A, 0x04, 0x10, 0})), kNo);
    ByteBlock pcx(21);
    pcx.put(0, {0x0A, 5, 1, 8});
    EXPECT_EQ(run_tester(auto_tst_pcx, pcx.str()), (Outcome{501, 0}));
    EXPECT_EQ(run_tester(auto_tst_pcx, ByteBlock(pcx).put(1, {11}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pcx, ByteBlock(pcx).put(2, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pcx, ByteBlock(pcx).put(3, {65}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pcx, ByteBlock(pcx).resize(20).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_winclp, bytes({'P', 0xC3, 1, 0, 0, 1})), (Outcome{605, 0}));
    EXPECT_EQ(run_tester(auto_tst_winclp, bytes({'P', 0xC3, 1, 0, 0, 0})), kNo);
    ByteBlock ico(51);
    ico.put(0, {0, 0, 1, 0, 1, 0, 32, 32, 16, 0});
    EXPECT_EQ(run_tester(auto_tst_winicon, ico.str()), (Outcome{517, 0}));
    EXPECT_EQ(run_tester(auto_tst_winicon, ByteBlock(ico).put(6, {24}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_winicon, ByteBlock(ico).put(8, {0}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_winicon, ByteBlock(ico).put(9, {1}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_winicon, ByteBlock(ico).resize(50).str()), kNo);
}

TEST_F(AutoRecGraphics, JpegByJfifTagOrMarkerWalk) {
    EXPECT_EQ(run_tester(auto_tst_jpeg, bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0})),
              (Outcome{521, 0}));
    // SOI, APP1, DQT, SOF0, SOS: five markers.
    const std::string walk = bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x04, 'E', 'x', 0xFF, 0xDB, 0x00, 0x04, 1, 2,
                                    0xFF, 0xC0, 0x00, 0x04, 3, 4, 0xFF, 0xDA, 0x00, 0x04});
    EXPECT_EQ(run_tester(auto_tst_jpeg, walk), (Outcome{521, 0}));
    // A marker byte from 01 to BF ends it.
    std::string bad = walk;
    bad[15] = '\x12';
    EXPECT_EQ(run_tester(auto_tst_jpeg, bad), kNo);
    // Three markers are too few.
    EXPECT_EQ(run_tester(auto_tst_jpeg, bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x04, 'E', 'x', 0xFF, 0xDA, 0, 4})), kNo);
}

// A 54-byte file header and info header.
ByteBlock windows_bitmap(unsigned bits, unsigned compression) {
    ByteBlock b(54);
    b.put(0, "BM").le32(2, 54 + 768).le32(10, 54).le32(14, 40).le32(18, 16).le32(22, 16).le16(26, 1);
    b.le16(28, bits).le32(30, compression);
    return b;
}

// A file header and a 12-byte core header.
ByteBlock core_bitmap(const std::string &tag, unsigned bits) {
    ByteBlock b(30);
    b.put(0, tag).le32(14, 12).le16(18, 16).le16(20, 16).le16(22, 1).le16(24, bits);
    return b;
}

TEST_F(AutoRecGraphics, BitmapHeaderKinds) {
    EXPECT_EQ(run_tester(auto_tst_bmp, windows_bitmap(24, 0).str()), (Outcome{513, 0}));
    EXPECT_EQ(run_tester(auto_tst_bmp, windows_bitmap(16, 0).str()), (Outcome{513, 0}));
    EXPECT_EQ(run_tester(auto_tst_bmp, windows_bitmap(8, 1).str()), (Outcome{513, 3}));
    EXPECT_EQ(run_tester(auto_tst_bmp, windows_bitmap(32, 0).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("BM", 4).str()), (Outcome{513, 4}));
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("BM", 4).le32(14, 64).str()), (Outcome{513, 4}));
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("CI", 8).str()), (Outcome{513, 5}));
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("IC", 1).str()), (Outcome{513, 5}));
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("BN", 4).str()), kNo);
    // A core header with 16 bits per pixel is no core bitmap, and its word
    // at 28 is no bit count.
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("BM", 16).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_bmp, core_bitmap("BM", 4).resize(29).str()), kNo);
    // Behind an array header ("BA", 14 bytes) the bitmap starts at 14.
    ByteBlock array(44);
    array.put(0, "BA").put(14, core_bitmap("BM", 8).str());
    EXPECT_EQ(run_tester(auto_tst_bmp, array.str()), (Outcome{513, 4}));
    EXPECT_EQ(run_tester(auto_tst_bmp, ByteBlock(array).resize(43).str()), kNo);
}

TEST_F(AutoRecGraphics, PictWithAndWithoutHeader) {
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(530).put(522, {0x11, 0x01}).str()), (Outcome{602, 0}));
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(530).put(522, {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00}).str()),
              (Outcome{602, 0}));
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(529).put(522, {0x11, 0x01}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(18).put(10, {0x11, 0x01}).str()), (Outcome{602, 1}));
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(18).put(10, {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00}).str()),
              (Outcome{602, 1}));
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(17).put(10, {0x11, 0x01}).resize(17).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pict, ByteBlock(18).put(10, {0x11, 0x02}).str()), kNo);
}

TEST_F(AutoRecGraphics, PaintingScanLinesEachSeventyTwoBytes) {
    // White lines: one run of 72 zeros (B9 = -71).
    const std::string white = repeat(bytes({0xB9, 0x00}), 10);
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(512, white).str()), (Outcome{508, 0}));
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(640, white).put(512, {0x7F}).str()), (Outcome{508, 0}));
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2047).put(512, white).str()), kNo);
    // A literal line (47 = 72 bytes) and a run then a literal: 70 + 2.
    const std::string literal = bytes({0x47}) + std::string(72, 'p');
    const std::string mixed = bytes({0xBB, 0x00, 0x01, 'a', 'b'});
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(512, repeat(literal + mixed, 5)).str()), (Outcome{508, 0}));
    // A run of 73 crosses the line end; two literal runs in a row are
    // noise (zero bytes decode that way).
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(512, bytes({0xB8, 0x00}) + white).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).str()), kNo);
    const std::string two_literals = bytes({0x00, 'a', 0x46}) + std::string(71, 'b');
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(512, repeat(two_literals, 10)).str()), kNo);
    // A table of FF words decodes as runs of two FF bytes: never written so.
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(512, std::string(1536, '\xff')).str()), kNo);
    // Nine good lines are not ten.
    EXPECT_EQ(run_tester(auto_tst_mac, ByteBlock(2048).put(512, repeat(bytes({0xB9, 0x00}), 9)).put(530, {0xB8}).str()),
              kNo);
}

TEST_F(AutoRecGraphics, DrawFileNameAfterOptionalComma) {
    EXPECT_EQ(run_tester(auto_tst_wizidraw, ByteBlock(30, ' ').put(0, "M11DRAW").str()), (Outcome{617, 0}));
    EXPECT_EQ(run_tester(auto_tst_wizidraw, ByteBlock(30, ' ').put(0, "xy,abSYSDRAW").str()), (Outcome{617, 0}));
    EXPECT_EQ(run_tester(auto_tst_wizidraw, ByteBlock(30, ' ').put(0, "Mx,abSYSDRAW").str()), (Outcome{617, 0}));
    EXPECT_EQ(run_tester(auto_tst_wizidraw, ByteBlock(30, ' ').put(0, "xy,aMSYSDRAW").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wizidraw, ByteBlock(30, 'x').put(20, "SYSDRAW").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wizidraw, ByteBlock(29, ' ').put(0, "M11DRAW").str()), kNo);
}

// ---- Testers that scan the block ---------------------------------------

TEST_F(AutoRecGraphics, DotCommandDocuments) {
    EXPECT_EQ(run_tester(auto_tst_vw, "..PAGE 66\r\n..HEAD Title\r\ntext\r\n"), (Outcome{14, 0}));
    EXPECT_EQ(run_tester(auto_tst_vw, "..PAGE 66\r\ntext\r\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_vw, "x..PAGE 66\r\n..HEAD Title\r\n"), kNo);

    const std::string six = ".mt 3\n.mb 3\n.pl 66\n.PO 8\n.he Title\n.fo Page #\ntext\n";
    EXPECT_EQ(run_tester(auto_tst_ws, six), (Outcome{4, 0}));
    const std::string five = ".mt 3\n.mb 3\n.pl 66\n.po 8\n.he Title\ntext\n";
    EXPECT_EQ(run_tester(auto_tst_ws, five), kNo);
    const std::string four = ".mt 3\n.mb 3\n.pl 66\n.po 8\ntext\n";
    EXPECT_EQ(run_tester(auto_tst_ws, four), kNo);
    EXPECT_EQ(run_tester(auto_tst_ws, four, true), (Outcome{4, 0}));
    EXPECT_EQ(run_tester(auto_tst_ws, ".mt 3\n.mb 3\n.pl 66\ntext\n", true), kNo);
}

TEST_F(AutoRecGraphics, StarWriterFramedCodesAndSoftSpaces) {
    const std::string framed = bytes({0x1D, 0x05, 0x00, 'A', 'B', 0x05, 0x00, 0x1D});
    EXPECT_EQ(run_tester(auto_tst_ws, "text" + repeat(framed + "more", 4)), (Outcome{4, 3}));
    EXPECT_EQ(run_tester(auto_tst_ws, "text" + repeat(framed + "more", 3)), kNo);
    std::string broken = framed;
    broken[7] = 0x1C;
    EXPECT_EQ(run_tester(auto_tst_ws, repeat(broken, 4)), kNo);

    EXPECT_EQ(run_tester(auto_tst_ws, repeat("wor\xe4 ", 100)), (Outcome{4, 2}));
    EXPECT_EQ(run_tester(auto_tst_ws, repeat("wor\xe4\xa0", 100)), (Outcome{4, 2}));
    EXPECT_EQ(run_tester(auto_tst_ws, repeat("wor\xe4 ", 99)), kNo);
    // A high byte that is no marked letter (A9 is ")" | 0x80) does not pair.
    EXPECT_EQ(run_tester(auto_tst_ws, repeat("wor\xa9 ", 100)), kNo);
}

TEST_F(AutoRecGraphics, BracketedAndEscapedCodes) {
    EXPECT_EQ(run_tester(auto_tst_xyw, repeat("\xaePT1\xaf text ", 8)), (Outcome{17, 1}));
    EXPECT_EQ(run_tester(auto_tst_xyw, repeat("\xaePT1\xaf text ", 7)), kNo);
    EXPECT_EQ(run_tester(auto_tst_xyw, repeat("\xaePT1\xaf text\r\n", 4) + "\r\n"), (Outcome{17, 1}));
    EXPECT_EQ(run_tester(auto_tst_xyw, repeat("\xaePT1\xaf text\r\n", 4)), kNo);
    EXPECT_EQ(run_tester(auto_tst_xyw, repeat("\xaept1\xaf text ", 8)), kNo);
    EXPECT_EQ(run_tester(auto_tst_xyw, "text \xaeMD+\xaf"), (Outcome{17, 2}));

    EXPECT_EQ(run_tester(auto_tst_dif, "\x1b[1mBold\x1b[0m \x1b[4mU\x1b[24m"), (Outcome{18, 0}));
    EXPECT_EQ(run_tester(auto_tst_dif, "\x1b[1mBold\x1b[0m \x1b[4mU\x1b[99m"), kNo);
    EXPECT_EQ(run_tester(auto_tst_dif, "\x1b[1mBold\x1b[0m \x1b[4mU"), kNo);

    const std::string wita = bytes({0xFB, 0x00, 0x01, 1, 2, 3, 4, 5, 0xFA, 0x00, 0x01});
    EXPECT_EQ(run_tester(auto_tst_wita, "head" + wita), (Outcome{34, 0}));
    EXPECT_EQ(run_tester(auto_tst_wita, bytes({0xFB, 0x00, 0x01, 1, 2, 3, 4, 5, 6, 0xFA, 0x00, 0x01})), kNo);
    EXPECT_EQ(run_tester(auto_tst_wita, wita.substr(0, 10)), kNo);
}

TEST_F(AutoRecGraphics, FirstLineCodeScore) {
    EXPECT_EQ(run_tester(auto_tst_def, "$(WY)$(PGS)$(SB) x\r\nbody"), (Outcome{36, 0}));
    EXPECT_EQ(run_tester(auto_tst_def, "$(WY)$(SB)$(XX)\r\nbody"), kNo);              // 232
    EXPECT_EQ(run_tester(auto_tst_def, "$(WY)$(SB)$(XX)$(YY)$(ZZ)\r\n"), (Outcome{36, 0}));  // 236
    EXPECT_EQ(run_tester(auto_tst_def, "$(WY)\r\n$(PGS)$(PGM)"), kNo);
    EXPECT_EQ(run_tester(auto_tst_def, "$(PGM)$(PGS)$(SB)$(SB)"), (Outcome{36, 0}));  // 100+100+30+30
    EXPECT_EQ(run_tester(auto_tst_def, "$(PGM)$(PGS)$(SB)"), kNo);                   // 230
}

TEST_F(AutoRecGraphics, RulerLine) {
    const std::string ruler = "L" + std::string(21, '.') + "T...R\n";
    EXPECT_EQ(run_tester(auto_tst_uniplex, ruler), (Outcome{101, 0}));
    EXPECT_EQ(run_tester(auto_tst_uniplex, "Title line\n" + ruler + "text\n"), (Outcome{101, 0}));
    EXPECT_EQ(run_tester(auto_tst_uniplex, "L" + std::string(20, '.') + "R\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_uniplex, "C" + std::string(25, '.') + "R\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_uniplex, "L" + std::string(25, '.') + "x\n"), kNo);
}

TEST_F(AutoRecGraphics, MacintoshFourXCodes) {
    ByteBlock codes(200, 'a');
    for (int i = 0; i < 10; ++i) codes.put(static_cast<std::size_t>(10 * i), {0xCD, 'a', 0xCD});
    EXPECT_EQ(run_tester(auto_tst_wpm1, codes.str()), (Outcome{59, 0}));
    EXPECT_EQ(run_tester(auto_tst_wpm1, ByteBlock(codes).put(92, {'a'}).str()), kNo);
}

TEST_F(AutoRecGraphics, SetupHeader) {
    EXPECT_EQ(run_tester(auto_tst_ptx, "SETUP\r\nmore"), (Outcome{27, 0}));
    EXPECT_EQ(run_tester(auto_tst_ptx, "SETUP"), (Outcome{27, 0}));
    EXPECT_EQ(run_tester(auto_tst_ptx, "SETUPS\r\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_ptx, "xSETUP\r\n"), kNo);
}

TEST_F(AutoRecGraphics, PlotterCommandStatistics) {
    // IN; 7, IP with a long parameter 12, SP1; 7, PU0,0; 7, PD100,100; 12,
    // PU; 7, PA200,200; 12: 64 points.
    const std::string plot = "IN;IP0,0,8128,8128;SP1;PU0,0;PD100,100;PU;PA200,200;";
    EXPECT_EQ(run_tester(auto_tst_hpgl, plot), (Outcome{604, 0}));
    EXPECT_EQ(run_tester(auto_tst_hpgl, "IN;IP0,0,8128,8128;SP1;PU0,0;PD100,100;PU;"), kNo);  // 52
    EXPECT_EQ(run_tester(auto_tst_hpgl, "IN;" + std::string(9, '@') + plot.substr(3)), (Outcome{604, 0}));
    EXPECT_EQ(run_tester(auto_tst_hpgl, "IN;" + std::string(10, '@') + plot.substr(3)), kNo);
    EXPECT_EQ(run_tester(auto_tst_hpgl, "in;ip0,0,8128,8128;sp1;pu0,0;pd100,100;pu;pa200,200;"), kNo);
    // Label text up to its ETX is neither scored nor held against the plot.
    EXPECT_EQ(run_tester(auto_tst_hpgl, "IN;LBHello, world! @@@@@@@@@@@@\x03;" + plot.substr(3)), (Outcome{604, 0}));
    EXPECT_EQ(run_tester(auto_tst_hpgl, "The quick brown fox jumps over the lazy dog again and again."), kNo);
}

TEST_F(AutoRecGraphics, ExchangeFileColumns) {
    const std::string line1 = std::string(72, ' ') + "S0000001";
    const std::string line2 = std::string(72, ' ') + "G0000001";
    EXPECT_EQ(run_tester(auto_tst_iges, line1 + "\n" + line2 + "\n"), (Outcome{607, 0}));
    EXPECT_EQ(run_tester(auto_tst_iges, line1 + "\r\n" + line2 + "\r\n"), (Outcome{607, 0}));
    EXPECT_EQ(run_tester(auto_tst_iges, std::string(72, ' ') + "S000001 \n" + line2 + "\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_iges, line1 + "\n" + std::string(71, ' ') + "G0000001 \n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_iges, line1 + "\n" + line2.substr(0, 79)), kNo);

    EXPECT_EQ(run_tester(auto_tst_dxf, "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n"), (Outcome{608, 0}));
    EXPECT_EQ(run_tester(auto_tst_dxf, "0\nSECTION\n2\nHEADER\n"), (Outcome{608, 0}));
    EXPECT_EQ(run_tester(auto_tst_dxf, "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_dxf, "  0\r\nSECTION\r\n  2\r\nHEADER"), kNo);
    EXPECT_EQ(run_tester(auto_tst_dxf, std::string("AutoCAD Binary DXF\r\n\x1a\0", 22)), (Outcome{608, 2}));
    EXPECT_EQ(run_tester(auto_tst_dxf, "AutoCAD DXB 1.0\r\n\x1a"), (Outcome{608, 2}));
    EXPECT_EQ(run_tester(auto_tst_dxf, "AutoCAD Drawing"), kNo);
}

// A binary metafile: begin metafile (0,1), then the elements given as
// (class, id, parameter bytes), zero-padded to `size`.
std::string cgm(std::initializer_list<std::array<int, 3>> elements, std::size_t size = 200) {
    ByteBlock b;
    b.append({0x00, 0x24}).append("\x03" "abc");
    for (const auto &e : elements) {
        const unsigned header = static_cast<unsigned>(e[0] << 12 | e[1] << 5 | e[2]);
        b.append({static_cast<int>(header >> 8), static_cast<int>(header & 0xFF)});
        b.append(std::string(static_cast<std::size_t>(e[2] + (e[2] & 1)), '\x01'));
    }
    return b.resize(size).str();
}

TEST_F(AutoRecGraphics, CgmElementWalk) {
    // Eight plausible elements after the first: the count reaches 10.
    EXPECT_EQ(run_tester(auto_tst_cgm, cgm({{1, 1, 2}, {1, 2, 4}, {1, 3, 2}, {1, 4, 2}, {1, 5, 6}, {1, 6, 2},
                                            {1, 11, 6}, {0, 3, 0}})),
              (Outcome{603, 0}));
    // Six plausible, then no-ops: 8 of 10 elements counted.
    EXPECT_EQ(run_tester(auto_tst_cgm, cgm({{1, 1, 2}, {1, 2, 4}, {1, 3, 2}, {1, 4, 2}, {1, 5, 6}, {1, 6, 2}})),
              (Outcome{603, 0}));
    // Five plausible: 7.
    EXPECT_EQ(run_tester(auto_tst_cgm, cgm({{1, 1, 2}, {1, 2, 4}, {1, 3, 2}, {1, 4, 2}, {1, 5, 6}})), kNo);
    // An element that does not exist (class 1, id 20) rejects at once.
    EXPECT_EQ(run_tester(auto_tst_cgm, cgm({{1, 1, 2}, {1, 2, 4}, {1, 3, 2}, {1, 20, 2}, {1, 5, 6}, {1, 6, 2},
                                            {1, 11, 6}, {0, 3, 0}})),
              kNo);
    // Five zero-length elements stop the walk and reject.
    EXPECT_EQ(run_tester(auto_tst_cgm, cgm({{1, 1, 2}, {0, 3, 0}, {0, 4, 0}, {0, 5, 0}, {0, 3, 0}, {0, 4, 0},
                                            {1, 2, 4}, {1, 3, 2}})),
              kNo);
    // The first element must be begin metafile; 200 bytes are needed.
    std::string second = cgm({{1, 1, 2}, {1, 2, 4}, {1, 3, 2}, {1, 4, 2}, {1, 5, 6}, {1, 6, 2}});
    EXPECT_EQ(run_tester(auto_tst_cgm, second.substr(0, 199)), kNo);
    second[1] = 0x44;
    EXPECT_EQ(run_tester(auto_tst_cgm, second), kNo);
    // The long form: length 31 reads the next word's low 15 bits.
    ByteBlock long_form;
    long_form.append({0x00, 0x3F, 0x80, 0x04}).append("\x03" "abc");
    long_form.append(cgm({{1, 1, 2}, {1, 2, 4}, {1, 3, 2}, {1, 4, 2}, {1, 5, 6}, {1, 6, 2}}).substr(6));
    EXPECT_EQ(run_tester(auto_tst_cgm, long_form.resize(200).str()), (Outcome{603, 0}));
}

}  // namespace
}  // namespace vox::test
