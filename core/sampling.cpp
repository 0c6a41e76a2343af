#include "sampling.h"

#include <atomic>
#include <cmath>
#include <vector>

#include "parallel.h"

namespace quorax {
namespace {

// Cell and weights along one axis.
struct AxisWeights {
    std::ptrdiff_t i = 0; // lower node
    float w0 = 1.0f;      // weight of node i
    float w1 = 0.0f;      // weight of node i + 1
};

// Cell index and weights along one axis for coordinate x, keeping the
// sample inside the n nodes. Sets `clamped` when x had to be moved.
AxisWeights axisWeights(float x, float origin, float delta, int32_t n, CellQuotient quotient,
                        bool& clamped) {
    const float top = origin + static_cast<float>(n - 1) * delta;
    if (!(x >= origin)) { // also catches NaN
        x = origin;
        clamped = true;
    } else if (x > top) {
        x = top;
        clamped = true;
    }
    const double q = quotient == CellQuotient::Float
                         ? static_cast<double>((x - origin) / delta)
                         : (static_cast<double>(x) - origin) / delta;
    double cell = std::floor(q);
    if (cell > n - 2) {
        cell = n - 2; // a point on the upper face uses the last cell, weight 1 on its top node
        clamped = true;
    }
    if (cell < 0) cell = 0;
    AxisWeights a;
    a.i = static_cast<std::ptrdiff_t>(cell);
    const float x0 = origin + static_cast<float>(a.i) * delta;
    const float x1 = origin + static_cast<float>(a.i + 1) * delta;
    a.w0 = 1.0f - std::fabs(x - x0) / delta;
    a.w1 = 1.0f - std::fabs(x - x1) / delta;
    return a;
}

// Cell and weights of the tracer, which has already checked that the cell is usable.
AxisWeights innerAxisWeights(float x, float origin, float delta) {
    AxisWeights a;
    a.i = static_cast<std::ptrdiff_t>(std::floor((x - origin) / delta));
    const float x0 = origin + static_cast<float>(a.i) * delta;
    const float x1 = origin + static_cast<float>(a.i + 1) * delta;
    a.w0 = 1.0f - std::fabs(x - x0) / delta;
    a.w1 = 1.0f - std::fabs(x - x1) / delta;
    return a;
}

// Blends the eight corner values of a cell: along z first, then x, then y.
// T is float or Vec3; every product and sum is rounded to float.
template <class T, class At>
T blend(const AxisWeights& ax, const AxisWeights& ay, const AxisWeights& az, At at) {
    const std::ptrdiff_t i = ax.i, j = ay.i, k = az.i;
    const T upper = ay.w1 * (ax.w1 * (az.w1 * at(i + 1, j + 1, k + 1) + az.w0 * at(i + 1, j + 1, k)) +
                             ax.w0 * (az.w1 * at(i, j + 1, k + 1) + az.w0 * at(i, j + 1, k)));
    const T lower = ay.w0 * (ax.w0 * (az.w1 * at(i, j, k + 1) + az.w0 * at(i, j, k)) +
                             ax.w1 * (az.w1 * at(i + 1, j, k + 1) + az.w0 * at(i + 1, j, k)));
    return upper + lower;
}

// Node index along one axis for NodeBelow, clamped into 0 … n − 1.
std::ptrdiff_t nodeBelow(float p, float origin, float delta, int32_t n, bool& clamped) {
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

float samplePotential(const PotentialGrid& grid, Vec3 p, bool* clamped, CellQuotient quotient,
                      Interpolation interpolation) {
    // NodeBelow needs one node per axis, Trilinear one cell.
    const int32_t least = interpolation == Interpolation::NodeBelow ? 1 : 2;
    if (grid.nx < least || grid.ny < least || grid.nz < least || grid.values.empty()) {
        if (clamped) *clamped = true;
        return 0.0f;
    }
    bool outside = false;
    float value;
    if (interpolation == Interpolation::NodeBelow) {
        const std::ptrdiff_t i = nodeBelow(p.x, grid.origin.x, grid.delta.x, grid.nx, outside);
        const std::ptrdiff_t j = nodeBelow(p.y, grid.origin.y, grid.delta.y, grid.ny, outside);
        const std::ptrdiff_t k = nodeBelow(p.z, grid.origin.z, grid.delta.z, grid.nz, outside);
        value = grid.at(i, j, k);
    } else {
        const AxisWeights ax = axisWeights(p.x, grid.origin.x, grid.delta.x, grid.nx, quotient, outside);
        const AxisWeights ay = axisWeights(p.y, grid.origin.y, grid.delta.y, grid.ny, quotient, outside);
        const AxisWeights az = axisWeights(p.z, grid.origin.z, grid.delta.z, grid.nz, quotient, outside);
        value = blend<float>(ax, ay, az, [&](std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) {
            return grid.at(i, j, k);
        });
    }
    if (clamped) *clamped = outside;
    return value;
}

Vec3 sampleGradient(const GradientGrid& grid, Vec3 p) {
    const AxisWeights ax = innerAxisWeights(p.x, grid.origin.x, grid.delta.x);
    const AxisWeights ay = innerAxisWeights(p.y, grid.origin.y, grid.delta.y);
    const AxisWeights az = innerAxisWeights(p.z, grid.origin.z, grid.delta.z);
    return blend<Vec3>(ax, ay, az, [&](std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) {
        return grid.at(i, j, k);
    });
}

Vec3 sampleGradientClamped(const GradientGrid& grid, Vec3 p) {
    if (grid.nx < 2 || grid.ny < 2 || grid.nz < 2 ||
        grid.vectors.size() != static_cast<std::size_t>(grid.nx) * grid.ny * grid.nz)
        return {};
    bool outside = false;
    const AxisWeights ax = axisWeights(p.x, grid.origin.x, grid.delta.x, grid.nx, CellQuotient::Float, outside);
    const AxisWeights ay = axisWeights(p.y, grid.origin.y, grid.delta.y, grid.ny, CellQuotient::Float, outside);
    const AxisWeights az = axisWeights(p.z, grid.origin.z, grid.delta.z, grid.nz, CellQuotient::Float, outside);
    return blend<Vec3>(ax, ay, az, [&](std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) {
        return grid.at(i, j, k);
    });
}

float facePower(float area, const float (&cornerPotential)[3], ThirdRule third) {
    float power = 0.0f;
    for (float phi : cornerPotential) {
        const float product = area * std::fabs(phi);
        const float part = third == ThirdRule::DivideByThree
                               ? product / 3.0f
                               : static_cast<float>(static_cast<double>(product) * (1.0 / 3.0));
        power = power + part;
    }
    return power;
}

MappingResult mapPotentialToMesh(const PotentialGrid& grid, TriMesh& mesh, MappingRule rule) {
    MappingResult r;
    std::vector<char> outside(mesh.vertices.size(), 0);
    std::atomic<int32_t> verticesOutside{0}, cornersOutside{0};
    parallelRanges(mesh.vertices.size(), 4096, [&](std::size_t first, std::size_t last) {
        int32_t n = 0;
        for (std::size_t i = first; i < last; ++i) {
            bool clamped = false;
            mesh.vertices[i].potential = samplePotential(grid, mesh.vertices[i].pos, &clamped, rule.quotient);
            outside[i] = clamped;
            if (clamped) ++n;
        }
        verticesOutside += n;
    });
    parallelRanges(mesh.faces.size(), 4096, [&](std::size_t first, std::size_t last) {
        int32_t n = 0;
        for (std::size_t f = first; f < last; ++f) {
            MeshFace& face = mesh.faces[f];
            float phi[3];
            for (int c = 0; c < 3; ++c) {
                phi[c] = mesh.vertices[face.v[c]].potential;
                if (outside[face.v[c]]) ++n;
            }
            face.power = facePower(faceArea(mesh, static_cast<int32_t>(f)), phi, rule.third);
        }
        cornersOutside += n;
    });
    r.verticesOutside = verticesOutside;
    r.cornersOutside = cornersOutside;
    return r;
}

} // namespace quorax
