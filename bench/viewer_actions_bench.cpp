// Times the viewer's "NEW POW LINES " in the window, the automatic pipeline
// stage by stage in this process (with the view's paints, frames, window
// compositions and a checksum of each stage's picture), and the automatic
// pipeline as a user starts it (quorax1 with the eight arguments).
//
//   viewer_actions_bench MESH.obj GRID.dx [REPEATS] [PROCESS_REPEATS]
//
// Run it on a display (xvfb-run): the window is never shown, but quorax1
// started as a process shows its stages. "NEW POW LINES " runs REPEATS times
// after the surface, the grid and the gradient are loaded; each press draws
// on from the viewer's one random sequence, so the selections differ a
// little. The process runs PROCESS_REPEATS times (default 3); it waits 3 s
// for its timer before the first stage, and the figures are shown with and
// without that wait.
#include <QApplication>
#include <QCryptographicHash>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTimer>

#include <GL/gl.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "dx_reader.h"
#include "gl_panel.h"
#include "tform1.h"
#include "viewer_actions.h"

namespace {

using namespace quorax::bench;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The first 32 bits of the SHA-1 of the pixels of the panel's framebuffer
// (bound while it paints).
uint32_t panelChecksum(quorax::TForm1& form) {
    const int w = form.PanelOGL->pixelWidth(), h = form.PanelOGL->pixelHeight();
    QByteArray rgba(4 * static_cast<qsizetype>(w) * h, '\0');
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const QByteArray sha = QCryptographicHash::hash(rgba, QCryptographicHash::Sha1);
    return static_cast<uint32_t>(static_cast<unsigned char>(sha[0])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(sha[1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(sha[2])) << 8 | static_cast<unsigned char>(sha[3]);
}

// The automatic pipeline run in this process, stage by stage: each log line
// starts a stage that lasts until the next one, and every frame of the GL
// view drawn in it is counted and timed (the window's paint and glFinish, so
// the time covers the work GL does for it). The window is shown as quorax1
// shows it, and the run starts at once instead of after the timer's wait.
// A paint that keeps the picture is counted among the paints, not the frames.
// The last column is a checksum of the view's pixels as the stage ends, to
// compare the pictures of two builds.
void stageTable(const std::string& meshPath, const std::string& gridPath, const std::string& linesPath) {
    quorax::TForm1 form(std::vector<std::string>{meshPath, gridPath, linesPath, "0.01", "0.0", "45", "1", "3.0"});
    struct Stage {
        std::string name;
        Clock::time_point start;
        int paints = 0, frames = 0, composes = 0;
        double paintSeconds = 0, composeSeconds = 0;
        uint32_t picture = 0; // checksum of the panel's pixels after the stage's last paint
    };
    std::vector<Stage> stages;
    Clock::time_point end;
    int status = -1;
    QObject::connect(form.Memo1, &QPlainTextEdit::textChanged, [&] {
        const QString text = form.Memo1->toPlainText();
        const uint32_t picture = stages.empty() ? 0 : stages.back().picture;
        stages.push_back({text.section('\n', -1).toStdString(), Clock::now()});
        stages.back().picture = picture; // the picture stays until a paint changes it
    });
    const std::function<void()> paint = form.PanelOGL->onPaint;
    form.PanelOGL->onPaint = [&] {
        const auto t0 = Clock::now();
        const int64_t drawn = form.framesDrawn();
        paint();
        glFinish();
        if (!stages.empty()) {
            ++stages.back().paints;
            stages.back().frames += static_cast<int>(form.framesDrawn() - drawn);
            stages.back().paintSeconds += seconds(t0, Clock::now());
            stages.back().picture = panelChecksum(form);
        }
    };
    // The window composes the panel's picture with its other widgets and
    // swaps: timed from the panel's aboutToCompose to its frameSwapped.
    Clock::time_point composing;
    QObject::connect(form.PanelOGL, &QOpenGLWidget::aboutToCompose, [&] { composing = Clock::now(); });
    QObject::connect(form.PanelOGL, &QOpenGLWidget::frameSwapped, [&] {
        if (stages.empty()) return;
        ++stages.back().composes;
        stages.back().composeSeconds += seconds(composing, Clock::now());
    });
    form.endProcess = [&](int s) {
        end = Clock::now();
        status = s;
    };
    form.show();
    for (int i = 0; i < 50 && !form.PanelOGL->isValid(); ++i) {
        QApplication::processEvents();
        ::usleep(20000);
    }
    QApplication::processEvents();
    stages.clear();
    form.autotimer->stop();
    const auto t0 = Clock::now();
    stages.push_back({"(start)", t0});
    form.autotimerTimer();
    if (status != 0) {
        std::printf("automatic pipeline in this process ended with status %d\n", status);
        return;
    }
    std::printf("automatic pipeline in this process, by stage (the view %d x %d pixels)\n",
                form.PanelOGL->pixelWidth(), form.PanelOGL->pixelHeight());
    std::printf("  %-44s %9s %7s %7s %9s %9s %10s %9s\n", "stage (from its log line)", "ms", "paints", "frames",
                "paint ms", "composes", "compose ms", "picture");
    int paints = 0, frames = 0, composes = 0;
    double paintSeconds = 0, composeSeconds = 0;
    for (std::size_t i = 0; i < stages.size(); ++i) {
        const Stage& s = stages[i];
        const double wall = seconds(s.start, i + 1 < stages.size() ? stages[i + 1].start : end);
        std::printf("  %-44.44s %9.1f %7d %7d %9.1f %9d %10.1f  %08x\n", s.name.c_str(), wall * 1e3, s.paints,
                    s.frames, s.paintSeconds * 1e3, s.composes, s.composeSeconds * 1e3, s.picture);
        paints += s.paints;
        frames += s.frames;
        paintSeconds += s.paintSeconds;
        composes += s.composes;
        composeSeconds += s.composeSeconds;
    }
    std::printf("  %-44s %9.1f %7d %7d %9.1f %9d %10.1f\n\n", "total", seconds(t0, end) * 1e3, paints, frames,
                paintSeconds * 1e3, composes, composeSeconds * 1e3);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MESH.obj GRID.dx [REPEATS] [PROCESS_REPEATS]\n", argv[0]);
        return 2;
    }
    const std::string meshPath = argv[1], gridPath = argv[2];
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const int processRepeats = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    char tmpl[] = "/tmp/quorax-viewer-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string linesPath = std::string(tmpl) + "/lines.txt";

    // The window's state as the typical session leaves it before "NEW POW LINES ".
    quorax::TForm1 form;
    auto t0 = Clock::now();
    form.loadObjModel(QString::fromStdString(meshPath));
    const double loadObj = seconds(t0, Clock::now());
    t0 = Clock::now();
    const quorax::ReadStatus dx = quorax::readDxGridFile(form.potentialGrid, gridPath);
    const double readDx = seconds(t0, Clock::now());
    if (!dx.ok() || form.mesh.faceCount() == 0) {
        std::fprintf(stderr, "cannot read the inputs: %s\n", quorax::readProblemText(dx).c_str());
        return 1;
    }
    t0 = Clock::now();
    form.B_gradientClick();
    const double gradient = seconds(t0, Clock::now());
    std::printf("inputs: %s (%d faces), %s (%d x %d x %d nodes)\n", meshPath.c_str(), form.mesh.faceCount(),
                gridPath.c_str(), form.potentialGrid.nx, form.potentialGrid.ny, form.potentialGrid.nz);
    std::printf("%-36s %9.1f ms\n", "load OBJ (viewer, + derivations)", loadObj * 1e3);
    std::printf("%-36s %9.1f ms\n", "read DX", readDx * 1e3);
    std::printf("%-36s %9.1f ms\n\n", "calculate grad", gradient * 1e3);

    // "NEW POW LINES " with the default settings (density 0,01, 200 steps).
    std::vector<double> press, seeding;
    std::size_t lines = 0, points = 0;
    for (int r = 0; r < repeats; ++r) {
        t0 = Clock::now();
        form.B_powlinesClick();
        press.push_back(seconds(t0, Clock::now()));
        lines = form.fieldLines.size();
        points = 0;
        for (const quorax::FieldLine& l : form.fieldLines) points += l.size();
        // The face powers and the random selection alone, on a copy.
        quorax::ViewerMesh copy = form.mesh;
        quorax::ViewerRandom random;
        t0 = Clock::now();
        quorax::newPowSeeds(copy.tri, form.potentialGrid, 0.01f, true, random);
        seeding.push_back(seconds(t0, Clock::now()));
    }
    std::printf("NEW POW LINES : %zu lines, %zu points, %d presses\n", lines, points, repeats);
    std::printf("%-36s %9.1f ms (best %.1f)\n", "  press, median", median(press) * 1e3,
                *std::min_element(press.begin(), press.end()) * 1e3);
    std::printf("%-36s %9.1f ms\n\n", "  of which powers and selection", median(seeding) * 1e3);

    stageTable(meshPath, gridPath, linesPath);

    // The automatic pipeline as a process.
    std::vector<double> walls;
    long rss = 0;
    for (int r = 0; r < processRepeats; ++r) {
        const ProcessRun run =
            runMeasured({QUORAX1_PATH, meshPath, gridPath, linesPath, "0.01", "0.0", "45", "1", "3.0"});
        if (run.status != 0) {
            std::fprintf(stderr, "quorax1 failed with status %d\n", run.status);
            return 1;
        }
        walls.push_back(run.wall);
        rss = std::max(rss, run.maxRssKb);
    }
    const double wall = median(walls);
    std::printf("automatic pipeline (quorax1, 8 arguments), %d runs\n", processRepeats);
    std::printf("%-36s %9.1f ms\n", "  wall, median", wall * 1e3);
    std::printf("%-36s %9.1f ms\n", "  wall without the 3 s timer wait", (wall - 3.0) * 1e3);
    std::printf("%-36s %9.1f MB\n", "  peak RSS", rss / 1024.0);
    std::remove(linesPath.c_str());
    ::rmdir(tmpl);
    return 0;
}
