// Normals and areas of the surface, under both scaling rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "mesh.h"

using namespace quorax;

TEST(Mesh, NormalsAndAreas) {
    // Face 0 is counter-clockwise seen from +z, so it faces +z; its area is ½·4·1.5 = 3. Face 1 lies in the plane x = 0
    // facing −x. Collinear face 3 gets a zero normal and area, not NaN. Unit rule: vertex 2 weighs each face 1, (0, 0,
    // 1) + (−1, 0, 0) + (0, 0, 1) normalised. Unnormalised rule: the face normal is twice the area long and vertex 2
    // sums (0, 0, 6) + (−1, 0, 0) + (0, 0, 10.5).
    TriMesh m;
    for (Vec3 p : {Vec3{-2, 0, 0}, {2, 0, 0}, {0, 1.5f, 0}, {9, 0, 0}, {0, 0, 1}, {0, 1, 1}})
        m.vertices.push_back({p, {}, 0});
    for (auto [a, b, c] : {std::array{0, 1, 2}, {2, 4, 5}, {1, 3, 2}, {0, 1, 3}})
        m.faces.push_back({{a, b, c}, {}, 0, false});
    computeFaceNormals(m);
    computeVertexNormals(m);
    EXPECT_EQ((std::vector{m.faces[0].normal, m.faces[1].normal, m.faces[3].normal}),
              (std::vector<Vec3>{{0, 0, 1}, {-1, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(std::pair(faceArea(m, 0), faceArea(m, 3)), std::pair(3.0f, 0.0f));
    EXPECT_NEAR(length(m.vertices[2].normal - Vec3{-1, 0, 2} * (1 / std::sqrt(5.0f))), 0, 1e-6f);
    computeFaceNormals(m, NormalRule::Unnormalised);
    computeVertexNormals(m, NormalRule::Unnormalised);
    EXPECT_EQ((std::vector{m.faces[0].normal, m.faces[1].normal, m.faces[2].normal}),
              (std::vector<Vec3>{{0, 0, 6}, {-1, 0, 0}, {0, 0, 10.5f}}));
    EXPECT_EQ(m.vertices[2].normal, (Vec3{-1, 0, 16.5f}));
    // A deleted face keeps the normal it had and adds nothing to its corners.
    const std::vector<uint32_t> flags = {0, kDeletedFlag, 0, 0};
    m.faces[1].normal = {7, 7, 7};
    computeFaceNormals(m, NormalRule::Unnormalised, flags);
    computeVertexNormals(m, NormalRule::Unnormalised, flags);
    EXPECT_EQ(m.faces[1].normal, (Vec3{7, 7, 7}));
    EXPECT_EQ(m.vertices[2].normal, (Vec3{0, 0, 16.5f}));
    EXPECT_EQ(m.vertices[4].normal, (Vec3{0, 0, 0}));
    computeVertexNormals(m, NormalRule::Unit, flags);
    EXPECT_EQ(m.vertices[2].normal, (Vec3{0, 0, 1}));
}

TEST(Mesh, FacesThatAreNotFinite) {
    // Face 1 has a NaN corner, face 2 a corner at 1e30 (its area overflows), face 3 a finite area but an infinite
    // power; face 4 is degenerate, which is finite. The others keep their order and the vertices stay.
    TriMesh m;
    for (Vec3 p : {Vec3{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {NAN, 0, 0}, {1e30f, 0, 0}, {0, 1e30f, 0}})
        m.vertices.push_back({p, {}, 0});
    for (auto [a, b, c] : {std::array{0, 1, 2}, {0, 3, 2}, {0, 4, 5}, {2, 1, 0}, {0, 1, 1}})
        m.faces.push_back({{a, b, c}, {}, 0, false});
    m.faces[3].power = INFINITY;
    m.faces[4].power = 2;
    EXPECT_EQ(removeNonFiniteFaces(m), 3);
    ASSERT_EQ(m.faceCount(), 2);
    EXPECT_EQ(std::pair(m.faces[0].v[2], m.faces[1].power), std::pair(2, 2.0f));
    EXPECT_EQ(m.vertexCount(), 6);
    EXPECT_EQ(removeNonFiniteFaces(m), 0);
}
