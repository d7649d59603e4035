// The recogniser's document testers, the WordPerfect checks and the text
// statistics: for each, small blocks it must accept (with the version it
// sets) and near misses it must reject, including blocks one byte short
// of the length the tester needs.
#include <string>

#include <gtest/gtest.h>

#include "autorec/autorec.h"
#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

using AutoRecDocuments = KernelTest;

const Outcome kNo{0, 0};

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST_F(AutoRecDocuments, RevisableFormTextHasTwoHeaders) {
    const std::string rft = bytes({0x00, 0x05, 0xE1, 0x03, 0x00, 0x41, 0x41, 0xE2, 0x05});
    EXPECT_EQ(run_tester(auto_tst_rft, rft), (Outcome{15, 0}));
    EXPECT_EQ(run_tester(auto_tst_rft, rft.substr(0, 8)), kNo);  // E2 05 cut short
    EXPECT_EQ(run_tester(auto_tst_rft, ByteBlock().put(0, rft).put(7, {0xE3}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_rft, bytes({0x80, 0x00, 0x00, 0x09, 0x20})), (Outcome{15, 2}));
    EXPECT_EQ(run_tester(auto_tst_rft, bytes({0x80, 0x00, 0x00, 0x09, 0x21})), kNo);
}

// A 1029-byte block with the date slashes and markers of the format.
ByteBlock multimate_block() {
    ByteBlock b(1029);
    b.put(0, "DOC 1.0\0").put(406, "/").put(409, "/").put(414, "/").put(417, "/");
    b.put(420, "x").put(507, {1}).put(1028, {0xB1});
    return b;
}

TEST_F(AutoRecDocuments, MultimateVersionsAndMarkers) {
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().str()), (Outcome{10, 2}));
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(511, {3}).str()), (Outcome{10, 3}));
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(420, {0}).put(511, {3}).str()), (Outcome{10, 1}));
    // Byte 510 = 1 stands in for the marker at 1028, which then need not exist.
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(1028, {0xB2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(1028, {0xB2}).put(510, {1}).str()), (Outcome{10, 2}));
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(510, {1}).resize(1028).str()), (Outcome{10, 2}));
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(510, {1}).resize(1027).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(3, {0x80}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(507, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mm, multimate_block().put(414, "-").str()), kNo);
}

TEST_F(AutoRecDocuments, DosWordAndWriteShareAHeader) {
    ByteBlock word(128);
    word.put(0, {'1', 0xBE, 0, 0, 0, 0xAB});
    EXPECT_EQ(run_tester(auto_tst_msw, word.str()), (Outcome{5, 0}));
    EXPECT_EQ(run_tester(auto_tst_msw, ByteBlock(word).put(0, "2").str()), (Outcome{5, 1}));
    EXPECT_EQ(run_tester(auto_tst_msw, ByteBlock(word).put(97, {3}).str()), (Outcome{43, 0}));
    EXPECT_EQ(run_tester(auto_tst_msw, ByteBlock(word).put(4, {1}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_msw, ByteBlock(word).put(0, "3").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_msw, ByteBlock(word).resize(127).str()), kNo);
}

TEST_F(AutoRecDocuments, OfficeWriterReleaseAtByteZero) {
    ByteBlock ow(1536);
    ow.put(512, {0xB3}).put(1024, {0xB3});
    EXPECT_EQ(run_tester(auto_tst_ow, ByteBlock(ow).put(0, "4.0").str()), (Outcome{16, 0}));
    EXPECT_EQ(run_tester(auto_tst_ow, ByteBlock(ow).put(0, "5.0").str()), (Outcome{16, 1}));
    EXPECT_EQ(run_tester(auto_tst_ow, ByteBlock(ow).put(0, "6.0").str()), (Outcome{16, 2}));
    EXPECT_EQ(run_tester(auto_tst_ow, ByteBlock(ow).put(0, "7.0").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_ow, ByteBlock(ow).put(0, "5.0").resize(1535).str()), kNo);
}

TEST_F(AutoRecDocuments, SmallFixedHeaders) {
    ByteBlock qa(36);
    qa.put(0, "TBWP").put(26, {0x1A}).put(35, {4});
    EXPECT_EQ(run_tester(auto_tst_qaw, qa.str()), (Outcome{23, 1}));
    EXPECT_EQ(run_tester(auto_tst_qaw, ByteBlock(qa).put(35, {3}).str()), (Outcome{23, 0}));
    EXPECT_EQ(run_tester(auto_tst_qaw, ByteBlock(qa).resize(27).str()), (Outcome{23, 0}));
    EXPECT_EQ(run_tester(auto_tst_qaw, ByteBlock(qa).put(3, "Q").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_qaw, ByteBlock(qa).resize(26).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_en, bytes({0x80, 0xCD, 0xAB, 0, 0, 16})), (Outcome{28, 0}));
    EXPECT_EQ(run_tester(auto_tst_en, bytes({0x01, 0xCD, 0xAB, 0, 0, 48})), (Outcome{28, 0}));
    EXPECT_EQ(run_tester(auto_tst_en, bytes({0x02, 0xCD, 0xAB, 0, 0, 16})), kNo);
    EXPECT_EQ(run_tester(auto_tst_en, bytes({0x01, 0xCD, 0xAB, 0, 0, 49})), kNo);

    EXPECT_EQ(run_tester(auto_tst_fcdb, "GERBILDB"), (Outcome{708, 0}));
    EXPECT_EQ(run_tester(auto_tst_fcdb, "GERBILDC"), kNo);
    EXPECT_EQ(run_tester(auto_tst_ws2, "\x01\x02WS2000"), (Outcome{9, 0}));
    EXPECT_EQ(run_tester(auto_tst_ws2, "WS2000xx"), kNo);
    EXPECT_EQ(run_tester(auto_tst_dx, "ab_c_ _d___"), (Outcome{30, 0}));
    EXPECT_EQ(run_tester(auto_tst_dx, "ab_c_x_d___"), kNo);
    EXPECT_EQ(run_tester(auto_tst_dx, "ab_c_ _d__"), kNo);

    EXPECT_EQ(run_tester(auto_tst_rf, bytes({'m', 0xB3, '5', 0x88, 0x04})), (Outcome{25, 0}));
    EXPECT_EQ(run_tester(auto_tst_rf, bytes({0x05, 0xA2, 'd', 0xB0, 0x04})), (Outcome{25, 0}));
    EXPECT_EQ(run_tester(auto_tst_rf, bytes({0x05, 0xA2, 'd', 0xB0, 0x05})), kNo);
    EXPECT_EQ(run_tester(auto_tst_sma, bytes({0x1A, 'S', 0, 0, 3, 0})), (Outcome{22, 0}));
    EXPECT_EQ(run_tester(auto_tst_sma, bytes({0x1A, 'S', 0, 0, 16, 0})), (Outcome{22, 0}));
    EXPECT_EQ(run_tester(auto_tst_sma, bytes({0x1A, 'S', 0, 0, 4, 0})), kNo);
    EXPECT_EQ(run_tester(auto_tst_sma, bytes({0x1A, 'S', 0, 0, 3, 1})), kNo);
    EXPECT_EQ(run_tester(auto_tst_lm, "*R1 text"), (Outcome{24, 0}));
    EXPECT_EQ(run_tester(auto_tst_lm, "*R2\r\ntext"), (Outcome{24, 0}));
    EXPECT_EQ(run_tester(auto_tst_lm, "*R2\ntext"), kNo);
    EXPECT_EQ(run_tester(auto_tst_com, "\x1b\x1d" "DID42\x1f\x1e"), (Outcome{3, 0}));
    EXPECT_EQ(run_tester(auto_tst_com, "\x1b\x1d" "DIE42\x1f\x1e"), kNo);
    EXPECT_EQ(run_tester(auto_tst_wpl, "HB\xd1\x07xx"), (Outcome{45, 0}));
    EXPECT_EQ(run_tester(auto_tst_wn, "WriteNow"), (Outcome{62, 0}));
    EXPECT_EQ(run_tester(auto_tst_wn, "Writenow"), kNo);
    EXPECT_EQ(run_tester(auto_tst_wizi, "WiziWord 2"), (Outcome{47, 0}));
    EXPECT_EQ(run_tester(auto_tst_pdf, "%PDF-1.7"), (Outcome{107, 0}));
    EXPECT_EQ(run_tester(auto_tst_pdf, " %PDF-1.7"), kNo);
    EXPECT_EQ(run_tester(auto_tst_plx, "VIS000\x1a"), (Outcome{201, 0}));
    EXPECT_EQ(run_tester(auto_tst_plx, "VIS000\x1b"), kNo);
}

TEST_F(AutoRecDocuments, PageRecordTwiceForPfs) {
    const std::string record = bytes({0x42, 0x06, 0x06, 0x0A, 0x46, 0x01, 0x00, 0x00, 0x0A, 0x06});
    ByteBlock pfs(660);
    pfs.put(8, record).put(18, {3}).put(640, record).put(650, {3});
    EXPECT_EQ(run_tester(auto_tst_pfs, pfs.str()), (Outcome{8, 3}));
    EXPECT_EQ(run_tester(auto_tst_pfs, ByteBlock(pfs).put(650, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pfs, ByteBlock(pfs).put(18, {5}).put(650, {5}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pfs, ByteBlock(pfs).put(641, {0x07}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pfs, ByteBlock(pfs).resize(659).str()), kNo);
}

TEST_F(AutoRecDocuments, ProfileAt640ForDisplayWrite) {
    ByteBlock ibm(700);
    ibm.put(640, {0xD0, 0xC4, 0xC1, 0x00, 0x42, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x46});
    EXPECT_EQ(run_tester(auto_tst_ibm, ibm.str()), (Outcome{13, 0}));
    EXPECT_EQ(run_tester(auto_tst_ibm, ByteBlock(ibm).put(650, {0x47}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_ibm, ByteBlock(ibm).resize(699).str()), kNo);
}

TEST_F(AutoRecDocuments, RtfAndItsVersion) {
    EXPECT_EQ(run_tester(auto_tst_rtf, "{\\rtf1\\ansi"), (Outcome{19, 1}));
    EXPECT_EQ(run_tester(auto_tst_rtf, "{\\RTf0\\ansi"), (Outcome{19, 0}));
    EXPECT_EQ(run_tester(auto_tst_rtf, "{\\rt"), (Outcome{19, 1}));
    EXPECT_EQ(run_tester(auto_tst_rtf, "{\\r"), kNo);
    EXPECT_EQ(run_tester(auto_tst_rtf, "{\\ftf1"), kNo);
    EXPECT_EQ(run_tester(auto_tst_rtf, "{/rtf1"), kNo);
}

TEST_F(AutoRecDocuments, EarlyWindowsWord) {
    ByteBlock w(28);
    w.put(0, {0x9B, 0xA5}).put(24, {0x80, 0x01, 0x00, 0x00});
    EXPECT_EQ(run_tester(auto_tst_WinWord, w.str()), (Outcome{44, 0}));
    EXPECT_EQ(run_tester(auto_tst_WinWord, ByteBlock(w).put(0, {0xDB}).str()), (Outcome{44, 1}));
    EXPECT_EQ(run_tester(auto_tst_WinWord, ByteBlock(w).put(0, "H").str()), (Outcome{44, 1}));
    EXPECT_EQ(run_tester(auto_tst_WinWord, ByteBlock(w).put(0, {0x9C}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_WinWord, ByteBlock(w).put(25, {0x02}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_WinWord, ByteBlock(w).resize(27).str()), kNo);
}

TEST_F(AutoRecDocuments, AmiHeaderWithEitherLineEnd) {
    EXPECT_EQ(run_tester(auto_tst_ami, "[ver]\r\n\t4\r\n[sty]\r\n"), (Outcome{33, 0}));
    EXPECT_EQ(run_tester(auto_tst_ami, "[ver]\n\t3\n[sty]\n"), (Outcome{33, 0}));
    EXPECT_EQ(run_tester(auto_tst_ami, "[ver]\r\n\t5\r\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_ami, "[ver]\r\n 4\r\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_ami, "[ver]\r\n\t4\n"), kNo);
}

TEST_F(AutoRecDocuments, WorksheetsTwoLayouts) {
    EXPECT_EQ(run_tester(auto_tst_wks, bytes({0, 0, 2, 0, 6, 4})), (Outcome{20, 1}));
    EXPECT_EQ(run_tester(auto_tst_wks, bytes({0, 0, 2, 0, 11, 5})), (Outcome{20, 2}));
    EXPECT_EQ(run_tester(auto_tst_wks, bytes({0, 0, 2, 0, 12, 4})), kNo);
    EXPECT_EQ(run_tester(auto_tst_wks, bytes({0, 0, 2, 0, 3, 4})), kNo);
    ByteBlock wk3(21);
    wk3.put(0, {0, 0, 0x1A, 0, 2, 0x10, 0x04, 0}).put(20, {1});
    EXPECT_EQ(run_tester(auto_tst_wks, wk3.str()), (Outcome{20, 3}));
    EXPECT_EQ(run_tester(auto_tst_wks, ByteBlock(wk3).put(4, {0}).str()), (Outcome{20, 2}));
    EXPECT_EQ(run_tester(auto_tst_wks, ByteBlock(wk3).put(4, {1}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wks, ByteBlock(wk3).put(20, {0}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wks, ByteBlock(wk3).resize(20).str()), kNo);
}

TEST_F(AutoRecDocuments, SpreadsheetBiffHeaders) {
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00})), (Outcome{21, 0}));
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x00, 0x04, 0x00, 0x01, 0x00, 0x10, 0x00})), kNo);
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x02, 0x06, 0x00, 0x07, 0x00, 0x10, 0x00})), (Outcome{21, 1}));
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x04, 0x04, 0x00, 0x07, 0x00, 0x10, 0x00})), (Outcome{21, 2}));
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x04, 0x05, 0x00, 0x07, 0x00, 0x10, 0x00})), kNo);
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x04, 0x04, 0x00, 0x07, 0x01, 0x10, 0x00})), kNo);
    EXPECT_EQ(run_tester(auto_tst_xls, bytes({0x09, 0x04, 0x04, 0x00, 0x07, 0x00, 0x10})), kNo);
}

TEST_F(AutoRecDocuments, FrameworkThresholds) {
    ByteBlock fw(26);
    fw.put(6, {0xED, 0xFB}).le16(12, 201).le16(24, 2);
    EXPECT_EQ(run_tester(auto_tst_fw3, fw.str()), (Outcome{29, 0}));
    EXPECT_EQ(run_tester(auto_tst_fw3, ByteBlock(fw).le16(12, 200).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_fw3, ByteBlock(fw).le16(24, 1).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_fw3, ByteBlock(fw).resize(25).str()), kNo);
}

TEST_F(AutoRecDocuments, WangZeroHeadOrManyFF) {
    ByteBlock wang(1152);
    wang.put(1024, {0x86});
    EXPECT_EQ(run_tester(auto_tst_wang, wang.str()), (Outcome{26, 0}));
    EXPECT_EQ(run_tester(auto_tst_wang, ByteBlock(wang).resize(1151).str()), kNo);
    ByteBlock marked = ByteBlock(wang).put(5, "x");
    EXPECT_EQ(run_tester(auto_tst_wang, marked.str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wang, ByteBlock(marked).put(200, std::string(100, '\xff')).str()), (Outcome{26, 0}));
    EXPECT_EQ(run_tester(auto_tst_wang, ByteBlock(marked).put(200, std::string(99, '\xff')).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wang, ByteBlock(wang).put(1024, {0x87}).str()), kNo);
}

TEST_F(AutoRecDocuments, FinalFormTextRepeatNeededUnlessExpected) {
    const std::string code = bytes({'+', 0xD2, 0x04, 0x85});
    const std::string twice = code + "ab" + code;
    EXPECT_EQ(run_tester(auto_tst_fft, twice), (Outcome{32, 0}));
    EXPECT_EQ(run_tester(auto_tst_fft, "x" + twice), (Outcome{32, 0}));
    EXPECT_EQ(run_tester(auto_tst_fft, "xy" + twice), kNo);
    const std::string once = code + "abcdef";
    EXPECT_EQ(run_tester(auto_tst_fft, once), kNo);
    EXPECT_EQ(run_tester(auto_tst_fft, once, true), (Outcome{32, 0}));
}

TEST_F(AutoRecDocuments, MacWordTwoLayouts) {
    ByteBlock w4(11);
    w4.put(0, {0xFE, '4'}).put(10, {1});
    EXPECT_EQ(run_tester(auto_tst_mwm, w4.str()), (Outcome{54, 0}));
    EXPECT_EQ(run_tester(auto_tst_mwm, ByteBlock(w4).put(10, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mwm, ByteBlock(w4).put(9, {1}).str()), kNo);
    ByteBlock w7(24);
    w7.put(0, {0xFE, '7'}).put(22, {2});
    EXPECT_EQ(run_tester(auto_tst_mwm, w7.str()), (Outcome{54, 1}));
    EXPECT_EQ(run_tester(auto_tst_mwm, ByteBlock(w7).resize(192).str()), (Outcome{54, 1}));
    EXPECT_EQ(run_tester(auto_tst_mwm, ByteBlock(w7).resize(192).put(190, {1}).str()), (Outcome{54, 2}));
    EXPECT_EQ(run_tester(auto_tst_mwm, ByteBlock(w7).put(22, {3}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mwm, ByteBlock(w7).put(21, {1}).str()), kNo);
}

TEST_F(AutoRecDocuments, MacWriteFamily) {
    ByteBlock mcw(16);
    mcw.be16(0, 6).be16(2, 2).be16(4, 0x10).be16(6, 0x201F).be16(14, 0xFFFC);
    EXPECT_EQ(run_tester(auto_tst_mcw, mcw.str()), (Outcome{51, 0}));
    EXPECT_EQ(run_tester(auto_tst_mcw, ByteBlock(mcw).be16(14, 2).str()), (Outcome{51, 0}));
    EXPECT_EQ(run_tester(auto_tst_mcw, ByteBlock(mcw).be16(14, 3).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mcw, ByteBlock(mcw).be16(6, 0x2020).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mcw, ByteBlock(mcw).be16(2, 1).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mcw, ByteBlock(mcw).resize(15).str()), kNo);

    ByteBlock mcw2(150);
    mcw2.put(0, {0x00, '.'}).put(135, {0x06, 0x12, 0x01}).put(140, {1});
    EXPECT_EQ(run_tester(auto_tst_mcw2, mcw2.str()), (Outcome{52, 0}));
    EXPECT_EQ(run_tester(auto_tst_mcw2, ByteBlock(mcw2).put(137, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mcw2, ByteBlock(mcw2).put(140, {0}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mcw2, ByteBlock(mcw2).resize(149).str()), kNo);

    ByteBlock pro(512);
    pro.put(0, {0x00, 0x04, 0x00, 0x04});
    EXPECT_EQ(run_tester(auto_tst_mcwpro, pro.str()), (Outcome{56, 0}));
    EXPECT_EQ(run_tester(auto_tst_mcwpro, ByteBlock(pro).resize(511).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_clworks, bytes({0x02, 0x00, 0x00, 0x03, 'B', 'O', 'B', 'O', 0})), (Outcome{57, 0}));
    EXPECT_EQ(run_tester(auto_tst_clworks, bytes({0x04, 0x00, 0x00, 0x07, 'B', 'O', 'B', 'O', 0})), (Outcome{57, 1}));
    EXPECT_EQ(run_tester(auto_tst_clworks, bytes({0x02, 0x00, 0x00, 0x04, 'B', 'O', 'B', 'O', 0})), kNo);
    EXPECT_EQ(run_tester(auto_tst_clworks, bytes({0x04, 0x00, 0x00, 0x07, 'B', 'O', 'B', 'O', 1})), kNo);
}

TEST_F(AutoRecDocuments, FullWriteIsNeverClaimed) {
    EXPECT_EQ(run_tester(auto_tst_fwp, "anything at all"), kNo);
    EXPECT_EQ(run_tester(auto_tst_fwp, "anything at all", true), kNo);
}

TEST_F(AutoRecDocuments, InterleafReleaseByte17) {
    EXPECT_EQ(run_tester(auto_tst_ilf, "<!OPS, Version = 7.0>"), (Outcome{35, 0}));
    EXPECT_EQ(run_tester(auto_tst_ilf, "<!ops, Version = 8.0>"), (Outcome{46, 0}));
    EXPECT_EQ(run_tester(auto_tst_ilf, "<!OPS, Version = "), kNo);
    EXPECT_EQ(run_tester(auto_tst_ilf, "<!OPT, Version = 8.0>"), kNo);
}

TEST_F(AutoRecDocuments, DatabaseHeaderEnds) {
    ByteBlock db(65);
    db.put(0, {0x03, 95, 7, 15}).le16(8, 65).put(64, {0x0D});
    EXPECT_EQ(run_tester(auto_tst_db, db.str()), (Outcome{770, 1}));
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(db).put(63, {0x0D}).str()), (Outcome{770, 0}));
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(db).put(2, {13}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(db).put(3, {32}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(db).put(64, {0x0A}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(db).resize(64).str()), kNo);

    // Without a usable header size, three field descriptors will do.
    ByteBlock fields(128);
    fields.put(0, {0x03, 95, 7, 15}).put(32, "NAME").put(43, "C").put(64, "BORN_ON").put(75, "D");
    fields.put(96, "SALARY2").put(107, "N");
    EXPECT_EQ(run_tester(auto_tst_db, fields.str()), (Outcome{770, 0}));
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(fields).put(107, "X").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(fields).put(64, "born").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_db, ByteBlock(fields).resize(127).str()), kNo);
}

TEST_F(AutoRecDocuments, ParadoxRecordSizeIsTheFieldSum) {
    ByteBlock old(128);
    old.le16(0, 30).le16(33, 2).put(88, {1, 10, 1, 20});
    EXPECT_EQ(run_tester(auto_tst_pdx, old.str()), (Outcome{703, 0}));
    EXPECT_EQ(run_tester(auto_tst_pdx, ByteBlock(old).le16(0, 31).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pdx, ByteBlock(old).resize(127).str()), kNo);
    ByteBlock later(128);
    later.le16(0, 30).le16(100, 3).put(120, {1, 10, 1, 10, 1, 10});
    EXPECT_EQ(run_tester(auto_tst_pdx, later.str()), (Outcome{703, 1}));
    EXPECT_EQ(run_tester(auto_tst_pdx, ByteBlock(later).put(125, {11}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_pdx, ByteBlock().le16(0, 0).le16(33, 0).resize(128).str()), kNo);
}

TEST_F(AutoRecDocuments, AccessAndWorksAndPresentations) {
    ByteBlock mdb(1035);
    mdb.put(1030, "Rich\x09");
    EXPECT_EQ(run_tester(auto_tst_access, mdb.str()), (Outcome{771, 0}));
    EXPECT_EQ(run_tester(auto_tst_access, ByteBlock(mdb).resize(1034).str()), kNo);

    ByteBlock works(140);
    works.put(0, {1, 0xFE});
    EXPECT_EQ(run_tester(auto_tst_works, works.str()), (Outcome{39, 0}));
    EXPECT_EQ(run_tester(auto_tst_works, ByteBlock(works).put(0, {4}).str()), (Outcome{39, 1}));
    EXPECT_EQ(run_tester(auto_tst_works, ByteBlock(works).put(0, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_works, ByteBlock(works).resize(139).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_ppt, bytes({0xED, 0xDE, 0xAD, 0x0B, 2, 0, 0, 0})), (Outcome{619, 0}));
    EXPECT_EQ(run_tester(auto_tst_ppt, bytes({0xED, 0xDE, 0xAD, 0x0B, 4, 0, 0, 0})), (Outcome{619, 2}));
    EXPECT_EQ(run_tester(auto_tst_ppt, bytes({0xED, 0xDE, 0xAD, 0x0B, 5, 0, 0, 0})), kNo);
    EXPECT_EQ(run_tester(auto_tst_ppt, bytes({0xED, 0xDE, 0xAD, 0x0B, 3, 0, 1, 0})), kNo);
}

TEST_F(AutoRecDocuments, StarWriterFiveHeader) {
    ByteBlock ws5(128);
    ws5.put(0, {0x1D, '}', 0, 0, 'P'}).put(125, {'}', 0, 0x1D});
    EXPECT_EQ(run_tester(auto_tst_ws5, ws5.str()), (Outcome{4, 3}));
    EXPECT_EQ(run_tester(auto_tst_ws5, ByteBlock(ws5).put(4, "U").str()), (Outcome{4, 4}));
    EXPECT_EQ(run_tester(auto_tst_ws5, ByteBlock(ws5).put(4, "`").str()), (Outcome{4, 5}));
    EXPECT_EQ(run_tester(auto_tst_ws5, ByteBlock(ws5).put(4, "p").str()), (Outcome{4, 6}));
    EXPECT_EQ(run_tester(auto_tst_ws5, ByteBlock(ws5).put(4, "Q").str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_ws5, ByteBlock(ws5).put(127, {0x1C}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_ws5, ByteBlock(ws5).resize(127).str()), kNo);
}

TEST_F(AutoRecDocuments, LegacyAndCeoHeaders) {
    const std::string leg = bytes({0xFE, 0x4C, 0x47, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00});
    EXPECT_EQ(run_tester(auto_tst_leg, leg), (Outcome{37, 1}));
    EXPECT_EQ(run_tester(auto_tst_leg, bytes({0xFE, 0x4C, 0x47, 0x03, 0, 0, 0, 0x04, 0, 0})), (Outcome{37, 2}));
    EXPECT_EQ(run_tester(auto_tst_leg, bytes({0xFE, 0x4C, 0x47, 0x03, 0, 0, 0, 0x02, 0, 0})), kNo);
    EXPECT_EQ(run_tester(auto_tst_leg, leg.substr(0, 9)), kNo);

    const std::string ceo = bytes({0x00, 0x43, 0x45, 0x4F, 0x77, 0x57, 0x50, 0x01, 0x00});
    EXPECT_EQ(run_tester(auto_tst_ceo, ceo), (Outcome{104, 0}));
    EXPECT_EQ(run_tester(auto_tst_ceo, ByteBlock().put(0, ceo).put(7, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_ceo, ceo.substr(0, 8)), kNo);
}

TEST_F(AutoRecDocuments, ZemHeaderVersions) {
    EXPECT_EQ(run_tester(auto_tst_zem, "<ZEMFile 3.00>\n"), (Outcome{42, 0}));
    EXPECT_EQ(run_tester(auto_tst_zem, "<ZEMFile 4.00>\n"), (Outcome{42, 1}));
    EXPECT_EQ(run_tester(auto_tst_zem, "<ZEMFile 5.00>\n"), (Outcome{42, 2}));
    EXPECT_EQ(run_tester(auto_tst_zem, "<ZEMFile 7.00>\n"), (Outcome{42, 2}));
    EXPECT_EQ(run_tester(auto_tst_zem, "<Book 4.0> # generated\n"), (Outcome{42, 1}));
    EXPECT_EQ(run_tester(auto_tst_zem, "<Book 5.0> # generated\n"), (Outcome{42, 2}));
    EXPECT_EQ(run_tester(auto_tst_zem, "<Book 6.0> # generated\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_zem, "<ZemFile 5.00>\n"), kNo);
    EXPECT_EQ(run_tester(auto_tst_zem, "ZEMFile 5.00\n"), kNo);
}

TEST_F(AutoRecDocuments, OtherFixedHeaders) {
    EXPECT_EQ(run_tester(auto_tst_mdi, bytes({0x8F, 0x00, 'm', 'd', 'I', '/'})), (Outcome{103, 0}));
    EXPECT_EQ(run_tester(auto_tst_mdi, bytes({0x8F, 0x00, 'm', 'd', 'I', '-'})), kNo);
    EXPECT_EQ(run_tester(auto_tst_mdi, "Interpress/Xerox/3.0 "), (Outcome{616, 4}));
    EXPECT_EQ(run_tester(auto_tst_op, "\x1b" "ab6.0"), (Outcome{102, 0}));
    EXPECT_EQ(run_tester(auto_tst_op, "\x1b" "abcdefg7.0"), (Outcome{102, 1}));
    EXPECT_EQ(run_tester(auto_tst_op, "xab6.0"), kNo);

    ByteBlock wp(24);
    wp.put(0, "WordPro\x0d\xfb");
    EXPECT_EQ(run_tester(auto_tst_wordpro, wp.str()), (Outcome{111, 0}));
    EXPECT_EQ(run_tester(auto_tst_wordpro, ByteBlock(wp).put(16, {1}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wordpro, ByteBlock(wp).put(17, {1}).str()), (Outcome{111, 0}));
    EXPECT_EQ(run_tester(auto_tst_wordpro, ByteBlock(wp).resize(23).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_quattro, bytes({0, 0, 2, 0, ' ', 'Q'})), (Outcome{801, 0}));
    EXPECT_EQ(run_tester(auto_tst_quattro, bytes({0, 0, 2, 0, 1, 0x10})), (Outcome{801, 1}));
    EXPECT_EQ(run_tester(auto_tst_quattro, bytes({0, 0, 2, 0, 2, 0x10})), (Outcome{801, 2}));
    EXPECT_EQ(run_tester(auto_tst_quattro, bytes({0, 0, 2, 0, 3, 0x10})), kNo);

    ByteBlock crystal(160);
    crystal.put(0, "\x80MT2");
    EXPECT_EQ(run_tester(auto_tst_crystal, crystal.str()), (Outcome{105, 0}));
    EXPECT_EQ(run_tester(auto_tst_crystal, ByteBlock(crystal).resize(159).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_formflow, "FormFlow          1.00 form"), (Outcome{624, 0}));
    EXPECT_EQ(run_tester(auto_tst_formflow, "FormFlow ENCR     1.00 form"), (Outcome{624, 0}));
    EXPECT_EQ(run_tester(auto_tst_formflow, "FormFlow ENCX     1.00 form"), kNo);
    EXPECT_EQ(run_tester(auto_tst_formflow, "FormFlow          1.01 form"), kNo);
    EXPECT_EQ(run_tester(auto_tst_formflow, "FormFlow          1.0"), kNo);

    const std::string misc = bytes({0x9C, 0xA5, 0x21, 0x00, 0xDD, 0x20, 0x02, 0x00, 0x00, 0x00, 0x08, 0x00, 0x19,
                                    0x00, 0x00, 0x00});
    EXPECT_EQ(run_tester(auto_tst_misc, misc), (Outcome{950, 0}));
    EXPECT_EQ(run_tester(auto_tst_misc, misc.substr(0, 15)), kNo);
    EXPECT_EQ(run_tester(auto_tst_misc, bytes({'?', '_', 3, 0})), (Outcome{950, 1}));
    EXPECT_EQ(run_tester(auto_tst_misc, bytes({'?', '_', 4, 0})), kNo);

    const std::string zip = "PK\x03\x04" + std::string(17, 'z');
    EXPECT_EQ(run_tester(auto_tst_zip, zip), (Outcome{940, 0}));
    EXPECT_EQ(run_tester(auto_tst_zip, zip.substr(0, 20)), kNo);
    EXPECT_EQ(run_tester(auto_tst_zip, "PK\x0a\x04" + std::string(17, 'z')), kNo);
}

TEST_F(AutoRecDocuments, MassElevenBinaryOrFixedLines) {
    ByteBlock bin(500);
    bin.put(0, {'Z', 0}).put(92, {0xC9, 0}).put(296, {0xC9, 0});
    EXPECT_EQ(run_tester(auto_tst_mas, bin.str()), (Outcome{31, 0}));
    EXPECT_EQ(run_tester(auto_tst_mas, ByteBlock(bin).put(297, {1}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mas, ByteBlock(bin).resize(499).str()), kNo);
    // A 90-byte line, then two 201-byte lines, each ended by CR LF.
    const std::string text = std::string(90, 'a') + "\r\n" + std::string(201, 'b') + "\r\n" +
                             std::string(201, 'c') + "\r\n" + "dd";
    ASSERT_EQ(text.size(), 500u);
    EXPECT_EQ(run_tester(auto_tst_mas, text), (Outcome{31, 0}));
    const std::string short_line = std::string(90, 'a') + "\r\n" + std::string(200, 'b') + "\r\n" +
                                   std::string(201, 'c') + "\r\n" + "ddd";
    EXPECT_EQ(run_tester(auto_tst_mas, short_line), kNo);
}

// A compound-file directory entry placed in a block.
void put_entry(ByteBlock &b, std::size_t at, const std::string &name, std::int32_t left) {
    for (std::size_t i = 0; i < name.size(); ++i) b.put(at + 2 * i, {static_cast<unsigned char>(name[i]), 0});
    b.le16(at + 64, static_cast<unsigned>(2 * (name.size() + 1))).put(at + 66, {2, 1});
    b.le32(at + 68, static_cast<std::uint32_t>(left)).le32(at + 72, 0xFFFFFFFFu).le32(at + 76, 0xFFFFFFFFu);
}

TEST_F(AutoRecDocuments, DirectoryEntriesInsideTheBlock) {
    ByteBlock word(1024);
    put_entry(word, 512, "WordDocument", -1);
    EXPECT_EQ(run_tester(auto_tst_WinWord6, word.str()), (Outcome{49, 0}));
    ByteBlock with_sibling(1024);
    put_entry(with_sibling, 512, "WordDocument", 3);
    EXPECT_EQ(run_tester(auto_tst_WinWord6, with_sibling.str()), kNo);
    ByteBlock unaligned(1024);
    put_entry(unaligned, 520, "WordDocument", -1);
    EXPECT_EQ(run_tester(auto_tst_WinWord6, unaligned.str()), kNo);
    ByteBlock in_header(1024);
    put_entry(in_header, 256, "WordDocument", -1);
    EXPECT_EQ(run_tester(auto_tst_WinWord6, in_header.str()), kNo);

    ByteBlock book(1024);
    put_entry(book, 640, "Book", 5);
    EXPECT_EQ(run_tester(auto_tst_xls5, book.str()), (Outcome{21, 4}));
    EXPECT_EQ(run_tester(auto_tst_xls5, ByteBlock(book).le16(640 + 64, 12).str()), kNo);

    ByteBlock mm(1024);
    put_entry(mm, 768, "MMContents", -1);
    EXPECT_EQ(run_tester(auto_tst_works3, mm.str()), (Outcome{39, 1}));
    ByteBlock mn(1024);
    put_entry(mn, 768, "MNContents", -1);
    EXPECT_EQ(run_tester(auto_tst_works3, mn.str()), kNo);

    ByteBlock ppt(1024);
    put_entry(ppt, 896, "PowerPoint Document", -1);
    EXPECT_EQ(run_tester(auto_tst_power, ppt.str()), (Outcome{627, 0}));
    ByteBlock pp40(1024);
    put_entry(pp40, 896, "PP40", 2);
    EXPECT_EQ(run_tester(auto_tst_power, pp40.str()), (Outcome{619, 2}));
    ByteBlock ppt_sibling(1024);
    put_entry(ppt_sibling, 896, "PowerPoint Document", 4);
    EXPECT_EQ(run_tester(auto_tst_power, ppt_sibling.str()), kNo);
}

TEST_F(AutoRecDocuments, HtmlTagThenClosingBracket) {
    EXPECT_EQ(run_tester(auto_tst_html, "text <p>x</p> <HTML lang=en> more"), (Outcome{108, 3}));
    EXPECT_EQ(run_tester(auto_tst_html, "<!-- comment -->"), (Outcome{108, 3}));
    EXPECT_EQ(run_tester(auto_tst_html, "<TiTlE>"), (Outcome{108, 3}));
    EXPECT_EQ(run_tester(auto_tst_html, "<head"), kNo);
    EXPECT_EQ(run_tester(auto_tst_html, "< html>"), kNo);
    EXPECT_EQ(run_tester(auto_tst_html, "<htm>"), kNo);
    EXPECT_EQ(run_tester(auto_tst_html, "<!- x ->"), kNo);
}

// ---- WordPerfect -------------------------------------------------------

// The 16-byte prefix, the document area at 16, zero-padded to `size`.
ByteBlock wp_prefix(int type, int major, int minor, std::size_t size = 64) {
    ByteBlock b(size);
    b.put(0, {0xFF, 'W', 'P', 'C'}).le16(4, 16).put(8, {1, type, major, minor});
    return b;
}

TEST_F(AutoRecDocuments, WordPerfectPrefixKinds) {
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 0, 0).str()), (Outcome{7, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 0, 1).str()), (Outcome{7, 1}));
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 2, 1).str()), (Outcome{48, 1}));
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 2, 2).str()), (Outcome{48, 2}));
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 2, 3).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(22, 1, 0).str()), (Outcome{606, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(22, 2, 0).str()), (Outcome{615, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(11, 0, 0).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 0, 0).put(8, {2}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp5, wp_prefix(10, 0, 0, 15).str()), kNo);

    EXPECT_EQ(run_tester(auto_tst_mwp2, wp_prefix(',', 2, 0).str()), (Outcome{60, 0}));
    EXPECT_EQ(run_tester(auto_tst_mwp2, wp_prefix(',', 2, 1).str()), (Outcome{60, 1}));
    EXPECT_EQ(run_tester(auto_tst_mwp2, wp_prefix(',', 3, 0).str()), (Outcome{60, 2}));
    EXPECT_EQ(run_tester(auto_tst_mwp2, wp_prefix(',', 4, 0).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_mwp2, wp_prefix(10, 2, 0).str()), kNo);
}

TEST_F(AutoRecDocuments, MergeCodesMakeAMergeFile) {
    // At 16: C3 and its three bytes, a variable code D0 01 with 4 bytes of
    // data, then the merge code DE 31 at 28.
    ByteBlock merge = wp_prefix(10, 0, 1, 64);
    merge.put(16, {0xC3, 0x41, 0x41, 0x41}).put(20, {0xD0, 0x01, 0x04, 0x00, 1, 2, 3, 4}).put(28, {0xDE, 0x31});
    EXPECT_EQ(run_tester(auto_tst_wp5, merge.str()), (Outcome{707, 1}));
    for (int head : {0x34, 0x48, 0x62})
        EXPECT_EQ(run_tester(auto_tst_wp5, ByteBlock(merge).put(29, {head}).str()), (Outcome{707, 1}));
    EXPECT_EQ(run_tester(auto_tst_wp5, ByteBlock(merge).put(29, {0x32}).str()), (Outcome{7, 1}));
    // The merge code inside C3's three bytes, or inside the skipped data of
    // the variable code, is not seen.
    ByteBlock hidden = wp_prefix(10, 0, 1, 64);
    hidden.put(16, {0xC3, 0xDE, 0x31, 0x41}).put(20, {0xD0, 0x01, 0x04, 0x00, 0xDE, 0x31, 0xDE, 0x34});
    EXPECT_EQ(run_tester(auto_tst_wp5, hidden.str()), (Outcome{7, 1}));
    // C1 takes nine bytes more: 17-25 are skipped and the code at 26 is
    // read.  (Were C1 nine bytes in all, the walk would land on the D0 at
    // 25 and jump past the end.)
    ByteBlock after_c1 = wp_prefix(10, 0, 1, 64);
    after_c1.put(16, {0xC1, 1, 2, 3, 4, 5, 6, 7, 8, 0xD0, 0xDE, 0x31});
    EXPECT_EQ(run_tester(auto_tst_wp5, after_c1.str()), (Outcome{707, 1}));
    // Within 20 bytes of the end the walk has stopped.
    EXPECT_EQ(run_tester(auto_tst_wp5, ByteBlock(merge).resize(48).str()), (Outcome{7, 1}));
    EXPECT_EQ(run_tester(auto_tst_wp5, ByteBlock(merge).resize(49).str()), (Outcome{707, 1}));
    EXPECT_EQ(run_tester(auto_tst_wp5, ByteBlock(merge).put(6, {1}).str()), (Outcome{7, 1}));
}

// `count` occurrences of C0 whose repeat comes five bytes later, 20 bytes
// apart, in a block of `size` bytes of 'a'.
ByteBlock wp4_block(int count, std::size_t size = 400) {
    ByteBlock b(size, 'a');
    for (int i = 0; i < count; ++i) b.put(static_cast<std::size_t>(20 * i), {0xC0}).put(20 * i + 5, {0xC0});
    return b;
}

TEST_F(AutoRecDocuments, WordPerfect4CodeHeuristic) {
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(10).str()), (Outcome{6, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(9).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(2).str(), true), (Outcome{6, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(1).str(), true), kNo);
    // A code of version 1 (F1, repeat 105 bytes on) raises the version.
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(10).put(210, {0xF1}).put(315, {0xF1}).str()), (Outcome{6, 1}));
    // A code of another format (D2, repeat 3 on) rules the file out.
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(10).put(230, {0xD2}).put(233, {0xD2}).str()), kNo);
    // CE first appears with version 0, so it counts.
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(9).put(230, {0xCE}).put(233, {0xCE}).str()), (Outcome{6, 0}));
    // The last 148 bytes are not scanned: a tenth match starting there
    // does not count (400 - 148 = 252).
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(9).put(252, {0xC0}).put(257, {0xC0}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp4, wp4_block(9).put(251, {0xC0}).put(256, {0xC0}).str()), (Outcome{6, 0}));
    // Paintbrush and icon headers are not documents; 148 bytes are too few.
    const ByteBlock eleven = wp4_block(10).put(230, {0xC0}).put(235, {0xC0});
    EXPECT_EQ(run_tester(auto_tst_wp4, eleven.str()), (Outcome{6, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp4, ByteBlock(eleven).put(0, {0x0A, 5, 1, 8}).str()), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp4, ByteBlock(eleven).put(0, {0, 0, 1, 0}).str()), kNo);
    // 150 bytes leave positions 0 and 1 to scan: C0 (repeat at 5) and C1
    // (repeat at 4) are two matches; at 149 bytes only C0 is scanned.
    const ByteBlock two = ByteBlock(150, 'a').put(0, {0xC0, 0xC1}).put(4, {0xC1, 0xC0});
    EXPECT_EQ(run_tester(auto_tst_wp4, two.str(), true), (Outcome{6, 0}));
    EXPECT_EQ(run_tester(auto_tst_wp4, ByteBlock(two).resize(149).str(), true), kNo);
    EXPECT_EQ(run_tester(auto_tst_wp4, ByteBlock(two).resize(148).str(), true), kNo);
}

// ---- Text statistics ---------------------------------------------------

TEST_F(AutoRecDocuments, TextWithEachKindOfLineEnd) {
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("hello world\n", 30)), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("hello world\r\n", 30)), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("hello world\r", 30)), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("hello world\r\r\n", 30)), (Outcome{1, 0}));
    // Mixed line ends: LF and CR LF both at least once per 302 bytes.
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("hello world\n", 15) + repeat("hello world\r\n", 15)), kNo);
    // One line end in 1201 bytes is too few: a block of that length needs
    // three (one per 302 bytes).
    EXPECT_EQ(run_tester(auto_tst_asc, std::string(1199, 'a') + "\n" + "b"), kNo);
}

TEST_F(AutoRecDocuments, EightBitAndAtCodedText) {
    // Under 302 bytes no line end is needed.  200 low bytes pass the 4:1
    // ratio against 50 high ones, not against 51.
    EXPECT_EQ(run_tester(auto_tst_asc, std::string(200, 'a') + std::string(50, '\xe9') + "x"), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, std::string(200, 'a') + std::string(51, '\xe9') + "x"), kNo);
    // More "@" than spaces: high bytes at least twice the other low bytes.
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("@\xc1\xc1", 100)), (Outcome{2, 0}));
    // More "@" than spaces, few high bytes: low at least six times high.
    EXPECT_EQ(run_tester(auto_tst_asc, repeat("@x", 150)), (Outcome{1, 0}));
    // Inconsistent line ends, yet "@" coded: 40 "@", 199 high, 43 low.
    EXPECT_EQ(run_tester(auto_tst_asc, std::string(40, '@') + "\r\n\n" + std::string(200, '\xc1')), (Outcome{2, 0}));
}

TEST_F(AutoRecDocuments, PostScriptAndShortBlocks) {
    EXPECT_EQ(run_tester(auto_tst_asc, "%!PS-3.0\nshowpage\n"), (Outcome{503, 1}));
    EXPECT_EQ(run_tester(auto_tst_asc, "\x04%!PS-3.0\nshowpage\n"), (Outcome{503, 1}));
    EXPECT_EQ(run_tester(auto_tst_asc, "%%PS\n"), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, "abcde"), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, "\xe9\xe9\xe9" "ab"), kNo);
    EXPECT_EQ(run_tester(auto_tst_asc, "abc"), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, std::string("ab\0", 3)), kNo);
    EXPECT_EQ(run_tester(auto_tst_asc, std::string("ab\1c", 4)), (Outcome{1, 0}));
    EXPECT_EQ(run_tester(auto_tst_asc, "a\x12" "b"), (Outcome{1, 0}));
}

TEST_F(AutoRecDocuments, ControlByteInTheFirstLineStopsTheCount) {
    const std::string text = repeat("hello world\n", 40);
    EXPECT_EQ(run_tester(auto_tst_asc, text), (Outcome{1, 0}));
    std::string with_nul = text;
    with_nul[5] = '\0';
    // Only "hello" is counted: no line end in a 480-byte block.
    EXPECT_EQ(run_tester(auto_tst_asc, with_nul), kNo);
    std::string with_escape = text;
    with_escape[5] = '\x1b';
    EXPECT_EQ(run_tester(auto_tst_asc, with_escape), kNo);
    std::string with_tab = text;
    with_tab[5] = '\t';
    EXPECT_EQ(run_tester(auto_tst_asc, with_tab), (Outcome{1, 0}));
}

}  // namespace
}  // namespace vox::test
