#include "flux_seeding.h"

#include <cmath>
#include <limits>
#include <random>

#include "integrate.h"

namespace quorax {
namespace {

// Uniform double in [0, 1) from 53 random bits, the same on every platform.
double uniform01(std::mt19937& gen) {
    const uint64_t hi = gen() >> 5, lo = gen() >> 6;
    return static_cast<double>((hi << 26) | lo) * 0x1.0p-53;
}

} // namespace

double faceFlux(const TriMesh& mesh, const GradientGrid& field, int32_t face) {
    const MeshFace& f = mesh.faces[static_cast<std::size_t>(face)];
    Vec3 p0, p1, p2;
    facePositions(mesh, f, p0, p1, p2);
    const double area = faceArea(mesh, face);
    const Vec3 c = (p0 + p1 + p2) * (1.0f / 3.0f);
    DVec3 g;
    if (!std::isfinite(area) || !isFinite(c) || !gridField(field)({c.x, c.y, c.z}, g)) return 0;
    const double flux = std::fabs(g.x * f.normal.x + g.y * f.normal.y + g.z * f.normal.z) * area;
    return std::isfinite(flux) ? flux : 0;
}

FluxSeeding fluxSeeds(const TriMesh& mesh, const GradientGrid& field, double density, uint32_t generatorSeed) {
    FluxSeeding out;
    const std::size_t faces = mesh.faces.size();
    std::vector<double> flux(faces);
    for (std::size_t f = 0; f < faces; ++f) {
        flux[f] = faceFlux(mesh, field, static_cast<int32_t>(f));
        out.totalFlux += flux[f];
    }
    const double wanted = out.totalFlux * density;
    if (!(wanted >= 1)) return out;
    const int64_t count = wanted >= static_cast<double>(std::numeric_limits<int32_t>::max())
                              ? std::numeric_limits<int32_t>::max()
                              : static_cast<int64_t>(wanted);
    const double spacing = out.totalFlux / static_cast<double>(count);
    std::mt19937 gen(generatorSeed);
    const double offset = uniform01(gen);
    out.seeds.reserve(static_cast<std::size_t>(count));
    std::size_t f = 0;
    double below = 0; // cumulative flux of the faces before f
    for (int64_t k = 0; k < count; ++k) {
        const double at = (static_cast<double>(k) + offset) * spacing;
        while (f + 1 < faces && below + flux[f] <= at) below += flux[f++];
        const MeshFace& face = mesh.faces[f];
        Vec3 p0, p1, p2;
        facePositions(mesh, face, p0, p1, p2);
        const double s = std::sqrt(uniform01(gen)), r = uniform01(gen);
        const double w0 = 1 - s, w1 = s * (1 - r), w2 = s * r;
        const Vec3 inside{static_cast<float>(w0 * p0.x + w1 * p1.x + w2 * p2.x),
                          static_cast<float>(w0 * p0.y + w1 * p1.y + w2 * p2.y),
                          static_cast<float>(w0 * p0.z + w1 * p1.z + w2 * p2.z)};
        out.seeds.push_back({inside + face.normal, static_cast<int32_t>(f), static_cast<float>(spacing)});
    }
    return out;
}

} // namespace quorax
