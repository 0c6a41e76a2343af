// What the viewer's buttons compute, without the window: sampling onto the
// surfaces, the two power seedings and the batch file.
#include "viewer_actions.h"

#include <gtest/gtest.h>


#include "model_support.h"

using namespace quorax;
using namespace quorax::test;

namespace {

// φ = 100·i + 10·j + k: every node's value names the node.
PotentialGrid namedGrid() {
    return makeGrid(3, [](int i, int j, int k) { return 100.0f * i + 10.0f * j + k; });
}

PotentialGrid uniformGrid(int n, float value) {
    return makeGrid(n, [value](int, int, int) { return value; });
}

std::vector<Vec3> seedsOfMarkedFaces(const ViewerMesh& m, bool lift) {
    std::vector<Vec3> out;
    for (int32_t f = 0; f < m.faceCount(); ++f)
        if (m.tri.faces[f].seeded) out.push_back(faceSeed(m, f, lift));
    return out;
}

int seededCount(const ViewerMesh& m) {
    int n = 0;
    for (const MeshFace& f : m.tri.faces) n += f.seeded ? 1 : 0;
    return n;
}

} // namespace

TEST(ViewerRandom, OneUnseededSequence) {
    // rand31 is the top 31 bits of std::mt19937 with its default seed, whose
    // first output is 3499211612.
    ViewerRandom fresh;
    EXPECT_EQ(fresh.rand31(), 1749605806);
    EXPECT_EQ(fresh.rand31(), 581869302 >> 1);
    fresh.restart();
    EXPECT_EQ(fresh.rand31(), 1749605806);
    // The seeding buttons and the decorations share one object.
    EXPECT_EQ(&viewerRandom(), &viewerRandom());
}

TEST(PotentialActions, TrilinearLowerNodeClampingAndSlots) {
    const PotentialGrid grid = namedGrid();
    // On node (1,1,1); halfway between nodes (0,1,1) and (1,1,1); beyond the
    // upper x face; beyond the lower x face.
    const std::vector<Vec3> points = {{1, 1, 1}, {0.5f, 1, 1}, {5, 1, 1}, {-3, 1, 0}};
    ViewerMesh m = makeMesh(points, {});
    EXPECT_EQ(assignPotential(m, grid, ValueSlot::Electrostatic), 2);
    EXPECT_FLOAT_EQ(m.vertexData[0].electrostatic, 111.0f);
    EXPECT_FLOAT_EQ(m.vertexData[1].electrostatic, 61.0f); // mean of 11 and 111
    EXPECT_FLOAT_EQ(m.vertexData[2].electrostatic, 211.0f); // nearest point of the box: x = 2
    EXPECT_FLOAT_EQ(m.vertexData[3].electrostatic, 10.0f);  // x = 0
    EXPECT_EQ(m.vertexData[0].lipophilic, 0.0f);

    // Another grid into the other slot: both slots stay filled, each from
    // its own grid; a deleted vertex is passed over.
    m.vertexData[1].flags |= kDeletedFlag;
    EXPECT_EQ(assignPotential(m, uniformGrid(3, -1.0f), ValueSlot::Lipophilic), 2);
    EXPECT_EQ(m.vertexData[0].lipophilic, -1.0f);
    EXPECT_EQ(m.vertexData[0].electrostatic, 111.0f);
    EXPECT_EQ(m.vertexData[1].lipophilic, 0.0f);

    // The lower-node rule takes node (0,1,1) for the halfway vertex and the
    // border node for those outside; empty offset surfaces are passed over.
    std::array<ViewerMesh, 4> offsets;
    offsets[2] = makeMesh(points, {});
    EXPECT_EQ(offsetPotential(offsets, grid), 2);
    EXPECT_EQ(offsets[2].vertexData[0].electrostatic, 111.0f);
    EXPECT_EQ(offsets[2].vertexData[1].electrostatic, 11.0f);
    EXPECT_EQ(offsets[2].vertexData[2].electrostatic, 211.0f);
    EXPECT_EQ(offsets[2].vertexData[3].electrostatic, 10.0f);
    EXPECT_EQ(offsets[0].vertexCount(), 0);
}

TEST(OldPowLines, CandidatesThinningAndItsBounds) {
    ViewerRandom random;
    // One triangle: every vertex normal is (0,0,1).
    ViewerMesh tri = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    tri.vertexData[0].electrostatic = 5.0f;
    tri.vertexData[1].electrostatic = -20.0f;
    tri.vertexData[2].electrostatic = 30.0f;
    // |5| is not above 5: two candidates, both kept when 10 are asked for.
    OldPowSeeds s = oldPowSeeds(tri, 5.0f, 10, true, random);
    EXPECT_EQ(s.candidates, 2);
    EXPECT_FALSE(s.keptFirst);
    ASSERT_EQ(s.seeds.size(), 2u);
    EXPECT_EQ(s.seeds[0], (Vec3{1, 0, 1}));
    EXPECT_EQ(s.seeds[1], (Vec3{0, 1, 1}));
    s = oldPowSeeds(tri, 100.0f, 10, true, random);
    EXPECT_EQ(s.candidates, 0);
    EXPECT_TRUE(s.seeds.empty());

    // Twelve candidates, ten wanted.
    std::vector<Vec3> points;
    for (int i = 0; i < 12; ++i) points.push_back({float(i), 0, 0});
    ViewerMesh m = makeMesh(points, {});
    // Every weight below 0.1: m = trunc(maxValue · 10) is 0, no draw can
    // remove anything, the first ten are kept.
    for (auto& v : m.vertexData) v.electrostatic = 0.05f;
    s = oldPowSeeds(m, 0.0f, 10, false, random);
    EXPECT_TRUE(s.keptFirst);
    ASSERT_EQ(s.seeds.size(), 10u);
    EXPECT_EQ(s.seeds[9], (Vec3{9, 0, 0}));
    // Weights so large that a = weight · 10 exceeds every rand31: although m
    // is larger still, nothing can be removed and the thinning must end.
    for (int i = 0; i < 12; ++i) m.vertexData[i].electrostatic = i % 2 ? 4.0e8f : 3.0e8f;
    s = oldPowSeeds(m, 0.0f, 10, false, random);
    EXPECT_TRUE(s.keptFirst);
    EXPECT_EQ(s.seeds.size(), 10u);

    // Weights 1 … 200, ten kept: exactly ten, and the survivors favour the
    // large weights (a visit keeps a candidate with probability weight / 200).
    points.clear();
    for (int i = 0; i < 200; ++i) points.push_back({float(i + 1), 0, 0});
    ViewerMesh big = makeMesh(points, {});
    for (int i = 0; i < 200; ++i) big.vertexData[i].electrostatic = float(i + 1);
    s = oldPowSeeds(big, 0.0f, 10, false, random);
    EXPECT_FALSE(s.keptFirst);
    ASSERT_EQ(s.seeds.size(), 10u);
    float sum = 0;
    for (const Vec3& p : s.seeds) sum += p.x; // x is the weight
    EXPECT_GT(sum / 10, 100.5f);
}

TEST(NewPowLines, PowersCountAndSelection) {
    ViewerRandom random;
    // Ten equal faces of area 0.5 under |φ| = 3: each power is
    // 3 · 0.5 · (1/3) summed over three corners = 1.5, the total 15.
    ViewerMesh m = repeatedTriangle(10);
    const PotentialGrid grid = uniformGrid(3, -3.0f);
    // 15 · 0.3 = 4.5 → 4 lines. All powers equal: m = 0, r = 0 ≤ a, so
    // every visited face is taken and the walk stops after four visits.
    NewPowSeeds s = newPowSeeds(m, grid, 0.3f, true, random);
    EXPECT_EQ(s.total, 15.0f);
    EXPECT_EQ(s.count, 4);
    EXPECT_EQ(s.minPower, 1.5f);
    EXPECT_EQ(s.maxPower, 1.5f);
    EXPECT_EQ(s.cornersOutside, 0);
    EXPECT_FALSE(s.boundReached);
    EXPECT_EQ(seededCount(m), 4);
    EXPECT_EQ(s.seeds, seedsOfMarkedFaces(m, true));
    EXPECT_EQ(m.tri.faces[0].power, 1.5f);

    // A count of at least the face count (15 · 1 = 15 ≥ 10) selects nothing,
    // and the marks of the previous run are cleared; so does a count of 0.
    for (float density : {1.0f, 0.0f}) {
        s = newPowSeeds(m, grid, density, true, random);
        EXPECT_TRUE(s.seeds.empty()) << density;
        EXPECT_EQ(seededCount(m), 0) << density;
    }

    // Face 0 has the largest power: its a equals m, every r lies below, so
    // the first visit (face 0) takes it and one line is all 3.5 · 0.3 asks.
    // A corner outside the grid is sampled at the box and counted.
    ViewerMesh mixed = makeMesh({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {1, 0, 0}, {0, 1, 0}, {9, 0, 0}},
                                {{0, 1, 2}, {0, 3, 4}, {0, 3, 4}, {0, 3, 4}});
    s = newPowSeeds(mixed, uniformGrid(4, 1.0f), 0.3f, false, random);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.cornersOutside, 0);
    EXPECT_FLOAT_EQ(s.maxPower, 2.0f);
    EXPECT_TRUE(mixed.tri.faces[0].seeded);
    EXPECT_EQ(seededCount(mixed), 1);
    mixed.tri.faces[3].v[2] = 5; // (9,0,0): beyond x = 3
    deriveViewerMesh(mixed);
    s = newPowSeeds(mixed, uniformGrid(4, 1.0f), 0.3f, false, random);
    EXPECT_EQ(s.cornersOutside, 1);

    // Nine of ten faces wanted, eight of them so weak (a = 0 against
    // m ≈ 10⁷) that a visit takes one about once in ten million: the walk
    // gives up after its bound and the strongest faces complete the choice.
    std::vector<std::array<int32_t, 3>> faces(10, {0, 3, 4});
    faces[0] = {0, 1, 2};
    ViewerMesh weak = makeMesh({{0, 0, 0}, {200, 0, 0}, {0, 100, 0}, {0.001f, 0, 0}, {0, 0.001f, 0}}, faces);
    s = newPowSeeds(weak, uniformGrid(2, 1.0f), 0.00095f, false, random);
    EXPECT_EQ(s.count, 9);
    EXPECT_TRUE(s.boundReached);
    EXPECT_EQ(s.seeds.size(), 9u);
    EXPECT_TRUE(weak.tri.faces[0].seeded);
}

TEST(BatchFile, NamesSeriesAndLines) {
    // The number goes before the last three (grid) or four (surface, lines)
    // characters, or in front of a shorter pattern.
    EXPECT_EQ(insertNumber("a.dx", 12, 3), "a12.dx");
    EXPECT_EQ(insertNumber("m.ply", 12, 4), "m12.ply");
    EXPECT_EQ(insertNumber("obj", 12, 4), "12obj");
    EXPECT_EQ(insertNumber("molecule.obj", -3, 4), "molecule-3.obj");

    BatchSettings s;
    s.exe = "quorax";
    s.mesh = {"molecule.obj", 0, 100, 3};
    s.grid = {"molecule.dx", 0, 100, 3};
    s.lines = {"field_lines.txt", 0, 100, 3};
    s.density = 0.01f;
    s.haltAngle = 45.0f;
    s.reduceAngle = 3.0f;
    // 0, 3, … 99: 34 lines.
    EXPECT_EQ(batchLineCount(s), 34);

    // The shortest series ends the file; the others keep pace.
    BatchSettings shortMesh = s;
    shortMesh.mesh.to = 9;
    shortMesh.exe.clear();
    shortMesh.reduce = true;
    ASSERT_EQ(batchLineCount(shortMesh), 4);
    const std::vector<std::string> lines = splitLines(formatBatchFile(shortMesh, 4));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], " molecule9.obj molecule9.dx field_lines9.txt 0.010000 0.000000 45.000000 1 3.000000");
    for (const std::string& l : lines) EXPECT_EQ(l[0], ' ');

    // FROM beyond TO: one line, the test comes after it.
    BatchSettings one = s;
    one.mesh.from = 7;
    one.mesh.to = 5;
    one.mesh.step = 0;
    EXPECT_EQ(batchLineCount(one), 1);

    // A series whose STEP is 0 or negative never ends the file: the others
    // must, and when none can the count is 0 (refused).
    BatchSettings stuck = s;
    stuck.mesh.step = 0;
    stuck.grid.step = -2;
    EXPECT_EQ(batchLineCount(stuck), 34);
    stuck.lines.step = 0;
    EXPECT_EQ(batchLineCount(stuck), 0);
}
