// End-to-end runs of the console tool on files the tests write and on the bundled example: exact standard output,
// exit codes, lines file, dumps, one case of each kind of bad input, and the faithful lines on the bundled protein.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "inputs.h"
#include "obj_reader.h"
#include "process.h"
#include "surface_index.h"

using namespace quorax::test;

namespace {

const std::string kTool = QUORAX_TOOL_PATH;
const std::string kExamples = QUORAX_EXAMPLES_DIR;
const std::string kBanner = "--- QUORAX --- Potential Lines Tool - V 2.0\n\n";
const std::string kUsage =
    "\ntoo few parameters\n"
    "USAGE: quorax 3dmeshfilename DXfilenamne linesfilename linesdensity haltgradient haltangle reduce "
    "reduceangle\n\n"
    "3dmeshfilename     3d mesh to load, obj format\n"
    "DXfilenamne        potential grid, DX format\n"
    "linesfilename      output file name for lines, txt format\n"
    "linesdensity       lines density, as # of lines per Ev/squareAngstrom, float\n"
    "haltgradient       stop line if a gradient lower than this is found, float\n"
    "haltangle          stop line if an angle larger than this is encountered, float\n"
    "reduce             simplify lines before exporting, 1=yes 0=no\n"
    "reduceangle        maxim angular change in simplification, float\n"
    "\nEXAMPLE: quorax calmodulin.obj calmodulin_EP.DX output_lines.txt 0.01 0.0 45 1 3.0\n\n";

// A 10 × 10 square in the plane x = 10 facing +x, as two triangles; φ = 10 + x puts it at 20.
const std::string kSquareObj = "# square\nv 10 5 5\nv 10 15 5\nv 10 15 15\nv 10 5 15\nf 1 2 3\nf 1 3 4\n";

struct Case {
    TempDir dir;
    Case() {
        dir.write("mesh.obj", kSquareObj);
        dir.write("grid.dx", linearDx(20));
    }
    std::vector<std::string> args(const std::string& density = "0.01", const std::string& reduce = "1") const {
        return {dir.file("mesh.obj"), dir.file("grid.dx"), dir.file("lines.txt"), density, "0.0", "45", reduce, "3.0"};
    }
    // The arguments with `extra` appended, and argument `at` replaced.
    std::vector<std::string> plus(const std::vector<std::string>& extra) const {
        std::vector<std::string> a = args();
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::vector<std::string> with(std::size_t at, const std::string& value,
                                  const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> a = plus(extra);
        a[at] = value;
        return a;
    }
    ProcessResult run(const std::vector<std::string>& a, const std::vector<std::string>& env = {"QUORAX_SEED=7"}) const {
        return runProcess(kTool, a, dir.path(), env);
    }
};

} // namespace

TEST(ToolUsage, TooFewArgumentsPrintUsageAndExitMinusOne) {
    for (int n : {0, 1, 7}) {
        const ProcessResult r = runProcess(kTool, std::vector<std::string>(static_cast<std::size_t>(n), "x"));
        EXPECT_EQ(r.out, kBanner + kUsage) << n << " arguments";
        EXPECT_EQ(r.exitCode, 255) << "exit(-1) is 255 to the parent";
        EXPECT_EQ(r.err, "");
    }
}

TEST(ToolRun, ProgressLinesAndLinesFile) {
    Case c;
    const ProcessResult r = c.run(c.args());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string prefix = kBanner + "loading OBJ model: " + c.dir.file("mesh.obj") +
                               "\nloaded OBJ model: 2 faces, 4 verts\n"
                               "loading potential DX grid: " + c.dir.file("grid.dx") +
                               "\nloaded DX potential: 20 x 20 x 20\n\n"
                               "mapped potential on the mesh\n"
                               // a linear field keeps its gradient through the length limit and smoothing
                               "computed gradient: 20 x 20 x 20, max 1.000000 min 1.000000\n"
                               // two faces of area 50 at potential 20: 2 × 50 × 20
                               "combined power value 2000.000000\n"
                               // 20 lines asked, clamped to the face count
                               "2 lines will be calculated\n"
                               "line seeds found\n"
                               "lines calculated\n";
    ASSERT_EQ(r.out.substr(0, prefix.size()), prefix);
    const std::string rest = r.out.substr(prefix.size());
    EXPECT_TRUE(std::regex_match(rest, std::regex("Removed: [0-9]+ points, remaining: [0-9]+ points\nlines saved\n")))
        << rest;
    const auto lines = readLinesFile(c.dir.read("lines.txt"));
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& l : lines) {
        // A straight line along x simplifies to its first point and its last two. The file lists each line
        // from its end along the gradient (high x) to its end against it; usable cells are 2 … 17.
        ASSERT_EQ(l.size(), 3u);
        EXPECT_GT(l.front()[0], 17.0);
        EXPECT_LT(l.back()[0], 3.0);
        EXPECT_TRUE(l.front()[1] == l.back()[1] && l.front()[2] == l.back()[2]);
    }
}

TEST(ToolRun, SeedVariableChoosesTheSeedFaces) {
    TempDir d; // (the same seed giving the same bytes is the thread tests' check)
    // A bumpy field without ties over a finer surface, so that the thinning has choices.
    d.write("grid.dx", dxText(24, [](int i, int j, int k) { return 8.0 + i * 0.5 + std::sin(j * 0.7) * std::cos(k * 0.3); }));
    d.write("mesh.obj", sheetObj(11, 12, 1.5));
    auto run = [&](const std::string& out, const std::string& seed) {
        return runProcess(kTool, {"mesh.obj", "grid.dx", out, "0.003", "0", "45", "0", "3"}, d.path(),
                          {"QUORAX_SEED=" + seed});
    };
    ASSERT_EQ(run("a.txt", "42").exitCode, 0);
    ASSERT_EQ(run("c.txt", "43").exitCode, 0);
    EXPECT_NE(d.read("a.txt"), d.read("c.txt")) << "another seed picks other faces";
    EXPECT_EQ(readLinesFile(d.read("a.txt")).size(), readLinesFile(d.read("c.txt")).size());
    const ProcessResult bad = run("e.txt", "soon");
    EXPECT_EQ(bad.exitCode, 0);
    EXPECT_TRUE(has(bad.err, "QUORAX_SEED"));
}

TEST(ToolRun, DebugSwitchOnlyWithExactlyNineArgumentsAndNinthOne) {
    Case c;
    const ProcessResult r = c.run(c.plus({"1"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, kBanner.size() + 15), kBanner + "\n DEBUG MODE \n\n");
    // The unit normals of the square all point along +x.
    EXPECT_EQ(c.dir.read("saved.obj"),
              "v 10.000000 5.000000 5.000000\nv 10.000000 15.000000 5.000000\n"
              "v 10.000000 15.000000 15.000000\nv 10.000000 5.000000 15.000000\nf 1 2 3\nf 1 3 4\n");
    EXPECT_TRUE(has(c.dir.read("saved_n.obj"), "vn 1.000000 0.000000 0.000000\n"));
    EXPECT_TRUE(has(c.dir.read("saved_n.obj"), "f 1//1 2//2 3//3\n"));
    // Seeds lie one unit in front of the face centroids.
    EXPECT_EQ(c.dir.read("seeds.obj"), "v 11.000000 11.666667 8.333333\nv 11.000000 8.333333 11.666667\n");
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{{"1.0"}, {"1", "x"}}) {
        TempDir d;
        EXPECT_FALSE(has(runProcess(kTool, c.plus(extra), d.path()).out, "DEBUG"));
        EXPECT_FALSE(d.exists("saved.obj")) << extra.size() + 8 << " arguments";
    }
}

TEST(ToolRun, ReduceOnlyWithExactlyOneAndNumbersReadAsAtof) {
    Case c;
    EXPECT_EQ(c.run(c.args("0.01", "1.0")).out.find("Removed:"), std::string::npos);
    for (const auto& l : readLinesFile(c.dir.read("lines.txt"))) EXPECT_GT(l.size(), 3u);
    // Numbers that are not numbers read as atof reads them, with a warning.
    const ProcessResult r = c.run(c.args("lots"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.out, "\n0 lines will be calculated\n"));
    EXPECT_EQ(c.dir.read("lines.txt"), "");
    EXPECT_TRUE(has(r.err, "argument 4 (linesdensity) \"lots\""));
}

TEST(ToolInputs, UnreadableInputsStopBeforeTheLinesFile) {
    Case c;
    c.dir.write("lines.txt", "previous result\n");
    std::filesystem::create_symlink("loop2", c.dir.file("loop1"));
    std::filesystem::create_symlink("loop1", c.dir.file("loop2"));
    const std::string loop = c.dir.file("loop1"), longName = c.dir.file(std::string(256, 'n'));
    const std::string loops = "\": Too many levels of symbolic links", tooLong = "\": File name too long";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {c.dir.file("missing.obj"), c.dir.file("grid.dx"), "cannot read OBJ mesh \"" + c.dir.file("missing.obj") + "\": No such file or directory"},
        {c.dir.file("mesh.obj"), c.dir.file("missing.dx"), "cannot read DX grid \"" + c.dir.file("missing.dx") + "\": No such file or directory"},
        {loop, c.dir.file("grid.dx"), "cannot read OBJ mesh \"" + loop + loops},
        {c.dir.file("mesh.obj"), longName, "cannot read DX grid \"" + longName + tooLong},
        // The grid is read beside the surface, but only the surface's error is told.
        {c.dir.file("missing.obj"), c.dir.file("missing.dx"), "cannot read OBJ mesh \"" + c.dir.file("missing.obj") + "\": No such file or directory"},
    };
    for (const auto& [mesh, grid, expect] : cases) {
        auto a = c.with(0, mesh);
        a[1] = grid;
        const ProcessResult r = c.run(a);
        EXPECT_EQ(r.exitCode, 1) << expect;
        EXPECT_EQ(r.err, "quorax: error: " + expect + "\n");
        EXPECT_FALSE(has(r.out, "lines saved"));
        EXPECT_EQ(c.dir.read("lines.txt"), "previous result\n") << "the lines file is not touched";
    }
}

TEST(ToolInputs, AMeshFileWithoutFacesIsAnError) {
    Case c;
    c.dir.write("mesh.obj", std::string("\x93\x07\xffq\x00\x1b[31m\x02", 10));
    const ProcessResult r = c.run(c.args());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quorax: error: OBJ mesh \"" + c.dir.file("mesh.obj") +
                         "\": no faces found: the file is empty or not in OBJ format\n");
    EXPECT_FALSE(c.dir.exists("lines.txt"));
}

TEST(ToolInputs, AMalformedGridIsRefusedWithFileLineAndProblem) {
    // The problems are the reader's tests; here how the tool reports one: file, line, escaped bytes.
    Case c;
    std::string bad = linearDx(20);
    bad.replace(bad.find("\n11 "), 5, "\n11 \x1b[2J\x07 ");
    c.dir.write("grid.dx", bad);
    const ProcessResult r = c.run(c.args());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.err, "DX grid \"" + c.dir.file("grid.dx") + "\", line "));
    EXPECT_TRUE(has(r.err, "\"\\x1b[2J\\x07\" is not a number"));
    EXPECT_FALSE(c.dir.exists("lines.txt"));
}

TEST(ToolInputs, BadFacesAndOutsideVerticesAreWarnings) {
    Case c;
    c.dir.write("faces.obj", kSquareObj + "f 1 2 9\nf 0 1 2\nf -1 -2 -3\n");
    ProcessResult r = c.run(c.with(0, c.dir.file("faces.obj")));
    EXPECT_EQ(r.exitCode, 0);
    // "f -1 -2 -3" counts back from the last vertex and is kept.
    EXPECT_TRUE(has(r.out, "loaded OBJ model: 3 faces, 4 verts\n"));
    EXPECT_TRUE(has(r.err, "2 faces name vertices that do not exist"));
    // One vertex of four beyond the grid: a warning with the share.
    c.dir.write("out.obj", "v 10 5 5\nv 10 15 5\nv 10 15 15\nv 10 5 40\nf 1 2 3\nf 1 3 4\n");
    r = c.run(c.with(0, c.dir.file("out.obj")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.err, "1 of 4 vertices (25.0%) lie outside the potential grid"));
    EXPECT_FALSE(has(r.err, "same frame"));
    // The whole surface far away: probably another frame.
    c.dir.write("far.obj", "v 110 5 5\nv 110 15 5\nv 110 15 15\nf 1 2 3\n");
    r = c.run(c.with(0, c.dir.file("far.obj")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.err, "3 of 3 vertices (100.0%)"));
    EXPECT_TRUE(has(r.err, "probably not in the same frame"));
}

TEST(ToolInputs, NearlyEqualPowersEndTheThinningAtItsBound) {
    // 50 faces of nearly equal area over a constant potential: a draw removes one about once in 32768, so 40
    // removals take more than the bound of draws; the strongest faces make up the 10 lines, with a warning.
    Case c;
    c.dir.write("mesh.obj", sheetObj(6, 10, 2.0, 0.001));
    c.dir.write("grid.dx", dxText(20, [](int, int, int) { return 1.0; }));
    const ProcessResult r = c.run(c.args("0.1"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\n10 lines will be calculated\n"));
    EXPECT_TRUE(has(r.err, "choice of 10 seed faces among 50 stopped after 1010000 draws"));
    EXPECT_EQ(readLinesFile(c.dir.read("lines.txt")).size(), 10u);
}

TEST(ToolOutputs, UnwritableLinesFileIsAnErrorAndDumpsAreWarnings) {
    Case c;
    const std::string missing = c.dir.file("no/such/folder/lines.txt");
    ProcessResult r = c.run(c.with(2, missing));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.err, "cannot write lines file \"" + missing + "\": No such file or directory"));
    EXPECT_FALSE(has(r.out, "lines saved"));
    const std::string longName = c.dir.file(std::string(256, 'n'));
    r = c.run(c.with(2, longName));
    EXPECT_TRUE(has(r.err, "cannot write lines file \"" + longName + "\": File name too long"));
    // A folder where a dump should go: the dump fails, the run goes on.
    std::filesystem::create_directory(c.dir.file("saved.obj"));
    r = c.run(c.plus({"1"}));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.err, "cannot write debug dump \"saved.obj\""));
    EXPECT_TRUE(c.dir.exists("saved_n.obj"));
    EXPECT_TRUE(has(r.out, "lines saved\n"));
    // No temporary file is left behind by the failed or the successful writes.
    for (const auto& e : std::filesystem::directory_iterator(c.dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(ToolOutputs, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsRead) {
    Case c;
    std::filesystem::create_directory(c.dir.file("sub"));
    std::filesystem::create_symlink("../mesh.obj", c.dir.file("sub/link.obj"));
    std::filesystem::create_hard_link(c.dir.file("grid.dx"), c.dir.file("hard.dx"));
    const std::string mesh = c.dir.read("mesh.obj"), grid = c.dir.read("grid.dx");
    for (const std::string& out : {c.dir.file("sub/link.obj"), c.dir.file("hard.dx")}) {
        const ProcessResult r = c.run(c.with(2, out));
        EXPECT_EQ(r.exitCode, 1) << out;
        EXPECT_EQ(r.out, kBanner) << "nothing read: " << out;
        EXPECT_TRUE(has(r.err, "quorax: error: refusing to write the lines file \"" + out +
                                   "\": it is the same file as the input"));
        EXPECT_TRUE(c.dir.read("mesh.obj") == mesh && c.dir.read("grid.dx") == grid) << out;
    }
    // In debug mode the dumps in the current folder are outputs too.
    c.dir.write("saved.obj", kSquareObj);
    const ProcessResult r = c.run(c.with(0, "saved.obj", {"1"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.err, "refusing to write the debug dump \"saved.obj\": it is the same file as the input "
                           "\"saved.obj\"; nothing was read or written"));
    EXPECT_EQ(c.dir.read("saved.obj"), kSquareObj);
    EXPECT_FALSE(c.dir.exists("lines.txt"));
    // So is every export.
    const ProcessResult e = c.run(c.plus({"--lines-out", "l.vtp", "--tubes", c.dir.file("mesh.obj")}));
    EXPECT_EQ(e.exitCode, 1);
    EXPECT_TRUE(has(e.err, "refusing to write the export \"" + c.dir.file("mesh.obj") + "\""));
    EXPECT_EQ(c.dir.read("mesh.obj"), mesh);
    EXPECT_FALSE(c.dir.exists("l.vtp"));
}

TEST(ToolOutputs, StandardOutputGetsTheLinesBetweenTheProgressLines) {
    Case c;
    ASSERT_EQ(c.run(c.args()).exitCode, 0);
    const std::string expected = c.dir.read("lines.txt");
    // Standard output, here a file: written in place, the lines after the progress lines, before "lines saved".
    const ProcessResult r = c.run(c.with(2, "/dev/stdout"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::size_t at = r.out.find("lines calculated\n");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_match(r.out.substr(at + 17),
                                 std::regex("Removed: [0-9]+ points, remaining: [0-9]+ points\n" +
                                            std::regex_replace(expected, std::regex("[.]"), "[.]") + "lines saved\n")))
        << r.out;
}

TEST(ToolOptions, HelpVersionAndMistakesInTheOptions) {
    Case c;
    // --help and --version work with or without the arguments, print no banner and exit 0.
    for (const auto& a : {std::vector<std::string>{"--help"}, c.plus({"--help"})}) {
        const ProcessResult r = c.run(a);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind("Usage: quorax 3dmeshfilename", 0), 0u) << r.out;
        for (const char* o : {"--lines-out FILE", "--tubes FILE", "--tube-radius R", "--surface-out FILE"})
            EXPECT_TRUE(has(r.out, o));
    }
    EXPECT_EQ(c.run({"--version"}).out, "quorax 2.0\n");
    EXPECT_FALSE(c.dir.exists("lines.txt"));
    // Each mistake: exit 1 before anything is computed, an error naming the option and what is accepted.
    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
        {{"--colour", "red"}, "unknown option \"--colour\"; accepted options: --lines-out FILE, --tubes FILE"},
        {{"--tubes=x.vtp"}, "option --tubes \"x.vtp\": unknown file extension; accepted: .stl, .obj or .ply"},
        {{"--tubes"}, "option --tubes needs a value (FILE)"},
        {{"--tube-radius", "0"}, "option --tube-radius \"0\" is not a positive number"},
        {{"--step", "1mm"}, "option --step \"1mm\" is not a positive number"},
        {{"--tubes", "t.stl", "extra"}, "unexpected argument \"extra\" among the options"},
        {{"--lines-out", "a.obj", "--tubes", "a.obj"},
         "option --tubes \"a.obj\": the file is already an output of an earlier option"},
        {{"--seeding", "charge"}, "option --seeding \"charge\": accepted: power or flux"},
        {{"--integrator", "rk2"}, "option --integrator \"rk2\": accepted: euler, rk4 or rk45"},
        {{"--stop-at-surface=1"}, "option --stop-at-surface takes no value"},
    };
    for (const auto& [options, message] : mistakes) {
        const ProcessResult r = c.run(c.plus(options));
        EXPECT_EQ(r.exitCode, 1) << message;
        EXPECT_EQ(r.out, kBanner) << message;
        EXPECT_TRUE(has(r.err, "quorax: error: " + message));
        EXPECT_FALSE(c.dir.exists("lines.txt")) << message;
    }
}

TEST(ToolOptions, ExportsFollowTheLinesFileAndAnUnwritableOneIsAnError) {
    Case c;
    // The debug "1" keeps its place before the options; repeated options all write.
    const ProcessResult r = c.run(c.plus({"1", "--lines-out", "l.vtp", "--lines-out", "l.obj", "--tubes", "t.stl",
                                          "--tube-radius", "0.25", "--surface-out", "s.ply"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "lines saved\nlines exported: l.vtp\nlines exported: l.obj\ntubes exported: t.stl\n"
                           "surface exported: s.ply\n"));
    for (const char* f : {"l.vtp", "l.obj", "t.stl", "s.ply", "saved.obj"}) EXPECT_TRUE(c.dir.exists(f)) << f;
    const std::string withExports = c.dir.read("lines.txt");
    ASSERT_EQ(c.run(c.args()).exitCode, 0);
    EXPECT_EQ(c.dir.read("lines.txt"), withExports);
    // An export into a missing folder: exit 1, an error naming the file, the other exports still written.
    const ProcessResult bad = c.run(c.plus({"--tubes", c.dir.file("no/such/t.stl"), "--lines-out", "l2.vtk"}));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(has(bad.err, "quorax: error: cannot write tubes export \"" + c.dir.file("no/such/t.stl") +
                                 "\": No such file or directory"));
    EXPECT_TRUE(c.dir.exists("l2.vtk"));
}

TEST(ToolInputs, AFaceAtAVertexThatIsNotFiniteIsLeftOut) {
    // A fifth vertex that is NaN and a face on it: the same lines as without them, and one warning. Kept, the
    // face would spoil the total power and the line count. (Which faces go is the mesh's test.)
    Case c;
    ASSERT_EQ(c.run(c.args()).exitCode, 0);
    const std::string clean = c.dir.read("lines.txt");
    c.dir.write("mesh.obj", kSquareObj + "v nan 10 10\nf 1 2 5\n");
    const ProcessResult r = c.run(c.args());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "loaded OBJ model: 3 faces, 5 verts\n"));
    EXPECT_TRUE(has(r.out, "\ncombined power value 2000.000000\n2 lines will be calculated\n"));
    EXPECT_TRUE(has(r.err, "quorax: warning: OBJ mesh \"" + c.dir.file("mesh.obj") + "\": 1 face was left out"));
    EXPECT_EQ(c.dir.read("lines.txt"), clean);
}

// Every point of every line lies outside the molecule (a ray from it crosses the closed surface an even number of
// times); the lines start and end on the surface or leave the grid.
TEST(Faithful, FluxRk4LinesStayOutsideTheProtein) {
    TempDir dir;
    const std::vector<std::string> a = {kExamples + "/fas2.obj", kExamples + "/fas2.dx", dir.file("lines.txt"), "0.01",
                                        "0.0", "45", "0", "3", "--seeding", "flux", "--flux-density", "0.005",
                                        "--integrator", "rk4", "--step", "0.2", "--stop-at-surface"};
    const ProcessResult r = runProcess(kTool, a, dir.path(), {"QUORAX_SEED=5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(has(r.out, "combined flux value "));
    const std::string text = dir.read("lines.txt");
    const auto lines = readLinesFile(text);
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
