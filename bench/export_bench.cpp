// Times the exports against the lines file: runs the console pipeline in
// process with every export (lines .vtp .vtk .obj .ply, tubes .stl .obj .ply,
// surface .vtp .ply) and reports each file's time next to the lines file's.
// The first lines export that carries values also pays for sampling them,
// the first tubes export for building the solids.
//
//   export_bench MESH.obj GRID.dx [REPEATS]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pipeline.h"

using namespace quorax;
using namespace quorax::bench;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MESH.obj GRID.dx [REPEATS]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    char tmpl[] = "/tmp/quorax-export-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;

    PipelineParams params;
    params.meshPath = argv[1];
    params.gridPath = argv[2];
    params.linesPath = dir + "/lines.txt";
    params.density = 0.01f;
    params.haltAngle = 45.0f;
    params.reduce = true;
    params.reduceAngle = 3.0f;
    const std::vector<std::pair<ExportKind, std::string>> outputs = {
        {ExportKind::Lines, "lines.vtp"}, {ExportKind::Lines, "lines.vtk"},   {ExportKind::Lines, "lines.obj"},
        {ExportKind::Lines, "lines.ply"}, {ExportKind::Tubes, "tubes.stl"},   {ExportKind::Tubes, "tubes.obj"},
        {ExportKind::Tubes, "tubes.ply"}, {ExportKind::Surface, "surface.vtp"}, {ExportKind::Surface, "surface.ply"}};
    for (const auto& [kind, name] : outputs) params.exports.push_back({kind, dir + "/" + name});

    double linesBest = 1e9;
    std::vector<double> best(outputs.size(), 1e9);
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (int r = 0; r < repeats; ++r) {
        std::vector<double> times;
        double lines = 0.0;
        auto last = Clock::now();
        PipelineHooks hooks;
        hooks.generatorSeed = 1;
        hooks.phaseDone = [&](Phase p) {
            const auto now = Clock::now();
            if (p == Phase::Write) lines = seconds(last, now);
            if (p == Phase::Export) times.push_back(seconds(last, now));
            last = now;
        };
        if (runPipeline(params, devnull, stderr, hooks) != 0 || times.size() != outputs.size()) return 1;
        linesBest = std::min(linesBest, lines);
        for (std::size_t i = 0; i < times.size(); ++i) best[i] = std::min(best[i], times[i]);
    }
    std::fclose(devnull);

    auto size = [&](const std::string& name) {
        struct stat st {};
        return ::stat((dir + "/" + name).c_str(), &st) == 0 ? st.st_size / 1e6 : 0.0;
    };
    std::printf("best of %d runs: %s, %s\n\n", repeats, argv[1], argv[2]);
    std::printf("%-24s %9.1f ms %8.1f MB\n", "lines file", linesBest * 1e3, size("lines.txt"));
    double total = 0.0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::printf("%-24s %9.1f ms %8.1f MB\n", outputs[i].second.c_str(), best[i] * 1e3, size(outputs[i].second));
        total += best[i];
    }
    std::printf("%-24s %9.1f ms   (%.2f x the lines file)\n", "all nine exports", total * 1e3, total / linesBest);
    for (const auto& [kind, name] : outputs) std::remove((dir + "/" + name).c_str());
    std::remove(params.linesPath.c_str());
    ::rmdir(tmpl);
    return 0;
}
