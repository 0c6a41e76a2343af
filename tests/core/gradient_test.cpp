// The gradient grid: forward differences, length limit and smoothing.
#include <gtest/gtest.h>

#include <vector>

#include "gradient.h"
#include "grids.h"

using namespace quorax;
using namespace quorax::test;

TEST(Gradient, LinearPotentialIsConstant) {
    // Every quotient is (2, 2, 1.5), the last layers copy it, and a mean of six equal
    // neighbours is that vector again.
    const PotentialGrid p =
        potential(6, 4, 5, {}, {0.5f, 1, 2}, [](Vec3 p) { return 2 * p.x + 2 * p.y + 1.5f * p.z; });
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
