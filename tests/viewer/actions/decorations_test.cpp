// Arrow heads along the lines: placement, pyramid geometry, OBJ text.
#include "decorations.h"

#include <gtest/gtest.h>

#include <random>

#include "model_support.h"

using namespace quorax;
using namespace quorax::test;

namespace {

// Points (0, y, 0) … (n−1, y, 0), one apart along x.
FieldLine alongX(int n, float y = 0.0f) {
    FieldLine l;
    for (int i = 0; i < n; ++i) l.push_back({float(i), y, 0.0f});
    return l;
}

struct Placed {
    std::vector<Vec3> positions, directions;
    std::vector<float> sizes;
};

Placed place(const std::vector<FieldLine>& lines, float skip, float pyr, float skipRand, ViewerRandom& random) {
    Placed p;
    placeDecorations(lines, skip, pyr, skipRand, random, p.positions, p.directions, p.sizes);
    return p;
}

} // namespace

TEST(Decorations, SpacingWithoutJitter) {
    // Skip 5, pyr 2, points 1 apart, walked from the last point (19): skipping
    // ends at steps 5, 12 and 19 (points 14, 7, 0); each decoration reaches 2
    // points further (12, 5); the one started at point 0 has no room and is
    // dropped.
    ViewerRandom random;
    Placed p = place({alongX(20)}, 5.0f, 2.0f, 0.0f, random);
    ASSERT_EQ(p.positions.size(), 2u);
    EXPECT_EQ(p.positions[0], (Vec3{14, 0, 0}));
    EXPECT_EQ(p.positions[1], (Vec3{7, 0, 0}));
    EXPECT_EQ(p.directions[0], (Vec3{-1, 0, 0})); // towards decreasing index
    EXPECT_EQ(p.sizes[1], 2.0f);
    // A skip is drawn at every start, the dropped one included, even without
    // jitter: three draws of the shared sequence were used.
    std::mt19937 reference;
    for (int i = 0; i < 3; ++i) reference();
    EXPECT_EQ(random.rand31(), static_cast<int32_t>(reference() >> 1));

    // Too short for skip + pyr (6 < 7), a single point, an empty line: nothing.
    p = place({alongX(7), alongX(1), FieldLine{}}, 5.0f, 2.0f, 0.0f, random);
    EXPECT_TRUE(p.positions.empty());
}

TEST(Decorations, JitteredSkipCarriesOverLines) {
    // rand31 mod 2000 of the default-seeded generator: 1806, 651, 1367.
    // Skips: 5 as typed, then 5·(1 + 0.2·0.001·806) = 5.806,
    // 5·(1 − 0.2·0.001·349) = 4.651, 5·(1 + 0.2·0.001·367) = 5.367.
    ViewerRandom random;
    const Placed p = place({alongX(10), alongX(20, 1.0f)}, 5.0f, 2.0f, 0.2f, random);
    ASSERT_EQ(p.positions.size(), 3u);
    // First line: starts after 5 steps (point 4), ends at point 2, then only 2
    // steps are left.
    EXPECT_EQ(p.positions[0], (Vec3{4, 0, 0}));
    // Second line: its first gap is the 5.806 drawn on the first line (6
    // steps: point 13), the next one 4.651 (5 steps after point 11: point 6).
    EXPECT_EQ(p.positions[1], (Vec3{13, 1, 0}));
    EXPECT_EQ(p.positions[2], (Vec3{6, 1, 0}));
}

TEST(Decorations, PyramidGeometry) {
    // Along +z, size 2: every triangle is wound counter-clockwise seen from
    // outside: its geometric normal agrees with the drawn one and points
    // away from the inside point (0, 0, 0.5).
    Pyramid p = pyramidGeometry({0, 0, 0}, {0, 0, 3}, 2.0f);
    for (int tri = 0; tri < 6; ++tri) {
        const Vec3 a = p.corners[3 * tri], b = p.corners[3 * tri + 1], c = p.corners[3 * tri + 2];
        const Vec3 n = cross(b - a, c - a);
        EXPECT_GT(dot(n, p.normals[std::min(tri, 4)]), 0.0f) << tri;
        EXPECT_GT(dot(n, (1.0f / 3.0f) * (a + b + c) - Vec3{0, 0, 0.5f}), 0.0f) << tri;
    }

    // Along ±y the base collapses onto B: u = w = 0.
    p = pyramidGeometry({1, 2, 3}, {0, -4, 0}, 2.0f);
    for (int k = 0; k < 18; ++k) {
        const Vec3 expected = k % 3 == 2 && k < 12 ? Vec3{1, 0, 3} : Vec3{1, 2, 3};
        EXPECT_EQ(p.corners[k], expected) << k;
    }

    // Half-diagonal s/4 below size 2, 0.5 from 2 on.
    EXPECT_FLOAT_EQ(pyramidGeometry({}, {0, 0, 1}, 1.0f).corners[1].x, 0.25f);
    EXPECT_FLOAT_EQ(pyramidGeometry({}, {0, 0, 1}, 4.0f).corners[1].x, 0.5f);
}

TEST(Decorations, ObjText) {
    // Three decorations: 18 corners and 6 faces each, faces numbered on.
    const std::string text = formatDecorationObj({{0, 0, 0}, {5, 0, 0}, {0, 5, 0}},
                                                 {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {2.0f, 1.0f, 3.0f});
    const std::vector<std::string> lines = splitLines(text);
    ASSERT_EQ(lines.size(), 72u);
    int v = 0, f = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool face = i % 4 == 3; // three corners before each face
        EXPECT_EQ(lines[i].substr(0, 2), face ? "f " : "v ") << i;
        (face ? f : v)++;
    }
    EXPECT_EQ(v, 54);
    EXPECT_EQ(f, 18);
    EXPECT_EQ(lines.back(), "f 52 53 54");
    EXPECT_EQ(lines[0], "v 0.000000 -0.500000 0.000000"); // W+ = B + 0.5·w, w = (0,0,−1) × (1,0,0)
    EXPECT_EQ(formatDecorationObj({}, {}, {}), "");
}
