// The drawing panel: an OpenGL widget with a compatibility-profile context
// for fixed-function drawing. It draws only when asked (update()), so an idle
// viewer uses no processor time; the window supplies what a frame does and
// receives the mouse events.
#pragma once

#include <QOpenGLWidget>

#include <functional>

class QMouseEvent;
class QWheelEvent;

namespace quorax {

class GLPanel : public QOpenGLWidget {
    Q_OBJECT

public:
    explicit GLPanel(QWidget* parent = nullptr);

    std::function<void()> onInitialize;      // once, with the context current
    std::function<void(int, int)> onResize;  // size in device pixels
    std::function<void()> onPaint;           // one frame, context current

    // Device pixels of the panel (the viewport).
    int pixelWidth() const;
    int pixelHeight() const;

signals:
    void mousePressed(QMouseEvent* e);
    void mouseMoved(QMouseEvent* e);
    void mouseReleased(QMouseEvent* e);
    void wheelTurned(QWheelEvent* e); // accepted; the wheel over the view zooms and nothing else

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
};

} // namespace quorax
