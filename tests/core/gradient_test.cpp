// The gradient grid: forward differences, length limit and smoothing.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "gradient.h"
#include "grids.h"
#include "parallel.h"

using namespace quorax;
using namespace quorax::test;

TEST(Gradient, LinearPotentialIsConstant) {
    // Every quotient is (2, 2, 1.5), the last layers copy it, and a mean of six equal neighbours is that vector again.
    const PotentialGrid p = potential(6, 4, 5, {}, {0.5f, 1, 2}, [](Vec3 p) { return 2 * p.x + 2 * p.y + 1.5f * p.z; });
    for (int passes : {0, 3}) {
        GradientGrid g;
        computeGradient(g, p, 6.0f, passes);
        EXPECT_EQ(g.vectors, std::vector<Vec3>(120, {2, 2, 1.5f}));
        EXPECT_EQ(g.maxMagnitude, length({2, 2, 1.5f}));
        EXPECT_EQ(g.minMagnitude, g.maxMagnitude);
    }
}

TEST(Gradient, LengthLimitAndSmallGrids) {
    // V = 6x + 8y + z: every quotient is (6, 8, 1), longer than L = 10. Nodes with
    // all indices at least 1 are scaled to length 10, those with an index 0 are not.
    const Potential V = [](Vec3 p) { return 6 * p.x + 8 * p.y + p.z; };
    GradientGrid g;
    computeGradient(g, potential(3, 3, 3, {}, {1, 1, 1}, V), 10, 0);
    for (int n = 0; n < 27; ++n)
        EXPECT_FLOAT_EQ(length(g.vectors[n]), n / 9 && n / 3 % 3 && n % 3 ? 10 : length({6, 8, 1}));
    EXPECT_FLOAT_EQ(g.maxMagnitude, length({6, 8, 1}));
    EXPECT_FLOAT_EQ(g.minMagnitude, 10.0f);
    // Two nodes per axis: the last-layer copies give the one difference to all nodes.
    computeGradient(g, potential(2, 2, 2, {}, {1, 1, 1}, V), 100, 3);
    EXPECT_EQ(g.vectors, std::vector<Vec3>(8, {6, 8, 1}));
    // Fewer than two nodes on an axis: an empty gradient, still ready.
    computeGradient(g, potential(1, 3, 3, {}, {1, 1, 1}, V), 6, 3);
    EXPECT_TRUE(g.ready && g.vectors.empty());
}

TEST(Gradient, SmoothingIsSimultaneousAndKeepsBorders) {
    // (1,1,1) takes (0,12,0)/6 from border node (0,1,1); (2,1,1) takes (6,0,5)/6 from (1,1,1)
    // as it was and from (2,1,2): 5/6 is 0.833333313 by ÷6, 0.833333373 by ×float(1/6).
    for (SmoothRule rule : {SmoothRule::DivideBySix, SmoothRule::MultiplyBySixth}) {
        GradientGrid g = field(5, 3, 3, [](int i, int j, int k) {
            return Vec3{6.0f * (i == 1 && j == 1 && k == 1), 12.0f * (i == 0 && j == 1 && k == 1),
                        5.0f * (i == 2 && j == 1 && k == 2)};
        });
        smoothGradient(g, rule);
        const float z = rule == SmoothRule::DivideBySix ? 0.833333313f : 0.833333373f;
        EXPECT_EQ((std::vector{g.at(1, 1, 1), g.at(2, 1, 1), g.at(3, 1, 1), g.at(0, 1, 1)}),
                  (std::vector<Vec3>{{0, 2, 0}, {1, 0, z}, {0, 0, 0}, {0, 12, 0}}));
    }
}

namespace {

// The gradient as separate passes over the whole grid: differences, last layers copied (x, then y, then z), length
// limit, then each smoothing pass from a full copy of the grid.
GradientGrid gradientByPasses(const PotentialGrid& p, float maxLength, int passes, SmoothRule rule) {
    const int nx = p.nx, ny = p.ny, nz = p.nz;
    GradientGrid g = field(nx, ny, nz, [](int, int, int) { return Vec3{}; });
    auto G = [&](int i, int j, int k) -> Vec3& { return g.vectors[static_cast<std::size_t>((i * ny + j) * nz + k)]; };
    for (int i = 0; i < nx - 1; ++i)
        for (int j = 0; j < ny - 1; ++j)
            for (int k = 0; k < nz - 1; ++k) {
                const float v = p.at(i, j, k);
                G(i, j, k) = {(p.at(i + 1, j, k) - v) / p.delta.x, (p.at(i, j + 1, k) - v) / p.delta.y,
                              (p.at(i, j, k + 1) - v) / p.delta.z};
            }
    for (int j = 0; j < ny; ++j)
        for (int k = 0; k < nz; ++k) G(nx - 1, j, k) = G(nx - 2, j, k);
    for (int i = 0; i < nx; ++i)
        for (int k = 0; k < nz; ++k) G(i, ny - 1, k) = G(i, ny - 2, k);
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j) G(i, j, nz - 1) = G(i, j, nz - 2);
    for (int i = 1; i < nx; ++i)
        for (int j = 1; j < ny; ++j)
            for (int k = 1; k < nz; ++k)
                if (const float m = length(G(i, j, k)); m > maxLength) {
                    const float s = m / maxLength;
                    G(i, j, k) = {G(i, j, k).x / s, G(i, j, k).y / s, G(i, j, k).z / s};
                }
    for (int pass = 0; pass < passes; ++pass) {
        const GradientGrid old = g;
        for (int i = 1; i < nx - 1; ++i)
            for (int j = 1; j < ny - 1; ++j)
                for (int k = 1; k < nz - 1; ++k) {
                    Vec3 s = old.at(i + 1, j, k);
                    s += old.at(i - 1, j, k);
                    s += old.at(i, j + 1, k);
                    s += old.at(i, j - 1, k);
                    s += old.at(i, j, k + 1);
                    s += old.at(i, j, k - 1);
                    G(i, j, k) = rule == SmoothRule::DivideBySix ? Vec3{s.x / 6.0f, s.y / 6.0f, s.z / 6.0f}
                                                                 : s * (1.0f / 6.0f);
                }
    }
    return g;
}

} // namespace

TEST(Gradient, OneSweepMatchesSeparatePassesOnAnyThreadCount) {
    // Random potentials with some nodes far off (so the length limit acts) and a NaN; grids from the smallest to many x
    // layers per thread; the vectors and both extremes must agree bit for bit.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    struct Size {
        int nx, ny, nz;
    };
    for (const Size n : {Size{2, 2, 2}, Size{2, 5, 3}, Size{3, 3, 3}, Size{4, 2, 6}, Size{5, 4, 3}, Size{23, 7, 9},
                         Size{41, 6, 5}}) {
        PotentialGrid p = potential(n.nx, n.ny, n.nz, {}, {0.5f, 0.25f, 1.0f}, [&](Vec3) {
            const float v = value(random);
            return random() % 10 == 0 ? 40.0f * v : v;
        });
        if (p.values.size() > 30) p.values[p.values.size() / 3] = NAN;
        for (int passes : {0, 1, 3, 4})
            for (SmoothRule rule : {SmoothRule::DivideBySix, SmoothRule::MultiplyBySixth}) {
                const GradientGrid want = gradientByPasses(p, 6.0f, passes, rule);
                for (int threads : {1, 2, 3, 8}) {
                    setWorkerThreads(threads);
                    GradientGrid got;
                    computeGradient(got, p, 6.0f, passes, rule);
                    const std::string where = std::to_string(n.nx) + "x" + std::to_string(n.ny) + "x" +
                                              std::to_string(n.nz) + ", " + std::to_string(passes) + " passes, " +
                                              std::to_string(threads) + " threads";
                    ASSERT_EQ(got.vectors.size(), want.vectors.size()) << where;
                    EXPECT_EQ(std::memcmp(got.vectors.data(), want.vectors.data(), want.vectors.size() * sizeof(Vec3)), 0)
                        << where;
                    float hi = -10000.0f, lo = 10000.0f;
                    for (const Vec3& v : want.vectors) {
                        hi = std::max(hi, length(v));
                        lo = std::min(lo, length(v));
                    }
                    EXPECT_EQ(got.maxMagnitude, hi) << where;
                    EXPECT_EQ(got.minMagnitude, lo) << where;
                }
                setWorkerThreads(0);
            }
    }
}

TEST(Gradient, CentralDifferencesNodeByNodeOnAnyThreadCount) {
    // Central differences inside, one-sided on the border layers, each
    // vector at its own node; extremes over all nodes; bit for bit.
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-5.0f, 5.0f);
    for (const auto& [nx, ny, nz] : {std::array{2, 2, 2}, std::array{3, 2, 5}, std::array{37, 6, 7}}) {
        const PotentialGrid p = potential(nx, ny, nz, {}, {0.3f, 0.7f, 1.1f}, [&](Vec3) { return value(random); });
        auto diff = [&](int a, int n, float below, float at, float above, float d) {
            if (a == 0) return (above - at) / d;
            if (a == n - 1) return (at - below) / d;
            return (above - below) / (2.0f * d);
        };
        auto V = [&](int i, int j, int k) {
            return i < 0 || j < 0 || k < 0 || i >= nx || j >= ny || k >= nz ? 0.0f : p.at(i, j, k);
        };
        std::vector<Vec3> want;
        float hi = -10000.0f, lo = 10000.0f;
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j)
                for (int k = 0; k < nz; ++k) {
                    want.push_back({diff(i, nx, V(i - 1, j, k), V(i, j, k), V(i + 1, j, k), p.delta.x),
                                    diff(j, ny, V(i, j - 1, k), V(i, j, k), V(i, j + 1, k), p.delta.y),
                                    diff(k, nz, V(i, j, k - 1), V(i, j, k), V(i, j, k + 1), p.delta.z)});
                    hi = std::max(hi, length(want.back()));
                    lo = std::min(lo, length(want.back()));
                }
        for (int threads : {1, 2, 3}) {
            setWorkerThreads(threads);
            GradientGrid got;
            computeCentralGradient(got, p);
            ASSERT_EQ(got.vectors.size(), want.size());
            EXPECT_EQ(std::memcmp(got.vectors.data(), want.data(), want.size() * sizeof(Vec3)), 0) << nx << " " << threads;
            EXPECT_TRUE(got.ready && got.maxMagnitude == hi && got.minMagnitude == lo);
        }
        setWorkerThreads(0);
    }
}
