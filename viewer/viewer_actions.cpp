#include "viewer_actions.h"

#include "sampling.h"
#include "writers.h"

namespace quorax {

int32_t assignPotential(ViewerMesh& mesh, const PotentialGrid& grid, ValueSlot slot) {
    int32_t outside = 0;
    for (int32_t i = 0; i < mesh.vertexCount(); ++i) {
        if (mesh.vertexDeleted(i)) continue;
        bool clamped = false;
        const float v = samplePotential(grid, mesh.tri.vertices[i].pos, &clamped, CellQuotient::Double);
        if (clamped) ++outside;
        (slot == ValueSlot::Electrostatic ? mesh.vertexData[i].electrostatic : mesh.vertexData[i].lipophilic) = v;
    }
    return outside;
}

int32_t offsetPotential(std::array<ViewerMesh, 4>& meshes, const PotentialGrid& grid) {
    int32_t outside = 0;
    for (ViewerMesh& m : meshes)
        for (int32_t i = 0; i < m.vertexCount(); ++i) {
            bool clamped = false;
            m.vertexData[i].electrostatic = samplePotential(grid, m.tri.vertices[i].pos, &clamped,
                                                            CellQuotient::Double, Interpolation::NodeBelow);
            if (clamped) ++outside;
        }
    return outside;
}

std::string formatMeshObj(ViewerMesh& mesh) {
    std::string out;
    for (int32_t i = 0; i < mesh.vertexCount(); ++i) {
        appendVertexLine(out, "v", mesh.tri.vertices[i].pos);
        out += "vt ";
        appendFixed(out, mesh.vertexData[i].electrostatic);
        out += ' ';
        appendFixed(out, mesh.vertexData[i].lipophilic);
        out += '\n';
        mesh.vertexData[i].exportIndex = i + 1;
    }
    for (int32_t f = 0; f < mesh.faceCount(); ++f) {
        if (mesh.faceDeleted(f)) continue;
        out += 'f';
        for (int32_t v : mesh.tri.faces[f].v) {
            const std::string n = std::to_string(mesh.vertexData[v].exportIndex);
            out += ' ' + n + '/' + n;
        }
        out += '\n';
    }
    return out;
}

std::string formatLinesJson(const std::vector<FieldLine>& lines) {
    std::string out = "{\n\"lines\" : [\n";
    for (std::size_t k = 0; k < lines.size(); ++k) {
        out += "[ ";
        const FieldLine& l = lines[k];
        for (std::size_t j = 0; j < l.size(); ++j) {
            out += ' ';
            appendFixed(out, l[j].x);
            out += ", ";
            appendFixed(out, l[j].y);
            out += ", ";
            appendFixed(out, l[j].z);
            if (j + 1 < l.size()) out += ',';
        }
        out += k + 1 < lines.size() ? " ],\n" : " ]\n";
    }
    out += "]\n}\n";
    return out;
}

std::string insertNumber(const std::string& pattern, int64_t n, std::size_t fromEnd) {
    const std::size_t at = pattern.size() >= fromEnd ? pattern.size() - fromEnd : 0;
    std::string s = pattern;
    s.insert(at, std::to_string(n));
    return s;
}

namespace {

// Lines until series s passes its TO (at least 1), or -1 when it never does.
int64_t linesUntilPast(const BatchSeries& s) {
    if (s.step <= 0) return s.from + s.step > s.to ? 1 : -1;
    if (s.from > s.to) return 1;
    return (s.to - s.from) / s.step + 1;
}

} // namespace

int64_t batchLineCount(const BatchSettings& s) {
    int64_t best = -1;
    for (const BatchSeries* series : {&s.mesh, &s.grid, &s.lines}) {
        const int64_t n = linesUntilPast(*series);
        if (n > 0 && (best < 0 || n < best)) best = n;
    }
    return best < 0 ? 0 : best;
}

std::string formatBatchFile(const BatchSettings& s, int64_t lines) {
    std::string out;
    int64_t n3d = s.mesh.from, ndx = s.grid.from, nln = s.lines.from;
    for (int64_t k = 0; k < lines; ++k) {
        const std::string mesh = insertNumber(s.mesh.pattern, n3d, 4);
        const std::string grid = insertNumber(s.grid.pattern, ndx, 3);
        const std::string lineFile = insertNumber(s.lines.pattern, nln, 4);
        // "%s %s %s %s %f %f %f %d %f\n", with the numbers printed by
        // appendFixed: a point whatever the C library's locale.
        out += s.exe + ' ' + mesh + ' ' + grid + ' ' + lineFile + ' ';
        appendFixed(out, s.density);
        out += ' ';
        appendFixed(out, s.haltGradient);
        out += ' ';
        appendFixed(out, s.haltAngle);
        out += s.reduce ? " 1 " : " 0 ";
        appendFixed(out, s.reduceAngle);
        out += '\n';
        n3d += s.mesh.step;
        ndx += s.grid.step;
        nln += s.lines.step;
    }
    return out;
}

} // namespace quorax
