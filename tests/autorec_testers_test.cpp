// The recogniser's testers, in one table.  A row is a block the
// tester must accept, with the format and version it gives, then patches of
// that block ('|' between them): near misses it must reject, or variants
// with the outcome after "=>".  "#N" cuts a block to N bytes, so a block at
// a tester's minimum length and its "#N-1" patch pin that minimum.
#include <sstream>

#include "compound_file_writer.h"
#include "test_support.h"

namespace vox::test {
namespace {

using AutoRecTesters = KernelTest;

// The tester, its name, the block to accept with what it gives, and the patches.
struct Row { Tester test; const char *name; std::string yes; Outcome want; std::string patches = ""; };
#define T(f) auto_tst_##f, "auto_tst_" #f

const std::string FFT = "'+' D2 04 85 'ab+' D2 04 85";
const std::string WPC = "FF 'WPC' 10 00 00 00 01 ";  // the prefix: document at 16, product 1
const std::string CGM = "1022 0101 1044 01010101 1062 0101 1082 0101 10A6 010101010101 10C2 0101 #200";

// Catches a tester that misreads its signature, gives a wrong version or
// accepts a block shorter than it needs; a wrong WordPerfect prefix kind or
// version, a merge-code walk that skips codes wrongly, a miscounted 4.x
// heuristic; text statistics off their thresholds; and a scanning tester
// that counts past or short of its threshold.
TEST_F(AutoRecTesters, EachTesterAcceptsItsBlockAndRejectsNearMisses) {
    const Row rows[] = {
        {T(rft), "0005 E103 0041 41E2 05", {15, 0}, "@7 E3 | #8 | @0 80 00 00 09 20 #5 => 15 2 | @0 80 00 00 09 21 #5"},
        // Byte 510 stands in for the marker at 1028.
        {T(mm), "'DOC 1.0' @406 '/' @409 '/' @414 '/' @417 '/' @420 'x' @507 01 @1028 B1", {10, 2},
         "@1028 B2 | @3 80 | @507 02 | @414 '-' | @511 03 => 10 3 | @420 00 @511 03 => 10 1"
         "| @510 01 #1028 => 10 2 | @510 01 #1027"},
        {T(pfs), "@8 42 06 06 0A 46 01 00 00 0A 06 03 @640 42 06 06 0A 46 01 00 00 0A 06 03 #660", {8, 3},
         "@650 02 | @18 05 @650 05 | @641 07 | #659 | @18 04 @650 04 => 8 4"},
        {T(xls), "09 04 04 00 07 00 10 00", {21, 2},
         "@2 05 | @5 01 | #7 | @1 02 @2 06 => 21 1 | @1 00 @4 02 => 21 0 | @1 00 @4 01"},
        // No usable header size: three field descriptors will do.
        {T(db), "03 5F 07 0F @32 'NAME' @43 'C' @64 'BORN_ON' @75 'D' @96 'SALARY2' @107 'N' #128", {770, 0},
         "@107 'X' | @64 'born' | #127"},
        {T(ws5), "1D '}' 00 00 'P' @125 '}' 00 1D", {4, 3},
         "@4 'Q' | @127 1C | #127 | @4 'U' => 4 4 | @4 '`' => 4 5 | @4 'p' => 4 6"},
        {T(misc), "9CA52100DD200200 0000080019000000", {950, 0}, "#15 | @0 '?_' 03 00 #4 => 950 1 | @0 '?_' 04 00 #4"},
        // The compound-file testers (WinWord6, xls5, works3, power) read directory entries inside the
        // block: name, its length (+64) and left sibling (+68), at a 128-byte boundary from 512 on.
        {T(WinWord6), "@512 w'WordDocument' @580 FF*4 #640", {49, 0}, "@580 03 | #639"},
        {T(power), "@512 w'PowerPoint Document' @576 28 @580 FF*4 #640", {627, 0},
         "@580 04 | @512 w'PP40' 00 00 @576 0A => 619 2 | @512 w'PP40' 00 00 @576 0C"},
        {T(wp5), WPC + "0A 00 00 #64", {7, 0}, "@8 02 | #15 | @9 0B | @11 01 => 7 1 | @10 02 01 => 48 1 "
         "| @10 02 02 => 48 2 | @10 02 03 | @9 16 01 => 606 0 | @9 16 02 => 615 0"},
        // C3 and its three bytes, D0 01 and its four, then a merge code at 28,
        // which the walk no longer reaches within 20 bytes of the end.
        {T(wp5), WPC + "0A 00 01 @16 C3 41 41 41 D0 01 04 00 01 02 03 04 DE 31 #64", {707, 1},
         "@29 34 => 707 1 | @29 48 => 707 1 | @29 62 => 707 1 | @29 32 => 7 1 | #48 => 7 1 | #49 => 707 1"
         "| @6 01 => 7 1 | @17 DE 31 @24 DE 31 DE 34 @28 00 00 => 7 1"},
        // C1 takes nine bytes more; were it nine in all, D0 at 25 would jump away.
        {T(wp5), WPC + "0A 00 01 @16 C1 01 02 03 04 05 06 07 08 D0 DE 31 #64", {707, 1}},
        // Nine C0 codes and their repeats, and a tenth.
        {T(wp4), "'a'*400 @0 " + rep("C0 'aaaa' C0 'a'*14", 9) + "@180 C0 @185 C0", {6, 0},
         "@180 00 | @210 F1 @315 F1 => 6 1 | @230 D2 @233 D2 | @180 00 @230 CE @233 CE => 6 0"
         "| @180 00 @251 C0 @256 C0 => 6 0 | @180 00 @252 C0 @257 C0 | @200 C0 @205 C0 @0 0A 05 01 08"
         "| @200 C0 @205 C0 @0 00 00 01 00"},  // ten codes, but a paintbrush or icon header
        // Line ends of one kind (real files of each kind: AutoRecFiles), not LF mixed with CR LF or
        // with CR; a line end per 302 bytes; and fwp, whose files are never told apart.
        {T(asc), "'hello\n'*70", {1, 0}, "@96 'hello\r\n'*20 | @0 'hello\r'*20 | @5 00 | @5 1B | @5 09 => 1 0"},
        {T(asc), "'a'*300 '\nb'", {1, 0}, "@0 'a'*899 '\nb'"}, {T(fwp), "'any text at all'", kNo},
        {T(wmf), "0100 0900 0003", {610, 1}, "@5 02 | #5 | @5 01 => 610 1 | @0 D7 CD C6 9A => 610 0 | @0 D7 CD C6 9B"},
        // SOI, APP1, DQT, SOF0, SOS; a marker byte under C0 ends the walk, three are too few.
        {T(jpeg), "FFD8 FFE1 0004 'Ex' FFDB 0004 0102 FFC0 0004 0304 FFDA 0004", {521, 0}, "@15 12 | @8 FF DA #12"},
        {T(corel), "'RIFF' 10 00 00 00 'CDR5vrsn'", {520, 0},
         "@8 'WAVE' | #11 | @11 '6' => 628 0 | @0 'WL' => 520 0 | @1 'M'"},
        {T(bmp), "'BM' @14 0C @24 04 #30", {513, 4},
         "@24 10 | @0 'BN' | @14 40 => 513 4 | @0 'CI' => 513 5 | @0 'IC' @24 01 => 513 5"},
        {T(wizidraw), "' '*30 @0 'M11DRAW'", {617, 0},
         "#29 | @0 'xy,abSYSDRAW' => 617 0 | @0 'Mx,abSYSDRAW' => 617 0 | @0 'xy,aMSYSDRAW' | @0 'x'*20 'SYSDRAW'"},
        // Ten 72-byte PackBits lines at 512 or 640; runs an encoder would
        // have joined (zero bytes, tables of FF) are not scan lines.
        {T(mac), "@512 B900*10 #2048", {508, 0}, "#2047 | @530 B8 | @512 B8 | @512 7F @640 B900*10 => 508 0"},
        {T(mac), "@512 " + rep("47 'p'*72 BB0001 'ab'", 5) + "#2048", {508, 0},
         "@512 " + rep("00 'a' 46 'b'*71", 10) + "| @512 FF*1536"},
        {T(def), "'$(WY)$(SB)$(XX)$(YY)$(ZZ)\r\n'", {36, 0}, "#20 | @5 '\r'"},  // 236, 234, 200
        // Strays end the plot at ten; label text up to its ETX is neutral.
        {T(hpgl), "'IN;' ' '*10 'IP0,0,8128,8128;SP1;PU0,0;PD100,100;PU;PA200,200;'", {604, 0},  // 57 points
         "#52 | @0 'in' | @3 '@'*9 => 604 0 | @3 '@'*10 | @3 'LB@@@@@@@' 03 => 604 0 | @3 'LX@@@@@@@' 03"},
        {T(iges), "' '*72 'S0000001\n' ' '*72 'G0000001\n'", {607, 0},
         "@79 ' ' | @153 'X' | #160 | @80 ' ' | @80 '\r\n' ' '*72 'S0000002\r\n' => 607 0"},
        {T(dxf), "'  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n'", {608, 0},
         "@19 'E' | #25 | @0 '0\nSECTION\n2\nHEADER\n' => 608 0"},
        // Begin metafile, then six elements (class 1, ids 1-6) and no-ops: 8 plausible of 10.  Cut
        // short, begun otherwise, five plausible, an unknown id, or five empty elements: no.
        {T(cgm), "0024 03 'abc' " + CGM, {603, 0}, "#199 | @1 44 | @32 00000000 | @20 1282 | @10 0060008000A000600080"},
        // The long form (the length in the next word); a bitmap array.
        {T(cgm), "003F 8004 03 'abc' " + CGM, {603, 0}}, {T(bmp), "'BA' @14 'BM' @28 0C @38 08 #44", {513, 4}, "#43"},
        {T(ow), "'4.0' @512 B3 @1024 B3 #1536", {16, 0}, "@0 '7' | @1024 B2 | #1535 | @0 '5' => 16 1 | @0 '6' => 16 2"},
        {T(mcw), "00 06 00 02 00 10 20 1F @14 FF FC", {51, 0}, "@14 0003 | @6 2020 | @2 0001 | #15 | @14 0002 => 51 0"},
        {T(wang), "@1024 86 #1152", {26, 0}, "@1024 87 | #1151 | @5 'x' | @5 'x' @9 FF*100 => 26 0 | @5 'x' @9 FF*99"},
        {T(uniplex), "'L' '.'*21 'R\n'", {101, 0}, "@1 'T' | @0 'C' | @22 'x' | @0 'Title\nL' '.'*21 'R\n' => 101 0"},
        {T(ami), "'[ver]\r\n\t4\r\n[sty]\r\n'", {33, 0}, "@8 '5' | @7 ' ' | @9 '\n' | @0 '[ver]\n\t3\n' #9 => 33 0"},
        {T(quattro), "00 00 02 00 ' Q'", {801, 0}, "@5 'R' | #5 | @4 01 10 => 801 1 | @4 02 10 => 801 2 | @4 03 10"},
        {T(mdi), "8F 00 'mdI/'", {103, 0}, "@5 '-' | #5 | @0 'Interpress/Xerox/' => 616 4 | @0 'interpress/Xerox'"},
        {T(formflow), "'FormFlow          1.00 form'", {624, 0}, "@21 '1' | #21 | @9 'ENCR' => 624 0 | @9 'ENCX'"},
        {T(pict), "@10 11 01 #18", {602, 1}, "#17 | @11 02 | @10 00 11 02 FF 0C 00 => 602 1 | @10 00 11 02 FF 0D"},
        {T(qaw), "'TBWP' @26 1A @35 04", {23, 1}, "@3 'Q' | @4 01 | @35 03 => 23 0 | @2 'TX' #27 => 23 0 | #26"},
        {T(WinWord), "9B A5 @24 80 01 00 00", {44, 0}, "@0 9C | @25 02 | #27 | @0 DB => 44 1 | @0 'H' => 44 1"},
        {T(leg), "FE 4C 47 01 00 00 00 02 00 00", {37, 0}, "#9 | @3 02 => 37 1 | @3 03 @7 04 => 37 2 | @3 03"},
        {T(bmp), "'BM' @14 28 @28 18 #54", {513, 0}, "@28 20 | #29 | @28 10 => 513 0 | @28 08 00 01 => 513 3"},
        {T(msw), "'1' BE 00 00 00 AB #128", {5, 0}, "@4 01 | @0 '3' | #127 | @0 '2' => 5 1 | @97 03 => 43 0"},
        {T(ppt), "ED DE AD 0B 02 00 00 00", {619, 0}, "@6 01 | #7 | @4 03 => 619 1 | @4 04 => 619 2 | @4 05"},
        {T(asc), "'%!PS-3.0\nshowpage\n'", {503, 1}, "@0 04 '%!PS-3.0\nshowpage\n' => 503 1 | @1 '%' => 1 0"},
        {T(html), "'<TiTlE>'", {108, 3}, "#6 | @1 ' ' | @1 'head' => 108 3 | @1 '!--' => 108 3 | @1 'htm>'"},
        {T(xyw), rep("AE 'PT1' AF ' text '", 8), {17, 1}, "#77 | @1 'p' | @0 'text ' AE 'MD+' AF => 17 2"},
        {T(ilf), "'<!OPS, Version = 7.0>'", {35, 0}, "@4 'T' | #17 | @2 'ops' => 35 0 | @17 '8' => 46 0"},
        {T(en), "80 CD AB 00 00 10", {28, 0}, "@0 02 | @5 0F | #5 | @0 01 @5 30 => 28 0 | @0 01 @5 31"},
        {T(rf), "'m' B3 '5' 88 04", {25, 0}, "@4 05 | @0 05 A2 'd' B0 04 => 25 0 | @0 05 A2 'd' B0 05"},
        {T(mwm), "FE '7' @22 02 00", {54, 1}, "@22 03 | @21 01 | #23 | #192 => 54 1 | @191 01 => 54 2"},
        {T(db), "03 5F 07 0F @8 41 @64 0D", {770, 1}, "@2 0D | @3 20 | @64 0A | #64 | @63 0D => 770 0"},
        {T(dxf), "'AutoCAD Binary DXF\r\n' 1A 00", {608, 2}, "@8 'b' | @8 'DXB ' => 608 2 | @8 'DXB_'"},
        {T(rtf), "'{\\rtf1\\ansi'", {19, 1}, "@2 'f' | @1 '/' | @2 'RTf0' => 19 0 | #4 => 19 1 | #3"},
        {T(mwp2), WPC + "',' 02 00 #64", {60, 0}, "@10 04 | @9 0A | @11 01 => 60 1 | @10 03 => 60 2"},
        {T(msp), "'DanM' 10 00 10 00 #33", {507, 0}, "@6 00 | #32 | @0 'LinS' => 507 0 | @0 'Lins'"},
        {T(wks), "00 00 1A 00 02 10 04 00 @20 01", {20, 3}, "@4 01 | @20 00 | #20 | @4 00 => 20 2"},
        {T(winicon), "00 00 01 00 01 00 20 20 10 00 #51", {517, 0}, "@6 18 | @8 00 | @9 01 | #50"},
        {T(ws), "'.mt 3\n.mb 3\n.pl 66\n.PO 8\n.he Title\n.fo Page #\ntext\n'", {4, 0}, "@35 'x'"},
        {T(works3), "@512 w'MMContents' @576 16 #640", {39, 1}, "@514 'N' | @576 04 | @576 42"},
        {T(asc), "'abc'", {1, 0}, "@2 00 | @2 01 'c' => 1 0 | @1 12 => 1 0 | @0 E9 E9 E9 'ab'"},
        {T(op), "1B 'ab6.0'", {102, 0}, "@0 'x' | @1 'abcdefg7.0' => 102 1 | @1 'abcdefg8.0'"},
        {T(wita), "'head' FB 00 01 01 02 03 04 05 FA 00 01", {34, 0}, "#14 | @12 00 FA 00 01"},
        {T(mcw2), "00 '.' @135 06 12 01 @140 01 #150", {52, 0}, "@137 02 | @140 00 | #149"},
        {T(zem), "'<ZEMFile 3.00>\n'", {42, 0}, "@3 'm' | @9 '4' => 42 1 | @9 '7' => 42 2"},
        {T(pdx), "1E 00 @33 02 00 @88 01 0A 01 14 #128", {703, 0}, "@0 1F | @0 00 | #127"},
        {T(mas), "'a'*90 '\r\n' 'b'*201 '\r\n' 'c'*201 '\r\n' 'dd'", {31, 0}, "@293 'b'"},
        {T(dif), "1B '[1mBold' 1B '[0m ' 1B '[4mU' 1B '[24m'", {18, 0}, "@20 '99' | #18"},
        {T(wks), "00 00 02 00 06 04", {20, 1}, "@4 0C | @4 03 | #5 | @4 0B 05 => 20 2"},
        {T(wordpro), "'WordPro' 0D FB #24", {111, 0}, "@16 01 | #23 | @17 01 => 111 0"},
        {T(pic), "01 00 00 00 01 00 08 00 44 00 00 00 00 0C 7F 09 06", {601, 0}, "#16"},
        {T(vw), "'..PAGE 66\r\n..HEAD Title\r\ntext\r\n'", {14, 0}, "@10 'x' | @2 'Q'"},
        {T(fft), FFT, {32, 0}, "@6 '-' | @0 'x' " + FFT + " => 32 0 | @0 'xy' " + FFT},
        {T(ws), "'text' " + rep("1D 05 00 'AB' 05 00 1D 'more'", 4), {4, 3}, "@47 1C"},
        {T(pdx), "1E 00 @100 03 00 @120 01 0A 01 0A 01 0A #128", {703, 1}, "@125 0B"},
        {T(clworks), "02 00 00 03 'BOBO' 00", {57, 0}, "@3 04 | #8 | @0 04 => 57 1"},
        {T(fw3), "@6 ED FB @12 C9 00 @24 02 00", {29, 0}, "@12 C8 | @24 01 | #25"},
        {T(zem), "'<Book 4.0> # x'", {42, 1}, "@6 '6' | @12 'x' | @6 '5' => 42 2"},
        {T(ibm), "@640 D0C4C100 42000A000A0046 #700", {13, 0}, "@650 47 | #699"},
        {T(sma), "1A 'S' 00 00 03 00", {22, 0}, "@4 04 | @5 01 | @4 10 => 22 0"},
        {T(lm), "'*R1 text'", {24, 0}, "@2 '3' | @2 '2\r\n' => 24 0 | @2 '2\n'"},
        {T(mas), "'Z' 00 @92 C9 00 @296 C9 00 #500", {31, 0}, "@297 01 | #499"},
        {T(xyw), rep("AE 'PT1' AF ' text\r\n'", 4) + "'\r\n'", {17, 1}, "#48"},
        {T(krb), "1F 00 12 'KRB Graphics File' 00 'x'", {600, 0}, "@20 '!'"}, {T(wn), "'WriteNow'", {62, 0}, "@5 'n'"},
        {T(pcx), "0A 05 01 08 #21", {501, 0}, "@1 0B | @2 02 | @3 41 | #20"},
        {T(ptx), "'SETUP\r\nmore'", {27, 0}, "@5 'S' | @0 'x' | #5 => 27 0"},
        {T(krb), "'<0000,Kestrelwik 3D -- Copyright'", {600, 0}, "@0 '['"}, {T(fcdb), "'GERBILDB'", {708, 0}, "@7 'C'"},
        {T(works), "01 FE #140", {39, 0}, "@0 02 | #139 | @0 04 => 39 1"}, {T(eps), "C5 D0 D3 C6 #30", {503, 0}, "#29"},
        {T(xls5), "@512 w'Book' @576 0A #640", {21, 4}, "@576 0C | #639"}, {T(wizi), "'WiziWord 2'", {47, 0}, "@0 'w'"},
        {T(os2met), "@2 D3 A8 A8 00 @18 05 18", {623, 0}, "@19 19 | #19"}, {T(ws2), "01 02 'WS2000'", {9, 0}, "@7 '1'"},
        {T(ws), "'wor\xe4 '*100", {4, 2}, "#495 | @4 A0 => 4 2 | @3 A9"}, {T(wpl), "'HB' D1 07 'xx'", {45, 0}, "@3 08"},
        {T(png), "89 'PNG' 0D 0A 1A 0A 'x'*13", {504, 0}, "#20 | @7 0B"}, {T(plx), "'VIS000' 1A", {201, 0}, "@6 1B"},
        {T(sdw), "'SM' 02 01", {614, 0}, "@2 01 | #3 | @2 00 => 614 0"}, {T(hvdgrph), "DC FE 18 02", {620, 0}, "@3 03"},
        {T(mgx), "00 00 00 04 03 00 00 00 02", {609, 0}, "@8 03 | #8"}, {T(WPGNoHdr), "0F 06 01 00", {606, 0}, "@3 01"},
        {T(WPGNoHdr), "@10 04 01 @14 B0 04 B0 04", {615, 0}, "@17 05"}, {T(sunras), "59 A6 6A 95 #36", {522, 0}, "#35"},
        {T(asc), rep("'@' C1C1", 100), {2, 0}, "@0 '@x'*150 => 1 0"}, {T(dx), "'ab_c_ _d___'", {30, 0}, "@5 'x' | #10"},
        {T(access), "@1030 'Rich' 09", {771, 0}, "#1034 | @1034 0A"},
        {T(freelance), "00 01 '@' 00 'DEBR@' 00", {618, 0}, "@9 01"},
        {T(ceo), "00 'CEO' 77 'WP' 01 00", {104, 0}, "@7 02 | #8"}, {T(dcx), "B1 68 DE 3A 04 10 00 00", {501, 1}, "#7"},
        {T(WinWord6), "@384 w'WordDocument' @452 FF*4 #1024", kNo}, {T(rgip), "'%RGIP_METAFILE 1'", {613, 0}, "@1 'r'"},
        {T(wpm1), rep("CD 'a' CD 'a'*7", 10), {59, 0}, "@92 'a'"}, {T(def), "'$(PGM)$(PGS)$(SB)$(SB)'", {36, 0}, "#17"},
        {T(mcwpro), "00 04 00 04 #512", {56, 0}, "#511 | @3 05"}, {T(winclp), "'P' C3 01 00 00 01", {605, 0}, "@5 00"},
        {T(crystal), "80 'MT2' #160", {105, 0}, "#159 | @3 '3'"}, {T(asc), "'a'*200 E9*50 'x'", {1, 0}, "@250 E9 'x'"},
        {T(asc), "'@'*40 '\r\n\n' C1*200", {2, 0}, "@0 'a'*30"}, {T(zip), "'PK' 03 04 'z'*17", {940, 0}, "#20 | @2 0A"},
        {T(tiff), "'II' 2A 00", {502, 0}, "@2 00 2A | @0 'MM'"}, {T(mwm), "FE '4' @10 01", {54, 0}, "@10 02 | @9 01"},
    };
    for (const Row &r : rows) {
        std::istringstream patches("|" + r.patches);  // the block itself (an empty patch), then each patch
        for (std::string p; std::getline(patches, p, '|');) {
            const std::size_t at = p.find("=>");
            Outcome want = p.empty() ? r.want : kNo;
            if (at != std::string::npos) std::istringstream(p.substr(at + 2)) >> want.first >> want.second;
            EXPECT_EQ(run_tester(r.test, blk(p.substr(0, at), blk(r.yes))), want) << r.name << ' ' << r.yes << '|' << p;
        }
    }
}

}  // namespace
}  // namespace vox::test
