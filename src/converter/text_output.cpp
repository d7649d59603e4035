// Text output inside a flow: preparing a line's first text, the language
// record, rewriting the last line end, and the drawing placeholder.
#include "converter/text_output.h"

#include <algorithm>
#include <cstdint>

#include "common/memory.h"
#include "common/records.h"
#include "common/temp_buffers.h"
#include "converter/conversion.h"
#include "converter/fonts.h"
#include "converter/formatting_state.h"
#include "converter/pages.h"
#include "converter/pending_handlers.h"
#include "converter/routing.h"
#include "converter/text_flows.h"

namespace vox {
namespace {

constexpr int kAllocationFailure = 8;
constexpr unsigned kHNL = icf_code("HNL"), kHCB = icf_code("HCB"), kKWN = icf_code("KWN"),
                   kSLG = icf_code("SLG"), kPDS = icf_code("PDS"), kPCT = icf_code("PCT");

FontState &fonts() { return conv().fonts; }
ParagraphFormatState &pgf_format() { return conv().paragraph_formats; }

// Language codes and the identifiers SLG carries for them; code -1 stands
// for a language none of the others name.
struct LanguageId {
    int lang;
    int identifier;
};
constexpr LanguageId kLanguageIds[] = {
    {-1, 1024}, {0, 1046}, {1, 1030}, {2, 1043},  {3, 1033},  {4, 2057},  {5, 1035},
    {6, 1036},  {7, 1031}, {8, 1040}, {9, 1044}, {10, 2070}, {11, 2058}, {12, 1053},
};

// ---- rewriting the last line end ------------------------------------------

// The three letters of a packed record code (NUL for an index past the
// table).
void code_letters(unsigned code, unsigned char (&letters)[3]) {
    constexpr unsigned kLast = sizeof kCodeStr - 1;  // the terminating NUL
    const unsigned index[] = {code & 31u, (code >> 5) & 31u, (code >> 10) & 63u};
    for (int i = 0; i < 3; ++i) letters[i] = static_cast<unsigned char>(kCodeStr[std::min(index[i], kLast)]);
}

// The backward scan over what has been routed to the current destination.
// Every byte taken back goes to the work buffer, so the work buffer holds
// the taken output newest byte first; taking bytes back out of it (bufunput)
// gives them in output order.  The window keeps the last eight bytes taken:
// when an ESC is taken, window[0] is that ESC, window[1] its GS,
// window[2..4] the code letters and window[5] the byte after them (the
// record's first parameter byte, or its RS).
class LineEndScan {
  public:
    LineEndScan(int work, unsigned old_code, unsigned new_code)
        : work_(work), old_code_(old_code), new_code_(new_code) {}

    // Scans back until text, a matching record, or nothing more to take.
    void run() {
        for (int c = tf_frame_unput(); c >= 0; c = tf_frame_unput()) {
            take(c);
            if (c == kRS) {
                record_len_ = 1;  // reading backwards, RS enters a record
                continue;
            }
            if (record_len_ == 0) {  // in no record: text
                text_found_ = true;
                return;
            }
            ++record_len_;
            if (c == kESC) {  // and ESC leaves it
                bool ended = examine_record();
                record_len_ = 0;
                if (ended) return;
            }
        }
    }

    bool text_found() const { return text_found_; }
    bool rewritten() const { return rewritten_; }

  private:
    void take(int c) {
        bufput(c, work_);
        for (int i = kWindow - 1; i > 0; --i) window_[i] = window_[i - 1];
        window_[0] = static_cast<unsigned char>(c);
    }

    // The record whose ESC was just taken.  True when the scan ends here.
    bool examine_record() {
        // ESC, GS, three letters and RS at the least; anything shorter is
        // not a record to compare and stays as it is.
        if (record_len_ < 6 || window_[1] != kGS) return false;
        if (!code_is(old_code_)) return false;
        if (old_code_ == kHNL && window_[5] == '1') {
            drop_taken_record();  // an extra HNL 1 written after a paragraph
            return false;
        }
        rewrite_record();
        return true;
    }

    bool code_is(unsigned code) const {
        unsigned char letters[3];
        code_letters(code, letters);
        return window_[2] == letters[0] && window_[3] == letters[1] && window_[4] == letters[2];
    }

    // Takes the whole record, ESC to RS, back out of the work buffer.
    void drop_taken_record() {
        for (int i = 0; i < 5; ++i) bufunput(work_);
        for (int c = bufunput(work_); c >= 0 && c != kRS; c = bufunput(work_)) {
        }
    }

    // A paragraph end closes the style first: its records go to the
    // destination, whose output now ends just before this record.
    void rewrite_record() {
        if (new_code_ == kHNL) tf_end_curr_style();
        drop_taken_record();
        ParagraphFormatState &pgf = pgf_format();
        if (pgf.eat_snl) {
            pgf.eat_snl = 0;
            return;
        }
        unsigned char letters[3];
        code_letters(new_code_, letters);
        const unsigned char record[] = {kRS, letters[2], letters[1], letters[0], kGS, kESC};
        for (unsigned char c : record) bufput(c, work_);
        rewritten_ = true;
    }

    static constexpr int kWindow = 8;
    int work_;
    unsigned old_code_, new_code_;
    unsigned char window_[kWindow] = {};
    int record_len_ = 0;  // bytes of the record being read back, 0 outside one
    bool text_found_ = false;
    bool rewritten_ = false;
};

// The bytes taken back go out again in their order.
void put_back_work_buffer(int work) {
    for (int c = bufunput(work); c >= 0; c = bufunput(work)) tf_frame_putc(c);
}

// ---- drawing placeholder --------------------------------------------------

GraphicNode *new_native_graphic_node() {
    auto *node = static_cast<GraphicNode *>(VOXmalloc(sizeof(GraphicNode)));
    if (node == nullptr) conversion_fatal(kAllocationFailure);
    *node = GraphicNode{0, 0, 0, 0, -1, -1, kGraphicNative, 0, nullptr};
    node->out_buffer = bufopen(kNativeGraphicBlock);
    if (node->out_buffer < 0) {
        VOXfree(node);
        conversion_fatal(kAllocationFailure);
    }
    return node;
}

void append_graphic_node(GraphicNode *&list, GraphicNode *node) {
    GraphicNode **tail = &list;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = node;
}

// The picture list the node goes to: the current frame's inside a frame,
// else the current page's.  Frame records do not exist yet, so a frame's
// placeholders are kept on frame_graph_list; so is one started with no
// current page, which the dispatcher does not do.
GraphicNode *&graphic_list_for_new_node() {
    Conversion &c = conv();
    if (!c.frames.in_frame && c.pages.curr_pg_ptr != nullptr) return c.pages.curr_pg_ptr->page_pictures;
    return c.text_flows.frame_graph_list;
}

// The PDS and PCT records of a drawing object not converted.
void write_native_graphic_records() {
    beg_icf(kPDS);
    dec_out(kGraphicNative);
    for (int i = 0; i < 7; ++i) dec_out(0);
    end_icf();
    beg_icf(kPCT);
    dec_out(0);
    end_icf();
}

}  // namespace

void free_graphic_nodes(GraphicNode *&list) {
    while (GraphicNode *node = list) {
        list = node->next;
        if (node->out_buffer >= 0) bufclose(node->out_buffer);
        if (node->spool_buffer >= 0) bufclose(node->spool_buffer);
        VOXfree(node);
    }
}

void free_frame_graph_list() {
    TextFlowState &s = conv().text_flows;
    free_graphic_nodes(s.frame_graph_list);
    s.curr_graph_node_ptr = nullptr;
}

int slg_parameter(int lang) {
    for (const LanguageId &entry : kLanguageIds)
        if (entry.lang == lang) return entry.identifier;
    return -1;
}

}  // namespace vox

using namespace vox;

extern "C" {

VOX_API int tf_prepare_4_text_output(void) {
    Conversion &c = conv();
    ParagraphFormatState &pgf = pgf_format();
    c.text_flows.chars_seen = 1;
    if (pgf.first_string_seen) {
        tf_output_pgf_data();
        pgf.first_string_seen = 0;
    }
    if (c.layout.current_alig != pgf.style_alig && !pgf.para_num_end) tf_start_pgf_alig();
    tf_handle_end_font();
    FontState &f = fonts();
    if (f.curr_lang != f.def_curr_lang) output_lang_change();
    // output_kwn says the record is still to be written for this paragraph:
    // once written, the paragraph's further lines do not repeat it.
    if (pgf.keep_with_next && pgf.output_kwn) {
        out_icf(kKWN);
        pgf.output_kwn = 0;
    }
    // Attributes equal to those last written but not the paragraph's own are
    // written again in full: the attribute writer compares with
    // last_seen_attr, so that is set back to the paragraph's bits first.
    // Otherwise the writer itself finds nothing to write when nothing
    // changed, so it is called in any case.
    int attributes = c.layout.curr_high_act;
    if (attributes == f.last_seen_attr && attributes != f.default_high_attrib)
        f.last_seen_attr = f.default_high_attrib;
    tf_write_attr(attributes);
    return 0;
}

VOX_API int output_lang_change(void) {
    int identifier = slg_parameter(fonts().curr_lang);
    beg_icf(kSLG);
    if (identifier >= 0) dec_out(static_cast<std::uint32_t>(identifier));
    end_icf();
    return 0;
}

// Works backwards over the output of the current destination (see
// LineEndScan).  When no record was rewritten in place (text came first,
// nothing matched, or eat_snl dropped the record) a plain HNL ends the
// output instead.
//
// A cell end (HNL to HCB) that finds no HNL to rewrite also writes HCB
// after that HNL: the caller writes no cell end of its own when the cell
// had text, and a cell without its end record would shift every later
// cell of the table.
VOX_API int tf_replace_curr_para_end(unsigned old_code, unsigned new_code) {
    int work = bufopen(kParaEndWorkBlock);
    if (work < 0) conversion_fatal(kAllocationFailure);
    LineEndScan scan(work, old_code, new_code);
    scan.run();
    put_back_work_buffer(work);
    if (!scan.rewritten() || scan.text_found()) {
        if (scan.text_found()) tf_end_curr_style();
        out_icf(kHNL);
        if (new_code == kHCB) out_icf(kHCB);
    }
    bufclose(work);
    return 0;
}

VOX_API int tf_output_ff_graph_icfs(void) {
    Conversion &c = conv();
    GraphicNode *node = new_native_graphic_node();
    append_graphic_node(graphic_list_for_new_node(), node);
    c.text_flows.curr_graph_node_ptr = node;
    c.buffers.nat_buff = node->out_buffer;
    c.routing.native_gfx_output = 1;
    write_native_graphic_records();
    c.routing.native_gfx_output = 0;
    c.text_flows.interal_graph_output = 1;
    return 0;
}
}
