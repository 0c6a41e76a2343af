#include "pipeline.h"

#include <string>
#include <vector>

#include "dx_reader.h"
#include "gradient.h"
#include "mesh.h"
#include "obj_reader.h"
#include "sampling.h"
#include "seeding.h"
#include "simplify.h"
#include "tracing.h"
#include "writers.h"

namespace quorax {
namespace {

class Run {
public:
    Run(const PipelineParams& p, std::FILE* out, std::FILE* err, const PipelineHooks& hooks)
        : p_(p), out_(out), err_(err), hooks_(hooks) {}

    int execute() {
        std::fprintf(out_, "loading OBJ model: %s\n", p_.meshPath.c_str());
        if (!readMesh()) return 1;
        std::fprintf(out_, "loaded OBJ model: %d faces, %d verts\n", mesh_.faceCount(), mesh_.vertexCount());
        computeFaceNormals(mesh_);
        computeVertexNormals(mesh_);
        if (p_.debug) {
            std::string error;
            if (!dumpMeshObj(mesh_, error)) dumpWarning("saved.obj", error);
            if (!dumpMeshNormalsObj(mesh_, error)) dumpWarning("saved_n.obj", error);
        }
        done(Phase::ReadObj);

        std::fprintf(out_, "loading potential DX grid: %s\n", p_.gridPath.c_str());
        if (!readGrid()) return 1;
        std::fprintf(out_, "loaded DX potential: %d x %d x %d\n\n", grid_.nx, grid_.ny, grid_.nz);
        done(Phase::ReadDx);

        const MappingResult mapped = mapPotentialToMesh(grid_, mesh_);
        std::fprintf(out_, "mapped potential on the mesh\n");
        if (mapped.verticesOutside > 0) outsideWarning(mapped.verticesOutside);
        done(Phase::Map);

        computeGradient(gradient_, grid_, kGradientMaxLength, kGradientSmoothingPasses);
        std::fprintf(out_, "computed gradient: %d x %d x %d, max %f min %f\n", gradient_.nx, gradient_.ny,
                     gradient_.nz, static_cast<double>(gradient_.maxMagnitude),
                     static_cast<double>(gradient_.minMagnitude));
        grid_ = PotentialGrid(); // the potential is not needed any more
        done(Phase::Gradient);

        const LineBudget budget = computeLineBudget(mesh_, p_.density);
        std::fprintf(out_, "combined power value %f\n", static_cast<double>(budget.totalPower));
        std::fprintf(out_, "%d lines will be calculated\n", budget.count);
        std::vector<Vec3> seeds;
        seedLines(mesh_, seeds, budget.count, hooks_.generatorSeed);
        std::fprintf(out_, "line seeds found\n");
        if (p_.debug) {
            std::string error;
            if (!dumpSeedsObj(seeds, error)) dumpWarning("seeds.obj", error);
        }
        done(Phase::Seeding);

        std::vector<FieldLine> lines;
        const std::size_t count = budget.count > 0 ? static_cast<std::size_t>(budget.count) : 0;
        lines.reserve(count);
        for (std::size_t i = 0; i < count && i < seeds.size(); ++i) {
            lines.emplace_back();
            traceFieldLine(gradient_, seeds[i], p_.haltGradient, p_.haltAngle, lines.back(), kConsoleMaxSteps);
        }
        std::fprintf(out_, "lines calculated\n");
        done(Phase::Tracing);

        if (p_.reduce) {
            const SimplifyResult r = simplifyLines(lines, p_.reduceAngle);
            std::fprintf(out_, "Removed: %d points, remaining: %d points\n", r.removed, r.remaining);
            done(Phase::Simplify);
        }

        std::string error;
        if (!writeLinesFile(p_.linesPath, lines, error)) {
            report("error", "cannot write lines file \"" + p_.linesPath + "\": " + error);
            return 1;
        }
        std::fprintf(out_, "lines saved\n");
        done(Phase::Write);
        return 0;
    }

private:
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

    bool readGrid() {
        const ReadStatus r = readDxGridFile(grid_, p_.gridPath);
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
};

} // namespace

int runPipeline(const PipelineParams& params, std::FILE* out, std::FILE* err, const PipelineHooks& hooks) {
    return Run(params, out, err, hooks).execute();
}

} // namespace quorax
