#include "gl_panel.h"

#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QWheelEvent>

namespace quorax {

GLPanel::GLPanel(QWidget* parent) : QOpenGLWidget(parent) {
    // Legacy fixed-function GL: lighting, colour material, matrix stack.
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setVersion(2, 1);
    f.setDepthBufferSize(24);
    f.setRedBufferSize(8);
    f.setGreenBufferSize(8);
    f.setBlueBufferSize(8);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    setFormat(f);
    // The framebuffer keeps its picture between paints, so a paint may leave
    // it as it is when nothing it shows changed.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    setMouseTracking(false); // moves arrive only while a button is held
}

int GLPanel::pixelWidth() const { return static_cast<int>(width() * devicePixelRatioF()); }
int GLPanel::pixelHeight() const { return static_cast<int>(height() * devicePixelRatioF()); }

void GLPanel::initializeGL() {
    if (onInitialize) onInitialize();
}

void GLPanel::resizeGL(int w, int h) {
    if (onResize) onResize(static_cast<int>(w * devicePixelRatioF()), static_cast<int>(h * devicePixelRatioF()));
}

void GLPanel::paintGL() {
    if (onPaint) onPaint();
}

void GLPanel::mousePressEvent(QMouseEvent* e) { emit mousePressed(e); }
void GLPanel::mouseMoveEvent(QMouseEvent* e) { emit mouseMoved(e); }
void GLPanel::mouseReleaseEvent(QMouseEvent* e) { emit mouseReleased(e); }

void GLPanel::wheelEvent(QWheelEvent* e) {
    emit wheelTurned(e);
    e->accept();
}

} // namespace quorax
