// Gradient of the potential grid: forward differences, last layers, length
// limit and smoothing.
#include "gradient.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace quorax;

namespace {

// Node (i, j, k) holds f(i, j, k).
PotentialGrid makeGrid(int nx, int ny, int nz, Vec3 delta, std::function<float(int, int, int)> f) {
    PotentialGrid g;
    g.nx = nx, g.ny = ny, g.nz = nz;
    g.delta = delta;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nz; ++k)
                g.values.push_back(f(i, j, k));
    g.loaded = true;
    return g;
}

// One smoothing pass written the plain way: a full copy, then the means.
std::vector<Vec3> referenceSmooth(const GradientGrid& g, SmoothRule rule) {
    std::vector<Vec3> out = g.vectors;
    for (int i = 1; i + 1 < g.nx; ++i)
        for (int j = 1; j + 1 < g.ny; ++j)
            for (int k = 1; k + 1 < g.nz; ++k) {
                Vec3 s = g.at(i + 1, j, k);
                s += g.at(i - 1, j, k);
                s += g.at(i, j + 1, k);
                s += g.at(i, j - 1, k);
                s += g.at(i, j, k + 1);
                s += g.at(i, j, k - 1);
                Vec3& o = out[static_cast<std::size_t>(nodeIndex(i, j, k, g.ny, g.nz))];
                if (rule == SmoothRule::DivideBySix)
                    o = {s.x / 6.0f, s.y / 6.0f, s.z / 6.0f};
                else // the viewer: a float product with the float nearest 1/6
                    o = {s.x * 0.16666667f, s.y * 0.16666667f, s.z * 0.16666667f};
            }
    return out;
}

} // namespace

TEST(Gradient, LinearPotentialIsConstant) {
    // V = 2x with dx = 0.5: node i holds i, every difference quotient is
    // 1 / 0.5 = 2, and the mean of six equal neighbours is that vector again.
    const PotentialGrid p =
        makeGrid(6, 4, 5, {0.5f, 1, 2}, [](int i, int, int) { return float(i); });
    for (int passes : {0, 3}) {
        GradientGrid g;
        computeGradient(g, p, 6.0f, passes);
        ASSERT_TRUE(g.ready);
        ASSERT_EQ(g.vectors.size(), 120u);
        for (const Vec3& v : g.vectors)
            EXPECT_EQ(v, (Vec3{2, 0, 0}));
        EXPECT_EQ(g.maxMagnitude, 2.0f);
        EXPECT_EQ(g.minMagnitude, 2.0f);
        EXPECT_EQ(g.delta, p.delta);
    }
}

TEST(Gradient, LengthLimitSkipsNodesWithAnIndexZero) {
    // V = 6x + 8y with unit spacing: every quotient is (6, 8, 0), length 10.
    // With L = 6 it becomes (3.6, 4.8, 0) where all indices are at least 1,
    // and stays (6, 8, 0) where one index is 0.
    const PotentialGrid p =
        makeGrid(4, 4, 4, {1, 1, 1}, [](int i, int j, int) { return 6.0f * i + 8.0f * j; });
    GradientGrid g;
    computeGradient(g, p, 6.0f, 0);
    EXPECT_EQ(g.at(0, 2, 2), (Vec3{6, 8, 0}));
    EXPECT_EQ(g.at(3, 0, 3), (Vec3{6, 8, 0}));
    EXPECT_EQ(g.at(2, 2, 0), (Vec3{6, 8, 0}));
    for (Vec3 v : {g.at(1, 1, 1), g.at(3, 3, 3), g.at(1, 3, 2)}) {
        EXPECT_FLOAT_EQ(v.x, 3.6f);
        EXPECT_FLOAT_EQ(v.y, 4.8f);
        EXPECT_EQ(v.z, 0.0f);
    }
    EXPECT_EQ(g.maxMagnitude, 10.0f);
    EXPECT_FLOAT_EQ(g.minMagnitude, 6.0f);
    // A vector exactly as long as the limit is left alone.
    computeGradient(g, p, 10.0f, 0);
    EXPECT_EQ(g.at(2, 2, 2), (Vec3{6, 8, 0}));
}

TEST(Gradient, TwoNodesPerAxis) {
    // Values 0..7 doubled: only node (0,0,0) has forward differences,
    // (V(1,0,0), V(0,1,0), V(0,0,1)) − V(0,0,0) = (8, 4, 2), and the
    // last-layer copies give it to all eight nodes. Node (1,1,1) is the only
    // one without an index 0, so only it is limited to length 6. There is
    // no interior node, so smoothing changes nothing.
    int n = 0;
    const PotentialGrid p = makeGrid(2, 2, 2, {1, 1, 1}, [&](int, int, int) { return 2.0f * n++; });
    GradientGrid g;
    computeGradient(g, p, 6.0f, 3);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(g.vectors[i], (Vec3{8, 4, 2})) << i;
    EXPECT_NEAR(length(g.at(1, 1, 1)), 6.0f, 1e-5f);
    EXPECT_NEAR(g.at(1, 1, 1).x / g.at(1, 1, 1).z, 4.0f, 1e-5f);

    // Fewer than two nodes on an axis: an empty gradient, still ready.
    const PotentialGrid thin = makeGrid(1, 3, 3, {1, 1, 1}, [](int, int, int) { return 1.0f; });
    computeGradient(g, thin, 6.0f, 3);
    EXPECT_TRUE(g.ready);
    EXPECT_TRUE(g.vectors.empty());
}

TEST(Gradient, SmoothingIsSimultaneousAndKeepsBorders) {
    // 5 x 3 x 3: the interior nodes are (1,1,1), (2,1,1), (3,1,1). Border
    // node (0,1,1) holds (0,12,0), interior node (1,1,1) holds (6,0,0), all
    // others 0. Every mean is taken from the vectors before the pass:
    // (1,1,1) → (0,12,0)/6, (2,1,1) → (6,0,0)/6, (3,1,1) → 0. An in-place
    // update would give (2,1,1) the new zero of (1,1,1) instead.
    GradientGrid g;
    g.nx = 5, g.ny = 3, g.nz = 3;
    g.vectors.assign(45, Vec3{});
    auto at = [&](int i, int j, int k) -> Vec3& { return g.vectors[nodeIndex(i, j, k, 3, 3)]; };
    at(0, 1, 1) = {0, 12, 0};
    at(1, 1, 1) = {6, 0, 0};
    at(4, 2, 2) = {1, 1, 1};
    smoothGradient(g);
    EXPECT_EQ(at(1, 1, 1), (Vec3{0, 2, 0}));
    EXPECT_EQ(at(2, 1, 1), (Vec3{1, 0, 0}));
    EXPECT_EQ(at(3, 1, 1), (Vec3{0, 0, 0}));
    EXPECT_EQ(at(0, 1, 1), (Vec3{0, 12, 0})); // borders keep their vectors
    EXPECT_EQ(at(4, 2, 2), (Vec3{1, 1, 1}));

    // On random vectors both rules equal the plain full-copy pass bit for
    // bit, and ×1/6 differs from ÷6 in some last bits.
    GradientGrid r;
    r.nx = 7, r.ny = 5, r.nz = 6;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    for (int n = 0; n < 7 * 5 * 6; ++n)
        r.vectors.push_back({u(rng), u(rng), u(rng)});
    int differ = 0;
    GradientGrid bySix = r, bySixth = r;
    for (int pass = 0; pass < 3; ++pass) {
        const std::vector<Vec3> want6 = referenceSmooth(bySix, SmoothRule::DivideBySix);
        const std::vector<Vec3> wantSixth = referenceSmooth(bySixth, SmoothRule::MultiplyBySixth);
        smoothGradient(bySix, SmoothRule::DivideBySix);
        smoothGradient(bySixth, SmoothRule::MultiplyBySixth);
        EXPECT_EQ(bySix.vectors, want6);
        EXPECT_EQ(bySixth.vectors, wantSixth);
    }
    for (std::size_t n = 0; n < r.vectors.size(); ++n)
        differ += !(bySix.vectors[n] == bySixth.vectors[n]);
    EXPECT_GT(differ, 0);
}
