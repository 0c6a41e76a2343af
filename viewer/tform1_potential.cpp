// POTENTIAL and OFFS tabs: reading the grid, sampling it onto the surfaces,
// loading the offset surfaces.
#include <QFileDialog>

#include <algorithm>

#include "dx_reader.h"
#include "tform1.h"
#include "viewer_actions.h"

namespace quorax {

void TForm1::loadPlyModel(const QString& path, ViewerMesh& target, bool fitsView) {
    const ReadStatus status = loadPlyViewerMesh(target, path.toStdString());
    if (!status.ok())
        log("cannot read PLY model \"" + path.toStdString() + "\": " + readProblemText(status));
    else
        logFile(fitsView ? "read PLY model" : "read PLY offset surface", path.toStdString(),
                std::to_string(target.vertexCount()) + " vertices, " + std::to_string(target.faceCount()) + " faces");
    if (fitsView) requestFrame();
}

void TForm1::Button1Click() {
    const QString path = chooseFileIn(Open_dx);
    if (path.isEmpty()) return;
    const std::string name = path.toStdString();
    const ReadStatus r = readDxGridFile(potentialGrid, name);
    if (!r.ok()) log(readErrorText("DX grid", name, r));
    for (const std::string& w : r.warnings) log(readWarningText("DX grid", name, w));
    if (r.ok()) {
        const PotentialGrid& g = potentialGrid;
        logFile("read DX grid", name,
                std::to_string(g.nx) + " x " + std::to_string(g.ny) + " x " + std::to_string(g.nz) +
                    " nodes, potential " + QString::number(g.minValue).toStdString() + " to " +
                    QString::number(g.maxValue).toStdString());
    }
}

void TForm1::assignPotential(bool electrostatic) {
    const char* action = electrostatic ? "Assign to ELECTROSTATIC" : "Assign to LIPOPHYLIC";
    if (!potentialGrid.loaded) {
        log(std::string(action) + ": no potential grid has been read; nothing assigned");
        return;
    }
    if (mesh.vertexCount() == 0)
        log(std::string(action) + ": no model loaded, nothing to assign to: load an OBJ or PLY model first");
    const int32_t outside = quorax::assignPotential(
        mesh, potentialGrid, electrostatic ? ValueSlot::Electrostatic : ValueSlot::Lipophilic);
    if (outside > 0)
        log(std::string(action) + ": " + std::to_string(outside) + " of " + std::to_string(mesh.vertexCount()) +
            " vertices lie outside the potential grid or on its upper faces and were sampled at the nearest point of the grid box");
}

void TForm1::Button4Click() { assignPotential(true); }
void TForm1::Button5Click() { assignPotential(false); }

void TForm1::offsetLoad(int index) {
    const QString path = chooseFileIn(Open_ply);
    if (path.isEmpty()) return;
    loadPlyModel(path, offsetMeshes[static_cast<std::size_t>(index)], false);
}

void TForm1::off1Click() { offsetLoad(0); }
void TForm1::off2Click() { offsetLoad(1); }
void TForm1::off3Click() { offsetLoad(2); }
void TForm1::off4Click() { offsetLoad(3); }

void TForm1::b_offsetpotClick() {
    if (!potentialGrid.loaded) {
        log("offset POT: no potential grid has been read; nothing assigned");
        return;
    }
    if (std::all_of(offsetMeshes.begin(), offsetMeshes.end(), [](const ViewerMesh& m) { return m.vertexCount() == 0; }))
        log("offset POT: no offset surface loaded, nothing to assign to: load one with off1 ... off4 first");
    const int32_t outside = offsetPotential(offsetMeshes, potentialGrid);
    if (outside > 0)
        log("offset POT: " + std::to_string(outside) +
            " vertices lie outside the potential grid and took the value of the nearest border node");
}

} // namespace quorax
