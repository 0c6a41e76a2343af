#include "gradient.h"

#include <algorithm>
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
    g.vectors.assign(static_cast<std::size_t>(nx * ny * nz), Vec3{});
    Vec3* G = g.vectors.data();
    const float* V = potential.values.data();
    const float dx = g.delta.x, dy = g.delta.y, dz = g.delta.z;

    // Forward differences; x layers in parallel, each node written once.
    parallelRanges(static_cast<std::size_t>(nx - 1), 1, [&](std::size_t first, std::size_t last) {
        for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(first); i < static_cast<std::ptrdiff_t>(last); ++i)
            for (std::ptrdiff_t j = 0; j <= ny - 2; ++j) {
                const std::ptrdiff_t row = nodeIndex(i, j, 0, g.ny, g.nz);
                const std::ptrdiff_t rowX = row + ny * nz, rowY = row + nz;
                for (std::ptrdiff_t k = 0; k <= nz - 2; ++k) {
                    const float v = V[row + k];
                    G[row + k] = {(V[rowX + k] - v) / dx, (V[rowY + k] - v) / dy, (V[row + k + 1] - v) / dz};
                }
            }
    });
    // Last layers copy their inner neighbours: x first, then y, then z.
    for (std::ptrdiff_t j = 0; j < ny; ++j)
        for (std::ptrdiff_t k = 0; k < nz; ++k)
            G[nodeIndex(nx - 1, j, k, g.ny, g.nz)] = G[nodeIndex(nx - 2, j, k, g.ny, g.nz)];
    for (std::ptrdiff_t i = 0; i < nx; ++i)
        for (std::ptrdiff_t k = 0; k < nz; ++k)
            G[nodeIndex(i, ny - 1, k, g.ny, g.nz)] = G[nodeIndex(i, ny - 2, k, g.ny, g.nz)];
    for (std::ptrdiff_t i = 0; i < nx; ++i)
        for (std::ptrdiff_t j = 0; j < ny; ++j)
            G[nodeIndex(i, j, nz - 1, g.ny, g.nz)] = G[nodeIndex(i, j, nz - 2, g.ny, g.nz)];

    // Length limit, keeping the direction; nodes with an index 0 are not limited.
    parallelRanges(static_cast<std::size_t>(nx - 1), 1, [&](std::size_t first, std::size_t last) {
        for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(first) + 1; i <= static_cast<std::ptrdiff_t>(last); ++i)
            for (std::ptrdiff_t j = 1; j < ny; ++j)
                for (std::ptrdiff_t k = 1; k < nz; ++k) {
                    Vec3& v = G[nodeIndex(i, j, k, g.ny, g.nz)];
                    const float m = length(v);
                    if (m > maxLength) {
                        const float s = m / maxLength;
                        v = {v.x / s, v.y / s, v.z / s};
                    }
                }
    });

    for (int pass = 0; pass < smoothingPasses; ++pass) smoothGradient(g, rule);

    // Largest and smallest length per x layer, then over the layers: a
    // maximum or minimum does not depend on the order of its operands here
    // (lengths are never -0, and a NaN never replaces the running value).
    std::vector<float> layerHi(static_cast<std::size_t>(nx)), layerLo(static_cast<std::size_t>(nx));
    parallelRanges(static_cast<std::size_t>(nx), 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            float hi = -10000.0f, lo = 10000.0f;
            const Vec3* layer = G + static_cast<std::ptrdiff_t>(i) * ny * nz;
            for (std::ptrdiff_t n = 0; n < ny * nz; ++n) {
                const float m = length(layer[n]);
                hi = std::max(hi, m);
                lo = std::min(lo, m);
            }
            layerHi[i] = hi;
            layerLo[i] = lo;
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
    const std::ptrdiff_t sx = ny * nz, sy = nz;
    Vec3* G = grid.vectors.data();
    // The means of x layer i are kept until layer i + 1 has been computed from
    // the old vectors; only then are they written back. Two layers of memory
    // give the same result as a full copy of the grid.
    std::vector<Vec3> done(static_cast<std::size_t>(sx)), next(static_cast<std::size_t>(sx));
    auto writeBack = [&](std::ptrdiff_t i, const std::vector<Vec3>& layer) {
        for (std::ptrdiff_t j = 1; j <= ny - 2; ++j)
            std::copy(&layer[static_cast<std::size_t>(j * sy + 1)],
                      &layer[static_cast<std::size_t>(j * sy + nz - 1)], G + i * sx + j * sy + 1);
    };
    for (std::ptrdiff_t i = 1; i <= nx - 2; ++i) {
        // The rows of a layer read only old vectors: they run in parallel.
        parallelRanges(static_cast<std::size_t>(ny - 2), 8, [&](std::size_t first, std::size_t last) {
            for (std::ptrdiff_t j = static_cast<std::ptrdiff_t>(first) + 1; j <= static_cast<std::ptrdiff_t>(last); ++j)
                for (std::ptrdiff_t k = 1; k <= nz - 2; ++k) {
                    const std::ptrdiff_t n = i * sx + j * sy + k;
                    // The six face neighbours in a fixed order: +x, −x, +y, −y, +z, −z.
                    Vec3 s = G[n + sx];
                    s += G[n - sx];
                    s += G[n + sy];
                    s += G[n - sy];
                    s += G[n + 1];
                    s += G[n - 1];
                    Vec3 mean;
                    if (rule == SmoothRule::DivideBySix) {
                        mean = {s.x / 6.0f, s.y / 6.0f, s.z / 6.0f};
                    } else {
                        // The viewer scales the vector by the float 1/6. (A product
                        // in double would round to exactly the quotient s / 6.)
                        constexpr float sixth = 1.0f / 6.0f;
                        mean = s * sixth;
                    }
                    next[static_cast<std::size_t>(j * sy + k)] = mean;
                }
        });
        if (i > 1) writeBack(i - 1, done);
        std::swap(done, next);
    }
    writeBack(nx - 2, done);
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
