// Thinning of traced lines.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "simplify.h"

using namespace quorax;

namespace {

// The simplification written the slow, literal way: one point at a time, the later points shifted down after each
// removal, the point count re-read before every test, passes until one removes nothing.
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

TEST(Simplify, KeepsTheEnds) {
    // A straight run keeps its first point and its last two points (two passes for five points); a one-point line is
    // unchanged but counts in the remaining points. The stop reasons stay with the lines.
    std::vector<FieldLine> lines = {{{{5, 5, 5}}},
                                    {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
                                     StopReason::Bend, StopReason::WeakField}};
    const SimplifyResult r = simplifyLines(lines, 3.0f);
    EXPECT_EQ(lines[1], (FieldLine{{{0, 0, 0}, {3, 0, 0}, {4, 0, 0}}, StopReason::Bend, StopReason::WeakField}));
    EXPECT_EQ(std::pair(r.removed, r.remaining), std::pair(2, 1 + 3));
}

TEST(Simplify, MatchesTheOnePointAtATimeLoop) {
    // Random walks with small and large turns, repeated points and straight runs, against the literal loop for both
    // zero-segment rules; the pass structure (skip two after a removal, restart at 1) decides which points survive.
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
            if (k >= 5) dir = normalize(dir + Vec3{u(rng), u(rng), u(rng)} * (k >= 8 ? 2.0f : 0.05f));
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
