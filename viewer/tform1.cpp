// Construction of the main window, its controls and the glue between them,
// the frame and the camera. The handlers of the tabs live in tform1_*.cpp.
#include "tform1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "decorations.h"
#include "gl_panel.h"
#include "number_scan.h"
#include "number_text.h"
#include "params.h"
#include "radio_group.h"

namespace quorax {
namespace {

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

namespace {

std::vector<std::string> utf8(const QStringList& args) {
    std::vector<std::string> out;
    for (const QString& a : args) out.push_back(a.toStdString());
    return out;
}

} // namespace

TForm1::TForm1(const QStringList& args, QWidget* parent) : TForm1(utf8(args), parent) {}

TForm1::TForm1(const std::vector<std::string>& args, QWidget* parent) : QMainWindow(parent) {
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
    addExportEntry();
    PageControl1->setCurrentIndex(0); // POTENTIAL
    readArguments(args);
    restoreLayout();
}

TForm1::~TForm1() {
    if (!autoRun) saveLayout(); // an unattended run leaves the user's layout alone
}

namespace {

constexpr const char* kSettingsOrganization = "QUORAX";
constexpr const char* kSettingsApplication = "quorax1";

} // namespace

void TForm1::restoreLayout() {
    const QSettings settings(kSettingsOrganization, kSettingsApplication);
    if (Splitter1->restoreState(settings.value("layout/panel").toByteArray()) &&
        Panel2->restoreState(settings.value("layout/log").toByteArray()))
        return;
    // A fresh start: the panel 265 pixels wide and the log 67 high, handles
    // included, so the view keeps its size in the default window.
    Splitter1->setSizes({265 - Splitter1->handleWidth(), width() - 265});
    Panel2->setSizes({height() - 67, 67 - Panel2->handleWidth()});
}

void TForm1::saveLayout() const {
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.setValue("layout/panel", Splitter1->saveState());
    settings.setValue("layout/log", Panel2->saveState());
}

void TForm1::buildWindow() {
    setupUi(this);
    move(287, 119);
    // The panel and the log keep their sizes when the window grows; the view takes the rest.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Panel2->setStretchFactor(0, 1);
    Panel2->setStretchFactor(1, 0);

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
    on(B_faithful, &TForm1::B_faithfulClick);
    // The faithful choices show only while their group is ticked.
    W_faithful->setVisible(G_faithful->isChecked());
    connect(G_faithful, &QGroupBox::toggled, W_faithful, &QWidget::setVisible);
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
    connect(PanelOGL, &GLPanel::wheelTurned, this, &TForm1::PanelOGLMouseWheel);
    // A new framebuffer holds no picture yet.
    connect(PanelOGL, &QOpenGLWidget::aboutToResize, this, [this] { shown_.reset(); });
}

void TForm1::readArguments(const std::vector<std::string>& args) {
    if (args.size() != kPipelineArgumentCount) return;
    PipelineParams p;
    std::vector<std::string> warnings;
    parsePipelineArguments(args, ArgumentRules::Viewer, p, warnings);
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
    startPrefetch();
}

std::string fullPath(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void TForm1::log(const QString& line) { Memo1->appendPlainText(line); }

void TForm1::logFile(const std::string& what, const std::string& path, const std::string& details, bool replaced) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    std::string line = what + " " + fullPath(path) + ": " + details;
    if (!ec) line += ", " + std::to_string(size) + " bytes";
    if (replaced) line += "; it replaced the file that was there";
    log(line);
}

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

namespace {

// The frame's view of a viewer surface: the core mesh, the electrostatic
// values, and the deleted vertices and faces as hidden ones.
SceneSurface sceneSurface(const ViewerMesh& m) {
    SceneSurface s;
    s.vertices = m.tri.vertices;
    s.faces = m.tri.faces;
    s.values.reserve(m.vertexData.size());
    for (const ViewerVertexData& d : m.vertexData) s.values.push_back(d.electrostatic);
    for (int32_t i = 0; i < m.vertexCount(); ++i)
        if (m.vertexDeleted(i)) {
            s.hiddenVertices.resize(m.vertexData.size());
            s.hiddenVertices[static_cast<std::size_t>(i)] = true;
        }
    for (int32_t i = 0; i < m.faceCount(); ++i)
        if (m.faceDeleted(i)) {
            s.hiddenFaces.resize(m.faceFlags.size());
            s.hiddenFaces[static_cast<std::size_t>(i)] = true;
        }
    return s;
}

// The six triangles of every decoration with the normals they are lit by:
// one per side, the base's for both base triangles.
std::vector<SceneTriangle> decorationTriangles(const ViewerState& state) {
    std::vector<SceneTriangle> out;
    const std::size_t n = std::min({state.decorationPositions.size(), state.decorationDirections.size(),
                                    state.decorationSizes.size()});
    out.reserve(6 * n);
    for (std::size_t k = 0; k < n; ++k) {
        const Pyramid p = pyramidGeometry(state.decorationPositions[k], state.decorationDirections[k],
                                          state.decorationSizes[k]);
        for (std::size_t t = 0; t < 6; ++t)
            out.push_back({p.normals[std::min<std::size_t>(t, 4)],
                           {p.corners[3 * t], p.corners[3 * t + 1], p.corners[3 * t + 2]}});
    }
    return out;
}

} // namespace

SceneInput TForm1::sceneInput() {
    SceneInput c;
    c.meshSolid = RGmeshdraw->itemIndex() == 1;
    c.surface = sceneSurface(mesh);
    c.boxMin = mesh.bboxMin;
    c.boxMax = mesh.bboxMax;
    c.zoom = zoom;
    c.facePowerMin = facePowerMin;
    c.facePowerMax = facePowerMax;
    c.potential = &potentialGrid;
    c.gradient = &gradientGrid;
    c.probeLine = &probeLine;
    c.fieldLines = &fieldLines;
    c.linesReady = linesReady;
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
    if (c.showOffsets)
        for (std::size_t i = 0; i < offsetMeshes.size(); ++i) c.offsets[i] = sceneSurface(offsetMeshes[i]);
    if (c.showDecorations && decorationsReady) c.decorations = decorationTriangles(*this);
    c.vertexArrays = qEnvironmentVariableIsEmpty("QUORAX_IMMEDIATE_MODE");
    return c;
}

// ---- OpenGL and camera -------------------------------------------------

void TForm1::FormCreate() {
    QOpenGLContext* ctx = PanelOGL->context();
    const char* glError = !ctx || !ctx->isValid()                        ? ":-)~ hrc == NULL"
                          : QOpenGLContext::currentContext() != ctx ? "Could not MakeCurrent"
                                                                    : nullptr;
    if (glError && autoRun) {
        // Unattended: no box that would wait for a user.
        autotimer->stop();
        log(glError);
        std::fprintf(stderr, "quorax1: error: %s\n", glError);
        endProcess(1);
    } else if (glError) {
        QMessageBox::critical(this, windowTitle(), glError);
    }
    viewWidth = PanelOGL->pixelWidth();
    viewHeight = PanelOGL->pixelHeight();
    shown_.reset(); // a new context: its panel holds no picture yet
    renderer_.contextCreated();
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
    const SceneInput scene = sceneInput();
    std::optional<Shown> now;
    // Only the automatic run compares pictures (refresh() is its own); an
    // interactive window draws every frame it is asked for.
    if (autoRun) now = Shown{SceneSignature(scene), viewWidth, viewHeight, cameraMoves_};
    if (refreshing_ && shown_ && now && !trackball.spinning() && now->scene == shown_->scene &&
        now->width == shown_->width && now->height == shown_->height && now->cameraMoves == shown_->cameraMoves)
        return; // the panel keeps its picture (GLPanel preserves it between paints)
    // Inside refresh() a new picture is drawn twice in a row, as the window
    // and the panel repaint each drew it before: Mesa's software GL may draw
    // the first frame after the layers change a little differently from the
    // ones after it (lines lying on the surface, at equal depths), and each
    // stage's picture stays the one shown before, the second.
    drawFrame(scene, refreshing_, refreshing_ && !trackball.spinning() ? 2 : 1);
    shown_ = std::move(now);
    if (trackball.spinning()) requestFrame(); // a released spin keeps turning
}

void TForm1::drawFrame() {
    const SceneInput scene = sceneInput();
    drawFrame(scene, false, 1);
    if (autoRun) shown_ = Shown{SceneSignature(scene), viewWidth, viewHeight, cameraMoves_};
}

void TForm1::drawFrame(const SceneInput& scene, bool reuseSurface, int passes) {
    // The projection is set again every frame: the panel's context may have
    // been shared or reset by the toolkit between frames.
    setupProjection(static_cast<int>(viewWidth), static_cast<int>(viewHeight));
    for (int pass = 0; pass < passes; ++pass) renderer_.renderFrame(scene, trackball, clockMs(), reuseSurface);
    ++framesDrawn_;
    // The background's alpha is 0; the panel is composed into the window, so
    // the picture is made opaque, as a window without an alpha channel shows it.
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
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
    ++cameraMoves_;
    requestFrame();
}

void TForm1::PanelOGLMouseMove(QMouseEvent* e) {
    if (!mouseDragging) return;
    const QPoint p = panelPixel(e);
    trackball.drag(p.x(), p.y(), mouseButtonCode, clockMs());
    ++cameraMoves_;
    requestFrame();
}

void TForm1::PanelOGLMouseUp(QMouseEvent* e) {
    mouseDragging = false;
    const QPoint p = panelPixel(e);
    trackball.release(p.x(), p.y(), mouseButtonCode, clockMs());
    ++cameraMoves_;
    requestFrame();
}

void TForm1::FormMouseWheelDown() {
    zoom = zoom * 1.1f;
    trackball.setScale(zoom);
    ++cameraMoves_;
    requestFrame();
}

void TForm1::FormMouseWheelUp() {
    zoom = static_cast<float>(zoom * (1.0L / 1.1L));
    trackball.setScale(zoom);
    ++cameraMoves_;
    requestFrame();
}

void TForm1::PanelOGLMouseWheel(QWheelEvent* e) {
    wheelRemainder_ += e->angleDelta().y();
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        FormMouseWheelUp();
    }
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        FormMouseWheelDown();
    }
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

void TForm1::loadObjModel(const QString& path) { loadObjModel(path.toStdString()); }

void TForm1::loadObjModel(const std::string& path) {
    ReadStatus status;
    int32_t skipped = 0;
    std::string summary;
    if (!takePrefetchedMesh(path, 'j', status, skipped, summary))
        summary = loadObjViewerMesh(mesh, path, status, &skipped);
    if (!status.ok()) log(readErrorText("OBJ model", path, status));
    if (skipped > 0)
        log("OBJ model \"" + path + "\": " + std::to_string(skipped) +
            " faces name vertices that do not exist and were skipped");
    log(summary);
    if (status.ok())
        logFile("read OBJ model", path,
                std::to_string(mesh.vertexCount()) + " vertices, " + std::to_string(mesh.faceCount()) + " faces");
    requestFrame();
}

void TForm1::refresh(int times) {
    refreshing_ = true;
    for (int t = 0; t < times; ++t) {
        PanelOGL->update();
        update();
        QApplication::processEvents();
        QApplication::processEvents();
    }
    refreshing_ = false;
}

} // namespace quorax
