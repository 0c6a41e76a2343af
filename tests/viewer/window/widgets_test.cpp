// The main window without GL: every control found by its objectName with its
// caption, default and limits; the start-up state; the command-line
// arguments; the decimal edits. Runs on the offscreen platform, the window
// never shown.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include "gl_panel.h"
#include "number_text.h"
#include "radio_group.h"
#include "tform1.h"
#include "window_test_support.h"

using namespace quorax;
using window_test::logLines;

namespace {

template <class W> W* control(const TForm1& form, const char* name) {
    auto* w = form.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name << " missing or of another kind";
    return w;
}

// The label beside an edit or spin: the QLabel whose buddy it is.
QString labelOf(const TForm1& form, const QWidget* w) {
    for (const QLabel* l : form.findChildren<QLabel*>())
        if (l->buddy() == w) return l->text();
    return {};
}

const std::pair<const char*, const char*> kButtons[] = {
    {"Button1", "Read DX Potential"},
    {"Button2", "Assign to ELECTROSTATIC   !"},
    {"Button5", "Assign to LIPOPHYLIC   !"},
    {"Button3", "Export to OBJ"},
    {"off1", "off1"},
    {"off2", "off2"},
    {"off3", "off3"},
    {"off4", "off4"},
    {"b_offsetpot", "offset POT"},
    {"Bgenbat", "generate BAT"},
    {"B_gradient", "calculate grad"},
    {"calcline", "calc probe line"},
    {"Button6", "<- equal lines"},
    {"xxx", "OLD POW LINES"},
    {"B_powlines", "NEW POW LINES "},
    {"B_func", "func"},
    {"B_decor1", "DECO 1"},
    {"B_exportdeco", "EXPORT DECO"},
    {"B_reducepoints_XXL", "Reduce points Strongly"},
    {"B_exportlines", "Export Lines"},
    {"b_expjson", "Export JSON"},
};

struct CheckRow {
    const char *name, *caption;
    bool checked;
};
const CheckRow kChecks[] = {
    {"cb_drawgrid", "draw grid points", true},
    {"CB_surfcolor", "show potential color on surface", false},
    {"cb_showoff", "showOff", false},
    {"CB_reducebat", "do reduce points", false},
    {"CB_usesmoothgrad", "Smooth gradient", true},
    {"CB_drawgrad", "show gradient", false},
    {"CB_slice", "slice", false},
    {"CB_showfacepot", "x", false},
    {"CB_farfromsurface", "start far from surface", true},
    {"CB_showlines", "show lines", false},
    {"CB_lightingarc", "show lightning arc", false},
    {"CB_lightingbolt", "show lightning  bolt", false},
    {"CB_showdeco", "show deco", false},
};

struct EditRow {
    const char *name, *text, *label; // label "" when the edit has none of its own
};
const EditRow kEdits[] = {
    {"E_min_pot", "5.0", "lower limit RAMP"},
    {"E_max_pot", "15.0", "upper limit RAMP"},
    {"E_lower", "5,0", "lower limit DISPLAY"},
    {"E_upper", "15,0", "upper limit DISPLAY"},
    {"E_lower_ramp", "5,0", "lower limit RAMP"},
    {"E_upper_ramp", "15,0", "upper limit RAMP"},
    {"Eexe", "quorax", "exe"},
    {"Einput3d", "molecule.obj", "file 3D"},
    {"Einputdx", "molecule.dx", "file DX"},
    {"Eoutputln", "field_lines.txt", "linee"},
    {"Edensitybat", "0,01", "line density eV/A2"},
    {"Egradientbat", "0,0", "gradient halt"},
    {"Eanglebat", "45,0", "angle halt"},
    {"Ereduceanglebat", "3,0", "reduce angle"},
    {"E_lowerG", "0,1", ""},
    {"E_upperG", "1000", ""},
    {"E_numlinesX", "1000", "NUMBER of lines"},
    {"E_densityparam", "0,01", "Lines x eV/A2"},
    {"E_minpotline", "0,0", "Min potential vertex"},
    {"E_haltgradient", "0,00", "gradient lower limit HALT"},
    {"E_haltangle", "45", "line angle HALT"},
    {"E_skipsize", "5,0", "skip size"},
    {"E_pyrsize", "2,0", "pyr size"},
    {"E_skiprand", "0,2", "skip rand"},
    {"Ereduceangle", "3,0", "ANGLE"},
    {"E_nomelinee", "field_lines.txt", ""},
};

struct SpinRow {
    const char* name;
    int value, min, max, step;
};
const SpinRow kSpins[] = {
    {"CSE_X", 10, 1, 200, 10},           {"CSE_Y", 10, 1, 200, 10},
    {"CSE_Z", 10, 1, 200, 10},           {"CSEintegrationsteps", 200, 10, 2000, 10},
    {"CSE_numlines", 200, 10, 2000, 10},
};

} // namespace

TEST(WindowControls, EveryControlHasItsCaptionDefaultAndLimits) {
    TForm1 form;
    for (const auto& [name, caption] : kButtons)
        if (auto* b = control<QPushButton>(form, name)) {
            EXPECT_EQ(b->text(), caption) << name;
        }
    for (const CheckRow& r : kChecks)
        if (auto* c = control<QCheckBox>(form, r.name)) {
            EXPECT_EQ(c->text(), r.caption) << r.name;
            EXPECT_EQ(c->isChecked(), r.checked) << r.name;
        }
    for (const EditRow& r : kEdits)
        if (auto* e = control<QLineEdit>(form, r.name)) {
            EXPECT_EQ(e->text(), r.text) << r.name;
            if (*r.label) {
                EXPECT_EQ(labelOf(form, e), r.label) << r.name;
            }
        }
    for (const SpinRow& r : kSpins)
        if (auto* s = control<QSpinBox>(form, r.name)) {
            EXPECT_EQ(s->value(), r.value) << r.name;
            EXPECT_EQ(s->minimum(), r.min) << r.name;
            EXPECT_EQ(s->maximum(), r.max) << r.name;
            EXPECT_EQ(s->singleStep(), r.step) << r.name;
        }
    EXPECT_EQ(labelOf(form, form.CSEintegrationsteps), "MAX line integration steps");
    EXPECT_EQ(labelOf(form, form.CSE_numlines), "NUMBER of lines");
    // The batch file's number series, FROM 0, TO 100, STEP 3 each, and the slice.
    for (const auto& [name, value] : {std::pair{"CSfrom3d", 0},
                                      {"CSto3d", 100},
                                      {"CSstep3d", 3},
                                      {"CSfromdx", 0},
                                      {"CStodx", 100},
                                      {"CSstepdx", 3},
                                      {"CSfromln", 0},
                                      {"CStoln", 100},
                                      {"CSstepln", 3},
                                      {"CS_slicenum", 10}})
        if (auto* s = control<QSpinBox>(form, name)) {
            EXPECT_EQ(s->value(), value) << name;
        }
    if (auto* c = control<QComboBox>(form, "CB_xyzslice")) {
        ASSERT_EQ(c->count(), 3);
        EXPECT_EQ(QStringList({c->itemText(0), c->itemText(1), c->itemText(2)}),
                  QStringList({"X", "Y", "Z"}));
        EXPECT_EQ(c->currentIndex(), 0);
    }
    if (auto* g = control<RadioGroup>(form, "RGmeshdraw")) {
        EXPECT_EQ(g->title(), "MESH DRAW");
        const QList<QRadioButton*> items = g->findChildren<QRadioButton*>();
        ASSERT_EQ(items.size(), 2);
        EXPECT_EQ(items[0]->text(), "hidden");
        EXPECT_EQ(items[1]->text(), "solid");
        EXPECT_EQ(g->itemIndex(), 1);
        // Clicking an item changes the index the frame reads.
        items[0]->click();
        EXPECT_FALSE(form.sceneControls().meshSolid);
    }
}

TEST(WindowControls, TitleTabsToolBarLogsAndDialogs) {
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "QUORAX");
    auto* tabs = control<QTabWidget>(form, "PageControl1");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(QStringList({tabs->tabText(0), tabs->tabText(1), tabs->tabText(2), tabs->tabText(3)}),
              QStringList({"POTENTIAL", "OFFS", "BAT", "LINES"}));
    EXPECT_EQ(tabs->currentIndex(), 0) << "the POTENTIAL tab is shown at start";

    auto* toolbar = control<QToolBar>(form, "ToolBar1");
    auto* ply = control<QToolButton>(form, "TB_loadmodel");
    auto* obj = control<QToolButton>(form, "ToolButton3");
    ASSERT_TRUE(toolbar && ply && obj);
    EXPECT_TRUE(toolbar->isAncestorOf(ply) && toolbar->isAncestorOf(obj));
    EXPECT_EQ(ply->toolTip(), "LOAD PLY REFERENCE MODEL");
    EXPECT_FALSE(ply->icon().isNull() || obj->icon().isNull());
    EXPECT_NE(control<GLPanel>(form, "PanelOGL"), nullptr);

    auto* memo1 = control<QPlainTextEdit>(form, "Memo1");
    ASSERT_NE(memo1, nullptr);
    EXPECT_EQ(logLines(form), QStringList{"Program Started"});
    EXPECT_TRUE(memo1->isReadOnly());
    auto* memo2 = control<QPlainTextEdit>(form, "Memo2");
    ASSERT_NE(memo2, nullptr);
    EXPECT_FALSE(memo2->isEnabled());
    EXPECT_EQ(memo2->toPlainText().split('\n'),
              QStringList({"quorax 3Dfile DXfile linesfile densityvalue ",
                           "haltgradient haltangle reducepoints ", "reducevalue", "",
                           "EXAMPLE:", "quorax.exe molecule.obj molecule.dx ", "field_lines.txt ",
                           "0.01 0.0 45.0 0 3.0"}));

    for (const auto& [name, suffix] : {std::pair{"Open_ply", "ply"}, std::pair{"Open_obj", "obj"},
                                       std::pair{"Open_dx", "dx"}, std::pair{"Save_ply", "ply"}})
        if (auto* dialog = control<QFileDialog>(form, name)) {
            EXPECT_EQ(dialog->defaultSuffix(), suffix) << name;
            EXPECT_TRUE(dialog->nameFilters().join(';').contains(QString("*.") + suffix)) << name;
        }
    EXPECT_EQ(form.Save_ply->windowTitle(), "?");
}

TEST(WindowArguments, OnlyEightArgumentsArmTheAutomaticRun) {
    const QStringList eight = {"m.obj", "m.dx", "out.txt", "0,02", "0.5", "30", "0", "2.5"};
    for (const QStringList& args : {QStringList{}, eight.mid(0, 7), eight + QStringList{"1"}}) {
        TForm1 form(args);
        EXPECT_FALSE(form.autoRun) << args.size() << " arguments";
        EXPECT_FALSE(form.autotimer->isActive()) << args.size() << " arguments";
        EXPECT_TRUE(form.argMeshFile.empty());
        EXPECT_EQ(logLines(form), QStringList{"Program Started"});
    }

    QStringList args = eight;
    for (const char* reduce : {"0", "1", "3.0"}) {
        args[6] = reduce;
        TForm1 form(args);
        const bool active = form.autotimer->isActive();
        form.autotimer->stop(); // the pipeline must not start inside the test
        EXPECT_TRUE(active);
        EXPECT_EQ(form.autotimer->interval(), 3000);
        EXPECT_TRUE(form.autoRun);
        EXPECT_EQ(form.argReduce, reduce[0] != '0') << "seventh argument " << reduce;
        EXPECT_EQ(form.argMeshFile, "m.obj");
        EXPECT_EQ(form.argGridFile, "m.dx");
        EXPECT_EQ(form.argLinesFile, "out.txt");
        // Arguments convert as C numbers: "0,02" reads as 0 (the comma ends it).
        EXPECT_FLOAT_EQ(form.argDensity, 0.0f);
        EXPECT_FLOAT_EQ(form.argHaltGradient, 0.5f);
        EXPECT_FLOAT_EQ(form.argHaltAngle, 30.0f);
        EXPECT_FLOAT_EQ(form.argReduceAngle, 2.5f);
        EXPECT_EQ(form.PageControl1->currentIndex(), 0);
    }
}

TEST(WindowDecimalEdits, CommaAndPointBothConvertAndGroupingIsRefused) {
    TForm1 form;
    // Handlers convert at the moment they run, whatever the locale.
    for (const auto& [text, value] :
         {std::pair{"0,01", 0.01f}, std::pair{"0.01", 0.01f}, std::pair{"1,000", 1.0f},
          std::pair{" -2,5", -2.5f}, std::pair{"45", 45.0f}}) {
        form.Ereduceangle->setText(text);
        EXPECT_FLOAT_EQ(form.floatOf(form.Ereduceangle), value) << text;
    }
    for (const char* text : {"abc", "1,000.5", "1.000,5", "", "1e"}) {
        form.Ereduceangle->setText(text);
        EXPECT_THROW(form.floatOf(form.Ereduceangle), ConversionError) << text;
    }

    // Through a handler: "DECO 1" makes its pyramids as long as "pyr size"
    // says. A line of 30 points 1 apart and no jitter leave room for them;
    // a thousand would not fit, so "1,000" must read as one.
    FieldLine line;
    for (int i = 0; i < 30; ++i)
        line.push_back({float(i), 0.0f, 0.0f});
    form.fieldLines = {line};
    form.linesReady = true;
    form.E_skiprand->setText("0,0");
    for (const auto& [text, size] :
         {std::pair{"0,5", 0.5f}, std::pair{"0.5", 0.5f}, std::pair{"1,000", 1.0f}}) {
        form.E_pyrsize->setText(text);
        form.B_decor1->click();
        ASSERT_FALSE(form.decorationSizes.empty()) << text;
        EXPECT_FLOAT_EQ(form.decorationSizes.front(), size) << text;
    }
}

TEST(WindowDecimalEdits, AButtonRaisesTheConversionErrorAndAFrameNever) {
    TForm1 form;
    QStringList errors;
    form.showError = [&](const QString& text) { errors << text; };

    form.Ereduceangle->setText("abc");
    form.B_reducepoints_XXL->click();
    EXPECT_EQ(errors, QStringList{"'abc' is not a valid floating point value"});
    EXPECT_EQ(logLines(form), QStringList{"Program Started"})
        << "the action stops at the failed read";

    // A layer's edit that does not convert keeps the last value that did, the
    // default included, also when no frame was drawn in between.
    errors.clear();
    form.E_min_pot->setText("abc");
    EXPECT_FLOAT_EQ(form.sceneControls().minPot, 5.0f);
    form.E_max_pot->setText("7,5");
    form.E_max_pot->setText("7,5x");
    EXPECT_FLOAT_EQ(form.sceneControls().maxPot, 7.5f);
    form.E_min_pot->setText("2.25");
    EXPECT_FLOAT_EQ(form.sceneControls().minPot, 2.25f);
    form.E_min_pot->setText("");
    EXPECT_FLOAT_EQ(form.sceneControls().minPot, 2.25f);
    // The other edits the layers read.
    form.E_lower->setText("1,5");
    form.E_upper_ramp->setText("oops");
    form.E_haltgradient->setText("0.3");
    form.E_lowerG->setText("-");
    const SceneControls c = form.sceneControls();
    EXPECT_FLOAT_EQ(c.lower, 1.5f);
    EXPECT_FLOAT_EQ(c.upper, 15.0f);
    EXPECT_FLOAT_EQ(c.upperRamp, 15.0f);
    EXPECT_FLOAT_EQ(c.haltGradient, 0.3f);
    EXPECT_FLOAT_EQ(c.lowerG, 0.1f);
    EXPECT_TRUE(errors.isEmpty());
}
