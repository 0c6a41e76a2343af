#include "tubes.h"

#include <cmath>

#include "binary_append.h"

namespace quorax {
namespace {

// A unit vector perpendicular to unit vector t.
Vec3 anyPerpendicular(Vec3 t) {
    const Vec3 axis = std::fabs(t.x) < 0.7f ? Vec3{1.0f, 0.0f, 0.0f} : Vec3{0.0f, 1.0f, 0.0f};
    return normalize(cross(t, axis));
}

struct Ring {
    Vec3 center, u, v; // u × v points along the line
    float radius;
};

// Adds a shell: a fan from `start` to the first ring, quads between
// successive rings, a fan from the last ring to `tip`.
void appendShell(SolidMesh& mesh, Vec3 start, const std::vector<Ring>& rings, Vec3 tip) {
    static const auto angles = [] {
        std::array<std::array<float, 2>, kTubeSides> a{};
        for (int k = 0; k < kTubeSides; ++k) {
            const double phi = 2.0 * 3.14159265358979323846 * k / kTubeSides;
            a[k] = {static_cast<float>(std::cos(phi)), static_cast<float>(std::sin(phi))};
        }
        return a;
    }();
    mesh.shellStarts.push_back(mesh.triangles.size());
    const auto base = static_cast<int32_t>(mesh.vertices.size());
    mesh.vertices.push_back(start);
    for (const Ring& r : rings)
        for (const auto& [c, s] : angles) mesh.vertices.push_back(r.center + r.u * (r.radius * c) + r.v * (r.radius * s));
    const int32_t tipIndex = static_cast<int32_t>(mesh.vertices.size());
    mesh.vertices.push_back(tip);

    auto corner = [&](std::size_t ring, int k) {
        return base + 1 + static_cast<int32_t>(ring) * kTubeSides + (k % kTubeSides);
    };
    for (int k = 0; k < kTubeSides; ++k) mesh.triangles.push_back({base, corner(0, k + 1), corner(0, k)});
    for (std::size_t r = 0; r + 1 < rings.size(); ++r)
        for (int k = 0; k < kTubeSides; ++k) {
            mesh.triangles.push_back({corner(r, k), corner(r, k + 1), corner(r + 1, k + 1)});
            mesh.triangles.push_back({corner(r, k), corner(r + 1, k + 1), corner(r + 1, k)});
        }
    const std::size_t last = rings.size() - 1;
    for (int k = 0; k < kTubeSides; ++k) mesh.triangles.push_back({corner(last, k), corner(last, k + 1), tipIndex});
}

// The points of the line that shape the tube, from the highest potential
// (the stored line's last point) to the lowest.
std::vector<Vec3> tubePoints(const FieldLine& line, float spacing) {
    std::vector<Vec3> kept;
    for (std::size_t i = line.size(); i-- > 0;) {
        const Vec3 p = line[i];
        if (!isFinite(p)) continue;
        const std::size_t n = kept.size();
        if (n >= 1 && length(p - kept[n - 1]) < spacing) continue;
        if (n >= 2 && length(p - kept[n - 2]) < spacing) continue;
        kept.push_back(p);
    }
    return kept;
}

} // namespace

void appendLineSolid(SolidMesh& mesh, const FieldLine& line, float radius) {
    if (!(radius > 0.0f) || !std::isfinite(radius)) return;
    const std::vector<Vec3> p = tubePoints(line, 0.5f * radius);
    if (p.empty()) return;
    if (p.size() == 1) {
        // No direction to show: a double cone around the point.
        const Vec3 t{0.0f, 0.0f, 1.0f};
        const Ring ring{p[0], {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, radius};
        appendShell(mesh, p[0] - t * radius, {ring}, p[0] + t * radius);
        return;
    }
    std::vector<Vec3> dir(p.size() - 1);
    for (std::size_t i = 0; i + 1 < p.size(); ++i) dir[i] = normalize(p[i + 1] - p[i]);

    std::vector<Ring> rings;
    rings.reserve(p.size() + 1);
    Vec3 u;
    for (std::size_t i = 0; i < p.size(); ++i) {
        // Ring plane across the bisector of the two segments; at a reversal,
        // across the incoming segment.
        Vec3 t;
        if (i == 0) {
            t = dir[0];
        } else if (i + 1 == p.size()) {
            t = dir[i - 1];
        } else {
            t = dir[i - 1] + dir[i];
            t = length(t) < 1e-3f ? dir[i - 1] : normalize(t);
        }
        // Carry the previous ring's u over (parallel transport), so the tube does not twist.
        u = i == 0 ? anyPerpendicular(t) : normalize(u - t * dot(u, t));
        if (length(u) < 0.5f) u = anyPerpendicular(t);
        rings.push_back({p[i], u, cross(t, u), radius});
    }
    const Vec3 end = p.back(), t = dir.back();
    rings.push_back({end, rings.back().u, rings.back().v, 2.0f * radius}); // the arrow head's base
    appendShell(mesh, p.front(), rings, end + t * (4.0f * radius));
}

SolidMesh buildLineSolids(const std::vector<FieldLine>& lines, float radius) {
    SolidMesh mesh;
    std::size_t points = 0;
    for (const FieldLine& l : lines) points += l.size();
    mesh.vertices.reserve(points * kTubeSides + lines.size() * (kTubeSides + 2));
    mesh.triangles.reserve(points * 2 * kTubeSides + lines.size() * 4 * kTubeSides);
    for (const FieldLine& l : lines) appendLineSolid(mesh, l, radius);
    return mesh;
}

namespace {

std::string formatStl(const SolidMesh& mesh) {
    std::string out(80, ' ');
    out.replace(0, 38, "QUORAX field lines as closed tubes    ");
    out.reserve(84 + mesh.triangles.size() * 50);
    appendBinary<uint32_t>(out, static_cast<uint32_t>(mesh.triangles.size()));
    for (const auto& tri : mesh.triangles) {
        const Vec3 a = mesh.vertices[tri[0]], b = mesh.vertices[tri[1]], c = mesh.vertices[tri[2]];
        const Vec3 n = normalize(cross(b - a, c - a));
        for (const Vec3& p : {n, a, b, c}) {
            appendBinary(out, p.x);
            appendBinary(out, p.y);
            appendBinary(out, p.z);
        }
        appendBinary<uint16_t>(out, 0);
    }
    return out;
}

std::string formatSolidObj(const SolidMesh& mesh) {
    std::string out = "# QUORAX field lines as closed tubes, arrow heads from high to low potential\n";
    out.reserve(mesh.vertices.size() * 36 + mesh.triangles.size() * 24);
    for (const Vec3& p : mesh.vertices) appendShortestVertex(out, p);
    for (std::size_t s = 0; s < mesh.shellStarts.size(); ++s) {
        out += "o line_";
        appendNumber(out, s);
        out += '\n';
        const std::size_t end = s + 1 < mesh.shellStarts.size() ? mesh.shellStarts[s + 1] : mesh.triangles.size();
        for (std::size_t t = mesh.shellStarts[s]; t < end; ++t) {
            out += 'f';
            for (int32_t i : mesh.triangles[t]) {
                out += ' ';
                appendNumber(out, static_cast<std::size_t>(i) + 1);
            }
            out += '\n';
        }
    }
    return out;
}

std::string formatSolidPly(const SolidMesh& mesh) {
    return formatTrianglePly("QUORAX field lines as closed tubes", mesh.vertices, nullptr, mesh.triangles);
}

} // namespace

std::string formatSolidExport(ExportFormat format, const SolidMesh& mesh) {
    switch (format) {
    case ExportFormat::Stl: return formatStl(mesh);
    case ExportFormat::Obj: return formatSolidObj(mesh);
    case ExportFormat::Ply: return formatSolidPly(mesh);
    default: break;
    }
    return {};
}

} // namespace quorax
