#include "isosurface.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace quorax {

namespace {

// Corner c of a cell is offset (c & 1, (c >> 1) & 1, (c >> 2) & 1) from its
// lowest node. The six tetrahedra of the split run along a monotone path from
// corner 0 to corner 7, one per order of the axes; `odd` marks the orders
// whose tetrahedron (0, a, b, 7) has a negative volume.
struct Tetrahedron {
    std::array<int, 4> corners;
    bool odd;
};
constexpr std::array<Tetrahedron, 6> kTetrahedra = {{
    {{0, 1, 3, 7}, false}, // x, y, z
    {{0, 2, 6, 7}, false}, // y, z, x
    {{0, 4, 5, 7}, false}, // z, x, y
    {{0, 1, 5, 7}, true},  // x, z, y
    {{0, 2, 3, 7}, true},  // y, x, z
    {{0, 4, 6, 7}, true},  // z, y, x
}};

struct Node {
    int32_t i, j, k;
};

// Direction index 0..6 of the step (di, dj, dk) between two corners of one
// tetrahedron (each 0 or 1, not all 0): every edge of the split goes from a
// lower corner to a higher one along the axes, so it is named by its lower
// node and this index.
int stepIndex(int di, int dj, int dk) {
    return di + 2 * dj + 4 * dk - 1;
}

class Extractor {
public:
    Extractor(const PotentialGrid& grid, float level) : g_(grid), level_(level) {
        mesh_.loaded = true;
    }

    TriMesh run() {
        for (int32_t i = 0; i + 1 < g_.nx; ++i)
            for (int32_t j = 0; j + 1 < g_.ny; ++j)
                for (int32_t k = 0; k + 1 < g_.nz; ++k) visitCell(i, j, k);
        return std::move(mesh_);
    }

private:
    bool inside(const Node& n) const { return g_.at(n.i, n.j, n.k) < level_; }

    void visitCell(int32_t i, int32_t j, int32_t k) {
        std::array<Node, 8> corner;
        int insideCount = 0;
        for (int c = 0; c < 8; ++c) {
            corner[c] = {i + (c & 1), j + ((c >> 1) & 1), k + ((c >> 2) & 1)};
            insideCount += inside(corner[c]) ? 1 : 0;
        }
        if (insideCount == 0 || insideCount == 8) return; // the surface does not cross this cell
        for (const Tetrahedron& t : kTetrahedra) {
            std::array<Node, 4> v = {corner[t.corners[0]], corner[t.corners[1]], corner[t.corners[2]],
                                     corner[t.corners[3]]};
            // Swapping two corners of a negative tetrahedron makes it positive.
            if (t.odd) std::swap(v[1], v[2]);
            visitTetrahedron(v);
        }
    }

    // `v` is positively oriented: det(v1 − v0, v2 − v0, v3 − v0) > 0.
    void visitTetrahedron(std::array<Node, 4> v) {
        // Inside corners first, keeping their order; count the transpositions
        // so the orientation can be restored afterwards.
        int swaps = 0;
        int in = 0;
        for (int a = 0; a < 4; ++a) {
            if (!inside(v[a])) continue;
            for (int b = a; b > in; --b) {
                std::swap(v[b], v[b - 1]);
                ++swaps;
            }
            ++in;
        }
        if (in == 0 || in == 4) return;
        // An odd reordering flips the orientation; swap two corners of the
        // larger group back, which keeps inside corners first.
        if (swaps % 2 == 1) {
            if (in == 3) std::swap(v[0], v[1]);
            else std::swap(v[2], v[3]);
        }
        // With (a, b, c, d) positive, each triangle below has its right-hand
        // normal pointing towards the outside corners.
        if (in == 1) {
            addFace(vertexOn(v[0], v[1]), vertexOn(v[0], v[2]), vertexOn(v[0], v[3]));
        } else if (in == 3) {
            addFace(vertexOn(v[0], v[3]), vertexOn(v[1], v[3]), vertexOn(v[2], v[3]));
        } else {
            const int32_t ac = vertexOn(v[0], v[2]), ad = vertexOn(v[0], v[3]);
            const int32_t bd = vertexOn(v[1], v[3]), bc = vertexOn(v[1], v[2]);
            addFace(ac, ad, bd);
            addFace(ac, bd, bc);
        }
    }

    // The vertex on the edge between nodes p and q (one inside, one outside),
    // created on first use.
    int32_t vertexOn(Node p, Node q) {
        if (q.i < p.i || q.j < p.j || q.k < p.k) std::swap(p, q);
        const int64_t node = nodeIndex(p.i, p.j, p.k, g_.ny, g_.nz);
        const int64_t key = node * 7 + stepIndex(q.i - p.i, q.j - p.j, q.k - p.k);
        const auto [it, fresh] = vertexOfEdge_.try_emplace(key, mesh_.vertexCount());
        if (!fresh) return it->second;
        // Where the straight line between the two values crosses the level;
        // the two values lie on different sides, so they differ.
        const double fp = g_.at(p.i, p.j, p.k), fq = g_.at(q.i, q.j, q.k);
        const double t = (static_cast<double>(level_) - fp) / (fq - fp);
        const auto coord = [&](double o, double d, int32_t a, int32_t b) {
            const double pa = o + a * d, pb = o + b * d;
            return static_cast<float>(pa + t * (pb - pa));
        };
        MeshVertex mv;
        mv.pos = {coord(g_.origin.x, g_.delta.x, p.i, q.i), coord(g_.origin.y, g_.delta.y, p.j, q.j),
                  coord(g_.origin.z, g_.delta.z, p.k, q.k)};
        mesh_.vertices.push_back(mv);
        return it->second;
    }

    void addFace(int32_t a, int32_t b, int32_t c) {
        MeshFace f;
        f.v[0] = a;
        f.v[1] = b;
        f.v[2] = c;
        mesh_.faces.push_back(f);
    }

    const PotentialGrid& g_;
    const float level_;
    TriMesh mesh_;
    std::unordered_map<int64_t, int32_t> vertexOfEdge_;
};

} // namespace

PotentialGrid boxFilterGrid(const PotentialGrid& grid) {
    PotentialGrid out = grid;
    if (grid.values.size() != static_cast<std::size_t>(grid.nx) * grid.ny * grid.nz || grid.values.empty())
        return out;
    const auto clampTo = [](int32_t v, int32_t n) { return std::clamp(v, 0, n - 1); };
    // Sum each node's box in double, so the mean of 27 values is exact enough
    // to be the same for every node that sees the same values.
    for (int32_t i = 0; i < grid.nx; ++i)
        for (int32_t j = 0; j < grid.ny; ++j)
            for (int32_t k = 0; k < grid.nz; ++k) {
                double sum = 0.0;
                for (int32_t di = -1; di <= 1; ++di)
                    for (int32_t dj = -1; dj <= 1; ++dj)
                        for (int32_t dk = -1; dk <= 1; ++dk)
                            sum += grid.at(clampTo(i + di, grid.nx), clampTo(j + dj, grid.ny),
                                           clampTo(k + dk, grid.nz));
                out.values[static_cast<std::size_t>(nodeIndex(i, j, k, grid.ny, grid.nz))] =
                    static_cast<float>(sum / 27.0);
            }
    out.minValue = *std::min_element(out.values.begin(), out.values.end());
    out.maxValue = *std::max_element(out.values.begin(), out.values.end());
    return out;
}

TriMesh extractIsosurface(const PotentialGrid& grid, float level) {
    TriMesh empty;
    empty.loaded = true;
    if (grid.nx < 2 || grid.ny < 2 || grid.nz < 2) return empty;
    if (!(grid.delta.x > 0.0f && grid.delta.y > 0.0f && grid.delta.z > 0.0f)) return empty;
    if (grid.values.size() != static_cast<std::size_t>(grid.nx) * grid.ny * grid.nz) return empty;
    return Extractor(grid, level).run();
}

} // namespace quorax
