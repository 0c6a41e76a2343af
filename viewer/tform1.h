// The viewer's main window: tool bar, the four tabs of controls, the log and
// the OpenGL view. Its handlers read the controls when they run, change the
// state (the fields of ViewerState) and ask for a frame; the frame only reads.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QPlainTextEdit>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scene.h"
#include "trackball.h"
#include "tracing.h"
#include "ui_tform1.h"
#include "viewer_state.h"

class QAbstractButton;
class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QWheelEvent;

namespace quorax {

// The absolute, cleaned path of a file named relative to the current folder.
std::string fullPath(const std::string& path);
// A regular file exists at `path` (an export would replace it).
bool fileExists(const std::string& path);
// What a lines export holds: "<n> lines, <m> points", or why there are none.
std::string linesSummary(bool linesReady, const std::vector<FieldLine>& lines);

class TForm1 : public QMainWindow, public ViewerState, public Ui::TForm1 {
    Q_OBJECT

public:
    // `args` are the command-line arguments without the program name; exactly
    // eight start the automatic pipeline three seconds after the window opens.
    // The paths among them keep their bytes as given, UTF-8 or not.
    explicit TForm1(const std::vector<std::string>& args, QWidget* parent = nullptr);
    // The same with arguments as text (turned into UTF-8).
    explicit TForm1(const QStringList& args = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // The controls, their captions, defaults, ranges and layout come from the
    // Designer form (tform1.ui, members of Ui::TForm1 under their object
    // names); the tool buttons with the style's icons, the dialogs and the
    // timer are made here.
    QToolButton* TB_loadmodel;
    QToolButton* ToolButton3;
    QFileDialog* Open_ply;
    QFileDialog* Open_obj;
    QFileDialog* Open_dx;
    QFileDialog* Save_ply;
    QTimer* autotimer;
    // "Export..." on the tool bar: lines, tubes or surface, the format from
    // the chosen file name (tform1_exports.cpp).
    QAction* A_export = nullptr;
    QFileDialog* Save_export = nullptr;

    // Camera, GL panel size.
    TrackHand trackball;
    double viewWidth = 0.0, viewHeight = 0.0;

    // Hooks the tests replace: how a file is chosen in an open dialog (an
    // empty name means cancelled) and how a conversion error is shown.
    std::function<QString(QFileDialog*)> chooseFile;
    std::function<void(const QString&)> showError;
    // Milliseconds of a steady clock; the tests may freeze it.
    std::function<int64_t()> clockMs;
    // Ends the program with a status at the end of the automatic pipeline.
    std::function<void(int)> endProcess;

    // Appends one line to the log.
    void log(const QString& line);
    void log(const std::string& line) { log(QString::fromStdString(line)); }
    void log(const char* line) { log(QString::fromUtf8(line)); }
    // One log line for a file read or written: "<what> <full path>: <details>,
    // <size> bytes", ending in "; it replaced the file that was there" when
    // a write replaced one.
    void logFile(const std::string& what, const std::string& path, const std::string& details,
                 bool replaced = false);
    // Asks for a frame; idle otherwise.
    void requestFrame();
    // Runs a handler as a button press does: a conversion error stops it and
    // is shown to the user; a frame follows.
    void runHandler(const std::function<void()>& handler);
    // What the next frame draws: the state's surfaces, grids, lines and
    // decorations, and the layer settings read from the controls. An edit
    // that does not convert keeps the last value that did.
    SceneInput sceneInput();
    // Draws the view's frame now, with the panel's context current: the
    // projection, the whole frame of sceneInput(), the picture made opaque.
    void drawFrame();
    // Frames the view has drawn; a paint that kept the picture does not count.
    int64_t framesDrawn() const { return framesDrawn_; }

    // Decimal and integer edits converted at the moment of use; they throw
    // ConversionError with the user's message.
    float floatOf(QLineEdit* edit) const;
    int intOf(QLineEdit* edit) const;
    // The halt gradient and angle of the LINES tab with `maxSteps` steps per
    // direction, under the viewer's rule for zero segments.
    TraceSettings traceSettings(int32_t maxSteps) const;
    // Reads an OBJ file into `mesh` and logs the reader's summary (after a
    // line naming the file when it cannot be read); the next frame fits it.
    void loadObjModel(const QString& path);
    void loadObjModel(const std::string& path);
    // Reads a PLY file into `target`; a file that cannot be read leaves it
    // empty and logs one line naming the file and the problem. `fitsView`:
    // the target is the main model, whose box the next frame fits.
    void loadPlyModel(const QString& path, ViewerMesh& target, bool fitsView);

public slots:
    // Model loading.
    void TB_loadmodelClick();
    void ToolButton3Click();
    // POTENTIAL and OFFS.
    void Button1Click();
    void Button4Click();
    void Button5Click();
    void Button3Click();
    void off1Click();
    void off2Click();
    void off3Click();
    void off4Click();
    void b_offsetpotClick();
    // LINES.
    void B_gradientClick();
    // The gradient B_gradientClick computes from `grid` into `out`, with the
    // smoothing passes the LINES tab asks for (smoothingPasses()).
    static void computeViewerGradient(GradientGrid& out, const PotentialGrid& grid, int passes);
    int smoothingPasses() const;
    void logGradient();
    void calclineClick();
    void Button6Click();
    void xxxClick();
    void B_powlinesClick();
    // "Faithful lines" TRACE: flux or power seeding, rk4/rk45/euler on the
    // unsmoothed field, optionally ending at the surface and kept apart.
    void B_faithfulClick();
    void B_reducepoints_XXLClick();
    void B_exportlinesClick();
    void B_funcClick();
    void b_expjsonClick();
    void B_decor1Click();
    void B_exportdecoClick();
    void A_exportClick();
    // BAT.
    void BgenbatClick();
    // Automatic pipeline.
    void autotimerTimer();
    // Shortens the unattended run's wait by the time spent since `start`
    // (down to none); nothing when no run waits.
    void countWaitFrom(std::chrono::steady_clock::time_point start);

    // OpenGL and camera.
    void FormCreate();
    void FormResize(int width, int height);
    void FormPaint();
    void PanelOGLMouseDown(QMouseEvent* e);
    void PanelOGLMouseMove(QMouseEvent* e);
    void PanelOGLMouseUp(QMouseEvent* e);
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    // A wheel turn over PanelOGL: one zoom step per notch of 120, finer
    // wheels adding up to notches. The wheel elsewhere never zooms.
    void PanelOGLMouseWheel(QWheelEvent* e);

private:
    void buildWindow();
    // Sizes of the panel and log splitters: the ones the user left at the
    // last end of the program (QSettings "QUORAX", "quorax1"), or the defaults.
    void restoreLayout();
    void saveLayout() const;
    void connectHandlers();
    void readArguments(const std::vector<std::string>& args);
    // The unattended run's surface and grid, read while it waits its three
    // seconds, and the grid's gradient with the smoothing the window starts with. A stage takes what was read only when its file is still the
    // very file read (same identity, size and times); otherwise, or when the
    // read failed, it reads the file itself, as it always did.
    struct Prefetch;
    std::shared_ptr<Prefetch> prefetch_;
    void startPrefetch();
    // The surface read beforehand from `path` as `kind` ('j' OBJ, 'y' PLY)
    // into `mesh` with what its load reports; false when there is none to take.
    bool takePrefetchedMesh(const std::string& path, char kind, ReadStatus& status, int32_t& skippedFaces,
                            std::string& summary);
    bool takePrefetchedGrid(PotentialGrid& grid, ReadStatus& status);
    // The gradient of the grid taken above, computed with `passes` smoothing
    // passes beforehand; false when there is none to take.
    bool takePrefetchedGradient(GradientGrid& gradient, int passes);
    // The stages of the automatic pipeline; a conversion error escapes.
    void runAutomaticStages();
    // Ends the automatic pipeline with status 1 after `text` went to the log
    // and to standard error: the unattended run never waits for the user.
    void failAutomatic(const std::string& text);
    // Writes the lines (or an empty file when none are ready) to `path`;
    // on failure logs why and returns false with the reason in `error`.
    bool exportLines(const std::string& path, std::string& error);
    void addExportEntry();
    void offsetLoad(int index);
    void assignPotential(bool electrostatic);
    // Repaints the window (one paint of the view, one composition of the
    // window) and lets pending events run, as the automatic pipeline does
    // between its stages. The view draws a new frame only when
    // what it shows changed: a stage that changed nothing drawn (a log line,
    // an edit no layer reads, data of a layer that is off) keeps the picture.
    void refresh(int times = 1);
    // `reuseSurface`: the surface layer may be copied from the last one kept
    // (only inside refresh(), where no array is changed in place); the frame
    // is drawn `passes` times over, the last one staying.
    void drawFrame(const SceneInput& scene, bool reuseSurface, int passes);
    QString chooseFileIn(QFileDialog* dialog);
    // A mouse position on PanelOGL in framebuffer pixels (y down).
    QPoint panelPixel(const QMouseEvent* e) const;

    std::map<const QLineEdit*, float> lastGoodValue_; // for edits read in every frame
    float frameValue(QLineEdit* edit);
    SceneRenderer renderer_; // draws the frames of PanelOGL
    // Inside refresh() a paint whose scene, panel size and camera are those
    // of the picture in the panel keeps that picture.
    bool refreshing_ = false;
    struct Shown {
        SceneSignature scene;
        double width = 0, height = 0;
        int64_t cameraMoves = 0;
    };
    std::optional<Shown> shown_;  // what the panel's picture shows; none when unknown
    int64_t cameraMoves_ = 0;     // mouse and wheel events that moved the camera
    int64_t framesDrawn_ = 0;
    int wheelRemainder_ = 0;
};

// A number in the log's general format with the locale's decimal point.
std::string general(double v);

} // namespace quorax
