// Sampling the potential grid and mapping it onto the surface as face powers.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "grids.h"
#include "sampling.h"

using namespace quorax;
using namespace quorax::test;

TEST(Sampling, LinearFieldsAndTheBox) {
    // Trilinear weights reproduce a linear V in the box [-1, 1] x [2, 3.25] x [0.5, 3.5].
    const Potential V = [](Vec3 p) { return 1.0f + 2.0f * p.x - 3.0f * p.y + 0.5f * p.z; };
    const PotentialGrid g = potential(5, 6, 4, {-1, 2, 0.5f}, {0.5f, 0.25f, 1}, V);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int n = 0; n < 1000; ++n) {
        const Vec3 p{-1 + 2 * u(rng), 2 + 1.25f * u(rng), 0.5f + 3 * u(rng)};
        bool clamped = true;
        EXPECT_NEAR(samplePotential(g, p, &clamped), V(p), 1e-4f);
        EXPECT_FALSE(clamped);
        EXPECT_NEAR(samplePotential(g, p, nullptr, CellQuotient::Double), V(p), 1e-4f);
    }
    // Outside the box, or on its upper faces (the last cell), the nearest point of the box.
    const Vec3 outside[] = {{5, 2.5f, 1}, {-7, 1, 9}, {0, 3.25f, 1.5f}, {INFINITY, -INFINITY, 2}},
               nearest[] = {{1, 2.5f, 1}, {-1, 2, 3.5f}, {0, 3.25f, 1.5f}, {1, 2, 2}};
    for (int n = 0; n < 4; ++n) {
        bool clamped = false;
        EXPECT_NEAR(samplePotential(g, outside[n], &clamped), V(nearest[n]), 1e-5f) << n;
        EXPECT_TRUE(clamped) << n;
    }
    bool clamped = true;
    EXPECT_TRUE(samplePotential(g, {-1, 2, 0.5f}, &clamped) == g.values[0] && !clamped); // corner
    EXPECT_TRUE(std::isfinite(samplePotential(g, {NAN, 2.5f, 1.0f})));
    EXPECT_TRUE(samplePotential(PotentialGrid{}, {0, 0, 0}, &clamped) == 0 && clamped); // empty
}

TEST(Sampling, NodeBelow) {
    // V = 100i + 10j + k on 3 × 3 × 3 nodes, spacing 0.5 from (1, 1, 1). The index is
    // the quotient truncated: 0.99 → node 0, 1.2 → 2 (its own value, not the blend
    // of the cell); at or past n, n − 1; below 0 or not a number, 0. Only those clamp.
    const PotentialGrid g = potential(3, 3, 3, {1, 1, 1}, {0.5f, 0.5f, 0.5f}, [](Vec3 p) {
        return 100 * (p.x - 1) * 2 + 10 * (p.y - 1) * 2 + (p.z - 1) * 2;
    });
    const auto at = [&](Vec3 p, bool& clamped) {
        return samplePotential(g, p, &clamped, CellQuotient::Double, Interpolation::NodeBelow);
    };
    const std::pair<Vec3, float> inside[] = {{{1.49f, 2.1f, 1.6f}, 21}, {{2.4f, 1, 1}, 200}, {{2.0f, 2.0f, 2.0f}, 222}};
    for (auto [p, v] : inside) {
        bool clamped = true;
        EXPECT_EQ(at(p, clamped), v);
        EXPECT_FALSE(clamped);
    }
    const std::pair<Vec3, float> outside[] = {{{2.5f, 1, 1}, 200}, {{0.9f, 1.6f, 1}, 10}, {{NAN, 1, 9}, 2}};
    for (auto [p, v] : outside) {
        bool clamped = false;
        EXPECT_EQ(at(p, clamped), v);
        EXPECT_TRUE(clamped);
    }
    // One node per axis is enough for this sample; none gives 0, clamped.
    bool clamped = false;
    EXPECT_EQ(samplePotential(potential(1, 1, 1, {}, {1, 1, 1}, [](Vec3) { return 7.0f; }), {5, 5, 5}, &clamped,
                              CellQuotient::Double, Interpolation::NodeBelow), 7.0f);
    EXPECT_TRUE(clamped);
    EXPECT_EQ(samplePotential(PotentialGrid{}, {}, nullptr, CellQuotient::Double, Interpolation::NodeBelow), 0.0f);
}

TEST(Sampling, MappedPotentialAndFacePower) {
    // V = x on [-4, 4]. Face 0 has area ½·4·1.5 = 3 and corners at x = -2, 2, 0: power
    // 3·2/3 + 3·2/3 = 4, under both third rules. Face 1 lies in the plane x = 0:
    // power 0. Collinear face 3 has zero area and power, not NaN. Vertex 3, beyond the
    // box, reads the border's 4; it is a corner of faces 2 and 3.
    const PotentialGrid g = potential(9, 4, 4, {-4, -1, -1}, {1, 1, 1}, [](Vec3 p) { return p.x; });
    TriMesh m;
    for (Vec3 p : {Vec3{-2, 0, 0}, {2, 0, 0}, {0, 1.5f, 0}, {9, 0, 0}, {0, 0, 1}, {0, 1, 1}})
        m.vertices.push_back({p, {}, 0});
    for (auto [a, b, c] : {std::array{0, 1, 2}, {2, 4, 5}, {1, 3, 2}, {0, 1, 3}})
        m.faces.push_back({{a, b, c}, {}, 0, false});
    for (MappingRule rule : {kConsoleMapping, kViewerMapping}) {
        const MappingResult r = mapPotentialToMesh(g, m, rule);
        EXPECT_EQ(std::pair(r.verticesOutside, r.cornersOutside), std::pair(1, 2));
        EXPECT_EQ(std::pair(m.vertices[0].potential, m.vertices[3].potential), std::pair(-2.0f, 4.0f));
        EXPECT_FLOAT_EQ(m.faces[0].power, 4.0f);
        EXPECT_EQ(std::pair(m.faces[1].power, m.faces[3].power), std::pair(0.0f, 0.0f));
    }
    // The corner terms are summed in order in float: after 2e8/3 each 5/3 rounds
    // away (the spacing there is 4); summed first, the two make 3.3 and count.
    for (ThirdRule third : {ThirdRule::DivideByThree, ThirdRule::MultiplyByThird}) {
        EXPECT_EQ(facePower(1, {2e8f, 5, 5}, third), 2e8f / 3);
        EXPECT_GT(facePower(1, {5, 5, 2e8f}, third), 2e8f / 3);
        EXPECT_EQ(facePower(2, {-3, 3, 0}, third), 4.0f);
    }
}
