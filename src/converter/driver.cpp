// The conversion driver: the exported entry point, the run of one
// conversion from the options to the last byte of the target, and the
// release of everything a run holds, whichever way it ends.
#include "converter/driver.h"

#include <cstdio>
#include <cstring>

#include "vox42/vox42.h"
#include "common/buffer_bytes.h"
#include "common/exit.h"
#include "common/file_access.h"
#include "common/kernel_state.h"
#include "common/memory.h"
#include "common/options.h"
#include "common/progress.h"
#include "common/purge.h"
#include "common/records.h"
#include "common/streams.h"
#include "common/temp_buffers.h"
#include "common/temp_files.h"
#include "converter/conversion.h"
#include "converter/dispatch.h"
#include "converter/formatting_state.h"
#include "converter/pages.h"
#include "converter/pending_handlers.h"
#include "converter/preprocess.h"
#include "converter/routing.h"
#include "converter/text_flows.h"
#include "converter/token_reader.h"
#include "converter/token_table.h"

using namespace vox;

namespace {

constexpr int kCarriageReturn = 13;
constexpr int kTokenTextFlow = 86;
constexpr int kZemConverterNumber = 42;  // the DID of this converter
constexpr int kStreamBlock = 2048;
constexpr int kPreprocBlock = 512;
constexpr int kTableBlock = 512;
constexpr int kBodyBlock = 1024;
constexpr int kFrameBlock = 512;
constexpr int kSplitBlock = 512;

constexpr int kOpenFailure = 1;
constexpr int kTargetFailure = 3;
constexpr int kNoMemory = 8;
constexpr int kListFileSeekFailure = 17;

constexpr const char *kProgramName = "VOXMainEntry";
constexpr const char *kSourceFormatName = "Folioforge 3.0, 4.0";

TabState &tabs() { return conv().tabs; }
FontState &fonts() { return conv().fonts; }
int &cmyk_fh() { return conv().colours.cmyk_fh; }

// --- small helpers -------------------------------------------------------------

void close_buffer(int &handle) {
    if (handle >= 0) bufclose(handle);
    handle = -1;
}

void close_file(int &handle) {
    if (handle >= 0) VOXclose(handle);
    handle = -1;
}

// A list file goes with its name: closed, then removed.  The name is
// emptied so that a second release does nothing.
void close_and_delete(int &handle, char *name) {
    close_file(handle);
    if (name[0] != '\0') VOXunlink(name);
    name[0] = '\0';
}

// Makes a temporary name next to the target and opens that (empty) file
// for update; any failure ends the run with code 8.
void open_list_file(char *name, int &handle) {
    if (gen_fnam(kernel().settings.icfname, name) != 0) {
        name[0] = '\0';  // no file of ours carries that name
        tf_frame_exit(kNoMemory);
    }
    handle = VOXopen(name, 3, 3);
    if (handle < 0) tf_frame_exit(kNoMemory);
}

// --- release ----------------------------------------------------------------------

// Runs the release steps one after the other.  A step that ends the run
// itself (a flush of the target that fails) does not stop the others; its
// code replaces a 0 the run was ending with.
class ReleaseSteps {
  public:
    explicit ReleaseSteps(int code) : code_(code) {}
    template <typename Step>
    void run(Step step) {
        try {
            step();
        } catch (const ConversionExit &e) {
            if (code_ == 0) code_ = e.code;
        }
    }
    int code() const { return code_; }

  private:
    int code_;
};

void close_conversion_buffers() {
    ConversionBuffers &b = conv().buffers;
    close_buffer(b.preproceesed_bf);
    close_buffer(b.table_buff);
    close_buffer(b.footnote_buffer_handle);
    close_buffer(b.int_tmp_buff);
    close_buffer(b.apo_temp_buff);
    close_buffer(b.text_flow_buff);
    tf_close_tbl_buffers();
}

void delete_list_files() {
    DriverState &d = conv().driver;
    close_and_delete(d.font_list_handle, d.fdt_name);
    close_and_delete(d.cat_list_handle, d.cat_name);
    close_and_delete(d.var_list_handle, d.var_name);
    close_and_delete(d.font_cat_handle, d.font_cat_name);
    close_and_delete(cmyk_fh(), d.cmyk_name);
}

// The stored flows and the other lists.  The hidden flow is kept out of
// tf_free_tf_list here and freed on its own afterwards.
void free_conversion_lists() {
    TextFlowState &s = conv().text_flows;
    StoredTextFlow *hidden = s.hidden_tf_ptr;
    s.hidden_tf_ptr = nullptr;
    tf_free_tf_list();
    s.hidden_tf_ptr = hidden;
    tf_free_xref_list();
    tf_free_frame_state_list();
    tf_free_tf_state_list();
    tf_free_pgf_num_list();
    tf_free_series_list();
}

// With the list of stored flows empty, tf_free_tf_list frees only the
// hidden flow: its buffer, its id list and the node.
void free_hidden_flow() {
    if (conv().text_flows.hidden_tf_ptr) tf_free_tf_list();
}

void close_streams_and_files() {
    StreamState &s = kernel().streams;
    if (s.in_bufr || s.ot_bufr1 || s.ungetbuf) b_close();
    DriverState &d = conv().driver;
    close_file(d.icf_fh);
    close_file(d.dest_file);
}

// Everything tf_frame_exit releases, in its order; returns the code the run
// ends with.  Every step leaves its handles at -1 and its lists empty, so a
// second release finds nothing to do.
int release_conversion(int code) {
    ReleaseSteps steps(code);
    steps.run(close_conversion_buffers);
    steps.run(tf_free_page_list);
    steps.run(tf_free_frame_list);
    steps.run(delete_list_files);
    steps.run(free_list_caches);
    steps.run(free_conversion_lists);
    steps.run(free_hidden_flow);
    steps.run(close_streams_and_files);
    return steps.code();
}

// --- the starting values of a conversion -------------------------------------------
// Each module's state struct already starts with these values; they are
// set here once more so that the driver's start does not depend on how the
// state object was made.

void start_buffers_and_routing(Conversion &c) {
    ConversionBuffers &b = c.buffers;
    b.preproceesed_bf = b.text_flow_buff = b.table_buff = b.int_tmp_buff = -1;
    b.apo_temp_buff = b.footnote_buffer_handle = -1;
    RoutingState &r = c.routing;
    r.preprocess = 1;
    r.convert_string = 1;
    r.redirect_mode = r.output_to_int_file = r.text_flow = r.in_table = r.in_footnote = 0;
    c.tokens.push_idx = 0;
    c.values.default_unit = kUnitInch;
}

void start_pages(PageState &p) {
    p.start_page_num = 1;
    p.last_seen_right_margin = 12240;  // 8.5 inches
    p.last_seen_orient = -1;
    p.page_num_type = p.in_page = p.in_textrect = 0;
    p.start_new_page = kNoBreak;
    p.last_seen_left_margin = p.last_seen_form_len = p.last_seen_form_width = p.last_seen_height = 0;
    p.start_page_list = nullptr;
}

void start_paragraph_layout(Conversion &c) {
    ParagraphLayoutState &l = c.layout;
    l.old_line_space = l.new_line_space = l.default_line_space = 40;  // single spacing
    l.curr_high_act = l.current_alig = l.default_alig = l.brj_mode = 0;
    l.curr_left_indent = l.curr_right_indent = l.curr_first_indent = 0;
    l.para_sp_before = l.def_para_sp_before = l.para_sp_after = l.def_para_sp_after = 0;
    l.can_rest_mar = 0;
    ParagraphFormatState &f = c.paragraph_formats;
    f.in_pgf = f.in_pgfcatalog = f.left_indent_change = f.para_num_end = 0;
    f.first_string_seen = 1;
    f.style_alig = f.after_num_hnl = 0;
    TabState &t = c.tabs;
    t.start_tab_table = 1;
    t.default_tab_cnt = 0;
    t.can_do_tmp_mar = 1;
    t.temp_rsm = 0;
    c.tabs.tmp_tab_tbl = 0;
}

void start_text_and_fonts(Conversion &c) {
    StringState &s = c.strings;
    s.char_width = 10;
    s.line_pos = 0;
    c.colours.curr_color = 0;
    FontState &f = c.fonts;
    f.curr_lang = f.def_curr_lang = 3;  // US English
    f.default_high_attrib = f.default_color = 0;
    ReferenceState &r = c.references;
    r.do_marker = -1;
    r.in_var_frmt = r.var_stat = r.in_marker = 0;
}

void start_objects(Conversion &c) {
    TextFlowState &f = c.text_flows;
    f.start_tf_list = nullptr;
    f.text_flow_cnt = f.output_page_data = f.chars_seen = 0;
    f.curr_graph_node_ptr = nullptr;
    TableState &t = c.tables;
    t.in_title = t.title_seen = t.in_heading = t.in_body = t.in_foot = 0;
    t.in_tbl_catalog = t.in_tbl_format = 0;
    t.table_cell_image = nullptr;
    FrameState &frame = c.frames;
    frame.in_aframe = 0;
    frame.first_page_gfx_output = 1;
    frame.text_seen = frame.frame_text_rect = frame.in_frame = frame.in_importobject = frame.in_apo = 0;
}

// --- the steps of VOXMainEntry ------------------------------------------------------

void start_progress_display(const char *source) {
    long size = VOXGetSize(source);
    if (size < 0) size = 0;
    dspinit(2ul * static_cast<unsigned long>(size), kernel().settings.optflags & 1, 1);
}

// Master, reference and hidden pages keep their flows only when the
// version level's second character is 'D' or 'd'.
void choose_master_page_flows() {
    const char *level = kernel().settings.ver_lvl;
    bool keep = level[0] != '\0' && (level[1] == 'D' || level[1] == 'd');
    conv().text_flows.skip_master_pg_tf = keep ? 0 : 1;
}

void open_source_and_target() {
    DriverState &d = conv().driver;
    d.icf_fh = VOXopen(d.source_file_name, 1, 1);
    if (d.icf_fh < 0) VOXexit(kOpenFailure);
    d.dest_file = VOXopen(kernel().settings.icfname, 2, 2);
    if (d.dest_file < 0) {
        close_file(d.icf_fh);
        VOXexit(kTargetFailure);
    }
    if (b_open(d.icf_fh, d.dest_file, kStreamBlock) != 0) {
        close_file(d.icf_fh);
        close_file(d.dest_file);
        VOXexit(kNoMemory);
    }
}

void open_buffer_into(int &handle, int size) {
    handle = bufopen(size);
    if (handle < 0) tf_frame_exit(kNoMemory);
}

void open_temporary_stores() {
    ConversionBuffers &b = conv().buffers;
    open_buffer_into(b.preproceesed_bf, kPreprocBlock);
    open_buffer_into(b.table_buff, kTableBlock);
    open_buffer_into(b.int_tmp_buff, kBodyBlock);
    open_buffer_into(b.apo_temp_buff, kFrameBlock);
    DriverState &d = conv().driver;
    open_list_file(d.cat_name, d.cat_list_handle);
    open_list_file(d.font_cat_name, d.font_cat_handle);
    open_list_file(d.cmyk_name, cmyk_fh());
}

void check_source() {
    int code = tf_check_for_valid_zem();
    if (code != 0) tf_frame_exit(code);
}

void start_formatting_defaults() {
    TabState &t = tabs();
    fill_default_tabs(t.default_tab_tabl);
    fill_default_tabs(t.work_tab_tbl);
    fill_default_tabs(t.last_output_table);
    fonts().font_family[0] = '\0';
    conv().layout.pgf_tag_name[0] = '\0';
}

void run_preprocessing_pass() {
    RoutingState &r = conv().routing;
    r.convert_string = 0;
    do_token();
    r.convert_string = 1;
    r.preprocess = 0;
    tf_free_macro_list();
}

// The statement start of the first TextFlow goes back onto the input and
// out of the main input, so that the flows are stored from its '<' on.
void hand_first_flow_to_storage(int main_input) {
    const int start[] = {'<', '8', '6', kTokenEndMarker};
    for (int i = 3; i >= 0; --i) preproc_unget(start[i]);
    int c;
    do c = bufunput(main_input);
    while (c >= 0 && c != '<');
    tf_store_all_text_flows();
}

// Copies the preprocessed text, line by line, into a new main input up to
// the first TextFlow, and stores every flow from there on aside.
void split_preprocessed_text() {
    int main_input = bufopen(kSplitBlock);
    if (main_input < 0) tf_frame_exit(kNoMemory);
    for (int c = preproc_getc(); c >= 0; c = preproc_getc()) {
        put_byte(c, main_input);
        if (c == '`') {
            tf_buff_string(main_input);
        } else if (c == kCarriageReturn) {
            // An empty line: the next line is looked at afresh.
        } else if (c == '<' && tf_read_next_token_num(main_input) == kTokenTextFlow) {
            hand_first_flow_to_storage(main_input);
            break;
        } else {
            tf_store_rest_of_line(main_input);
        }
    }
    ConversionBuffers &b = conv().buffers;
    close_buffer(b.preproceesed_bf);
    b.preproceesed_bf = main_input;
}

void remember_starting_font() {
    FontStateRecord &f = fonts().prev_font_state;
    f = FontStateRecord{};
    std::strcpy(f.family, "Times");
    f.size = 240;
    f.attributes = 0;
    f.color = 0;
    std::strcpy(f.color_name, "Black");
}

// DID and one FLO per stored flow, straight to the target.
void write_head() {
    RoutingState &r = conv().routing;
    r.output_to_int_file = 1;
    beg_icf(icf_code("DID"));
    dec_out(kZemConverterNumber);
    end_icf();
    tf_output_flo();
    r.output_to_int_file = 0;
}

void write_default_ruler() {
    TabState &t = tabs();
    tf_do_ntb_output(&t.default_tab_tabl[0][0], t.default_tab_cnt);
}

// The next stored flow in page order goes onto the input; false when none
// is left to convert.
bool replay_next_flow() {
    if (!conv().text_flows.start_tf_list) return false;
    StoredTextFlow *flow = tf_find_next_text_flow(0);
    if (!flow) return false;
    conv().text_flows.curr_tf_num = flow->flow_num;
    tf_unput_text_flow(flow);
    return true;
}

void run_main_loop() {
    const ErrorState &e = kernel().errors;
    while (e.VOXCancel != 1) {
        int c = preproc_getc();
        if (c == '<') {
            tf_handle_command_token();
        } else if (c == '=') {
            tf_handle_inset_object();
        } else if (c == '>') {
            tf_end_token();
        } else if (c == kCarriageReturn) {
            continue;
        } else if (c >= 0) {
            tf_eat_rest_of_line();
        } else if (!replay_next_flow()) {
            break;
        }
    }
}

// --- MainEntryPoint --------------------------------------------------------------

// The argument table of one call: tracked blocks, released with everything
// else at the end of the call.
struct ArgumentTable {
    char *slots[kArgSlots + 1] = {};
    int count = 0;
};

int count_extra(char **extra_argv) {
    int n = 0;
    if (extra_argv)
        while (extra_argv[n] && n <= kMaxExtraArgs) ++n;
    return n;
}

// The limits of the slots, checked before anything is allocated.
bool fits_argument_table(const char *source, const char *target, const char *version_level,
                         char **extra_argv) {
    if (!source || !target) return false;
    if (std::strlen(target) > static_cast<std::size_t>(kMaxTargetChars)) return false;
    if (version_level && std::strlen(version_level) > static_cast<std::size_t>(kMaxVersionChars))
        return false;
    return count_extra(extra_argv) <= kMaxExtraArgs;
}

char *slot_text(std::size_t size, const char *prefix, const char *text) {
    auto *slot = static_cast<char *>(VOXmalloc(size));
    if (slot) std::snprintf(slot, size, "%s%s", prefix, text);
    return slot;
}

// Slot 0 the program name, 1 the source, 2 the target option, 3 the
// version option, then the extra arguments.  False when memory runs out;
// the slots made so far are released.
bool build_argument_table(ArgumentTable &a, const char *source, const char *target,
                          const char *version_level, char **extra_argv) {
    a.slots[0] = slot_text(kProgramSlotSize, "", kProgramName);
    a.slots[1] = const_cast<char *>(source);
    a.slots[2] = slot_text(kTargetSlotSize, "-t=", target);
    a.slots[3] = slot_text(kVersionSlotSize, "-v", version_level ? version_level : "");
    a.count = 4;
    bool ok = a.slots[0] && a.slots[2] && a.slots[3];
    for (int i = 0; ok && i < count_extra(extra_argv); ++i) {
        std::size_t length = std::strlen(extra_argv[i]);
        a.slots[a.count] = slot_text(length + 2, "", extra_argv[i]);
        ok = a.slots[a.count++] != nullptr;
    }
    if (!ok) {
        for (int i = 0; i < a.count; ++i)
            if (i != 1) VOXfree(a.slots[i]);
    }
    return ok;
}

// A fresh run: what earlier calls left tracked is released by the
// allocator that made it, then the host's functions (both or neither) are
// installed and the run's state starts from its initial values.
void start_fresh_run(VOXHostMallocFn malloc_fn, VOXHostFreeFn free_fn) {
    VOXFreeAll();
    if (malloc_fn && free_fn)
        set_host_allocator(malloc_fn, free_fn);
    else
        set_host_allocator(nullptr, nullptr);
    KernelState &k = kernel();
    k.errors = ErrorState();
    k.streams = StreamState();
    k.settings = SettingsState();
    k.codes = CodeRingState();
    k.ruler = RulerState();
    k.progress = ProgressState();
    ClearPurgeList();
    reset_conversion();
}

int run_conversion(const char *source, const char *target, const char *version_level,
                   char **extra_argv) {
    if (!fits_argument_table(source, target, version_level, extra_argv)) return kNoMemory;
    ArgumentTable args;
    if (!build_argument_table(args, source, target, version_level, extra_argv)) return kNoMemory;
    try {
        VOXMainEntry(args.count, args.slots);
    } catch (const ConversionExit &e) {
        return e.code;
    }
}

void end_redirections() {
    const RoutingState &r = conv().routing;
    if (r.redirect_mode) tf_frame_redout_end();
    if (r.redirect_in_mode) tf_frame_redin_end();
    StreamState &s = kernel().streams;
    if (s.RedirectOutputFlag) RedirectOutputClose();
    if (s.RedirectInputFlag) RedirectInputClose();
}

// Nothing of the run stays behind: its files, buffers, list files and
// blocks, and no pointer into the argument table or the host's strings.
void finish_run() noexcept {
    try {
        release_conversion(0);
    } catch (...) {
    }
    try {
        end_redirections();
        RemovePurgeableFiles();
    } catch (...) {
    }
    try {
        VOXFreeAll();
        SettingsState &s = kernel().settings;
        s.ARG0_BasePath = nullptr;
        s.FirstParameterFileName = nullptr;
        s.VOXDefinitionFile = nullptr;
        set_host_allocator(nullptr, nullptr);
        reset_conversion();
    } catch (...) {
    }
}

}  // namespace

extern "C" {

VOX_API int MainEntryPoint(const char *source, const char *target, const char *version_level,
                           char **extra_argv, VOXHostMallocFn malloc_fn, VOXHostFreeFn free_fn) {
    int code;
    try {
        start_fresh_run(malloc_fn, free_fn);
        code = run_conversion(source, target, version_level, extra_argv);
    } catch (...) {
        code = kNoMemory;
    }
    finish_run();
    return code;
}

VOX_API void VOXMainEntry(int argc, char **argv) {
    DriverState &d = conv().driver;
    d.p_tgtnm = d.source_file_name = argv[1];
    options(argc - 2, argv + 2);
    if (dsp_ver(d.source_file_name, kSourceFormatName) != 0) VOXexit(0);
    start_progress_display(d.source_file_name);
    choose_master_page_flows();
    tf_init_starting_vars();
    tf_token_init();
    open_source_and_target();
    open_temporary_stores();
    check_source();
    start_formatting_defaults();
    tf_frame_redout_start();
    // Input redirection starts after the pass: during the pass it would
    // only send each source byte through preproc_getc back to the source
    // stream, the same bytes at several times the cost per byte.
    run_preprocessing_pass();
    tf_frame_redin_start();
    split_preprocessed_text();
    remember_starting_font();
    write_head();
    write_default_ruler();
    run_main_loop();
    tf_output_int_file();
    tf_frame_redout_end();
    tf_frame_redin_end();
    dsppad();
    tf_frame_exit(0);
}

VOX_API int tf_init_starting_vars(void) {
    Conversion &c = conv();
    start_buffers_and_routing(c);
    start_pages(c.pages);
    start_paragraph_layout(c);
    start_text_and_fonts(c);
    start_objects(c);
    DriverState &d = c.driver;
    d.num_fonts = 0;
    open_list_file(d.fdt_name, d.font_list_handle);
    open_list_file(d.var_name, d.var_list_handle);
    d.num_var_entries = 0;
    return 0;
}

VOX_API void tf_frame_exit(int code) { VOXexit(release_conversion(code)); }

VOX_API int tf_output_int_file(void) {
    Conversion &c = conv();
    c.routing.text_flow = 0;
    c.routing.in_table = 0;
    c.routing.output_to_int_file = 1;
    if (!c.preproc.zem_book) {
        tf_output_dtp_pg_data();
        tf_output_fdt();
    }
    tf_frame_redout_end();
    int body = c.buffers.int_tmp_buff;
    StreamState &target = kernel().streams;
    unsigned char chunk[4096];
    for (int n = bufgets(body, chunk, sizeof chunk); n > 0; n = bufgets(body, chunk, sizeof chunk))
        stream_put_block(target, chunk, n);
    tf_frame_redout_start();
    return 0;
}

VOX_API int tf_output_fdt(void) {
    DriverState &d = conv().driver;
    beg_icf(icf_code("FDT"));
    dec_out(static_cast<std::uint32_t>(d.num_fonts));
    dec_out(3);
    HexOut8(0);
    if (d.num_fonts > 0 && VOXlseek(d.font_list_handle, 0, SEEK_SET) != 0) tf_frame_exit(kListFileSeekFailure);
    for (int i = 0; i < d.num_fonts; ++i) {
        unsigned char font[kFontRecordSize];
        if (VOXread(d.font_list_handle, font, kFontRecordSize) != kFontRecordSize)
            tf_frame_exit(kListFileSeekFailure);
        char name[kFontRecordNameSize + 1];
        std::memcpy(name, font + 4, kFontRecordNameSize);
        name[kFontRecordNameSize] = '\0';
        dec_out(static_cast<std::uint32_t>(get_be32(font)));
        tf_frame_from_out_string(name);
        b_putc(kUS);
        HexOut8(0);
    }
    end_icf();
    return 0;
}

VOX_API int tf_frame_redout_start(void) {
    start_output_routing();
    conv().routing.redirect_mode = 1;
    return 0;
}

VOX_API int tf_frame_redout_end(void) {
    RedirectOutputClose();
    conv().routing.redirect_mode = 0;
    return 0;
}

VOX_API int tf_frame_redin_start(void) {
    RedirectInput(preproc_getc);
    conv().routing.redirect_in_mode = 1;
    return 0;
}

VOX_API int tf_frame_redin_end(void) {
    RedirectInputClose();
    conv().routing.redirect_in_mode = 0;
    return 0;
}
}
