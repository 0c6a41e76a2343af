#include "pipeline.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dx_reader.h"
#include "file_io.h"
#include "flux_seeding.h"
#include "gradient.h"
#include "integrate.h"
#include "mesh.h"
#include "obj_reader.h"
#include "parallel.h"
#include "sampling.h"
#include "seeding.h"
#include "simplify.h"
#include "tracing.h"
#include "tubes.h"
#include "writers.h"

namespace quorax {
namespace {

// True when writing `path` goes through a temporary file put in place at the
// end: a new file, or a regular file that is not this process's own output
// or error stream. Devices, FIFOs, links and the own streams are written in
// place, byte by byte as they come.
bool writesThroughTemporaryFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    for (int fd : {1, 2}) {
        struct stat own {};
        if (::fstat(fd, &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino) return false;
    }
    return true;
}

class Run {
public:
    Run(const PipelineParams& p, std::FILE* out, std::FILE* err, const PipelineHooks& hooks)
        : p_(p), out_(out), err_(err), hooks_(hooks) {}

    int execute() {
        if (const std::string clash = outputOverwritingInput(p_); !clash.empty()) {
            report("error", clash + "; nothing was read or written");
            return 1;
        }
        std::fprintf(out_, "loading OBJ model: %s\n", p_.meshPath.c_str());
        // Today's tracer follows the smoothed, capped gradient; flux seeding and
        // the integrators use the unsmoothed one. The grid is read beside the
        // surface, and the traced field computed from it beside the surface's
        // last steps, the mapping and the seeding (unless the seeding needs
        // it); what the grid has to say is said after the surface's messages.
        // The field's work is started by the grid's, as soon as the grid is read.
        const bool faithful = p_.faithfulTracing(), flux = p_.seeding == SeedingMode::Flux;
        const auto computeField = [this, faithful, flux] {
            if (faithful || flux) computeCentralGradient(field_, grid_);
            if (!faithful) computeGradient(gradient_, grid_, kGradientMaxLength, kGradientSmoothingPasses);
        };
        ReadStatus gridStatus;
        std::optional<BackgroundWork> fieldWork;
        BackgroundWork gridRead([&] {
            gridStatus = readDxGridFile(grid_, p_.gridPath);
            if (gridStatus.ok() && !flux) fieldWork.emplace(computeField);
        });
        if (!readMesh()) return 1;
        gridRead.wait();
        std::fprintf(out_, "loaded OBJ model: %d faces, %d verts\n", mesh_.faceCount(), mesh_.vertexCount());
        int32_t nonFinite = removeNonFiniteFaces(mesh_);
        computeFaceNormals(mesh_);
        // Vertex normals serve only the dump of the surface with its normals.
        if (p_.debug) computeVertexNormals(mesh_);
        if (p_.debug) {
            std::string error;
            if (!dumpMeshObj(mesh_, error)) dumpWarning("saved.obj", error);
            if (!dumpMeshNormalsObj(mesh_, error)) dumpWarning("saved_n.obj", error);
        }
        done(Phase::ReadObj);

        std::fprintf(out_, "loading potential DX grid: %s\n", p_.gridPath.c_str());
        if (!gridReadReported(gridStatus)) return 1;
        std::fprintf(out_, "loaded DX potential: %d x %d x %d\n\n", grid_.nx, grid_.ny, grid_.nz);
        done(Phase::ReadDx);

        const MappingResult mapped = mapPotentialToMesh(grid_, mesh_);
        std::fprintf(out_, "mapped potential on the mesh\n");
        if (mapped.verticesOutside > 0) outsideWarning(mapped.verticesOutside);
        nonFinite += removeNonFiniteFaces(mesh_);
        if (nonFinite > 0) report("warning", nonFiniteFacesWarning("OBJ mesh", p_.meshPath, nonFinite));
        done(Phase::Map);

        std::vector<Vec3> seeds;
        LineBudget budget;
        SeedingResult seeded;
        if (!flux) {
            budget = computeLineBudget(mesh_, p_.density);
            seeded = seedLines(mesh_, seeds, budget.count, hooks_.generatorSeed);
        }
        if (fieldWork) fieldWork->wait();
        else computeField();
        const GradientGrid& traced = faithful ? field_ : gradient_;
        std::fprintf(out_, "computed gradient: %d x %d x %d, max %f min %f\n", traced.nx, traced.ny, traced.nz,
                     static_cast<double>(traced.maxMagnitude), static_cast<double>(traced.minMagnitude));
        if (!needsPotential()) grid_ = PotentialGrid(); // the potential is not needed any more
        done(Phase::Gradient);

        if (flux) {
            seedByFlux(seeds);
        } else {
            std::fprintf(out_, "combined power value %f\n", static_cast<double>(budget.totalPower));
            std::fprintf(out_, "%d lines will be calculated\n", budget.count);
            if (seeded.boundReached)
                report("warning", "the random choice of " + std::to_string(budget.count) + " seed faces among " +
                                      std::to_string(mesh_.faceCount()) + " stopped after " +
                                      std::to_string(seeded.draws) +
                                      " draws (the faces have nearly equal power); the weakest remaining faces "
                                      "were left out");
        }
        std::fprintf(out_, "line seeds found\n");
        if (p_.debug) {
            std::string error;
            if (!dumpSeedsObj(seeds, error)) dumpWarning("seeds.obj", error);
        }
        const bool inBatches = !faithful && p_.exports.empty() && seeds.size() > kStreamedSeeds &&
                               writesThroughTemporaryFile(p_.linesPath);
        // The surface is not needed any more; freeing it costs time, so it is
        // freed only when all lines are kept and may need more memory than it holds.
        const std::size_t linePoints = seeds.size() * (2 * static_cast<std::size_t>(kConsoleMaxSteps) + 1);
        const std::size_t meshBytes =
            mesh_.vertices.size() * sizeof(MeshVertex) + mesh_.faces.size() * sizeof(MeshFace);
        if (!faithful && !inBatches && !exports(ExportKind::Surface) && linePoints * sizeof(Vec3) > meshBytes)
            mesh_ = TriMesh();
        done(Phase::Seeding);

        TraceSettings trace;
        trace.haltGradient = p_.haltGradient;
        trace.haltAngle = p_.haltAngle;
        trace.maxSteps = kConsoleMaxSteps;
        if (inBatches) return traceAndWriteInBatches(seeds, trace);

        // One seed per line of the budget (the budget never exceeds the faces).
        std::vector<FieldLine> lines;
        if (faithful) {
            integrateSeeds(seeds, lines);
        } else {
            traceSeeds(gradient_, seeds, trace, lines);
        }
        std::fprintf(out_, "lines calculated\n");
        done(Phase::Tracing);

        if (p_.reduce) {
            const SimplifyResult r = simplifyLines(lines, p_.reduceAngle);
            std::fprintf(out_, "Removed: %d points, remaining: %d points\n", r.removed, r.remaining);
            done(Phase::Simplify);
        }

        std::string error;
        std::fflush(out_); // the lines file may be this very stream (/dev/stdout)
        if (!writeLinesFile(p_.linesPath, lines, error)) {
            report("error", "cannot write lines file \"" + p_.linesPath + "\": " + error);
            return 1;
        }
        std::fprintf(out_, "lines saved\n");
        done(Phase::Write);
        return writeExports(lines, seeds);
    }

private:
    // Lines are traced, simplified and written this many seeds at a time
    // when there are more (and nothing else needs them all).
    static constexpr std::size_t kStreamedSeeds = 4096;

    // The run's end for many lines: the same output as tracing them all,
    // simplifying them all and then writing them, with only a batch of lines
    // in memory. The file is written to a temporary file and put in place at
    // the end, so nothing of it shows before the messages that precede it;
    // an error opening it is reported where it would have been.
    int traceAndWriteInBatches(const std::vector<Vec3>& seeds, const TraceSettings& trace) {
        LinesFileWriter file;
        std::string error;
        const bool opened = file.open(p_.linesPath, error);
        long long removed = 0, remaining = 0;
        for (std::size_t first = 0; first < seeds.size(); first += kStreamedSeeds) {
            const std::vector<Vec3> batch(seeds.begin() + static_cast<std::ptrdiff_t>(first),
                                          seeds.begin() + static_cast<std::ptrdiff_t>(
                                                              std::min(seeds.size(), first + kStreamedSeeds)));
            std::vector<FieldLine> lines;
            traceSeeds(gradient_, batch, trace, lines);
            if (p_.reduce) {
                const SimplifyResult r = simplifyLines(lines, p_.reduceAngle);
                removed += r.removed;
                remaining += r.remaining;
            }
            if (opened) file.append(lines);
        }
        std::fprintf(out_, "lines calculated\n");
        done(Phase::Tracing);
        if (p_.reduce) {
            // As one simplification of all lines counts them.
            std::fprintf(out_, "Removed: %d points, remaining: %d points\n", static_cast<int32_t>(removed),
                         static_cast<int32_t>(std::min<long long>(remaining, std::numeric_limits<int32_t>::max())));
            done(Phase::Simplify);
        }
        std::fflush(out_);
        if (!opened || !file.commit(error)) {
            report("error", "cannot write lines file \"" + p_.linesPath + "\": " + error);
            return 1;
        }
        std::fprintf(out_, "lines saved\n");
        done(Phase::Write);
        return 0;
    }

    // Seeds in proportion to the flux of the unsmoothed field through each
    // face; the flux each line stands for is kept for the exports.
    void seedByFlux(std::vector<Vec3>& seeds) {
        const FluxSeeding seeding = fluxSeeds(mesh_, field_, p_.fluxDensity.value_or(p_.density), hooks_.generatorSeed);
        std::fprintf(out_, "combined flux value %f\n", seeding.totalFlux);
        std::fprintf(out_, "%zu lines will be calculated\n", seeding.seeds.size());
        for (const FluxSeed& s : seeding.seeds) {
            seeds.push_back(s.position);
            seedFlux_.push_back(s.flux);
        }
    }

    // Traces every seed with the chosen integrator on the unsmoothed field,
    // ending lines at the surface or near earlier lines when asked. A seed
    // closer than the minimum separation to an earlier line is skipped
    // (and dropped from `seeds`, which stays parallel to `lines`).
    void integrateSeeds(std::vector<Vec3>& seeds, std::vector<FieldLine>& lines) {
        SeedTracing how;
        how.settings = integrationFor(field_, p_.faithfulIntegrator());
        if (p_.step) how.settings.step = *p_.step;
        how.settings.tolerance = p_.tolerance;
        how.settings.haltGradient = p_.haltGradient;
        how.settings.haltAngle = p_.haltAngle;
        how.stopAtSurface = p_.stopAtSurface;
        how.minSeparation = p_.minSeparation;
        const std::vector<std::size_t> traced = quorax::integrateSeeds(field_, mesh_, how, seeds, lines);
        if (traced.size() < seeds.size())
            std::fprintf(out_, "%zu seeds closer than %f to an earlier line were skipped\n", seeds.size() - traced.size(),
                         static_cast<double>(p_.minSeparation));
        std::vector<Vec3> kept;
        std::vector<float> keptFlux;
        for (std::size_t i : traced) {
            kept.push_back(seeds[i]);
            if (i < seedFlux_.size()) keptFlux.push_back(seedFlux_[i]);
        }
        seeds = std::move(kept);
        if (!seedFlux_.empty()) seedFlux_ = std::move(keptFlux);
    }

    bool exports(ExportKind kind) const {
        for (const PipelineParams::Export& e : p_.exports)
            if (e.kind == kind) return true;
        return false;
    }

    // The line values sample the potential grid, which is kept for them.
    bool needsPotential() const {
        for (const PipelineParams::Export& e : p_.exports)
            if (e.kind == ExportKind::Lines && exportFormatFor(e.kind, e.path) != ExportFormat::Obj) return true;
        return false;
    }

    int writeExports(const std::vector<FieldLine>& lines, const std::vector<Vec3>& seeds) {
        static const char* const names[] = {"lines", "tubes", "surface"};
        std::optional<LineValues> values;
        std::optional<SolidMesh> solids;
        int status = 0;
        for (const PipelineParams::Export& e : p_.exports) {
            const std::optional<ExportFormat> format = exportFormatFor(e.kind, e.path);
            const char* name = names[static_cast<int>(e.kind)];
            if (!format) {
                report("error", std::string("cannot write ") + name + " export \"" + e.path +
                                    "\": unknown extension; accepted: " + acceptedExtensions(e.kind));
                status = 1;
                continue;
            }
            std::string content;
            switch (e.kind) {
            case ExportKind::Lines:
                if (!values && *format != ExportFormat::Obj) {
                    values = computeLineValues(lines, seeds, grid_, p_.faithfulTracing() ? field_ : gradient_);
                    values->seedFlux = seedFlux_;
                }
                content = formatLinesExport(*format, lines, values ? &*values : nullptr);
                break;
            case ExportKind::Tubes:
                if (!solids) solids = buildLineSolids(lines, p_.tubeRadius);
                content = formatSolidExport(*format, *solids);
                break;
            case ExportKind::Surface:
                content = formatSurfaceExport(*format, mesh_);
                break;
            }
            std::string error;
            if (!writeFileAtomically(e.path, content, error)) {
                report("error", std::string("cannot write ") + name + " export \"" + e.path + "\": " + error);
                status = 1;
                continue;
            }
            std::fprintf(out_, "%s exported: %s\n", name, e.path.c_str());
            done(Phase::Export);
        }
        return status;
    }

    bool readMesh() {
        ObjReadResult r;
        const ReadStatus status = readObjMeshFile(mesh_, p_.meshPath, &r);
        if (!status.ok() || mesh_.faceCount() == 0) {
            report("error", readErrorText("OBJ mesh", p_.meshPath, status.ok() ? noFacesStatus("OBJ") : status));
            return false;
        }
        if (r.skippedFaces > 0)
            report("warning", "OBJ mesh \"" + p_.meshPath + "\": " + std::to_string(r.skippedFaces) +
                                  (r.skippedFaces == 1 ? " face names" : " faces name") +
                                  " vertices that do not exist and " +
                                  (r.skippedFaces == 1 ? "was" : "were") + " skipped");
        return true;
    }

    // Reports the outcome of reading the grid; false when it failed.
    bool gridReadReported(const ReadStatus& r) {
        if (!r.ok()) {
            report("error", readErrorText("DX grid", p_.gridPath, r));
            return false;
        }
        for (const std::string& w : r.warnings) report("warning", readWarningText("DX grid", p_.gridPath, w));
        return true;
    }

    void outsideWarning(int32_t outside) {
        const int32_t total = mesh_.vertexCount();
        const double share = 100.0 * outside / total;
        char buf[320];
        std::snprintf(buf, sizeof buf,
                      "%d of %d vertices (%.1f%%) lie outside the potential grid or on its upper faces; "
                      "they were sampled at the nearest point of the grid box",
                      outside, total, share);
        std::string text = buf;
        if (2 * static_cast<int64_t>(outside) > total)
            text += ". Most of the surface lies outside the grid: the surface \"" + p_.meshPath +
                    "\" and the grid \"" + p_.gridPath + "\" are probably not in the same frame";
        report("warning", text);
    }

    void dumpWarning(const char* name, const std::string& error) {
        report("warning", std::string("cannot write debug dump \"") + name + "\": " + error + "; the run goes on");
    }

    void report(const char* kind, const std::string& text) {
        std::fflush(out_); // keep the order of both streams when they share a terminal or file
        std::fprintf(err_, "%s: %s: %s\n", hooks_.program, kind, text.c_str());
    }

    void done(Phase phase) {
        if (hooks_.phaseDone) hooks_.phaseDone(phase);
    }

    const PipelineParams& p_;
    std::FILE* out_;
    std::FILE* err_;
    const PipelineHooks& hooks_;
    TriMesh mesh_;
    PotentialGrid grid_;
    GradientGrid gradient_;
    GradientGrid field_;           // unsmoothed gradient: flux seeding and the integrators
    std::vector<float> seedFlux_;  // flux each line stands for (flux seeding)
};

} // namespace

std::string outputOverwritingInput(const PipelineParams& params) {
    std::vector<std::pair<std::string, std::string>> outputs = {{"the lines file", params.linesPath}};
    if (params.debug)
        for (const char* dump : {"saved.obj", "saved_n.obj", "seeds.obj"}) outputs.emplace_back("the debug dump", dump);
    for (const PipelineParams::Export& e : params.exports) outputs.emplace_back("the export", e.path);
    for (const auto& [what, output] : outputs)
        for (const std::string& input : {params.meshPath, params.gridPath})
            if (isSameFile(output, input))
                return "refusing to write " + what + " \"" + output + "\": it is the same file as the input \"" +
                       input + "\"";
    return {};
}

int runPipeline(const PipelineParams& params, std::FILE* out, std::FILE* err, const PipelineHooks& hooks) {
    return Run(params, out, err, hooks).execute();
}

} // namespace quorax
