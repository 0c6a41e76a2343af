// Line budget and seeding.
#include "seeding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace quorax;

namespace {

// A strip of n unit right triangles in the plane z = 0, face f with its
// right angle at (f, 0, 0), normal +z, and the given powers.
TriMesh strip(const std::vector<float>& powers) {
    TriMesh m;
    const int n = static_cast<int>(powers.size());
    for (int f = 0; f < n; ++f) {
        m.vertices.push_back({{float(f), 0, 0}, {}, 0});
        m.vertices.push_back({{float(f) + 1, 0, 0}, {}, 0});
        m.vertices.push_back({{float(f), 1, 0}, {}, 0});
        MeshFace face;
        face.v[0] = 3 * f, face.v[1] = 3 * f + 1, face.v[2] = 3 * f + 2;
        face.normal = {0, 0, 1};
        face.power = powers[static_cast<std::size_t>(f)];
        m.faces.push_back(face);
    }
    return m;
}

// Seed of face f of the strip: centroid ((3f + 1)/3, 1/3, 0) plus the normal (0, 0, 1).
Vec3 stripSeed(int f) {
    return {static_cast<float>((3.0f * f + 1.0f) / 3.0), static_cast<float>(1.0 / 3.0), 1.0f};
}

std::vector<int> marked(const TriMesh& m) {
    std::vector<int> out;
    for (int f = 0; f < m.faceCount(); ++f)
        if (m.faces[f].seeded) out.push_back(f);
    return out;
}

} // namespace

TEST(LineBudget, TruncatesAndClamps) {
    // Total power 250.7: 0.01 lines per unit gives 2.507 → 2 lines (truncated,
    // not rounded); the count can never exceed the face count.
    const TriMesh m = strip({100.0f, 100.0f, 50.7f});
    LineBudget b = computeLineBudget(m, 0.01f);
    EXPECT_FLOAT_EQ(b.totalPower, 250.7f);
    EXPECT_EQ(b.count, 2);
    EXPECT_EQ(computeLineBudget(m, 1.0f).count, 3);
    EXPECT_EQ(computeLineBudget(m, -0.01f).count, -2); // no lower clamp, truncated toward zero
    EXPECT_EQ(computeLineBudget(m, std::nanf("")).count, 0);
    // 99.9 × 0.01 = 0.999 → 0 lines.
    EXPECT_EQ(computeLineBudget(strip({99.9f, 0, 0}), 0.01f).count, 0);
    b = computeLineBudget(TriMesh{}, 5.0f);
    EXPECT_EQ(b.totalPower, 0.0f);
    EXPECT_EQ(b.count, 0);
}

TEST(Seeding, ExactlyBudgetSeedsInFaceOrder) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 10.0f);
    std::vector<float> powers(60);
    for (float& p : powers)
        p = u(rng);
    powers[37] = 12.0f; // the largest power
    for (uint32_t generatorSeed = 0; generatorSeed < 20; ++generatorSeed)
        for (int budget : {1, 7, 59}) {
            TriMesh m = strip(powers);
            std::vector<Vec3> seeds = {{9, 9, 9}}; // seeds are appended
            EXPECT_EQ(seedLines(m, seeds, budget, generatorSeed), budget);
            const std::vector<int> faces = marked(m);
            ASSERT_EQ(faces.size(), static_cast<std::size_t>(budget));
            EXPECT_TRUE(std::count(faces.begin(), faces.end(), 37)); // the largest power stays
            std::vector<Vec3> want = {{9, 9, 9}}; // in face order: centroid + normal
            for (int f : faces)
                want.push_back(stripSeed(f));
            EXPECT_EQ(seeds, want);
            // The same generator seed gives the same choice.
            TriMesh again = strip(powers);
            std::vector<Vec3> seeds2;
            seedLines(again, seeds2, budget, generatorSeed);
            EXPECT_EQ(marked(again), faces);
        }
    // Different generator seeds usually pick different faces.
    TriMesh a = strip(powers), b = strip(powers);
    std::vector<Vec3> sa, sb;
    seedLines(a, sa, 10, 1);
    seedLines(b, sb, 10, 2);
    EXPECT_NE(marked(a), marked(b));
}

TEST(Seeding, BudgetEdgeCases) {
    std::vector<Vec3> seeds;
    // A budget at or above the face count keeps every face, in face order.
    TriMesh m = strip({1, 2, 3, 4});
    EXPECT_EQ(seedLines(m, seeds, 4, 0), 4);
    EXPECT_EQ(marked(m), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(seeds, (std::vector<Vec3>{stripSeed(0), stripSeed(1), stripSeed(2), stripSeed(3)}));

    // A budget below 1 marks nothing and seeds nothing, also after an earlier seeding.
    for (int budget : {0, -3}) {
        seeds.clear();
        EXPECT_EQ(seedLines(m, seeds, budget, 0), 0);
        EXPECT_TRUE(seeds.empty());
        EXPECT_TRUE(marked(m).empty());
    }

    // Faces of zero power are removed at their first visit (r > 0) while
    // faces of the largest power never are: exactly the strong faces remain.
    std::vector<float> powers(100, 0.0f);
    for (int f = 5; f < 100; f += 10)
        powers[f] = 1.0f;
    TriMesh z = strip(powers);
    seeds.clear();
    EXPECT_EQ(seedLines(z, seeds, 10, 42), 10);
    EXPECT_EQ(marked(z), (std::vector<int>{5, 15, 25, 35, 45, 55, 65, 75, 85, 95}));

    // keep = 0.99999^1.5 ≈ 0.999985 lies above every draw but 32767/32767 = 1,
    // so face 0 goes only when r is exactly 1, which must never remove the
    // face of the largest power (keep = 1) when it comes first.
    for (uint32_t generatorSeed = 0; generatorSeed < 10; ++generatorSeed) {
        TriMesh two = strip({0.99999f, 1.0f});
        seeds.clear();
        seedLines(two, seeds, 1, generatorSeed);
        EXPECT_EQ(marked(two), (std::vector<int>{1})) << generatorSeed;
    }

    // When no face can be removed (all powers equal, or all zero) the
    // thinning must still end with exactly `budget` seeds.
    for (float p : {2.5f, 0.0f}) {
        TriMesh e = strip(std::vector<float>(10, p));
        seeds.clear();
        EXPECT_EQ(seedLines(e, seeds, 3, 0), 3);
        EXPECT_EQ(seeds.size(), 3u);
        EXPECT_EQ(marked(e).size(), 3u);
    }
}
