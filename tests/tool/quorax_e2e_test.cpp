// End-to-end runs of the console tool on files the tests write and on the
// bundled example: exact standard output, exit codes, lines file, dumps and
// every bad-input case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "process.h"

using quorax::test::ProcessResult;
using quorax::test::runProcess;
using quorax::test::TempDir;

namespace {

const std::string kTool = QUORAX_TOOL_PATH;
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

// An OpenDX grid of n³ nodes, spacing 1, origin 0, value f(i, j, k).
std::string dxGrid(int n, const std::function<double(int, int, int)>& f) {
    std::ostringstream s;
    s << "# test grid\nobject 1 class gridpositions counts " << n << ' ' << n << ' ' << n << "\n"
      << "origin 0 0 0\ndelta 1 0 0\ndelta 0 1 0\ndelta 0 0 1\n"
      << "object 2 class gridconnections counts " << n << ' ' << n << ' ' << n << "\n"
      << "object 3 class array type double rank 0 items " << n * n * n << " data follows\n";
    int count = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) s << f(i, j, k) << (++count % 3 == 0 ? "\n" : " ");
    s << "\nattribute \"dep\" string \"positions\"\n";
    return s.str();
}

// A 10 × 10 square in the plane x = 10 facing +x, as two triangles.
const std::string kSquareObj =
    "# square\nv 10 5 5\nv 10 15 5\nv 10 15 15\nv 10 5 15\nf 1 2 3\nf 1 3 4\n";

// Potential 10 + x: the gradient is (1, 0, 0) everywhere, the square sits at 20.
std::string linearGrid() {
    return dxGrid(20, [](int i, int, int) { return 10.0 + i; });
}

struct Case {
    TempDir dir;
    Case() {
        dir.write("mesh.obj", kSquareObj);
        dir.write("grid.dx", linearGrid());
    }
    std::vector<std::string> args(const std::string& density = "0.01", const std::string& reduce = "1") const {
        return {dir.file("mesh.obj"), dir.file("grid.dx"), dir.file("lines.txt"), density, "0.0", "45",
                reduce, "3.0"};
    }
    ProcessResult run(const std::vector<std::string>& a, const std::vector<std::string>& env = {"QUORAX_SEED=7"}) const {
        return runProcess(kTool, a, dir.path(), env);
    }
};

// Splits a lines file into its lines of points.
std::vector<std::vector<std::string>> parseLinesFile(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        if (row == "n")
            lines.emplace_back();
        else if (!lines.empty())
            lines.back().push_back(row);
        else
            ADD_FAILURE() << "point before the first \"n\": " << row;
    }
    return lines;
}

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
                               "loading potential DX grid: " +
                               c.dir.file("grid.dx") +
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

    const auto lines = parseLinesFile(c.dir.read("lines.txt"));
    ASSERT_EQ(lines.size(), 2u);
    const std::regex point("v -?[0-9]+\\.[0-9]{6} -?[0-9]+\\.[0-9]{6} -?[0-9]+\\.[0-9]{6}");
    for (const auto& l : lines) {
        // A straight line along x simplifies to its first point and its last two.
        ASSERT_EQ(l.size(), 3u);
        for (const std::string& p : l) EXPECT_TRUE(std::regex_match(p, point)) << p;
        double x0, y0, z0, x2, y2, z2;
        ASSERT_EQ(std::sscanf(l.front().c_str(), "v %lf %lf %lf", &x0, &y0, &z0), 3);
        ASSERT_EQ(std::sscanf(l.back().c_str(), "v %lf %lf %lf", &x2, &y2, &z2), 3);
        // The file lists each line from its end along the gradient (high x)
        // to its end against it; usable cells are 2 … 17.
        EXPECT_GT(x0, 17.0);
        EXPECT_LT(x2, 3.0);
        EXPECT_EQ(y0, y2);
        EXPECT_EQ(z0, z2);
    }
}

TEST(ToolRun, SeedVariableMakesRunsRepeatable) {
    TempDir d;
    // A bumpy field without ties over a finer surface, so that the thinning has choices.
    d.write("grid.dx", dxGrid(24, [](int i, int j, int k) { return 8.0 + i * 0.5 + std::sin(j * 0.7) * std::cos(k * 0.3); }));
    std::string obj;
    for (int a = 0; a <= 10; ++a)
        for (int b = 0; b <= 10; ++b) obj += "v 12 " + std::to_string(4 + a * 1.5) + " " + std::to_string(4 + b * 1.5) + "\n";
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b) {
            const int v = a * 11 + b + 1;
            obj += "f " + std::to_string(v) + " " + std::to_string(v + 11) + " " + std::to_string(v + 12) + "\n";
            obj += "f " + std::to_string(v) + " " + std::to_string(v + 12) + " " + std::to_string(v + 1) + "\n";
        }
    d.write("mesh.obj", obj);
    auto run = [&](const std::string& out, const std::string& seed) {
        return runProcess(kTool, {"mesh.obj", "grid.dx", out, "0.003", "0", "45", "0", "3"}, d.path(),
                          {"QUORAX_SEED=" + seed});
    };
    ASSERT_EQ(run("a.txt", "42").exitCode, 0);
    ASSERT_EQ(run("b.txt", "42").exitCode, 0);
    ASSERT_EQ(run("c.txt", "43").exitCode, 0);
    EXPECT_EQ(d.read("a.txt"), d.read("b.txt"));
    EXPECT_NE(d.read("a.txt"), d.read("c.txt")) << "another seed picks other faces";
    EXPECT_EQ(parseLinesFile(d.read("a.txt")).size(), parseLinesFile(d.read("c.txt")).size());

    const ProcessResult bad = run("e.txt", "soon");
    EXPECT_EQ(bad.exitCode, 0);
    EXPECT_NE(bad.err.find("QUORAX_SEED"), std::string::npos) << bad.err;
}

TEST(ToolRun, DebugSwitchOnlyWithExactlyNineArgumentsAndNinthOne) {
    Case c;
    auto a = c.args();
    a.push_back("1");
    const ProcessResult r = c.run(a);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, kBanner.size() + 15), kBanner + "\n DEBUG MODE \n\n");
    // The unit normals of the square all point along +x.
    EXPECT_EQ(c.dir.read("saved.obj"),
              "v 10.000000 5.000000 5.000000\nv 10.000000 15.000000 5.000000\n"
              "v 10.000000 15.000000 15.000000\nv 10.000000 5.000000 15.000000\nf 1 2 3\nf 1 3 4\n");
    EXPECT_NE(c.dir.read("saved_n.obj").find("vn 1.000000 0.000000 0.000000\n"), std::string::npos);
    EXPECT_NE(c.dir.read("saved_n.obj").find("f 1//1 2//2 3//3\n"), std::string::npos);
    // Seeds lie one unit in front of the face centroids.
    EXPECT_EQ(c.dir.read("seeds.obj"), "v 11.000000 11.666667 8.333333\nv 11.000000 8.333333 11.666667\n");

    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{"yes"}, {"01"}, {"1.0"}, {"1", "x"}}) {
        TempDir d;
        auto b = c.args();
        b.insert(b.end(), extra.begin(), extra.end());
        const ProcessResult q = runProcess(kTool, b, d.path());
        EXPECT_EQ(q.exitCode, 0);
        EXPECT_EQ(q.out.find("DEBUG"), std::string::npos) << extra[0];
        EXPECT_FALSE(d.exists("saved.obj"));
    }
}

TEST(ToolRun, ReduceOnlyWithExactlyOne) {
    Case c;
    for (const char* flag : {"yes", "0", "2", "1.0"}) {
        const ProcessResult r = c.run(c.args("0.01", flag));
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.find("Removed:"), std::string::npos) << flag;
        for (const auto& l : parseLinesFile(c.dir.read("lines.txt"))) EXPECT_GT(l.size(), 3u) << flag;
    }
}

TEST(ToolRun, NumbersThatAreNotNumbersReadAsAtofAndWarn) {
    Case c;
    const ProcessResult r = c.run(c.args("lots"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\n0 lines will be calculated\n"), std::string::npos);
    EXPECT_NE(r.out.find("lines saved\n"), std::string::npos);
    EXPECT_EQ(c.dir.read("lines.txt"), "");
    EXPECT_NE(r.err.find("argument 4 (linesdensity) \"lots\""), std::string::npos) << r.err;

    // A trailing unit still converts its leading number, with a warning.
    const ProcessResult t = c.run(c.args("0.01lines"));
    EXPECT_NE(t.out.find("\n2 lines will be calculated\n"), std::string::npos);
    EXPECT_NE(t.err.find("\"0.01lines\""), std::string::npos);
}

TEST(ToolInputs, UnreadableInputsStopBeforeTheLinesFile) {
    Case c;
    c.dir.write("lines.txt", "previous result\n");
    struct Bad {
        std::string mesh, grid, expect;
    } cases[] = {
        {c.dir.file("missing.obj"), c.dir.file("grid.dx"), "cannot read OBJ mesh \"" + c.dir.file("missing.obj") + "\": No such file or directory"},
        {c.dir.file("mesh.obj"), c.dir.file("missing.dx"), "cannot read DX grid \"" + c.dir.file("missing.dx") + "\": No such file or directory"},
        {c.dir.file("mesh.obj"), c.dir.path(), "Is a directory"},
        {c.dir.file("missing.obj"), c.dir.file("missing.dx"), "missing.obj"},
    };
    for (const Bad& b : cases) {
        auto a = c.args();
        a[0] = b.mesh;
        a[1] = b.grid;
        const ProcessResult r = c.run(a);
        EXPECT_EQ(r.exitCode, 1) << b.expect;
        EXPECT_NE(r.err.find(b.expect), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("lines saved"), std::string::npos);
        EXPECT_EQ(c.dir.read("lines.txt"), "previous result\n") << "the lines file is not touched";
    }
}

TEST(ToolInputs, MeshFilesWithoutFacesAreErrors) {
    Case c;
    c.dir.write("random.obj", std::string("\x93\x07\xffq\x00\x1b[31m\x02", 10));
    c.dir.write("mesh.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n");
    c.dir.write("empty.obj", "");
    for (const std::string mesh : {"random.obj", "grid.dx", "mesh.ply", "empty.obj"}) {
        auto a = c.args();
        a[0] = c.dir.file(mesh);
        const ProcessResult r = c.run(a);
        EXPECT_EQ(r.exitCode, 1) << mesh;
        EXPECT_EQ(r.err, "quorax: error: OBJ mesh \"" + a[0] + "\": no faces found: the file is empty or not in OBJ format\n")
            << mesh;
        EXPECT_FALSE(c.dir.exists("lines.txt")) << mesh;
    }
}

TEST(ToolInputs, ByteOrderMarksAndPipesReadLikePlainFiles) {
    Case c;
    const ProcessResult plain = c.run(c.args());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::string lines = c.dir.read("lines.txt");
    // Both inputs start with a UTF-8 byte order mark; the mesh comes through a FIFO.
    c.dir.write("grid.dx", "\xEF\xBB\xBF" + linearGrid());
    const std::string fifo = c.dir.file("mesh.obj");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        if (std::FILE* f = std::fopen(fifo.c_str(), "w")) {
            std::fputs(("\xEF\xBB\xBF" + kSquareObj).c_str(), f);
            std::fclose(f);
        }
    });
    const ProcessResult marked = c.run(c.args());
    writer.join();
    EXPECT_EQ(marked.exitCode, 0) << marked.err;
    EXPECT_EQ(marked.out, plain.out);
    EXPECT_EQ(c.dir.read("lines.txt"), lines);

    // A gzip-compressed grid (gzip renames grid.dx to grid.dx.gz).
    std::filesystem::remove(fifo);
    c.dir.write("mesh.obj", kSquareObj);
    ASSERT_EQ(runProcess("/bin/gzip", {"-n", c.dir.file("grid.dx")}).exitCode, 0);
    auto a = c.args();
    a[1] = c.dir.file("grid.dx.gz");
    const ProcessResult zipped = c.run(a);
    EXPECT_EQ(zipped.exitCode, 0) << zipped.err;
    EXPECT_EQ(c.dir.read("lines.txt"), lines);
}

TEST(ToolInputs, MalformedGridsAreRefusedWithFileLineAndProblem) {
    Case c;
    const std::string good = linearGrid();
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    struct Bad {
        std::string name, text, expect;
    } cases[] = {
        {"header", replace("gridpositions", "gridposition"), "line 2: expected \"object 1 class gridpositions counts\""},
        {"counts", replace("counts 20 20 20\norigin", "counts 20 1 20\norigin"), "at least 2 nodes per axis, found 20 x 1 x 20"},
        {"spacing", replace("delta 0 1 0", "delta 0 0 0"), "spacings must be positive"},
        {"huge", replace("counts 20 20 20\norigin", "counts 2000000 2000000 2000000\norigin"), "nodes"},
        {"short", good.substr(0, good.find("attribute") - 40), "expected 8000 values, found"},
        {"word", replace("\n11 ", "\n11 eleven "), "\"eleven\" is not a number"},
        {"control bytes", replace("\n11 ", "\n11 \x1b[2J\x07 "), "\"\\x1b[2J\\x07\" is not a number"},
        {"cut in a number", good.substr(0, good.find("attribute") - 4) + "1.5e", "the data is truncated"},
        {"empty", "", "line 1:"},
    };
    for (const Bad& b : cases) {
        c.dir.write("bad.dx", b.text);
        auto a = c.args();
        a[1] = c.dir.file("bad.dx");
        const ProcessResult r = c.run(a);
        EXPECT_EQ(r.exitCode, 1) << b.name;
        EXPECT_NE(r.err.find("DX grid \"" + c.dir.file("bad.dx") + "\", line "), std::string::npos) << b.name << ": " << r.err;
        EXPECT_NE(r.err.find(b.expect), std::string::npos) << b.name << ": " << r.err;
        EXPECT_FALSE(c.dir.exists("lines.txt")) << b.name;
    }
}

TEST(ToolInputs, BadFacesAndOutsideVerticesAreWarnings) {
    Case c;
    c.dir.write("faces.obj", kSquareObj + "f 1 2 9\nf 0 1 2\nf -1 -2 -3\n");
    auto a = c.args();
    a[0] = c.dir.file("faces.obj");
    ProcessResult r = c.run(a);
    EXPECT_EQ(r.exitCode, 0);
    // "f -1 -2 -3" counts back from the last vertex and is kept.
    EXPECT_NE(r.out.find("loaded OBJ model: 3 faces, 4 verts\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("2 faces name vertices that do not exist"), std::string::npos) << r.err;

    // One vertex of four beyond the grid: a warning with the share.
    c.dir.write("out.obj", "v 10 5 5\nv 10 15 5\nv 10 15 15\nv 10 5 40\nf 1 2 3\nf 1 3 4\n");
    a[0] = c.dir.file("out.obj");
    r = c.run(a);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("1 of 4 vertices (25.0%) lie outside the potential grid"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("same frame"), std::string::npos);

    // The whole surface far away: probably another frame.
    c.dir.write("far.obj", "v 110 5 5\nv 110 15 5\nv 110 15 15\nf 1 2 3\n");
    a[0] = c.dir.file("far.obj");
    r = c.run(a);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("3 of 3 vertices (100.0%)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("probably not in the same frame"), std::string::npos) << r.err;
}

TEST(ToolOutputs, UnwritableLinesFileIsAnErrorAndDumpsAreWarnings) {
    Case c;
    auto a = c.args();
    a[2] = c.dir.file("no/such/folder/lines.txt");
    ProcessResult r = c.run(a);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write lines file \"" + a[2] + "\": No such file or directory"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("lines saved"), std::string::npos);

    // A folder where a dump should go: the dump fails, the run goes on.
    std::filesystem::create_directory(c.dir.file("saved.obj"));
    a = c.args();
    a.push_back("1");
    r = c.run(a);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("cannot write debug dump \"saved.obj\""), std::string::npos) << r.err;
    EXPECT_TRUE(c.dir.exists("saved_n.obj"));
    EXPECT_NE(r.out.find("lines saved\n"), std::string::npos);
    // No temporary file is left behind by the failed or the successful writes.
    for (const auto& e : std::filesystem::directory_iterator(c.dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(ToolExample, BundledMoleculeRunsTheUsageExample) {
    TempDir d;
    const std::string ex = QUORAX_EXAMPLES_DIR;
    const ProcessResult r = runProcess(
        kTool, {ex + "/fas2.obj", ex + "/fas2.dx", d.file("lines.txt"), "0.01", "0.0", "45", "1", "3.0"}, d.path(),
        {"QUORAX_SEED=1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "the surface lies inside the grid";
    const std::regex expected(
        "--- QUORAX --- Potential Lines Tool - V 2.0\n\n"
        "loading OBJ model: .*fas2.obj\n"
        "loaded OBJ model: 10720 faces, 32160 verts\n"
        "loading potential DX grid: .*fas2.dx\n"
        "loaded DX potential: 65 x 65 x 65\n\n"
        "mapped potential on the mesh\n"
        "computed gradient: 65 x 65 x 65, max [0-9]+\\.[0-9]{6} min [0-9]+\\.[0-9]{6}\n"
        "combined power value [0-9]+\\.[0-9]{6}\n"
        "([0-9]+) lines will be calculated\n"
        "line seeds found\n"
        "lines calculated\n"
        "Removed: [0-9]+ points, remaining: [0-9]+ points\n"
        "lines saved\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, expected)) << r.out;
    const auto lines = parseLinesFile(d.read("lines.txt"));
    EXPECT_EQ(lines.size(), std::stoul(m[1].str()));
    EXPECT_GT(lines.size(), 50u);
}
