// Construction of the main window, its controls and the glue between them,
// the frame and the camera. The handlers of the tabs live in tform1_*.cpp.
#include "tform1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <GL/gl.h>

#include <chrono>
#include <climits>

#include "gl_panel.h"
#include "number_scan.h"
#include "number_text.h"
#include "params.h"
#include "radio_group.h"

namespace quorax {
namespace {

// Layout helpers: controls stacked in a column, a caption beside an edit.
QPushButton* button(QWidget* parent, QVBoxLayout* column, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    column->addWidget(b);
    return b;
}

QCheckBox* checkBox(QWidget* parent, QVBoxLayout* column, const char* name, const QString& caption, bool checked) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    c->setChecked(checked);
    column->addWidget(c);
    return c;
}

QLineEdit* edit(QWidget* parent, QVBoxLayout* column, const char* name, const QString& text,
                const QString& label = QString()) {
    auto* row = new QHBoxLayout;
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    if (!label.isEmpty()) {
        auto* l = new QLabel(label, parent);
        l->setBuddy(e);
        row->addWidget(l, 1);
        e->setMaximumWidth(90);
    }
    row->addWidget(e, 1);
    column->addLayout(row);
    return e;
}

QSpinBox* spin(QWidget* parent, const char* name, int value, int min, int max, int step = 1) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(min, max);
    s->setSingleStep(step);
    s->setValue(value);
    return s;
}

QSpinBox* spinRow(QWidget* parent, QVBoxLayout* column, const char* name, int value, int min, int max, int step,
                  const QString& label) {
    auto* row = new QHBoxLayout;
    auto* s = spin(parent, name, value, min, max, step);
    auto* l = new QLabel(label, parent);
    l->setBuddy(s);
    row->addWidget(l, 1);
    row->addWidget(s);
    column->addLayout(row);
    return s;
}

QFileDialog* openDialog(QWidget* parent, const char* name, const QString& suffix, const QString& filter) {
    auto* d = new QFileDialog(parent);
    d->setObjectName(name);
    d->setDefaultSuffix(suffix);
    d->setNameFilter(filter);
    d->setFileMode(QFileDialog::ExistingFile);
    d->setAcceptMode(QFileDialog::AcceptOpen);
    return d;
}

} // namespace

TForm1::TForm1(const QStringList& args, QWidget* parent) : QMainWindow(parent) {
    clockMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    chooseFile = [](QFileDialog* d) { return d->exec() == QDialog::Accepted ? d->selectedFiles().value(0) : QString(); };
    showError = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };
    endProcess = [](int status) { QApplication::exit(status); };

    buildWindow();
    connectHandlers();
    PageControl1->setCurrentIndex(0); // POTENTIAL
    readArguments(args);
}

TForm1::~TForm1() = default;

void TForm1::buildWindow() {
    setObjectName("Form1");
    setWindowTitle("QUORAX");
    move(287, 119);
    resize(845, 682);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(22, 22));
    addToolBar(ToolBar1);
    ToolBar1->addSeparator()->setObjectName("ToolButton1");
    TB_loadmodel = new QToolButton(ToolBar1);
    TB_loadmodel->setObjectName("TB_loadmodel");
    TB_loadmodel->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    TB_loadmodel->setToolTip("LOAD PLY REFERENCE MODEL");
    TB_loadmodel->setFixedWidth(29);
    ToolBar1->addWidget(TB_loadmodel);
    ToolBar1->addSeparator()->setObjectName("ToolButton2");
    ToolButton3 = new QToolButton(ToolBar1);
    ToolButton3->setObjectName("ToolButton3");
    ToolButton3->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    ToolButton3->setToolTip("LOAD OBJ MODEL");
    ToolButton3->setFixedWidth(29);
    ToolBar1->addWidget(ToolButton3);

    Open_ply = openDialog(this, "Open_ply", "ply", "PLY model files (*.ply)");
    Open_obj = openDialog(this, "Open_obj", "obj", "OBJ model files (*.obj)");
    Open_dx = openDialog(this, "Open_dx", "dx", "DX grid (*.dx *.dx.gz)");
    Save_ply = new QFileDialog(this);
    Save_ply->setObjectName("Save_ply");
    Save_ply->setDefaultSuffix("ply");
    Save_ply->setNameFilter("PLY model files (*.ply)");
    Save_ply->setAcceptMode(QFileDialog::AcceptSave);
    Save_ply->setWindowTitle("?");

    autotimer = new QTimer(this);
    autotimer->setObjectName("autotimer");
    autotimer->setInterval(3000);

    auto* central = new QWidget(this);
    auto* main = new QHBoxLayout(central);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    auto* panel1 = new QWidget(central);
    panel1->setObjectName("Panel1");
    panel1->setFixedWidth(265);
    auto* panel1Layout = new QVBoxLayout(panel1);
    panel1Layout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(panel1);
    PageControl1->setObjectName("PageControl1");
    panel1Layout->addWidget(PageControl1);
    PageControl1->addTab(buildPotentialTab(), "POTENTIAL");
    PageControl1->addTab(buildOffsTab(), "OFFS");
    PageControl1->addTab(buildBatTab(), "BAT");
    TabSheet5 = buildLinesTab();
    PageControl1->addTab(TabSheet5, "LINES");

    auto* panel2 = new QWidget(central);
    panel2->setObjectName("Panel2");
    auto* panel2Layout = new QVBoxLayout(panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    panel2Layout->setSpacing(0);
    PanelOGL = new GLPanel(panel2);
    PanelOGL->setObjectName("PanelOGL");
    PanelOGL->setMinimumSize(64, 64);
    Memo1 = new QPlainTextEdit(panel2);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFixedHeight(67);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setStyleSheet("QPlainTextEdit { background-color: rgb(166, 202, 240); color: rgb(0, 0, 128); }");
    Memo1->setPlainText("Program Started");
    panel2Layout->addWidget(PanelOGL, 1);
    panel2Layout->addWidget(Memo1);

    main->addWidget(panel1);
    main->addWidget(panel2, 1);
    setCentralWidget(central);
}

QWidget* TForm1::buildPotentialTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet1");
    auto* c = new QVBoxLayout(tab);
    Button1 = button(tab, c, "Button1", "Read DX Potential");
    Button2 = button(tab, c, "Button2", "Assign to ELECTROSTATIC   !");
    Button5 = button(tab, c, "Button5", "Assign to LIPOPHYLIC   !");
    Button3 = button(tab, c, "Button3", "Export to OBJ");
    cb_drawgrid = checkBox(tab, c, "cb_drawgrid", "draw grid points", true);
    CB_surfcolor = checkBox(tab, c, "CB_surfcolor", "show potential color on surface", false);
    RGmeshdraw = new RadioGroup("MESH DRAW", {"hidden", "solid"}, 1, tab);
    RGmeshdraw->setObjectName("RGmeshdraw");
    c->addWidget(RGmeshdraw);
    E_min_pot = edit(tab, c, "E_min_pot", "5.0", "lower limit RAMP");
    E_max_pot = edit(tab, c, "E_max_pot", "15.0", "upper limit RAMP");
    c->addStretch(1);
    return tab;
}

QWidget* TForm1::buildOffsTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet2");
    auto* c = new QVBoxLayout(tab);
    off1 = button(tab, c, "off1", "off1");
    off2 = button(tab, c, "off2", "off2");
    off3 = button(tab, c, "off3", "off3");
    off4 = button(tab, c, "off4", "off4");
    b_offsetpot = button(tab, c, "b_offsetpot", "offset POT");
    cb_showoff = checkBox(tab, c, "cb_showoff", "showOff", false);
    E_lower = edit(tab, c, "E_lower", "5,0", "lower limit DISPLAY");
    E_upper = edit(tab, c, "E_upper", "15,0", "upper limit DISPLAY");
    E_lower_ramp = edit(tab, c, "E_lower_ramp", "5,0", "lower limit RAMP");
    E_upper_ramp = edit(tab, c, "E_upper_ramp", "15,0", "upper limit RAMP");
    c->addStretch(1);
    return tab;
}

QWidget* TForm1::buildBatTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabSheet3");
    auto* c = new QVBoxLayout(tab);
    Eexe = edit(tab, c, "Eexe", "quorax", "exe");
    // A file pattern with the FROM, TO and STEP of its number series below it.
    auto series = [&](const char* e, const QString& text, const QString& label, const char* from, const char* to,
                      const char* step, QLineEdit*& editOut, QSpinBox*& f, QSpinBox*& t, QSpinBox*& s) {
        editOut = edit(tab, c, e, text, label);
        auto* grid = new QGridLayout;
        grid->addWidget(new QLabel("FROM", tab), 0, 0);
        grid->addWidget(new QLabel("TO", tab), 0, 1);
        grid->addWidget(new QLabel("STEP", tab), 0, 2);
        f = spin(tab, from, 0, INT_MIN, INT_MAX);
        t = spin(tab, to, 100, INT_MIN, INT_MAX);
        s = spin(tab, step, 3, INT_MIN, INT_MAX);
        grid->addWidget(f, 1, 0);
        grid->addWidget(t, 1, 1);
        grid->addWidget(s, 1, 2);
        c->addLayout(grid);
    };
    series("Einput3d", "molecule.obj", "file 3D", "CSfrom3d", "CSto3d", "CSstep3d", Einput3d, CSfrom3d, CSto3d,
           CSstep3d);
    series("Einputdx", "molecule.dx", "file DX", "CSfromdx", "CStodx", "CSstepdx", Einputdx, CSfromdx, CStodx,
           CSstepdx);
    series("Eoutputln", "field_lines.txt", "linee", "CSfromln", "CStoln", "CSstepln", Eoutputln, CSfromln, CStoln,
           CSstepln);
    Edensitybat = edit(tab, c, "Edensitybat", "0,01", "line density eV/A2");
    Egradientbat = edit(tab, c, "Egradientbat", "0,0", "gradient halt");
    Eanglebat = edit(tab, c, "Eanglebat", "45,0", "angle halt");
    CB_reducebat = checkBox(tab, c, "CB_reducebat", "do reduce points", false);
    Ereduceanglebat = edit(tab, c, "Ereduceanglebat", "3,0", "reduce angle");
    Bgenbat = button(tab, c, "Bgenbat", "generate BAT");
    Memo2 = new QPlainTextEdit(tab);
    Memo2->setObjectName("Memo2");
    Memo2->setPlainText("quorax 3Dfile DXfile linesfile densityvalue \nhaltgradient haltangle reducepoints \nreducevalue\n"
                        "\nEXAMPLE:\nquorax.exe molecule.obj molecule.dx \nfield_lines.txt \n0.01 0.0 45.0 0 3.0");
    Memo2->setEnabled(false);
    c->addWidget(Memo2, 1);
    return tab;
}

QWidget* TForm1::buildLinesTab() {
    auto* scroll = new QScrollArea;
    scroll->setObjectName("TabSheet5");
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* tab = new QWidget;
    auto* c = new QVBoxLayout(tab);
    c->setSpacing(3);
    B_gradient = button(tab, c, "B_gradient", "calculate grad");
    CB_usesmoothgrad = checkBox(tab, c, "CB_usesmoothgrad", "Smooth gradient", true);
    CB_drawgrad = checkBox(tab, c, "CB_drawgrad", "show gradient", false);
    {
        auto* row = new QHBoxLayout;
        CB_slice = new QCheckBox("slice", tab);
        CB_slice->setObjectName("CB_slice");
        CS_slicenum = spin(tab, "CS_slicenum", 10, -1000000, 1000000);
        CB_xyzslice = new QComboBox(tab);
        CB_xyzslice->setObjectName("CB_xyzslice");
        CB_xyzslice->addItems({"X", "Y", "Z"});
        CB_xyzslice->setCurrentIndex(0);
        row->addWidget(CB_slice);
        row->addWidget(CS_slicenum);
        row->addWidget(CB_xyzslice);
        c->addLayout(row);
    }
    {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel("SHOW GRAD MIN-MAX", tab), 1);
        E_lowerG = new QLineEdit("0,1", tab);
        E_lowerG->setObjectName("E_lowerG");
        E_upperG = new QLineEdit("1000", tab);
        E_upperG->setObjectName("E_upperG");
        E_lowerG->setMaximumWidth(50);
        E_upperG->setMaximumWidth(50);
        row->addWidget(E_lowerG);
        row->addWidget(E_upperG);
        c->addLayout(row);
    }
    {
        auto* row = new QHBoxLayout;
        CSE_X = spin(tab, "CSE_X", 10, 1, 200, 10);
        CSE_Y = spin(tab, "CSE_Y", 10, 1, 200, 10);
        CSE_Z = spin(tab, "CSE_Z", 10, 1, 200, 10);
        row->addWidget(CSE_X);
        row->addWidget(CSE_Y);
        row->addWidget(CSE_Z);
        c->addLayout(row);
    }
    calcline = button(tab, c, "calcline", "calc probe line");
    E_numlinesX = edit(tab, c, "E_numlinesX", "1000", "NUMBER of lines");
    Button6 = button(tab, c, "Button6", "<- equal lines");
    CSEintegrationsteps = spinRow(tab, c, "CSEintegrationsteps", 200, 10, 2000, 10, "MAX line integration steps");
    CSE_numlines = spinRow(tab, c, "CSE_numlines", 200, 10, 2000, 10, "NUMBER of lines");
    xxx = button(tab, c, "xxx", "OLD POW LINES");
    E_densityparam = edit(tab, c, "E_densityparam", "0,01", "Lines x eV/A2");
    B_powlines = button(tab, c, "B_powlines", "NEW POW LINES ");
    E_minpotline = edit(tab, c, "E_minpotline", "0,0", "Min potential vertex");
    {
        auto* row = new QHBoxLayout;
        CB_showfacepot = new QCheckBox("x", tab);
        CB_showfacepot->setObjectName("CB_showfacepot");
        B_func = new QPushButton("func", tab);
        B_func->setObjectName("B_func");
        row->addWidget(CB_showfacepot);
        row->addWidget(B_func);
        c->addLayout(row);
    }
    CB_farfromsurface = checkBox(tab, c, "CB_farfromsurface", "start far from surface", true);
    E_haltgradient = edit(tab, c, "E_haltgradient", "0,00", "gradient lower limit HALT");
    E_haltangle = edit(tab, c, "E_haltangle", "45", "line angle HALT");
    CB_showlines = checkBox(tab, c, "CB_showlines", "show lines", false);
    CB_lightingarc = checkBox(tab, c, "CB_lightingarc", "show lightning arc", false);
    CB_lightingbolt = checkBox(tab, c, "CB_lightingbolt", "show lightning  bolt", false);
    B_decor1 = button(tab, c, "B_decor1", "DECO 1");
    E_skipsize = edit(tab, c, "E_skipsize", "5,0", "skip size");
    E_pyrsize = edit(tab, c, "E_pyrsize", "2,0", "pyr size");
    E_skiprand = edit(tab, c, "E_skiprand", "0,2", "skip rand");
    CB_showdeco = checkBox(tab, c, "CB_showdeco", "show deco", false);
    B_exportdeco = button(tab, c, "B_exportdeco", "EXPORT DECO");
    B_reducepoints_XXL = button(tab, c, "B_reducepoints_XXL", "Reduce points Strongly");
    Ereduceangle = edit(tab, c, "Ereduceangle", "3,0", "ANGLE");
    B_exportlines = button(tab, c, "B_exportlines", "Export Lines");
    E_nomelinee = edit(tab, c, "E_nomelinee", "field_lines.txt");
    b_expjson = button(tab, c, "b_expjson", "Export JSON");
    c->addStretch(1);
    scroll->setWidget(tab);
    return scroll;
}

void TForm1::connectHandlers() {
    auto on = [this](QAbstractButton* b, void (TForm1::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
    };
    connect(TB_loadmodel, &QToolButton::clicked, this, [this] { runHandler([this] { TB_loadmodelClick(); }); });
    connect(ToolButton3, &QToolButton::clicked, this, [this] { runHandler([this] { ToolButton3Click(); }); });
    on(Button1, &TForm1::Button1Click);
    on(Button2, &TForm1::Button4Click);
    on(Button5, &TForm1::Button5Click);
    on(Button3, &TForm1::Button3Click);
    on(off1, &TForm1::off1Click);
    on(off2, &TForm1::off2Click);
    on(off3, &TForm1::off3Click);
    on(off4, &TForm1::off4Click);
    on(b_offsetpot, &TForm1::b_offsetpotClick);
    on(Bgenbat, &TForm1::BgenbatClick);
    on(B_gradient, &TForm1::B_gradientClick);
    on(calcline, &TForm1::calclineClick);
    on(Button6, &TForm1::Button6Click);
    on(xxx, &TForm1::xxxClick);
    on(B_powlines, &TForm1::B_powlinesClick);
    on(B_func, &TForm1::B_funcClick);
    on(B_decor1, &TForm1::B_decor1Click);
    on(B_exportdeco, &TForm1::B_exportdecoClick);
    on(B_reducepoints_XXL, &TForm1::B_reducepoints_XXLClick);
    on(B_exportlines, &TForm1::B_exportlinesClick);
    on(b_expjson, &TForm1::b_expjsonClick);
    connect(autotimer, &QTimer::timeout, this, [this] { runHandler([this] { autotimerTimer(); }); });

    // Every control that a frame reads asks for a frame when it changes.
    for (QCheckBox* c : findChildren<QCheckBox*>()) connect(c, &QCheckBox::toggled, this, &TForm1::requestFrame);
    for (QLineEdit* e : findChildren<QLineEdit*>()) connect(e, &QLineEdit::textChanged, this, &TForm1::requestFrame);
    // The edits the layers read remember every text that converts as it is
    // typed, starting with the default, so a frame drawn after a text that
    // does not convert uses the last one that did, even when no frame was
    // drawn in between.
    for (QLineEdit* e : {E_min_pot, E_max_pot, E_lowerG, E_upperG, E_haltgradient, E_lower, E_upper,
                         E_lower_ramp, E_upper_ramp}) {
        frameValue(e);
        connect(e, &QLineEdit::textChanged, this, [this, e] { frameValue(e); });
    }
    for (QSpinBox* s : findChildren<QSpinBox*>())
        connect(s, &QSpinBox::valueChanged, this, &TForm1::requestFrame);
    connect(RGmeshdraw, &RadioGroup::itemIndexChanged, this, &TForm1::requestFrame);

    PanelOGL->onInitialize = [this] { FormCreate(); };
    PanelOGL->onResize = [this](int w, int h) { FormResize(w, h); };
    PanelOGL->onPaint = [this] { FormPaint(); };
    connect(PanelOGL, &GLPanel::mousePressed, this, &TForm1::PanelOGLMouseDown);
    connect(PanelOGL, &GLPanel::mouseMoved, this, &TForm1::PanelOGLMouseMove);
    connect(PanelOGL, &GLPanel::mouseReleased, this, &TForm1::PanelOGLMouseUp);
}

void TForm1::readArguments(const QStringList& args) {
    if (args.size() != kPipelineArgumentCount) return;
    std::vector<std::string> a;
    for (const QString& s : args) a.push_back(s.toStdString());
    PipelineParams p;
    std::vector<std::string> warnings;
    parsePipelineArguments(a, ArgumentRules::Viewer, p, warnings);
    autoRun = true;
    argMeshFile = p.meshPath;
    argGridFile = p.gridPath;
    argLinesFile = p.linesPath;
    argDensity = p.density;
    argHaltGradient = p.haltGradient;
    argHaltAngle = p.haltAngle;
    argReduce = p.reduce;
    argReduceAngle = p.reduceAngle;
    for (const std::string& w : warnings) log(w);
    autotimer->start();
}

void TForm1::log(const QString& line) { Memo1->appendPlainText(line); }

void TForm1::requestFrame() { PanelOGL->update(); }

void TForm1::runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const ConversionError& e) {
        showError(QString::fromStdString(e.what()));
    }
    requestFrame();
}

float TForm1::floatOf(QLineEdit* e) const { return static_cast<float>(decimalOrThrow(e->text().toStdString())); }
int TForm1::intOf(QLineEdit* e) const { return integerOrThrow(e->text().toStdString()); }

float TForm1::frameValue(QLineEdit* e) {
    double v;
    if (parseDecimalText(e->text().toStdString(), v)) {
        lastGoodValue_[e] = static_cast<float>(v);
        return static_cast<float>(v);
    }
    const auto it = lastGoodValue_.find(e);
    return it != lastGoodValue_.end() ? it->second : 0.0f;
}

SceneControls TForm1::sceneControls() {
    SceneControls c;
    c.meshSolid = RGmeshdraw->itemIndex() == 1;
    c.drawGrid = cb_drawgrid->isChecked();
    c.drawGradient = CB_drawgrad->isChecked();
    c.showLines = CB_showlines->isChecked();
    c.showDecorations = CB_showdeco->isChecked();
    c.showOffsets = cb_showoff->isChecked();
    c.surfaceColor = CB_surfcolor->isChecked();
    c.showFacePower = CB_showfacepot->isChecked();
    c.minPot = frameValue(E_min_pot);
    c.maxPot = frameValue(E_max_pot);
    c.lowerG = frameValue(E_lowerG);
    c.upperG = frameValue(E_upperG);
    c.haltGradient = frameValue(E_haltgradient);
    c.slice = CB_slice->isChecked();
    c.sliceNum = CS_slicenum->value();
    c.probeX = CSE_X->value();
    c.probeY = CSE_Y->value();
    c.probeZ = CSE_Z->value();
    c.lower = frameValue(E_lower);
    c.upper = frameValue(E_upper);
    c.lowerRamp = frameValue(E_lower_ramp);
    c.upperRamp = frameValue(E_upper_ramp);
    c.vertexArrays = qEnvironmentVariableIsEmpty("QUORAX_IMMEDIATE_MODE");
    return c;
}

// ---- OpenGL and camera -------------------------------------------------

void TForm1::FormCreate() {
    QOpenGLContext* ctx = PanelOGL->context();
    if (!ctx || !ctx->isValid())
        QMessageBox::critical(this, windowTitle(), ":-)~ hrc == NULL");
    else if (QOpenGLContext::currentContext() != ctx)
        QMessageBox::critical(this, windowTitle(), "Could not MakeCurrent");
    viewWidth = PanelOGL->pixelWidth();
    viewHeight = PanelOGL->pixelHeight();
    setupGlState();
    trackball.setCenter(0.0, 0.0, 0.0);
    trackball.setScale(zoom);
    trackball.setSpinMode(true);
}

void TForm1::FormResize(int width, int height) {
    viewWidth = width;
    viewHeight = height;
    setupProjection(width, height);
}

void TForm1::FormPaint() {
    // The projection is set again every frame: the panel's context may have
    // been shared or reset by the toolkit between frames.
    setupProjection(static_cast<int>(viewWidth), static_cast<int>(viewHeight));
    renderFrame(*this, sceneControls(), trackball, clockMs());
    // The background's alpha is 0; the panel is composed into the window, so
    // the picture is made opaque, as a window without an alpha channel shows it.
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (trackball.spinning()) requestFrame(); // a released spin keeps turning
}

QPoint TForm1::panelPixel(const QMouseEvent* e) const {
    // Mouse positions come in device-independent pixels; the viewport the
    // trackball un-projects through is in the framebuffer's pixels. On a
    // screen with several pixels per point the two differ.
    return (e->position() * PanelOGL->devicePixelRatioF()).toPoint();
}

void TForm1::PanelOGLMouseDown(QMouseEvent* e) {
    mouseButtonCode = e->button() == Qt::LeftButton ? kButtonLeft : e->button() == Qt::MiddleButton ? kButtonMiddle : 0;
    if (e->modifiers() & Qt::ControlModifier)
        mouseButtonCode += kModifierCtrl;
    else if (e->modifiers() & Qt::ShiftModifier)
        mouseButtonCode += kModifierShift;
    mouseDragging = true;
    const QPoint p = panelPixel(e);
    trackball.press(p.x(), p.y(), mouseButtonCode, clockMs());
    requestFrame();
}

void TForm1::PanelOGLMouseMove(QMouseEvent* e) {
    if (!mouseDragging) return;
    const QPoint p = panelPixel(e);
    trackball.drag(p.x(), p.y(), mouseButtonCode, clockMs());
    requestFrame();
}

void TForm1::PanelOGLMouseUp(QMouseEvent* e) {
    mouseDragging = false;
    const QPoint p = panelPixel(e);
    trackball.release(p.x(), p.y(), mouseButtonCode, clockMs());
    requestFrame();
}

void TForm1::FormMouseWheelDown() {
    zoom = zoom * 1.1f;
    trackball.setScale(zoom);
    requestFrame();
}

void TForm1::FormMouseWheelUp() {
    zoom = static_cast<float>(zoom * (1.0L / 1.1L));
    trackball.setScale(zoom);
    requestFrame();
}

void TForm1::wheelEvent(QWheelEvent* e) {
    // One call per notch of 120; finer wheels add up to notches.
    wheelRemainder_ += e->angleDelta().y();
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        FormMouseWheelUp();
    }
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        FormMouseWheelDown();
    }
    e->accept();
}

// ---- model loading ------------------------------------------------------

QString TForm1::chooseFileIn(QFileDialog* dialog) { return chooseFile ? chooseFile(dialog) : QString(); }

void TForm1::TB_loadmodelClick() {
    const QString path = chooseFileIn(Open_ply);
    if (path.isEmpty()) return;
    loadPlyModel(path, mesh, true);
}

void TForm1::ToolButton3Click() {
    const QString path = chooseFileIn(Open_obj);
    if (path.isEmpty()) return;
    loadObjModel(path);
}

void TForm1::loadObjModel(const QString& path) {
    ReadStatus status;
    int32_t skipped = 0;
    const std::string summary = loadObjViewerMesh(mesh, path.toStdString(), status, &skipped);
    if (!status.ok()) log(readErrorText("OBJ model", path.toStdString(), status));
    if (skipped > 0)
        log("OBJ model \"" + path.toStdString() + "\": " + std::to_string(skipped) +
            " faces name vertices that do not exist and were skipped");
    log(summary);
    requestFrame();
}

void TForm1::refresh(int times) {
    for (int t = 0; t < times; ++t) {
        repaint();
        PanelOGL->repaint();
        QApplication::processEvents();
        QApplication::processEvents();
    }
}

} // namespace quorax
