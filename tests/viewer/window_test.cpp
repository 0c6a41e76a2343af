// The main window without GL (offscreen platform, never shown): its controls, its arguments, the decimal edits and
// model loading.
#include "number_text.h"
#include "viewer_test.h"

using namespace quorax;
using namespace quorax::test;

namespace {

// What a control shows: "label: text" for edits and spins, "caption [x]" for check boxes.
QString shown(const TForm1& form, QWidget* w) {
    QString label;
    for (const QLabel* l : form.findChildren<QLabel*>())
        if (l->buddy() == w) label = l->text() + ": ";
    if (auto* c = qobject_cast<QCheckBox*>(w)) return c->text() + (c->isChecked() ? " [x]" : " [ ]");
    if (auto* t = qobject_cast<QToolButton*>(w)) return t->toolTip();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return label + e->text();
    if (auto* s = qobject_cast<QSpinBox*>(w)) return label + QString::number(s->value());
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
    return "?";
}

const std::pair<const char*, const char*> kShown[] = {
    {"TB_loadmodel", "LOAD PLY REFERENCE MODEL"}, {"ToolButton3", "LOAD OBJ MODEL"}, {"Memo1", "Program Started"},
    {"Button1", "Read DX Potential"}, {"Button2", "Assign to ELECTROSTATIC   !"},
    {"Button5", "Assign to LIPOPHYLIC   !"}, {"Button3", "Export to OBJ"}, {"cb_drawgrid", "draw grid points [x]"},
    {"CB_surfcolor", "show potential color on surface [ ]"}, {"E_min_pot", "lower limit RAMP: 5.0"},
    {"E_max_pot", "upper limit RAMP: 15.0"}, {"off1", "off1"}, {"off2", "off2"}, {"off3", "off3"}, {"off4", "off4"},
    {"b_offsetpot", "offset POT"}, {"cb_showoff", "showOff [ ]"}, {"E_lower", "lower limit DISPLAY: 5,0"},
    {"E_upper", "upper limit DISPLAY: 15,0"}, {"E_lower_ramp", "lower limit RAMP: 5,0"},
    {"E_upper_ramp", "upper limit RAMP: 15,0"}, {"Eexe", "exe: quorax"}, {"Einput3d", "file 3D: molecule.obj"},
    {"Einputdx", "file DX: molecule.dx"}, {"Eoutputln", "linee: field_lines.txt"}, {"CSfrom3d", "0"},
    {"CSto3d", "100"}, {"CSstep3d", "3"}, {"CSfromdx", "0"}, {"CStodx", "100"}, {"CSstepdx", "3"}, {"CSfromln", "0"},
    {"CStoln", "100"}, {"CSstepln", "3"}, {"Edensitybat", "line density eV/A2: 0,01"},
    {"Egradientbat", "gradient halt: 0,0"}, {"Eanglebat", "angle halt: 45,0"},
    {"CB_reducebat", "do reduce points [ ]"}, {"Ereduceanglebat", "reduce angle: 3,0"}, {"Bgenbat", "generate BAT"},
    {"Memo2", "quorax 3Dfile DXfile linesfile densityvalue \nhaltgradient haltangle reducepoints \nreducevalue\n\n"
              "EXAMPLE:\nquorax.exe molecule.obj molecule.dx \nfield_lines.txt \n0.01 0.0 45.0 0 3.0"},
    {"B_gradient", "calculate grad"}, {"CB_usesmoothgrad", "Smooth gradient [x]"},
    {"CB_drawgrad", "show gradient [ ]"}, {"CB_slice", "slice [ ]"}, {"CS_slicenum", "10"}, {"E_lowerG", "0,1"},
    {"E_upperG", "1000"}, {"CSE_X", "10"}, {"CSE_Y", "10"}, {"CSE_Z", "10"}, {"calcline", "calc probe line"},
    {"E_numlinesX", "NUMBER of lines: 1000"}, {"Button6", "<- equal lines"},
    {"CSEintegrationsteps", "MAX line integration steps: 200"}, {"CSE_numlines", "NUMBER of lines: 200"},
    {"xxx", "OLD POW LINES"}, {"E_densityparam", "Lines x eV/A2: 0,01"}, {"B_powlines", "NEW POW LINES "},
    {"E_minpotline", "Min potential vertex: 0,0"}, {"CB_showfacepot", "x [ ]"}, {"B_func", "func"},
    {"CB_farfromsurface", "start far from surface [x]"}, {"E_haltgradient", "gradient lower limit HALT: 0,00"},
    {"E_haltangle", "line angle HALT: 45"}, {"CB_showlines", "show lines [ ]"},
    {"CB_lightingarc", "show lightning arc [ ]"}, {"CB_lightingbolt", "show lightning  bolt [ ]"},
    {"B_decor1", "DECO 1"}, {"E_skipsize", "skip size: 5,0"}, {"E_pyrsize", "pyr size: 2,0"},
    {"E_skiprand", "skip rand: 0,2"}, {"CB_showdeco", "show deco [ ]"}, {"B_exportdeco", "EXPORT DECO"},
    {"B_reducepoints_XXL", "Reduce points Strongly"}, {"Ereduceangle", "ANGLE: 3,0"},
    {"B_exportlines", "Export Lines"}, {"E_nomelinee", "field_lines.txt"}, {"b_expjson", "Export JSON"},
};

} // namespace

TEST(WindowControls, EveryControlHasItsCaptionDefaultAndLimits) {
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "QUORAX");
    for (const auto& [name, text] : kShown) {
        auto* w = form.findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(shown(form, w), text) << name;
    }
    for (const QSpinBox* s : {form.CSE_X, form.CSEintegrationsteps, form.CSE_numlines})
        EXPECT_EQ(std::tuple(s->minimum(), s->maximum(), s->singleStep()),
                  s == form.CSE_X ? std::tuple(1, 200, 10) : std::tuple(10, 2000, 10));
    const QTabWidget* tabs = form.PageControl1; // lists: their items and the one chosen
    EXPECT_EQ(tabs->tabText(0) + tabs->tabText(1) + tabs->tabText(2) + tabs->tabText(3) +
                  QString::number(tabs->currentIndex()), "POTENTIALOFFSBATLINES0");
    const QComboBox* axis = form.CB_xyzslice;
    EXPECT_EQ(axis->itemText(0) + axis->itemText(1) + axis->itemText(2) + axis->currentText(), "XYZX");
    QString radio = form.RGmeshdraw->title() + QString::number(form.RGmeshdraw->itemIndex());
    for (const QRadioButton* r : form.RGmeshdraw->findChildren<QRadioButton*>()) radio += r->text();
    EXPECT_EQ(radio, "MESH DRAW1hiddensolid");
}

// Every control says in a tooltip of one or two sentences what it does; the ones no operation reads say so.
TEST(WindowControls, EveryControlHasATooltip) {
    TForm1 form;
    for (const auto& [name, text] : kShown) {
        if (qobject_cast<QToolButton*>(form.findChild<QWidget*>(name)))
            continue; // the tool buttons' tooltips are their captions
        const QString tip = form.findChild<QWidget*>(name)->toolTip();
        EXPECT_TRUE(!tip.isEmpty() && tip.endsWith('.') && tip.count(". ") <= 1) << name << ": " << tip.toStdString();
    }
    for (QWidget* unused : {(QWidget*)form.CB_lightingarc, (QWidget*)form.CB_lightingbolt, (QWidget*)form.CB_xyzslice})
        EXPECT_TRUE(unused->toolTip().contains("earlier versions")) << unused->objectName().toStdString();
}

TEST(WindowArguments, OnlyEightArmTheAutomaticRunAndAnyNonZeroSeventhReduces) {
    const QStringList all = {"m.obj", "m.dx", "out.txt", "0.01", "0.5", "30", "0.5", "2.5"};
    for (const QStringList& args : {all.mid(0, 7), all + QStringList{"1"}, all}) {
        TForm1 form(args);
        const bool eight = args.size() == 8;
        EXPECT_TRUE(form.autotimer->isActive() == eight && form.autoRun == eight && form.argReduce == eight) << eight;
        // The three seconds count from the program's start: one already spent leaves two or a little less.
        form.countWaitFrom(std::chrono::steady_clock::now() - std::chrono::seconds(1));
        EXPECT_TRUE(eight ? form.autotimer->interval() > 1800 && form.autotimer->interval() <= 2000
                          : !form.autotimer->isActive()) << form.autotimer->interval();
        form.autotimer->stop(); // the pipeline must not start inside the test
    }
    TForm1 late(all);
    late.countWaitFrom(std::chrono::steady_clock::now() - std::chrono::seconds(5));
    EXPECT_EQ(late.autotimer->interval(), 0);
    late.autotimer->stop();
}

TEST(WindowDecimalEdits, CommaOrPointNoGroupingAndFramesKeepTheLastGoodValue) {
    TForm1 form;
    for (const auto& [text, value] : {std::pair{"0,01", 0.01f}, {"0.01", 0.01f}, {"1,000", 1.0f}}) {
        form.Ereduceangle->setText(text);
        EXPECT_FLOAT_EQ(form.floatOf(form.Ereduceangle), value) << text;
    }
    for (const char* text : {"1,000.5", ""}) {
        form.Ereduceangle->setText(text);
        EXPECT_THROW(form.floatOf(form.Ereduceangle), ConversionError) << text;
    }
    // A frame raises no error: a layer's edit keeps the last value that converted.
    form.E_min_pot->setText("abc");
    form.E_max_pot->setText("7,5");
    form.E_max_pot->setText("7,5x");
    EXPECT_EQ(std::pair(form.sceneInput().minPot, form.sceneInput().maxPot), std::pair(5.f, 7.5f));
}

namespace {

// Two triangles of the box (0, 0, 0)–(2, 3, 4), the first repeated; vertex 4 repeats vertex 1 and is not welded.
// (The PLY reader's own tests read every encoding and layout.)
const std::string kCornerObj = "v 0 0 0\nv 2 0 0\nv 0 3 0\nv 0 0 4\nv 2 0 0\nvn 0 0 1\nf 1 2 3\nf 1//1 4//1 2//1\n"
                               "f 1 2 3\n";
const std::string kCornerPly = plyFile(Ply::Ascii, "element vertex 5\n" + kXyz + "element face 3\n" + kFaceList,
                                       {"f0 f0 f0", "f2 f0 f0", "f0 f3 f0", "f0 f0 f4", "f2 f0 f0", "b3 i0 i1 i2",
                                        "b3 i0 i3 i1", "b3 i0 i1 i2"});

void expectCorner(const ViewerMesh& m) {
    // Unnormalised normals: faces (0, 0, 6) and (0, 8, 0), vertices their sums.
    const Vec3 pos[5] = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}, {2, 0, 0}};
    const Vec3 normal[5] = {{0, 8, 12}, {0, 8, 12}, {0, 0, 12}, {0, 8, 0}, {0, 0, 0}};
    ASSERT_EQ(std::pair(m.vertexCount(), m.faceCount()), std::pair(5, 3));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(m.tri.vertices[i].pos == pos[i] && m.tri.vertices[i].normal == normal[i]) << i;
    EXPECT_TRUE(m.tri.faces[1].v[1] == 3 && m.tri.faces[2].v[2] == 2);
    EXPECT_TRUE(m.bboxMin == (Vec3{0, 0, 0}) && m.bboxMax == (Vec3{2, 3, 4}));
}

} // namespace

using Loading = FormTest;

TEST_F(Loading, ObjAndPlyModelsAndFilesThatCannotBeRead) {
    open(form->ToolButton3, "corner.obj", kCornerObj);
    expectCorner(form->mesh);
    EXPECT_EQ(form->mesh.vertexData[3].color, kObjVertexColor);
    EXPECT_EQ(newLog(), (Log{"OBJ ok: v 5 t 3", "read OBJ model " + dir.file("corner.obj") + ": 5 vertices, 3 faces, 82 bytes"}));
    form->mesh.clear();
    open(form->TB_loadmodel, "corner.ply", kCornerPly);
    expectCorner(form->mesh);
    EXPECT_EQ(form->mesh.vertexData[3].color, kPlyVertexColor);
    EXPECT_EQ(newLog(), Log{"read PLY model " + dir.file("corner.ply") + ": 5 vertices, 3 faces, 208 bytes"});
    nextFile.clear(); // the user cancels both dialogs
    press(form->ToolButton3, form->TB_loadmodel);
    expectCorner(form->mesh);
    EXPECT_TRUE(newLog().empty());
    // A file that cannot be read leaves an empty model and one line.
    std::string bad = kCornerPly;
    bad.replace(bad.find("3 0 3 1\n"), 8, "3 0 9 1\n");
    open(form->TB_loadmodel, "bad.ply", bad);
    EXPECT_EQ(form->mesh.vertexCount() + form->mesh.faceCount() + int(form->mesh.vertexData.size()), 0);
    EXPECT_TRUE(form->mesh.bboxMin == (Vec3{1, 1, 1}) && form->mesh.bboxMax == (Vec3{-1, -1, -1})); // the empty box
    EXPECT_EQ(newLog(), Log{"cannot read PLY model \"" + dir.file("bad.ply") +
                            "\": line 16: face 1 names vertex 9, but the file has 5 vertices"});
}
