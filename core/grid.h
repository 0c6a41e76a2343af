// Regular axis-aligned grids: the potential read from an OpenDX file and the
// gradient computed from it. Node (i, j, k) lies at
// origin + (i·delta.x, j·delta.y, k·delta.z) and is stored at index
// (i·ny + j)·nz + k, so z varies fastest and x slowest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vec3.h"

namespace quorax {

// Flat index of node (i, j, k) of a grid with counts ny and nz.
inline std::ptrdiff_t nodeIndex(std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k,
                                int32_t ny, int32_t nz) {
    return (i * ny + j) * nz + k;
}

struct PotentialGrid {
    std::vector<float> values; // nx·ny·nz potentials
    int32_t nx = 0, ny = 0, nz = 0;
    Vec3 origin;               // position of node (0, 0, 0)
    Vec3 delta;                // node spacing per axis
    float maxValue = -10000.0f;
    float minValue = 10000.0f;
    bool loaded = false;

    std::size_t nodeCount() const { return values.size(); }
    float at(std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) const {
        return values[static_cast<std::size_t>(nodeIndex(i, j, k, ny, nz))];
    }
};

struct GradientGrid {
    std::vector<Vec3> vectors; // +∇φ per node, same order as PotentialGrid
    int32_t nx = 0, ny = 0, nz = 0;
    Vec3 origin;
    Vec3 delta;
    float maxMagnitude = -10000.0f;
    float minMagnitude = 10000.0f;
    bool ready = false;

    const Vec3& at(std::ptrdiff_t i, std::ptrdiff_t j, std::ptrdiff_t k) const {
        return vectors[static_cast<std::size_t>(nodeIndex(i, j, k, ny, nz))];
    }
};

} // namespace quorax
