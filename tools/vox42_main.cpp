// The vox42 command-line tool.
#include <cstdio>
#include <cstring>

#include "recognize_command.h"
#include "vox42/vox42.h"

namespace {

void print_help(std::FILE *out) {
    std::fputs(
        "usage: vox42 recognize [--expect N] FILE...\n"
        "       vox42 --help | --version\n"
        "\n"
        "vox42 converts ZEM documents into the family's intermediate code.\n"
        "  recognize    name the format of each file: number, version, name\n"
        "               (--expect N tries format N first)\n"
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
    if (std::strcmp(argv[1], "recognize") == 0) return run_recognize(argc - 2, argv + 2);
    std::fprintf(stderr, "vox42: unknown command '%s' (try --help)\n", argv[1]);
    return 2;
}
