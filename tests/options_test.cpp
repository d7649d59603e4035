// Options: the option table and its bits, graphics options, configuration
// files (nesting, limits, Ctrl-Z, unreadable files), name=value pairs, the
// reference list file, recorded reference names, and the release of every
// tracked text.
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/options.h"
#include "test_support.h"

namespace vox {
namespace {

using test::TempDir;

SettingsState &set() { return kernel().settings; }

int parse(const std::string &text) { return CmdParseLine(text.c_str()); }

// options() installs the converter's signal handlers; the test process gets
// its own back afterwards.
class OptionsTest : public test::KernelTest {
  protected:
    static constexpr int kSignals[] = {SIGHUP, SIGINT, SIGILL, SIGQUIT, SIGTRAP,
                                       SIGABRT, SIGFPE, SIGBUS, SIGSEGV};
    void SetUp() override {
        test::KernelTest::SetUp();
        for (int i = 0; i < 9; ++i) sigaction(kSignals[i], nullptr, &saved_[i]);
    }
    void TearDown() override {
        test::KernelTest::TearDown();
        test::CountingAllocator::uninstall();
        for (int i = 0; i < 9; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
    }
    // Runs options() as the driver does: program path and source name
    // first, the option list after them.
    void run_options(const std::string &source, const std::vector<std::string> &opts) {
        args_ = {"/opt/vox/bin/vox42", source};
        args_.insert(args_.end(), opts.begin(), opts.end());
        ptrs_.clear();
        for (const std::string &a : args_) ptrs_.push_back(a.c_str());
        EXPECT_EQ(options(static_cast<int>(opts.size()), ptrs_.data() + 2), 0);
    }
    std::string config(const std::string &name, const std::string &bytes) {
        test::write_file(dir.file(name), bytes);
        return dir.file(name);
    }
    TempDir dir;
    std::vector<std::string> args_;
    std::vector<const char *> ptrs_;
    struct sigaction saved_[9];
};

TEST_F(OptionsTest, TargetNameAndTheTWOption) {
    EXPECT_EQ(parse("-t=out.icf"), 0);
    EXPECT_STREQ(set().icfname, "out.icf");
    EXPECT_EQ(parse("-tW"), 0x1000);
    EXPECT_EQ(parse("-t"), 0);
    EXPECT_EQ(parse("-tx.icf"), 0);
    EXPECT_EQ(parse("-T:x.icf"), 0);
    EXPECT_STREQ(set().icfname, "out.icf");
    EXPECT_EQ(parse("  /T=other"), 0);
    EXPECT_STREQ(set().icfname, "other");
}

TEST_F(OptionsTest, OptionBitsOfTheTable) {
    struct Case { const char *text; int bits; };
    const Case cases[] = {
        {"-A", 0x4000}, {"-b", 1},      {"-BP=8192", 0}, {"-IF", 0x2000}, {"-i", 2},
        {"-INP=5", 0x400}, {"-OUTP=6", 0x400}, {"-N", 0x80}, {"-NR2-3", 0x200}, {"-P", 0x40},
        {"-PC", 0x28}, {"-pe", 8},      {"-R1-5", 0x100}, {"-K", 0},       {"-Y", 0},
        {"-", 0},      {"", 0},         {"-DT", 0},      {"-W", 0},       {"-L", 0},
        {"pc", 0x28},  {"  /PC", 0x28}, // without S or X before it, the dash is optional
    };
    for (const Case &c : cases) EXPECT_EQ(parse(c.text), c.bits) << c.text;
    EXPECT_EQ(set().max_pipe_buf_len, 8192);
    EXPECT_EQ(set().in_pipe, 5);
    EXPECT_EQ(set().out_pipe, 6);
    EXPECT_STREQ(set().range, "1-5");  // R came after NR
    EXPECT_EQ(set().DeleteICFFile, 0);
}

TEST_F(OptionsTest, SettingsOfTheTable) {
    set().BFBModeFlag = 1;
    parse("-L");
    EXPECT_EQ(set().BFBModeFlag, 0);
    parse("-E=/opt/conv");
    parse("-ERRORS=msg=x");
    parse("-MZ1,2,3");
    parse("-Q77");
    parse("-PID=123");
    parse("-pICTURE=Fig");
    parse("-RULES=rules.txt");
    parse("-V5D");
    EXPECT_STREQ(set().SubLaunchPath, "/opt/conv");
    EXPECT_STREQ(set().ErrorMessageHandle, "msg=x");
    EXPECT_STREQ(set().opt_margin_string, "1,2,3");
    EXPECT_EQ(set().IPCMsgQueueID, 77);
    EXPECT_EQ(set().display_pid, 123);
    EXPECT_STREQ(set().BifPictLabel, "Fig");
    EXPECT_STREQ(set().RulesFileName, "rules.txt");
    EXPECT_STREQ(set().ver_lvl, "5D");

    EXPECT_EQ(parse("-PE"), 8);
    EXPECT_STREQ(set().excname, "except.lst");
    EXPECT_EQ(parse("-PE=\"my list.lst\""), 8);
    EXPECT_STREQ(set().excname, "my list.lst");

    // Fixed texts keep what fits: ver_lvl 29 characters, range 19.
    parse("-V" + std::string(40, 'v'));
    EXPECT_EQ(std::string(set().ver_lvl), std::string(29, 'v'));
    parse("-R" + std::string(25, 'r'));
    EXPECT_EQ(std::string(set().range), std::string(19, 'r'));

    // OLE way: the low three bits are replaced, bit 8 is kept.
    parse("-OD");
    EXPECT_EQ(set().OLEOptionFlag, 12);
    parse("-ON");
    EXPECT_EQ(set().OLEOptionFlag, 10);
    parse("-oo");
    EXPECT_EQ(set().OLEOptionFlag, 9);
    parse("-OP");
    EXPECT_EQ(set().OLEOptionFlag, 12);

    EXPECT_EQ(parse("-CP850"), 0);
    EXPECT_EQ(set().VOXCodePage, 850);
    parse("-CP99");
    parse("-CP10000");
    EXPECT_EQ(set().VOXCodePage, 850);
}

TEST_F(OptionsTest, GraphicsOptions) {
    struct Case { const char *text; int flags; };
    const Case cases[] = {
        {"-GD", 2},    {"-GER", 1536}, {"-GRR", 16}, {"-GRER", 64}, {"-GRE", 32},
        {"-GREX", 32}, {"-GVX", 272},  {"-GVR", 144}, {"-gvrh", 1168}, {"-GX", 4},
        {"-GEX", 0},   {"-GQ", 0},     {"-CDC", 1},
    };
    for (const Case &c : cases) {
        set().GraphicsOptionFlag = 0;
        EXPECT_EQ(parse(c.text), 0) << c.text;
        EXPECT_EQ(set().GraphicsOptionFlag, c.flags) << c.text;
    }

    parse("-GS640x480");
    EXPECT_EQ(set().VOXGraphicFrameWidth, 640);
    EXPECT_EQ(set().VOXGraphicFrameHeight, 480);
    parse("-GS12");
    EXPECT_EQ(set().VOXGraphicFrameWidth, 12);
    EXPECT_EQ(set().VOXGraphicFrameHeight, 480);
    parse("-GS,7");
    EXPECT_EQ(set().VOXGraphicFrameWidth, 0);
    EXPECT_EQ(set().VOXGraphicFrameHeight, 7);

    parse("-GRAP");
    EXPECT_EQ(set().GraphicCatalogFileName, nullptr);
    parse("-GRAPHICS=cat.lst");
    EXPECT_STREQ(set().GraphicCatalogFileName, "cat.lst");

    parse("-GI=12345678");
    EXPECT_EQ(set().GeneralInfoPtr, 0x12345678u);
    parse("-GI=0A0b");
    EXPECT_EQ(set().GeneralInfoPtr, 0x0A0B0000u);
    parse("-GI=abc");
    EXPECT_EQ(set().GeneralInfoPtr, 0xABC00000u);
}

TEST_F(OptionsTest, G1ClearsEveryGraphicsBit) {
    parse("-CDC");
    parse("-GD");
    parse("-GRR");
    EXPECT_EQ(set().GraphicsOptionFlag, 19);
    parse("-G1");
    EXPECT_EQ(set().GraphicsOptionFlag, 0);
    EXPECT_EQ(set().VOXGraphMode, 1);
}

TEST_F(OptionsTest, TargetFormatsTwiceAndCappedAt49) {
    parse("-GTF=610");
    parse("-gtf610");
    ASSERT_EQ(set().GraphicTargetFormatCount, 2);
    EXPECT_EQ(set().GraphicTargetFormat[0], 610);
    EXPECT_EQ(set().GraphicTargetFormat[1], 610);
    for (int i = 3; i <= 49; ++i) parse("-GTF=" + std::to_string(600 + i));
    parse("-GTF=700");
    parse("-GTF=701");
    EXPECT_EQ(set().GraphicTargetFormatCount, 49);
    EXPECT_EQ(set().GraphicTargetFormat[48], 649);
    EXPECT_EQ(set().GraphicTargetFormat[49], 0);
}

TEST_F(OptionsTest, SortAndExtractCriteriaContinueOverBareTexts) {
    run_options("report.zem", {"-Sname", "date", "size"});
    EXPECT_STREQ(set().SortCriteria, "name date size");
    EXPECT_EQ(set().SortOption, 1);
    EXPECT_EQ(set().LastParse, 2);

    parse("-Xabc");
    parse("x1");
    parse("-GD");  // any option ends the continuation
    parse("lost");
    EXPECT_STREQ(set().ExtractCriteria, "abc x1");
    EXPECT_EQ(set().ExtractOption, 1);
    EXPECT_EQ(set().LastParse, 0);

    // Too short to count: S needs 2 characters, X needs 3.
    parse("-Sa");
    parse("-Xab");
    EXPECT_STREQ(set().SortCriteria, "name date size");
    EXPECT_STREQ(set().ExtractCriteria, "abc x1");
}

TEST_F(OptionsTest, OptionsSetsItsStartingState) {
    set().DefSettings[0] = set().DefSettings[1] = set().DefSettings[2] = 7;
    run_options("report.zem", {"-P", "-N", "-SETUP=Auto", "-Fdefs"});
    EXPECT_EQ(set().optflags, 0xC1);
    EXPECT_STREQ(GetARG0_BasePath(), "/opt/vox/bin/vox42");
    EXPECT_STREQ(set().FirstParameterFileName, "report.zem");
    EXPECT_EQ(GetDefSettings(), set().DefSettings);
    EXPECT_EQ(set().DefSettings[0], 0);
    EXPECT_EQ(set().DefSettings[1], 2);
    EXPECT_EQ(set().DefSettings[2], 7);
    EXPECT_EQ(set().VOXDefinitionFile, ptrs_[5] + 2);  // points into the argument
    // The file layer is prepared last.
    EXPECT_NE(kernel().files.in_pipe_buffer, nullptr);

    set().DefSettings[1] = 0;
    parse("-SETxQ=A");      // not SETxP
    parse("-SET1P=B");      // no "=A"
    EXPECT_EQ(set().DefSettings[1], 0);
    parse("-set1p=B=a");
    EXPECT_EQ(set().DefSettings[1], 2);
}

TEST_F(OptionsTest, ZShowsTheVersionAndEndsWithCodeZero) {
    testing::internal::CaptureStdout();
    int code = test::exit_code_of([&] { run_options("report.zem", {"-Z", "-t=after"}); });
    std::fflush(stdout);
    std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    EXPECT_NE(shown, "");
    EXPECT_STREQ(set().icfname, "vox99int.tmp");
}

TEST_F(OptionsTest, BodyTextFileName) {
    run_options("report.zem", {"-BT"});
    EXPECT_STREQ(set().BodyTextFileName, "report.bti");
    parse("-BT=body.txt");
    EXPECT_STREQ(set().BodyTextFileName, "body.txt");
    parse("-btbody2");
    EXPECT_STREQ(set().BodyTextFileName, "body2");
    set().FirstParameterFileName = "archive.tar.zem";
    parse("-BT=");
    EXPECT_STREQ(set().BodyTextFileName, "archive.tar.bti");
    set().FirstParameterFileName = "report";
    parse("-BT");
    EXPECT_STREQ(set().BodyTextFileName, "report.bti");
}

TEST_F(OptionsTest, ConfigurationFileOptions) {
    std::string conv = config("conv.cfg", "GD\r\n-OO\r\n");
    EXPECT_EQ(parse("-C=" + conv), 0);
    EXPECT_EQ(set().GraphicsOptionFlag, 3);
    EXPECT_EQ(set().OLEOptionFlag, 1);

    // Leading spaces, line ends of any length, bits ORed, bare lines continue S.
    std::string more = config("more.cfg", "   -P\r\n\r\n\n\rIF\n-Sname\r\ndate\r\n  size");
    EXPECT_EQ(parse("-c" + more), 0x2040);
    EXPECT_STREQ(set().SortCriteria, "name date size");

    // A definition file named in a configuration file outlives the file's text.
    parse("-C=" + config("def.cfg", "Fdefs.txt\r\n-GX\r\n"));
    EXPECT_STREQ(set().VOXDefinitionFile, "defs.txt");

    // The source name in -C= form is parsed as an option too.
    std::string first = config("first.cfg", "GX\r\n");
    set().GraphicsOptionFlag = 1;
    run_options("-C=" + first, {"-t=x"});
    EXPECT_EQ(set().GraphicsOptionFlag, 5);
    EXPECT_STREQ(set().icfname, "x");
}

TEST_F(OptionsTest, ConfigurationEndsAtCtrlZ) {
    std::string cfg = config("z.cfg", std::string("GD\r\n\x1a") + "GX\r\n-OO\r\n");
    EXPECT_EQ(parse("-C=" + cfg), 0);
    EXPECT_EQ(set().GraphicsOptionFlag, 3);
    EXPECT_EQ(set().OLEOptionFlag, 4);
    EXPECT_EQ(LoadConfiguration(config("z2.cfg", std::string("-P\x1a-N")).c_str()), 0x40);
}

TEST_F(OptionsTest, UnreadableConfigurationGivesNothing) {
    EXPECT_EQ(LoadConfiguration(dir.file("missing.cfg").c_str()), 0);
    EXPECT_EQ(LoadConfiguration(config("empty.cfg", "").c_str()), 0);
    EXPECT_EQ(LoadConfiguration(dir.path().c_str()), 0);  // a directory

    std::string cfg = config("p.cfg", "-P\r\n-GX\r\n");
    test::use_host_files(true);
    test::host_files().zero_read_at = 1;  // short read
    EXPECT_EQ(LoadConfiguration(cfg.c_str()), 0);
    test::host_files().fail_open_at = 2;
    EXPECT_EQ(LoadConfiguration(cfg.c_str()), 0);
    EXPECT_EQ(LoadConfiguration(cfg.c_str()), 0x40);  // the host back end works otherwise
    test::use_host_files(false);
    set().GraphicsOptionFlag = 1;

    test::CountingAllocator::install(1);
    EXPECT_EQ(LoadConfiguration(cfg.c_str()), 0);
    EXPECT_EQ(set().GraphicsOptionFlag, 1);
}

TEST_F(OptionsTest, OverlongLinesAreCutAndTheirRestDropped) {
    std::string line = "-S" + std::string(1021, 'a') + "bbbb";
    EXPECT_EQ(LoadConfiguration(config("long.cfg", line + "\r\n-P\r\n").c_str()), 0x40);
    EXPECT_EQ(std::string(set().SortCriteria), std::string(1021, 'a'));

    char out[kConfigLineMax + 1];
    const char *text = "ab\r\n\n\r\ncd";
    EXPECT_EQ(CopyConfigurationOption(text, out), text + 7);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(*CopyConfigurationOption(text + 7, out), '\0');
    EXPECT_STREQ(out, "cd");
}

TEST_F(OptionsTest, SelfNamingConfigurationStopsAtTheDepthLimit) {
    std::string self = dir.file("self.cfg");
    test::write_file(self, "C=" + self + "\r\nGTF=610\r\n");
    EXPECT_EQ(parse("-C=" + self), 0);
    EXPECT_EQ(set().GraphicTargetFormatCount, kMaxConfigDepth);
    EXPECT_EQ(set().config_depth, 0);

    // Z inside a nested file ends with code 0; the depth and the memory come back.
    test::CountingAllocator::install();
    std::string inner = config("inner.cfg", "GD\r\nZ\r\nGX\r\n");
    std::string outer = config("outer.cfg", "-C=" + inner + "\r\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(test::exit_code_of([&] { parse("-C=" + outer); }), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(set().config_depth, 0);
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
    EXPECT_EQ(set().GraphicsOptionFlag & 4, 0);
}

TEST_F(OptionsTest, NameValuePairs) {
    EXPECT_EQ(parse("-CMD=Author=Smith"), 0);
    parse("-cmdLang=de=x");
    parse("-CMD=flag");
    parse("-CMD=k=first");
    parse("-CMD=K=second");
    ASSERT_EQ(set().voxCmdCount, 5);
    char value[64];
    EXPECT_EQ(voxGetCmdLineOption("author", value), 1);
    EXPECT_STREQ(value, "Smith");
    EXPECT_EQ(voxGetCmdLineOption("LANG", value), 1);
    EXPECT_STREQ(value, "de");
    EXPECT_EQ(voxGetCmdLineOption("Flag", value), 1);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(voxGetCmdLineOption("K", value), 1);
    EXPECT_STREQ(value, "first");
    EXPECT_EQ(voxGetCmdLineOption("auth", value), 0);

    for (int i = 6; i <= 26; ++i) parse("-CMD=n" + std::to_string(i) + "=v");
    EXPECT_EQ(set().voxCmdCount, 25);
    EXPECT_EQ(voxGetCmdLineOption("n25", value), 1);
    EXPECT_EQ(voxGetCmdLineOption("n26", value), 0);

    // The pair's text is also tried as a configuration file.
    std::string named = config("x=1", "GX\r\n");
    set().GraphicsOptionFlag = 1;
    EXPECT_EQ(parse("-CMD=" + named), 0);
    EXPECT_EQ(set().GraphicsOptionFlag, 5);
    // The same for the text after CP.
    EXPECT_EQ(parse("-CP" + config("cp.cfg", "-P\r\n")), 0x40);
    EXPECT_EQ(set().VOXCodePage, -1);
}

TEST_F(OptionsTest, ReferenceListLines) {
    EXPECT_EQ(VOXRefListAddName("nowhere", 1), -1);  // no list named
    std::string list = dir.file("refs.lst");
    test::write_file(list, "old\r\n");
    parse("-RL=" + list);
    const char *names[] = {"a.tif", "b", "c", "d", "e", "f", "g", "h", "plain", "odd", "neg"};
    const int kinds[] = {2, 1, 3, 4, 5, 6, 7, 8, 0, 9, -1};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(VOXRefListAddName(names[i], kinds[i]), 0);
    std::string expected = std::string("old\r\n") + "a.tif" + '\0' + "graphic\r\n" + "b" + '\0' +
                           "ole\r\n" + "c" + '\0' + "stylesheet\r\n" + "d" + '\0' + "text\r\n" +
                           "e" + '\0' + "spreadsheet\r\n" + "f" + '\0' + "formatting\r\n" + "g" +
                           '\0' + "footnote\r\n" + "h" + '\0' + "dependent\r\n" + "plain" + '\0' +
                           "\r\n" + "odd" + '\0' + "?\r\n" + "neg" + '\0' + "?\r\n";
    EXPECT_EQ(test::visible(test::read_file(list)), test::visible(expected));

    parse("-RL=" + dir.file("no/such/dir.lst"));
    EXPECT_EQ(VOXRefListAddName("x", 1), -1);
}

TEST_F(OptionsTest, RecordedReferenceNames) {
    char out[256];
    FixReferenceFileName("/docs/report.zem", "C:\\pics\\a.tif", out);
    EXPECT_STREQ(out, "C:\\pics\\a.tif");

    EXPECT_EQ(parse("-RF"), 0);
    FixReferenceFileName("/docs/report.zem", "C:\\pics\\a.tif", out);
    EXPECT_STREQ(out, "/docs/a.tif");
    FixReferenceFileName("report.zem", "x:pic.tif", out);
    EXPECT_STREQ(out, "pic.tif");

    struct Case { const char *base; const char *expected; };
    const Case cases[] = {{"/refs", "/refs\\a.tif"}, {"/refs/", "/refs/a.tif"},
                          {"D:", "D:a.tif"},         {"", "a.tif"}};
    for (const Case &c : cases) {
        set().VOXReferencedFileNameFix = 0;
        parse(std::string("-RF=") + c.base);
        EXPECT_EQ(set().VOXReferencedFileNameFix, 1);
        FixReferenceFileName("/docs/report.zem", "/img/a.tif", out);
        EXPECT_STREQ(out, c.expected) << c.base;
    }
}

TEST_F(OptionsTest, EveryTrackedTextComesBack) {
    test::CountingAllocator::install();
    for (const char *round : {"1", "2"}) {
        for (const char *opt : {"-BT=", "-GRAP=", "-RUL=", "-ERR=", "-Picture=", "-RL=", "-RF=",
                                "-Sx", "-CMD=a=", "-Xab"})
            parse(std::string(opt) + round);
        parse(std::string("more") + round);  // continues the extract criteria
    }
    // Nine texts, each held once, and two name=value pairs of two blocks.
    EXPECT_EQ(test::CountingAllocator::outstanding(), 13);
    EXPECT_STREQ(set().ExtractCriteria, "ab2 more2");
    GlobalShutDown();
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
    EXPECT_EQ(set().RulesFileName, nullptr);
    EXPECT_EQ(set().SortCriteria, nullptr);
    EXPECT_EQ(set().voxCmdCount, 0);
}

TEST_F(OptionsTest, FailedAllocationsLeaveSettingsUnset) {
    test::CountingAllocator::install(2);  // the second block fails
    parse("-Sab");
    parse("cd");
    EXPECT_STREQ(set().SortCriteria, "ab");  // appending failed, old criteria kept

    test::CountingAllocator::install(2);
    parse("-RUL=r");
    EXPECT_STREQ(set().RulesFileName, "r");
    parse("-RUL=s");  // the new copy fails: the old one goes, the setting is unset
    EXPECT_EQ(set().RulesFileName, nullptr);
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);

    test::CountingAllocator::install(2);
    EXPECT_EQ(LoadCommandNameValue("m=w"), -1);  // value copy fails: no pair, no block held
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
    EXPECT_EQ(LoadCommandNameValue("n=v"), 0);
    EXPECT_EQ(set().voxCmdCount, 1);
    EXPECT_EQ(test::CountingAllocator::outstanding(), 2);
}

}  // namespace
}  // namespace vox
