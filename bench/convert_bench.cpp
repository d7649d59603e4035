// Conversion throughput through libvox42.so, as a host calls it: one
// MainEntryPoint call per iteration on a generated 20 MB ZEM document (in
// the page cache after the first run), reported as bytes of source per
// second.  The argument is the generator's side-flow spacing: a sidebar
// flow every N pages (0: the main flow only).  BM_ConvertFormatting does
// the same on the generator's formatting-heavy document (dense paragraph
// and character formats, overrides, numbering, tabs and colours).
//
// Usage: vox42_convert_bench [google benchmark flags].  Files are made in a
// fresh directory under $TMPDIR (or /tmp) and removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "bench_support.h"
#include "vox42/vox42.h"
#include "zem_generator.h"

namespace {

constexpr std::uint64_t kDocumentBytes = 20u << 20;

// The documents made so far, by file name.
std::set<std::string> &made() {
    static std::set<std::string> names;
    return names;
}

// The document of one shape, generated on first use.
std::string document(std::uint32_t side_flow_every, bool formatting_heavy) {
    const std::string name = std::string(formatting_heavy ? "formatting-" : "generated-") +
                             std::to_string(side_flow_every) + ".zem";
    if (made().count(name)) return name;
    vox::bench::ZemShape shape;
    shape.bytes = kDocumentBytes;
    shape.side_flow_every = side_flow_every;
    shape.formatting_heavy = formatting_heavy;
    if (!vox::bench::write_zem_file(name, shape)) {
        std::perror(name.c_str());
        std::exit(1);
    }
    made().insert(name);
    return name;
}

void remove_documents() {
    for (const std::string &name : made()) unlink(name.c_str());
    unlink("target.icf");
}

void convert(benchmark::State &state, const std::string &source) {
    char quiet[] = "-N";
    char *options[] = {quiet, nullptr};
    for (auto _ : state) {
        const int code = MainEntryPoint(source.c_str(), "target.icf", "5", options, nullptr, nullptr);
        if (code != VOX42_OK) {
            state.SkipWithError(("result code " + std::to_string(code)).c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDocumentBytes));
}

void BM_ConvertGenerated(benchmark::State &state) {
    convert(state, document(static_cast<std::uint32_t>(state.range(0)), false));
}
BENCHMARK(BM_ConvertGenerated)->Arg(32)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertFormatting(benchmark::State &state) {
    convert(state, document(static_cast<std::uint32_t>(state.range(0)), true));
}
BENCHMARK(BM_ConvertFormatting)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    vox::bench::BenchDir dir;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    remove_documents();
    return 0;
}
