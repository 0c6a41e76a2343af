#include "gradient.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "parallel.h"

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
    vectors.reserve(n);
    if (n * sizeof(Vec3) >= (std::size_t{4} << 20)) {
        // madvise wants page-aligned bounds: the whole huge pages inside the buffer.
        constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
        const auto begin = reinterpret_cast<std::uintptr_t>(vectors.data());
        const std::uintptr_t first = (begin + huge - 1) & ~(huge - 1);
        const std::uintptr_t last = (begin + n * sizeof(Vec3)) & ~(huge - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
    vectors.resize(n);
}

// Level 0 of x layer i: the forward differences at the node, or at its
// inner neighbour on the last layers (the copies of x, then y, then z give
// exactly that), longer vectors scaled down to maxLength at nodes with all
// indices ≥ 1.
void cappedRawLayer(Vec3* to, const PotentialGrid& potential, std::ptrdiff_t i, float maxLength) {
    const std::ptrdiff_t nx = potential.nx, ny = potential.ny, nz = potential.nz;
    const float* V = potential.values.data();
    const float dx = potential.delta.x, dy = potential.delta.y, dz = potential.delta.z;
    const std::ptrdiff_t ci = std::min(i, nx - 2);
    for (std::ptrdiff_t j = 0; j < ny; ++j) {
        const std::ptrdiff_t row = nodeIndex(ci, std::min(j, ny - 2), 0, potential.ny, potential.nz);
        const std::ptrdiff_t rowX = row + ny * nz, rowY = row + nz;
        Vec3* G = to + j * nz;
        for (std::ptrdiff_t k = 0; k <= nz - 2; ++k) {
            const float v = V[row + k];
            G[k] = {(V[rowX + k] - v) / dx, (V[rowY + k] - v) / dy, (V[row + k + 1] - v) / dz};
        }
        G[nz - 1] = G[nz - 2];
        if (i == 0 || j == 0) continue;
        for (std::ptrdiff_t k = 1; k < nz; ++k) {
            Vec3& v = G[k];
            const float m = length(v);
            if (m > maxLength) {
                const float s = m / maxLength;
                v = {v.x / s, v.y / s, v.z / s};
            }
        }
    }
}

// The mean of the six face neighbours of a node, from their sum.
template <SmoothRule rule>
Vec3 meanOfSix(Vec3 s) {
    if constexpr (rule == SmoothRule::DivideBySix) {
        return {s.x / 6.0f, s.y / 6.0f, s.z / 6.0f};
    } else {
        // The viewer scales the vector by the float 1/6. (A product in
        // double would round to exactly the quotient s / 6.)
        constexpr float sixth = 1.0f / 6.0f;
        return s * sixth;
    }
}

// One smoothing pass over an inner x layer: `mid` is the layer before the
// pass, `below` and `above` its neighbours; border rows and columns keep
// their vectors.
template <SmoothRule rule>
void smoothLayerWith(Vec3* to, const Vec3* below, const Vec3* mid, const Vec3* above, std::ptrdiff_t ny,
                     std::ptrdiff_t nz) {
    std::copy(mid, mid + nz, to);
    for (std::ptrdiff_t j = 1; j <= ny - 2; ++j) {
        const std::ptrdiff_t row = j * nz;
        to[row] = mid[row];
        for (std::ptrdiff_t k = 1; k <= nz - 2; ++k) {
            const std::ptrdiff_t n = row + k;
            // The six face neighbours in a fixed order: +x, −x, +y, −y, +z, −z.
            Vec3 s = above[n];
            s += below[n];
            s += mid[n + nz];
            s += mid[n - nz];
            s += mid[n + 1];
            s += mid[n - 1];
            to[n] = meanOfSix<rule>(s);
        }
        to[row + nz - 1] = mid[row + nz - 1];
    }
    std::copy(mid + (ny - 1) * nz, mid + ny * nz, to + (ny - 1) * nz);
}

void smoothLayer(Vec3* to, const Vec3* below, const Vec3* mid, const Vec3* above, std::ptrdiff_t ny,
                 std::ptrdiff_t nz, SmoothRule rule) {
    if (rule == SmoothRule::DivideBySix) smoothLayerWith<SmoothRule::DivideBySix>(to, below, mid, above, ny, nz);
    else smoothLayerWith<SmoothRule::MultiplyBySixth>(to, below, mid, above, ny, nz);
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
    const std::ptrdiff_t layer = ny * nz;
    const std::size_t slabs = static_cast<std::size_t>(
        std::min<std::ptrdiff_t>(nx, 2 * static_cast<std::ptrdiff_t>(workerThreads())));
    std::vector<float> layerHi(static_cast<std::size_t>(nx)), layerLo(static_cast<std::size_t>(nx));
    parallelRanges(slabs, 1, [&](std::size_t firstSlab, std::size_t lastSlab) {
        const std::ptrdiff_t a = static_cast<std::ptrdiff_t>(firstSlab) * nx / static_cast<std::ptrdiff_t>(slabs);
        const std::ptrdiff_t b = static_cast<std::ptrdiff_t>(lastSlab) * nx / static_cast<std::ptrdiff_t>(slabs);
        // rings[p] holds layers i of level p at (i mod 3); the last level is the grid.
        std::vector<std::vector<Vec3>> rings(static_cast<std::size_t>(passes));
        for (std::vector<Vec3>& r : rings) r.resize(static_cast<std::size_t>(3 * layer));
        auto at = [&](int p, std::ptrdiff_t i) -> Vec3* {
            if (p == passes) return g.vectors.data() + i * layer;
            return rings[static_cast<std::size_t>(p)].data() + (i % 3) * layer;
        };
        const std::ptrdiff_t front0 = std::max<std::ptrdiff_t>(0, a - passes);
        for (std::ptrdiff_t s = front0; s < b + passes; ++s)
            for (int p = 0; p <= passes; ++p) {
                const std::ptrdiff_t i = s - p;
                if (i < std::max<std::ptrdiff_t>(0, a - (passes - p)) || i >= std::min(nx, b + (passes - p))) continue;
                Vec3* to = at(p, i);
                if (p == 0) cappedRawLayer(to, potential, i, maxLength);
                else if (!smooths || i == 0 || i == nx - 1) std::copy(at(p - 1, i), at(p - 1, i) + layer, to);
                else smoothLayer(to, at(p - 1, i - 1), at(p - 1, i), at(p - 1, i + 1), ny, nz, rule);
                if (p == passes) {
                    // Largest and smallest length per x layer: a maximum or
                    // minimum does not depend on the order of its operands here
                    // (lengths are never -0, and a NaN never replaces the running value).
                    float hi = -10000.0f, lo = 10000.0f;
                    for (std::ptrdiff_t n = 0; n < layer; ++n) {
                        const float m = length(to[n]);
                        hi = std::max(hi, m);
                        lo = std::min(lo, m);
                    }
                    layerHi[static_cast<std::size_t>(i)] = hi;
                    layerLo[static_cast<std::size_t>(i)] = lo;
                }
            }
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
    for (std::ptrdiff_t i = 1; i <= nx - 2; ++i) {
        smoothLayer(next.data(), G + (i - 1) * layer, G + i * layer, G + (i + 1) * layer, ny, nz, rule);
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
    g.vectors.resize(static_cast<std::size_t>(nx * ny * nz));
    const float* V = potential.values.data();
    // Difference quotient along one axis at index a of n, stride s between nodes.
    auto diff = [](const float* v, std::ptrdiff_t a, std::ptrdiff_t n, std::ptrdiff_t s, float d) {
        if (a == 0) return (v[s] - v[0]) / d;
        if (a == n - 1) return (v[0] - v[-s]) / d;
        return (v[s] - v[-s]) / (2.0f * d);
    };
    std::vector<float> layerLo(static_cast<std::size_t>(nx)), layerHi(static_cast<std::size_t>(nx));
    parallelRanges(static_cast<std::size_t>(nx), 1, [&](std::size_t first, std::size_t last) {
        for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(first); i < static_cast<std::ptrdiff_t>(last); ++i) {
            float lo = 10000.0f, hi = -10000.0f;
            for (std::ptrdiff_t j = 0; j < ny; ++j)
                for (std::ptrdiff_t k = 0; k < nz; ++k) {
                    const std::ptrdiff_t at = nodeIndex(i, j, k, g.ny, g.nz);
                    const float* v = V + at;
                    const Vec3 grad{diff(v, i, nx, ny * nz, g.delta.x), diff(v, j, ny, nz, g.delta.y),
                                    diff(v, k, nz, 1, g.delta.z)};
                    g.vectors[static_cast<std::size_t>(at)] = grad;
                    const float m = length(grad);
                    lo = std::min(lo, m);
                    hi = std::max(hi, m);
                }
            layerLo[static_cast<std::size_t>(i)] = lo;
            layerHi[static_cast<std::size_t>(i)] = hi;
        }
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
