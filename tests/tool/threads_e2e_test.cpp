// The console tool gives the same bytes on every thread count: the lines file, standard output and error, the debug
// dumps and the exports, on the bundled example and on a generated surface and grid large enough that the readers split
// them into many parts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "inputs.h"
#include "process.h"

using quorax::test::ProcessResult;
using quorax::test::runProcess;
using quorax::test::TempDir;

namespace {

const std::string kTool = QUORAX_TOOL_PATH;
const std::string kExamples = QUORAX_EXAMPLES_DIR;

// Everything one run produced, by name.
std::map<std::string, std::string> runWithThreads(const std::vector<std::string>& args, int threads,
                                                  const std::vector<std::string>& outputs) {
    TempDir dir;
    // Outputs are named relative to the run's own folder, so that standard output does not differ by the folder's name.
    const ProcessResult r =
        runProcess(kTool, args, dir.path(), {"QUORAX_SEED=11", "QUORAX_THREADS=" + std::to_string(threads)});
    std::map<std::string, std::string> got{{"exit", std::to_string(r.exitCode)}, {"stdout", r.out}, {"stderr", r.err}};
    for (const std::string& name : outputs) got[name] = dir.exists(name) ? dir.read(name) : "(missing)";
    return got;
}

void expectSameOnEveryThreadCount(const std::vector<std::string>& args, const std::vector<std::string>& outputs) {
    const std::map<std::string, std::string> one = runWithThreads(args, 1, outputs);
    ASSERT_EQ(one.at("exit"), "0") << one.at("stderr");
    for (const std::string& name : outputs) ASSERT_NE(one.at(name), "(missing)") << name;
    for (int threads : {2, 3, 8}) {
        const std::map<std::string, std::string> many = runWithThreads(args, threads, outputs);
        for (const auto& [name, bytes] : one)
            EXPECT_TRUE(many.at(name) == bytes) << name << " differs with " << threads << " threads";
    }
}

// A sphere of radius 12 around (20, 20, 20) in the layout PyMOL writes (three own vertices, three normals and "f a//a
// b//b c//c" per triangle), every third triangle naming its corners by negative indices instead.
std::string sphereObj(int rings, int segments) {
    std::ostringstream s;
    s << "# generated sphere\n";
    s.setf(std::ios::fixed);
    s.precision(6);
    const double pi = 3.14159265358979323846;
    auto point = [&](int i, int j) {
        const double t = pi * i / rings, p = 2 * pi * j / segments;
        return std::vector<double>{20 + 12 * std::sin(t) * std::cos(p), 20 + 12 * std::sin(t) * std::sin(p),
                                   20 + 12 * std::cos(t)};
    };
    long vertex = 0, face = 0;
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j)
            for (int half = 0; half < 2; ++half) {
                const std::vector<double> c[3] = {point(i, j), half ? point(i + 1, j + 1) : point(i + 1, j),
                                                  half ? point(i, j + 1) : point(i + 1, j + 1)};
                for (const auto& v : c) s << "v " << v[0] << ' ' << v[1] << ' ' << v[2] << '\n';
                for (const auto& v : c) s << "vn " << (v[0] - 20) / 12 << ' ' << (v[1] - 20) / 12 << ' ' << (v[2] - 20) / 12 << '\n';
                if (++face % 3 == 0)
                    s << "f -3 -2 -1\n";
                else
                    s << "f " << vertex + 1 << "//" << vertex + 1 << ' ' << vertex + 2 << "//" << vertex + 2 << ' '
                      << vertex + 3 << "//" << vertex + 3 << '\n';
                vertex += 3;
            }
    return s.str();
}

// n³ nodes, spacing 1, the potential of two opposite charges near the centre.
std::string dipoleDx(int n) {
    return quorax::test::dxText(n, [](int i, int j, int k) {
        return 100.0 / (std::hypot(i - 16.0, j - 20.0, k - 21.0) + 0.5) - 80.0 / (std::hypot(i - 25.0, j - 19.0, k - 20.0) + 0.5);
    });
}

const std::vector<std::string> kOutputs = {"lines.txt", "saved.obj", "saved_n.obj", "seeds.obj",
                                           "lines.vtp", "tubes.stl", "surface.ply"};

std::vector<std::string> defaultRun(const std::string& obj, const std::string& dx) {
    return {obj,           dx,          "lines.txt", "0.01",      "0.0",           "45",         "1", "3.0", "1",
            "--lines-out", "lines.vtp", "--tubes",   "tubes.stl", "--surface-out", "surface.ply"};
}

std::vector<std::string> faithfulRun(const std::string& obj, const std::string& dx) {
    return {obj, dx, "lines.txt", "0.01", "0.0", "45", "0", "3.0", "--seeding", "flux", "--integrator", "rk4",
            "--lines-out", "lines.vtp"};
}

TEST(Threads, BundledExampleIsTheSameOnEveryThreadCount) {
    const std::string obj = kExamples + "/fas2.obj", dx = kExamples + "/fas2.dx";
    expectSameOnEveryThreadCount(defaultRun(obj, dx), kOutputs);
    expectSameOnEveryThreadCount(faithfulRun(obj, dx), {"lines.txt", "lines.vtp"});
}

TEST(Threads, LargeGeneratedCaseIsTheSameOnEveryThreadCount) {
    TempDir inputs;
    const std::string obj = sphereObj(60, 100); // 12 000 triangles, about 2 MB
    const std::string dx = dipoleDx(40);        // 64 000 values, about 0.6 MB
    ASSERT_GT(obj.size(), 32u * 64 * 1024);     // many parts on 8 threads
    inputs.write("sphere.obj", obj);
    inputs.write("dipole.dx", dx);
    const std::string sphere = inputs.file("sphere.obj"), dipole = inputs.file("dipole.dx");
    expectSameOnEveryThreadCount(defaultRun(sphere, dipole), kOutputs);
    expectSameOnEveryThreadCount(faithfulRun(sphere, dipole), {"lines.txt", "lines.vtp"});
    // A line on every face (370 000 points): the lines are traced, simplified and written in several parallel batches.
    expectSameOnEveryThreadCount({sphere, dipole, "lines.txt", "1000", "0.5", "90", "1", "1.0"}, {"lines.txt"});
}

TEST(Threads, ManyLinesWrittenInBatchesAsAllAtOnce) {
    // 12 000 lines are traced and written a batch at a time, unless an export needs them all: the lines file, the
    // messages and a failure to write are the same either way.
    TempDir inputs;
    inputs.write("sphere.obj", sphereObj(60, 100));
    inputs.write("dipole.dx", dipoleDx(40));
    for (const std::string& lines : {std::string("lines.txt"), std::string("missing/lines.txt")}) {
        std::vector<std::string> args = {inputs.file("sphere.obj"), inputs.file("dipole.dx"), lines, "1000", "0.5",
                                         "90", "1", "1.0"};
        const auto batches = runWithThreads(args, 2, {"lines.txt"});
        args.insert(args.end(), {"--lines-out", "export.obj"});
        auto whole = runWithThreads(args, 2, {"lines.txt"});
        const std::string exported = "lines exported: export.obj\n";
        if (whole.at("stdout").ends_with(exported)) whole["stdout"].resize(whole.at("stdout").size() - exported.size());
        EXPECT_EQ(batches.at("exit"), lines == "lines.txt" ? "0" : "1") << batches.at("stderr");
        for (const char* name : {"exit", "stdout", "stderr", "lines.txt"})
            EXPECT_TRUE(batches.at(name) == whole.at(name)) << name << " differs for " << lines;
    }
}

TEST(Threads, ABadThreadCountIsAWarningAndTheRunGoesOn) {
    TempDir dir;
    const std::string obj = kExamples + "/fas2.obj", dx = kExamples + "/fas2.dx";
    const ProcessResult r = runProcess(kTool, {obj, dx, dir.file("lines.txt"), "0.01", "0.0", "45", "1", "3.0"},
                                       dir.path(), {"QUORAX_SEED=11", "QUORAX_THREADS=0"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "quorax: warning: QUORAX_THREADS=\"0\" is not a whole number of at least 1; every core is used\n");
}

} // namespace
