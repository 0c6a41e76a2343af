// Grids and surfaces made in memory for the tests of the core, and the check that a surface is closed.
#pragma once

#include <functional>
#include <map>
#include <utility>

#include "grid.h"
#include "mesh.h"

namespace quorax::test {

// Node (i, j, k), stored z fastest, holds V at its position or f(i, j, k) (spacing 1,
// stepMax 0.75). Exact sizes let the sanitizer catch a read past the last node.
using Potential = std::function<float(Vec3)>;
inline PotentialGrid potential(int nx, int ny, int nz, Vec3 origin, Vec3 d, const Potential& V) {
    PotentialGrid g{{}, nx, ny, nz, origin, d};
    for (int n = 0; n < nx * ny * nz; ++n)
        g.values.push_back(V(origin + Vec3{n / (ny * nz) * d.x, n / nz % ny * d.y, n % nz * d.z}));
    g.values.shrink_to_fit();
    g.loaded = true;
    return g;
}
// n³ nodes, spacing h from `origin`.
inline PotentialGrid potential(int n, float h, Vec3 origin, const Potential& V) {
    return potential(n, n, n, origin, {h, h, h}, V);
}
inline GradientGrid field(int nx, int ny, int nz, const std::function<Vec3(int, int, int)>& f) {
    GradientGrid g{{}, nx, ny, nz, {}, {1, 1, 1}};
    for (int n = 0; n < nx * ny * nz; ++n) g.vectors.push_back(f(n / (ny * nz), n / nz % ny, n % nz));
    g.vectors.shrink_to_fit();
    g.ready = true;
    return g;
}

// A closed, consistently wound surface holds every directed edge exactly once and its reverse exactly once.
// Returns the Euler characteristic V − E + F, or −1000 when the surface is open or wound inconsistently.
inline int closedEulerCharacteristic(const TriMesh& m) {
    std::map<std::pair<int, int>, int> directed;
    for (const MeshFace& f : m.faces)
        for (int e = 0; e < 3; ++e) ++directed[{f.v[e], f.v[(e + 1) % 3]}];
    for (const auto& [edge, count] : directed) {
        const auto back = directed.find({edge.second, edge.first});
        if (count != 1 || back == directed.end() || back->second != 1) return -1000;
    }
    return m.vertexCount() - static_cast<int>(directed.size()) / 2 + m.faceCount();
}

} // namespace quorax::test
