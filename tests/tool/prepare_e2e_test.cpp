// End-to-end runs of quorax-prepare with the real pdb2pqr and APBS: a PQR from APBS's examples and a small peptide PDB
// go all the way to field lines; failures name the step and the file and leave the output folder as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "dx_reader.h"
#include "grids.h"
#include "obj_reader.h"
#include "process.h"

using quorax::test::has;
using quorax::test::ProcessResult;
using quorax::test::readFile;
using quorax::test::runProcess;
using quorax::test::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kPrepare = QUORAX_PREPARE_PATH;
const std::string kTool = QUORAX_TOOL_PATH;
const std::string kPeptide = QUORAX_TEST_DATA_DIR "/peptide.pdb";
// Acetate, 8 atoms, charge −1, from Debian's apbs-data.
const std::string kAcetate = "/usr/share/apbs/examples/ionize/acetate.pqr";

bool onPath(const std::string& program) {
    return runProcess("/bin/sh", {"-c", "command -v " + program}).exitCode == 0;
}

std::vector<std::string> folderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The two files of a run feed quorax, every vertex is at least two spacings
// inside the grid, and the surface is closed and wound consistently.
void checkOutputs(const std::string& obj, const std::string& dx, const TempDir& dir) {
    quorax::PotentialGrid grid;
    const quorax::ReadStatus g = quorax::readDxGridFile(grid, dx);
    ASSERT_TRUE(g.ok()) << quorax::readProblemText(g);
    quorax::TriMesh mesh;
    quorax::ObjReadResult objResult;
    const quorax::ReadStatus m = quorax::readObjMeshFile(mesh, obj, &objResult);
    ASSERT_TRUE(m.ok()) << quorax::readProblemText(m);
    ASSERT_GT(mesh.faceCount(), 100);
    EXPECT_EQ(objResult.skippedFaces, 0);
    const float o[3] = {grid.origin.x, grid.origin.y, grid.origin.z};
    const float d[3] = {grid.delta.x, grid.delta.y, grid.delta.z};
    const int n[3] = {grid.nx, grid.ny, grid.nz};
    int outside = 0;
    for (const auto& v : mesh.vertices) {
        const float p[3] = {v.pos.x, v.pos.y, v.pos.z};
        for (int a = 0; a < 3; ++a)
            if (p[a] < o[a] + 2 * d[a] || p[a] > o[a] + (n[a] - 3) * d[a]) ++outside;
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(quorax::test::closedEulerCharacteristic(mesh), -1000) << "the surface is open or wound inconsistently";
    const ProcessResult q = runProcess(kTool, {obj, dx, dir.file("lines.txt"), "0.01", "0.0", "45", "1", "3.0"},
                                       dir.path(), {"QUORAX_SEED=3"});
    ASSERT_EQ(q.exitCode, 0) << q.out << q.err;
    EXPECT_EQ(q.err, "");
    EXPECT_NE(readFile(dir.file("lines.txt")).find("n\nv "), std::string::npos) << q.out;
}

class Prepare : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onPath("apbs") || !(onPath("pdb2pqr") || onPath("pdb2pqr30")))
            GTEST_SKIP() << "apbs and pdb2pqr are not installed";
    }
    TempDir dir;
};

} // namespace

TEST_F(Prepare, PqrFromApbsExamplesFeedsQuoraxAndReplacesOnlyWhenAsked) {
    if (!fs::exists(kAcetate)) GTEST_SKIP() << kAcetate << " missing (Debian package apbs-data)";
    const ProcessResult r = runProcess(kPrepare, {kAcetate, dir.file("out")}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* stage : {"[1/5] structure: ", "8 atoms, total charge -1.00 e", "[2/5] grid: 65 x 65 x 65 nodes, "
                              "spacing 0.500 A", "[3/5] APBS: ", "0.150 M salt", "[4/5] surface: ", "[5/5] wrote "})
        EXPECT_TRUE(has(r.out, stage));
    const std::string obj = dir.file("out/acetate.obj"), dx = dir.file("out/acetate.dx");
    EXPECT_TRUE(
        has(r.out, "  quorax " + obj + " " + dx + " " + dir.file("out/acetate_lines.txt") + " 0.01 0.0 45 1 3.0\n"));
    EXPECT_EQ(folderEntries(dir.file("out")), (std::vector<std::string>{"acetate.dx", "acetate.obj"}));
    checkOutputs(obj, dx, dir);
    // A second run refuses to overwrite; with --force it replaces both files
    // with the same bytes (the run is deterministic).
    const std::string objBytes = readFile(obj), dxBytes = readFile(dx);
    const ProcessResult again = runProcess(kPrepare, {kAcetate, dir.file("out")}, dir.path());
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "quorax-prepare: " + dx + " exists; give --force to replace it\n");
    const ProcessResult forced = runProcess(kPrepare, {kAcetate, dir.file("out"), "--force"}, dir.path());
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_TRUE(has(forced.out, "[5/5] replaced " + dx));
    EXPECT_EQ(readFile(obj), objBytes);
    EXPECT_EQ(readFile(dx), dxBytes);
    EXPECT_EQ(folderEntries(dir.file("out")), (std::vector<std::string>{"acetate.dx", "acetate.obj"}));
}

TEST_F(Prepare, PeptidePdbGoesThroughPdb2pqr) {
    // A coarser grid keeps APBS quick; the checks do not depend on it.
    fs::copy_file(kPeptide, dir.file("GKDE peptide.pdb"));
    const ProcessResult r = runProcess(kPrepare, {"GKDE peptide.pdb", "--spacing", "0.8"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "(PDB), pdb2pqr --ff=PARSE"));
    EXPECT_TRUE(has(r.out, "total charge -1.00 e")); // Lys+, Asp−, Glu−, termini ±
    EXPECT_TRUE(has(r.out, "spacing 0.800 A"));
    // The name has a blank: the printed command quotes it.
    EXPECT_TRUE(has(r.out, "  quorax './GKDE peptide.obj' './GKDE peptide.dx' './GKDE peptide_lines.txt' "));
    checkOutputs(dir.file("GKDE peptide.obj"), dir.file("GKDE peptide.dx"), dir);
}

TEST_F(Prepare, FailuresNameTheStepAndTheFileAndLeaveNothing) {
    dir.write("junk.pdb", "this is not a structure\n");
    dir.write("bad.pqr", "ATOM 1 N GLY 1 1.0 2.0 3.0 0.1 wide\n");
    // Five numbers at the end, but too few fields before them for APBS.
    dir.write("odd.pqr", "ATOM 1 N GLY 1 1.0 2.0 3.0 0.1\n");
    dir.write("afile", "x");
    dir.write("one.pqr", "ATOM 1 C MOL 1 0.0 0.0 0.0 0.0 1.5\n");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string error; // start of standard error
    };
    const Case cases[] = {
        {{"missing.pdb", "out"}, 1, "quorax-prepare: cannot read structure missing.pdb: No such file or directory\n"},
        {{"junk.pdb", "out"}, 1, "quorax-prepare: pdb2pqr failed on junk.pdb (exit status 1); the end of its output:\n"},
        {{"bad.pqr", "out"}, 1, "quorax-prepare: bad.pqr: line 1: atom radius \"wide\" is not a number\n"},
        {{"odd.pqr", "out"}, 1, "quorax-prepare: APBS failed on odd.pqr (exit status "},
        {{"one.pqr", "out", "--spacing=0.05", "--margin", "100"}, 1,
         "quorax-prepare: a grid of 4065 x 4065 x 4065 nodes for one.pqr is larger than 20 million nodes"},
        {{"bad.pqr", "afile"}, 1, "quorax-prepare: output folder afile: Not a directory\n"},
        {{}, 2, "quorax-prepare: no structure file given\n"},
        {{"a.pdb", "--spacing", "0"}, 2, "quorax-prepare: --spacing \"0\" is not a number from 0.05 to 5\n"},
        {{"a.pdb", "--grid"}, 2, "quorax-prepare: unknown option --grid (see --help)\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = runProcess(kPrepare, c.args, dir.path(), {"TMPDIR=" + dir.path()});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.size() << r.err;
        EXPECT_EQ(r.err.substr(0, c.error.size()), c.error);
        // Nothing new in the folder: no output folder, no work folder.
        EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"afile", "bad.pqr", "junk.pdb", "odd.pqr", "one.pqr"})) << r.err;
    }
    // pdb2pqr's own complaint follows its name.
    const ProcessResult junk = runProcess(kPrepare, {"junk.pdb"}, dir.path());
    EXPECT_TRUE(has(junk.err, "Error"));
    const ProcessResult help = runProcess(kPrepare, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: quorax-prepare STRUCTURE [OUTDIR] [OPTIONS]\n", 0), 0u);
    const ProcessResult version = runProcess(kPrepare, {"--version"});
    EXPECT_EQ(version.out, "quorax-prepare 2.0\n");
}
