// Tests of the viewer's PLY reader. The files are written by the tests, except
// data/meshlab_torus.ply, which MeshLab wrote from data/meshlab_torus.off
// ("meshlabserver -i meshlab_torus.off -o meshlab_torus.ply -m vc vn").
#include "ply_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace quorax {
namespace {

namespace fs = std::filesystem;
using Tri = std::array<int32_t, 3>;

enum class Encoding { Ascii, Little, Big };
constexpr Encoding kEncodings[] = {Encoding::Ascii, Encoding::Little, Encoding::Big};

// A PLY file with `header` between the format line and end_header, and one
// data item per string of typed values: "b3" one byte, "s3" two, "i3" four
// (integers), "f0.5" float, "d0.5" double. ASCII writes the values as typed,
// binary writes their bytes in the chosen order.
std::string plyFile(Encoding e, const std::string& header, const std::vector<std::string>& items) {
    const char* format = e == Encoding::Ascii    ? "ascii"
                         : e == Encoding::Little ? "binary_little_endian"
                                                 : "binary_big_endian";
    std::string out = "ply\nformat " + std::string(format) + " 1.0\n" + header + "end_header\n";
    for (const std::string& item : items) {
        std::istringstream in(item);
        std::string token;
        for (bool first = true; in >> token; first = false) {
            const std::string text = token.substr(1);
            if (e == Encoding::Ascii) {
                out += (first ? "" : " ") + text;
                continue;
            }
            uint64_t bits = static_cast<uint64_t>(std::stoll(text));
            int bytes = token[0] == 'b' ? 1 : token[0] == 's' ? 2 : 4;
            if (token[0] == 'f') bits = std::bit_cast<uint32_t>(std::stof(text));
            if (token[0] == 'd') bits = std::bit_cast<uint64_t>(std::stod(text)), bytes = 8;
            for (int i = 0; i < bytes; ++i)
                out += static_cast<char>(bits >> (8 * (e == Encoding::Little ? i : bytes - 1 - i)));
        }
        if (e == Encoding::Ascii) out += '\n';
    }
    return out;
}

const std::string kXyz = "property float x\nproperty float y\nproperty float z\n";
const std::string kFaces = "property list uchar int vertex_indices\n";

std::vector<Tri> triangles(const ViewerMesh& m) {
    std::vector<Tri> t;
    for (const MeshFace& f : m.tri.faces)
        t.push_back({f.v[0], f.v[1], f.v[2]});
    return t;
}

std::vector<std::array<float, 3>> positions(const ViewerMesh& m) {
    std::vector<std::array<float, 3>> p;
    for (const MeshVertex& v : m.tri.vertices)
        p.push_back({v.pos.x, v.pos.y, v.pos.z});
    return p;
}

void expectEmptyModel(const ViewerMesh& m) {
    EXPECT_EQ(m.vertexCount(), 0);
    EXPECT_EQ(m.faceCount(), 0);
    EXPECT_TRUE(m.vertexData.empty() && m.faceFlags.empty());
    EXPECT_TRUE(m.bboxMin == (Vec3{1, 1, 1}) && m.bboxMax == (Vec3{-1, -1, -1}));
}

class PlyReader : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quorax_ply_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    bool load(const std::string& bytes) {
        const std::string path = (dir_ / "model.ply").string();
        std::ofstream(path, std::ios::binary) << bytes;
        return loadPlyViewerMesh(mesh, path, error);
    }

    fs::path dir_;
    ViewerMesh mesh;
    std::string error;
};

TEST_F(PlyReader, EveryEncodingKeepsFileOrderAndIgnoresOtherProperties) {
    // Coordinates of three types among colour and normal properties, texture
    // lists around the faces' indices, elements before and after.
    const std::string header = R"(comment as scanners and editors write it
element camera 1
property float view_px
property int viewport
element vertex 5
property float x
property uchar red
property double y
property short z
property float nx
element face 4
property int flags
property list uchar int vertex_indices
property list uchar float texcoord
property uchar red
element material 1
property list int uchar name
)";
    const std::vector<std::string> items = {"f1 i640",
                                            "f0.5 b10 d-2.25 s3 f0.1",
                                            "f1 b0 d0 s0 f0",
                                            "f0 b0 d1 s0 f0",
                                            "f1 b0 d0 s0 f0", // same place as vertex 1: not welded
                                            "f-7 b0 d0.001 s-4 f0",
                                            "i0 b3 i3 i1 i0 b6 f0 f0 f1 f0 f1 f1 b1",
                                            "i1 b3 i4 i2 i1 b0 b2",
                                            "i0 b3 i0 i2 i3 b0 b3",
                                            "i0 b3 i3 i1 i0 b0 b4", // a repeated face is kept
                                            "i3 b65 b66 b67"};
    const std::vector<std::array<float, 3>> expectedPositions = {
        {0.5f, -2.25f, 3}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {-7, 0.001f, -4}};
    const std::vector<Tri> expectedFaces = {{3, 1, 0}, {4, 2, 1}, {0, 2, 3}, {3, 1, 0}};
    for (Encoding e : kEncodings) {
        SCOPED_TRACE(static_cast<int>(e));
        ASSERT_TRUE(load(plyFile(e, header, items))) << error;
        EXPECT_EQ(positions(mesh), expectedPositions);
        EXPECT_EQ(triangles(mesh), expectedFaces);
        EXPECT_TRUE(mesh.tri.loaded);
        for (const ViewerVertexData& d : mesh.vertexData)
            EXPECT_EQ(d.color, kPlyVertexColor);
    }
}

TEST_F(PlyReader, PolygonsBecomeFansAndTheDerivationsRun) {
    // A 2 × 1 quad at z = 1, a pentagon of area 1.5 at z = −1 and a vertex of
    // no face; indices as ushort/uint under the other common list name.
    const std::string header =
        "element vertex 10\n" + kXyz + "element face 2\nproperty list ushort uint vertex_index\n";
    ASSERT_TRUE(load(plyFile(Encoding::Ascii, header,
                             {"f0 f0 f1", "f2 f0 f1", "f2 f1 f1", "f0 f1 f1", "f0 f0 f-1",
                              "f1 f0 f-1", "f1 f1 f-1", "f0.5 f2 f-1", "f0 f1 f-1", "f-3 f0 f0",
                              "s4 i0 i1 i2 i3", "s5 i4 i5 i6 i7 i8"})))
        << error;
    EXPECT_EQ(triangles(mesh),
              (std::vector<Tri>{{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}, {4, 7, 8}}));
    EXPECT_TRUE(mesh.bboxMin == (Vec3{-3, 0, -1}) && mesh.bboxMax == (Vec3{2, 2, 1}));
    // face normals are twice the triangle areas long: 1 + 1 (quad), 0.5 + 0.75 + 0.25 (pentagon)
    const float twiceAreas[] = {2, 2, 1, 1.5f, 0.5f};
    for (int f = 0; f < 5; ++f)
        EXPECT_TRUE(mesh.tri.faces[f].normal == (Vec3{0, 0, twiceAreas[f]})) << f;
    // vertex normals are the sums over their faces
    EXPECT_TRUE(mesh.tri.vertices[0].normal == (Vec3{0, 0, 4}));
    EXPECT_TRUE(mesh.tri.vertices[4].normal == (Vec3{0, 0, 3}));
    EXPECT_TRUE(mesh.tri.vertices[7].normal == (Vec3{0, 0, 2}));
    EXPECT_TRUE(mesh.tri.vertices[9].normal == (Vec3{0, 0, 0}));

    // a valid file without vertices is the empty model
    ASSERT_TRUE(load(
        plyFile(Encoding::Ascii, "element vertex 0\n" + kXyz + "element face 0\n" + kFaces, {})))
        << error;
    expectEmptyModel(mesh);
}

TEST_F(PlyReader, TriangleStripsAreDecodedWithFlipsAndRestarts) {
    // Vertices 0, 2, 4 on y = 0 and 1, 3, 5 on y = 1. Strips come before the
    // face element in the header, so their triangles come first.
    const std::string header =
        "element vertex 6\n" + kXyz +
        "element tristrips 2\nproperty list int int vertex_indices\nelement face 1\n" + kFaces;
    ASSERT_TRUE(load(
        plyFile(Encoding::Big, header,
                {"f0 f0 f0", "f0 f1 f0", "f1 f0 f0", "f1 f1 f0", "f2 f0 f0", "f2 f1 f0",
                 "i12 i0 i1 i2 i3 i4 i5 i-1 i2 i3 i3 i4 i5", "i4 i4 i3 i5 i2", "b3 i0 i2 i1"})))
        << error;
    // After the restart, the windows (2,3,3) and (3,3,4) give nothing but
    // still count, so (3,4,5) is unflipped; the second strip starts afresh.
    const std::vector<Tri> expected = {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5},
                                       {3, 4, 5}, {4, 3, 5}, {5, 3, 2}, {0, 2, 1}};
    EXPECT_EQ(triangles(mesh), expected);
    // the flips keep one orientation along the first strip
    for (int f = 0; f < 4; ++f)
        EXPECT_TRUE(mesh.tri.faces[f].normal == (Vec3{0, 0, -1})) << f;
}

TEST_F(PlyReader, RefusesBadFilesAndLeavesAnEmptyModel) {
    // three vertices, then the item of the case's extra element
    const std::string v3 = "element vertex 3\n" + kXyz, face1 = "element face 1\n" + kFaces;
    const auto on3 = [](const std::string& item) {
        return std::vector<std::string>{"f0 f0 f0", "f1 f0 f0", "f0 f1 f0", item};
    };
    const struct {
        std::string bytes, error;
    } cases[] = {
        {plyFile(Encoding::Ascii, v3 + face1, on3("b3 i0 i1 i3")),
         "line 13: face 0 names vertex 3, but the file has 3 vertices"},
        {plyFile(Encoding::Little, v3 + face1, on3("b3 i0 i-1 i2")),
         "face 0 names vertex -1, but the file has 3 vertices"},
        {plyFile(Encoding::Big, v3 + "element tristrips 1\nproperty list int int vertex_indices\n",
                 on3("i4 i0 i1 i2 i9")),
         "tristrip 0 names vertex 9, but the file has 3 vertices"},
        {plyFile(Encoding::Ascii, v3 + face1, on3("b2 i0 i1")),
         "line 13: face 0 has 2 corners; a face needs at least 3"},
        {plyFile(Encoding::Ascii, v3, {"f0 fabc f0"}),
         "line 8: cannot read \"abc\" as property y (type float) of element vertex"},
        {plyFile(Encoding::Ascii, v3 + "element face 1\nproperty list uchar float vertex_indices\n",
                 {}),
         "line 7: vertex_indices of element face is a list of float, not of integers"},
        {plyFile(Encoding::Ascii, "element vertex 0\nproperty float x\nproperty float y\n" + face1,
                 {}),
         "no vertex element with x, y, z"},
        {plyFile(Encoding::Ascii, v3 + "property int64 w\n", {}),
         "line 7: unknown property type \"int64\""},
        {"ply\nformat ascii 1.0\nproperty float x\nend_header\n",
         "line 3: property before any element"},
        {"ply\nformat ascii 1.0\n" + v3, "the header has no end_header line"},
        {"solid cube\n", "not a PLY file (the first line is not \"ply\")"},
    };
    const std::string good = plyFile(Encoding::Ascii, v3 + face1, on3("b3 i0 i1 i2"));
    for (const auto& c : cases) {
        ASSERT_TRUE(load(good)) << error;
        EXPECT_FALSE(load(c.bytes));
        EXPECT_EQ(error, c.error);
        expectEmptyModel(mesh);
    }
    ASSERT_TRUE(load(good));
    EXPECT_FALSE(loadPlyViewerMesh(mesh, (dir_ / "absent.ply").string(), error));
    EXPECT_EQ(error, "No such file or directory");
    expectEmptyModel(mesh);
}

TEST_F(PlyReader, RefusesTruncatedFiles) {
    const std::string header = "element vertex 3\n" + kXyz + "element face 1\n" + kFaces +
                               "element tristrips 1\nproperty list int int vertex_indices\n";
    const auto items = [](const std::string& strip) {
        return std::vector<std::string>{"f0 f0 f0", "f1 f0 f0", "f0 f1 f0", "b3 i0 i1 i2", strip};
    };
    for (Encoding e : {Encoding::Little, Encoding::Big}) {
        const std::string full = plyFile(e, header, items("i3 i2 i1 i0"));
        ASSERT_TRUE(load(full)) << error;
        // every cut inside the data, from none of it to all but its last byte
        for (std::size_t size = full.find("end_header\n") + 11; size < full.size(); ++size) {
            EXPECT_FALSE(load(full.substr(0, size))) << size;
            EXPECT_EQ(error.rfind("the file ends inside element ", 0), 0u) << error;
            expectEmptyModel(mesh);
        }
    }
    // list lengths the bytes left cannot hold are refused before anything is allocated for them
    EXPECT_FALSE(load(plyFile(Encoding::Little, header, items("i2147483647 i0"))));
    EXPECT_EQ(error, "the file ends inside element tristrips, after 0 of its 1 items");
    EXPECT_FALSE(load(plyFile(Encoding::Big, header, items("i-5 i0"))));
    EXPECT_EQ(error, "list vertex_indices of element tristrips item 0 has a negative length");
    // ASCII: a missing line, a line cut short
    EXPECT_FALSE(load(plyFile(Encoding::Ascii, header, {"f0 f0 f0", "f1 f0 f0"})));
    EXPECT_EQ(error, "the file ends inside element vertex, after 2 of its 3 items");
    EXPECT_FALSE(
        load(plyFile(Encoding::Ascii, header, {"f0 f0 f0", "f1 f0 f0", "f0 f1 f0", "b3 i0 i1"})));
    EXPECT_EQ(error, "the file ends inside element face, after 0 of its 1 items");
    expectEmptyModel(mesh);
}

TEST_F(PlyReader, ReadsAMeshLabExportLikeItsSource) {
    ASSERT_TRUE(loadPlyViewerMesh(mesh, QUORAX_VIEWER_TEST_DATA "/meshlab_torus.ply", error))
        << error;
    // the source is a COFF file: positions and colours, then triangles
    std::ifstream off(QUORAX_VIEWER_TEST_DATA "/meshlab_torus.off");
    std::string magic;
    int vertices = 0, faces = 0, edges = 0, rgba[4], corners = 0;
    ASSERT_TRUE(off >> magic >> vertices >> faces >> edges);
    ASSERT_EQ(mesh.vertexCount(), vertices);
    ASSERT_EQ(mesh.faceCount(), faces);
    for (const MeshVertex& v : mesh.tri.vertices) {
        Vec3 p;
        off >> p.x >> p.y >> p.z >> rgba[0] >> rgba[1] >> rgba[2] >> rgba[3];
        EXPECT_TRUE(v.pos == p);
    }
    for (const MeshFace& f : mesh.tri.faces) {
        Tri t;
        off >> corners >> t[0] >> t[1] >> t[2];
        EXPECT_EQ((Tri{f.v[0], f.v[1], f.v[2]}), t);
    }
    EXPECT_TRUE(off);
}

} // namespace
} // namespace quorax
