// The camera driven through the window: mouse events on the GL panel reach
// the trackball with the button codes of the window (left 1, middle 2, right
// 0; Ctrl adds 32, otherwise Shift adds 16).
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "gl_window.h"

using namespace quorax;
using window_test::ShownWindow;

namespace {

// Press at `from`, move in ten steps 20 ms apart to `to`, hold still for
// half a second (so no spin is left), release.
void drag(ShownWindow& w, Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint from,
          QPoint to) {
    QWidget* panel = w.form.PanelOGL;
    QTest::mousePress(panel, button, mods, from);
    EXPECT_TRUE(w.form.mouseDragging);
    for (int i = 1; i <= 10; ++i) {
        w.now += 20;
        const QPoint p = from + (to - from) * i / 10;
        QMouseEvent move(QEvent::MouseMove, p, panel->mapToGlobal(p), Qt::NoButton, button, mods);
        QApplication::sendEvent(panel, &move);
    }
    w.now += 500;
    QTest::mouseRelease(panel, button, mods, to);
    EXPECT_FALSE(w.form.mouseDragging);
    w.grab(); // a frame: the trackball samples the view and would advance a spin
}

} // namespace

TEST(WindowCamera, LeftDragTurnsTheScene) {
    ShownWindow w;
    w.loadFacingQuad();
    const QImage before = w.grab();
    const QPoint c(w.form.PanelOGL->width() / 2, w.form.PanelOGL->height() / 2);
    drag(w, Qt::LeftButton, Qt::NoModifier, c, c + QPoint(80, 0));
    EXPECT_EQ(w.form.trackball.mode(), 0) << "free rotation";
    EXPECT_NE(w.form.trackball.currentMatrix(), identityMatrix());
    EXPECT_FALSE(w.form.trackball.spinning()) << "held still before the release";
    // A turn about the vertical axis of the screen narrows the square.
    QRect a, b;
    window_test::countNonBackground(before, window_test::kBackground, &a);
    window_test::countNonBackground(w.grab(), window_test::kBackground, &b);
    EXPECT_LT(b.width(), a.width() - 5);
    EXPECT_NEAR(b.height(), a.height(), 0.25 * a.height());
}

TEST(WindowCamera, AFlickKeepsTurningFromFrameToFrame) {
    ShownWindow w;
    w.loadFacingQuad();
    w.grab();
    QWidget* panel = w.form.PanelOGL;
    const QPoint c(panel->width() / 2, panel->height() / 2);
    QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, c);
    for (int i = 1; i <= 3; ++i) {
        w.now += 20;
        const QPoint p = c + QPoint(10 * i, 0);
        QMouseEvent move(QEvent::MouseMove, p, panel->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(panel, &move);
    }
    w.now += 10; // released while still moving
    QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, c + QPoint(30, 0));
    ASSERT_TRUE(w.form.trackball.spinning());
    // Each frame advances the spin to the window's clock.
    w.grab();
    const Matrix4 first = w.form.trackball.currentMatrix();
    w.now += 100;
    const QImage later = w.grab();
    EXPECT_NE(w.form.trackball.currentMatrix(), first);
    // The clock standing still, the picture stands still.
    EXPECT_TRUE(w.grab() == later);
    // A press stops the spin.
    QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, c);
    QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, c);
    EXPECT_FALSE(w.form.trackball.spinning());
}

// A pan slides the scene in the x–y plane through the centre so that the
// point grabbed there stays under the pointer: the point at the origin, under
// the view centre, follows the pointer to where the drag ends. The pointer
// moves in device-independent pixels, the picture in framebuffer pixels; the
// suite runs this once more on a screen of two pixels per point.
TEST(WindowCamera, PanKeepsTheGrabbedPointUnderThePointer) {
    ShownWindow w;
    PotentialGrid& g = w.form.potentialGrid;
    g.nx = g.ny = g.nz = 1;
    g.values = {-20.0f};
    g.loaded = true;
    const double ratio = w.form.PanelOGL->devicePixelRatioF();
    const QPoint c(w.form.PanelOGL->width() / 2, w.form.PanelOGL->height() / 2);
    const QPoint offset(40, -25);
    const QImage before = w.grab();
    const QPointF centre(before.width() / 2.0, before.height() / 2.0);
    ASSERT_TRUE(window_test::colorNear(before, centre, 2, QColor(255, 0, 0), 8));
    drag(w, Qt::LeftButton, Qt::ControlModifier, c, c + offset);
    const QImage after = w.grab();
    EXPECT_TRUE(
        window_test::colorNear(after, centre + QPointF(offset) * ratio, 3, QColor(255, 0, 0), 8))
        << "at " << ratio << " pixels per point";
    EXPECT_FALSE(window_test::colorNear(after, centre, 3, QColor(255, 0, 0), 8));
}

TEST(WindowCamera, ButtonsAndModifiersChooseTheManipulator) {
    ShownWindow w;
    w.grab();
    const QPoint c(w.form.PanelOGL->width() / 2, w.form.PanelOGL->height() / 2);

    // A right drag before any other press selects nothing and moves nothing.
    drag(w, Qt::RightButton, Qt::NoModifier, c, c + QPoint(60, 40));
    EXPECT_EQ(w.form.mouseButtonCode, 0);
    EXPECT_EQ(w.form.trackball.mode(), -1);
    EXPECT_EQ(w.form.trackball.currentMatrix(), identityMatrix());

    struct Case {
        Qt::MouseButton button;
        Qt::KeyboardModifiers mods;
        int code, mode;
    };
    const Case cases[] = {
        {Qt::MiddleButton, Qt::NoModifier, 2, 7},                         // pan
        {Qt::LeftButton, Qt::ControlModifier, 33, 7},                     // pan
        {Qt::LeftButton, Qt::ShiftModifier, 17, 10},                      // scale
        {Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, 33, 7}, // Ctrl wins over Shift
    };
    for (const Case& k : cases) {
        const Matrix4 start = w.form.trackball.currentMatrix();
        drag(w, k.button, k.mods, c, c + QPoint(0, 50));
        EXPECT_EQ(w.form.mouseButtonCode, k.code);
        EXPECT_EQ(w.form.trackball.mode(), k.mode) << "code " << k.code;
        EXPECT_NE(w.form.trackball.currentMatrix(), start) << "code " << k.code;
    }

    // The right button binds nothing: after the last (panning) drag, its drag
    // repeats the pan.
    const Matrix4 afterPan = w.form.trackball.currentMatrix();
    drag(w, Qt::RightButton, Qt::NoModifier, c, c + QPoint(30, 0));
    EXPECT_EQ(w.form.mouseButtonCode, 0);
    EXPECT_EQ(w.form.trackball.mode(), 7);
    EXPECT_NE(w.form.trackball.currentMatrix(), afterPan);
}
