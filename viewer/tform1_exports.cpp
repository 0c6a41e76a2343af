// Exports (OBJ with potential texture coordinates, JSON lines, decorations,
// and "Export..." for the exchange formats) and the batch file generator. Every file is written whole or not at all;
// a file that cannot be written is reported in the log.
#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolBar>

#include "decorations.h"
#include "file_io.h"
#include "tform1.h"
#include "tubes.h"
#include "viewer_actions.h"
#include "viewer_exports.h"

namespace quorax {
namespace {

constexpr int64_t kMaxBatchLines = 1000000;

// Filters of the "Export..." dialog: the kind each one exports.
struct ExportFilter {
    const char* text;
    ExportKind kind;
};
constexpr ExportFilter kExportFilters[] = {
    {"Lines, VTK XML PolyData (*.vtp)", ExportKind::Lines},
    {"Lines, legacy VTK (*.vtk)", ExportKind::Lines},
    {"Lines, OBJ polylines (*.obj)", ExportKind::Lines},
    {"Lines, PLY edges (*.ply)", ExportKind::Lines},
    {"Tubes for printing, STL (*.stl)", ExportKind::Tubes},
    {"Tubes for printing, OBJ (*.obj)", ExportKind::Tubes},
    {"Tubes for printing, PLY (*.ply)", ExportKind::Tubes},
    {"Surface with potential, VTK XML PolyData (*.vtp)", ExportKind::Surface},
    {"Surface with potential, PLY (*.ply)", ExportKind::Surface},
};

} // namespace

void TForm1::addExportEntry() {
    Save_export = new QFileDialog(this);
    Save_export->setObjectName("Save_export");
    QStringList filters;
    for (const ExportFilter& f : kExportFilters) filters << f.text;
    Save_export->setNameFilters(filters);
    Save_export->setAcceptMode(QFileDialog::AcceptSave);
    Save_export->setWindowTitle("Export");
    ToolBar1->addSeparator();
    A_export = ToolBar1->addAction("Export...");
    A_export->setObjectName("A_export");
    A_export->setToolTip("Export the lines, the lines as printable tubes, or the surface with its potential "
                         "(.vtp .vtk .obj .ply .stl)");
    connect(A_export, &QAction::triggered, this, [this] { runHandler([this] { A_exportClick(); }); });
}

void TForm1::A_exportClick() {
    const QString chosen = chooseFileIn(Save_export);
    if (chosen.isEmpty()) return;
    const std::string path = chosen.toStdString();
    ExportKind filterKind = ExportKind::Lines;
    for (const ExportFilter& f : kExportFilters)
        if (Save_export->selectedNameFilter() == f.text) filterKind = f.kind;
    std::string error, content;
    const std::optional<ViewerExport> e = viewerExportFor(path, filterKind, error);
    const bool replacing = fileExists(path);
    if (!e || !formatViewerExport(*this, *e, kDefaultTubeRadius, content, error) ||
        !writeFileAtomically(path, content, error))
        log("Export: cannot write \"" + path + "\": " + error);
    else
        logFile("Export: wrote", path,
                e->kind == ExportKind::Lines   ? linesSummary(linesReady, fieldLines)
                : e->kind == ExportKind::Tubes ? "tubes of " + linesSummary(linesReady, fieldLines)
                                               : "surface of " + std::to_string(mesh.faceCount()) + " faces",
                replacing);
}

std::string linesSummary(bool linesReady, const std::vector<FieldLine>& lines) {
    if (!linesReady) return "no lines (none traced yet: trace lines first, e.g. NEW POW LINES)";
    std::size_t points = 0;
    for (const FieldLine& l : lines) points += l.size();
    return std::to_string(lines.size()) + " lines, " + std::to_string(points) + " points";
}

void TForm1::Button3Click() {
    std::string error;
    const bool replaced = fileExists(".//mol.obj");
    if (!writeFileAtomically(".//mol.obj", formatMeshObj(mesh), error))
        log("Export to OBJ: cannot write \".//mol.obj\": " + error);
    else
        logFile("Export to OBJ: wrote", ".//mol.obj",
                std::to_string(mesh.vertexCount()) + " vertices, " + std::to_string(mesh.faceCount()) + " faces" +
                    (mesh.vertexCount() == 0 ? " (no model loaded: load an OBJ or PLY model first)" : ""),
                replaced);
}

void TForm1::b_expjsonClick() {
    const std::string path = E_nomelinee->text().toStdString();
    std::string error;
    const bool replaced = fileExists(path);
    if (!writeFileAtomically(path, linesReady ? formatLinesJson(fieldLines) : std::string(), error))
        log("Export JSON: cannot write \"" + path + "\": " + error);
    else
        logFile("Export JSON: wrote", path, linesSummary(linesReady, fieldLines), replaced);
}

void TForm1::B_decor1Click() {
    decorationPositions.clear();
    decorationDirections.clear();
    decorationSizes.clear();
    if (!linesReady) {
        log("DECO 1: no lines yet, nothing to decorate: trace lines first (NEW POW LINES)");
        return;
    }
    const float skip = floatOf(E_skipsize);
    const float pyr = floatOf(E_pyrsize);
    const float skipRand = floatOf(E_skiprand);
    placeDecorations(fieldLines, skip, pyr, skipRand, viewerRandom(), decorationPositions, decorationDirections,
                     decorationSizes);
    decorationsReady = true;
    if (decorationPositions.empty())
        log("DECO 1: the lines are too short for a decoration: lower skip size or pyr size");
}

void TForm1::B_exportdecoClick() {
    if (!decorationsReady) {
        log("EXPORT DECO: no decorations yet, nothing written: press DECO 1 first");
        return;
    }
    for (Vec3& d : decorationDirections) d = normalize(d);
    std::string error;
    const bool replaced = fileExists(".//decoration.obj");
    if (!writeFileAtomically(".//decoration.obj",
                             formatDecorationObj(decorationPositions, decorationDirections, decorationSizes), error))
        log("EXPORT DECO: cannot write \".//decoration.obj\": " + error);
    else
        logFile("EXPORT DECO: wrote", ".//decoration.obj",
                std::to_string(decorationPositions.size()) + " decorations", replaced);
}

void TForm1::BgenbatClick() {
    BatchSettings s;
    s.exe = Eexe->text().toStdString();
    s.mesh = {Einput3d->text().toStdString(), CSfrom3d->value(), CSto3d->value(), CSstep3d->value()};
    s.grid = {Einputdx->text().toStdString(), CSfromdx->value(), CStodx->value(), CSstepdx->value()};
    s.lines = {Eoutputln->text().toStdString(), CSfromln->value(), CStoln->value(), CSstepln->value()};
    // All numbers are converted before anything is written: a text that does
    // not convert stops here and leaves an earlier batch file as it was.
    s.density = floatOf(Edensitybat);
    s.haltGradient = floatOf(Egradientbat);
    s.haltAngle = floatOf(Eanglebat);
    s.reduce = CB_reducebat->isChecked();
    s.reduceAngle = floatOf(Ereduceanglebat);
    const int64_t lines = batchLineCount(s);
    if (lines == 0) {
        log("generate BAT: no number series can ever pass its TO (each STEP is 0 or negative); nothing written");
        return;
    }
    if (lines > kMaxBatchLines) {
        log("generate BAT: the series would give " + std::to_string(lines) + " lines, more than " +
            std::to_string(kMaxBatchLines) + "; nothing written");
        return;
    }
    std::string error;
    const bool replaced = fileExists(".//esegui.bat");
    if (!writeFileAtomically(".//esegui.bat", formatBatchFile(s, lines), error))
        log("generate BAT: cannot write \".//esegui.bat\": " + error);
    else
        logFile("generate BAT: wrote", ".//esegui.bat", std::to_string(lines) + " lines", replaced);
}

} // namespace quorax
