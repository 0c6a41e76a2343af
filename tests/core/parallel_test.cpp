// The readers in parts: on any thread count an OBJ or DX text reads exactly as on one thread, also where a malformed
// line runs on over the point where the text is split, where indices count back over parts, and where a value that is
// not a plain number (or an error) lies in a later part.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "dx_reader.h"
#include "file_io.h"
#include "obj_reader.h"
#include "inputs.h"
#include "parallel.h"
#include "process.h"

using namespace quorax;

namespace {

class Threads : public ::testing::Test {
protected:
    void TearDown() override { setWorkerThreads(0); }
};

void expectSameMesh(const TriMesh& a, const TriMesh& b, int threads) {
    ASSERT_EQ(a.vertexCount(), b.vertexCount()) << threads << " threads";
    ASSERT_EQ(a.faceCount(), b.faceCount()) << threads << " threads";
    for (int32_t i = 0; i < a.vertexCount(); ++i)
        ASSERT_EQ(std::memcmp(&a.vertices[i].pos, &b.vertices[i].pos, sizeof(Vec3)), 0) << "vertex " << i;
    for (int32_t i = 0; i < a.faceCount(); ++i)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(a.faces[i].v[c], b.faces[i].v[c]) << "face " << i;
}

// Lines drawn from well-formed and malformed ones: faces whose corners run on over line ends ("f 1" then "2 3"),
// negative indices reaching back over many lines or past the first vertex, CRLF, comments, texture lines, a vertex line
// without coordinates, indices too large.
std::string mixedObj(std::size_t lines, unsigned seed) {
    std::mt19937 random(seed);
    const char* const kinds[] = {"v 1.5 -2 3e1\n", "v 0.25 7 -1\r\n", "vn 0 0 1\n", "vt 0.5 0.5\n",
                                 "f 1 2 3\n",      "f -1 -2 -3\n",   "f -40 -3 -1\r\n", "f 1//1 -2//2 3//3\n",
                                 "f 1\n",          "2 3\n",          "f -5/1/1 -3\n",   "# comment f 1 2 3\n",
                                 "v\n",            "f 99999 1 2\n",  "f -99999 -1 -2\n", "\n",
                                 "v 1 2\n",        "f 2 3"};
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) text += kinds[random() % std::size(kinds)];
    return text;
}

TEST_F(Threads, ObjReadsTheSameInParts) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const std::string text = mixedObj(200000, seed); // about 2 MB: many parts
        for (const ObjReadOptions& options : {ObjReadOptions{}, ObjReadOptions{.scanTextureLines = true}}) {
            setWorkerThreads(1);
            TriMesh one;
            const int32_t skipped = readObjMesh(one, text, options).skippedFaces;
            ASSERT_GT(one.faceCount(), 1000);
            ASSERT_GT(skipped, 0);
            for (int threads : {2, 3, 8}) {
                setWorkerThreads(threads);
                TriMesh many;
                EXPECT_EQ(readObjMesh(many, text, options).skippedFaces, skipped) << threads << " threads";
                expectSameMesh(one, many, threads);
            }
        }
    }
}

struct DxRead {
    ReadStatus status;
    PotentialGrid grid;
};

DxRead readDx(const std::string& text, int threads) {
    setWorkerThreads(threads);
    DxRead r;
    r.status = readDxGrid(r.grid, text);
    return r;
}

TEST_F(Threads, DxReadsTheSameInParts) {
    const int n = 50; // 125 000 values, about 1.6 MB
    std::mt19937 random(7);
    std::vector<std::string> values;
    for (int i = 0; i < n * n * n; ++i)
        values.push_back(std::to_string(static_cast<int>(random() % 20000) - 10000) + "." +
                         std::to_string(random() % 1000000) + "e-0" + std::to_string(random() % 4));
    values[17] = "-0.0";
    values[values.size() / 2] = "0.0";
    const auto text = [&](std::size_t at, const std::string& replacement, const std::string& trailer) {
        std::string t = quorax::test::dxHeader(n);
        for (std::size_t i = 0; i < values.size(); ++i) {
            t += i == at ? replacement : values[i];
            t += i % 3 == 2 ? "\n" : " ";
        }
        return t + trailer;
    };
    const std::size_t late = values.size() * 7 / 8; // in a later part on every thread count
    // Numbers after the data, which are not read: they must not make up for values a part could not read.
    std::string numbers;
    for (int i = 0; i < 5000; ++i) numbers += "9.5\n";
    const std::vector<std::string> cases = {
        text(SIZE_MAX, "", "attribute \"dep\" string \"positions\"\nobject \"x\" class field\n"),
        text(SIZE_MAX, "", "1.5 2.5 trailing values and words\n"),
        text(late, "+1.25", numbers),      // read one by one: not a plain number
        text(late, "0x1p-3", numbers),     // hexadecimal
        text(late, "1e-50", numbers),      // below the smallest float
        text(late, "abc", numbers),        // not a number: the error names its line
        text(late, "1e999", numbers),      // not finite
        text(SIZE_MAX, "", "").substr(0, text(SIZE_MAX, "", "").size() - 40), // values missing
        text(SIZE_MAX, "", "").substr(0, text(SIZE_MAX, "", "").size() - 3) + "1e", // cut inside a value
    };
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const DxRead one = readDx(cases[c], 1);
        for (int threads : {2, 3, 8}) {
            const DxRead many = readDx(cases[c], threads);
            EXPECT_EQ(many.status.kind, one.status.kind) << "case " << c << ", " << threads << " threads";
            EXPECT_EQ(many.status.line, one.status.line) << "case " << c;
            EXPECT_EQ(many.status.detail, one.status.detail) << "case " << c;
            if (!one.status.ok()) continue;
            ASSERT_EQ(many.grid.values.size(), one.grid.values.size());
            EXPECT_EQ(
                std::memcmp(many.grid.values.data(), one.grid.values.data(), one.grid.values.size() * sizeof(float)), 0)
                << "case " << c;
            EXPECT_EQ(std::memcmp(&many.grid.minValue, &one.grid.minValue, sizeof(float)), 0) << "case " << c;
            EXPECT_EQ(std::memcmp(&many.grid.maxValue, &one.grid.maxValue, sizeof(float)), 0) << "case " << c;
        }
    }
    EXPECT_TRUE(readDx(cases[0], 1).status.ok());
    EXPECT_FALSE(readDx(cases[5], 1).status.ok());
}

TEST_F(Threads, LargeFilesAreReadInBlocksWhole) {
    quorax::test::TempDir dir;
    std::string bytes(8u * 1024 * 1024 * 3 + 12345, '\0'); // three whole blocks and a piece
    std::mt19937 random(3);
    for (char& c : bytes) c = static_cast<char>(random());
    dir.write("big", bytes);
    for (int threads : {1, 2, 8}) {
        setWorkerThreads(threads);
        FileBytes file;
        std::string error;
        ASSERT_TRUE(file.open(dir.file("big"), error)) << error;
        EXPECT_TRUE(file.view() == bytes) << threads << " threads";
    }
}

// Files are mapped, and each part's pages dropped once it is read: the pages come back where a later part reads on
// into them, and a file read into memory (a pipe) keeps its bytes.
TEST_F(Threads, MappedFilesReadTheSameAfterTheirPagesAreDropped) {
    quorax::test::TempDir dir;
    const std::string obj = mixedObj(200000, 4);
    dir.write("mesh.obj", obj);
    std::string dx = quorax::test::dxHeader(60);
    for (int i = 0; i < 60 * 60 * 60; ++i) dx += std::to_string(i % 977 - 488) + ".5e-03" + (i % 3 == 2 ? "\n" : " ");
    dir.write("grid.dx", dx);
    setWorkerThreads(1);
    TriMesh one;
    readObjMesh(one, obj);
    const DxRead grid = readDx(dx, 1);
    for (int threads : {2, 8}) {
        setWorkerThreads(threads);
        TriMesh many;
        ASSERT_TRUE(readObjMeshFile(many, dir.file("mesh.obj")).ok());
        expectSameMesh(one, many, threads);
        PotentialGrid g;
        ASSERT_TRUE(readDxGridFile(g, dir.file("grid.dx")).ok());
        EXPECT_TRUE(g.values == grid.grid.values) << threads << " threads";
    }
    for (FileAccess access : {FileAccess::Map, FileAccess::Read}) {
        FileBytes file;
        std::string error;
        ASSERT_TRUE(file.open(dir.file("mesh.obj"), error, 0, access)) << error;
        file.dropPages(file.begin(), file.end());
        EXPECT_TRUE(file.view() == obj);
    }
}

// Work beside the caller: in wait() with one thread, otherwise alongside the caller's own loops on the same workers;
// wait() passes on what it threw, and a caller that gives up on it still waits for it (one thread: never does it).
TEST_F(Threads, BackgroundWorkRunsBesideTheCaller) {
    for (int threads : {1, 2, 3}) {
        setWorkerThreads(threads);
        std::vector<int> theirs(100000, 0), ours(100000, 0);
        bool started = false;
        BackgroundWork work([&] {
            started = true;
            parallelRanges(theirs.size(), 100, [&](std::size_t a, std::size_t b) {
                for (std::size_t i = a; i < b; ++i) theirs[i] = static_cast<int>(i);
            });
        });
        EXPECT_TRUE(threads > 1 || !started);
        parallelRanges(ours.size(), 100, [&](std::size_t a, std::size_t b) {
            for (std::size_t i = a; i < b; ++i) ours[i] = static_cast<int>(i);
        });
        work.wait();
        EXPECT_TRUE(theirs == ours) << threads << " threads";
        BackgroundWork failing([] { throw std::runtime_error("out of memory"); });
        EXPECT_THROW(failing.wait(), std::runtime_error);
        int done = 0;
        {
            BackgroundWork unwaited([&] { done = 1; });
        }
        EXPECT_EQ(done, threads > 1 ? 1 : 0);
    }
}

// Parts start after a line feed: a part that started inside a line would be scanned again, after the others.
TEST_F(Threads, SplitsFallAfterLineFeeds) {
    const std::string text = "a\nbb\n\nccc\nd";
    for (std::size_t pieces : {2, 3, 5, 50}) {
        const std::vector<std::size_t> cuts = splitAtLineStarts(text, pieces);
        ASSERT_TRUE(cuts.front() == 0 && cuts.back() == text.size());
        for (std::size_t k = 1; k + 1 < cuts.size(); ++k) EXPECT_TRUE(cuts[k - 1] < cuts[k] && text[cuts[k] - 1] == '\n');
    }
    EXPECT_EQ(splitAtLineStarts("no line feed", 4), (std::vector<std::size_t>{0, 12}));
}

} // namespace
