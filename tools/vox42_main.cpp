// The vox42 command-line tool.
#include <cstdio>
#include <cstring>

#include "convert_command.h"
#include "icf_commands.h"
#include "recognize_command.h"
#include "vox42/vox42.h"

namespace {

void print_help(std::FILE *out) {
    std::fputs(
        "usage: vox42 convert SOURCE TARGET [--version-level L] [--verbose] [OPTION...]\n"
        "       vox42 recognize [--expect N] FILE...\n"
        "       vox42 dump [--check] FILE|-\n"
        "       vox42 assemble FILE|- [-o OUTPUT]\n"
        "       vox42 --help | --version\n"
        "\n"
        "vox42 converts ZEM documents into the family's intermediate code.\n"
        "  convert      convert a ZEM document into intermediate code ('-' for\n"
        "               standard input/output; OPTIONs go to the converter); exits\n"
        "               with the converter's result code, 64 on a usage error\n"
        "  recognize    name the format of each file: number, version, name\n"
        "               (--expect N tries format N first)\n"
        "  dump         show intermediate code, one record or text run per line\n"
        "               (--check: print the number of unpaired begin/end records)\n"
        "  assemble     turn that rendering back into intermediate code\n"
        "  --help       show this text\n"
        "  --version    show the library version\n",
        out);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        print_help(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("vox42 %s\n", vox42_version());
        return 0;
    }
    if (std::strcmp(argv[1], "convert") == 0) return run_convert(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "recognize") == 0) return run_recognize(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "dump") == 0) return run_dump(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "assemble") == 0) return run_assemble(argc - 2, argv + 2);
    std::fprintf(stderr, "vox42: unknown command '%s' (try --help)\n", argv[1]);
    return 2;
}
