// Options: the option table and its bits, configuration files (nesting,
// Ctrl-Z, unreadable files), name=value pairs, the reference list file and
// the release of every tracked text.
#include <csignal>

#include "common/options.h"
#include "test_support.h"

namespace vox {

static SettingsState &set() { return kernel().settings; }
static int parse(const std::string &text) { return CmdParseLine(text.c_str()); }

class OptionsTest : public test::KernelTest {
  protected:
    std::string config(const std::string &name, const std::string &bytes) {  // a file in dir
        return test::write_file(dir.file(name), bytes), dir.file(name);
    }
    test::TempDir dir;
};

// Runs options() as the driver does (program path and source name before
// the options), then gives the test process its own signal handlers back.
static void run_options(std::vector<const char *> args) {
    struct sigaction saved[NSIG] = {};
    for (int s = 1; s < NSIG; ++s) sigaction(s, nullptr, &saved[s]);
    EXPECT_EQ(options(static_cast<int>(args.size()) - 2, args.data() + 2), 0);
    for (int s = 1; s < NSIG; ++s) sigaction(s, &saved[s], nullptr);
}

// Catches an option letter (either case, after '-', '/' or nothing) mapped
// to the wrong bits, setting or graphics flags (each option on cleared
// flags), T taking a name without its '=', G1 not clearing the flags, and
// GTF not capped at 49 formats.
TEST_F(OptionsTest, OptionTable) {
    const struct { const char *text; int bits, graphics = 0; } cases[] = {
        {"-t=out.icf", 0}, {"-tW", 0x1000}, {"-tx.icf", 0}, {"-A", 0x4000}, {"-b", 1}, {"-BP=8192", 0}, {"-IF", 0x2000},
        {"-i", 2}, {"-INP=5", 0x400}, {"-OUTP=6", 0x400}, {"-N", 0x80}, {"-NR2-3", 0x200}, {"-P", 0x40}, {"pc", 0x28},
        {"-pe", 8}, {"-R1-5", 0x100}, {"-K", 0}, {"", 0}, {"-DT", 0}, {"  /PC", 0x28}, {"-PE=\"my list.lst\"", 8},
        {"-OD", 0}, {"-ON", 0}, {"-V0123456789abcdefghijklmnopqrstuvwxyz", 0}, {"-GD", 0, 2}, {"-GER", 0, 1536},
        {"-GRR", 0, 16}, {"-GRER", 0, 64}, {"-GRE", 0, 32}, {"-GVX", 0, 272}, {"-GVR", 0, 144}, {"-gvrh", 0, 1168},
        {"-GX", 0, 4}, {"-GEX", 0, 0}, {"-GQ", 0, 0}, {"-CDC", 0, 1}};
    for (const auto &c : cases) {
        set().GraphicsOptionFlag = 0;
        const int bits = parse(c.text);
        EXPECT_EQ(std::make_pair(bits, set().GraphicsOptionFlag), std::make_pair(c.bits, c.graphics)) << c.text;
    }
    EXPECT_EQ(std::make_tuple(std::string(set().icfname), std::string(set().range), set().DeleteICFFile,
                              set().max_pipe_buf_len, set().in_pipe, set().out_pipe),
              std::make_tuple("out.icf", "1-5", 0, 8192, 5, 6));
    EXPECT_EQ(std::make_tuple(std::string(set().excname), std::string(set().ver_lvl), set().OLEOptionFlag),
              std::make_tuple("my list.lst", "0123456789abcdefghijklmnopqrs", 8 + 2));  // ON keeps OLE bit 8
    for (const char *option : {"-GD", "-G1"}) parse(option);
    EXPECT_EQ(std::make_tuple(set().GraphicsOptionFlag, set().VOXGraphMode), std::make_tuple(0, 1));
    for (int i = 1; i <= 50; ++i) parse((i % 2 ? "-GTF=" : "-gtf") + std::to_string(600 + i));
    const int *formats = set().GraphicTargetFormat;
    EXPECT_EQ(std::make_tuple(set().GraphicTargetFormatCount, formats[0], formats[1], formats[48], formats[49]),
              std::make_tuple(49, 601, 602, 649, 0));
}

// Catches bare texts not continuing S or X criteria (or continuing after
// another option), too-short criteria taken, options() not starting from
// optflags 1, not parsing a -C= source name, or BT not naming the body text
// after the source.
TEST_F(OptionsTest, OptionsAndCriteria) {
    run_options({"/opt/vox/bin/vox42", "report.zem", "-Sname", "date", "-N", "-BT", "lost"});
    EXPECT_EQ(std::make_tuple(set().optflags, std::string(set().BodyTextFileName), std::string(GetARG0_BasePath())),
              std::make_tuple(0x81, "report.bti", "/opt/vox/bin/vox42"));
    for (const char *option : {"-Xabc", "x1", "-Sa", "-Xab"}) parse(option);  // S needs 2 characters, X 3
    EXPECT_EQ(std::make_tuple(std::string(set().SortCriteria), std::string(set().ExtractCriteria)),
              std::make_tuple("name date", "abc x1"));
    run_options({"vox42", ("-C=" + config("first.cfg", "GX\r\n")).c_str(), "-t=x"});
    EXPECT_EQ(std::make_tuple(set().GraphicsOptionFlag, std::string(set().icfname)), std::make_tuple(1 | 4, "x"));
}

// Catches configuration lines not parsed as options (dash optional, any line
// ends), text after Ctrl-Z read, a definition file name left pointing into a
// released line, an overlong line's rest read as a line, an unreadable file
// giving bits; a file naming itself read more than kMaxConfigDepth times,
// and the depth or the file texts not given back when Z ends the conversion
// inside a nested file.
TEST_F(OptionsTest, ConfigurationFiles) {
    const std::string more = config("more.cfg", "   -P\r\n\r\n\n\rFdefs.txt\r\nOO\nIF\n-Sname\r\ndate\x1a-N\r\n");
    EXPECT_EQ(LoadConfiguration(more.c_str()), 0x2040);
    EXPECT_EQ(std::make_tuple(std::string(set().SortCriteria), std::string(set().VOXDefinitionFile),
                              set().OLEOptionFlag), std::make_tuple("name date", "defs.txt", 1));
    EXPECT_EQ(LoadConfiguration(config("long.cfg", "-S" + std::string(1021, 'a') + "bbbb\r\n-P\r\n").c_str()), 0x40);
    EXPECT_EQ(std::string(set().SortCriteria), std::string(1021, 'a'));
    EXPECT_EQ(parse("-C=" + config("self.cfg", "C=" + dir.file("self.cfg") + "\r\nGTF=610\r\n")), 0);
    EXPECT_EQ(set().GraphicTargetFormatCount, kMaxConfigDepth);
    test::CountingAllocator::install();
    const std::string outer = config("outer.cfg", "-C=" + config("inner.cfg", "GD\r\nZ\r\nGX\r\n") + "\r\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(test::exit_code_of([&] { parse("-C=" + outer); }), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(std::make_tuple(set().config_depth, test::CountingAllocator::outstanding(), set().GraphicsOptionFlag),
              std::make_tuple(0, 0L, 1 | 2));
    test::CountingAllocator::install(1);  // no memory for the text
    EXPECT_EQ(LoadConfiguration(more.c_str()), 0);
    test::use_host_files(true);
    test::host_files().zero_read_at = 1;
    EXPECT_EQ(LoadConfiguration(more.c_str()), 0);  // a short read
}

// Catches a pair split at the wrong '=', a name matched with case or as a
// prefix, a later pair hiding an earlier one, and more than 25 pairs held.
TEST_F(OptionsTest, NameValuePairs) {
    for (auto pair : {"-CMD=Author=Smith", "-cmdLang=de=x", "-CMD=flag", "-CMD=k=first", "-CMD=K=second"}) parse(pair);
    for (int i = 6; i <= 26; ++i) parse("-CMD=n" + std::to_string(i) + "=v");
    std::string found = std::to_string(set().voxCmdCount) + ":";  // then whether each name is found, and its value
    for (const char *name : {"author", "LANG", "Flag", "K", "auth", "n25", "n26"}) {
        char value[64] = "-";
        found += std::to_string(voxGetCmdLineOption(name, value)) + value + " ";
    }
    EXPECT_EQ(found, "25:1Smith 1de 1 1first 0- 1v 0- ");
}

// Catches a reference list line without the name's NUL, the right kind word
// or CR LF, an old list overwritten, and a missing list not reported.
TEST_F(OptionsTest, ReferenceList) {
    EXPECT_EQ(VOXRefListAddName("nowhere", 1), -1);
    std::string list = config("refs.lst", "old\r\n"), expected = "old\r\n";
    parse("-RL=" + list);
    int kind = 0;  // 0 to 9: no word, the eight words, then "?" past the last
    for (const char *word : {"", "ole", "graphic", "stylesheet", "text", "spreadsheet", "formatting", "footnote",
                             "dependent", "?"})
        expected += (VOXRefListAddName("a.tif", kind++) == 0 ? std::string("a.tif", 6) : "failed:") + word + "\r\n";
    EXPECT_EQ(test::visible(test::read_file(list)), test::visible(expected));
    parse("-RL=" + dir.file("no/such/dir.lst"));
    EXPECT_EQ(VOXRefListAddName("x", 1), -1);
}

// Catches a tracked text whose old copy is kept when set again, one that
// GlobalShutDown does not release, and a failed copy that leaks or keeps a
// stale text.
TEST_F(OptionsTest, EveryTrackedTextComesBack) {
    test::CountingAllocator::install();
    for (const char *round : {"1", "2"})
        for (auto o : {"-BT=", "-GRAP=", "-RUL=", "-ERR=", "-Picture=", "-RL=", "-RF=", "-Sx", "-CMD=a=", "-Xab"})
            parse(o + std::string(round));
    EXPECT_EQ(test::CountingAllocator::outstanding(), 9 + 2 * 2);  // nine texts, two pairs of two blocks
    GlobalShutDown();
    EXPECT_EQ(std::make_pair(test::CountingAllocator::outstanding(), set().voxCmdCount), std::make_pair(0L, 0));
    // The second block fails: appending to the criteria leaves them as they were; a second rules name, none.
    for (auto [first, second] : {std::pair{"-Sab", "cd"}, {"-RUL=r", "-RUL=s"}})
        test::CountingAllocator::install(2), parse(first), parse(second);
    EXPECT_TRUE(set().SortCriteria == std::string("ab") && !set().RulesFileName) << set().SortCriteria;
    test::CountingAllocator::install(2);
    EXPECT_EQ(LoadCommandNameValue("m=w"), -1);
    EXPECT_EQ(test::CountingAllocator::outstanding(), 0);
}

}  // namespace vox
