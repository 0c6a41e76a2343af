// Times every phase of the console pipeline, the readers' parsing speed and
// the whole quorax process (wall time and peak memory) on a mesh and a grid.
//
//   pipeline_bench MESH.obj GRID.dx [REPEATS [--no-every-face]]
//
// Every step runs on its own in process, one after another on all threads
// (the per-step table); then the pipeline the tool runs, in which the grid is
// read during the surface's phase and the gradient computed during the
// mapping and the seeding, timed at its progress points. The best of REPEATS
// runs is shown. The process figures come from running the quorax
// binary REPEATS times with the usage example's parameters, then once with a
// density that asks for a line on every face (the largest lines file),
// unless --no-every-face is given.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "dx_reader.h"
#include "file_io.h"
#include "obj_reader.h"
#include "gradient.h"
#include "mesh.h"
#include "pipeline.h"
#include "sampling.h"
#include "seeding.h"
#include "simplify.h"
#include "tracing.h"
#include "writers.h"

namespace {

using namespace quorax::bench;

const char* phaseName(quorax::Phase p) {
    switch (p) {
    case quorax::Phase::ReadObj: return "read OBJ and DX";
    case quorax::Phase::ReadDx: return "DX reported";
    case quorax::Phase::Map: return "map potential";
    case quorax::Phase::Gradient: return "seeding, gradient";
    case quorax::Phase::Seeding: return "seeds listed";
    case quorax::Phase::Tracing: return "tracing";
    case quorax::Phase::Simplify: return "simplification";
    case quorax::Phase::Write: return "writing";
    case quorax::Phase::Export: return "exports";
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MESH.obj GRID.dx [REPEATS [--no-every-face]]\n", argv[0]);
        return 2;
    }
    const std::string objPath = argv[1], dxPath = argv[2];
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const bool everyFace = !(argc > 4 && std::string(argv[4]) == "--no-every-face");
    char tmpl[] = "/tmp/quorax-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string linesPath = std::string(tmpl) + "/lines.txt";
    std::string error;

    quorax::FileBytes objBytes, dxBytes;
    if (!objBytes.open(objPath, error) || !dxBytes.open(dxPath, error)) {
        std::fprintf(stderr, "cannot read the inputs: %s\n", error.c_str());
        return 1;
    }
    const double objMb = objBytes.size() / 1e6, dxMb = dxBytes.size() / 1e6;
    std::printf("inputs: %s (%.1f MB), %s (%.1f MB), %d repeats\n\n", objPath.c_str(), objMb, dxPath.c_str(), dxMb,
                repeats);

    // Parsing alone, from bytes already in memory.
    double objParse = 1e9, dxParse = 1e9;
    for (int r = 0; r < repeats; ++r) {
        quorax::TriMesh mesh;
        auto t0 = Clock::now();
        quorax::readObjMesh(mesh, objBytes.view());
        objParse = std::min(objParse, seconds(t0, Clock::now()));
        quorax::PotentialGrid grid;
        t0 = Clock::now();
        const quorax::ReadStatus dx = quorax::readDxGrid(grid, dxBytes.view());
        dxParse = std::min(dxParse, seconds(t0, Clock::now()));
        if (!dx.ok()) {
            std::fprintf(stderr, "DX: %s\n", quorax::readProblemText(dx).c_str());
            return 1;
        }
    }
    objBytes = quorax::FileBytes();
    dxBytes = quorax::FileBytes();
    std::printf("%-28s %9.1f ms %8.0f MB/s\n", "parse OBJ (in memory)", objParse * 1e3, objMb / objParse);
    std::printf("%-28s %9.1f ms %8.0f MB/s\n\n", "parse DX (in memory)", dxParse * 1e3, dxMb / dxParse);

    // Every step alone, one after another, as the pipeline runs them.
    {
        std::map<std::string, double> stepBest;
        std::vector<std::string> order;
        for (int r = 0; r < repeats; ++r) {
            auto t0 = Clock::now();
            const auto step = [&](const char* name) {
                const auto now = Clock::now();
                const double t = seconds(t0, now);
                if (!stepBest.count(name)) order.push_back(name);
                stepBest[name] = stepBest.count(name) ? std::min(stepBest[name], t) : t;
                t0 = Clock::now();
            };
            quorax::TriMesh mesh;
            if (!quorax::readObjMeshFile(mesh, objPath).ok()) return 1;
            quorax::removeNonFiniteFaces(mesh);
            quorax::computeFaceNormals(mesh);
            step("read OBJ (+ face normals)");
            quorax::PotentialGrid grid;
            if (!quorax::readDxGridFile(grid, dxPath).ok()) return 1;
            step("read DX");
            quorax::mapPotentialToMesh(grid, mesh);
            quorax::removeNonFiniteFaces(mesh);
            step("map potential");
            quorax::GradientGrid gradient;
            quorax::computeGradient(gradient, grid, quorax::kGradientMaxLength, quorax::kGradientSmoothingPasses);
            step("gradient");
            std::vector<quorax::Vec3> seeds;
            quorax::seedLines(mesh, seeds, quorax::computeLineBudget(mesh, 0.01f).count, 1);
            step("budget and seeding");
            quorax::TraceSettings trace;
            trace.maxSteps = quorax::kConsoleMaxSteps;
            std::vector<quorax::FieldLine> lines;
            quorax::traceSeeds(gradient, seeds, trace, lines);
            step("tracing");
            quorax::simplifyLines(lines, 3.0f);
            step("simplification");
            if (!quorax::writeLinesFile(linesPath, lines, error)) return 1;
            step("writing");
        }
        std::printf("steps one after another:\n");
        double sum = 0;
        for (const std::string& name : order) {
            std::printf("  %-26s %9.1f ms\n", name.c_str(), stepBest[name] * 1e3);
            sum += stepBest[name];
        }
        std::printf("  %-26s %9.1f ms\n\n", "sum", sum * 1e3);
    }

    // The pipeline as the tool runs it, in process.
    quorax::PipelineParams params;
    params.meshPath = objPath;
    params.gridPath = dxPath;
    params.linesPath = linesPath;
    params.density = 0.01f;
    params.haltGradient = 0.0f;
    params.haltAngle = 45.0f;
    params.reduce = true;
    params.reduceAngle = 3.0f;
    // Wall time per phase and the CPU time of all threads in it (the CPU
    // time does not grow when other processes load the machine).
    auto cpuSeconds = [] {
        struct rusage u {};
        ::getrusage(RUSAGE_SELF, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
    };
    std::map<quorax::Phase, double> best, bestCpu;
    double bestTotal = 1e9;
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (int r = 0; r < repeats; ++r) {
        std::map<quorax::Phase, double> times, cpuTimes;
        auto last = Clock::now();
        double lastCpu = cpuSeconds();
        const auto start = last;
        quorax::PipelineHooks hooks;
        hooks.generatorSeed = 1;
        hooks.phaseDone = [&](quorax::Phase p) {
            const auto now = Clock::now();
            const double nowCpu = cpuSeconds();
            times[p] = seconds(last, now);
            cpuTimes[p] = nowCpu - lastCpu;
            last = now;
            lastCpu = nowCpu;
        };
        if (quorax::runPipeline(params, devnull, stderr, hooks) != 0) return 1;
        bestTotal = std::min(bestTotal, seconds(start, Clock::now()));
        for (const auto& [p, t] : times) best[p] = best.count(p) ? std::min(best[p], t) : t;
        for (const auto& [p, t] : cpuTimes) bestCpu[p] = bestCpu.count(p) ? std::min(bestCpu[p], t) : t;
    }
    std::fclose(devnull);
    std::printf("the pipeline, time to each progress point (steps overlap):\n");
    for (const auto& [p, t] : best) {
        std::printf("  %-26s %9.1f ms (cpu %6.1f ms)", phaseName(p), t * 1e3, bestCpu[p] * 1e3);
        if (p == quorax::Phase::ReadObj) std::printf(" %8.0f MB/s", (objMb + dxMb) / t);
        std::printf("\n");
    }
    std::printf("  %-26s %9.1f ms\n\n", "pipeline in process", bestTotal * 1e3);

    // The whole program, as a user runs it.
    ProcessRun bestRun;
    bestRun.wall = 1e9;
    for (int r = 0; r < repeats; ++r) {
        const ProcessRun run = runMeasured({QUORAX_TOOL_PATH, objPath, dxPath, linesPath, "0.01", "0.0", "45", "1", "3.0"});
        if (run.status != 0) {
            std::fprintf(stderr, "quorax failed with status %d\n", run.status);
            return 1;
        }
        if (run.wall < bestRun.wall) bestRun.wall = run.wall;
        bestRun.maxRssKb = std::max(bestRun.maxRssKb, run.maxRssKb);
    }
    std::printf("%-28s %9.1f ms\n", "quorax process, wall", bestRun.wall * 1e3);
    std::printf("%-28s %9.1f MB\n", "quorax process, peak RSS", bestRun.maxRssKb / 1024.0);

    // A request for a line on every face, unreduced: the lines file is
    // streamed to disk, so the peak stays near the lines themselves.
    if (!everyFace) {
        std::remove(linesPath.c_str());
        ::rmdir(tmpl);
        return 0;
    }
    const ProcessRun dense = runMeasured({QUORAX_TOOL_PATH, objPath, dxPath, linesPath, "1000", "0.0", "90", "0", "3.0"});
    if (dense.status != 0) {
        std::fprintf(stderr, "quorax failed with status %d\n", dense.status);
        return 1;
    }
    struct stat linesStat {};
    ::stat(linesPath.c_str(), &linesStat);
    std::printf("%-28s %9.1f ms\n", "every face, wall", dense.wall * 1e3);
    std::printf("%-28s %9.1f MB (lines file %.1f MB)\n", "every face, peak RSS", dense.maxRssKb / 1024.0,
                static_cast<double>(linesStat.st_size) / 1e6);
    std::remove(linesPath.c_str());
    ::rmdir(tmpl);
    return 0;
}
