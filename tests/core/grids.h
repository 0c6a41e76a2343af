// Small hand-made grids for the core tests.
#pragma once

#include <functional>

#include "grid.h"

namespace quorax::test {

// Node (i, j, k), stored z fastest, holds V at its position or f(i, j, k) (spacing 1,
// stepMax 0.75). Exact sizes let the sanitizer catch a read past the last node.
using Potential = std::function<float(Vec3)>;
inline PotentialGrid potential(int nx, int ny, int nz, Vec3 origin, Vec3 d, const Potential& V) {
    PotentialGrid g{{}, nx, ny, nz, origin, d};
    for (int n = 0; n < nx * ny * nz; ++n)
        g.values.push_back(V(origin + Vec3{n / (ny * nz) * d.x, n / nz % ny * d.y, n % nz * d.z}));
    g.values.shrink_to_fit();
    return g;
}
inline GradientGrid field(int nx, int ny, int nz, const std::function<Vec3(int, int, int)>& f) {
    GradientGrid g{{}, nx, ny, nz, {}, {1, 1, 1}};
    for (int n = 0; n < nx * ny * nz; ++n)
        g.vectors.push_back(f(n / (ny * nz), n / nz % ny, n % nz));
    g.vectors.shrink_to_fit();
    g.ready = true;
    return g;
}

} // namespace quorax::test
