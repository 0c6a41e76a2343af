// Sampling the potential grid and mapping it onto the surface as face powers.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
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
    const PotentialGrid g = potential(3, 3, 3, {1, 1, 1}, {0.5f, 0.5f, 0.5f},
                                      [](Vec3 p) { return 100 * (p.x - 1) * 2 + 10 * (p.y - 1) * 2 + (p.z - 1) * 2; });
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
    // One node per axis is enough for this sample.
    EXPECT_EQ(samplePotential(potential(1, 1, 1, {}, {1, 1, 1}, [](Vec3) { return 7.0f; }), {5, 5, 5}, nullptr,
                              CellQuotient::Double, Interpolation::NodeBelow), 7.0f);
}

TEST(Sampling, MappedPotentialAndFacePower) {
    // V = x on [-4, 4]. Face 0 has area ½·4·1.5 = 3 and corners at x = -2, 2, 0: power 3·2/3 + 3·2/3 = 4, under both
    // third rules. Face 1 lies in the plane x = 0: power 0. Collinear face 3 has zero area and power, not NaN. Vertex
    // 3, beyond the box, reads the border's 4; it is a corner of faces 2 and 3.
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
    // Points repeated in the next triangles take the value sampled there; points that differ only in one bit of one
    // coordinate, or outside the box in one place only, are sampled on their own.
    const PotentialGrid wavy = potential(6, 5, 4, {0, 0, 0}, {0.7f, 0.9f, 1.1f}, [](Vec3 p) { return p.x * p.y - p.z; });
    std::vector<Vec3> points;
    for (int i = 0; i < 3000; ++i) {
        const Vec3 p{0.37f * static_cast<float>(i % 17), 0.29f * static_cast<float>(i % 13), 0.5f * static_cast<float>(i % 7)};
        points.push_back(p);
        points.push_back({std::nextafter(p.x, 10.0f), p.y, p.z});
        points.push_back({p.x, p.y, std::nextafter(p.z, -1.0f)});
        points.push_back(points[points.size() - 1 - i % 4]);
    }
    TriMesh strips;
    for (Vec3 p : points) strips.vertices.push_back({p, {}, 0});
    for (int f = 0; f + 2 < static_cast<int>(points.size()); f += 3) strips.faces.push_back({{f, f + 1, f + 2}, {}, 0, false});
    for (MappingRule rule : {kConsoleMapping, kViewerMapping}) {
        int outside = 0;
        const MappingResult r = mapPotentialToMesh(wavy, strips, rule);
        for (std::size_t i = 0; i < points.size(); ++i) {
            bool clamped = false;
            const float v = samplePotential(wavy, points[i], &clamped, rule.quotient, Interpolation::Trilinear);
            ASSERT_EQ(std::bit_cast<uint32_t>(strips.vertices[i].potential), std::bit_cast<uint32_t>(v)) << "vertex " << i;
            outside += clamped;
        }
        EXPECT_EQ(r.verticesOutside, outside);
        EXPECT_GT(outside, 0);
    }
    // The corner terms are summed in order in float: after 2e8/3 each 5/3 rounds
    // away (the spacing there is 4); summed first, the two make 3.3 and count.
    for (ThirdRule third : {ThirdRule::DivideByThree, ThirdRule::MultiplyByThird}) {
        EXPECT_EQ(facePower(1, {2e8f, 5, 5}, third), 2e8f / 3);
        EXPECT_GT(facePower(1, {5, 5, 2e8f}, third), 2e8f / 3);
        EXPECT_EQ(facePower(2, {-3, 3, 0}, third), 4.0f);
    }
}

namespace {

// The trilinear sample with the single-precision quotient, axis by axis as documented: the coordinate clamped into the
// box, the cell floor((p − origin) / delta) clamped to 0 … n − 2, weights 1 − |p − node| / delta, blended along z, then
// x, then y.
float referenceSample(const PotentialGrid& g, Vec3 p, bool& clamped) {
    struct Axis {
        std::ptrdiff_t i;
        float w0, w1;
    };
    auto axis = [&](float x, float origin, float delta, int n) {
        const float top = origin + static_cast<float>(n - 1) * delta;
        if (!(x >= origin)) x = origin, clamped = true;
        else if (x > top) x = top, clamped = true;
        double cell = std::floor(static_cast<double>((x - origin) / delta));
        if (cell > n - 2) cell = n - 2, clamped = true;
        if (cell < 0) cell = 0;
        const auto i = static_cast<std::ptrdiff_t>(cell);
        return Axis{i, 1.0f - std::fabs(x - (origin + static_cast<float>(i) * delta)) / delta,
                    1.0f - std::fabs(x - (origin + static_cast<float>(i + 1) * delta)) / delta};
    };
    const Axis a = axis(p.x, g.origin.x, g.delta.x, g.nx), b = axis(p.y, g.origin.y, g.delta.y, g.ny),
               c = axis(p.z, g.origin.z, g.delta.z, g.nz);
    auto V = [&](std::ptrdiff_t di, std::ptrdiff_t dj, std::ptrdiff_t dk) { return g.at(a.i + di, b.i + dj, c.i + dk); };
    const float upper = b.w1 * (a.w1 * (c.w1 * V(1, 1, 1) + c.w0 * V(1, 1, 0)) + a.w0 * (c.w1 * V(0, 1, 1) + c.w0 * V(0, 1, 0)));
    const float lower = b.w0 * (a.w0 * (c.w1 * V(0, 0, 1) + c.w0 * V(0, 0, 0)) + a.w1 * (c.w1 * V(1, 0, 1) + c.w0 * V(1, 0, 0)));
    return upper + lower;
}

} // namespace

TEST(Sampling, SameBitsAsTheAxisByAxisRule) {
    // Random values on grids with awkward spacings (one negative), points inside, outside, on nodes and on the upper
    // faces: every sample and its clamp flag as the axis-by-axis rule gives them, bit for bit.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    struct Case {
        int nx, ny, nz;
        Vec3 origin, delta;
    };
    for (const Case& c : {Case{2, 2, 2, {0, 0, 0}, {1, 1, 1}}, Case{7, 5, 9, {-3.3f, 0.1f, 12.7f}, {0.37f, 1.1f, 0.3f}},
                          Case{4, 6, 3, {1, 2, 3}, {-0.7f, 0.45f, 2.2f}}}) {
        const PotentialGrid g = potential(c.nx, c.ny, c.nz, c.origin, c.delta, [&](Vec3) { return 50.0f * u(rng); });
        const Vec3 size{c.delta.x * (c.nx - 1), c.delta.y * (c.ny - 1), c.delta.z * (c.nz - 1)};
        for (int n = 0; n < 20000; ++n) {
            Vec3 p = c.origin + Vec3{size.x * (0.5f + 0.7f * u(rng)), size.y * (0.5f + 0.7f * u(rng)),
                                     size.z * (0.5f + 0.7f * u(rng))};
            if (n % 4 == 1) // on a node, or on an upper face
                p = c.origin + Vec3{c.delta.x * static_cast<float>(rng() % c.nx), c.delta.y * static_cast<float>(rng() % c.ny),
                                    c.delta.z * static_cast<float>(c.nz - 1)};
            bool want = false, got = true;
            const float expected = referenceSample(g, p, want);
            const float sampled = samplePotential(g, p, &got);
            ASSERT_EQ(std::memcmp(&sampled, &expected, sizeof(float)), 0) << n << ": " << sampled << " " << expected;
            ASSERT_EQ(got, want) << n;
        }
    }
}
