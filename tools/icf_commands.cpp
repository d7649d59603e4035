#include "icf_commands.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "icf_render.h"

namespace {

// Reads a whole file, or standard input for "-".
bool read_input(const char *name, std::string &out) {
    if (std::strcmp(name, "-") == 0) {
        out.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool write_output(const char *name, const std::string &bytes) {
    if (!name || std::strcmp(name, "-") == 0) {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int run_dump(int argc, char **argv) {
    bool check = false;
    const char *file = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            check = true;
        else if (!file)
            file = argv[i];
        else
            file = nullptr, i = argc;  // a second file: usage error below
    }
    if (!file) {
        std::fprintf(stderr, "usage: vox42 dump [--check] FILE|-\n");
        return 2;
    }
    std::string bytes;
    if (!read_input(file, bytes)) {
        std::fprintf(stderr, "vox42: cannot read %s\n", file);
        return 1;
    }
    if (check) {
        int unpaired = vox::icf::count_unpaired(bytes);
        std::printf("%d\n", unpaired);
        return unpaired == 0 ? 0 : 1;
    }
    std::string text = vox::icf::render(bytes);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int run_assemble(int argc, char **argv) {
    const char *file = nullptr, *out = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            out = argv[++i];
        else if (!file)
            file = argv[i];
        else
            file = nullptr, i = argc;
    }
    if (!file) {
        std::fprintf(stderr, "usage: vox42 assemble FILE|- [-o OUTPUT]\n");
        return 2;
    }
    std::string rendering, bytes, error;
    if (!read_input(file, rendering)) {
        std::fprintf(stderr, "vox42: cannot read %s\n", file);
        return 1;
    }
    if (!vox::icf::assemble(rendering, bytes, error)) {
        std::fprintf(stderr, "vox42: %s: %s\n", file, error.c_str());
        return 1;
    }
    if (!write_output(out, bytes)) {
        std::fprintf(stderr, "vox42: cannot write %s\n", out ? out : "standard output");
        return 1;
    }
    return 0;
}
