// Level surfaces on analytic fields: size and shape against the formulas,
// closedness and consistent winding, and the box filter.
#include "isosurface.h"
#include "grids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace quorax;
using namespace quorax::test;

namespace {

struct Measures {
    double area = 0.0;
    double volume = 0.0; // signed: positive when normals point outwards
};

Measures measure(const TriMesh& m) {
    Measures r;
    for (const MeshFace& f : m.faces) {
        const Vec3 a = m.vertices[f.v[0]].pos, b = m.vertices[f.v[1]].pos, c = m.vertices[f.v[2]].pos;
        const double ab[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, ac[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
        const double n[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                             ab[0] * ac[1] - ab[1] * ac[0]};
        r.area += 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        r.volume += (double(a.x) * n[0] + double(a.y) * n[1] + double(a.z) * n[2]) / 6.0;
    }
    return r;
}

} // namespace

TEST(Isosurface, SphereMatchesItsFormulasAndIsClosed) {
    // Distance from a centre off the nodes; the level 5 is a sphere of radius 5: area 4πr² = 314.16, volume 4/3πr³ =
    // 523.60. Linear interpolation between nodes 0.25 apart cuts chords, so a little less.
    const Vec3 centre{0.13f, -0.07f, 0.21f};
    const PotentialGrid g = potential(49, 0.25f, {-6.0f, -6.0f, -6.0f}, [&](Vec3 p) { return length(p - centre); });
    const TriMesh m = extractIsosurface(g, 5.0f);
    ASSERT_GT(m.faceCount(), 1000);
    EXPECT_EQ(closedEulerCharacteristic(m), 2); // one sphere
    const Measures s = measure(m);
    const double pi = 3.14159265358979;
    EXPECT_NEAR(s.area, 4.0 * pi * 25.0, 0.01 * 4.0 * pi * 25.0);
    EXPECT_NEAR(s.volume, 4.0 / 3.0 * pi * 125.0, 0.01 * 4.0 / 3.0 * pi * 125.0); // positive: wound outwards
    for (const MeshVertex& v : m.vertices) EXPECT_NEAR(length(v.pos - centre), 5.0f, 0.01f);
    // Reversing the field turns inside and outside around: same surface, normals pointing to the centre.
    PotentialGrid neg = g;
    for (float& v : neg.values) v = -v;
    const Measures r = measure(extractIsosurface(neg, -5.0f));
    EXPECT_NEAR(r.volume, -s.volume, 1e-6 * s.volume);
}

TEST(Isosurface, AnyFieldGivesClosedSurfacesWhenTheBorderIsOutside) {
    // Random values around the level, border nodes outside: whatever the
    // cell cases, neighbouring cells must agree on their shared faces.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int round = 0; round < 20; ++round) {
        PotentialGrid g = potential(9, 1.0f, {}, [&](Vec3 p) {
            const bool border = p.x == 0 || p.y == 0 || p.z == 0 || p.x == 8 || p.y == 8 || p.z == 8;
            return border ? 1.0f : u(rng);
        });
        const TriMesh m = extractIsosurface(g, 0.5f);
        ASSERT_GT(m.faceCount(), 0);
        EXPECT_GT(closedEulerCharacteristic(m), -1000) << "round " << round;
        EXPECT_GT(measure(m).volume, 0.0) << "round " << round;
    }
}

TEST(Isosurface, DegenerateGridsGiveNothing) {
    // A level no node reaches, a flat axis, a zero spacing.
    PotentialGrid flat = potential(4, 1.0f, {}, [](Vec3 p) { return p.x; });
    EXPECT_EQ(extractIsosurface(flat, 100.0f).faceCount(), 0);
    PotentialGrid zero = flat;
    flat.nz = 1;
    flat.values.resize(16);
    EXPECT_EQ(extractIsosurface(flat, 1.5f).faceCount(), 0);
    zero.delta.y = 0.0f;
    EXPECT_EQ(extractIsosurface(zero, 1.5f).faceCount(), 0);
    EXPECT_TRUE(extractIsosurface(zero, 1.5f).loaded);
}

TEST(Isosurface, BoxFilterAveragesTwentySevenNodesAndSmoothsABallMap) {
    // A single 1 among 0s spreads 1/27 over its 3 × 3 × 3 box; a linear field
    // stays itself inside and flattens at the clamped border.
    PotentialGrid dot = potential(5, 1.0f, {}, [](Vec3 p) { return p.x == 2 && p.y == 2 && p.z == 2 ? 1.0f : 0.0f; });
    const PotentialGrid f = boxFilterGrid(dot);
    EXPECT_FLOAT_EQ(f.at(2, 2, 2), 1.0f / 27.0f);
    EXPECT_FLOAT_EQ(f.at(1, 3, 1), 1.0f / 27.0f);
    EXPECT_FLOAT_EQ(f.at(0, 2, 2), 0.0f);
    EXPECT_FLOAT_EQ(f.maxValue, 1.0f / 27.0f);
    const PotentialGrid lin = boxFilterGrid(potential(5, 1.0f, {}, [](Vec3 p) { return p.x; }));
    EXPECT_FLOAT_EQ(lin.at(2, 1, 4), 2.0f);
    EXPECT_FLOAT_EQ(lin.at(0, 1, 1), 1.0f / 3.0f); // mean of 0, 0, 1
    // A 0/1 ball map of radius 4 (0 inside, 1 outside, as a solvent map):
    // the filtered 0.5 level is a closed surface close to the ball.
    const PotentialGrid ball =
        boxFilterGrid(potential(21, 0.5f, {-5.0f, -5.0f, -5.0f}, [](Vec3 p) { return length(p) < 4.0f ? 0.0f : 1.0f; }));
    const TriMesh m = extractIsosurface(ball, 0.5f);
    EXPECT_EQ(closedEulerCharacteristic(m), 2);
    for (const MeshVertex& v : m.vertices) EXPECT_NEAR(length(v.pos), 4.0f, 0.5f);
}
