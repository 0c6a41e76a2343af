// The faithful-lines options of quorax on the bundled protein: flux seeding,
// rk4 and lines that end at the surface; the option mistakes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inputs.h"
#include "obj_reader.h"
#include "process.h"
#include "surface_index.h"

using quorax::test::ProcessResult;
using quorax::test::runProcess;
using quorax::test::TempDir;

namespace {

const std::string kTool = QUORAX_TOOL_PATH;
const std::string kExamples = QUORAX_EXAMPLES_DIR;

std::vector<std::string> exampleArgs(const TempDir& dir) {
    return {kExamples + "/fas2.obj", kExamples + "/fas2.dx", dir.file("lines.txt"), "0.01", "0.0", "45", "0", "3"};
}

} // namespace

// Every point of every line lies outside the molecule (a ray from it crosses
// the closed surface an even number of times); the lines start and end on
// the surface or leave the grid.
TEST(Faithful, FluxRk4LinesStayOutsideTheProtein) {
    TempDir dir;
    std::vector<std::string> a = exampleArgs(dir);
    a.insert(a.end(), {"--seeding", "flux", "--flux-density", "0.005", "--integrator", "rk4", "--step", "0.2",
                       "--stop-at-surface"});
    const ProcessResult r = runProcess(kTool, a, dir.path(), {"QUORAX_SEED=5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("combined flux value "), std::string::npos) << r.out;
    const std::string text = dir.read("lines.txt");
    const auto lines = quorax::test::readLinesFile(text);
    ASSERT_GT(lines.size(), 100u);

    quorax::TriMesh mesh;
    ASSERT_TRUE(quorax::readObjMeshFile(mesh, kExamples + "/fas2.obj").ok());
    const quorax::SurfaceIndex surface(mesh);
    const quorax::Vec3 far{1000.0f, 731.0f, 577.0f};
    std::size_t points = 0, inside = 0;
    for (const auto& line : lines)
        for (std::size_t i = 1; i + 1 < line.size(); ++i) { // the ends may lie on the surface itself
            const quorax::Vec3 p{float(line[i][0]), float(line[i][1]), float(line[i][2])};
            ++points;
            if (surface.crossingCount(p, p + far) % 2 == 1) ++inside;
        }
    EXPECT_GT(points, 1000u);
    EXPECT_EQ(inside, 0u) << "of " << points << " points";
}

TEST(Faithful, OptionMistakesNameTheOption) {
    TempDir dir;
    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
        {{"--seeding", "charge"}, "option --seeding \"charge\": accepted: power or flux"},
        {{"--integrator", "rk2"}, "option --integrator \"rk2\": accepted: euler, rk4 or rk45"},
        {{"--step", "-1"}, "option --step \"-1\" is not a positive number"},
        {{"--stop-at-surface=1"}, "option --stop-at-surface takes no value"},
    };
    for (const auto& [options, message] : mistakes) {
        std::vector<std::string> a = exampleArgs(dir);
        a.insert(a.end(), options.begin(), options.end());
        const ProcessResult r = runProcess(kTool, a, dir.path());
        EXPECT_EQ(r.exitCode, 1) << message;
        EXPECT_NE(r.err.find("quorax: error: " + message), std::string::npos) << r.err;
        EXPECT_FALSE(dir.exists("lines.txt"));
    }
}
