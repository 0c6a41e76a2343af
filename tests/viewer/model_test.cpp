// The viewer's model without the window: the PLY reader's fans, strips and refusals, and the arrow heads.
#include <fstream>

#include "decorations.h"
#include "ply_reader.h"
#include "viewer_test.h"

using namespace quorax;
using namespace quorax::test;
using Tri = std::array<int32_t, 3>;

namespace {

std::vector<Tri> triangles(const ViewerMesh& m) {
    std::vector<Tri> t;
    for (const MeshFace& f : m.tri.faces) t.push_back({f.v[0], f.v[1], f.v[2]});
    return t;
}

class PlyReader : public ::testing::Test {
protected:
    TempDir dir;
    ViewerMesh mesh;
    std::string error;
    bool load(const std::string& bytes) {
        dir.write("m.ply", bytes);
        return loadPlyViewerMesh(mesh, dir.file("m.ply"), error);
    }
};

const std::string kV3 = "element vertex 3\n" + kXyz, kFace1 = "element face 1\n" + kFaceList,
                  kStrips = "element tristrips 1\nproperty list int int vertex_indices\n";
std::vector<std::string> on3(const std::vector<std::string>& items) {
    std::vector<std::string> all = {"f0 f0 f0", "f1 f0 f0", "f0 f1 f0"};
    all.insert(all.end(), items.begin(), items.end());
    return all;
}

} // namespace

TEST_F(PlyReader, PolygonsBecomeFansAndStripsAreDecoded) {
    // A quad and a pentagon under the other list name, ushort/uint indices.
    std::vector<std::string> items(9, "f0 f0 f0");
    items.insert(items.end(), {"s4 i0 i1 i2 i3", "s5 i4 i5 i6 i7 i8"});
    const std::string faces = "element face 2\nproperty list ushort uint vertex_index\n";
    ASSERT_TRUE(load(plyFile(Ply::Ascii, "element vertex 9\n" + kXyz + faces, items)));
    EXPECT_EQ(triangles(mesh), (std::vector<Tri>{{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {4, 7, 8}}));
    // Strips before the face: every second window flipped, −1 restarts, windows repeating an index give nothing
    // but still count for the flips.
    ASSERT_TRUE(load(plyFile(Ply::Big, "element vertex 6\n" + kXyz + "element tristrips 2\n"
                             "property list int int vertex_indices\n" + kFace1,
                             {"f0 f0 f0", "f0 f1 f0", "f1 f0 f0", "f1 f1 f0", "f2 f0 f0", "f2 f1 f0",
                              "i12 i0 i1 i2 i3 i4 i5 i-1 i2 i3 i3 i4 i5", "i4 i4 i3 i5 i2", "b3 i0 i2 i1"})));
    EXPECT_EQ(triangles(mesh), (std::vector<Tri>{{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5}, {3, 4, 5}, {4, 3, 5},
                                                 {5, 3, 2}, {0, 2, 1}}));
}

TEST_F(PlyReader, RefusesBadAndTruncatedFilesAndLeavesAnEmptyModel) {
    const std::string of3 = ", but the file has 3 vertices", ends = "the file ends inside element ";
    std::vector<std::pair<std::string, std::string>> all = {
        {plyFile(Ply::Ascii, kV3 + kFace1, on3({"b3 i0 i1 i3"})), "line 13: face 0 names vertex 3" + of3},
        {plyFile(Ply::Little, kV3 + kFace1, on3({"b3 i0 i-1 i2"})), "face 0 names vertex -1" + of3},
        {plyFile(Ply::Big, kV3 + kStrips, on3({"i4 i0 i1 i2 i9"})), "tristrip 0 names vertex 9" + of3},
        {plyFile(Ply::Ascii, kV3, {"f0 f0 f0", "f1 f0 f0"}), ends + "vertex, after 2 of its 3 items"},
        // A list longer than the bytes left is refused before anything is allocated for it.
        {plyFile(Ply::Little, kV3 + kStrips, on3({"i2147483647 i0"})), ends + "tristrips, after 0 of its 1 items"},
    };
    // Every cut inside the binary data, from none of it to all but its last byte.
    for (Ply e : {Ply::Little, Ply::Big}) {
        const std::string full = plyFile(e, kV3 + kFace1 + kStrips, on3({"b3 i0 i1 i2", "i3 i2 i1 i0"}));
        ASSERT_TRUE(load(full)) << error;
        for (std::size_t size = full.find("end_header\n") + 11; size < full.size(); ++size)
            all.emplace_back(full.substr(0, size), ends);
    }
    for (const auto& [bytes, message] : all) {
        ASSERT_TRUE(load(plyFile(Ply::Ascii, kV3 + kFace1, on3({"b3 i0 i1 i2"})))) << error;
        EXPECT_FALSE(load(bytes));
        EXPECT_EQ(error.substr(0, message.size()), message); // cuts: the element and count follow
        EXPECT_EQ(mesh.vertexCount() + mesh.faceCount() + int(mesh.vertexData.size()), 0);
        EXPECT_TRUE(mesh.bboxMin == (Vec3{1, 1, 1}) && mesh.bboxMax == (Vec3{-1, -1, -1}));
    }
}

// data/meshlab_torus.ply was written by MeshLab ("meshlabserver -i meshlab_torus.off -o meshlab_torus.ply -m vc vn")
// from the COFF file beside it: the same positions and triangles, in file order.
TEST_F(PlyReader, ReadsAMeshLabExportLikeItsSource) {
    ASSERT_TRUE(loadPlyViewerMesh(mesh, QUORAX_VIEWER_TEST_DATA "/meshlab_torus.ply", error)) << error;
    std::ifstream off(QUORAX_VIEWER_TEST_DATA "/meshlab_torus.off");
    std::string magic;
    int vertices = 0, faces = 0, edges = 0, rgba[4], corners = 0;
    ASSERT_TRUE(off >> magic >> vertices >> faces >> edges);
    ASSERT_EQ(std::pair(mesh.vertexCount(), mesh.faceCount()), std::pair(vertices, faces));
    for (const MeshVertex& v : mesh.tri.vertices) {
        Vec3 p;
        off >> p.x >> p.y >> p.z >> rgba[0] >> rgba[1] >> rgba[2] >> rgba[3];
        EXPECT_TRUE(v.pos == p);
    }
    for (const Tri& t : triangles(mesh)) {
        Tri want;
        off >> corners >> want[0] >> want[1] >> want[2];
        EXPECT_EQ(t, want);
    }
    EXPECT_TRUE(off);
}

TEST(Decorations, EverySeventhPointAndTheJitterCarriedOver) {
    // Points (0, y, 0) … (n−1, y, 0), one apart along x.
    auto alongX = [](int n, float y = 0) {
        FieldLine l;
        for (int i = 0; i < n; ++i) l.points.push_back({float(i), y, 0});
        return l;
    };
    ViewerRandom random; // never seeded: std::mt19937's default sequence
    std::vector<Vec3> at, dir;
    std::vector<float> size;
    // Skip 5, pyr 2, walked from point 19: starts at steps 5, 12, 19 (points 14, 7, 0), each reaching 2 points on;
    // the last has no room, nor has a line shorter than 7, and lines of fewer than two points get nothing.
    placeDecorations({alongX(20), alongX(7), alongX(1), {}}, 5, 2, 0, random, at, dir, size);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_TRUE(at[0] == (Vec3{14, 0, 0}) && at[1] == (Vec3{7, 0, 0}) && dir[0] == (Vec3{-1, 0, 0}) && size[1] == 2);
    // A skip is drawn at every start, the dropped ones included: four in all.
    std::mt19937 reference;
    reference.discard(4);
    EXPECT_EQ(random.rand31(), int32_t(reference() >> 1));
    // Jitter 0.2: skips 5, then 5.806 (carried to the second line), 4.651 (rand31 mod 2000: 1806, 651).
    random.restart();
    at.clear();
    placeDecorations({alongX(10), alongX(20, 1)}, 5, 2, 0.2f, random, at, dir, size);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_TRUE(at[0] == (Vec3{4, 0, 0}) && at[1] == (Vec3{13, 1, 0}) && at[2] == (Vec3{6, 1, 0}));
}

TEST(Decorations, ThreeGiveFiftyFourVertices) {
    const Log lines = splitLines(formatDecorationObj({{0, 0, 0}, {5, 0, 0}, {0, 5, 0}},
                                                     {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {2, 1, 3}));
    ASSERT_EQ(lines.size(), 72u);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].substr(0, 2), i % 4 == 3 ? "f " : "v ") << i;
    EXPECT_EQ(lines.back(), "f 52 53 54");
    // Size 1: half-diagonal 0.25 (2 and more: 0.5). Along ±y the base collapses onto B.
    EXPECT_EQ(lines[24], "v 5.000000 -0.250000 0.000000");
    EXPECT_EQ(lines[48] + lines[49], "v 0.000000 5.000000 0.000000v 0.000000 5.000000 0.000000");
}
