// The buttons of the POTENTIAL, OFFS, LINES and BAT tabs pressed through
// QTest: log lines, line counts and the bytes of every export.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "form_fixture.h"
#include "model_support.h"

using namespace quorax;
using namespace quorax::test;

using Log = std::vector<std::string>;

namespace {

FieldLine straight(int n) {
    FieldLine l;
    for (int i = 0; i < n; ++i) l.push_back({float(i), 0, 0});
    return l;
}

} // namespace

using Buttons = FormTest;

TEST_F(Buttons, ActionsThatNeedAGridRefuseWithoutOne) {
    loadObj(kSquareObj);
    newLog();
    for (QAbstractButton* b : {form->Button2, form->Button5, form->b_offsetpot, form->B_gradient, form->xxx,
                               form->B_powlines, form->B_reducepoints_XXL})
        press(b);
    // "Reduce points Strongly" before any lines: nothing, not even a line.
    EXPECT_EQ(newLog(), (Log{"Assign to ELECTROSTATIC: no potential grid has been read; nothing assigned",
                             "Assign to LIPOPHYLIC: no potential grid has been read; nothing assigned",
                             "offset POT: no potential grid has been read; nothing assigned",
                             "calculate grad: no potential grid has been read; nothing computed",
                             "OLD POW LINES: no potential grid has been read; nothing traced",
                             "NEW POW LINES: no potential grid has been read; nothing traced"}));
    EXPECT_FALSE(form->linesReady);
}

TEST_F(Buttons, PotentialAndOffsetActions) {
    // The fourth vertex lies beyond the grid's x = 5 face.
    loadObj("v 2 1 1\nv 2 3 1\nv 2 3 3\nv 9 1 3\nf 1 2 3\nf 1 3 4\n");
    readDx(linearDx(6));
    newLog();
    press(form->Button2);
    // φ = 10 + x: 12 on the plane x = 2; 15 at the clamped x = 5.
    EXPECT_EQ(form->mesh.vertexData[1].electrostatic, 12.0f);
    EXPECT_EQ(form->mesh.vertexData[3].electrostatic, 15.0f);
    EXPECT_EQ(newLog(), (Log{"Assign to ELECTROSTATIC: 1 of 4 vertices lie outside the potential grid and were "
                             "sampled at the nearest point of the grid box"}));
    press(form->Button5);
    EXPECT_EQ(form->mesh.vertexData[1].lipophilic, 12.0f);
    newLog();

    // No offset surface loaded: nothing changes, nothing is said.
    press(form->b_offsetpot);
    EXPECT_TRUE(newLog().empty());
    // off2 loads a PLY surface; the lower node of x = 2.5 is node 2.
    choose("off.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                      "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                      "2.5 1 1\n3 1 1\n20 1 1\n3 0 1 2\n");
    press(form->off2);
    ASSERT_EQ(form->offsetMeshes[1].vertexCount(), 3);
    press(form->b_offsetpot);
    EXPECT_EQ(form->offsetMeshes[1].vertexData[0].electrostatic, 12.0f);
    EXPECT_EQ(form->offsetMeshes[1].vertexData[1].electrostatic, 13.0f);
    EXPECT_EQ(form->offsetMeshes[1].vertexData[2].electrostatic, 15.0f);
    EXPECT_EQ(newLog(), (Log{"offset POT: 1 vertices lie outside the potential grid and took the value of the "
                             "nearest border node"}));

    // The face with the far corner makes NEW POW LINES say so.
    press(form->B_powlines);
    const Log log = newLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2], "NEW POW LINES: 1 face corners lie outside the potential grid and were sampled at the "
                      "nearest point of the grid box");
}

TEST_F(Buttons, GradientNewPowLinesAndFunc) {
    loadObj(kSquareObj);
    readDx(linearDx(6));
    newLog();
    press(form->B_gradient);
    // Forward differences of 10 + x are (1, 0, 0) everywhere; smoothing keeps them.
    EXPECT_EQ(newLog(), (Log{" grad max 1 grad min 1"}));

    // Each face: |12| · area 2 · (1/3) per corner, 24 in all; total 48.
    // 48 · 0.03 = 1.44: one line. Equal powers take the first visited face.
    form->E_densityparam->setText("0,03");
    press(form->B_powlines);
    EXPECT_EQ(newLog(), (Log{" molecule power value48 line number:1",
                             " molecule min power value24 molecule max power value:24"}));
    EXPECT_EQ(form->fieldLines.size(), 1u);
    EXPECT_TRUE(form->linesReady);
    EXPECT_EQ(form->facePowerMin, 24.0f);

    // "func" squares the powers and their range, twice the fourth power.
    press(form->B_func);
    EXPECT_EQ(form->mesh.tri.faces[1].power, 576.0f);
    press(form->B_func);
    EXPECT_EQ(form->facePowerMax, 331776.0f);
    EXPECT_TRUE(newLog().empty());

    // 48 · 0.05 = 2.4: two lines for two faces, at least the face count: none.
    form->E_densityparam->setText("0.05");
    press(form->B_powlines);
    EXPECT_EQ(newLog()[0], " molecule power value48 line number:2");
    EXPECT_TRUE(form->fieldLines.empty());
    EXPECT_TRUE(form->linesReady);

    // Nine of ten faces wanted, eight of them so weak that a visit takes one
    // about once in ten million: the walk gives up and says so.
    std::vector<std::array<int32_t, 3>> faces(10, {0, 3, 4});
    faces[0] = {0, 1, 2};
    form->potentialGrid = makeGrid(2, [](int, int, int) { return 1.0f; });
    form->mesh = makeMesh({{0, 0, 0}, {200, 0, 0}, {0, 100, 0}, {0.001f, 0, 0}, {0, 0.001f, 0}}, faces);
    form->E_densityparam->setText("0,00095");
    press(form->B_powlines);
    const Log log = newLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(log[0].ends_with(" line number:9")) << log[0];
    EXPECT_EQ(log[3], "NEW POW LINES: the random selection took too long; the strongest remaining faces completed it");
    EXPECT_EQ(form->fieldLines.size(), 9u);

    // A density that does not convert stops after the lines were emptied.
    form->fieldLines = {straight(2)};
    form->E_densityparam->setText("abc");
    press(form->B_powlines);
    EXPECT_EQ(errors, QStringList{"'abc' is not a valid floating point value"});
    EXPECT_TRUE(form->fieldLines.empty());
    EXPECT_FALSE(form->linesReady);
}

TEST_F(Buttons, EqualLinesCountsAndRefusals) {
    // A tiny gradient grid: every seed lies outside it and gives a one-point line.
    form->potentialGrid = makeGrid(4, [](int i, int, int) { return 10.0f + i; });
    press(form->B_gradient);
    form->mesh = repeatedTriangle(25999);
    press(form->Button6); // 1000 wanted: stride 25, faces 0 … 25975
    EXPECT_EQ(form->fieldLines.size(), 1040u);
    // Each line is its seed alone: the centroid of the unit right triangle
    // lifted by the unnormalised normal (1,0,0) × (0,1,0) = (0,0,1).
    ASSERT_EQ(form->fieldLines[0].size(), 1u);
    EXPECT_FLOAT_EQ(form->fieldLines[0][0].x, 1.0f / 3.0f);
    EXPECT_EQ(form->fieldLines[0][0].z, 1.0f);
    form->mesh = repeatedTriangle(25000);
    press(form->Button6);
    EXPECT_EQ(form->fieldLines.size(), 1000u);
    newLog();

    for (const char* wanted : {"0", "-5", "25001"}) {
        form->E_numlinesX->setText(wanted);
        press(form->Button6);
        EXPECT_EQ(newLog(), (Log{"<- equal lines: the number of lines must lie between 1 and the face count "
                                 "(25000), not " + std::string(wanted) + "; nothing traced"}));
        EXPECT_EQ(form->fieldLines.size(), 1000u); // unchanged
    }
    form->E_numlinesX->setText("10,5");
    press(form->Button6);
    EXPECT_EQ(errors, QStringList{"'10,5' is not a valid integer value"});
}

TEST_F(Buttons, OldPowLines) {
    loadObj(kSquareObj);
    readDx(linearDx(6));
    newLog();
    // Every vertex gets |φ| = 12 > 0: four candidates, fewer than the 200 kept.
    press(form->xxx);
    EXPECT_EQ(newLog(), (Log{"found 4 candidates"}));
    EXPECT_EQ(form->fieldLines.size(), 4u);
    EXPECT_EQ(form->mesh.vertexData[0].electrostatic, 12.0f); // assigned first
    form->E_minpotline->setText("12");
    press(form->xxx);
    EXPECT_EQ(newLog(), (Log{"found 0 candidates"}));
    EXPECT_TRUE(form->fieldLines.empty());

    // Twelve candidates of weight 0.05 (m = 0): the first ten are kept.
    std::string obj;
    for (int i = 0; i < 12; ++i) obj += "v 2 " + std::to_string(1 + i % 4) + " " + std::to_string(1 + i / 4) + "\n";
    loadObj(obj);
    readDx(dxText(6, [](int, int, int) { return 0.05; }));
    form->E_minpotline->setText("0,0");
    form->CSE_numlines->setValue(10);
    newLog();
    press(form->xxx);
    EXPECT_EQ(newLog(), (Log{"found 12 candidates",
                             "OLD POW LINES: no more candidates could be thinned out at random; kept the first 10"}));
    EXPECT_EQ(form->fieldLines.size(), 10u);
}

TEST_F(Buttons, ProbeLineAndReduce) {
    // Spacing 0.5 from origin (−3, 0, 0): node (10, 5, 5) is at (2, 2.5, 2.5).
    form->potentialGrid = makeGrid(12, [](int i, int, int) { return 10.0f + i; }, 0.5f, {-3, 0, 0});
    press(form->B_gradient);
    form->CSE_X->setValue(10);
    form->CSE_Y->setValue(5);
    form->CSE_Z->setValue(5);
    press(form->calcline);
    EXPECT_TRUE(form->linesReady);
    EXPECT_TRUE(form->fieldLines.empty());
    ASSERT_GT(form->probeLine.size(), 1u);
    bool seedFound = false;
    for (const Vec3& p : form->probeLine) seedFound = seedFound || p == Vec3{2, 2.5f, 2.5f};
    EXPECT_TRUE(seedFound);
    const std::size_t probePoints = form->probeLine.size();
    newLog();

    // After the probe line alone the (empty) lines are simplified and counted.
    press(form->B_reducepoints_XXL);
    EXPECT_EQ(newLog(), (Log{"Removed: 0 points, remaining: 0"}));
    // Straight lines keep their first and last two points: 5 → 3, 8 → 3.
    form->fieldLines = {straight(5), straight(8)};
    press(form->B_reducepoints_XXL);
    EXPECT_EQ(newLog(), (Log{"Removed: 7 points, remaining: 6"}));
    EXPECT_EQ(form->probeLine.size(), probePoints); // straight, but not simplified
}

TEST_F(Buttons, LinesFileJsonAndObjExports) {
    // Not ready: both line exports leave an empty file.
    press(form->B_exportlines);
    EXPECT_EQ(dir.read("field_lines.txt"), "");
    form->E_nomelinee->setText("lines.json");
    press(form->b_expjson);
    ASSERT_TRUE(dir.exists("lines.json"));
    EXPECT_EQ(dir.read("lines.json"), "");

    form->linesReady = true;
    form->fieldLines = {{{4.0f, -1.5f, 0.25f}, {4.5f, -1.0f, 0.0f}}};
    form->E_nomelinee->setText("field_lines.txt");
    press(form->B_exportlines);
    // Points from the last to the first.
    EXPECT_EQ(dir.read("field_lines.txt"), "n\nv 4.500000 -1.000000 0.000000\nv 4.000000 -1.500000 0.250000\n");

    form->fieldLines = {{{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}}};
    form->E_nomelinee->setText("lines.json");
    press(form->b_expjson);
    EXPECT_EQ(dir.read("lines.json"), "{\n\"lines\" : [\n"
                                      "[  1.000000, 2.000000, 3.000000, 4.000000, 5.000000, 6.000000 ],\n"
                                      "[  7.000000, 8.000000, 9.000000 ]\n"
                                      "]\n}\n");
    form->fieldLines.clear();
    press(form->b_expjson);
    EXPECT_EQ(dir.read("lines.json"), "{\n\"lines\" : [\n]\n}\n");

    // A file that cannot be replaced (the temporary name beside it would be
    // too long) keeps its old bytes, and the log says why.
    const std::string longName(250, 'L');
    dir.write(longName, "old");
    form->E_nomelinee->setText(QString::fromStdString(longName));
    newLog();
    press(form->b_expjson);
    press(form->B_exportlines);
    EXPECT_EQ(newLog(), (Log{"Export JSON: cannot write \"" + longName + "\": File name too long",
                             "Export Lines: cannot write \"" + longName + "\": File name too long"}));
    EXPECT_EQ(dir.read(longName), "old");

    // OBJ with no model: an empty file. The one-triangle example.
    press(form->Button3);
    EXPECT_EQ(dir.read("mol.obj"), "");
    loadObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const float electrostatic[] = {-1.5f, 2.0f, 0.0f}, lipophilic[] = {0.25f, 0.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        form->mesh.vertexData[i].electrostatic = electrostatic[i];
        form->mesh.vertexData[i].lipophilic = lipophilic[i];
    }
    press(form->Button3);
    EXPECT_EQ(dir.read("mol.obj"), "v 0.000000 0.000000 0.000000\n"
                                   "vt -1.500000 0.250000\n"
                                   "v 1.000000 0.000000 0.000000\n"
                                   "vt 2.000000 0.000000\n"
                                   "v 0.000000 1.000000 0.000000\n"
                                   "vt 0.000000 0.000000\n"
                                   "f 1/1 2/2 3/3\n");
}

TEST_F(Buttons, DecorationsPlacedAndExported) {
    // Nothing placed yet: no file.
    press(form->B_exportdeco);
    EXPECT_FALSE(dir.exists("decoration.obj"));

    // Points (0, 0, 9 − k), 1 apart: skip 5 ends at point 4 = (0, 0, 5), pyr 2
    // at point 2; one arrow head of size 2 pointing along +z.
    form->fieldLines = {{}};
    for (int k = 0; k < 10; ++k) form->fieldLines[0].push_back({0, 0, float(9 - k)});
    form->linesReady = true;
    press(form->B_decor1);
    ASSERT_EQ(form->decorationPositions.size(), 1u);
    press(form->B_exportdeco);
    // u = (1, 0, 0), w = (0, −1, 0), h = 0.5, tip (0, 0, 7): W+, U+, T; U−, W+, T;
    // U+, W−, T; W−, U−, T; then the base U+, W+, W− and U−, W−, W+.
    EXPECT_EQ(dir.read("decoration.obj"), "v 0.000000 -0.500000 5.000000\nv 0.500000 0.000000 5.000000\n"
                                          "v 0.000000 0.000000 7.000000\nf 1 2 3\n"
                                          "v -0.500000 0.000000 5.000000\nv 0.000000 -0.500000 5.000000\n"
                                          "v 0.000000 0.000000 7.000000\nf 4 5 6\n"
                                          "v 0.500000 0.000000 5.000000\nv 0.000000 0.500000 5.000000\n"
                                          "v 0.000000 0.000000 7.000000\nf 7 8 9\n"
                                          "v 0.000000 0.500000 5.000000\nv -0.500000 0.000000 5.000000\n"
                                          "v 0.000000 0.000000 7.000000\nf 10 11 12\n"
                                          "v 0.500000 0.000000 5.000000\nv 0.000000 -0.500000 5.000000\n"
                                          "v 0.000000 0.500000 5.000000\nf 13 14 15\n"
                                          "v -0.500000 0.000000 5.000000\nv 0.000000 0.500000 5.000000\n"
                                          "v 0.000000 -0.500000 5.000000\nf 16 17 18\n");

    // Without lines DECO 1 only empties the lists; the export then writes
    // an empty file.
    form->linesReady = false;
    press(form->B_decor1);
    EXPECT_TRUE(form->decorationPositions.empty());
    EXPECT_TRUE(form->decorationsReady);
    press(form->B_exportdeco);
    EXPECT_EQ(dir.read("decoration.obj"), "");

    // The fixed names cannot be written over a folder: the log says so.
    std::filesystem::remove("decoration.obj");
    std::filesystem::create_directory("decoration.obj");
    std::filesystem::create_directory("mol.obj");
    newLog();
    press(form->B_exportdeco);
    press(form->Button3);
    EXPECT_EQ(newLog(), (Log{"EXPORT DECO: cannot write \".//decoration.obj\": Is a directory",
                             "Export to OBJ: cannot write \".//mol.obj\": Is a directory"}));
}

TEST_F(Buttons, BatchFile) {
    press(form->Bgenbat);
    std::vector<std::string> lines = splitLines(dir.read("esegui.bat"));
    ASSERT_EQ(lines.size(), 34u);
    EXPECT_EQ(lines[0], "quorax molecule0.obj molecule0.dx field_lines0.txt 0.010000 0.000000 45.000000 0 3.000000");
    EXPECT_EQ(lines[33], "quorax molecule99.obj molecule99.dx field_lines99.txt 0.010000 0.000000 45.000000 0 "
                         "3.000000");

    for (QSpinBox* s : {form->CSfrom3d, form->CSto3d, form->CSfromdx, form->CStodx, form->CSfromln, form->CStoln})
        s->setValue(5);
    form->CB_reducebat->setChecked(true);
    form->Eexe->clear();
    press(form->Bgenbat);
    const std::string one = " molecule5.obj molecule5.dx field_lines5.txt 0.010000 0.000000 45.000000 1 3.000000\n";
    EXPECT_EQ(dir.read("esegui.bat"), one);
    newLog();

    // Refusals leave the previous file as it was: a number that does not
    // convert, steps that never reach TO, too many lines, a folder in the way.
    form->Edensitybat->setText("0,01x");
    press(form->Bgenbat);
    EXPECT_EQ(errors, QStringList{"'0,01x' is not a valid floating point value"});
    form->Edensitybat->setText("0,01");
    for (QSpinBox* s : {form->CSstep3d, form->CSstepdx, form->CSstepln}) s->setValue(0);
    press(form->Bgenbat);
    form->CSstepln->setValue(1);
    form->CStoln->setValue(2000000000);
    press(form->Bgenbat);
    EXPECT_EQ(newLog(), (Log{"generate BAT: no number series can ever pass its TO (each STEP is 0 or negative); "
                             "nothing written",
                             "generate BAT: the series would give 1999999996 lines, more than 1000000; nothing "
                             "written"}));
    EXPECT_EQ(dir.read("esegui.bat"), one);
    std::filesystem::remove("esegui.bat");
    std::filesystem::create_directory("esegui.bat");
    form->CStoln->setValue(5);
    press(form->Bgenbat);
    EXPECT_EQ(newLog(), (Log{"generate BAT: cannot write \".//esegui.bat\": Is a directory"}));
}

TEST_F(Buttons, BatchFileRunsWithSh) {
    // The example copied under the names of the series' first member.
    std::filesystem::copy_file(QUORAX_EXAMPLES_DIR "/fas2.obj", dir.file("molecule0.obj"));
    std::filesystem::copy_file(QUORAX_EXAMPLES_DIR "/fas2.dx", dir.file("molecule0.dx"));
    form->Eexe->setText(QUORAX_TOOL_PATH);
    for (QSpinBox* s : {form->CSto3d, form->CStodx, form->CStoln}) s->setValue(0);
    press(form->Bgenbat);
    const ProcessResult r = runProcess("/bin/sh", {"esegui.bat"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The lines file: "n" before each line, then "v x y z" with six decimals.
    const std::vector<std::string> lines = splitLines(dir.read("field_lines0.txt"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "n");
    const std::regex point(R"(v -?\d+\.\d{6} -?\d+\.\d{6} -?\d+\.\d{6})");
    int starts = 0;
    for (const std::string& l : lines) {
        starts += l == "n";
        EXPECT_TRUE(l == "n" || std::regex_match(l, point)) << l;
    }
    EXPECT_GT(starts, 10);
}
