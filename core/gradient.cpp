#include "gradient.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "huge_pages.h"
#include "parallel.h"
#include "vector_clones.h"

namespace quorax {
namespace {

// A gradient grid with the counts, origin and spacing of `potential` and no vectors yet.
GradientGrid emptyGradientOf(const PotentialGrid& potential) {
    GradientGrid g;
    g.nx = potential.nx;
    g.ny = potential.ny;
    g.nz = potential.nz;
    g.origin = potential.origin;
    g.delta = potential.delta;
    return g;
}

// Sizes `vectors` to n for a caller that writes every element: large arrays
// ask for huge pages before their first touch (far fewer page faults).
void allocateVectors(std::vector<Vec3>& vectors, std::size_t n) {
    reserveOnHugePages(vectors, n);
    vectors.resize(n);
}

// The layers of the sweep are held as three planes (x, y, z components),
// so that every loop runs over plain floats and vectorises; each component
// still sees exactly the operations of the vector form.

// Lengths of the vectors held in three planes, each in float: sqrt(x·x + y·y + z·z).
void planeLengths(float* __restrict lengths, const float* __restrict X, const float* __restrict Y,
                  const float* __restrict Z, std::ptrdiff_t n) {
    for (std::ptrdiff_t k = 0; k < n; ++k) lengths[k] = std::sqrt(X[k] * X[k] + Y[k] * Y[k] + Z[k] * Z[k]);
}

// Forward differences of one row of nodes, the neighbours along x, y, z
// given by their rows.
void rowDifferences(float* __restrict X, float* __restrict Y, float* __restrict Z, const float* __restrict row,
                    const float* __restrict rowX, const float* __restrict rowY, std::ptrdiff_t count, Vec3 delta) {
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        const float v = row[k];
        X[k] = (rowX[k] - v) / delta.x;
        Y[k] = (rowY[k] - v) / delta.y;
        Z[k] = (row[k + 1] - v) / delta.z;
    }
}

// Level 0 of x layer i into the planes at `to`: the forward differences at
// the node, or at its inner neighbour on the last layers (the copies of x,
// then y, then z give exactly that), longer vectors scaled down to
// maxLength at nodes with all indices ≥ 1. `lengths` is scratch of one row.
void cappedRawLayer(float* to, const PotentialGrid& potential, std::ptrdiff_t i, float maxLength, float* lengths) {
    const std::ptrdiff_t nx = potential.nx, ny = potential.ny, nz = potential.nz, layer = ny * nz;
    const std::ptrdiff_t ci = std::min(i, nx - 2);
    for (std::ptrdiff_t j = 0; j < ny; ++j) {
        const float* row = potential.values.data() + nodeIndex(ci, std::min(j, ny - 2), 0, potential.ny, potential.nz);
        float* X = to + j * nz;
        float* Y = X + layer;
        float* Z = Y + layer;
        rowDifferences(X, Y, Z, row, row + layer, row + nz, nz - 1, potential.delta);
        X[nz - 1] = X[nz - 2];
        Y[nz - 1] = Y[nz - 2];
        Z[nz - 1] = Z[nz - 2];
        if (i == 0 || j == 0) continue;
        planeLengths(lengths, X, Y, Z, nz);
        for (std::ptrdiff_t k = 1; k < nz; ++k) {
            const float m = lengths[k];
            if (m > maxLength) {
                const float s = m / maxLength;
                X[k] = X[k] / s;
                Y[k] = Y[k] / s;
                Z[k] = Z[k] / s;
            }
        }
    }
}

// One smoothing pass over the rows of an inner x layer, as floats: `mid` is
// the layer before the pass, `below` and `above` its x neighbours; a row
// holds `rowLength` floats, a node `w` (1 in a plane, 3 in a vector array).
// Every inner float becomes the mean of its six face neighbours; border
// rows and the first and last node of a row keep their values.
template <SmoothRule rule>
void smoothRowsWith(float* to, const float* below, const float* mid, const float* above, std::ptrdiff_t rows,
                    std::ptrdiff_t rowLength, std::ptrdiff_t w) {
    std::copy(mid, mid + rowLength, to);
    for (std::ptrdiff_t j = 1; j <= rows - 2; ++j) {
        const std::ptrdiff_t row = j * rowLength;
        std::copy(mid + row, mid + row + w, to + row);
        for (std::ptrdiff_t f = row + w; f < row + rowLength - w; ++f) {
            // The six face neighbours in a fixed order: +x, −x, +y, −y, +z, −z.
            float s = above[f];
            s += below[f];
            s += mid[f + rowLength];
            s += mid[f - rowLength];
            s += mid[f + w];
            s += mid[f - w];
            if constexpr (rule == SmoothRule::DivideBySix) {
                to[f] = s / 6.0f;
            } else {
                // The viewer scales the vector by the float 1/6. (A product
                // in double would round to exactly the quotient s / 6.)
                constexpr float sixth = 1.0f / 6.0f;
                to[f] = s * sixth;
            }
        }
        std::copy(mid + row + rowLength - w, mid + row + rowLength, to + row + rowLength - w);
    }
    std::copy(mid + (rows - 1) * rowLength, mid + rows * rowLength, to + (rows - 1) * rowLength);
}

void smoothRows(float* to, const float* below, const float* mid, const float* above, std::ptrdiff_t rows,
                std::ptrdiff_t rowLength, std::ptrdiff_t w, SmoothRule rule) {
    if (rule == SmoothRule::DivideBySix)
        smoothRowsWith<SmoothRule::DivideBySix>(to, below, mid, above, rows, rowLength, w);
    else
        smoothRowsWith<SmoothRule::MultiplyBySixth>(to, below, mid, above, rows, rowLength, w);
}

// Writes the planes of a finished x layer into the grid's vectors and
// returns the largest and smallest length in `hi` and `lo`. `lengths` is
// scratch of one plane. Maxima and minima do not depend on the order of
// their operands here (lengths are never -0, and a NaN never replaces the
// running value), so they run in four independent lanes.
void finishLayer(Vec3* G, const float* planes, std::ptrdiff_t layer, float* lengths, float& hi, float& lo) {
    const float* X = planes;
    const float* Y = planes + layer;
    const float* Z = planes + 2 * layer;
    planeLengths(lengths, X, Y, Z, layer);
    float h0 = -10000.0f, h1 = h0, h2 = h0, h3 = h0, l0 = 10000.0f, l1 = l0, l2 = l0, l3 = l0;
    std::ptrdiff_t n = 0;
    for (; n + 4 <= layer; n += 4) {
        h0 = std::max(h0, lengths[n]);
        h1 = std::max(h1, lengths[n + 1]);
        h2 = std::max(h2, lengths[n + 2]);
        h3 = std::max(h3, lengths[n + 3]);
        l0 = std::min(l0, lengths[n]);
        l1 = std::min(l1, lengths[n + 1]);
        l2 = std::min(l2, lengths[n + 2]);
        l3 = std::min(l3, lengths[n + 3]);
    }
    for (; n < layer; ++n) {
        h0 = std::max(h0, lengths[n]);
        l0 = std::min(l0, lengths[n]);
    }
    hi = std::max(std::max(h0, h1), std::max(h2, h3));
    lo = std::min(std::min(l0, l1), std::min(l2, l3));
    for (std::ptrdiff_t k = 0; k < layer; ++k) G[k] = {X[k], Y[k], Z[k]};
}

// Difference quotients of a row of `count` nodes along an axis on which the
// row has index a of n, the neighbours `stride` floats away: one-sided on
// the first and last index, (V(+1) − V(−1)) / 2·d between.
void axisDifferences(float* __restrict out, const float* __restrict row, std::ptrdiff_t count, std::ptrdiff_t stride,
                     std::ptrdiff_t a, std::ptrdiff_t n, float d) {
    if (a == 0) {
        for (std::ptrdiff_t k = 0; k < count; ++k) out[k] = (row[k + stride] - row[k]) / d;
    } else if (a == n - 1) {
        for (std::ptrdiff_t k = 0; k < count; ++k) out[k] = (row[k] - row[k - stride]) / d;
    } else {
        const float twice = 2.0f * d;
        for (std::ptrdiff_t k = 0; k < count; ++k) out[k] = (row[k + stride] - row[k - stride]) / twice;
    }
}

// The central-difference gradient of x layer i into the planes at `to`.
void centralLayer(float* to, const PotentialGrid& potential, std::ptrdiff_t i) {
    const std::ptrdiff_t nx = potential.nx, ny = potential.ny, nz = potential.nz, layer = ny * nz;
    const float dz = potential.delta.z;
    for (std::ptrdiff_t j = 0; j < ny; ++j) {
        const float* row = potential.values.data() + nodeIndex(i, j, 0, potential.ny, potential.nz);
        float* X = to + j * nz;
        float* Y = X + layer;
        float* Z = Y + layer;
        axisDifferences(X, row, nz, layer, i, nx, potential.delta.x);
        axisDifferences(Y, row, nz, nz, j, ny, potential.delta.y);
        Z[0] = (row[1] - row[0]) / dz;
        const float twice = 2.0f * dz;
        for (std::ptrdiff_t k = 1; k < nz - 1; ++k) Z[k] = (row[k + 1] - row[k - 1]) / twice;
        Z[nz - 1] = (row[nz - 1] - row[nz - 2]) / dz;
    }
}

// Layers a … b − 1 of the smoothed, capped gradient into G, with each
// layer's largest and smallest length. The loops run over plain floats:
// on processors with wider vector units a second copy of this function
// (chosen once at start) runs them eight lanes at a time, with the same
// operations on every float and so the same bits.
QUORAX_VECTOR_CLONES
void gradientSlab(Vec3* G, float* layerHi, float* layerLo, const PotentialGrid& potential, std::ptrdiff_t a,
                  std::ptrdiff_t b, float maxLength, int passes, bool smooths, SmoothRule rule) {
    const std::ptrdiff_t nx = potential.nx, layer = static_cast<std::ptrdiff_t>(potential.ny) * potential.nz;
    // rings[p] holds layer i of level p at (i mod 3), as three planes;
    // the last level goes through `last` into the grid.
    std::vector<std::vector<float>> rings(static_cast<std::size_t>(passes));
    for (std::vector<float>& r : rings) r.resize(static_cast<std::size_t>(9 * layer));
    std::vector<float> last(static_cast<std::size_t>(3 * layer)), lengths(static_cast<std::size_t>(layer));
    auto at = [&](int p, std::ptrdiff_t i) -> float* {
        if (p == passes) return last.data();
        return rings[static_cast<std::size_t>(p)].data() + (i % 3) * 3 * layer;
    };
    const std::ptrdiff_t front0 = std::max<std::ptrdiff_t>(0, a - passes);
    for (std::ptrdiff_t s = front0; s < b + passes; ++s)
        for (int p = 0; p <= passes; ++p) {
            const std::ptrdiff_t i = s - p;
            if (i < std::max<std::ptrdiff_t>(0, a - (passes - p)) || i >= std::min(nx, b + (passes - p))) continue;
            float* to = at(p, i);
            if (p == 0) {
                cappedRawLayer(to, potential, i, maxLength, lengths.data());
            } else if (!smooths || i == 0 || i == nx - 1) {
                std::copy(at(p - 1, i), at(p - 1, i) + 3 * layer, to);
            } else {
                for (std::ptrdiff_t c = 0; c < 3; ++c)
                    smoothRows(to + c * layer, at(p - 1, i - 1) + c * layer, at(p - 1, i) + c * layer,
                               at(p - 1, i + 1) + c * layer, potential.ny, potential.nz, 1, rule);
            }
            if (p == passes) finishLayer(G + i * layer, to, layer, lengths.data(), layerHi[i], layerLo[i]);
        }
}

// Layers a … b − 1 of the central-difference gradient into G, with each
// layer's largest and smallest length (vector copies as for gradientSlab).
QUORAX_VECTOR_CLONES
void centralSlab(Vec3* G, float* layerHi, float* layerLo, const PotentialGrid& potential, std::ptrdiff_t a,
                 std::ptrdiff_t b) {
    const std::ptrdiff_t layer = static_cast<std::ptrdiff_t>(potential.ny) * potential.nz;
    std::vector<float> planes(static_cast<std::size_t>(3 * layer)), lengths(static_cast<std::size_t>(layer));
    for (std::ptrdiff_t i = a; i < b; ++i) {
        centralLayer(planes.data(), potential, i);
        finishLayer(G + i * layer, planes.data(), layer, lengths.data(), layerHi[i], layerLo[i]);
    }
}

} // namespace


void computeGradient(GradientGrid& out, const PotentialGrid& potential, float maxLength,
                     int smoothingPasses, SmoothRule rule) {
    GradientGrid g = emptyGradientOf(potential);
    const std::ptrdiff_t nx = g.nx, ny = g.ny, nz = g.nz;
    const bool usable = nx >= 2 && ny >= 2 && nz >= 2 &&
                        potential.values.size() == static_cast<std::size_t>(nx * ny * nz);
    if (!usable) {
        g.ready = true;
        out = std::move(g);
        return;
    }
    out.vectors.clear(); // release the previous array before allocating the new one
    out.vectors.shrink_to_fit();
    allocateVectors(g.vectors, static_cast<std::size_t>(nx * ny * nz));

    // One sweep over the x layers. Level 0 of a layer is the capped raw
    // gradient, level p the p-th smoothing pass; level p of layer i needs
    // level p − 1 of layers i − 1 … i + 1 only, so each level keeps its last
    // three layers and the last level goes straight into the grid. Every
    // node is computed with the same operations in the same order as by
    // separate passes over the whole grid. Each thread takes a slab of
    // layers and recomputes the few layers around it that its levels need.
    const int passes = std::max(smoothingPasses, 0);
    const bool smooths = nx >= 3 && ny >= 3 && nz >= 3; // a pass needs an interior node
    // Two slabs per thread, but none much thinner than the layers it recomputes.
    const std::size_t slabs = static_cast<std::size_t>(std::max<std::ptrdiff_t>(
        1, std::min<std::ptrdiff_t>(nx / (4 * std::max(passes, 1)), 2 * static_cast<std::ptrdiff_t>(workerThreads()))));
    std::vector<float> layerHi(static_cast<std::size_t>(nx)), layerLo(static_cast<std::size_t>(nx));
    parallelRanges(slabs, 1, [&](std::size_t firstSlab, std::size_t lastSlab) {
        const std::ptrdiff_t a = static_cast<std::ptrdiff_t>(firstSlab) * nx / static_cast<std::ptrdiff_t>(slabs);
        const std::ptrdiff_t b = static_cast<std::ptrdiff_t>(lastSlab) * nx / static_cast<std::ptrdiff_t>(slabs);
        gradientSlab(g.vectors.data(), layerHi.data(), layerLo.data(), potential, a, b, maxLength, passes, smooths,
                     rule);
    });
    float hi = -10000.0f, lo = 10000.0f;
    for (std::size_t i = 0; i < layerHi.size(); ++i) {
        hi = std::max(hi, layerHi[i]);
        lo = std::min(lo, layerLo[i]);
    }
    g.maxMagnitude = hi;
    g.minMagnitude = lo;
    g.ready = true;
    out = std::move(g);
}

void smoothGradient(GradientGrid& grid, SmoothRule rule) {
    const std::ptrdiff_t nx = grid.nx, ny = grid.ny, nz = grid.nz;
    if (nx < 3 || ny < 3 || nz < 3) return; // no interior node
    const std::ptrdiff_t layer = ny * nz;
    Vec3* G = grid.vectors.data();
    // The means of x layer i are kept until layer i + 1 has been computed from
    // the old vectors; only then are they written back. Two layers of memory
    // give the same result as a full copy of the grid.
    std::vector<Vec3> done(static_cast<std::size_t>(layer)), next(static_cast<std::size_t>(layer));
    // The vectors are smoothed as rows of floats, three per node.
    static_assert(sizeof(Vec3) == 3 * sizeof(float));
    const float* old = &G[0].x;
    for (std::ptrdiff_t i = 1; i <= nx - 2; ++i) {
        smoothRows(&next[0].x, old + 3 * (i - 1) * layer, old + 3 * i * layer, old + 3 * (i + 1) * layer, ny, 3 * nz,
                   3, rule);
        if (i > 1) std::copy(done.begin(), done.end(), G + (i - 1) * layer);
        std::swap(done, next);
    }
    std::copy(done.begin(), done.end(), G + (nx - 2) * layer);
}


void computeCentralGradient(GradientGrid& out, const PotentialGrid& potential) {
    GradientGrid g = emptyGradientOf(potential);
    const std::ptrdiff_t nx = g.nx, ny = g.ny, nz = g.nz;
    g.ready = true;
    if (nx < 2 || ny < 2 || nz < 2 || potential.values.size() != static_cast<std::size_t>(nx * ny * nz)) {
        out = std::move(g);
        return;
    }
    out.vectors.clear(); // release the previous array before allocating the new one
    out.vectors.shrink_to_fit();
    allocateVectors(g.vectors, static_cast<std::size_t>(nx * ny * nz));
    // Layer by layer into three planes, then into the grid with the
    // layer's extreme lengths.
    std::vector<float> layerLo(static_cast<std::size_t>(nx)), layerHi(static_cast<std::size_t>(nx));
    parallelRanges(static_cast<std::size_t>(nx), 8, [&](std::size_t first, std::size_t last) {
        centralSlab(g.vectors.data(), layerHi.data(), layerLo.data(), potential, static_cast<std::ptrdiff_t>(first),
                    static_cast<std::ptrdiff_t>(last));
    });
    float lo = 10000.0f, hi = -10000.0f;
    for (std::size_t i = 0; i < layerLo.size(); ++i) {
        lo = std::min(lo, layerLo[i]);
        hi = std::max(hi, layerHi[i]);
    }
    g.minMagnitude = lo;
    g.maxMagnitude = hi;
    out = std::move(g);
}

} // namespace quorax
