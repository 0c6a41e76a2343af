// Pictures of the shown window's GL panel: the background, the lit surface
// and its colourings, each scene layer where its data lies and gone when its
// switch is off, the wheel zoom and a resized panel. Points are placed by
// projecting model points with the camera the frame uses (look-at from
// (3, 3, 3), 30° field of view, the model fitted to its box), and colours are
// searched for in a few pixels around them.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "gl_window.h"
#include "radio_group.h"

using namespace quorax;
using window_test::colorNear;
using window_test::countNonBackground;
using window_test::kBackground;
using window_test::ShownWindow;

namespace {

using PixelTest = std::function<bool(QColor)>;

bool pixelNear(const QImage& image, QPointF at, int radius, const PixelTest& test) {
    const int cx = int(std::lround(at.x())), cy = int(std::lround(at.y()));
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x)
            if (image.valid(x, y) && test(image.pixelColor(x, y))) return true;
    return false;
}

bool isBackground(QColor c) {
    return std::abs(c.red() - kBackground.red()) <= 1 &&
           std::abs(c.green() - kBackground.green()) <= 1 &&
           std::abs(c.blue() - kBackground.blue()) <= 1;
}

QColor centrePixel(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Fixed-function lighting of a front face of colour c under the window's
// light 0 with the default global ambient 0.2: c · (0.2 + 0.1 + 0.8 · n·L),
// L the light direction (−600, 500, 700) in eye space. The specular term
// (shininess 100, 47° off the view direction) stays below 0.001.
int lit(double c, double nDotL) {
    return int(std::lround(255.0 * c * (0.3 + 0.8 * nDotL)));
}
const double kLightZ =
    700.0 / std::sqrt(600.0 * 600.0 + 500.0 * 500.0 + 700.0 * 700.0); // n·L for n facing the eye

void expectColor(QColor c, int r, int g, int b, int tol, const char* what) {
    EXPECT_NEAR(c.red(), r, tol) << what;
    EXPECT_NEAR(c.green(), g, tol) << what;
    EXPECT_NEAR(c.blue(), b, tol) << what;
}

// A model frame 20 units across (box −10 … 10): the scene is drawn at
// 2 / √1200 of model size, so the 5-unit probe cross fits in the view.
void useWideBox(TForm1& form) {
    form.mesh.bboxMin = {-10, -10, -10};
    form.mesh.bboxMax = {10, 10, 10};
}

} // namespace

TEST(WindowDrawing, EmptySceneShowsTheBackground) {
    ShownWindow w;
    const QImage image = w.grab();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(w.form.PanelOGL->pixelWidth(), w.form.PanelOGL->pixelHeight()));
    // (0.5, 0.6, 0.7) in 8 bits, everywhere: no model, no grid, no layer data.
    for (QPoint p : {QPoint(0, 0), QPoint(image.width() - 1, image.height() - 1),
                     QPoint(image.width() / 2, 3)})
        expectColor(image.pixelColor(p), 128, 153, 179, 1, "corner");
    EXPECT_EQ(countNonBackground(image, kBackground), 0);
    // The context came up: no message was shown and the log is untouched.
    EXPECT_EQ(w.form.Memo1->toPlainText(), "Program Started");
    EXPECT_EQ(w.form.viewWidth, w.form.PanelOGL->pixelWidth());
    EXPECT_EQ(w.form.viewHeight, w.form.PanelOGL->pixelHeight());
}

TEST(WindowDrawing, SurfaceIsLitGreyAndTakesThePotentialColours) {
    ShownWindow w;
    w.loadFacingQuad();
    TForm1& form = w.form;
    // The square faces the eye: n·L is the light's z in eye space.
    const int grey = lit(0.5, kLightZ);
    expectColor(centrePixel(w.grab()), grey, grey, grey, 5, "grey surface");
    EXPECT_TRUE(isBackground(w.grab().pixelColor(2, 2)));

    // Lighting follows the vertex normals, whatever their length: turned
    // towards the light they give the full diffuse term. The light (−600,
    // 500, 700) is in eye space; in the model it is that combination of the
    // view's right (1, 0, −1)/√2, up (−1, 2, −1)/√6 and back (1, 1, 1)/√3.
    const double r = -600.0 / std::sqrt(2.0), u = 500.0 / std::sqrt(6.0),
                 b = 700.0 / std::sqrt(3.0);
    const Vec3 towardsLight{float(r - u + b), float(2 * u + b), float(-r - u + b)}; // length ≈ 1049
    const std::vector<MeshVertex> saved = form.mesh.tri.vertices;
    for (MeshVertex& v : form.mesh.tri.vertices)
        v.normal = towardsLight;
    const int bright = lit(0.5, 1.0);
    expectColor(centrePixel(w.grab()), bright, bright, bright, 5, "normals towards the light");
    form.mesh.tri.vertices = saved;

    // Potential colours, limits 5 … 15: −20 is full red, −10 half red
    // (1, 0.5, 0.5), +20 full blue; without the switch the values are not shown.
    for (ViewerVertexData& d : form.mesh.vertexData)
        d.electrostatic = -20.0f;
    expectColor(centrePixel(w.grab()), grey, grey, grey, 5, "values set, colour off");
    form.CB_surfcolor->setChecked(true);
    expectColor(centrePixel(w.grab()), lit(1.0, kLightZ), 0, 0, 5, "-20");
    for (ViewerVertexData& d : form.mesh.vertexData)
        d.electrostatic = -10.0f;
    expectColor(centrePixel(w.grab()), lit(1.0, kLightZ), lit(0.5, kLightZ), lit(0.5, kLightZ), 5,
                "-10");
    for (ViewerVertexData& d : form.mesh.vertexData)
        d.electrostatic = 20.0f;
    expectColor(centrePixel(w.grab()), 0, 0, lit(1.0, kLightZ), 5, "+20");
    // The ramp limits are read in every frame: with 0 … 40, +20 is half blue.
    form.E_max_pot->setText("40,0");
    form.E_min_pot->setText("0.0");
    expectColor(centrePixel(w.grab()), lit(0.5, kLightZ), lit(0.5, kLightZ), lit(1.0, kLightZ), 5,
                "+20 of 40");
    form.CB_surfcolor->setChecked(false);

    // Face power colours: power 5 within 0 … 10 is t = 0.5, (0.5, 0.5, 1).
    form.facePowerMin = 0.0f;
    form.facePowerMax = 10.0f;
    for (MeshFace& f : form.mesh.tri.faces)
        f.power = -5.0f;
    form.CB_showfacepot->setChecked(true);
    expectColor(centrePixel(w.grab()), lit(0.5, kLightZ), lit(0.5, kLightZ), lit(1.0, kLightZ), 5,
                "face power");
    form.CB_showfacepot->setChecked(false);

    // "hidden" removes the surface.
    form.RGmeshdraw->setItemIndex(0);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
    form.RGmeshdraw->setItemIndex(1);
    expectColor(centrePixel(w.grab()), grey, grey, grey, 5, "solid again");
}

TEST(WindowDrawing, VertexArraysAndImmediateModeDrawTheSamePicture) {
    ShownWindow w;
    w.loadFacingQuad();
    TForm1& form = w.form;
    const float values[4] = {-20.0f, -8.0f, 3.0f, 12.0f};
    for (int i = 0; i < 4; ++i)
        form.mesh.vertexData[i].electrostatic = values[i];
    form.facePowerMax = 4.0f;
    form.mesh.tri.faces[0].power = 1.0f;
    form.mesh.tri.faces[1].power = 3.0f;
    for (int setting = 0; setting < 3; ++setting) {
        form.CB_surfcolor->setChecked(setting == 1);
        form.CB_showfacepot->setChecked(setting == 2);
        qunsetenv("QUORAX_IMMEDIATE_MODE");
        ASSERT_TRUE(form.sceneControls().vertexArrays);
        const QImage arrays = w.grab();
        qputenv("QUORAX_IMMEDIATE_MODE", "1");
        ASSERT_FALSE(form.sceneControls().vertexArrays);
        const QImage immediate = w.grab();
        qunsetenv("QUORAX_IMMEDIATE_MODE");
        EXPECT_GT(countNonBackground(arrays, kBackground), 1000);
        EXPECT_TRUE(arrays == immediate) << "setting " << setting;
    }
}

TEST(WindowDrawing, GridPointsShowEveryFifthNodeBeyondTheLowerLimit) {
    ShownWindow w;
    TForm1& form = w.form;
    // Eleven nodes along x, 0.1 apart, all −20 but node 5 (+20) and node 10
    // (−5, exactly the lower limit). Only nodes 0, 5, 10 are visited.
    PotentialGrid& g = form.potentialGrid;
    g.nx = 11;
    g.ny = g.nz = 1;
    g.origin = {0, 0, 0};
    g.delta = {0.1f, 0.1f, 0.1f};
    g.values.assign(11, -20.0f);
    g.values[5] = 20.0f;
    g.values[10] = -5.0f;
    const QColor red(255, 0, 0), blue(0, 0, 255);
    const QPointF node0 = w.at({0, 0, 0}), node2 = w.at({0.2f, 0, 0}), node5 = w.at({0.5f, 0, 0}),
                  node10 = w.at({1.0f, 0, 0});

    // Not loaded: nothing, although the switch is on.
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
    g.loaded = true;
    QImage image = w.grab();
    EXPECT_TRUE(colorNear(image, node0, 2, red, 8)) << "the negative node is red";
    EXPECT_TRUE(colorNear(image, node5, 2, blue, 8)) << "the positive node is blue";
    EXPECT_FALSE(pixelNear(image, node2, 2, [](QColor c) { return !isBackground(c); }))
        << "node 2 is not visited";
    EXPECT_FALSE(pixelNear(image, node10, 3, [](QColor c) { return !isBackground(c); }))
        << "|v| equal to the lower limit is not drawn";
    // Point size 2.5: a few pixels per node, not one and not a blob.
    const int drawn = countNonBackground(image, kBackground);
    EXPECT_GE(drawn, 2 * 4);
    EXPECT_LE(drawn, 2 * 9);

    form.cb_drawgrid->setChecked(false);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
}

TEST(WindowDrawing, LinesLayerDrawsTheCrossTheProbeLineAndTheFieldLines) {
    ShownWindow w;
    TForm1& form = w.form;
    useWideBox(form);
    // Probe node (10, 10, 10) of a grid with spacing 0.5 from the origin: p = (5, 5, 5),
    // on the line of sight through the view centre.
    form.gradientGrid.origin = {0, 0, 0};
    form.gradientGrid.delta = {0.5f, 0.5f, 0.5f};
    // A field line along (−1, 0, 1), which runs left on the screen through the
    // centre's row, and the probe line along (1, 0, −1), to the right.
    FieldLine field, probe;
    for (int a = 2; a <= 8; ++a) {
        field.push_back({-float(a), 0, float(a)});
        probe.push_back({float(a), 0, -float(a)});
    }
    form.fieldLines = {field};
    form.probeLine = probe;
    const QPointF fieldMid = w.at({-5, 0, 5}), probeMid = w.at({5, 0, -5});
    const QPointF crossX =
        w.at({5 + 4.5f, 5, 5}); // 95 % of the way to the strong red end p + (5, 0, 0)
    const QPointF crossY =
        w.at({5, 5 - 4.5f, 5}); // 95 % of the way to the strong green end p − (0, 5, 0)
    const QColor fieldColor(230, 153, 128), probeColor(230, 179, 153);

    form.CB_showlines->setChecked(true);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0) << "nothing before the lines are ready";
    form.linesReady = true;
    QImage image = w.grab();
    EXPECT_TRUE(colorNear(image, fieldMid, 2, fieldColor, 3));
    EXPECT_TRUE(colorNear(image, probeMid, 2, probeColor, 3));
    // The cross's arms shade from pale to strong: 95 % of the way is
    // (0.8, 0.12, 0.12) on the x arm and (0.12, 0.8, 0.12) on the y arm.
    EXPECT_TRUE(colorNear(image, crossX, 3, QColor(204, 31, 31), 12));
    EXPECT_TRUE(colorNear(image, crossY, 3, QColor(31, 204, 31), 12));

    form.CB_showlines->setChecked(false);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
}

TEST(WindowDrawing, GradientLayerDrawsSegmentsTwiceTheVector) {
    ShownWindow w;
    TForm1& form = w.form;
    GradientGrid& g = form.gradientGrid;
    g.nx = g.ny = g.nz = 1;
    g.origin = {0, 0, 0};
    g.delta = {1, 1, 1};
    g.vectors = {{0.5f, 0, -0.5f}}; // length 0.71, within 0,1 … 1000
    // The segment ends at 2 g = (1, 0, −1); 90 % along, the colour is between
    // the grey start (0.8, 0.8, 0.8) and the green tip (0.5, 0.7, 0.1) of a
    // gradient above the halt limit 0.
    const QPointF nearTip = w.at({0.9f, 0, -0.9f}), beyondTip = w.at({1.3f, 0, -1.3f});
    const QColor tipColor(135, 181, 43);

    form.CB_drawgrad->setChecked(true);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0)
        << "nothing before the gradient is ready";
    g.ready = true;
    QImage image = w.grab();
    EXPECT_TRUE(colorNear(image, nearTip, 3, tipColor, 12));
    EXPECT_FALSE(pixelNear(image, beyondTip, 3, [](QColor c) { return !isBackground(c); }));
    // Below the halt limit the tip turns orange (0.7, 0.4, 0.1): 90 % along,
    // (0.71, 0.44, 0.17).
    form.E_haltgradient->setText("1,0");
    EXPECT_TRUE(colorNear(w.grab(), nearTip, 3, QColor(181, 112, 43), 12));
    // A length at or above the upper limit is not drawn.
    form.E_upperG->setText("0,5");
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
    form.E_upperG->setText("1000");
    form.CB_drawgrad->setChecked(false);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
}

TEST(WindowDrawing, DecorationsAreLitYellowPyramids) {
    ShownWindow w;
    TForm1& form = w.form;
    // One pyramid of size 1.8 at the origin pointing right on the screen.
    form.decorationPositions = {{0, 0, 0}};
    form.decorationDirections = {{1, 0, -1}};
    form.decorationSizes = {1.8f};
    const QPointF middle = w.at({0.45f, 0, -0.45f});
    // Lit (0.9, 0.9, 0.2): red and green alike, blue well below them.
    auto yellow = [](QColor c) {
        return c.red() > 60 && std::abs(c.red() - c.green()) <= 3 && c.blue() < c.red() * 0.4;
    };

    form.CB_showdeco->setChecked(true);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0)
        << "nothing before the decorations are placed";
    form.decorationsReady = true;
    QImage image = w.grab();
    EXPECT_TRUE(pixelNear(image, middle, 4, yellow));
    EXPECT_GT(countNonBackground(image, kBackground), 200);
    form.CB_showdeco->setChecked(false);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
}

TEST(WindowDrawing, OffsetSurfacesArePointsWithinTheDisplayLimits) {
    ShownWindow w;
    TForm1& form = w.form;
    // Three vertices of the second offset surface: −10 (inside 5 … 15, ramp
    // t = 0.5: (1, 0.5, 0.5)), 20 (above the display limit) and 12 (t = 0.7:
    // (0.3, 0.3, 1)).
    ViewerMesh& m = form.offsetMeshes[1];
    m.tri.vertices.resize(3);
    m.tri.vertices[0].pos = {0, 0, 0};
    m.tri.vertices[1].pos = {0.5f, 0, -0.5f};
    m.tri.vertices[2].pos = {-0.5f, 0, 0.5f};
    m.resetViewerFields({255, 255, 255, 255});
    m.vertexData[0].electrostatic = -10.0f;
    m.vertexData[1].electrostatic = 20.0f;
    m.vertexData[2].electrostatic = 12.0f;

    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0) << "showOff is off at start";
    form.cb_showoff->setChecked(true);
    QImage image = w.grab();
    EXPECT_TRUE(colorNear(image, w.at({0, 0, 0}), 1, QColor(255, 128, 128), 3));
    EXPECT_TRUE(colorNear(image, w.at({-0.5f, 0, 0.5f}), 1, QColor(77, 77, 255), 3));
    EXPECT_EQ(countNonBackground(image, kBackground), 2) << "two points of one pixel each";
    form.cb_showoff->setChecked(false);
    EXPECT_EQ(countNonBackground(w.grab(), kBackground), 0);
}

TEST(WindowDrawing, WheelZoomsByElevenTenthsPerNotch) {
    ShownWindow w;
    w.loadFacingQuad();
    QRect before, after;
    countNonBackground(w.grab(), kBackground, &before);
    ASSERT_GT(before.width(), 50);

    // A notch over the panel, delivered as the window system delivers it
    // (spontaneous, straight to the application's dispatch; sendEvent would
    // make it synthetic, and synthetic wheel events do not travel): the panel
    // does not take it, so it travels up to the window.
    auto notch = [&](int delta) {
        const QPointF centre(w.form.PanelOGL->width() / 2.0, w.form.PanelOGL->height() / 2.0);
        QWheelEvent e(centre, w.form.PanelOGL->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&e);
        qApp->notify(w.form.PanelOGL, &e);
    };
    for (int i = 0; i < 3; ++i)
        notch(-120); // towards the user: down
    EXPECT_NEAR(w.form.zoom, 1.331f, 1e-5f);
    countNonBackground(w.grab(), kBackground, &after);
    // The square is 1/1.331 of its size, about the same centre.
    EXPECT_NEAR(after.width(), before.width() / 1.331, 2.0);
    EXPECT_NEAR(after.height(), before.height() / 1.331, 2.0);
    EXPECT_NEAR(after.center().x(), before.center().x(), 1.0);

    for (int i = 0; i < 3; ++i)
        notch(120);
    EXPECT_NEAR(w.form.zoom, 1.0f, 1e-6f);
    countNonBackground(w.grab(), kBackground, &after);
    EXPECT_EQ(after, before);
}

TEST(WindowDrawing, ResizedPanelKeepsItsViewportAndAspect) {
    ShownWindow w;
    TForm1& form = w.form;
    PotentialGrid& g = form.potentialGrid;
    g.nx = 6;
    g.ny = g.nz = 1;
    g.delta = {0.2f, 0.2f, 0.2f};
    g.values = {-20, 0, 0, 0, 0, -20};
    g.loaded = true;
    // Wider than tall, then taller than wide: the aspect is always the larger
    // side over the smaller, and the points land where that camera puts them.
    for (QSize size : {QSize(1000, 700), QSize(560, 900)}) {
        form.resize(size);
        QApplication::processEvents();
        const QImage image = w.grab();
        const int pw = form.PanelOGL->pixelWidth(), ph = form.PanelOGL->pixelHeight();
        EXPECT_EQ(image.size(), QSize(pw, ph));
        EXPECT_EQ(form.viewWidth, pw);
        EXPECT_EQ(form.viewHeight, ph);
        for (float x : {0.0f, 1.0f})
            EXPECT_TRUE(colorNear(image, w.at({x, 0, 0}), 2, QColor(255, 0, 0), 8))
                << "node at x = " << x << " in a " << pw << " x " << ph << " panel";
        EXPECT_TRUE(isBackground(image.pixelColor(pw - 1, ph - 1)));
    }
    EXPECT_GT(form.viewHeight, form.viewWidth) << "the second size must give a tall panel";
}
