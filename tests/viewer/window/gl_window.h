// A shown main window for the tests that draw: the GL panel exists, its
// frames can be grabbed, and its model is the facing square when asked.
#pragma once

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>

#include "gl_panel.h"
#include "tform1.h"
#include "window_test_support.h"

namespace window_test {

struct ShownWindow {
    quorax::TForm1 form;
    QTemporaryDir dir;
    int64_t now = 1000000; // the frozen clock of the window, in milliseconds

    ShownWindow() {
        form.clockMs = [this] { return now; };
        form.showError = [](const QString& text) {
            ADD_FAILURE() << "message box: " << text.toStdString();
        };
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    // One frame of the panel as it is now.
    QImage grab() { return form.PanelOGL->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    // Where a model point lands in the current panel.
    QPointF at(quorax::Vec3 p) {
        return projectToPanel(p, form, form.PanelOGL->pixelWidth(), form.PanelOGL->pixelHeight());
    }

    void loadFacingQuad() { form.loadObjModel(writeFile(dir, "quad.obj", facingQuadObj())); }
};

} // namespace window_test
