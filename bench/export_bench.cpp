// Times the exports against the lines file: runs the console pipeline in
// process with every export (lines .vtp .vtk .obj .ply, tubes .stl .obj .ply,
// surface .vtp .ply) and reports each file's time next to the lines file's.
// The first lines export that carries values also pays for sampling them,
// the first tubes export for building the solids. Wall time includes the
// flush to disk of every file (fsync); CPU time is the formatting and the
// copying alone.
//
//   export_bench MESH.obj GRID.dx [REPEATS]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pipeline.h"

using namespace quorax;
using namespace quorax::bench;

namespace {

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct Time {
    double wall = 1e9, cpu = 1e9;
};

} // namespace

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

    Time linesBest;
    std::vector<Time> best(outputs.size());
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (int r = 0; r < repeats; ++r) {
        std::vector<Time> times;
        Time lines;
        auto last = Clock::now();
        double lastCpu = cpuSeconds();
        PipelineHooks hooks;
        hooks.generatorSeed = 1;
        hooks.phaseDone = [&](Phase p) {
            const auto now = Clock::now();
            const double cpu = cpuSeconds();
            const Time t{seconds(last, now), cpu - lastCpu};
            if (p == Phase::Write) lines = t;
            if (p == Phase::Export) times.push_back(t);
            last = now;
            lastCpu = cpu;
        };
        if (runPipeline(params, devnull, stderr, hooks) != 0 || times.size() != outputs.size()) return 1;
        auto keepBest = [](Time& b, const Time& t) {
            b.wall = std::min(b.wall, t.wall);
            b.cpu = std::min(b.cpu, t.cpu);
        };
        keepBest(linesBest, lines);
        for (std::size_t i = 0; i < times.size(); ++i) keepBest(best[i], times[i]);
    }
    std::fclose(devnull);

    auto size = [&](const std::string& name) {
        struct stat st {};
        return ::stat((dir + "/" + name).c_str(), &st) == 0 ? st.st_size / 1e6 : 0.0;
    };
    std::printf("best of %d runs: %s, %s\n\n%-24s %12s %12s %9s\n", repeats, argv[1], argv[2], "file", "wall",
                "CPU", "size");
    std::printf("%-24s %9.1f ms %9.1f ms %6.1f MB\n", "lines file", linesBest.wall * 1e3, linesBest.cpu * 1e3,
                size("lines.txt"));
    Time total{0, 0};
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        std::printf("%-24s %9.1f ms %9.1f ms %6.1f MB\n", outputs[i].second.c_str(), best[i].wall * 1e3,
                    best[i].cpu * 1e3, size(outputs[i].second));
        total.wall += best[i].wall;
        total.cpu += best[i].cpu;
    }
    std::printf("%-24s %9.1f ms %9.1f ms\n", "all nine exports", total.wall * 1e3, total.cpu * 1e3);
    std::printf("%-24s %9.2f x   %9.2f x\n", "  against the lines file", total.wall / linesBest.wall,
                total.cpu / linesBest.cpu);
    for (const auto& [kind, name] : outputs) std::remove((dir + "/" + name).c_str());
    std::remove(params.linesPath.c_str());
    ::rmdir(tmpl);
    return 0;
}
