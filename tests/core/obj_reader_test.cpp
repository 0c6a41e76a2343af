// The OBJ reader's scanning rules, byte by byte.
#include "obj_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace quorax;

namespace {

struct Read {
    TriMesh mesh;
    ObjReadResult result;
};

Read read(const std::string& text, ObjReadOptions options = {}) {
    Read r;
    r.mesh.vertices.resize(7); // a previous read is replaced
    // An exactly sized heap copy, so that a read past the end is caught by
    // the address sanitizer.
    const std::vector<char> bytes(text.begin(), text.end());
    r.result = readObjMesh(r.mesh, std::string_view(bytes.data(), bytes.size()), options);
    return r;
}

using Faces = std::vector<std::array<int32_t, 3>>;

Faces faces(const TriMesh& m) {
    Faces out;
    for (const MeshFace& f : m.faces)
        out.push_back({f.v[0], f.v[1], f.v[2]});
    return out;
}
const std::string kTriangle = "v 1.0 2.0 3.0\nv 4 5 6\nv 7 8 9\n";

} // namespace

TEST(ObjReader, LineEndsAndCornerForms) {
    const Read lf = read(kTriangle + "f 1 2 3\n");
    const Read crlf = read("v 1.0 2.0 3.0\r\nv 4 5 6\r\nv 7 8 9\r\nf 1 2 3\r\n");
    ASSERT_EQ(crlf.mesh.vertexCount(), 3);
    EXPECT_EQ(crlf.mesh.vertices[0].pos, (Vec3{1, 2, 3}));
    EXPECT_EQ(crlf.mesh.vertices[2].pos, lf.mesh.vertices[2].pos);
    EXPECT_EQ(faces(lf.mesh), (Faces{{0, 1, 2}}));
    EXPECT_EQ(faces(crlf.mesh), (Faces{{0, 1, 2}}));
    EXPECT_TRUE(lf.mesh.loaded);

    // Only the vertex index of i/t/n and i//n is used; a quad keeps its
    // first three corners (the third token "3 4" reads as 3).
    for (const char* line : {"f 1/4/7 2/5/8 3/6/9\n", "f 1//7 2//8 3//9\n",
                             "f 1/4/7 2/5/8 3/6/9\r\n", "f 1 2 3 4\n", "f 1/1 2/2 3/3 4/4\n"})
        EXPECT_EQ(faces(read(kTriangle + line).mesh), (Faces{{0, 1, 2}})) << line;

    // A last line without a line end is read like any other.
    EXPECT_EQ(faces(read(kTriangle + "f 3 2 1").mesh), (Faces{{2, 1, 0}}));
    const Read last = read("v 1 2 3\nv 4 5 6.5");
    ASSERT_EQ(last.mesh.vertexCount(), 2);
    EXPECT_EQ(last.mesh.vertices[1].pos, (Vec3{4, 5, 6.5f}));
}

TEST(ObjReader, SkippedLinesAndBlanks) {
    const Read r = read("# comment v 1 2 3\n\nvn 0 0 1\nvt 0.5 0.5\ng group\no object\ns 1\n"
                        "usemtl red\nmtllib x.mtl\n\n" +
                        kTriangle + "\n# f 1 2 3\nf 1 2 3\n");
    EXPECT_EQ(r.mesh.vertexCount(), 3);
    EXPECT_EQ(r.mesh.faceCount(), 1);
    EXPECT_EQ(r.result.skippedFaces, 0);

    // Two blanks after "v": x is the empty token (0), y is 1 and the z token
    // "2 3" reads as 2.
    const Read two = read("v  1 2 3\n");
    ASSERT_EQ(two.mesh.vertexCount(), 1);
    EXPECT_EQ(two.mesh.vertices[0].pos, (Vec3{0, 1, 2}));

    // A tab after "v" or a leading blank makes the line unknown: skipped.
    EXPECT_EQ(read("v\t1 2 3\n v 1 2 3\n").mesh.vertexCount(), 0);

    // Two blanks after "f": the first corner is empty, index 0, which names
    // no vertex, so the face is dropped and counted.
    const Read f2 = read(kTriangle + "f  1 2 3\n");
    EXPECT_EQ(f2.mesh.faceCount(), 0);
    EXPECT_EQ(f2.result.skippedFaces, 1);

    const Read empty = read("");
    EXPECT_EQ(empty.mesh.vertexCount(), 0);
    EXPECT_EQ(empty.mesh.faceCount(), 0);
    EXPECT_TRUE(empty.mesh.loaded);

    // Lines cut off right after their keyword must not read past the end.
    for (const char* cut :
         {"v", "v ", "v 1", "v 1 ", "f", "f ", "f 1", "f 1/", "f 1 2", "f 1 2 3/", "vn", "#"})
        EXPECT_NO_FATAL_FAILURE(read(cut)) << cut;

    // The viewer scans "vt" lines for two numbers instead of skipping them,
    // so a "vt" line with one number swallows the next line.
    const std::string vt = "vt 1\nv 1 2 3\nv 4 5 6\n";
    EXPECT_EQ(read(vt).mesh.vertexCount(), 2);
    EXPECT_EQ(read(vt, {.scanTextureLines = true}).mesh.vertexCount(), 1);
}

TEST(ObjReader, FaceIndices) {
    // Negative indices count back from the last vertex read so far: before
    // the fourth vertex -1 is vertex 3, after it vertex 4.
    const Read neg = read(kTriangle + "f -1 -2 -3\nv 0 0 1\nf -1 1 -2\n");
    EXPECT_EQ(faces(neg.mesh), (Faces{{2, 1, 0}, {3, 0, 2}}));
    EXPECT_EQ(neg.result.skippedFaces, 0);

    // Faces may come before the vertices they name.
    EXPECT_EQ(faces(read("f 1 2 3\n" + kTriangle).mesh), (Faces{{0, 1, 2}}));

    // Faces naming vertices that do not exist are dropped and counted:
    // index 0, one past the end, back past the first vertex, -1 before any
    // vertex, and an index beyond 32 bits.
    const Read bad = read("f -1 1 2\n" + kTriangle +
                          "f 0 1 2\nf 1 2 4\nf -4 1 2\nf 1 2 3\nf 99999999999 1 2\nf 1 2 -3\n");
    EXPECT_EQ(faces(bad.mesh), (Faces{{0, 1, 2}, {0, 1, 0}}));
    EXPECT_EQ(bad.result.skippedFaces, 5);
}

TEST(ObjReader, NumbersConvertAsAtofThenFloat) {
    // 1 + 2^-24 + 1e-25 is closer to the float midpoint 1 + 2^-24 than half a
    // double step, so atof gives the midpoint exactly, and rounding that to
    // float ties to even: 1.0. (strtof directly would give 1 + 2^-23.)
    const Read r = read("v 1.0000000596046447753906251 0.1 16777217\n");
    ASSERT_EQ(r.mesh.vertexCount(), 1);
    EXPECT_EQ(r.mesh.vertices[0].pos.x, 1.0f);
    EXPECT_EQ(r.mesh.vertices[0].pos.y, static_cast<float>(0.1));
    EXPECT_EQ(r.mesh.vertices[0].pos.z, 16777216.0f); // ties to even

    // Tokens far longer than any fixed buffer: 1 followed by 4999 zeros and
    // "e-4999" is exactly 1; an index with 4996 leading zeros is 3.
    const std::string longOne = "1" + std::string(4999, '0') + "e-4999";
    const Read big = read(kTriangle + "v " + longOne + " " + longOne + " " + longOne + "\nf 1 2 " +
                          std::string(4996, '0') + "4\n");
    ASSERT_EQ(big.mesh.vertexCount(), 4);
    EXPECT_EQ(big.mesh.vertices[3].pos, (Vec3{1, 1, 1}));
    EXPECT_EQ(faces(big.mesh), (Faces{{0, 1, 3}}));
}

TEST(ObjReader, Files) {
    TriMesh m;
    m.vertices.resize(2);
    std::string error;
    EXPECT_FALSE(readObjMeshFile(m, "/nonexistent-dir/mesh.obj", error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_EQ(m.vertexCount(), 2); // left unchanged

    const std::string path = testing::TempDir() + "quorax-" + std::to_string(getpid()) + ".obj";
    std::ofstream(path) << kTriangle << "f 1 2 3\nf 1 2 5\n";
    ObjReadResult result;
    EXPECT_TRUE(readObjMeshFile(m, path, error, &result));
    EXPECT_EQ(m.faceCount(), 1);
    EXPECT_EQ(result.skippedFaces, 1);
    std::remove(path.c_str());
}
