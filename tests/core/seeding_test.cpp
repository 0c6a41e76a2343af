// How many field lines a surface deserves and where they start.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "seeding.h"

using namespace quorax;

namespace {

// A strip of unit right triangles in the plane z = 0, face f with its right angle
// at (f, 0, 0), normal +z, the given powers and the mark of an earlier seeding.
TriMesh strip(const std::vector<float>& powers) {
    TriMesh m;
    for (int f = 0; f < static_cast<int>(powers.size()); ++f) {
        for (Vec3 p : {Vec3{f + 0.0f, 0, 0}, Vec3{f + 1.0f, 0, 0}, Vec3{f + 0.0f, 1, 0}})
            m.vertices.push_back({p, {}, 0});
        m.faces.push_back({{3 * f, 3 * f + 1, 3 * f + 2}, {0, 0, 1}, powers[f], true});
    }
    return m;
}

// The faces that seeding marks; checks that there are exactly `budget` and that the
// seeds appended are their centroids ((3f + 1)/3, 1/3, 0) plus the normal, in order.
std::vector<int> seed(const std::vector<float>& powers, int budget, uint32_t generatorSeed) {
    TriMesh m = strip(powers);
    std::vector<Vec3> seeds = {{9, 9, 9}}, want = {{9, 9, 9}};
    const int count = seedLines(m, seeds, budget, generatorSeed).seeded;
    std::vector<int> faces;
    for (int f = 0; f < m.faceCount(); ++f)
        if (m.faces[f].seeded) faces.push_back(f), want.push_back({(3.0f * f + 1) / 3, 1 / 3.0f, 1});
    EXPECT_EQ(seeds, want);
    EXPECT_TRUE(count == static_cast<int>(faces.size()) && count == std::max(budget, 0));
    return faces;
}

// The thinning written the literal way: a cursor stepping face by face and
// passing over unmarked faces, with no bound on the draws. Returns the marks.
std::vector<int> referenceThinning(const std::vector<float>& powers, int budget, uint32_t generatorSeed) {
    const int n = static_cast<int>(powers.size());
    const float maxPower = *std::max_element(powers.begin(), powers.end());
    std::vector<int> marked(n, 1);
    int remaining = n, removable = 0;
    for (float p : powers) removable += std::pow(p / maxPower, 1.5f) < 1.0f;
    SeedRandom random(generatorSeed);
    for (int c = 0; remaining > budget && removable > 0; c = (c + 1) % n) {
        if (!marked[c]) continue;
        const float r = static_cast<float>(random.next() / 32767.0);
        if (static_cast<float>(std::pow(powers[c] / maxPower, 1.5)) < r) marked[c] = 0, --remaining, --removable;
    }
    std::vector<int> faces;
    for (int f = 0; f < n; ++f)
        if (marked[f] && static_cast<int>(faces.size()) < budget) faces.push_back(f);
    return faces;
}

} // namespace

// The thinning's keep value against the C library's pow, on every 61st float
// and on the edges: zero, negatives, tiny, huge, infinite, not a number.
TEST(Seeding, KeepValueIsPowsFloat) {
    const auto expected = [](float x) { return static_cast<float>(std::pow(static_cast<double>(x), 1.5)); };
    const auto same = [](float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    int checked = 0;
    for (uint32_t bits = 0; bits < 0x7F800000u; bits += 61, ++checked) {
        const float x = std::bit_cast<float>(bits);
        ASSERT_EQ(powerOneAndHalf(x), expected(x)) << "x = " << x;
    }
    for (float x : {0.0f, -0.0f, -1.0f, 1e-30f, 1e30f, 3e38f, INFINITY, -INFINITY, NAN})
        EXPECT_TRUE(same(powerOneAndHalf(x), expected(x))) << "x = " << x;
    EXPECT_GT(checked, 30000000);
}

TEST(LineBudget, TruncatesAndClamps) {
    // Power 250.7 × 0.01 = 2.507 → 2 (truncated); × 1 → 3, the face count; no lower clamp.
    const TriMesh m = strip({100.0f, 100.0f, 50.7f});
    EXPECT_FLOAT_EQ(computeLineBudget(m, 0.01f).totalPower, 250.7f);
    for (auto [density, count] : {std::pair{0.01f, 2}, {1.0f, 3}, {-0.01f, -2}, {NAN, 0}})
        EXPECT_EQ(computeLineBudget(m, density).count, count) << density;
    EXPECT_EQ(computeLineBudget(strip({99.9f, 0, 0}), 0.01f).count, 0); // 0.999 → 0
}

TEST(Seeding, ExactlyBudgetSeedsInFaceOrder) {
    // Exactly `budget` faces, the largest power among them, the same for the same generator seed (the tool's tests try
    // another); a budget at or above the face count keeps all, below 1 none.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 10.0f);
    std::vector<float> powers(60);
    std::generate(powers.begin(), powers.end(), [&] { return u(rng); });
    powers[37] = 12.0f;
    for (uint32_t generatorSeed = 0; generatorSeed < 5; ++generatorSeed)
        for (int budget : {1, 7, 59}) {
            const std::vector<int> faces = seed(powers, budget, generatorSeed);
            EXPECT_EQ(std::count(faces.begin(), faces.end(), 37), 1);
            EXPECT_EQ(seed(powers, budget, generatorSeed), faces);
        }
    EXPECT_EQ(seed({1, 2, 3, 4}, 4, 0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(seed({1, 2, 3, 4}, 0, 0).empty() && seed({1, 2, 3, 4}, -3, 0).empty());
}

TEST(Seeding, PowerDecidesAndThinningEnds) {
    // Faces of zero power go at their first visit (r > 0), those of the largest
    // power never: exactly the strong faces remain.
    std::vector<float> powers(100, 0.0f);
    for (int f = 5; f < 100; f += 10) powers[f] = 1.0f;
    EXPECT_EQ(seed(powers, 10, 42), (std::vector<int>{5, 15, 25, 35, 45, 55, 65, 75, 85, 95}));
    // keep = 0.99999^1.5 lies below only r = 32767/32767 = 1, so face 0 goes only
    // then; the face of the largest power (keep = 1) must not go even then.
    for (uint32_t generatorSeed = 0; generatorSeed < 10; ++generatorSeed)
        EXPECT_EQ(seed({0.99999f, 1.0f}, 1, generatorSeed), std::vector<int>{1});
    // When no face can be removed (all powers equal, or all zero) the thinning
    // still ends, with the first `budget` faces.
    for (float p : {2.5f, 0.0f}) EXPECT_EQ(seed(std::vector<float>(10, p), 3, 0), (std::vector<int>{0, 1, 2}));
}

TEST(Seeding, MatchesTheFaceByFaceCursor) {
    // Random powers with runs of equal and zero powers, every budget regime:
    // the ring over the marked faces visits them as the literal cursor does.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> len(1, 300), kind(0, 9);
    std::uniform_real_distribution<float> u(0.0f, 10.0f);
    for (int n = 0; n < 200; ++n) {
        std::vector<float> powers(len(rng));
        for (float& p : powers) p = kind(rng) == 0 ? 0.0f : kind(rng) == 1 ? 10.0f : u(rng);
        const int faces = static_cast<int>(powers.size());
        const int budget = std::uniform_int_distribution<int>(1, faces)(rng);
        const uint32_t generatorSeed = rng();
        TriMesh m = strip(powers);
        std::vector<Vec3> seeds;
        const SeedingResult r = seedLines(m, seeds, budget, generatorSeed);
        EXPECT_FALSE(r.boundReached);
        std::vector<int> got;
        for (int f = 0; f < faces; ++f)
            if (m.faces[f].seeded) got.push_back(f);
        ASSERT_EQ(got, referenceThinning(powers, budget, generatorSeed)) << "case " << n;
    }
}

TEST(Seeding, BoundedThinningKeepsTheStrongest) {
    // 100 000 faces of nearly equal power: each visit removes a face about once in 32768 draws, so thinning to 100
    // would take some 3·10⁹ draws. The draws stop at the bound and the strongest faces stay: the ten of power 1 (face
    // order among equals), then the 90 of the next power.
    std::vector<float> powers(100000);
    for (int f = 0; f < 100000; ++f) powers[f] = 0.99999f - 1e-7f * float(f % 7);
    for (int f = 5; f < 100000; f += 10000) powers[f] = 1.0f;
    TriMesh m = strip(powers);
    std::vector<Vec3> seeds;
    const SeedingResult r = seedLines(m, seeds, 100, 3);
    EXPECT_TRUE(r.boundReached);
    EXPECT_EQ(r.draws, maxSeedingDraws(100000));
    EXPECT_EQ(r.seeded, 100);
    EXPECT_EQ(seeds.size(), 100u);
    int strongest = 0, next = 0;
    for (int f = 0; f < 100000; ++f) {
        if (!m.faces[f].seeded) continue;
        strongest += powers[f] == 1.0f;
        next += powers[f] == 0.99999f;
    }
    EXPECT_EQ(std::pair(strongest, next), std::pair(10, 90));
}

TEST(Seeding, TheViewersSeedings) {
    // Face f of the strip has its centroid at ((3f + 1)/3, 1/3, 0) and the normal +z.
    TriMesh m = strip(std::vector<float>(10, 0.0f));
    const auto centroid = [](int f) { return Vec3{(3.0f * f + 1) / 3, 1 / 3.0f, 0}; };
    // Equal lines: every (10 / 3)-th face from face 0, which gives four.
    EXPECT_EQ(equalLineSeeds(m, 3, false), (std::vector{centroid(0), centroid(3), centroid(6), centroid(9)}));
    // OLD POW: |value| must exceed 0.005 (vertex 1 does not) and deleted vertex 4 is
    // no candidate. m = trunc(10 · 100) draws 0 … 999: a value of 0.01 (a = 0.1) goes
    // at any draw but 0, one of 100 (a = 1000) never, so vertices 3, 9 and 15 stay.
    std::vector<float> values(30, -0.01f);
    std::vector<uint32_t> flags(30, 0);
    values[1] = 0.005f;
    for (int v : {3, 4, 9, 15}) values[v] = v == 9 ? -100.0f : 100.0f;
    flags[4] = kDeletedFlag;
    for (int v = 0; v < 30; ++v) m.vertices[v].normal = {0, 0, float(v)};
    Random31 random;
    const OldPowSeeds old = oldPowSeeds(m, values, flags, 0.005f, 3, true, random);
    EXPECT_EQ(old.candidates, 28);
    EXPECT_FALSE(old.keptFirst);
    EXPECT_EQ(old.seeds, (std::vector<Vec3>{{1, 0, 3}, {3, 0, 9}, {5, 0, 15}}));
    // NEW POW over a potential of 1 (−2 beyond x = 9.5, where the corners of face 9 sample a blend): faces 0 … 8 have
    // power 0.5, face 9 more. Total power · 0.5 gives the count; face 9 is taken at every visit.
    PotentialGrid g{{}, 14, 4, 3, {-1, -1, -1}, {1, 1, 1}};
    for (int n = 0; n < 14 * 4 * 3; ++n) g.values.push_back(n / 12 >= 11 ? -2.0f : 1.0f);
    random.restart();
    const NewPowSeeds pow = newPowSeeds(m, g, 0.5f, true, random);
    EXPECT_EQ(std::pair(pow.minPower, pow.cornersOutside), std::pair(0.5f, 0));
    EXPECT_GT(pow.maxPower, 0.5f);
    EXPECT_EQ(pow.count, static_cast<int32_t>(pow.total * 0.5f));
    EXPECT_EQ(pow.seeds.size(), static_cast<std::size_t>(pow.count));
    ASSERT_TRUE(m.faces[9].seeded);
    EXPECT_EQ(pow.seeds.back(), (centroid(9) + Vec3{0, 0, 1}));
}
