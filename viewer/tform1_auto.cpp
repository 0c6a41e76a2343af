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
namespace {

// What tells a file read beforehand from the file a stage would read.
struct FileStamp {
    bool found = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}, changed{};
};

FileStamp stampOf(const std::string& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.found = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    s.changed = st.st_ctim;
    return s;
}

bool sameFile(const FileStamp& a, const FileStamp& b) {
    const auto same = [](const timespec& x, const timespec& y) { return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec; };
    return a.found && b.found && a.device == b.device && a.inode == b.inode && a.size == b.size &&
           same(a.modified, b.modified) && same(a.changed, b.changed);
}

// The kind of surface the run reads from a path: 'j' (OBJ) or 'y' (PLY) by
// the name's last letter, anything else for neither.
char surfaceKind(const std::string& path) {
    return path.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(path.back())));
}

} // namespace

// Each file's stamp is taken before it is read: a file changed while it was
// read, or after, does not match at its stage.
struct TForm1::Prefetch {
    std::string meshPath, gridPath;
    char kind = '\0';
    FileStamp meshStamp, gridStamp;
    ViewerMesh mesh;
    ReadStatus meshStatus, gridStatus;
    int32_t skippedFaces = 0;
    std::string summary;
    PotentialGrid grid;
    int passes = 0;
    GradientGrid gradient;
    bool gridTaken = false;
    // Last, so that they are waited for before what they write goes.
    std::optional<BackgroundWork> meshWork, gridWork;
};

void TForm1::startPrefetch() {
    auto p = std::make_shared<Prefetch>();
    p->meshPath = argMeshFile;
    p->gridPath = argGridFile;
    p->kind = surfaceKind(argMeshFile);
    Prefetch* q = p.get();
    if (q->kind == 'j' || q->kind == 'y')
        q->meshWork.emplace([q] {
            q->meshStamp = stampOf(q->meshPath);
            if (q->kind == 'j')
                q->summary = loadObjViewerMesh(q->mesh, q->meshPath, q->meshStatus, &q->skippedFaces);
            else
                q->meshStatus = loadPlyViewerMesh(q->mesh, q->meshPath);
        });
    q->passes = smoothingPasses(); // read here, on the window's thread
    q->gridWork.emplace([q] {
        q->gridStamp = stampOf(q->gridPath);
        q->gridStatus = readDxGridFile(q->grid, q->gridPath);
        if (q->gridStatus.ok()) computeViewerGradient(q->gradient, q->grid, q->passes);
    });
    prefetch_ = std::move(p);
}

bool TForm1::takePrefetchedMesh(const std::string& path, char kind, ReadStatus& status, int32_t& skippedFaces,
                                std::string& summary) {
    if (!prefetch_ || !prefetch_->meshWork || prefetch_->meshPath != path || prefetch_->kind != kind) return false;
    Prefetch& p = *prefetch_;
    p.meshWork->wait();
    p.meshWork.reset();
    if (!p.meshStatus.ok() || !sameFile(p.meshStamp, stampOf(path))) return false;
    mesh = std::move(p.mesh);
    status = p.meshStatus;
    skippedFaces = p.skippedFaces;
    summary = std::move(p.summary);
    return true;
}

bool TForm1::takePrefetchedGrid(PotentialGrid& grid, ReadStatus& status) {
    if (!prefetch_ || !prefetch_->gridWork) return false;
    Prefetch& p = *prefetch_;
    p.gridWork->wait();
    p.gridWork.reset();
    if (!p.gridStatus.ok() || !sameFile(p.gridStamp, stampOf(p.gridPath))) return false;
    grid = std::move(p.grid);
    status = p.gridStatus;
    p.gridTaken = true;
    return true;
}

bool TForm1::takePrefetchedGradient(GradientGrid& gradient, int passes) {
    if (!prefetch_ || !prefetch_->gridTaken || prefetch_->passes != passes) return false;
    gradient = std::move(prefetch_->gradient);
    prefetch_.reset(); // everything is taken
    return true;
}

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

    // What the wait read is taken where it still holds; otherwise the grid
    // is read beside the surface's loading and drawing, and the gradient
    // computed beside the grid's stage. Each is taken up at its own stage,
    // where the buttons would compute it.
    PotentialGrid grid;
    ReadStatus dx;
    BackgroundWork gridRead([&] {
        if (!takePrefetchedGrid(grid, dx)) dx = readDxGridFile(grid, argGridFile);
    });

    log("loading model " + meshFile);
    refresh();

    // An input that cannot be read ends the run with status 1 and leaves
    // the lines file untouched, as the console tool does.
    const char last = surfaceKind(argMeshFile);
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
            ReadStatus status;
            int32_t skipped = 0;
            std::string summary;
            if (!takePrefetchedMesh(argMeshFile, 'y', status, skipped, summary))
                status = loadPlyViewerMesh(mesh, argMeshFile);
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
            // The load derived the box and the normals; they change only with the faces.
            deriveViewerMesh(mesh);
        }
    } else {
        failAutomatic("cannot read model \"" + argMeshFile + "\": the name ends neither in .obj nor in .ply");
        return;
    }
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
    const bool computed = takePrefetchedGradient(gradient, passes);
    BackgroundWork field([&] {
        if (!computed) computeViewerGradient(gradient, potentialGrid, passes);
    });
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
