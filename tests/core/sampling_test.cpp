// Trilinear sampling of the grids and the mapping of the potential onto the mesh.
#include "sampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

using namespace quorax;

namespace {

// A loaded grid whose node (i, j, k) holds f at its position.
PotentialGrid makeGrid(int nx, int ny, int nz, Vec3 origin, Vec3 delta,
                       std::function<float(Vec3)> f) {
    PotentialGrid g;
    g.nx = nx, g.ny = ny, g.nz = nz;
    g.origin = origin;
    g.delta = delta;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nz; ++k)
                g.values.push_back(
                    f({origin.x + i * delta.x, origin.y + j * delta.y, origin.z + k * delta.z}));
    g.values.shrink_to_fit(); // exact size: a read past the last node is caught by the sanitizer
    g.loaded = true;
    return g;
}

float linear(Vec3 p) {
    return 1.0f + 2.0f * p.x - 3.0f * p.y + 0.5f * p.z;
}

// Binary fractions only, so node positions are exact.
const Vec3 kOrigin{-1.0f, 2.0f, 0.5f}, kDelta{0.5f, 0.25f, 1.0f};

} // namespace

TEST(Sampling, ReproducesLinearFieldsAndNodes) {
    const PotentialGrid g = makeGrid(5, 6, 4, kOrigin, kDelta, linear);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int n = 0; n < 1000; ++n) {
        const Vec3 p{kOrigin.x + 2.0f * u(rng), kOrigin.y + 1.25f * u(rng),
                     kOrigin.z + 3.0f * u(rng)};
        bool clamped = true;
        EXPECT_NEAR(samplePotential(g, p, &clamped), linear(p), 1e-4f);
        EXPECT_FALSE(clamped);
        EXPECT_NEAR(samplePotential(g, p, nullptr, CellQuotient::Double), linear(p), 1e-4f);
    }
    // On a node the weights are exactly 1 and 0: the node's own value.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 5; ++j)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(samplePotential(
                              g, {kOrigin.x + i * 0.5f, kOrigin.y + j * 0.25f, kOrigin.z + k}),
                          g.at(i, j, k));
}

TEST(Sampling, OutsideAndUpperFacesUseTheNearestPointOfTheBox) {
    // Box: x in [-1, 1], y in [2, 3.25], z in [0.5, 3.5].
    const PotentialGrid g = makeGrid(5, 6, 4, kOrigin, kDelta, linear);
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        Vec3 p, nearest;
    };
    const Case cases[] = {
        {{5.0f, 2.5f, 1.0f}, {1.0f, 2.5f, 1.0f}},     // beyond x
        {{-7.0f, 1.0f, 9.0f}, {-1.0f, 2.0f, 3.5f}},   // below x and y, beyond z
        {{1.0f, 3.25f, 3.5f}, {1.0f, 3.25f, 3.5f}},   // the upper corner itself
        {{0.25f, 3.25f, 1.5f}, {0.25f, 3.25f, 1.5f}}, // on the upper y face
        {{inf, -inf, 2.0f}, {1.0f, 2.0f, 2.0f}},
    };
    for (const Case& c : cases) {
        bool clamped = false;
        EXPECT_NEAR(samplePotential(g, c.p, &clamped), linear(c.nearest), 1e-5f)
            << c.p.x << " " << c.p.y << " " << c.p.z;
        EXPECT_TRUE(clamped);
    }
    // On the upper corner the last node is read with weight 1.
    EXPECT_EQ(samplePotential(g, {1.0f, 3.25f, 3.5f}), g.at(4, 5, 3));
    // A point that is not a number still gives a finite value.
    EXPECT_TRUE(std::isfinite(samplePotential(g, {std::nanf(""), 2.5f, 1.0f})));
    // An empty grid gives 0.
    bool clamped = false;
    EXPECT_EQ(samplePotential(PotentialGrid{}, {0, 0, 0}, &clamped), 0.0f);
    EXPECT_TRUE(clamped);
}

TEST(Sampling, MapPotentialToMesh) {
    // V = x. Face 0 has corners at x = -2, 2, 0 and area ½·4·1.5 = 3, so its
    // power is 3·2/3 + 3·2/3 + 0 = 4. Vertex 3 lies beyond the box (x ≤ 4)
    // and reads the border value 4; face 1 lies in the plane x = 0, where
    // every potential is 0, so its power is 0.
    const PotentialGrid g = makeGrid(9, 5, 5, {-4, -1, -1}, {1, 1, 1}, [](Vec3 p) { return p.x; });
    TriMesh m;
    for (Vec3 p : {Vec3{-2, 0, 0}, Vec3{2, 0, 0}, Vec3{0, 1.5f, 0}, Vec3{9, 0, 0}, Vec3{0, 0, 1},
                   Vec3{0, 1, 1}})
        m.vertices.push_back({p, {}, 0});
    m.faces.resize(3);
    m.faces[0].v[0] = 0, m.faces[0].v[1] = 1, m.faces[0].v[2] = 2;
    m.faces[1].v[0] = 2, m.faces[1].v[1] = 4, m.faces[1].v[2] = 5;
    m.faces[2].v[0] = 1, m.faces[2].v[1] = 3, m.faces[2].v[2] = 2;
    const MappingResult r = mapPotentialToMesh(g, m);
    EXPECT_EQ(r.verticesOutside, 1);
    EXPECT_EQ(m.vertices[0].potential, -2.0f);
    EXPECT_EQ(m.vertices[3].potential, 4.0f);
    EXPECT_FLOAT_EQ(m.faces[0].power, 4.0f);
    EXPECT_EQ(m.faces[1].power, 0.0f);
    EXPECT_GT(m.faces[2].power, 0.0f);

    // A grid that was never loaded maps 0 everywhere.
    const MappingResult none = mapPotentialToMesh(PotentialGrid{}, m);
    for (const MeshVertex& v : m.vertices)
        EXPECT_EQ(v.potential, 0.0f);
    for (const MeshFace& f : m.faces)
        EXPECT_EQ(f.power, 0.0f);
    EXPECT_EQ(none.verticesOutside, 6);
}
