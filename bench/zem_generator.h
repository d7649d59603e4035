// Generated ZEM documents of any size for the conversion benchmarks.
//
// A document has the shape of the application's own output: a paragraph
// catalog, a master page and a reference page, then one body page per
// `page_text_bytes` of text, each with a text rectangle for the main flow
// and, every `side_flow_every` pages, a second small rectangle holding a
// short flow of its own (a sidebar).  The main flow runs through the main
// rectangles of all body pages; half of the side flows are stored before
// it and half after it, so file order and page order differ.  Paragraphs
// carry headings, bullets and body text with `\x` escapes, `\Q` `\q` `\>`
// `\\` sequences, `Char` specials (tabs, dashes, hard returns, soft
// hyphens, hard spaces) and character format changes.  The same shape and
// seed always give the same bytes.
//
// With `formatting_heavy` the document exercises the formatting statements
// densely: a colour catalog (8 colours), a paragraph catalog of 13 formats
// (every alignment; tab stops of each kind with leaders; numbered formats
// in series H, S, B and N, one repeating the chapter number, one with a
// number font; space before and after, leading, fixed line spacing,
// first, left and right indents, keep with next) and a character catalog
// of 6 formats, some coloured.  The main flow cycles through the
// paragraph formats in runs (a heading, body text, a restarted numbered
// list, bullets, tab-aligned rows, contents lines with dot leaders, code,
// notes, a signature); about one paragraph in five carries its own `Pgf`
// override (indents, alignment, spacing, line spacing, tab stops); the
// text switches character formats on with `FTag` and off with an empty
// `FTag`, changes family, size, weight, angle, underlining, position,
// case, strike, shadow, outline and colour in local `Font` statements,
// and has tab characters that reach the stops.  Master and side flows
// are as in the plain document.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vox::bench {

struct ZemShape {
    std::uint64_t bytes = 20u << 20;         // size of the document
    std::uint32_t seed = 1;
    std::uint32_t page_text_bytes = 16384;   // main-flow text per body page
    std::uint32_t side_flow_every = 32;      // a sidebar flow every N pages; 0: none
    bool formatting_heavy = false;           // dense paragraph and character formatting
};

// Writes the document to `out`; returns the number of bytes written, which
// is shape.bytes except for sizes too small for the fixed parts (a few
// kilobytes; about 25 KB with formatting_heavy) and when a write fails
// (then fewer).
std::uint64_t write_zem_document(std::FILE *out, const ZemShape &shape);

// Writes the document to the file `path`; false when it cannot be written.
bool write_zem_file(const std::string &path, const ZemShape &shape);

}  // namespace vox::bench
