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
};

// Writes the document to `out`; returns the number of bytes written, which
// is shape.bytes except for sizes too small for the fixed parts (a few
// kilobytes) and when a write fails (then fewer).
std::uint64_t write_zem_document(std::FILE *out, const ZemShape &shape);

// Writes the document to the file `path`; false when it cannot be written.
bool write_zem_file(const std::string &path, const ZemShape &shape);

}  // namespace vox::bench
