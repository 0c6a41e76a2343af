#include "viewer_actions.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "sampling.h"
#include "tracing.h"
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

namespace {

// Lower node index along one axis, clamped into 0 … n − 1.
std::ptrdiff_t lowerNode(float p, float origin, float delta, int32_t n, bool& clamped) {
    const double q = (static_cast<double>(p) - origin) / delta;
    if (!(q >= 0.0)) {
        clamped = true;
        return 0;
    }
    if (q >= n) { // truncation would give n or more
        clamped = true;
        return n - 1;
    }
    return static_cast<std::ptrdiff_t>(q);
}

} // namespace

int32_t offsetPotential(std::array<ViewerMesh, 4>& meshes, const PotentialGrid& grid) {
    int32_t outside = 0;
    for (ViewerMesh& m : meshes)
        for (int32_t i = 0; i < m.vertexCount(); ++i) {
            const Vec3 p = m.tri.vertices[i].pos;
            bool clamped = false;
            const std::ptrdiff_t ix = lowerNode(p.x, grid.origin.x, grid.delta.x, grid.nx, clamped);
            const std::ptrdiff_t iy = lowerNode(p.y, grid.origin.y, grid.delta.y, grid.ny, clamped);
            const std::ptrdiff_t iz = lowerNode(p.z, grid.origin.z, grid.delta.z, grid.nz, clamped);
            if (clamped) ++outside;
            m.vertexData[i].electrostatic = grid.at(ix, iy, iz);
        }
    return outside;
}

Vec3 faceSeed(const ViewerMesh& mesh, int32_t f, bool lift) {
    const MeshFace& face = mesh.tri.faces[f];
    Vec3 p0, p1, p2;
    facePositions(mesh.tri, face, p0, p1, p2);
    const Vec3 s = p0 + p1 + p2;
    constexpr double third = 1.0 / 3.0;
    Vec3 seed = {static_cast<float>(s.x * third), static_cast<float>(s.y * third), static_cast<float>(s.z * third)};
    if (lift) seed = seed + face.normal;
    return seed;
}

std::vector<Vec3> equalLineSeeds(const ViewerMesh& mesh, int32_t wanted, bool lift) {
    std::vector<Vec3> seeds;
    const int32_t faces = mesh.faceCount();
    if (wanted < 1 || wanted > faces) return seeds;
    const int32_t stride = faces / wanted;
    for (int32_t f = 0; f < faces; f += stride) seeds.push_back(faceSeed(mesh, f, lift));
    return seeds;
}

OldPowSeeds oldPowSeeds(const ViewerMesh& mesh, float minPotential, int32_t keep, bool lift, ViewerRandom& random) {
    OldPowSeeds out;
    std::vector<Vec3> points;
    std::vector<float> weights;
    float maxValue = -10000.0f;
    for (int32_t i = 0; i < mesh.vertexCount(); ++i) {
        if (mesh.vertexDeleted(i)) continue;
        const float w = std::fabs(mesh.vertexData[i].electrostatic);
        if (!(minPotential < w)) continue;
        const MeshVertex& v = mesh.tri.vertices[i];
        points.push_back(lift ? v.pos + v.normal : v.pos);
        weights.push_back(w);
        if (w > maxValue) maxValue = w;
    }
    const int32_t n = static_cast<int32_t>(points.size());
    out.candidates = n;

    // The candidates form a list that the cursor walks; removing the one under
    // the cursor and then stepping on passes over its successor, and the
    // cursor wraps to the first candidate past the end. A linked list over the
    // indices keeps each step O(1).
    std::vector<int32_t> next(static_cast<std::size_t>(n)), prev(static_cast<std::size_t>(n));
    std::vector<char> alive(static_cast<std::size_t>(n), 1);
    for (int32_t i = 0; i < n; ++i) {
        next[i] = i + 1 < n ? i + 1 : -1;
        prev[i] = i - 1;
    }
    int32_t head = n > 0 ? 0 : -1;
    int32_t size = n;
    const double mScaled = std::trunc(static_cast<double>(maxValue) * 10.0);
    const int64_t m = mScaled > 0 ? static_cast<int64_t>(std::min(mScaled, 4.0e18)) : 0;
    // r lies in 0 … min(m − 1, 2³¹ − 1), so a candidate whose a is not below
    // that largest draw is never removed.
    const double largestDraw = static_cast<double>(std::min<int64_t>(m - 1, 2147483647));
    int32_t removable = 0;
    for (float w : weights)
        if (static_cast<double>(w * 10.0f) < largestDraw) ++removable;
    int32_t cursor = head;
    while (keep < size && removable > 0) {
        const float a = weights[cursor] * 10.0f;
        const int64_t r = m > 0 ? random.rand31() % m : 0;
        int32_t after = next[cursor];
        if (static_cast<double>(r) > static_cast<double>(a)) {
            alive[cursor] = 0;
            --size;
            --removable;
            if (prev[cursor] >= 0) next[prev[cursor]] = next[cursor];
            else head = next[cursor];
            if (next[cursor] >= 0) prev[next[cursor]] = prev[cursor];
            after = after >= 0 ? next[after] : -1; // the successor took the cursor's place and is passed over
        }
        cursor = after >= 0 ? after : head;
    }
    if (keep < size) {
        // Nothing left that the draw could remove: keep the first candidates.
        out.keptFirst = true;
        int32_t kept = 0;
        for (int32_t i = 0; i < n; ++i)
            if (alive[i] && ++kept > keep) alive[i] = 0;
    }
    for (int32_t i = 0; i < n; ++i)
        if (alive[i]) out.seeds.push_back(points[i]);
    return out;
}

NewPowSeeds newPowSeeds(ViewerMesh& mesh, const PotentialGrid& grid, float density, bool lift, ViewerRandom& random) {
    NewPowSeeds out;
    TriMesh& tri = mesh.tri;
    const int32_t faces = tri.faceCount();
    float total = 0.0f;
    for (int32_t f = 0; f < faces; ++f) {
        MeshFace& face = tri.faces[f];
        Vec3 p[3];
        facePositions(tri, face, p[0], p[1], p[2]);
        const float area = 0.5f * length(cross(p[1] - p[0], p[2] - p[0]));
        float power = 0.0f;
        for (const Vec3& corner : p) {
            bool clamped = false;
            const float phi = std::fabs(samplePotential(grid, corner, &clamped, CellQuotient::Double));
            if (clamped) ++out.cornersOutside;
            const float part = static_cast<float>((phi * area) * (1.0 / 3.0));
            power = part + power;
        }
        total = total + power;
        face.power = power;
        face.seeded = false;
        if (power < out.minPower) out.minPower = power;
        if (power > out.maxPower) out.maxPower = power;
    }
    out.total = total;
    const double product = static_cast<double>(total * density);
    out.count = std::isnan(product) ? 0 : static_cast<int32_t>(std::clamp(product, -2147483648.0, 2147483647.0));

    // Random walk over the faces: a visited face is taken with a probability of
    // about (power − min) / (max − min), and the cursor then jumps by up to
    // half the face count.
    const double mScaled = std::trunc((static_cast<double>(out.maxPower) - out.minPower) * 1000.0);
    const int64_t m = mScaled > 0 ? static_cast<int64_t>(std::min(mScaled, 4.0e18)) : 0;
    const int32_t half = faces / 2;
    int32_t selected = 0;
    int32_t c = 0;
    // Faces close to the smallest power are almost never taken; a bound on the
    // visits keeps a count close to the face count from running for ever.
    const int64_t maxVisits = 200 * static_cast<int64_t>(faces) + 1000000;
    int64_t visits = 0;
    while (selected < out.count && out.count < faces) {
        while (tri.faces[c].seeded) c = c + 1 == faces ? 0 : c + 1;
        if (++visits > maxVisits) {
            out.boundReached = true;
            break;
        }
        const double a = std::trunc((static_cast<double>(tri.faces[c].power) - out.minPower) * 1000.0);
        const int64_t r = m > 0 ? random.rand31() % m : 0;
        if (static_cast<double>(r) <= a) {
            tri.faces[c].seeded = true;
            ++selected;
        }
        c += half > 0 ? random.rand31() % half : 0;
        if (c >= faces) c -= faces;
    }
    if (out.boundReached) {
        // Complete the selection with the strongest faces not taken yet.
        std::vector<int32_t> order(static_cast<std::size_t>(faces));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int32_t x, int32_t y) { return tri.faces[x].power > tri.faces[y].power; });
        for (int32_t f : order) {
            if (selected >= out.count) break;
            if (!tri.faces[f].seeded) {
                tri.faces[f].seeded = true;
                ++selected;
            }
        }
    }
    for (int32_t f = 0; f < faces; ++f)
        if (tri.faces[f].seeded) out.seeds.push_back(faceSeed(mesh, f, lift));
    return out;
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
