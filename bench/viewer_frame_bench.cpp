// Frame time of the viewer's GL panel: one frame (the window's paint: clear,
// camera, every layer) drawn and finished with glFinish, on the bundled
// example and on the large synthetic surface, each coloured by its
// potential, with the surface handed to GL as client-side vertex arrays and
// in immediate mode. The two pictures must be the same; the table reports
// the pixels in which they differ.
//
//   viewer_frame_bench EXAMPLES_DIR BENCH_DATA_DIR [FRAMES]
//
// Run it with a display; under Xvfb (bench/run.sh) GL is Mesa's software
// renderer. A case whose files are missing is skipped.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gl_panel.h"
#include "tform1.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double median = 0, min = 0, max = 0; // milliseconds
};

// `frames` frames, each the window's paint followed by glFinish, so the time
// covers the work GL does and not only the submission.
Timing timeFrames(quorax::TForm1& form, int frames) {
    std::vector<double> ms;
    form.PanelOGL->makeCurrent(); // binds the panel's framebuffer
    for (int i = 0; i < frames + 2; ++i) {
        const auto t0 = Clock::now();
        form.FormPaint();
        glFinish();
        const auto t1 = Clock::now();
        if (i >= 2)
            ms.push_back(
                std::chrono::duration<double, std::milli>(t1 - t0).count()); // 2 warm-up frames
    }
    form.PanelOGL->doneCurrent();
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

void setImmediateMode(bool on) {
    if (on)
        qputenv("QUORAX_IMMEDIATE_MODE", "1");
    else
        qunsetenv("QUORAX_IMMEDIATE_MODE");
}

long differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s EXAMPLES_DIR BENCH_DATA_DIR [FRAMES]\n", argv[0]);
        return 2;
    }
    const QString examples = argv[1], data = argv[2];
    const int frames = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;

    struct Case {
        const char* name;
        QString obj, dx;
    };
    const Case cases[] = {
        {"example fas2", examples + "/fas2.obj", examples + "/fas2.dx"},
        {"large synthetic", data + "/large.obj", data + "/large.dx"},
    };

    quorax::TForm1 form;
    form.showError = [](const QString& text) {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    };
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    form.PanelOGL->makeCurrent();
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::printf("GL renderer: %s; panel %d x %d pixels; median of %d frames (paint + glFinish)\n\n",
                renderer ? renderer : "?", form.PanelOGL->pixelWidth(),
                form.PanelOGL->pixelHeight(), frames);
    form.PanelOGL->doneCurrent();

    std::printf("%-16s %9s %-14s %10s %10s %10s %8s %16s\n", "case", "faces", "surface",
                "median ms", "min ms", "max ms", "fps", "pixels differing");
    for (const Case& c : cases) {
        if (!QFileInfo::exists(c.obj)) {
            std::printf("%-16s skipped: %s not found\n", c.name, qPrintable(c.obj));
            continue;
        }
        // Load as the user does: the OBJ button, then "Read DX Potential" and
        // "Assign to ELECTROSTATIC", and the potential colours switched on.
        form.chooseFile = [&](QFileDialog* d) { return d == form.Open_obj ? c.obj : c.dx; };
        form.ToolButton3->click();
        if (QFileInfo::exists(c.dx)) {
            form.Button1->click();
            form.Button2->click();
        }
        form.CB_surfcolor->setChecked(true);
        form.cb_drawgrid->setChecked(false);

        QImage pictures[2];
        Timing timings[2];
        for (int mode = 0; mode < 2; ++mode) {
            setImmediateMode(mode == 1);
            timings[mode] = timeFrames(form, frames);
            pictures[mode] = form.PanelOGL->grabFramebuffer();
        }
        setImmediateMode(false);
        const long diff = differingPixels(pictures[0], pictures[1]);
        for (int mode = 0; mode < 2; ++mode) {
            const Timing& t = timings[mode];
            std::printf("%-16s %9d %-14s %10.2f %10.2f %10.2f %8.1f %16s\n", c.name,
                        form.mesh.faceCount(), mode == 0 ? "vertex arrays" : "immediate", t.median,
                        t.min, t.max, 1000.0 / t.median,
                        mode == 0 ? "" : qPrintable(QString::number(diff)));
        }
        std::fflush(stdout);
    }
    return 0;
}
