// What needs a display: pictures grabbed from the shown window's GL panel, the camera driven by mouse events on it,
// and quorax1 started as a process.
#include <QtTest/qtestspontaneevent.h>

#include <GL/gl.h>

#include "viewer_test.h"

using namespace quorax;
using namespace quorax::test;

namespace {

using Match = std::function<bool(QColor)>;
Match near(QColor want, int tol) {
    return [=](QColor c) {
        return std::abs(c.red() - want.red()) <= tol && std::abs(c.green() - want.green()) <= tol &&
               std::abs(c.blue() - want.blue()) <= tol;
    };
}
const Match drawn = [](QColor c) { return !near(QColor(128, 153, 179), 2)(c); }; // not background

// The pixels that match, and their bounding rectangle.
int count(const QImage& image, const Match& match, QRect* bounds = nullptr) {
    int n = 0;
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixelColor(x, y))) ++n, r |= QRect(x, y, 1, 1);
    if (bounds) *bounds = r;
    return n;
}

// Light 0 on a face of colour c facing the eye: c · (0.2 ambient + 0.1 + 0.8 · n·L), L along (−600, 500, 700).
int lit(double c) { return int(std::lround(255 * c * (0.3 + 0.8 * 700 / std::sqrt(1100000.0)))); }

class Gl : public FormTest { // a shown window on a frozen clock
protected:
    int64_t now = 1000000;
    void SetUp() override {
        FormTest::SetUp();
        form->clockMs = [this] { return now; };
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    QImage grab() { return form->PanelOGL->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }
    int pixels(const Match& match = drawn, QRect* bounds = nullptr) { return count(grab(), match, bounds); }
    // Plain, by potential and by face power: vertex arrays draw what immediate mode draws.
    void expectArraysAsImmediateMode(int leastDrawn) {
        for (int setting = 0; setting < 3; ++setting) {
            form->CB_surfcolor->setChecked(setting == 1);
            form->CB_showfacepot->setChecked(setting == 2);
            const QImage arrays = grab();
            qputenv("QUORAX_IMMEDIATE_MODE", "1");
            const QImage immediate = grab();
            qunsetenv("QUORAX_IMMEDIATE_MODE");
            EXPECT_GT(count(arrays, drawn), leastDrawn) << "setting " << setting;
            EXPECT_TRUE(arrays == immediate) << "setting " << setting;
        }
    }
    void expectCentre(int r, int g, int b, const char* what) {
        const QImage i = grab();
        EXPECT_TRUE(near(QColor(r, g, b), 5)(i.pixelColor(i.width() / 2, i.height() / 2))) << what;
    }
    // A drag from the panel's centre in ten moves, held still before the release (no spin is left), then a frame.
    void drag(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint by) {
        QWidget* panel = form->PanelOGL;
        const QPoint from(panel->width() / 2, panel->height() / 2);
        QTest::mousePress(panel, button, mods, from);
        for (int i = 1; i <= 10; ++i, now += 20) {
            const QPoint p = from + by * i / 10;
            QMouseEvent move(QEvent::MouseMove, p, panel->mapToGlobal(p), Qt::NoButton, button, mods);
            QApplication::sendEvent(panel, &move);
        }
        now += 500;
        QTest::mouseRelease(panel, button, mods, from + by);
        grab();
    }
};

// One wheel notch over the middle of `w`, as the window system delivers it.
void notch(QWidget* w, int delta) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QSpontaneKeyEvent::setSpontaneous(&e);
    qApp->notify(w, &e);
}

// A square of side 2 through the origin, facing the eye at (3, 3, 3).
const char* kFacingSquare = "v -0.2988585 -0.8164966 1.1153551\nv 1.1153551 -0.8164966 -0.2988585\n"
                            "v 0.2988585 0.8164966 -1.1153551\nv -1.1153551 0.8164966 0.2988585\nf 1 2 3\nf 1 3 4\n";

} // namespace

TEST_F(Gl, BackgroundAndALitSurfaceAlikeFromArraysAndImmediateMode) {
    EXPECT_EQ(pixels(), 0);
    open(form->ToolButton3, "square.obj", kFacingSquare);
    expectCentre(lit(0.5), lit(0.5), lit(0.5), "grey");
    // Ramp 5 … 15: −20 full red, −10 half red, +20 full blue; shown only when switched on.
    auto values = [&](float v) { for (ViewerVertexData& d : form->mesh.vertexData) d.electrostatic = v; };
    values(-20);
    expectCentre(lit(0.5), lit(0.5), lit(0.5), "values set, colour off");
    form->CB_surfcolor->setChecked(true);
    expectCentre(lit(1), 0, 0, "-20");
    values(-10);
    expectCentre(lit(1), lit(0.5), lit(0.5), "-10");
    values(20);
    expectCentre(0, 0, lit(1), "+20");
    form->CB_surfcolor->setChecked(false);
    form->facePowerMax = 10; // face power 5 of 0 … 10: (0.5, 0.5, 1)
    for (MeshFace& f : form->mesh.tri.faces) f.power = -5;
    form->CB_showfacepot->setChecked(true);
    expectCentre(lit(0.5), lit(0.5), lit(1), "face power");
    // Vertex arrays and immediate mode give the same picture in every colouring.
    const float mixed[4] = {-20, -8, 3, 12};
    for (int i = 0; i < 4; ++i) form->mesh.vertexData[i].electrostatic = mixed[i];
    form->mesh.tri.faces[0].power = 2;
    expectArraysAsImmediateMode(1000);
    form->RGmeshdraw->setItemIndex(0); // "hidden"
    EXPECT_EQ(pixels(), 0);
}

// A surface written a face at a time (the example: three vertices of its own per face, in order) goes to GL as plain
// arrays without indices: the same picture as immediate mode, plain, by potential and by face power.
TEST_F(Gl, SurfaceOfFacesInVertexOrderAlikeFromArraysAndImmediateMode) {
    form->loadObjModel(std::string(QUORAX_EXAMPLES_DIR) + "/fas2.obj");
    ASSERT_EQ(form->mesh.faceCount(), 10720);
    for (int32_t v = 0; v < form->mesh.vertexCount(); ++v)
        form->mesh.vertexData[std::size_t(v)].electrostatic = float(v % 41 - 20);
    for (int32_t f = 0; f < form->mesh.faceCount(); ++f) form->mesh.tri.faces[std::size_t(f)].power = float(f % 11);
    form->facePowerMax = 10;
    expectArraysAsImmediateMode(10000);
}

TEST_F(Gl, EveryLayerWhereItsDataIsAndGoneWhenSwitchedOff) {
    // Grid points: eleven nodes along x, all −20 but node 5 (+20) and node 10 (−5, the lower limit: white if drawn);
    // only nodes 0, 5 and 10 are visited.
    PotentialGrid& p = form->potentialGrid;
    p = potential(1, 0.1f, {}, [](Vec3) { return 0.0f; });
    p.nx = 11;
    p.values.assign(11, -20.0f);
    p.values[5] = 20.0f;
    p.values[10] = -5.0f;
    const QImage grid = grab();
    const int n = count(grid, drawn); // two points of size 2.5
    EXPECT_TRUE(n >= 8 && n <= 18) << n;
    EXPECT_TRUE(count(grid, near(Qt::red, 8)) && count(grid, near(Qt::blue, 8)));
    EXPECT_EQ(count(grid, near(Qt::white, 40)), 0);
    form->cb_drawgrid->setChecked(false);
    EXPECT_EQ(pixels(), 0);
    // Offset values −10 (t = 0.5 of 5 … 15: (1, 0.5, 0.5)), 20 (beyond the display limit) and 12 (t = 0.7:
    // (0.3, 0.3, 1)): two points of one pixel.
    form->offsetMeshes[1] = makeMesh({{0, 0, 0}, {0.5f, 0, -0.5f}, {-0.5f, 0, 0.5f}}, {});
    const float values[3] = {-10, 20, 12};
    for (int i = 0; i < 3; ++i) form->offsetMeshes[1].vertexData[i].electrostatic = values[i];
    form->cb_showoff->setChecked(true);
    const QImage offsets = grab();
    EXPECT_EQ(count(offsets, drawn), 2);
    EXPECT_EQ(count(offsets, near(QColor(255, 128, 128), 3)), 1);
    EXPECT_EQ(count(offsets, near(QColor(77, 77, 255), 3)), 1);
    form->cb_showoff->setChecked(false);
    // One gradient vector of length 0.71 (within 0,1 … 1000), drawn twice as long from grey (0.8, 0.8, 0.8) to a
    // green tip (0.5, 0.7, 0.1), or an orange one (0.7, 0.4, 0.1) below the halt limit: 90 % along the segment.
    GradientGrid& g = form->gradientGrid;
    g.nx = g.ny = g.nz = 1;
    g.vectors = {{0.5f, 0, -0.5f}};
    form->CB_drawgrad->setChecked(true);
    EXPECT_EQ(pixels(), 0) << "nothing before the gradient is ready";
    g.ready = true;
    EXPECT_GT(pixels(near(QColor(135, 181, 43), 12)), 0);
    form->E_haltgradient->setText("1,0");
    EXPECT_GT(pixels(near(QColor(181, 112, 43), 12)), 0);
    form->CB_slice->setChecked(true); // one slice at full density, none outside the grid
    EXPECT_EQ(pixels(), 0) << "slice 10 of 1";
    form->CS_slicenum->setValue(0);
    EXPECT_GT(pixels(), 0) << "slice 0";
    form->CB_drawgrad->setChecked(false);
    EXPECT_EQ(pixels(), 0);
    form->decorationPositions = {{0, 0, 0}};
    form->decorationDirections = {{1, 0, -1}};
    form->decorationSizes = {1.8f};
    form->CB_showdeco->setChecked(true);
    EXPECT_EQ(pixels(), 0) << "nothing before the decorations are placed";
    form->decorationsReady = true; // lit yellow (0.9, 0.9, 0.2): red as green, little blue
    auto yellow = [](QColor c) { return c.red() > 60 && std::abs(c.red() - c.green()) < 4 && c.blue() < c.red() / 2; };
    EXPECT_GT(pixels(yellow), 200);
    form->CB_showdeco->setChecked(false);
    // Lines, in a box of 20 for the probe cross's 5-unit arms at node 10 (5, 5, 5).
    form->mesh.bboxMin = {-10, -10, -10};
    form->mesh.bboxMax = {10, 10, 10};
    g.delta = {0.5f, 0.5f, 0.5f};
    FieldLine field, probe;
    for (int a = 2; a <= 8; ++a) {
        field.points.push_back({-float(a), 0, float(a)});
        probe.points.push_back({float(a), 0, -float(a)});
    }
    form->fieldLines = {field};
    form->probeLine = probe;
    form->CB_showlines->setChecked(true);
    EXPECT_EQ(pixels(), 0) << "nothing before the lines are ready";
    form->linesReady = true;
    const QImage lines = grab();
    EXPECT_GT(count(lines, near(QColor(230, 153, 128), 3)), 10) << "field line";
    EXPECT_GT(count(lines, near(QColor(230, 179, 153), 3)), 10) << "probe line";
    // The cross's arms shade from pale to strong red (x) and green (y).
    EXPECT_TRUE(count(lines, near(QColor(204, 26, 26), 12)) && count(lines, near(QColor(26, 204, 26), 12)));
    form->CB_showlines->setChecked(false);
    EXPECT_EQ(pixels(), 0);
}

// The suite runs this once more on a screen of two pixels per point: the pointer moves in points, the picture in
// pixels.
TEST_F(Gl, MouseAndWheelMoveTheCamera) {
    // A pan (Ctrl + left) keeps the grabbed point under the pointer: the red node at the origin.
    form->potentialGrid = potential(1, 1, {}, [](Vec3) { return -20.0f; });
    QRect before, after;
    ASSERT_GT(pixels(near(Qt::red, 8), &before), 0);
    drag(Qt::RightButton, Qt::NoModifier, {60, 40}); // before any press: no manipulator
    EXPECT_EQ(form->trackball.currentMatrix(), identityMatrix());
    drag(Qt::LeftButton, Qt::ControlModifier, {40, -25});
    pixels(near(Qt::red, 8), &after);
    const QPointF moved = QRectF(after).center() - QRectF(before).center();
    const double ratio = form->PanelOGL->devicePixelRatioF();
    EXPECT_LT((moved - QPointF(40, -25) * ratio).manhattanLength(), 4) << ratio << " pixels per point";
    open(form->ToolButton3, "square.obj", kFacingSquare);
    pixels(drawn, &before);
    for (int delta : {-120, -120, -120}) notch(form->PanelOGL, delta);
    EXPECT_NEAR(form->zoom, 1.331f, 1e-5f);
    pixels(drawn, &after);
    EXPECT_NEAR(after.width(), before.width() / 1.331, 2.0);
    for (int delta : {120, 120, 120}) notch(form->PanelOGL, delta);
    EXPECT_NEAR(form->zoom, 1.0f, 1e-6f);
    drag(Qt::LeftButton, Qt::NoModifier, {80, 0}); // a turn about the screen's vertical
    EXPECT_TRUE(form->trackball.mode() == Manipulator::Sphere && !form->trackball.spinning()); // no spin left
    pixels(drawn, &after);
    EXPECT_LT(after.width(), before.width() - 5);
    // Button codes: left 1, middle 2; Ctrl adds 32, otherwise Shift 16.
    for (const auto& [button, mods, code, mode] :
         {std::tuple{Qt::MiddleButton, Qt::KeyboardModifiers(), 2, Manipulator::PlaneXY},
          {Qt::LeftButton, Qt::KeyboardModifiers(Qt::ShiftModifier), 17, Manipulator::Scale},
          {Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, 33, Manipulator::PlaneXY}}) {
        const Matrix4 start = form->trackball.currentMatrix();
        drag(button, mods, {0, 50});
        EXPECT_EQ(std::pair(form->mouseButtonCode, form->trackball.mode()), std::pair(code, std::optional(mode)));
        EXPECT_NE(form->trackball.currentMatrix(), start) << code;
    }
}

// The wheel zooms over the view only: over the panel it scrolls the panel, and at the panel's end it does nothing.
TEST_F(Gl, WheelZoomsOnlyOverTheView) {
    form->resize(845, 500); // the LINES tab needs scrolling
    form->PageControl1->setCurrentWidget(form->TabSheet5);
    QApplication::processEvents();
    QScrollBar* bar = form->TabSheet5->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    for (int i = 0; i < 100; ++i) notch(form->TabSheet5->viewport(), -120); // well past the end
    EXPECT_EQ(bar->value(), bar->maximum());
    notch(form->B_exportlines, -120); // over a control inside the panel
    notch(form->PageControl1->tabBar(), -120);
    EXPECT_EQ(form->zoom, 1.0f);
    notch(form->PanelOGL, -120);
    EXPECT_NEAR(form->zoom, 1.1f, 1e-6f);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The picture keeps its proportions in any window shape: a square facing the eye stays square and in view.
TEST_F(Gl, ProportionsInWideAndTallWindows) {
    open(form->ToolButton3, "square.obj", kFacingSquare);
    for (const QSize& size : {QSize(1200, 450), QSize(520, 1000)}) {
        form->resize(size);
        QApplication::processEvents();
        QRect square;
        const QImage frame = grab();
        ASSERT_GT(count(frame, drawn, &square), 100) << size.width();
        EXPECT_LE(std::abs(square.width() - square.height()), 2) << size.width() << "x" << size.height();
        EXPECT_TRUE(QRect(QPoint(1, 1), frame.size() - QSize(2, 2)).contains(square)) << size.width();
    }
}

// The panel and the log sit in splitters: a fresh start gives the view its old size in the default window and
// shows the whole LINES tab in a 1280x800 window; sizes the user chose come back at the next start.
TEST_F(Gl, SplittersStartAtTheOldSizesAndKeepTheUsersBetweenRuns) {
    EXPECT_EQ(form->PanelOGL->size(), QSize(580, 578));
    auto* panels = form->findChild<QSplitter*>("Splitter1");
    auto* log = form->findChild<QSplitter*>("Panel2");
    ASSERT_TRUE(panels && log);
    form->resize(1280, 800);
    form->PageControl1->setCurrentWidget(form->TabSheet5);
    QApplication::processEvents();
    EXPECT_EQ(form->TabSheet5->verticalScrollBar()->maximum(), 0) << "the LINES tab scrolls at 1280x800";
    panels->setSizes({400, 875});
    log->setSizes({600, 163});
    const QList<int> chosen[2] = {panels->sizes(), log->sizes()};
    form.reset(); // the program ends
    makeForm(QStringList());
    form->resize(1280, 800);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->findChild<QSplitter*>("Splitter1")->sizes(), chosen[0]);
    EXPECT_EQ(form->findChild<QSplitter*>("Panel2")->sizes(), chosen[1]);
}

// The automatic run on the example in the shown window: after every paint of the view, the picture in the panel is the
// one a whole new frame of the same state gives (a kept picture, a frame on a kept surface, or a frame drawn anew),
// and only the stages that change what is drawn draw a frame.
TEST_F(Gl, AutomaticRunDrawsOnlyTheStagesThatChangeThePicture) {
    const std::string ex = QUORAX_EXAMPLES_DIR;
    makeForm(std::make_unique<TForm1>(std::vector<std::string>{ex + "/fas2.obj", ex + "/fas2.dx", dir.file("lines.txt"),
                                                               "0.01", "0.0", "45", "1", "3.0"}));
    form->clockMs = [this] { return now; };
    form->autotimer->stop(); // run at once instead of after three seconds
    int status = -1;
    form->endProcess = [&status](int s) { status = s; };
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::qWait(50); // the first paints of the window
    auto panelPixels = [&] {
        std::vector<unsigned char> rgba(4 * std::size_t(form->PanelOGL->pixelWidth()) * form->PanelOGL->pixelHeight());
        glReadPixels(0, 0, form->PanelOGL->pixelWidth(), form->PanelOGL->pixelHeight(), GL_RGBA, GL_UNSIGNED_BYTE,
                     rgba.data());
        return rgba;
    };
    int paints = 0, frames = 0, differing = 0;
    const std::function<void()> paint = form->PanelOGL->onPaint;
    form->PanelOGL->onPaint = [&] {
        const int64_t drawn = form->framesDrawn();
        paint();
        ++paints;
        frames += int(form->framesDrawn() - drawn);
        const std::vector<unsigned char> shown = panelPixels();
        form->drawFrame();
        differing += shown != panelPixels();
    };
    form->autotimerTimer();
    ASSERT_EQ(status, 0);
    EXPECT_GT(linesInFile(dir.read("lines.txt")), 10);
    EXPECT_EQ(differing, 0);
    // One paint per refresh of a stage; frames for the model, the grid points, the grid switched off, the lines and
    // the reduced lines.
    EXPECT_EQ(paints, 14);
    EXPECT_EQ(frames, 5);
}

// quorax1 as a process, on the display of the run (no leak check in the child: its GL driver is unloaded first):
// the command line's bytes reach the files, and an error ends the run on standard error with no box that waits.
TEST(AutoProcess, EightArgumentsOnTheExampleAndAnError) {
    TempDir dir;
    const std::string ex = QUORAX_EXAMPLES_DIR;
    std::filesystem::create_symlink(ex + "/fas2.obj", dir.file("m\xe9\xff.obj")); // Latin-1 é and a byte no encoding gives
    std::vector<std::string> a = {dir.file("m\xe9\xff.obj"), ex + "/fas2.dx", dir.file("lines\xe9.txt"), "0.01", "0.0",
                                  "45", "1", "3.0"};
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=", "ASAN_OPTIONS=detect_leaks=0"};
    ProcessResult r = runProcess(QUORAX1_PATH, a, dir.path(), env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(linesInFile(dir.read("lines\xe9.txt")), 10);
    a[3] = "nan";
    a[2] = dir.file("lines.txt");
    r = runProcess(QUORAX1_PATH, a, dir.path(), env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.err, "quorax1: error: 'NAN' is not a valid floating point value"));
    EXPECT_FALSE(dir.exists("lines.txt"));
}
