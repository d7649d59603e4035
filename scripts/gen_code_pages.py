#!/usr/bin/env python3
"""Generates src/common/code_page_table.inc, the rows of PagesMap.

PagesMap translates single characters between the ten code pages the
intermediate code knows.  Each row stands for one character and holds
16 bytes:

  bytes 0-9    the character's code in each page, in column order
               (437, 9999, 850, 819, 8591, 9998, 8592, 9997, 852, 1250)
  bytes 10-11  zero
  bytes 12-15  a big-endian 32-bit mask; bit i set means column i holds
               the character itself, so the row is a valid source when
               translating from page i

A translation from page F to page T takes the first row whose column F
holds the code with F's bit set and answers that row's column T.

Where the pages come from
-------------------------
  437, 850, 852     IBM437, IBM850, IBM852 charmaps of the C library
  9999              MACINTOSH charmap (Macintosh character set)
  819 and 8591      ISO-8859-1 charmap (one set under two numbers)
  8592              ISO-8859-2 charmap
  1250              CP1250 charmap
  9998              the Symbol font: its public encoding,
                    written out below (SYMBOL)
  9997              a private set of seven characters, codes 1-7, that
                    have no standard identity (PRIVATE below)

Control characters (Unicode category Cc) never make rows: a control code
of another page has no translation, and code page 437's own control codes
are written as records without one.

Which rows, in which order
--------------------------
1. Rows 0-127: code page 437's codes 0x80-0xFF in code order, one row
   each (row r is 437's code 0x80 + r).
2. Then, for the characters code page 437 lacks (or holds only in its
   ASCII half), the other columns are walked in column order and each
   column's codes in ascending order.  A code makes a new row when its
   character has no row yet.  The pages that agree with ASCII in
   0x20-0x7E (all but 9998 and 9997) are walked over 0x80-0xFF only:
   their ASCII half needs no rows, because translation passes ASCII
   through untouched unless the Symbol font or the private set is
   involved.  The Symbol font and the private set are walked over every
   code they define, since their low halves are not ASCII.
3. A page that encodes one character twice (the Symbol font's serif and
   sans-serif registered, copyright and trade mark signs) gets a row of
   its own for the second code, made at the point the walk meets it: in
   that row only the second code's bit is set; the other columns hold
   the character's codes as they do in its first row, with their bits
   clear, so they keep translating through the first row.

So every code of every column is the valid source in exactly one row,
and every character of every column has a row.

Substitutes
-----------
A column that lacks a row's character gets a stand-in, with the column's
bit clear: the first of the character's fallbacks that the column holds
itself, or 0 when none is there.  Fallbacks, in the order tried:
  - the explicit stand-ins of FALLBACKS (typographic quotes and dashes to
    ASCII, Greek capitals to the Latin letters drawn alike, letters with
    strokes to their base letter, 437's beta-shaped sharp s and micro
    sign for Greek beta and mu, the private set's G, g, I and i, ...);
  - the base letter of the canonical decomposition (a with grave -> a);
  - a one-character compatibility decomposition (superscript one -> 1);
  - for box-drawing characters mixing single and double lines, the
    all-single and then the all-double character of the same shape.
A fallback is looked up only in the column's own page: the Symbol font
holds no Latin letters, so a Latin letter's row has 0 there.

Exception kept for compatibility
--------------------------------
In the table the rest of the converter family uses, the row of a with
grave (437 code 0x85, row 5) has mask 0x5F: bit 6 (8592) is set although
8592 holds the substitute "a" in that row.  No rule above gives that, so
ROW_MASK_EXTRA sets the bit explicitly, keeping the family's answers.
Its only effect: an "a" translated from 8592 to the Symbol font or the
private set answers 0 (no equivalent) instead of -1 (no row); ASCII
between the text pages never reaches the table.

Row count
---------
  128  code page 437, 0x80-0xFF (step 1)
  136  characters of the text pages' upper halves that 437 lacks: 70 met
       first in the Macintosh set, 14 in 850, 52 in 8859-2 (819, 8591,
       852 and 1250 bring none that are new by the time they are walked)
  145  characters of the Symbol font met nowhere before (its ASCII
       digits and punctuation, Greek letters 437 lacks, mathematical
       signs, arrows and glyph pieces)
    3  second codes of the Symbol font (step 3)
    7  the private set
  ---
  419  rows.  The family's table has 279, 140 fewer.  This one covers
       every code of every page, including the 145 Symbol-font rows above
       (without them a Symbol-font digit would turn into "_"), at the
       cost of a longer search.

Usage: gen_code_pages.py [--charmaps DIR] [--output FILE] [--check]
"""

import argparse
import gzip
import os
import re
import sys
import unicodedata

COLUMNS = [  # (code page number, source)
    (437, "IBM437"),
    (9999, "MACINTOSH"),
    (850, "IBM850"),
    (819, "ISO-8859-1"),
    (8591, "ISO-8859-1"),
    (9998, "symbol"),
    (8592, "ISO-8859-2"),
    (9997, "private"),
    (852, "IBM852"),
    (1250, "CP1250"),
]
NON_ASCII_PAGES = {9998, 9997}

# The Symbol font's encoding: code -> Unicode.  Codes 0x20-0x7E first, then
# 0xA1-0xFE; 0x7F-0xA0 and 0xF0 are not defined.  The serif (0xD2-0xD4)
# and sans-serif (0xE2-0xE4) registered, copyright and trade mark signs
# are the same characters; glyph pieces use the Unicode 3.2 pieces and
# the radical extender the font's own private-use code.
SYMBOL_LOW = {
    0x20: 0x0020, 0x21: 0x0021, 0x22: 0x2200, 0x23: 0x0023, 0x24: 0x2203,
    0x25: 0x0025, 0x26: 0x0026, 0x27: 0x220B, 0x28: 0x0028, 0x29: 0x0029,
    0x2A: 0x2217, 0x2B: 0x002B, 0x2C: 0x002C, 0x2D: 0x2212, 0x2E: 0x002E,
    0x2F: 0x002F, 0x3A: 0x003A, 0x3B: 0x003B, 0x3C: 0x003C, 0x3D: 0x003D,
    0x3E: 0x003E, 0x3F: 0x003F, 0x40: 0x2245, 0x5B: 0x005B, 0x5C: 0x2234,
    0x5D: 0x005D, 0x5E: 0x22A5, 0x5F: 0x005F, 0x60: 0xF8E5, 0x7B: 0x007B,
    0x7C: 0x007C, 0x7D: 0x007D, 0x7E: 0x223C,
}
SYMBOL_LOW.update({0x30 + d: 0x30 + d for d in range(10)})
# Greek letters at the Latin letters' codes, A-Z then a-z.
SYMBOL_GREEK_UPPER = [0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
                      0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D,
                      0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5,
                      0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396]
SYMBOL_GREEK_LOWER = [0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
                      0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
                      0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5,
                      0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6]
SYMBOL_HIGH = [  # 0xA1 onwards
    0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666,  # A1-A8
    0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193, 0x00B0,  # A9-B0
    0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7,  # B1-B8
    0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135,  # B9-C0
    0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A,  # C1-C8
    0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220,  # C9-D0
    0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC,  # D1-D8
    0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA,  # D9-E0
    0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D,  # E1-E8
    0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, None,    # E9-F0
    0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0,  # F1-F8
    0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD,                  # F9-FE
]

# The private set's seven characters have no standard identity; they are
# stood for by private tokens.  In the other pages the first four are
# written G, g, I and i; the last three have no stand-in.
PRIVATE = {code: "private-%d" % code for code in range(1, 8)}

FALLBACKS = {
    "private-1": "G", "private-2": "g", "private-3": "I", "private-4": "i",
    # typographic punctuation
    "\u2018": "'", "\u2019": "'", "\u201A": ",", "\u201C": '"', "\u201D": '"',
    "\u201E": '"', "\u2039": "<", "\u203A": ">", "\u2013": "-", "\u2014": "-",
    "\u00AD": "-", "\u2212": "-", "\u2022": "\u2219", "\u22C5": "\u00B7",
    "\u2217": "*", "\u223C": "~", "\u2032": "'", "\u2033": '"', "\u2044": "/",
    "\u00B4": "'", "\u00A8": '"', "\u00B8": ",", "\u02C6": "^", "\u02DC": "~",
    "\u00A6": "|", "\u00D7": "x", "\u2020": "+", "\u2030": "%",
    # letters with strokes and other letters without a decomposition
    "\u00D8": "O", "\u00F8": "o", "\u0141": "L", "\u0142": "l", "\u0110": "D",
    "\u0111": "d", "\u00D0": "D", "\u00F0": "d", "\u0131": "i",
    # Greek drawn like Latin letters, and 437's two Greek-looking Latin signs
    "\u0391": "A", "\u0392": "B", "\u0395": "E", "\u0396": "Z", "\u0397": "H",
    "\u0399": "I", "\u039A": "K", "\u039C": "M", "\u039D": "N", "\u039F": "O",
    "\u03A1": "P", "\u03A4": "T", "\u03A5": "Y", "\u03A7": "X", "\u03BF": "o",
    "\u03B2": "\u00DF", "\u03BC": "\u00B5", "\u0394": "\u2206",
    "\u03D5": "\u03C6", "\u03D1": "\u03B8", "\u03D6": "\u03C0",
    "\u03C2": "\u03C3", "\u03D2": "\u03A5",
    # half blocks
    "\u258C": "\u2588", "\u2590": "\u2588",
}

# Mask bits no rule gives but the family's table has (see the module
# notes): row index -> extra bits.
ROW_MASK_EXTRA = {5: 1 << 6}


def read_charmap(directory, name):
    """code -> character of one C library charmap (first entry wins)."""
    table = {}
    path = os.path.join(directory, name + ".gz")
    with gzip.open(path, "rt", encoding="latin-1") as f:
        for line in f:
            m = re.match(r"<U([0-9A-Fa-f]+)>\s+/x([0-9a-fA-F]{2})\s", line)
            if m:
                table.setdefault(int(m.group(2), 16), chr(int(m.group(1), 16)))
    return table


def symbol_page():
    page = {code: chr(u) for code, u in SYMBOL_LOW.items()}
    for i, u in enumerate(SYMBOL_GREEK_UPPER):
        page[0x41 + i] = chr(u)
    for i, u in enumerate(SYMBOL_GREEK_LOWER):
        page[0x61 + i] = chr(u)
    for i, u in enumerate(SYMBOL_HIGH):
        if u is not None:
            page[0xA1 + i] = chr(u)
    return page


def load_pages(charmaps):
    pages = []
    for number, source in COLUMNS:
        if source == "symbol":
            page = symbol_page()
        elif source == "private":
            page = dict(PRIVATE)
        else:
            page = read_charmap(charmaps, source)
        pages.append({code: ch for code, ch in page.items() if not is_control(ch)})
    return pages


def is_control(ch):
    return len(ch) == 1 and unicodedata.category(ch) == "Cc"


def first_codes(page):
    """character -> its lowest code in the page."""
    codes = {}
    for code in sorted(page):
        codes.setdefault(page[code], code)
    return codes


def strip_marks(text):
    return "".join(c for c in text if unicodedata.category(c) != "Mn")


def box_fallbacks(ch):
    """Mixed single/double box pieces -> all-single, then all-double."""
    try:
        name = unicodedata.name(ch)
    except ValueError:
        return []
    m = re.match(r"BOX DRAWINGS (\w+) (SINGLE|DOUBLE) AND (\w+) (SINGLE|DOUBLE)$", name)
    if not m:
        return []
    shape = "%s AND %s" % (m.group(1), m.group(3))
    found = []
    for weight in ("LIGHT", "DOUBLE"):
        try:
            found.append(unicodedata.lookup("BOX DRAWINGS %s %s" % (weight, shape)))
        except KeyError:
            pass
    return found


def fallbacks(ch):
    found = []
    if ch in FALLBACKS:
        found.append(FALLBACKS[ch])
    if len(ch) == 1:
        for form in ("NFD", "NFKD"):
            base = strip_marks(unicodedata.normalize(form, ch))
            if len(base) == 1 and base != ch:
                found.append(base)
        found.extend(box_fallbacks(ch))
    return found


class Row:
    def __init__(self, ch):
        self.ch = ch
        self.codes = [0] * len(COLUMNS)
        self.mask = 0


def fill_row(row, codes_of):
    """Exact codes with their bits, substitutes without."""
    for col, codes in enumerate(codes_of):
        if row.ch in codes:
            row.codes[col] = codes[row.ch]
            row.mask |= 1 << col
            continue
        for alt in fallbacks(row.ch):
            if alt in codes:
                row.codes[col] = codes[alt]
                break


def build_rows(pages):
    codes_of = [first_codes(p) for p in pages]
    rows, row_of = [], {}

    def add(ch):
        row = Row(ch)
        fill_row(row, codes_of)
        row_of[ch] = row
        rows.append(row)
        return row

    for code in range(0x80, 0x100):
        add(pages[0][code])
    for col in range(1, len(COLUMNS)):
        page = pages[col]
        low = 0 if COLUMNS[col][0] in NON_ASCII_PAGES else 0x80
        for code in sorted(c for c in page if c >= low):
            ch = page[code]
            if ch not in row_of:
                add(ch)
            elif codes_of[col][ch] != code:
                second = Row(ch)
                second.codes = list(row_of[ch].codes)
                second.codes[col] = code
                second.mask = 1 << col
                rows.append(second)
    for index, bits in ROW_MASK_EXTRA.items():
        rows[index].mask |= bits
    return rows


def describe(ch):
    if ch.startswith("private-"):
        return "private character %s" % ch[8:]
    return "U+%04X %s" % (ord(ch), unicodedata.name(ch, "?"))


def render(rows):
    out = [
        "// Generated by scripts/gen_code_pages.py; do not edit by hand.",
        "// One row per character: its code in the columns 437, 9999, 850,",
        "// 819, 8591, 9998, 8592, 9997, 852, 1250; two zero bytes; the",
        "// big-endian mask of the columns that hold the character itself.",
    ]
    for i, row in enumerate(rows):
        m = row.mask
        data = row.codes + [0, 0, (m >> 24) & 255, (m >> 16) & 255, (m >> 8) & 255, m & 255]
        out.append("{%s},  // %d: %s" % (", ".join("0x%02X" % b for b in data), i, describe(row.ch)))
    return "\n".join(out) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--charmaps", default="/usr/share/i18n/charmaps")
    parser.add_argument("--output", default=os.path.join(here, "..", "src", "common", "code_page_table.inc"))
    parser.add_argument("--check", action="store_true", help="fail if the output file differs")
    args = parser.parse_args()

    rows = build_rows(load_pages(args.charmaps))
    text = render(rows)
    if args.check:
        with open(args.output, encoding="utf-8") as f:
            if f.read() != text:
                sys.exit("%s is out of date" % args.output)
        return
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    print("%d rows written to %s" % (len(rows), os.path.normpath(args.output)))


if __name__ == "__main__":
    main()
