// LINES tab: gradient, probe line, the three seedings, simplification,
// lines file, face powers squared.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>

#include "flux_seeding.h"
#include "gradient.h"
#include "integrate.h"
#include "number_text.h"
#include "seeding.h"
#include "simplify.h"
#include "tform1.h"
#include "tracing.h"
#include "viewer_actions.h"
#include "writers.h"

namespace quorax {

std::string general(double v) {
    const QString point = QLocale().decimalPoint();
    return formatGeneral(v, point.isEmpty() ? '.' : point.at(0).toLatin1());
}

TraceSettings TForm1::traceSettings(int32_t maxSteps) const {
    TraceSettings trace;
    trace.haltAngle = floatOf(E_haltangle);
    trace.haltGradient = floatOf(E_haltgradient);
    trace.maxSteps = maxSteps;
    trace.zeroSegments = ZeroSegmentRule::DotIsZero;
    return trace;
}

void TForm1::B_gradientClick() {
    if (!potentialGrid.loaded) {
        log("calculate grad: no potential grid has been read; nothing computed");
        return;
    }
    computeViewerGradient(gradientGrid, potentialGrid, smoothingPasses());
    logGradient();
}

void TForm1::computeViewerGradient(GradientGrid& out, const PotentialGrid& grid, int passes) {
    computeGradient(out, grid, 6.0f, passes, SmoothRule::MultiplyBySixth);
}

int TForm1::smoothingPasses() const { return CB_usesmoothgrad->isChecked() ? 3 : 0; }

void TForm1::logGradient() {
    log(" grad max " + general(gradientGrid.maxMagnitude) + " grad min " + general(gradientGrid.minMagnitude));
}

void TForm1::calclineClick() {
    if (!gradientGrid.ready) log("calc probe line: no gradient yet: press calculate grad");
    linesReady = false;
    const GradientGrid& g = gradientGrid;
    const Vec3 seed = {static_cast<float>(CSE_X->value()) * g.delta.x + g.origin.x,
                       static_cast<float>(CSE_Y->value()) * g.delta.y + g.origin.y,
                       static_cast<float>(CSE_Z->value()) * g.delta.z + g.origin.z};
    traceFieldLine(gradientGrid, seed, traceSettings(200), probeLine);
    linesReady = true;
}

void TForm1::Button6Click() {
    const int wanted = intOf(E_numlinesX);
    if (wanted < 1 || wanted > mesh.faceCount()) {
        log("<- equal lines: the number of lines must lie between 1 and the face count (" +
            std::to_string(mesh.faceCount()) + "), not " + std::to_string(wanted) + "; nothing traced");
        return;
    }
    if (!gradientGrid.ready) log("<- equal lines: no gradient yet: press calculate grad");
    linesReady = false;
    fieldLines.clear();
    traceSeeds(gradientGrid, equalLineSeeds(mesh.tri, wanted, CB_farfromsurface->isChecked()), traceSettings(200),
               fieldLines);
    linesReady = true;
}

void TForm1::xxxClick() {
    if (!potentialGrid.loaded) {
        log("OLD POW LINES: no potential grid has been read; nothing traced");
        return;
    }
    if (!gradientGrid.ready) log("OLD POW LINES: no gradient yet: press calculate grad");
    Button4Click(); // fresh electrostatic values on every vertex
    linesReady = false;
    fieldLines.clear();
    const float minPotential = floatOf(E_minpotline);
    const int keep = CSE_numlines->value();
    std::vector<float> values(mesh.vertexData.size());
    std::vector<uint32_t> flags(mesh.vertexData.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = mesh.vertexData[i].electrostatic;
        flags[i] = mesh.vertexData[i].flags;
    }
    const OldPowSeeds s =
        oldPowSeeds(mesh.tri, values, flags, minPotential, keep, CB_farfromsurface->isChecked(), viewerRandom());
    log("found " + std::to_string(s.candidates) + " candidates");
    if (s.keptFirst)
        log("OLD POW LINES: no more candidates could be thinned out at random; kept the first " +
            std::to_string(keep));
    traceSeeds(gradientGrid, s.seeds, traceSettings(CSEintegrationsteps->value()), fieldLines);
    linesReady = true;
}

void TForm1::B_powlinesClick() {
    if (!potentialGrid.loaded) {
        log("NEW POW LINES: no potential grid has been read; nothing traced");
        return;
    }
    if (!gradientGrid.ready) log("NEW POW LINES: no gradient yet: press calculate grad");
    if (mesh.faceCount() == 0) log("NEW POW LINES: no model loaded, no faces to start lines on: load an OBJ or PLY model first");
    const TraceSettings trace = traceSettings(CSEintegrationsteps->value());
    linesReady = false;
    fieldLines.clear();
    const float density = floatOf(E_densityparam);
    const NewPowSeeds s = newPowSeeds(mesh.tri, potentialGrid, density, CB_farfromsurface->isChecked(), viewerRandom());
    facePowerMin = s.minPower;
    facePowerMax = s.maxPower;
    log(" molecule power value" + general(s.total) + " line number:" + std::to_string(s.count));
    log(" molecule min power value" + general(s.minPower) + " molecule max power value:" + general(s.maxPower));
    if (s.cornersOutside > 0)
        log("NEW POW LINES: " + std::to_string(s.cornersOutside) +
            " face corners lie outside the potential grid or on its upper faces and were sampled at the nearest point of the grid box");
    if (s.boundReached)
        log("NEW POW LINES: the random selection took too long; the strongest remaining faces completed it");
    traceSeeds(gradientGrid, s.seeds, trace, fieldLines);
    linesReady = true;
    if (fieldLines.empty() && mesh.faceCount() > 0)
        log(s.count >= mesh.faceCount()
                ? "NEW POW LINES: the density asks for " + std::to_string(s.count) + " lines, at least one per face (" +
                      std::to_string(mesh.faceCount()) + " faces), and then none is traced: lower Lines x eV/A2"
                : "NEW POW LINES: the density gives no line: raise Lines x eV/A2");
}

void TForm1::B_faithfulClick() {
    const char* name = "FAITHFUL LINES: ";
    if (!potentialGrid.loaded) {
        log(std::string(name) + "no potential grid has been read; nothing traced: press Read DX Potential");
        return;
    }
    if (mesh.faceCount() == 0) {
        log(std::string(name) + "no model loaded, no faces to start lines on: load an OBJ or PLY model first");
        return;
    }
    const float density = floatOf(E_densityparam);
    const std::string stepText = E_step->text().trimmed().toStdString();
    const std::string sepText = E_minsep->text().trimmed().toStdString();
    const double step = stepText.empty() ? 0.0 : decimalOrThrow(stepText);
    const double minSep = sepText.empty() ? 0.0 : decimalOrThrow(sepText);
    GradientGrid field;
    computeCentralGradient(field, potentialGrid);
    TriMesh surface = mesh.tri;
    computeFaceNormals(surface); // unit normals: the flux and the lift of the seeds
    linesReady = false;
    fieldLines.clear();
    std::vector<Vec3> seeds;
    if (CB_seeding->currentText() == "flux") {
        const FluxSeeding s = fluxSeeds(surface, field, density, static_cast<uint32_t>(viewerRandom().rand31()));
        for (const FluxSeed& f : s.seeds) seeds.push_back(f.position);
        log(name + std::string("flux ") + general(s.totalFlux) + ", " + std::to_string(seeds.size()) + " seeds");
    } else {
        seeds = newPowSeeds(mesh.tri, potentialGrid, density, CB_farfromsurface->isChecked(), viewerRandom()).seeds;
        log(name + std::string("power seeding, ") + std::to_string(seeds.size()) + " seeds");
    }
    const QString method = CB_integrator->currentText();
    SeedTracing how;
    how.settings = integrationFor(field, method == "rk45"  ? Integrator::Rk45
                                         : method == "euler" ? Integrator::Euler
                                                             : Integrator::Rk4);
    if (step > 0.0) how.settings.step = step;
    how.settings.haltGradient = floatOf(E_haltgradient);
    how.settings.haltAngle = floatOf(E_haltangle);
    how.stopAtSurface = CB_stopsurface->isChecked();
    how.minSeparation = static_cast<float>(minSep);
    integrateSeeds(field, surface, how, seeds, fieldLines);
    linesReady = true;
    std::size_t onSurface = 0;
    for (const FieldLine& l : fieldLines)
        onSurface += (l.backward == StopReason::Surface) + (l.forward == StopReason::Surface);
    log(name + linesSummary(linesReady, fieldLines) + ", " + std::to_string(onSurface) + " ends on the surface");
}

void TForm1::B_reducepoints_XXLClick() {
    const float angle = floatOf(Ereduceangle);
    if (!linesReady) {
        log("Reduce points Strongly: no lines yet, nothing to reduce: trace lines first (NEW POW LINES)");
        return;
    }
    const SimplifyResult r = simplifyLines(fieldLines, angle, ZeroSegmentRule::DotIsZero);
    log("Removed: " + std::to_string(r.removed) + " points, remaining: " + std::to_string(r.remaining));
}

void TForm1::B_exportlinesClick() {
    std::string error;
    exportLines(E_nomelinee->text().toStdString(), error);
}

bool TForm1::exportLines(const std::string& path, std::string& error) {
    const std::vector<FieldLine> none;
    const bool replaced = fileExists(path);
    if (writeLinesFile(path, linesReady ? fieldLines : none, error)) {
        logFile("Export Lines: wrote", path, linesSummary(linesReady, fieldLines), replaced);
        return true;
    }
    log("Export Lines: cannot write \"" + path + "\": " + error);
    return false;
}

void TForm1::B_funcClick() {
    if (facePowerMax == 0.0f && facePowerMin == 0.0f)
        log("func: no face powers yet, nothing to square: press NEW POW LINES first");
    for (MeshFace& f : mesh.tri.faces) f.power = f.power * f.power;
    facePowerMin = facePowerMin * facePowerMin;
    facePowerMax = facePowerMax * facePowerMax;
}

} // namespace quorax
