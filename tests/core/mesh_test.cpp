// Face normals, vertex normals and triangle areas.
#include "mesh.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace quorax;

namespace {

TriMesh makeMesh(std::vector<Vec3> positions, std::vector<std::array<int32_t, 3>> faces) {
    TriMesh m;
    for (Vec3 p : positions)
        m.vertices.push_back({p, {}, 0.0f});
    for (auto f : faces)
        m.faces.push_back({{f[0], f[1], f[2]}, {}, 0.0f, false});
    computeFaceNormals(m);
    computeVertexNormals(m);
    return m;
}

void expectNear(Vec3 got, Vec3 want) {
    EXPECT_NEAR(length(got - want), 0.0f, 1e-6f) << got.x << " " << got.y << " " << got.z;
}

} // namespace

TEST(Mesh, NormalsAndArea) {
    // Counter-clockwise seen from +z: the right-hand rule gives +z; the
    // reversed corner order faces −z.
    const TriMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {2, 1, 0}});
    EXPECT_EQ(m.faces[0].normal, (Vec3{0, 0, 1}));
    EXPECT_EQ(m.faces[1].normal, (Vec3{0, 0, -1}));
    EXPECT_EQ(faceArea(m, 0), 0.5f);
    EXPECT_EQ(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}).vertices[2].normal,
              (Vec3{0, 0, 1}));

    // Face 0 (area 0.5) faces +z, face 1 (area 5, ten times larger) faces +y.
    // Every face weighs 1, so the shared vertices 0 and 1 get (0, 1, 1)/√2.
    const TriMesh two =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 10}}, {{0, 1, 2}, {0, 3, 1}});
    EXPECT_EQ(faceArea(two, 1), 5.0f);
    const float h = std::sqrt(0.5f);
    expectNear(two.vertices[0].normal, {0, h, h});
    expectNear(two.vertices[1].normal, {0, h, h});
    expectNear(two.vertices[3].normal, {0, 1, 0});
    EXPECT_NO_FATAL_FAILURE(makeMesh({}, {})); // an empty mesh
}

TEST(Mesh, DegenerateGeometryGivesZeroNotNaN) {
    // Face 0 has collinear corners; vertex 4 is in no face; faces 1 and 2
    // are one triangle in both orientations, so their normals cancel at
    // vertex 3. All of these get the zero vector.
    const TriMesh m = makeMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {5, 5, 5}},
                               {{0, 1, 2}, {0, 1, 3}, {3, 1, 0}});
    EXPECT_EQ(m.faces[0].normal, (Vec3{0, 0, 0}));
    EXPECT_EQ(faceArea(m, 0), 0.0f);
    for (int v : {2, 3, 4})
        EXPECT_EQ(m.vertices[v].normal, (Vec3{0, 0, 0})) << v;
    EXPECT_EQ(normalize({0, 0, 0}), (Vec3{0, 0, 0}));
    expectNear(normalize({3, 0, 4}), {0.6f, 0, 0.8f});
}
