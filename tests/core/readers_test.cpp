// The OBJ and OpenDX readers: scanning rules, layouts, and errors that name their
// line. (The tool's tests read files, missing files and folders.)
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

#include "dx_reader.h"
#include "file_io.h"
#include "obj_reader.h"
#include "process.h"

using namespace quorax;
using quorax::test::has;

namespace {

// An exact-size heap copy of `text`, so that the sanitizer catches a read past the end.
std::string_view exact(const std::string& text) {
    static std::vector<char> bytes;
    bytes = std::vector<char>(text.begin(), text.end());
    return {bytes.data(), bytes.size()};
}

TriMesh readObj(const std::string& text, ObjReadOptions options = {}, int* skipped = nullptr) {
    TriMesh m;
    m.vertices.resize(7); // a previous read is replaced
    const int s = readObjMesh(m, exact(text), options).skippedFaces;
    if (skipped) *skipped = m.loaded ? s : -1; // -1: the mesh is not marked loaded
    return m;
}

// DX header lines 1 to 7; the values start on line 8.
std::string header(const std::string& counts = "2 2 2", const std::string& d1 = "1 0 0",
                   const std::string& d3 = "0 0 1", const std::string& origin = "origin") {
    return "object 1 class gridpositions counts " + counts + "\n" + origin + " -1.5 2 0.25\ndelta " + d1 +
           "\ndelta 0 0.25 0\ndelta " + d3 + "\nobject 2 class gridconnections counts " + counts +
           "\nobject 3 class array type double rank 0 items 8 data follows\n";
}

const std::string kTri = "v 1.0 2.0 3.0\nv 4 5 6\nv 7 8 9\n";

} // namespace

TEST(ObjReader, LinesCornersAndIndices) {
    const std::pair<std::string, std::string> cases[] = {
        {"v 1.0 2.0 3.0\r\nv 4 5 6\r\nv 7 8 9\r\nf 1 2 3\r\n", "3: 012 /0"}, // CRLF
        {kTri + "f 1/4/7 2/5/8 3/6/9\n", "3: 012 /0"}, // only the vertex index counts
        {kTri + "f 1//7 2//8 3//9\r\n", "3: 012 /0"},
        {kTri + "f 1/1 2/2 3/3 4/4\n", "3: 012 /0"}, // a polygon keeps its first three corners
        {kTri + "f 1 2 3 4\n", "3: 012 /0"},         // the third token "3 4" reads as 3
        {kTri + "f 3 2 1", "3: 210 /0"},             // no line end on the last line
        {"f 1 2 3\n" + kTri, "3: 012 /0"},           // faces before their vertices
        {"# v 1 2 3\n\nvn 0 0 1\nvt 0.5\ng a\no b\ns 1\nusemtl r\n" + kTri + "# f 1 2 3", "3: /0"},
        {"vt 1\nv 1 2 3\nv 4 5 6\n", "2: /0"}, // vt lines are skipped whatever they hold
        {"v\t1 2 3\n v 1 2 3\n", "0: /0"},     // a tab after "v" or a leading blank: skipped
        {kTri + "f  1 2 3\n", "3: /1"},        // after two blanks the first corner is 0
        {"", "0: /0"},
        // Negative indices count back from the last vertex read so far.
        {kTri + "f -1 -2 -3\nv 0 0 1\nf -1 1 -2\n", "4: 210 302 /0"},
        // Index 0, one past the end, back past the first, -1 before any vertex, beyond 32 bits.
        {"f -1 1 2\n" + kTri + "f 0 1 2\nf 1 2 4\nf -4 1 2\nf 99999999999 1 2\nf 1 2 -3\n", "3: 010 /5"},
        {kTri + "f 1 2 " + std::string(4996, '0') + "3\n", "3: 012 /0"}, // beyond any buffer
    };
    for (const auto& [text, want] : cases) {
        int skipped = 0;
        std::ostringstream s; // "vertex count: corners of each face, 0-based /skipped faces"
        s << readObj(text, {}, &skipped).vertexCount() << ":";
        for (const MeshFace& f : readObj(text).faces) s << " " << f.v[0] << f.v[1] << f.v[2];
        EXPECT_EQ(s.str() + " /" + std::to_string(skipped), want) << text;
    }
    // Lines cut off anywhere must not read past the end.
    for (const std::string line : {"v 1 2 3", "f 1/2 3//4 5/6/7", "vn", "#"})
        for (std::size_t n = 1; n <= line.size(); ++n)
            EXPECT_NO_FATAL_FAILURE(readObj(line.substr(0, n))) << line.substr(0, n);
    // The viewer scans "vt" lines for two numbers, so one number swallows the next line.
    EXPECT_EQ(readObj("vt 1\nv 1 2 3\nv 4 5 6\n", {.scanTextureLines = true}).vertexCount(), 1);
}

TEST(ObjReader, Positions) {
    // Each number converts as atof, then to float: atof gives 1 + 2^-24 + 1e-25 as the
    // float midpoint 1 + 2^-24, which ties to even: 1 (strtof gives 1 + 2^-23). x and y
    // end at a blank, so after two blanks x is the empty token, 0; z ends at the line end.
    const TriMesh m = readObj("v 1.0000000596046447753906251 0.1 16777217\nv  1 2 3\nv 4 5 6.5");
    ASSERT_EQ(m.vertexCount(), 3);
    EXPECT_EQ((std::vector{m.vertices[0].pos, m.vertices[1].pos, m.vertices[2].pos}),
              (std::vector<Vec3>{{1, 0.1f, 16777216}, {0, 1, 2}, {4, 5, 6.5f}}));
}

TEST(ObjReader, CoordinatesAndCornersAsAtofAndAtoi) {
    // Well-formed lines with random tokens, short common numbers and odd ones alike:
    // every coordinate is atof's value as a float, every corner atoi's index.
    std::mt19937 rng(11);
    const std::string alphabet = "0123456789.-+eEx";
    char buf[64];
    const auto token = [&] {
        if (rng() % 2) {
            const double v = std::ldexp(double(rng()) - 2e9, int(rng() % 40) - 50);
            std::snprintf(buf, sizeof buf, rng() % 2 ? "%f" : "%.7e", v);
            return std::string(buf);
        }
        std::string t;
        for (std::size_t k = 1 + rng() % 12; k > 0; --k) t += alphabet[rng() % alphabet.size()];
        return t;
    };
    std::string text;
    std::vector<Vec3> want;
    for (int i = 0; i < 20000; ++i) {
        const std::string x = token(), y = token(), z = token();
        text += "v " + x + " " + y + " " + z + (i % 3 ? "\n" : "\r\n");
        want.push_back({float(std::atof(x.c_str())), float(std::atof(y.c_str())), float(std::atof(z.c_str()))});
    }
    std::vector<std::array<int32_t, 3>> faces;
    const auto corner = [&] {
        std::string t = std::to_string(rng() % (rng() % 2 ? 25000 : 10)) + (rng() % 3 ? "" : "/7");
        if (rng() % 8 == 0) t.insert(0, 1, rng() % 2 ? '-' : '+');
        if (rng() % 16 == 0) t.insert(0, 8, '0');
        if (rng() % 16 == 0) t = "3000000000";
        const long v = std::strtol(t.c_str(), nullptr, 10);
        return std::pair{t, v > 0 && v <= 20000 ? int32_t(v - 1) : v < 0 && v >= -20000 ? int32_t(20000 + v) : -1};
    };
    for (int i = 0; i < 20000; ++i) {
        const auto [a, ia] = corner();
        const auto [b, ib] = corner();
        const auto [c, ic] = corner();
        text += "f " + a + " " + b + " " + c + "\n";
        if (ia >= 0 && ib >= 0 && ic >= 0) faces.push_back({ia, ib, ic});
    }
    const TriMesh m = readObj(text);
    ASSERT_EQ(m.vertexCount(), 20000);
    int wrong = 0;
    for (int i = 0; i < 20000; ++i)
        if (std::memcmp(&m.vertices[i].pos, &want[i], sizeof(Vec3)) != 0 && ++wrong < 10)
            ADD_FAILURE() << "vertex " << i;
    ASSERT_EQ(m.faces.size(), faces.size());
    for (std::size_t i = 0; i < faces.size(); ++i)
        for (int k = 0; k < 3; ++k)
            if (m.faces[i].v[k] != faces[i][k] && ++wrong < 10) ADD_FAILURE() << "face " << i;
    EXPECT_EQ(wrong, 0);
}

TEST(DxReader, HeaderAndValues) {
    // Comments, then values in any number per line: node (i, j, k) holds 4i + 2j + k.
    PotentialGrid g;
    ReadStatus r = readDxGrid(g, exact("# APBS\n#\n" + header() + "0 1 2\n3 4 5\n6 7\nattribute"));
    ASSERT_TRUE(r.ok() && r.warnings.empty()) << r.detail;
    EXPECT_EQ((std::vector{g.origin, g.delta}), (std::vector<Vec3>{{-1.5f, 2, 0.25f}, {1, 0.25f, 1}}));
    EXPECT_EQ((std::vector{g.at(1, 0, 1), g.minValue, g.maxValue}), (std::vector{5.f, 0.f, 7.f}));
    // Off-diagonal spacings are dropped with a warning. fscanf "%f" rounds 1 + 2^-24 +
    // 1e-25 directly to float: up. Hexadecimal and signed forms are numbers too.
    r = readDxGrid(g, exact(header("2 2 2", "0.5 0.1 0", "3 0 2") +
                            "1.0000000596046447753906251 0x1p1 -.5 +2e0 1e-50 3.4028235e38 0 7."));
    EXPECT_TRUE(g.delta == (Vec3{0.5f, 0.25f, 2}) && r.warnings.size() == 1);
    EXPECT_EQ(g.values, (std::vector<float>{std::nextafter(1.0f, 2.0f), 2, -0.5f, 2, 0, 3.4028235e38f, 0, 7}));
}

TEST(Readers, AByteOrderMarkIsSkipped) {
    const std::string bom = "\xEF\xBB\xBF";
    const TriMesh plain = readObj(kTri + "f 1 2 3\n"), marked = readObj(bom + kTri + "f 1 2 3\n");
    ASSERT_EQ(marked.vertexCount(), 3);
    EXPECT_EQ(marked.vertices[0].pos, plain.vertices[0].pos);
    EXPECT_EQ(marked.faceCount(), 1);
    for (const std::string& start : {std::string(), std::string("# APBS\n")}) {
        PotentialGrid g;
        const ReadStatus r = readDxGrid(g, exact(bom + start + header() + "0 1 2 3 4 5 6 7"));
        ASSERT_TRUE(r.ok()) << readProblemText(r);
        EXPECT_EQ(g.at(1, 1, 1), 7.f);
    }
}

TEST(DxReader, ErrorsNameTheLineAndKeepTheGrid) {
    const std::string v8 = "0 1 2 3 4 5 6 7\n", h = header();
    const std::tuple<std::string, int, std::string> cases[] = {
        {"object 1 class gridconnections counts 2 2 2\n", 1, "gridpositions"},
        {"# a\n#b\n\nobject 1 class gridpositions countz 2 2 2\n", 4, "gridpositions"},
        {header("2 2 2", "1 0 0", "0 0 1", "orig") + v8, 2, "origin"},
        {header("1 2 2") + v8, 1, "at least 2 nodes"},
        {header("2 -2 2") + v8, 1, "at least 2 nodes"},
        {header("2 2 2", "0 0 0") + v8, 3, "positive"},
        {header("2 2 2", "1 0 0", "0 0 -0.5") + v8, 5, "positive"},
        {header("1000 1000 1000") + v8, 1, "1000000000 values"},
        {header("2000000000 2000000000 2000000000") + v8, 1, "does not fit"},
        {h + "0.5 1.5 2.5\n3.5 4.5\n", 9, "expected 8 values, found 5"},
        {h + "\n\n" + std::string(20, ' '), 7, "expected 8 values, found 0"},
        {h + v8.substr(0, 6), 1, "needs 8 values"}, // too few bytes for 8 values
        {h + "0 1 2\n3 abc 5 6 7\n", 9, "\"abc\" is not a number"},
        {h + "0 1 2\n3 4\n5 nan 7\n", 10, "not a finite number"},
        // Cut inside the last number, and bytes that must not reach a terminal.
        {h + "0 1 2\n3 4 5\n6 1.5e", 10, "the data is truncated: the file ends inside value 8 of 8 (\"1.5e\")"},
        {h + "0 1 2 3 4 5\n6 -", 9, "the data is truncated: the file ends inside value 8 of 8 (\"-\")"},
        {h + "0 1 2\n3 \x1b]0;x\x07\xff 5 6 7\n", 9, "\"\\x1b]0;x\\x07\\xff\" is not a number"},
    };
    for (const auto& [text, line, problem] : cases) {
        PotentialGrid g;
        ASSERT_TRUE(readDxGrid(g, exact(header("3 2 2") + "1 2 3 4 5 6 7 8 9 10 11 12\n")).ok());
        const std::vector<float> before = g.values;
        const ReadStatus r = readDxGrid(g, exact(text));
        EXPECT_EQ(r.kind, ReadKind::Malformed) << text;
        EXPECT_EQ(r.line, line) << r.detail;
        EXPECT_TRUE(has(r.detail, problem));
        EXPECT_EQ(g.values, before); // the grid read before is left as it was
        EXPECT_EQ(g.nx, 3);
    }
}

TEST(DxReader, WritersVariantsGiveTheSameGrid) {
    // Each file of the corpus (scripts/make_dx_corpus.sh) holds the grid of apbs.dx.
    const std::string dir = QUORAX_DX_CORPUS_DIR;
    PotentialGrid want;
    ASSERT_TRUE(readDxGridFile(want, dir + "/apbs.dx").ok());
    ASSERT_EQ(want.nodeCount(), 729u);
    for (const char* name : {"apbs.dx.gz", "gdf.dx", "crlf.dx", "bom.dx", "comments.dx", "signs.dx",
                             "one_per_line.dx", "no_trailer.dx", "type_float.dx", "two_members.dx.gz"}) {
        PotentialGrid g;
        const ReadStatus r = readDxGridFile(g, dir + "/" + name);
        ASSERT_TRUE(r.ok()) << name << ": " << readProblemText(r);
        EXPECT_TRUE(r.warnings.empty()) << name << ": " << r.warnings[0];
        EXPECT_EQ(g.values, want.values) << name;
        EXPECT_EQ((std::vector{g.nx, g.ny, g.nz}), (std::vector{9, 9, 9})) << name;
        EXPECT_EQ((std::vector{g.origin, g.delta}), (std::vector{want.origin, want.delta})) << name;
        EXPECT_EQ((std::vector{g.minValue, g.maxValue}), (std::vector{want.minValue, want.maxValue})) << name;
    }
}

TEST(DxReader, BinaryCompressedAndForeignDataAreRefused) {
    const std::string dir = QUORAX_DX_CORPUS_DIR;
    FileBytes gz;
    std::string error;
    ASSERT_TRUE(gz.open(dir + "/apbs.dx.gz", error)) << error;
    const std::string zipped(gz.view());
    std::string corrupt = zipped;
    corrupt[corrupt.size() / 2] ^= 0x55;
    const std::string h = header("2 2 2");
    const std::string arrayLine = "object 3 class array type double rank 0 items 8 data follows\n";
    const auto withArray = [&](const std::string& line) {
        std::string s = h;
        return s.replace(s.find(arrayLine), arrayLine.size(), line + "\n") + "0 1 2 3 4 5 6 7\n";
    };
    const std::tuple<std::string, int, std::string> cases[] = {
        {zipped.substr(0, zipped.size() - 100), 0, "the gzip data are cut short"},
        {corrupt, 0, "the gzip data are corrupt"},
        {withArray("object 3 class array type float rank 0 items 8 msb ieee data 1024"), 7, "binary"},
        {withArray("object 3 class array type float rank 0 items 8 binary data follows"), 7, "binary"},
        {withArray("object 3 class array type float rank 0 items 8 data file \"grid.bin\",0"), 7, "another file"},
        {withArray("object 3 class array type string rank 1 shape 4 items 8 data follows"), 7, "type \"string\""},
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), 1, "not an OpenDX text file"},
        {"ply\nformat ascii 1.0\nelement vertex 8\n", 1, "expected \"object 1 class gridpositions counts\""},
    };
    for (const auto& [text, line, problem] : cases) {
        PotentialGrid g;
        const ReadStatus r = readDxGrid(g, exact(text));
        EXPECT_EQ(r.kind, ReadKind::Malformed) << problem;
        EXPECT_EQ(r.line, line) << r.detail;
        EXPECT_TRUE(has(r.detail, problem));
        EXPECT_FALSE(g.loaded);
    }
    // Type words and quotes as other writers put them, and a comment after the array line.
    for (const std::string type : {"float", "\"double\"", "int", "unsigned short"}) {
        PotentialGrid g;
        const ReadStatus r =
            readDxGrid(g, exact(withArray("object 3 class array type " + type + " rank 0 items 8 data follows # z")));
        EXPECT_TRUE(r.ok() && g.at(1, 1, 1) == 7.f) << type << ": " << readProblemText(r);
    }
}
