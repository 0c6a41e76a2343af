// Small hand-made inputs shared by the tests of the viewer's actions.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "grid.h"
#include "viewer_mesh.h"

namespace quorax::test {

// A loaded potential grid of n³ nodes, spacing `delta`, origin `origin`,
// node (i, j, k) holding f(i, j, k).
inline PotentialGrid makeGrid(int n, const std::function<float(int, int, int)>& f, float delta = 1.0f,
                              Vec3 origin = {}) {
    PotentialGrid g;
    g.nx = g.ny = g.nz = n;
    g.origin = origin;
    g.delta = {delta, delta, delta};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k) {
                const float v = f(i, j, k);
                g.values.push_back(v);
                g.minValue = std::min(g.minValue, v);
                g.maxValue = std::max(g.maxValue, v);
            }
    g.loaded = true;
    return g;
}

// A viewer mesh of the given vertices and faces, derived as after a load.
inline ViewerMesh makeMesh(const std::vector<Vec3>& points, const std::vector<std::array<int32_t, 3>>& faces) {
    ViewerMesh m;
    for (const Vec3& p : points) m.tri.vertices.push_back({p, {}, 0.0f});
    for (const auto& f : faces) {
        MeshFace face;
        face.v[0] = f[0];
        face.v[1] = f[1];
        face.v[2] = f[2];
        m.tri.faces.push_back(face);
    }
    m.tri.loaded = true;
    m.resetViewerFields(kObjVertexColor);
    deriveViewerMesh(m);
    return m;
}

// `count` faces that all name the same three vertices of the unit right
// triangle in the plane z = 0: a big face count at no cost.
inline ViewerMesh repeatedTriangle(int count) {
    return makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, std::vector<std::array<int32_t, 3>>(count, {0, 1, 2}));
}

// Splits a text into its lines (without the line feeds).
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

} // namespace quorax::test
