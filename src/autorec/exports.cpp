// The testers with C linkage, for hosts and sibling programs that call one
// tester by name: each runs on the calling thread's recogniser state (the
// block last set up by AutoRecBlock or AutoRecFile).  The compound-file
// walk's own steps (AutoOLECheckVersion, AutoOLEChkObj) work on the walk's
// private state and stay inside ole2_probe.cpp.
#include "autorec/autorec.h"
#include "common/kernel_state.h"

#define VOX_EXPORT_TESTER(name) \
    VOX_API int name(void) { return vox::name(vox::kernel().autorec); }

extern "C" {

// In battery order.
VOX_EXPORT_TESTER(auto_tst_rft)
VOX_EXPORT_TESTER(auto_tst_wp5)
VOX_EXPORT_TESTER(auto_tst_mm)
VOX_EXPORT_TESTER(auto_tst_msw)
VOX_EXPORT_TESTER(auto_tst_ow)
VOX_EXPORT_TESTER(auto_tst_qaw)
VOX_EXPORT_TESTER(auto_tst_en)
VOX_EXPORT_TESTER(auto_tst_pfs)
VOX_EXPORT_TESTER(auto_tst_fcdb)
VOX_EXPORT_TESTER(auto_tst_ws2)
VOX_EXPORT_TESTER(auto_tst_dx)
VOX_EXPORT_TESTER(auto_tst_ibm)
VOX_EXPORT_TESTER(auto_tst_rtf)
VOX_EXPORT_TESTER(auto_tst_WinWord)
VOX_EXPORT_TESTER(auto_tst_ami)
VOX_EXPORT_TESTER(auto_tst_wks)
VOX_EXPORT_TESTER(auto_tst_xls)
VOX_EXPORT_TESTER(auto_tst_fw3)
VOX_EXPORT_TESTER(auto_tst_rf)
VOX_EXPORT_TESTER(auto_tst_wang)
VOX_EXPORT_TESTER(auto_tst_sma)
VOX_EXPORT_TESTER(auto_tst_lm)
VOX_EXPORT_TESTER(auto_tst_fft)
VOX_EXPORT_TESTER(auto_tst_mwm)
VOX_EXPORT_TESTER(auto_tst_mcw)
VOX_EXPORT_TESTER(auto_tst_mcw2)
VOX_EXPORT_TESTER(auto_tst_mcwpro)
VOX_EXPORT_TESTER(auto_tst_clworks)
VOX_EXPORT_TESTER(auto_tst_fwp)
VOX_EXPORT_TESTER(auto_tst_ilf)
VOX_EXPORT_TESTER(auto_tst_mwp2)
VOX_EXPORT_TESTER(auto_tst_com)
VOX_EXPORT_TESTER(auto_tst_dif)
VOX_EXPORT_TESTER(auto_tst_db)
VOX_EXPORT_TESTER(auto_tst_pdx)
VOX_EXPORT_TESTER(auto_tst_access)
VOX_EXPORT_TESTER(auto_tst_ws5)
VOX_EXPORT_TESTER(auto_tst_leg)
VOX_EXPORT_TESTER(auto_tst_zem)
VOX_EXPORT_TESTER(auto_tst_mdi)
VOX_EXPORT_TESTER(auto_tst_op)
VOX_EXPORT_TESTER(auto_tst_wordpro)
VOX_EXPORT_TESTER(auto_tst_quattro)
VOX_EXPORT_TESTER(auto_tst_crystal)
VOX_EXPORT_TESTER(auto_tst_wpl)
VOX_EXPORT_TESTER(auto_tst_vw)
VOX_EXPORT_TESTER(auto_tst_wmf)
VOX_EXPORT_TESTER(auto_tst_os2met)
VOX_EXPORT_TESTER(auto_tst_krb)
VOX_EXPORT_TESTER(auto_tst_tiff)
VOX_EXPORT_TESTER(auto_tst_gif)
VOX_EXPORT_TESTER(auto_tst_iges)
VOX_EXPORT_TESTER(auto_tst_dxf)
VOX_EXPORT_TESTER(auto_tst_wn)
VOX_EXPORT_TESTER(auto_tst_wita)
VOX_EXPORT_TESTER(auto_tst_wizi)
VOX_EXPORT_TESTER(auto_tst_pdf)
VOX_EXPORT_TESTER(auto_tst_jpeg)
VOX_EXPORT_TESTER(auto_tst_corel)
VOX_EXPORT_TESTER(auto_tst_mgx)
VOX_EXPORT_TESTER(auto_tst_rgip)
VOX_EXPORT_TESTER(auto_tst_sdw)
VOX_EXPORT_TESTER(auto_tst_bmp)
VOX_EXPORT_TESTER(auto_tst_xpm)
VOX_EXPORT_TESTER(auto_tst_pict)
VOX_EXPORT_TESTER(auto_tst_sunras)
VOX_EXPORT_TESTER(auto_tst_eps)
VOX_EXPORT_TESTER(auto_tst_pic)
VOX_EXPORT_TESTER(auto_tst_WinWord6)
VOX_EXPORT_TESTER(auto_tst_xls5)
VOX_EXPORT_TESTER(auto_tst_html)
VOX_EXPORT_TESTER(auto_tst_formflow)
VOX_EXPORT_TESTER(auto_tst_plx)
VOX_EXPORT_TESTER(auto_tst_png)
VOX_EXPORT_TESTER(auto_tst_mas)
VOX_EXPORT_TESTER(auto_tst_works)
VOX_EXPORT_TESTER(auto_tst_works3)
VOX_EXPORT_TESTER(auto_tst_msp)
VOX_EXPORT_TESTER(auto_tst_dcx)
VOX_EXPORT_TESTER(auto_tst_pcx)
VOX_EXPORT_TESTER(auto_tst_winclp)
VOX_EXPORT_TESTER(auto_tst_winicon)
VOX_EXPORT_TESTER(auto_tst_power)
VOX_EXPORT_TESTER(auto_tst_ppt)
VOX_EXPORT_TESTER(auto_tst_freelance)
VOX_EXPORT_TESTER(auto_tst_wizidraw)
VOX_EXPORT_TESTER(auto_tst_WPGNoHdr)
VOX_EXPORT_TESTER(auto_tst_misc)
VOX_EXPORT_TESTER(auto_tst_def)
VOX_EXPORT_TESTER(auto_tst_xyw)
VOX_EXPORT_TESTER(auto_tst_uniplex)
VOX_EXPORT_TESTER(auto_tst_ceo)
VOX_EXPORT_TESTER(auto_tst_cgm)
VOX_EXPORT_TESTER(auto_tst_wp4)
VOX_EXPORT_TESTER(auto_tst_ws)
VOX_EXPORT_TESTER(auto_tst_wpm1)
VOX_EXPORT_TESTER(auto_tst_ptx)
VOX_EXPORT_TESTER(auto_tst_hpgl)
VOX_EXPORT_TESTER(auto_tst_hvdgrph)
VOX_EXPORT_TESTER(auto_tst_mac)
VOX_EXPORT_TESTER(auto_tst_zip)
VOX_EXPORT_TESTER(auto_tst_asc)

VOX_API int CheckWPMailMergeFile(void) { return vox::CheckWPMailMergeFile(vox::kernel().autorec) ? 1 : 0; }

VOX_API std::int32_t AutoFAT_LookupBlock(vox::AutoFATState *state, std::int32_t block,
                                         const std::int32_t *fat_list) {
    return vox::AutoFAT_LookupBlock(*state, block, fat_list);
}

VOX_API int auto_OLE2Formats(const unsigned char *block, int length, vox::OleSeekFn seek,
                             vox::OleReadFn read) {
    return vox::auto_OLE2Formats(block, length, seek, read);
}
}
