// Text output inside a flow: what is written before the first text of a
// line (paragraph data, alignment, font, language, keep-with-next,
// attributes), the language record, the rewriting of the last line end
// into a paragraph or cell end, and the placeholder of a drawing object.
//
// The graphic node is the element of the picture list of a page or frame.
// The drawing placeholder makes nodes of kind 626, whose buffer already
// holds the records to copy out; the inset reader makes the others.
#pragma once

#include "common/api.h"

namespace vox {

// Kinds of graphic node.
enum GraphicKind { kGraphicFacets = -1, kGraphicNative = 626, kGraphicOle = 999 };

constexpr int kNativeGraphicBlock = 100;  // block size of a drawing placeholder's buffer
constexpr int kParaEndWorkBlock = 512;    // block size of the line-end rewrite's work buffer

// A graphic node: nine words, allocated cleared with VOXmalloc.  pages.h
// names the type PagePicture; GraphicNode is the same struct.
struct PagePicture {
    int x, y;           // bounding rectangle, twips; 0 until <BRect
    int width, height;  // twips
    int out_buffer;     // temporary buffer of the records or facet data; -1 none
    int spool_buffer;   // temporary buffer of the raw inset text; -1 none
    int kind;           // GraphicKind
    int facet_size;     // bytes of the facet last decoded
    PagePicture *next;  // next node of the same list
};
using GraphicNode = PagePicture;

// Closes the buffers of every node of a list and frees the nodes; the list
// is left empty.
void free_graphic_nodes(GraphicNode *&list);

// Frees the drawing placeholders kept aside for frames (frame_graph_list
// of TextFlowState).  tf_free_tf_list calls it.
void free_frame_graph_list();

// The language identifier SLG carries for a language code, or -1 when the
// code names no language (the record then has no parameter).
int slg_parameter(int lang);

}  // namespace vox
