// Where field lines start (line budget and seeding) and how traced lines are thinned.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "seeding.h"
#include "simplify.h"

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
    const int count = seedLines(m, seeds, budget, generatorSeed);
    std::vector<int> faces;
    for (int f = 0; f < m.faceCount(); ++f)
        if (m.faces[f].seeded)
            faces.push_back(f), want.push_back({(3.0f * f + 1) / 3, 1 / 3.0f, 1});
    EXPECT_EQ(seeds, want);
    EXPECT_TRUE(count == static_cast<int>(faces.size()) && count == std::max(budget, 0));
    return faces;
}

// The simplification written the slow, literal way: one point at a time, the
// later points shifted down after each removal, the point count re-read before
// every test, passes until one removes nothing.
int referenceSimplify(std::vector<Vec3>& p, float cosReduce, ZeroSegmentRule rule) {
    int removed = 0;
    for (bool again = true; again;) {
        again = false;
        for (int l = 1; l < static_cast<int>(p.size()) - 2;) {
            const Vec3 a = p[l] - p[l - 1], b = p[l + 1] - p[l];
            // A zero segment: dividing by its length gives NaN, never greater
            // (console); it stays the zero vector, so the product is 0 (viewer).
            const float d = length(a) != 0 && length(b) != 0     ? dot(normalize(a), normalize(b))
                            : rule == ZeroSegmentRule::DotIsZero ? 0.0f
                                                                 : NAN;
            const bool remove = d > cosReduce;
            if (remove) p.erase(p.begin() + l), ++removed, again = true;
            l += remove ? 2 : 1; // after a removal the next candidate is two further
        }
    }
    return removed;
}

} // namespace

TEST(LineBudget, TruncatesAndClamps) {
    // Power 250.7 × 0.01 = 2.507 → 2 (truncated); × 1 → 3, the face count; no lower clamp.
    const TriMesh m = strip({100.0f, 100.0f, 50.7f});
    EXPECT_FLOAT_EQ(computeLineBudget(m, 0.01f).totalPower, 250.7f);
    for (auto [density, count] : {std::pair{0.01f, 2}, {1.0f, 3}, {-0.01f, -2}, {NAN, 0}})
        EXPECT_EQ(computeLineBudget(m, density).count, count) << density;
    EXPECT_EQ(computeLineBudget(strip({99.9f, 0, 0}), 0.01f).count, 0); // 0.999 → 0
}

TEST(Seeding, ExactlyBudgetSeedsInFaceOrder) {
    // Exactly `budget` faces, the largest power among them, the same for the same
    // generator seed (the tool's tests try another); a budget at or above the face
    // count keeps all, below 1 none.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 10.0f);
    std::vector<float> powers(60);
    std::generate(powers.begin(), powers.end(), [&] { return u(rng); });
    powers[37] = 12.0f;
    for (uint32_t generatorSeed = 0; generatorSeed < 20; ++generatorSeed)
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
    for (int f = 5; f < 100; f += 10)
        powers[f] = 1.0f;
    EXPECT_EQ(seed(powers, 10, 42), (std::vector<int>{5, 15, 25, 35, 45, 55, 65, 75, 85, 95}));
    // keep = 0.99999^1.5 lies below only r = 32767/32767 = 1, so face 0 goes only
    // then; the face of the largest power (keep = 1) must not go even then.
    for (uint32_t generatorSeed = 0; generatorSeed < 10; ++generatorSeed)
        EXPECT_EQ(seed({0.99999f, 1.0f}, 1, generatorSeed), std::vector<int>{1});
    // When no face can be removed (all powers equal, or all zero) the thinning
    // still ends, with the first `budget` faces.
    for (float p : {2.5f, 0.0f})
        EXPECT_EQ(seed(std::vector<float>(10, p), 3, 0), (std::vector<int>{0, 1, 2}));
}

TEST(Simplify, KeepsTheEnds) {
    // A straight run keeps its first point and its last two points (two passes for
    // five points); a one-point line is unchanged but counts in the remaining points.
    // The stop reasons stay with the lines.
    std::vector<FieldLine> lines = {{{{5, 5, 5}}},
                                    {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
                                     StopReason::Bend, StopReason::WeakField}};
    const SimplifyResult r = simplifyLines(lines, 3.0f);
    EXPECT_EQ(lines[1], (FieldLine{{{0, 0, 0}, {3, 0, 0}, {4, 0, 0}}, StopReason::Bend, StopReason::WeakField}));
    EXPECT_EQ(std::pair(r.removed, r.remaining), std::pair(2, 1 + 3));
}

TEST(Simplify, MatchesTheOnePointAtATimeLoop) {
    // Random walks with small and large turns, repeated points and straight runs,
    // against the literal loop for both zero-segment rules; the pass structure
    // (skip two after a removal, restart at 1) decides which points survive.
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int> len(0, 40), kind(0, 9);
    const float angles[] = {0, 1, 3, 10, 30, 45, 89, 90, 100, 150, 180, 270};
    for (int n = 0; n < 3000; ++n) {
        std::vector<Vec3> line;
        Vec3 p{u(rng), u(rng), u(rng)}, dir{1, 0, 0};
        for (int i = len(rng); i > 0; --i) {
            line.push_back(p);
            const int k = kind(rng);
            if (k == 0) continue; // a repeated point
            if (k >= 5)
                dir = normalize(dir + Vec3{u(rng), u(rng), u(rng)} * (k >= 8 ? 2.0f : 0.05f));
            p = p + dir * 0.5f;
        }
        const float angle = n % 2 ? angles[n / 2 % 12] : 90.0f * (u(rng) + 1.0f);
        const auto rule = n % 3 ? ZeroSegmentRule::NeverJudged : ZeroSegmentRule::DotIsZero;
        std::vector<Vec3> want = line;
        const int removed = referenceSimplify(want, cosDegrees(angle), rule);
        std::vector<FieldLine> lines = {{line}};
        const SimplifyResult r = simplifyLines(lines, angle, rule);
        ASSERT_EQ(lines[0].points, want) << "line " << n << ", angle " << angle;
        ASSERT_EQ(r.removed, removed);
        ASSERT_EQ(r.remaining, static_cast<int32_t>(want.size()));
    }
}
