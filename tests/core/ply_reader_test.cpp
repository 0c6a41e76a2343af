// The PLY reader: fans, strips, every encoding, the header's and the data's refusals with their messages, and
// hostile files (huge counts, byte order marks, control bytes).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>

#include "ply_file.h"
#include "ply_reader.h"
#include "process.h"

using namespace quorax;
using namespace quorax::test;
using Tri = std::array<int32_t, 3>;

namespace {

std::vector<Tri> triangles(const TriMesh& m) {
    std::vector<Tri> t;
    for (const MeshFace& f : m.faces) t.push_back({f.v[0], f.v[1], f.v[2]});
    return t;
}

class PlyReader : public ::testing::Test {
  protected:
    TriMesh mesh;
    ReadStatus status;
    std::string error; // the status as the programs word it after the file name
    // Reads from an exact-size heap copy, so that the sanitizer catches a read past the end.
    bool load(const std::string& bytes) {
        const std::vector<char> exact(bytes.begin(), bytes.end());
        status = readPlyMesh(mesh, {exact.data(), exact.size()});
        error = readProblemText(status);
        return status.ok();
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
    EXPECT_TRUE(mesh.loaded);
    // Strips before the face: every second window flipped, −1 restarts, windows repeating an index give nothing
    // but still count for the flips.
    ASSERT_TRUE(load(plyFile(Ply::Big,
                             "element vertex 6\n" + kXyz +
                                 "element tristrips 2\n"
                                 "property list int int vertex_indices\n" +
                                 kFace1,
                             {"f0 f0 f0", "f0 f1 f0", "f1 f0 f0", "f1 f1 f0", "f2 f0 f0", "f2 f1 f0",
                              "i12 i0 i1 i2 i3 i4 i5 i-1 i2 i3 i3 i4 i5", "i4 i4 i3 i5 i2", "b3 i0 i2 i1"})));
    EXPECT_EQ(
        triangles(mesh),
        (std::vector<Tri>{{0, 1, 2}, {2, 1, 3}, {2, 3, 4}, {4, 3, 5}, {3, 4, 5}, {4, 3, 5}, {5, 3, 2}, {0, 2, 1}}));
}

TEST_F(PlyReader, EveryTypeInEveryEncodingAndOtherElementsReadPast) {
    // x of each integer type at its extreme, y and z as double and float; lists of floats and of chars around
    // the index list, and elements before and after the vertices that the surface does not use.
    const std::string header = "element camera 2\nproperty float view\nproperty list uchar float uv\n"
                               "element vertex 6\nproperty char x\nproperty double y\nproperty float z\n"
                               "element face 1\nproperty list uchar short uv\n" +
                               kFaceList + "property uchar flags\nelement material 1\nproperty list int uchar name\n";
    for (Ply e : {Ply::Ascii, Ply::Little, Ply::Big}) {
        const std::string types[] = {"char", "uchar", "short", "ushort", "int", "uint"};
        const std::string extremes[] = {"b-128", "b255", "s-32768", "s65535", "i-2147483648", "i4294967295"};
        for (int t = 0; t < 6; ++t) {
            std::string h = header;
            h.replace(h.find("char x"), 4, types[t]);
            const std::string zero = extremes[t].substr(0, 1) + "0 d0 f0";
            ASSERT_TRUE(load(plyFile(e, h,
                                     {"f1 b2 f0.5 f7", "f2 b0", extremes[t] + " d0.1 f0.1", zero, zero, zero, zero,
                                      zero, "b1 s-5 b4 i5 i4 i3 i2 b9", "i2 b65 b66"})))
                << error;
            const double want[] = {-128, 255, -32768, 65535, -2147483648.0, 4294967295.0};
            EXPECT_EQ(mesh.vertices[0].pos.x, float(want[t])) << types[t];
            // Doubles are rounded to float once; float words convert as strtof.
            EXPECT_TRUE(mesh.vertices[0].pos.y == float(0.1) && mesh.vertices[0].pos.z == 0.1f);
            EXPECT_EQ(triangles(mesh), (std::vector<Tri>{{5, 4, 3}, {5, 3, 2}}));
        }
    }
    // ASCII words beyond plain decimals convert as strtof would: a plus sign, hexadecimal, infinity.
    ASSERT_TRUE(load(plyFile(Ply::Ascii, "element vertex 1\n" + kXyz, {"f+1.5 f0x1p-1 f-inf"})));
    EXPECT_TRUE(mesh.vertices[0].pos == (Vec3{1.5f, 0.5f, -INFINITY}));
}

TEST_F(PlyReader, HeaderRefusalsNameTheirLine) {
    const std::string f = "ply\nformat ascii 1.0\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "the file is empty"},
        {"PLY\n", "not a PLY file (the first line is not \"ply\")"},
        {"ply\nformat ascii\n", "line 2: expected \"format <ascii|binary_little_endian|binary_big_endian> 1.0\""},
        {"ply\nformat binary 1.0\n", "line 2: unknown format \"binary\""},
        {f + "comment\n\nend_header\n", "line 4: empty line in the header"},
        {f + "property float x\nend_header\n", "line 3: property before any element"},
        {f + "element vertex -1\n", "line 3: expected \"element <name> <count>\""},
        {f + "element vertex 2147483648\n",
         "line 3: element vertex declares 2147483648 items, more than the viewer can hold"},
        {f + "element vertex 1\nproperty list float int x\n",
         "line 4: \"float\" is not an integer type for a list length"},
        {f + "element vertex 1\nproperty int64 x\n", "line 4: unknown property type \"int64\""},
        {f + "element vertex 1\nproperty list\n",
         "line 4: expected \"property <type> <name>\" or \"property list <count type> <type> <name>\""},
        {f + kV3, "the header has no end_header line"},
        {f + "element vertex 1\nproperty float x\nproperty float y\nend_header\n", "no vertex element with x, y, z"},
        {f + kV3 + kV3 + "end_header\n", "line 7: a second vertex element"},
        {f + "element vertex 1\nproperty list uchar float x\nproperty float y\nproperty float z\nend_header\n",
         "line 3: vertex properties x, y, z must be numbers, not lists"},
        {f + kV3 + "element face 1\nproperty int vertex_indices\nend_header\n",
         "line 7: element face has no list vertex_indices"},
        {f + kV3 + "element tristrips 1\nproperty list uchar float vertex_indices\nend_header\n",
         "line 7: vertex_indices of element tristrips is a list of float, not of integers"},
    };
    for (const auto& [bytes, message] : cases) {
        EXPECT_FALSE(load(bytes)) << message;
        EXPECT_EQ(error, message);
    }
}

TEST_F(PlyReader, RefusesBadAndTruncatedDataAndLeavesAnEmptyMesh) {
    const std::string of3 = ", but the file has 3 vertices", ends = "the file ends inside element ";
    std::vector<std::pair<std::string, std::string>> all = {
        {plyFile(Ply::Ascii, kV3 + kFace1, on3({"b3 i0 i1 i3"})), "line 13: face 0 names vertex 3" + of3},
        {plyFile(Ply::Little, kV3 + kFace1, on3({"b3 i0 i-1 i2"})), "face 0 names vertex -1" + of3},
        {plyFile(Ply::Big, kV3 + kStrips, on3({"i4 i0 i1 i2 i9"})), "tristrip 0 names vertex 9" + of3},
        {plyFile(Ply::Ascii, kV3 + kFace1, on3({"b2 i0 i1"})),
         "line 13: face 0 has 2 corners; a face needs at least 3"},
        {plyFile(Ply::Ascii, kV3, {"f0 f0 f0", "f1 f0 f0"}), ends + "vertex, after 2 of its 3 items"},
        // ASCII words must be whole numbers of their type.
        {plyFile(Ply::Ascii, kV3, {"f0 f0 f0", "f1 f0x f0", "f0 f1 f0"}),
         "line 9: cannot read \"0x\" as property y (type float) of element vertex"},
        {plyFile(Ply::Ascii, kV3, {"f0 f0 f0", "f1e39 f0 f0", "f0 f1 f0"}),
         "line 9: cannot read \"1e39\" as property x (type float) of element vertex"},
        {plyFile(Ply::Ascii, kV3 + kFace1, on3({"b3 i0 i1 i2.5"})),
         "line 13: cannot read \"2.5\" as property vertex_indices (type int) of element face"},
        {plyFile(Ply::Ascii, kV3 + kFace1, on3({"b256 i0 i1 i2"})),
         "line 13: \"256\" is not a length of list vertex_indices (type uchar)"},
        {plyFile(Ply::Ascii, kV3 + kStrips, on3({"i-3 i0"})),
         "line 13: \"-3\" is not a length of list vertex_indices (type int)"},
        {plyFile(Ply::Big, kV3 + kStrips, on3({"i-3 i0"})),
         "list vertex_indices of element tristrips item 0 has a negative length"},
        // A list longer than the bytes left is refused before anything is allocated for it.
        {plyFile(Ply::Little, kV3 + kStrips, on3({"i2147483647 i0"})), ends + "tristrips, after 0 of its 1 items"},
        {plyFile(Ply::Ascii, kV3 + kStrips, on3({"i2147483647 i0"})), ends + "tristrips, after 0 of its 1 items"},
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
        EXPECT_TRUE(mesh.vertices.empty() && mesh.faces.empty() && !mesh.loaded);
        EXPECT_EQ(status.kind, ReadKind::Malformed);
    }
    status = readPlyMeshFile(mesh, "/nonexistent/m.ply");
    EXPECT_TRUE(status.kind == ReadKind::CannotOpen && status.detail == "No such file or directory");
}

TEST_F(PlyReader, HostileHeadersAreCheapAndMessagesShowNoRawBytes) {
    // Elements of the largest count that take no bytes are not walked item by item, and an unused binary element
    // of fixed-size items is measured against the bytes left at once: both would otherwise take minutes.
    const std::string empty = "element junk 2147483647\nelement more 2147483647\n";
    ASSERT_TRUE(load(plyFile(Ply::Ascii, empty + kV3 + empty + kFace1, on3({"b3 i0 i1 i2"})))) << error;
    EXPECT_EQ(triangles(mesh), (std::vector<Tri>{{0, 1, 2}}));
    EXPECT_FALSE(load(plyFile(Ply::Little, "element junk 2147483647\nproperty double a\n" + kV3, {"d1", "d2"})));
    EXPECT_EQ(error, "the file ends inside element junk, after 2 of its 2147483647 items");
    // A UTF-8 byte order mark before "ply" is not part of the header.
    ASSERT_TRUE(load("\xef\xbb\xbf" + plyFile(Ply::Big, kV3 + kFace1, on3({"b3 i2 i1 i0"})))) << error;
    EXPECT_EQ(triangles(mesh), (std::vector<Tri>{{2, 1, 0}}));
    EXPECT_EQ(mesh.vertices[1].pos.x, 1.0f);
    // Control bytes, DEL, C1 controls and invalid UTF-8 are escaped; printable UTF-8 is kept.
    EXPECT_FALSE(load("ply\nformat \x1b[2J\x7f\xc2\x9b\xff\xc3\xa9 1.0\n"));
    EXPECT_EQ(error, "line 2: unknown format \"\\x1b[2J\\x7f\\xc2\\x9b\\xff\xc3\xa9\"");
    EXPECT_FALSE(load(plyFile(Ply::Ascii, "element v\x07 1\nproperty float a\x1b\n" + kV3, {"f1\x1b"})));
    EXPECT_EQ(error, "line 10: cannot read \"1\\x1b\" as property a\\x1b (type float) of element v\\x07");
}

// data/meshlab_torus.ply was written by MeshLab ("meshlabserver -i meshlab_torus.off -o meshlab_torus.ply -m vc vn")
// from the COFF file beside it: the same positions and triangles, in file order.
TEST_F(PlyReader, ReadsAMeshLabExportLikeItsSource) {
    ASSERT_TRUE(readPlyMeshFile(mesh, QUORAX_CORE_TEST_DATA "/meshlab_torus.ply").ok());
    std::ifstream off(QUORAX_CORE_TEST_DATA "/meshlab_torus.off");
    std::string magic;
    int vertices = 0, faces = 0, edges = 0, rgba[4], corners = 0;
    ASSERT_TRUE(off >> magic >> vertices >> faces >> edges);
    ASSERT_EQ(std::pair(mesh.vertexCount(), mesh.faceCount()), std::pair(vertices, faces));
    for (const MeshVertex& v : mesh.vertices) {
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
