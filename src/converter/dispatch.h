// The two dispatchers of the main pass: what a statement does when it
// starts ('<' and its token number) and when it ends ('>').  Each token is
// handled here (mostly a flag or a stored value) or passed to the module
// that owns it.
//
// The flags and values set here belong to the formatting modules; those
// not yet held by a built module live in formatting_state.h.
//
// Choices made where the statement's text leaves room:
// - <FSeparation with a number outside 0 to 7 names no colour of the
//   version-3 colour map: it changes nothing and writes nothing.
// - <FColor reads up to 300 bytes of its string (so the input position
//   does not depend on where the name is kept); color_name keeps its first
//   63 characters.  Catalog colour names have at most 60 characters, so a
//   longer name matches no catalog colour either way.
// - The paragraph end's cell test inside a table reads the cell image only
//   when curr_row and curr_col lie inside it; otherwise the test fails and
//   the paragraph ends normally.
// - The end of <Color stores the record only when the colour file is open
//   (cmyk_fh not -1), and num_cmyk_colors counts only the records stored.
#pragma once

#include "common/api.h"

namespace vox {

// The token numbers of the statement names, as the token table gives them.
#define VOX_TOKEN_NUMBERS(X)                                                                     \
    X(AFrames, 1) X(AFrame, 2) X(PgfAlignment, 3) X(ATbl, 4) X(FBold, 5) X(BRect, 6)             \
    X(CellBRuling, 7) X(CellColumns, 8) X(CellContent, 9) X(CellLRuling, 10) X(CellRows, 11)     \
    X(CellRRuling, 12) X(CellTRuling, 13) X(Cell, 14) X(Char, 15) X(DPageNumStyle, 16)           \
    X(DStartPage, 17) X(FDoubleUnderline, 18) X(FAngle, 19) X(FFamily, 20) X(PgfFIndent, 21)     \
    X(FNote, 22) X(FontCatalog, 23) X(Font, 24) X(Frame, 25) X(FSeparation, 26) X(FSize, 27)     \
    X(FWeight, 28) X(ID, 29) X(ImportObFileDI, 30) X(ImportObject, 31) X(FItalic, 32)            \
    X(PgfLIndent, 33) X(Marker, 34) X(MText, 35) X(MType, 36) X(Notes, 37) X(FOutline, 38)       \
    X(PageOrientation, 39) X(PageSize, 40) X(PageTag, 41) X(PageType, 42) X(Page, 43)            \
    X(ParaLine, 44) X(Para, 45) X(PgfCatalog, 46) X(PgfLanguage, 47) X(PgfNumAtEnd, 48)          \
    X(PgfNumString, 49) X(PgfPlacement, 50) X(PgfSpAfter, 51) X(PgfSpBefore, 52)                 \
    X(PgfTag, 53) X(PgfLeading, 54) X(Pgf, 55) X(PgfRIndent, 56) X(Row, 57) X(FShadow, 58)       \
    X(FStrike, 59) X(String, 60) X(FSubScript, 61) X(FSupScript, 62) X(TabStop, 63)              \
    X(TblAlignment, 64) X(TblBodyRowRuling, 65) X(TblBody, 66) X(TblBRuling, 67)                 \
    X(TblCatalog, 68) X(TblColumnRuling, 69) X(TblColumnWidth, 70) X(TblFormat, 71)              \
    X(TblF, 72) X(TblHFRowRuling, 73) X(TblH, 74) X(TblID, 75) X(TblLRuling, 76)                 \
    X(TblNumColumns, 77) X(TblRRuling, 78) X(TblSeparatorRuling, 79) X(TblTag, 80)               \
    X(TblTitleContent, 81) X(TblTRuling, 82) X(Tbl, 83) X(TextRectID, 84) X(TextRect, 85)        \
    X(TextFlow, 86) X(TRNext, 87) X(TSDecimalChar, 88) X(TSLeaderStr, 89) X(TSType, 90)          \
    X(TSX, 91) X(FUnderline, 92) X(VariableDef, 93) X(VariableFormat, 94) X(VariableName, 95)    \
    X(Variable, 96) X(XRefSrcText, 97) X(PgfFont, 98) X(Document, 99) X(TblColumn, 100)          \
    X(TblColumnH, 101) X(TblColumnBody, 102) X(TblColumnF, 103) X(TblTitlePgf1, 104)             \
    X(TextLine, 105) X(VariableFormats, 106) X(Tbls, 107) X(FUnderlining, 108)                   \
    X(FPosition, 109) X(XRefEnd, 110) X(XRef, 111) X(FTag, 112) X(PgfPlacementStyle, 113)        \
    X(PgfNumberFont, 114) X(TFSideheadPlacement, 115) X(TFSideheadWidth, 116)                    \
    X(TFSideheadGap, 117) X(ColorCatalog, 118) X(Color, 119) X(ColorCyan, 120)                   \
    X(ColorMagenta, 121) X(ColorYellow, 122) X(ColorBlack, 123) X(ColorTag, 124)                 \
    X(FColor, 125) X(BookComponent, 126) X(FileName, 127) X(PgfWithNext, 128)                    \
    X(Conditional, 129) X(InCondition, 130) X(FChangeBar, 131) X(TFTag, 132) X(Arc, 133)         \
    X(Ellipse, 134) X(Polygon, 135) X(PolyLine, 136) X(Rectangle, 137) X(RoundRect, 138)         \
    X(PgfNumFormat, 139) X(FCase, 140) X(PgfLineSpacing, 141) X(Pen, 142) X(TblTitle, 143)

namespace tok {
#define VOX_TOKEN_ENUMERATOR(name, number) name = number,
enum Token : int { VOX_TOKEN_NUMBERS(VOX_TOKEN_ENUMERATOR) };
#undef VOX_TOKEN_ENUMERATOR
}  // namespace tok

// The attribute bits of <FCase (the other bits are in strings.h).
constexpr int kHighAllCaps = 0x400;
constexpr int kHighSmallCaps = 0x800;

// The non-fatal code of an unreadable token number, and the fatal code of
// a broken statement structure.
constexpr int kUnreadableToken = 12;
constexpr int kBrokenStructure = 16;

}  // namespace vox

extern "C" {
// A statement starts: the main loop has read its '<'.  Reads the token
// number, pushes it and dispatches it.  An unreadable number (0) skips the
// rest of the line and records code 12 in last_err; it is still pushed, so
// its '>' balances, and has no action.  Ends the run with code 16 when 100
// statements are already open.  Returns 0.
VOX_API int tf_handle_command_token(void);
// A statement ends: the main loop has read its '>'.  Pops the token stack
// and dispatches the statement it closes.  Ends the run with code 16 when
// no statement is open.  Returns 0.
VOX_API int tf_end_token(void);
// The start and end actions of token `number`; numbers with no action
// (0 and those outside the table included) do nothing.  Return 0.  The end
// action of Color ends the run with code 17 when the colour file cannot be
// positioned and with code 4 when the record cannot be written.
VOX_API int tf_handle_new_token(int number);
VOX_API int tf_handle_end_token(int number);
}
