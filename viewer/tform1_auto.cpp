// The automatic pipeline: started with the console tool's eight arguments,
// the viewer loads, computes and shows every stage, writes the lines file
// and ends.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "dx_reader.h"
#include "gradient.h"
#include "number_text.h"
#include "parallel.h"
#include "pipeline.h"
#include "ply_reader.h"
#include "tform1.h"

namespace quorax {
void TForm1::autotimerTimer() {
    autotimer->stop(); // the run happens once
    // Nobody watches an unattended run: an error that a button press would
    // show in a box (a number such as nan or 1e39 that the edits refuse)
    // ends it with status 1 and the message on standard error.
    try {
        runAutomaticStages();
    } catch (const ConversionError& e) {
        failAutomatic(e.what());
    }
}

void TForm1::countWaitFrom(std::chrono::steady_clock::time_point start) {
    if (!autotimer->isActive()) return;
    const long long spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const int wait = autotimer->interval();
    autotimer->start(static_cast<int>(std::clamp<long long>(wait - spent, 0, wait)));
}

void TForm1::failAutomatic(const std::string& text) {
    log(text);
    std::fprintf(stderr, "quorax1: error: %s\n", text.c_str());
    refresh();
    endProcess(1);
}

void TForm1::runAutomaticStages() {
    const QString meshFile = QString::fromStdString(argMeshFile);
    const QString gridFile = QString::fromStdString(argGridFile);

    // An output that is an input: refused before anything is read.
    PipelineParams io;
    io.meshPath = argMeshFile;
    io.gridPath = argGridFile;
    io.linesPath = argLinesFile;
    if (const std::string clash = outputOverwritingInput(io); !clash.empty()) {
        failAutomatic(clash + "; nothing was read or written");
        return;
    }

    // The grid is read beside the surface's loading and drawing, and the
    // gradient computed beside the grid's stage; each is taken up at its
    // own stage, where the buttons would compute it.
    PotentialGrid grid;
    ReadStatus dx;
    BackgroundWork gridRead([&] { dx = readDxGridFile(grid, argGridFile); });

    log("loading model " + meshFile);
    refresh();

    // An input that cannot be read ends the run with status 1 and leaves
    // the lines file untouched, as the console tool does.
    const char last = argMeshFile.empty() ? '\0' : static_cast<char>(std::tolower(
                                                        static_cast<unsigned char>(argMeshFile.back())));
    if (last == 'j' || last == 'y') {
        struct stat st {};
        const int found = ::stat(argMeshFile.c_str(), &st) == 0 ? 0 : errno;
        if (found != 0 || !S_ISREG(st.st_mode)) {
            failAutomatic("cannot read model \"" + argMeshFile + "\": " +
                          (found ? std::strerror(found) : S_ISDIR(st.st_mode) ? std::strerror(EISDIR)
                                                                              : "not a regular file"));
            return;
        }
        if (last == 'j') {
            loadObjModel(argMeshFile); // logs the reason when the file cannot be read
            if (!mesh.tri.loaded) {
                failAutomatic("cannot read model \"" + argMeshFile + "\"");
                return;
            }
        } else {
            const ReadStatus status = loadPlyViewerMesh(mesh, argMeshFile);
            if (!status.ok()) {
                failAutomatic("cannot read PLY model \"" + argMeshFile + "\": " + readProblemText(status));
                return;
            }
        }
        if (mesh.faceCount() == 0) {
            failAutomatic(readErrorText(last == 'j' ? "OBJ model" : "PLY model", argMeshFile,
                               noFacesStatus(last == 'j' ? "OBJ" : "PLY")));
            return;
        }
        // Faces at vertices that are not finite would spoil the whole
        // seeding; they are left out, as the console tool does.
        if (const int32_t dropped = removeNonFiniteFaces(mesh.tri, mesh.faceFlags); dropped > 0) {
            const std::string text = nonFiniteFacesWarning(last == 'j' ? "OBJ model" : "PLY model", argMeshFile, dropped);
            log(text);
            std::fprintf(stderr, "quorax1: warning: %s\n", text.c_str());
        }
    } else {
        failAutomatic("cannot read model \"" + argMeshFile + "\": the name ends neither in .obj nor in .ply");
        return;
    }
    deriveViewerMesh(mesh);
    log("loaded model " + meshFile);
    refresh();

    log("loading dx " + gridFile);
    refresh();
    gridRead.wait();
    if (!dx.ok()) {
        failAutomatic(readErrorText("DX grid", argGridFile, dx));
        return;
    }
    potentialGrid = std::move(grid);
    GradientGrid gradient;
    const int passes = smoothingPasses();
    BackgroundWork field([&] { computeViewerGradient(gradient, potentialGrid, passes); });
    log("loading dx " + gridFile);
    refresh(2);
    cb_drawgrid->setChecked(false);
    refresh(2);
    PageControl1->setCurrentWidget(TabSheet5);

    log("calculating field");
    refresh();
    field.wait();
    gradientGrid = std::move(gradient);
    logGradient();
    log("field ok");
    refresh();

    log("Lines x eV/A2 " + general(argDensity));
    log("gradient halt " + general(argHaltGradient));
    log("angle halt    " + general(argHaltAngle));
    refresh();
    E_densityparam->setText(QString::fromStdString(general(argDensity)));
    E_haltgradient->setText(QString::fromStdString(general(argHaltGradient)));
    E_haltangle->setText(QString::fromStdString(general(argHaltAngle)));
    E_nomelinee->setText(QString::fromStdString(argLinesFile));
    refresh();

    log("calculating lines");
    refresh();
    B_powlinesClick();
    log("lines calculated");
    CB_showlines->setChecked(true);
    refresh();

    if (argReduce) {
        Ereduceangle->setText(QString::fromStdString(general(argReduceAngle)));
        B_reducepoints_XXLClick();
    }
    log("exporting lines " + QString::fromStdString(argLinesFile));
    refresh();
    // As "Export Lines" does, to the path exactly as given.
    std::string error;
    if (!exportLines(argLinesFile, error)) {
        std::fprintf(stderr, "quorax1: error: cannot write lines file \"%s\": %s\n", argLinesFile.c_str(),
                     error.c_str());
        endProcess(1);
        return;
    }
    endProcess(0);
}

} // namespace quorax
