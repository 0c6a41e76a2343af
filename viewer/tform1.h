// The viewer's main window: tool bar, the four tabs of controls, the log and
// the OpenGL view. Its handlers read the controls when they run, change the
// state (the fields of ViewerState) and ask for a frame; the frame only reads.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QPlainTextEdit>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "scene.h"
#include "trackball.h"
#include "ui_tform1.h"
#include "viewer_state.h"

class QAbstractButton;
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

    // Decimal and integer edits converted at the moment of use; they throw
    // ConversionError with the user's message.
    float floatOf(QLineEdit* edit) const;
    int intOf(QLineEdit* edit) const;
    // Reads an OBJ file into `mesh` and logs the reader's summary (after a
    // line naming the file when it cannot be read); the next frame fits it.
    void loadObjModel(const QString& path);
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
    void calclineClick();
    void Button6Click();
    void xxxClick();
    void B_powlinesClick();
    void B_reducepoints_XXLClick();
    void B_exportlinesClick();
    void B_funcClick();
    void b_expjsonClick();
    void B_decor1Click();
    void B_exportdecoClick();
    // BAT.
    void BgenbatClick();
    // Automatic pipeline.
    void autotimerTimer();

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
    void readArguments(const QStringList& args);
    void offsetLoad(int index);
    void assignPotential(bool electrostatic);
    // Repaints the window and lets pending events run, as the automatic
    // pipeline does between its stages.
    void refresh(int times = 1);
    QString chooseFileIn(QFileDialog* dialog);
    // A mouse position on PanelOGL in framebuffer pixels (y down).
    QPoint panelPixel(const QMouseEvent* e) const;

    std::map<const QLineEdit*, float> lastGoodValue_; // for edits read in every frame
    float frameValue(QLineEdit* edit);
    SceneRenderer renderer_; // draws the frames of PanelOGL
    int wheelRemainder_ = 0;
    bool linesExportFailed_ = false; // the last "Export Lines" could not write its file
};

} // namespace quorax
