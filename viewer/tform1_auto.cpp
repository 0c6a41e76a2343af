// The automatic pipeline: started with the console tool's eight arguments,
// the viewer loads, computes and shows every stage, writes the lines file
// and ends.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <filesystem>

#include "dx_reader.h"
#include "number_text.h"
#include "tform1.h"

namespace quorax {
namespace {

QString general(float v) {
    const QString point = QLocale().decimalPoint();
    return QString::fromStdString(formatGeneral(v, point.isEmpty() ? '.' : point.at(0).toLatin1()));
}

} // namespace

void TForm1::autotimerTimer() {
    autotimer->stop(); // the run happens once
    const QString meshFile = QString::fromStdString(argMeshFile);
    const QString gridFile = QString::fromStdString(argGridFile);
    log("loading model " + meshFile);
    refresh();

    // An input that cannot be read ends the run with status 1 and leaves
    // the lines file untouched, as the console tool does.
    auto fail = [this](const std::string& text) {
        log(text);
        std::fprintf(stderr, "quorax1: error: %s\n", text.c_str());
        refresh();
        endProcess(1);
    };
    const QChar last = meshFile.isEmpty() ? QChar() : meshFile.back().toLower();
    if (last == 'j' || last == 'y') {
        if (!std::filesystem::is_regular_file(argMeshFile)) {
            fail("cannot read model \"" + argMeshFile + "\": no such file");
            return;
        }
        if (last == 'j') {
            loadObjModel(meshFile); // logs the reason when the file cannot be read
            if (!mesh.tri.loaded) {
                fail("cannot read model \"" + argMeshFile + "\"");
                return;
            }
        } else {
            const ReadStatus status = loadPlyViewerMesh(mesh, argMeshFile);
            if (!status.ok()) {
                fail("cannot read PLY model \"" + argMeshFile + "\": " + readProblemText(status));
                return;
            }
        }
        if (mesh.faceCount() == 0) {
            fail(readErrorText(last == 'j' ? "OBJ model" : "PLY model", argMeshFile,
                               noFacesStatus(last == 'j' ? "OBJ" : "PLY")));
            return;
        }
    } else {
        fail("cannot read model \"" + argMeshFile + "\": the name ends neither in .obj nor in .ply");
        return;
    }
    deriveViewerMesh(mesh);
    log("loaded model " + meshFile);
    refresh();

    log("loading dx " + gridFile);
    refresh();
    const ReadStatus dx = readDxGridFile(potentialGrid, argGridFile);
    if (!dx.ok()) {
        fail(readErrorText("DX grid", argGridFile, dx));
        return;
    }
    log("loading dx " + gridFile);
    refresh(2);
    cb_drawgrid->setChecked(false);
    refresh(2);
    PageControl1->setCurrentWidget(TabSheet5);

    log("calculating field");
    refresh();
    B_gradientClick();
    log("field ok");
    refresh();

    log("Lines x eV/A2 " + general(argDensity));
    log("gradient halt " + general(argHaltGradient));
    log("angle halt    " + general(argHaltAngle));
    refresh();
    E_densityparam->setText(general(argDensity));
    E_haltgradient->setText(general(argHaltGradient));
    E_haltangle->setText(general(argHaltAngle));
    E_nomelinee->setText(QString::fromStdString(argLinesFile));
    refresh();

    log("calculating lines");
    refresh();
    B_powlinesClick();
    log("lines calculated");
    CB_showlines->setChecked(true);
    refresh();

    if (argReduce) {
        Ereduceangle->setText(general(argReduceAngle));
        B_reducepoints_XXLClick();
    }
    log("exporting lines " + QString::fromStdString(argLinesFile));
    refresh();
    B_exportlinesClick();
    endProcess(linesExportFailed_ ? 1 : 0);
}

} // namespace quorax
