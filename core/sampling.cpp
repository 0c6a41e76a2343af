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

// The three axes at once, in the four lanes of one vector (the last lane
// idle), for the single-precision quotient: each lane takes exactly the
// steps of axisWeights, so the weights are the same bits; the three
// quotients and six weight divisions run as three vector divisions.
using Lanes = float __attribute__((vector_size(16)));
using IntLanes = int32_t __attribute__((vector_size(16)));

struct GridAxes {
    Lanes origin, delta, top;
    Lanes lastNode;     // n − 1
    IntLanes lastCell;  // n − 2
    bool usable = false; // counts small enough for exact float cell indices
};

GridAxes gridAxes(Vec3 origin, Vec3 delta, int32_t nx, int32_t ny, int32_t nz) {
    GridAxes a;
    const int32_t n[3] = {nx, ny, nz};
    a.usable = true;
    for (int32_t c : n) a.usable = a.usable && c >= 2 && c <= (1 << 24);
    // The idle lane samples 0 in a two-node axis from 0 with spacing 1.
    a.origin = Lanes{origin.x, origin.y, origin.z, 0.0f};
    a.delta = Lanes{delta.x, delta.y, delta.z, 1.0f};
    for (int c = 0; c < 3; ++c) {
        a.top[c] = a.origin[c] + static_cast<float>(n[c] - 1) * a.delta[c];
        a.lastNode[c] = static_cast<float>(n[c] - 1);
        a.lastCell[c] = n[c] - 2;
    }
    a.top[3] = 1.0f;
    a.lastNode[3] = 1.0f;
    a.lastCell[3] = 0;
    return a;
}

// Cells and weights of p on the three axes; true when p had to be moved into the grid.
bool laneWeights(const GridAxes& a, Vec3 p, AxisWeights (&w)[3]) {
    const Lanes x0 = {p.x, p.y, p.z, 0.0f};
    const IntLanes below = !(x0 >= a.origin); // also NaN
    const IntLanes above = ~below & (x0 > a.top);
    const Lanes x = below ? a.origin : (above ? a.top : x0);
    const Lanes q = (x - a.origin) / a.delta;
    // floor(q) > n − 2 exactly when q ≥ n − 1; for q ≥ 0 floor is truncation;
    // a negative (or not a number) quotient takes the first cell.
    const IntLanes over = q >= a.lastNode;
    IntLanes cell = __builtin_convertvector(q, IntLanes);
    cell = over ? a.lastCell : cell;
    cell = q >= Lanes{} ? cell : IntLanes{};
    const Lanes cellF = __builtin_convertvector(cell, Lanes);
    const Lanes node0 = a.origin + cellF * a.delta;
    const Lanes node1 = a.origin + (cellF + 1.0f) * a.delta;
    const IntLanes magnitude = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    const Lanes d0 = reinterpret_cast<Lanes>(reinterpret_cast<IntLanes>(x - node0) & magnitude);
    const Lanes d1 = reinterpret_cast<Lanes>(reinterpret_cast<IntLanes>(x - node1) & magnitude);
    const Lanes w0 = 1.0f - d0 / a.delta;
    const Lanes w1 = 1.0f - d1 / a.delta;
    for (int c = 0; c < 3; ++c) w[c] = {cell[c], w0[c], w1[c]};
    const IntLanes moved = below | above | over;
    return (moved[0] | moved[1] | moved[2]) != 0;
}

// Cell and weights of the tracer, which has already checked that the cell is
// usable: the quotient is not negative, so truncation is its floor.
AxisWeights innerAxisWeights(float x, float origin, float delta) {
    AxisWeights a;
    a.i = static_cast<std::ptrdiff_t>((x - origin) / delta);
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

namespace {

// samplePotential with the axes of the grid prepared (or null).
float sampleWith(const PotentialGrid& grid, const GridAxes* axes, Vec3 p, bool* clamped, CellQuotient quotient,
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
    } else if (quotient == CellQuotient::Float && axes && axes->usable) {
        AxisWeights w[3];
        outside = laneWeights(*axes, p, w);
        value = blend<float>(w[0], w[1], w[2], [&](std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) {
            return grid.at(i, j, k);
        });
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

GridAxes gridAxes(const PotentialGrid& grid) {
    return gridAxes(grid.origin, grid.delta, grid.nx, grid.ny, grid.nz);
}

} // namespace

float samplePotential(const PotentialGrid& grid, Vec3 p, bool* clamped, CellQuotient quotient,
                      Interpolation interpolation) {
    const GridAxes axes = gridAxes(grid);
    return sampleWith(grid, &axes, p, clamped, quotient, interpolation);
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
    const GridAxes axes = gridAxes(grid.origin, grid.delta, grid.nx, grid.ny, grid.nz);
    AxisWeights w[3];
    if (axes.usable) {
        laneWeights(axes, p, w);
    } else {
        w[0] = axisWeights(p.x, grid.origin.x, grid.delta.x, grid.nx, CellQuotient::Float, outside);
        w[1] = axisWeights(p.y, grid.origin.y, grid.delta.y, grid.ny, CellQuotient::Float, outside);
        w[2] = axisWeights(p.z, grid.origin.z, grid.delta.z, grid.nz, CellQuotient::Float, outside);
    }
    return blend<Vec3>(w[0], w[1], w[2], [&](std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) {
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
    const GridAxes axes = gridAxes(grid);
    parallelRanges(mesh.vertices.size(), 4096, [&](std::size_t first, std::size_t last) {
        // Surfaces written a triangle at a time repeat each point in the
        // next few triangles: a point seen among the last eight takes the
        // value sampled there (the same bits give the same value).
        struct Recent {
            uint32_t bits[3];
            float value;
            bool clamped;
        };
        Recent recent[8];
        std::size_t filled = 0;
        int32_t n = 0;
        for (std::size_t i = first; i < last; ++i) {
            const Vec3 p = mesh.vertices[i].pos;
            const uint32_t bits[3] = {std::bit_cast<uint32_t>(p.x), std::bit_cast<uint32_t>(p.y),
                                      std::bit_cast<uint32_t>(p.z)};
            const Recent* seen = nullptr;
            for (std::size_t k = 0; k < std::min<std::size_t>(filled, 8); ++k)
                if (recent[k].bits[0] == bits[0] && recent[k].bits[1] == bits[1] && recent[k].bits[2] == bits[2]) {
                    seen = &recent[k];
                    break;
                }
            bool clamped = false;
            float value;
            if (seen) {
                value = seen->value;
                clamped = seen->clamped;
            } else {
                value = sampleWith(grid, &axes, p, &clamped, rule.quotient, Interpolation::Trilinear);
                recent[filled++ % 8] = {{bits[0], bits[1], bits[2]}, value, clamped};
            }
            mesh.vertices[i].potential = value;
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
