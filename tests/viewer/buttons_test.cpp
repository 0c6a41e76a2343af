// The buttons of the POTENTIAL, OFFS, LINES and BAT tabs pressed through QTest on a window that is never
// shown, and the automatic pipeline inside it: log lines word for word, line counts, the bytes of every export.
#include "viewer_test.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <tuple>

using namespace quorax;
using namespace quorax::test;

using Buttons = FormTest;

TEST_F(Buttons, PotentialActionsRefuseWithoutAGridAndClampToIt) {
    // φ = 10 + x on x = 0 … 5; the fourth vertex lies beyond the x = 5 face.
    open(form->ToolButton3, "m.obj", "v 2.5 1 1\nv 2 3 1\nv 2 3 3\nv 9 1 3\nf 1 2 3\nf 1 3 4\n");
    newLog();
    press(form->Button2, form->Button5, form->b_offsetpot, form->B_gradient, form->xxx, form->B_powlines,
          form->B_reducepoints_XXL);
    const std::string no = ": no potential grid has been read; nothing ";
    EXPECT_EQ(newLog(), (Log{"Assign to ELECTROSTATIC" + no + "assigned", "Assign to LIPOPHYLIC" + no + "assigned",
                             "offset POT" + no + "assigned", "calculate grad" + no + "computed",
                             "OLD POW LINES" + no + "traced", "NEW POW LINES" + no + "traced",
                             "Reduce points Strongly: no lines yet, nothing to reduce: trace lines first (NEW POW "
                             "LINES)"}));
    open(form->Button1, "grid.dx", linearDx(6));
    press(form->Button2, form->Button5);
    const ViewerVertexData* d = form->mesh.vertexData.data();
    EXPECT_EQ(std::tuple(d[0].electrostatic, d[3].electrostatic, d[1].lipophilic),
              std::tuple(12.5f, 15.0f, 12.0f)); // trilinear; the nearest point of the box
    const std::string out = ": 1 of 4 vertices lie outside the potential grid or on its upper faces and were "
                            "sampled at the nearest point of the grid box";
    EXPECT_EQ(newLog(), (Log{"read DX grid " + dir.file("grid.dx") + ": 6 x 6 x 6 nodes, potential 10 to 15, 882 bytes",
                             "Assign to ELECTROSTATIC" + out, "Assign to LIPOPHYLIC" + out}));
    press(form->b_offsetpot); // no offset surface yet
    open(form->off2, "off.ply",
         plyFile(Ply::Ascii, "element vertex 3\n" + kXyz, {"f2.5 f1 f1", "f3 f1 f1", "f6 f1 f1"}));
    press(form->b_offsetpot); // the node below each vertex, clamped into the grid
    const ViewerVertexData* o = form->offsetMeshes[1].vertexData.data();
    EXPECT_EQ(std::tuple(o[0].electrostatic, o[1].electrostatic, o[2].electrostatic), std::tuple(12.f, 13.f, 15.f));
    press(form->B_powlines);
    const Log log = newLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0], "offset POT: no offset surface loaded, nothing to assign to: load one with off1 ... off4 first");
    EXPECT_EQ(log[1], "read PLY offset surface " + dir.file("off.ply") + ": 3 vertices, 0 faces, 120 bytes");
    EXPECT_EQ(log[2], "offset POT: 1 vertices lie outside the potential grid and took the value of the nearest "
                      "border node");
    EXPECT_EQ(log[3], "NEW POW LINES: no gradient yet: press calculate grad");
    EXPECT_EQ(log[6], "NEW POW LINES: 1 face corners lie outside the potential grid or on its upper faces and "
                      "were sampled at the nearest point of the grid box");
}

TEST_F(Buttons, ReadDxPotentialTakesCompressedGrids) {
    EXPECT_EQ(form->Open_dx->nameFilters(), QStringList{"DX grid (*.dx *.dx.gz)"});
    nextFile = QString(QUORAX_EXAMPLES_DIR) + "/../tests/core/data/dx/apbs.dx.gz";
    newLog();
    press(form->Button1);
    EXPECT_EQ(newLog(), Log{"read DX grid " + std::filesystem::path(nextFile.toStdString()).lexically_normal().string() +
                            ": 9 x 9 x 9 nodes, potential -50.9404 to 66.12, 3321 bytes"});
    EXPECT_TRUE(form->potentialGrid.loaded && form->potentialGrid.nodeCount() == 729u);
    open(form->Button1, "cut.dx.gz", readFile(nextFile.toStdString()).substr(0, 1000));
    EXPECT_EQ(newLog(), Log{"DX grid \"" + dir.file("cut.dx.gz") + "\": the gzip data are cut short (the file is incomplete)"});
}

TEST_F(Buttons, GradientSeedingsAndProbeLine) {
    open(form->ToolButton3, "m.obj", kSquareObj);
    open(form->Button1, "grid.dx", linearDx(6));
    newLog();
    press(form->B_gradient);
    // Each face: |12| · area 2 · (1/3) per corner, 24 in all; 48 · 0.03 = 1.44: one line.
    form->E_densityparam->setText("0,03");
    press(form->B_powlines);
    EXPECT_EQ(form->fieldLines.size(), 1u);
    press(form->B_func); // squares the powers and their range
    EXPECT_EQ(std::pair(form->mesh.tri.faces[1].power, form->facePowerMax), std::pair(576.f, 576.f));
    form->E_densityparam->setText("0.05"); // 2.4: not fewer lines than faces: none
    press(form->B_powlines);
    EXPECT_TRUE(form->fieldLines.empty() && form->linesReady);
    // "OLD POW LINES" assigns first: |φ| = 12 at four vertices, all kept; none above 12.
    press(form->xxx);
    EXPECT_EQ(form->fieldLines.size(), 4u);
    form->E_minpotline->setText("12");
    press(form->xxx);
    const std::string minMax = " molecule min power value24 molecule max power value:24";
    EXPECT_EQ(newLog(), (Log{" grad max 1 grad min 1", " molecule power value48 line number:1", minMax,
                             " molecule power value48 line number:2", minMax,
                             "NEW POW LINES: the density asks for 2 lines, at least one per face (2 faces), and then "
                             "none is traced: lower Lines x eV/A2",
                             "found 4 candidates", "found 0 candidates"}));
    // The probe seed lies 10 grid spacings from the grid's origin on each axis; outside the grid, it is the line.
    form->gradientGrid.origin = {-3, 0, 0};
    form->gradientGrid.delta = {0.5f, 0.5f, 0.5f};
    press(form->calcline);
    EXPECT_TRUE(form->linesReady && form->fieldLines.empty());
    EXPECT_EQ(form->probeLine.points, (std::vector<Vec3>{{2, 5, 5}}));
    press(form->B_reducepoints_XXL); // the empty lines of the probe alone are counted
    EXPECT_EQ(newLog(), Log{"Removed: 0 points, remaining: 0"});
}

TEST_F(Buttons, SeedingRefusalsAndBounds) {
    // "<- equal lines", 1000 wanted: stride 25. Every seed lies outside a 4³ gradient grid: one-point lines.
    form->potentialGrid = potential(4, 1, {}, [](Vec3 p) { return 10.0f + p.x; });
    press(form->B_gradient);
    for (const auto& [faces, lines] : {std::pair{25999, 1040u}, {25000, 1000u}}) {
        form->mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, std::vector<std::array<int32_t, 3>>(faces, {0, 1, 2}));
        press(form->Button6);
        EXPECT_EQ(form->fieldLines.size(), lines);
    }
    // The seed: the centroid lifted by the unnormalised normal (0, 0, 1).
    EXPECT_TRUE(form->fieldLines[0][0] == (Vec3{1.0f / 3, 1.0f / 3, 1}));
    newLog();
    for (const char* wanted : {"0", "-5", "25001"}) {
        form->E_numlinesX->setText(wanted);
        press(form->Button6);
        EXPECT_EQ(newLog(), Log{"<- equal lines: the number of lines must lie between 1 and the face count (25000), "
                                "not " + std::string(wanted) + "; nothing traced"});
    }
    EXPECT_EQ(form->fieldLines.size(), 1000u);
    form->E_numlinesX->setText("10,5");
    press(form->Button6);
    EXPECT_EQ(errors, QStringList{"'10,5' is not a valid integer value"});
    // OLD POW: twelve candidates of weight 0.05 (m = trunc(10·w) = 0): no draw can remove one; the first ten stay.
    std::vector<Vec3> points(12);
    for (int i = 0; i < 12; ++i) points[i] = {2, float(1 + i % 4), float(1 + i / 4)};
    form->mesh = makeMesh(points, {});
    form->potentialGrid = potential(6, 1, {}, [](Vec3) { return 0.05f; });
    form->CSE_numlines->setValue(10);
    press(form->xxx);
    EXPECT_EQ(form->fieldLines.size(), 10u);
    // NEW POW: nine of ten faces wanted, eight taken about once in ten million visits: the strongest complete it.
    std::vector<std::array<int32_t, 3>> faces(10, {0, 3, 4});
    faces[0] = {0, 1, 2};
    form->potentialGrid = potential(2, 1, {}, [](Vec3) { return 1.0f; });
    form->mesh = makeMesh({{0, 0, 0}, {200, 0, 0}, {0, 100, 0}, {0.001f, 0, 0}, {0, 0.001f, 0}}, faces);
    form->E_densityparam->setText("0,00095");
    press(form->B_powlines);
    EXPECT_EQ(form->fieldLines.size(), 9u);
    const Log log = newLog();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 2),
              (Log{"found 12 candidates", "OLD POW LINES: no more candidates could be thinned out at random; kept the "
                                          "first 10"}));
    EXPECT_EQ(log[5], "NEW POW LINES: the random selection took too long; the strongest remaining faces completed it");
}

TEST_F(Buttons, Exports) {
    press(form->B_exportlines); // before any lines: empty files; no decorations: no file
    form->E_nomelinee->setText("lines.json");
    press(form->b_expjson, form->B_exportdeco);
    EXPECT_TRUE(dir.exists("lines.json") && dir.exists("field_lines.txt") && !dir.exists("decoration.obj"));
    EXPECT_EQ(dir.read("lines.json") + dir.read("field_lines.txt"), "");
    // Every write names the file by its full path, says what it holds and whether it replaced a file; an action
    // with nothing to work on says what to do.
    const std::string none = ": no lines (none traced yet: trace lines first, e.g. NEW POW LINES), 0 bytes";
    EXPECT_EQ(newLog(), (Log{"Export Lines: wrote " + dir.file("field_lines.txt") + none,
                             "Export JSON: wrote " + dir.file("lines.json") + none,
                             "EXPORT DECO: no decorations yet, nothing written: press DECO 1 first"}));
    form->linesReady = true;
    form->fieldLines = {{{{1, 2, 3}, {4, 5, 6}}}, {{{7, 8, 9}}}};
    press(form->b_expjson);
    EXPECT_EQ(newLog(), Log{"Export JSON: wrote " + dir.file("lines.json") +
                            ": 2 lines, 3 points, 117 bytes; it replaced the file that was there"});
    EXPECT_EQ(dir.read("lines.json"), "{\n\"lines\" : [\n[  1.000000, 2.000000, 3.000000, 4.000000, 5.000000, "
                                      "6.000000 ],\n[  7.000000, 8.000000, 9.000000 ]\n]\n}\n");
    form->fieldLines.clear();
    press(form->b_expjson);
    EXPECT_EQ(dir.read("lines.json"), "{\n\"lines\" : [\n]\n}\n");
    form->fieldLines = {{{{4.0f, -1.5f, 0.25f}, {4.5f, -1.0f, 0.0f}}}};
    form->E_nomelinee->setText("field_lines.txt");
    press(form->B_exportlines); // from the last point to the first
    EXPECT_EQ(dir.read("field_lines.txt"), "n\nv 4.500000 -1.000000 0.000000\nv 4.000000 -1.500000 0.250000\n");
    press(form->Button3); // no model: an empty file
    EXPECT_TRUE(dir.exists("mol.obj") && dir.read("mol.obj").empty());
    EXPECT_EQ(newLog().back(), "Export to OBJ: wrote " + dir.file("mol.obj") +
                                   ": 0 vertices, 0 faces (no model loaded: load an OBJ or PLY model first), 0 bytes");
    open(form->ToolButton3, "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ViewerVertexData* d = form->mesh.vertexData.data();
    std::tie(d[0].electrostatic, d[0].lipophilic, d[1].electrostatic) = std::tuple(-1.5f, 0.25f, 2.0f);
    press(form->Button3);
    EXPECT_EQ(dir.read("mol.obj"), "v 0.000000 0.000000 0.000000\nvt -1.500000 0.250000\n"
                                   "v 1.000000 0.000000 0.000000\nvt 2.000000 0.000000\n"
                                   "v 0.000000 1.000000 0.000000\nvt 0.000000 0.000000\nf 1/1 2/2 3/3\n");
    // Points (0, 0, 9 − k), walked from (0, 0, 0): skip 5 ends at B = (0, 0, 5), pyr 2 at (0, 0, 7): one head of
    // size 2 along +z, its base B ± 0.5·u, B ± 0.5·w with u = (1, 0, 0), w = (0, −1, 0); the base triangles last.
    form->fieldLines = {{}};
    for (int k = 0; k < 10; ++k) form->fieldLines[0].points.push_back({0, 0, float(9 - k)});
    press(form->B_decor1, form->B_exportdeco);
    const char *up = "0.500000 0.000000 5", *um = "-0.500000 0.000000 5", *wp = "0.000000 -0.500000 5",
               *wm = "0.000000 0.500000 5", *t = "0.000000 0.000000 7";
    const char* corners[] = {wp, up, t, um, wp, t, up, wm, t, wm, um, t, up, wp, wm, um, wm, wp};
    std::string expected;
    for (int c = 0; c < 18; ++c) {
        expected += "v " + std::string(corners[c]) + ".000000\n";
        if (c % 3 == 2) expected += QString::asprintf("f %d %d %d\n", c - 1, c, c + 1).toStdString();
    }
    EXPECT_EQ(dir.read("decoration.obj"), expected);
    form->linesReady = false; // without lines DECO 1 only empties the lists
    press(form->B_decor1, form->B_exportdeco);
    EXPECT_EQ(dir.read("decoration.obj"), "");
    // Names that cannot be written (a loop of links; a folder of the fixed name): the log says why.
    std::filesystem::create_symlink("loop2", "loop1");
    std::filesystem::create_symlink("loop1", "loop2");
    form->E_nomelinee->setText("loop1");
    for (const char* name : {"decoration.obj", "mol.obj", "esegui.bat"}) {
        std::filesystem::remove(name);
        std::filesystem::create_directory(name);
    }
    newLog();
    press(form->b_expjson, form->B_exportlines, form->B_exportdeco, form->Button3, form->Bgenbat);
    const std::string cannot = ": cannot write \"", loop = "loop1\": Too many levels of symbolic links";
    EXPECT_EQ(newLog(), (Log{"Export JSON" + cannot + loop, "Export Lines" + cannot + loop,
                             "EXPORT DECO" + cannot + ".//decoration.obj\": Is a directory",
                             "Export to OBJ" + cannot + ".//mol.obj\": Is a directory",
                             "generate BAT" + cannot + ".//esegui.bat\": Is a directory"}));
}

TEST_F(Buttons, ExportEntryTakesTheFormatFromTheFileName) {
    auto exportAs = [&](const std::string& name, const char* filter = nullptr) {
        if (filter) form->Save_export->selectNameFilter(filter);
        nextFile = QString::fromStdString(dir.file(name));
        form->A_export->trigger();
    };
    newLog();
    exportAs("lines.vtp"); // nothing to export yet: no file, the log says why
    exportAs("surface.ply", "Surface with potential, PLY (*.ply)");
    EXPECT_EQ(newLog(), (Log{"Export: cannot write \"" + dir.file("lines.vtp") + "\": no lines traced yet",
                             "Export: cannot write \"" + dir.file("surface.ply") + "\": no surface loaded"}));
    EXPECT_FALSE(dir.exists("lines.vtp") || dir.exists("surface.ply"));
    open(form->ToolButton3, "m.obj", kSquareObj);
    open(form->Button1, "grid.dx", linearDx(6));
    press(form->B_gradient);
    form->E_densityparam->setText("0.03");
    press(form->B_powlines);
    ASSERT_EQ(form->fieldLines.size(), 1u);
    const std::size_t points = form->fieldLines[0].size();
    newLog();
    // The filter decides between the kinds that share an extension; .stl and .vtk have one kind whatever the filter.
    exportAs("surface.ply", "Surface with potential, PLY (*.ply)");
    exportAs("tubes.ply", "Tubes for printing, PLY (*.ply)");
    exportAs("lines.vtp", "Lines, VTK XML PolyData (*.vtp)");
    exportAs("tubes.stl");
    exportAs("lines.vtk", "Surface with potential, PLY (*.ply)");
    const std::string one = "1 lines, " + std::to_string(points) + " points";
    const Log wrote = newLog();
    const std::string kinds[] = {"surface.ply: surface of 2 faces", "tubes.ply: tubes of " + one, "lines.vtp: " + one,
                                 "tubes.stl: tubes of " + one, "lines.vtk: " + one};
    ASSERT_EQ(wrote.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(wrote[i].starts_with("Export: wrote " + dir.path() + "/" + kinds[i] + ", ")) << wrote[i];
    exportAs("lines.txt");
    EXPECT_EQ(newLog(), Log{"Export: cannot write \"" + dir.file("lines.txt") +
                            "\": unknown file extension; accepted: lines .vtp, .vtk, .obj or .ply, tubes .stl, .obj "
                            "or .ply, surface .vtp or .ply"});
    // What each file holds is the writers' tests; here that each holds its kind.
    EXPECT_TRUE(has(dir.read("tubes.ply"), "element face "));
    EXPECT_TRUE(has(dir.read("lines.vtp"), "NumberOfPoints=\"" + std::to_string(points) + "\""));
    EXPECT_EQ(dir.read("lines.vtk").substr(0, 26), "# vtk DataFile Version 3.0");
}

TEST_F(Buttons, BatchFile) {
    press(form->Bgenbat);
    Log lines = splitLines(dir.read("esegui.bat"));
    const std::string numbers = " 0.010000 0.000000 45.000000 0 3.000000";
    ASSERT_EQ(lines.size(), 34u);
    EXPECT_EQ(lines[0], "quorax molecule0.obj molecule0.dx field_lines0.txt" + numbers);
    EXPECT_EQ(lines[33], "quorax molecule99.obj molecule99.dx field_lines99.txt" + numbers);
    form->CSto3d->setValue(9); // the shortest series ends the file; the others keep pace
    press(form->Bgenbat);
    lines = splitLines(dir.read("esegui.bat"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "quorax molecule9.obj molecule9.dx field_lines9.txt" + numbers);
    // A FROM beyond its TO: one line. A pattern of three characters takes the number in front; no exe, a space.
    for (QSpinBox* s : {form->CSto3d, form->CSfromdx, form->CSfromln}) s->setValue(5);
    form->CSfrom3d->setValue(7);
    form->Einput3d->setText("obj");
    form->CB_reducebat->setChecked(true);
    form->Eexe->clear();
    press(form->Bgenbat);
    const std::string one = " 7obj molecule5.dx field_lines5.txt 0.010000 0.000000 45.000000 1 3.000000\n";
    EXPECT_EQ(dir.read("esegui.bat"), one);
    // Refusals leave the previous file: steps that never reach TO, too many lines.
    form->CSfrom3d->setValue(0);
    for (QSpinBox* s : {form->CSstep3d, form->CSstepdx, form->CSstepln}) s->setValue(0);
    press(form->Bgenbat);
    form->CSstepln->setValue(1);
    form->CStoln->setValue(2000000000);
    press(form->Bgenbat);
    EXPECT_EQ(dir.read("esegui.bat"), one);
    const std::string bat = "generate BAT: wrote " + dir.file("esegui.bat") + ": ", replaced =
                                                                                   "; it replaced the file that was there";
    EXPECT_EQ(newLog(), (Log{bat + "34 lines, 3150 bytes", bat + "4 lines, 360 bytes" + replaced,
                             bat + "1 lines, 75 bytes" + replaced,
                             "generate BAT: no number series can ever pass its TO (each STEP is 0 or negative); "
                             "nothing written",
                             "generate BAT: the series would give 1999999996 lines, more than 1000000; nothing "
                             "written"}));
}

TEST_F(Buttons, BatchFileRunsWithSh) {
    // The example under the names of the series' only member.
    std::filesystem::copy_file(QUORAX_EXAMPLES_DIR "/fas2.obj", dir.file("molecule0.obj"));
    std::filesystem::copy_file(QUORAX_EXAMPLES_DIR "/fas2.dx", dir.file("molecule0.dx"));
    form->Eexe->setText(QUORAX_TOOL_PATH);
    for (QSpinBox* s : {form->CSto3d, form->CStodx, form->CStoln}) s->setValue(0);
    press(form->Bgenbat);
    const ProcessResult r = runProcess("/bin/sh", {"esegui.bat"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(linesInFile(dir.read("field_lines0.txt")), 10);
}

namespace {

// The automatic run started at once on `args` (bytes as a command line gives them): its exit status and what it
// printed on standard error.
class Unattended : public FormTest {
protected:
    // `meanwhile` runs while the run would wait its three seconds.
    std::pair<int, std::string> run(const std::vector<std::string>& args, const std::function<void()>& meanwhile = {}) {
        makeForm(std::make_unique<TForm1>(args));
        form->autotimer->stop();
        if (meanwhile) meanwhile();
        int status = -1;
        form->endProcess = [&status](int s) { status = s; };
        std::fflush(stderr);
        const int saved = dup(2), capture = ::open(dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(capture, 2);
        close(capture);
        form->autotimerTimer();
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        return {status, dir.read("stderr")};
    }
    const std::string square = "v 2 5 5\nv 2 7 5\nv 2 7 7\nv 2 5 7\nf 1 2 3\nf 1 3 4\n"; // inside the grid
    std::vector<std::string> args() {
        dir.write("square.obj", square);
        dir.write("grid.dx", linearDx(16));
        return {dir.file("square.obj"), dir.file("grid.dx"), dir.file("lines.txt"), "0.03", "0.0", "45", "1", "3.0"};
    }
};

} // namespace

// The run reads its inputs while it waits; a stage takes what was read only when the file is still the one read. Files
// replaced or rewritten in place during the wait give the run that starts on them after the wait.
TEST_F(Unattended, InputsChangedDuringTheWaitAreReadAsTheyAreAtTheirStage) {
    const auto a = args();
    const std::string obj = a[0], dx = a[1];
    const auto changeInputs = [&] {
        QTest::qWait(300); // the first reads are done
        dir.write("other.obj", "v 3 5 5\nv 3 7 5\nv 3 7 7\nv 3 5 7\nv 3 6 9\nf 1 2 3\nf 1 3 4\nf 4 3 5\n");
        std::filesystem::rename(dir.file("other.obj"), obj); // a new file under the old name
        std::ofstream(dx, std::ios::trunc) << dxText(16, [](int i, int j, int) { return 10.0 + 2 * i + j; }); // in place
    };
    ASSERT_EQ(run(a, changeInputs).first, 0);
    const Log changed = newLog();
    const std::string lines = dir.read("lines.txt");
    std::filesystem::remove(dir.file("lines.txt"));
    ASSERT_EQ(run(a).first, 0); // the run on the new files from the start
    EXPECT_EQ(newLog(), changed);
    EXPECT_EQ(dir.read("lines.txt"), lines);
    EXPECT_EQ(changed.at(1), "OBJ ok: v 5 t 3");
    EXPECT_NE(changed.at(7), " grad max 1 grad min 1");
}

TEST_F(Unattended, AutomaticRunInACommaLocale) {
    QLocale::setDefault(QLocale(QLocale::German));
    struct CLocaleAfter { ~CLocaleAfter() { QLocale::setDefault(QLocale::c()); } } restore;
    const auto a = args();
    const std::string obj = a[0], dx = a[1];
    ASSERT_EQ(run(a).first, 0);
    const Log log = newLog();
    ASSERT_EQ(log.size(), 19u);
    // 0.03 is stored as the float 0.0299999993294477…: 48 · 0.03 gives one line, which keeps three points.
    EXPECT_EQ(Log(log.begin(), log.begin() + 16),
              (Log{"loading model " + obj, "OBJ ok: v 4 t 2", "read OBJ model " + obj + ": 4 vertices, 2 faces, 48 bytes",
                   "loaded model " + obj, "loading dx " + dx,
                   "loading dx " + dx, "calculating field", " grad max 1 grad min 1", "field ok",
                   "Lines x eV/A2 0,0299999993294477", "gradient halt 0", "angle halt    45", "calculating lines",
                   " molecule power value48 line number:1", " molecule min power value24 molecule max power value:24",
                   "lines calculated"}));
    EXPECT_TRUE(std::regex_match(log[16], std::regex(R"(Removed: [1-9]\d* points, remaining: 3)"))) << log[16];
    EXPECT_EQ(log[17], "exporting lines " + dir.file("lines.txt"));
    EXPECT_TRUE(log[18].starts_with("Export Lines: wrote " + dir.file("lines.txt") + ": 1 lines, 3 points, ")) << log[18];
    EXPECT_TRUE(!form->cb_drawgrid->isChecked() && form->CB_showlines->isChecked());
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet5);
    EXPECT_EQ(linesInFile(dir.read("lines.txt")), 1);
}

TEST_F(Unattended, EveryErrorGoesToStandardErrorAndEndsTheRunWithOne) {
    std::filesystem::create_symlink("loop2.obj", dir.file("loop1.obj"));
    std::filesystem::create_symlink("loop1.obj", dir.file("loop2.obj"));
    std::filesystem::create_symlink("square.obj", dir.file("link.obj"));
    dir.write("grid.obj", linearDx(4));
    const std::string loop = dir.file("loop1.obj"), tooLong = dir.file(std::string(256, 'n') + ".obj");
    const std::string nan = "quorax1: error: 'NAN' is not a valid floating point value";
    const std::string cannot = "quorax1: error: cannot write lines file \"";
    const std::vector<std::tuple<std::size_t, std::string, std::string>> cases = {
        // Numbers the LINES tab's edits refuse: no box, the conversion error on standard error.
        {4, "-nan", nan}, {7, "nan", nan},
        {3, "1e39", "quorax1: error: 'INF' is not a valid floating point value"}, // beyond a float
        // The lines file: why it cannot be written; never an input.
        {2, dir.file("no/lines.txt"), cannot + dir.file("no/lines.txt") + "\": No such file or directory"},
        {2, loop, cannot + loop + "\": Too many levels of symbolic links"},
        {2, dir.file("link.obj"), "quorax1: error: refusing to write the lines file \"" + dir.file("link.obj") +
                                      "\": it is the same file as the input \"" + dir.file("square.obj") +
                                      "\"; nothing was read or written"},
        // Paths the file system refuses end the run, never the program.
        {0, loop, "cannot read model \"" + loop + "\": Too many levels of symbolic links"},
        {1, tooLong, "cannot read DX grid \"" + tooLong + "\": File name too long"},
        // A model without faces (here a grid), or of neither kind.
        {0, dir.file("grid.obj"), "OBJ model \"" + dir.file("grid.obj") + "\": no faces found: the file is empty or not in OBJ format"},
        {0, dir.file("grid.dx"), "the name ends neither in .obj nor in .ply"},
    };
    for (const auto& [at, value, message] : cases) {
        auto a = args();
        a[at] = value;
        const auto [status, err] = run(a);
        EXPECT_EQ(status, 1) << value;
        EXPECT_TRUE(has(err, message)) << value;
        EXPECT_FALSE(dir.exists("lines.txt")) << value;
        EXPECT_EQ(dir.read("square.obj"), square) << value;
    }
    // The grid is read beside the model: when both fail, only the model's error is told.
    auto both = args();
    both[0] = loop;
    both[1] = tooLong;
    const auto [status, err] = run(both);
    EXPECT_TRUE(status == 1 && has(err, "cannot read model") && !has(err, "DX grid")) << err;
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// A face at a vertex that is not finite is left out with a warning, and the rest of the surface gives its lines.
TEST_F(Unattended, AFaceAtAVertexThatIsNotFiniteIsLeftOut) {
    auto a = args();
    ASSERT_EQ(run(a).first, 0);
    const std::string clean = dir.read("lines.txt");
    dir.write("square.obj", square + "v nan 6 6\nf 1 2 5\n");
    const auto [status, err] = run(a);
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(has(err, "quorax1: warning: OBJ model \"" + a[0] + "\": 1 face was left out"));
    EXPECT_TRUE(dir.read("lines.txt") == clean);
}

// The "Faithful lines" group: hidden until ticked; TRACE seeds by flux and
// traces rk4 lines that end on the surface of the example molecule.
TEST_F(Buttons, FaithfulLinesGroupTracesFluxLinesToTheSurface) {
    EXPECT_FALSE(form->G_faithful->isChecked());
    EXPECT_TRUE(form->W_faithful->isHidden());
    form->G_faithful->setChecked(true);
    EXPECT_FALSE(form->W_faithful->isHidden());
    newLog();
    press(form->B_faithful);
    EXPECT_EQ(newLog(), Log{"FAITHFUL LINES: no potential grid has been read; nothing traced: press Read DX Potential"});
    nextFile = QString(QUORAX_EXAMPLES_DIR) + "/fas2.obj";
    press(form->ToolButton3);
    nextFile = QString(QUORAX_EXAMPLES_DIR) + "/fas2.dx";
    press(form->Button1);
    form->CB_seeding->setCurrentText("flux");
    form->E_densityparam->setText("0.005");
    newLog();
    press(form->B_faithful);
    const Log log = newLog();
    ASSERT_EQ(log.size(), 2u) << log.size();
    EXPECT_EQ(log[0].rfind("FAITHFUL LINES: flux 48", 0), 0u) << log[0];
    EXPECT_GT(form->fieldLines.size(), 200u);
    std::size_t ends = 0;
    for (const FieldLine& l : form->fieldLines)
        ends += (l.backward == StopReason::Surface) + (l.forward == StopReason::Surface);
    EXPECT_GT(ends, form->fieldLines.size()); // most lines leave and come back
    EXPECT_NE(log[1].find(std::to_string(ends) + " ends on the surface"), std::string::npos) << log[1];
}
