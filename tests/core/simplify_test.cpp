// Thinning of traced lines.
#include "simplify.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace quorax;

namespace {

FieldLine straight(int n) {
    FieldLine l;
    for (int i = 0; i < n; ++i)
        l.push_back({float(i), 0, 0});
    return l;
}

// The simplification written the slow, literal way: one point at a time,
// the later points shifted down after each removal, the point count re-read
// before every test, passes until one removes nothing.
int referenceSimplify(FieldLine& p, float cosReduce, ZeroSegmentRule rule) {
    int removed = 0;
    for (bool again = true; again;) {
        again = false;
        for (int l = 1; l < static_cast<int>(p.size()) - 2;) {
            const Vec3 a = p[l] - p[l - 1], b = p[l + 1] - p[l];
            const float la = length(a), lb = length(b);
            // Console: dividing by a zero length gives NaN, which is never
            // greater. Viewer: the zero segment stays zero, the product is 0.
            float d = rule == ZeroSegmentRule::DotIsZero ? 0.0f : std::nanf("");
            if (la != 0 && lb != 0)
                d = dot(Vec3{a.x / la, a.y / la, a.z / la}, Vec3{b.x / lb, b.y / lb, b.z / lb});
            if (d > cosReduce) {
                p.erase(p.begin() + l);
                ++removed;
                again = true;
                l += 2;
            } else {
                l += 1;
            }
        }
    }
    return removed;
}

} // namespace

TEST(Simplify, StraightLines) {
    // A straight run keeps its first point and its last two points.
    std::vector<FieldLine> lines = {straight(10)};
    SimplifyResult r = simplifyLines(lines, 3.0f);
    EXPECT_EQ(lines[0], (FieldLine{{0, 0, 0}, {8, 0, 0}, {9, 0, 0}}));
    EXPECT_EQ(r.removed, 7);
    EXPECT_EQ(r.remaining, 3);

    // Five points: pass 1 removes point 1 and skips to l = 3, which is not
    // below n − 2 = 2; pass 2 removes the new point 1; two removals.
    lines = {straight(5)};
    r = simplifyLines(lines, 3.0f);
    EXPECT_EQ(lines[0], (FieldLine{{0, 0, 0}, {3, 0, 0}, {4, 0, 0}}));
    EXPECT_EQ(r.removed, 2);

    // Angle 0: cosReduce is 1 and a dot product of exactly 1 does not exceed it.
    lines = {straight(10)};
    EXPECT_EQ(simplifyLines(lines, 0.0f).removed, 0);
    EXPECT_EQ(lines[0].size(), 10u);

    // The remaining count includes lines too short to simplify; an empty
    // list gives 0 and 0.
    lines = {straight(1), straight(2), straight(3), straight(10)};
    r = simplifyLines(lines, 3.0f);
    EXPECT_EQ(r.removed, 7);
    EXPECT_EQ(r.remaining, 1 + 2 + 3 + 3);
    lines.clear();
    r = simplifyLines(lines, 3.0f);
    EXPECT_EQ(r.removed, 0);
    EXPECT_EQ(r.remaining, 0);
}

TEST(Simplify, BentLines) {
    // A zigzag turning by 90 degrees at every point: angle 45 removes
    // nothing, angle 180 (cosReduce −1) removes every candidate until only
    // 3 points are left.
    FieldLine zig;
    for (int i = 0; i < 12; ++i)
        zig.push_back({float((i + 1) / 2), float(i / 2), 0});
    std::vector<FieldLine> lines = {zig};
    EXPECT_EQ(simplifyLines(lines, 45.0f).removed, 0);
    EXPECT_EQ(lines[0], zig);
    EXPECT_EQ(simplifyLines(lines, 180.0f).removed, 9);
    EXPECT_EQ(lines[0].size(), 3u);
    EXPECT_EQ(lines[0].front(), zig.front());
    EXPECT_EQ(lines[0].back(), zig.back());

    // A repeated point makes a zero-length segment. The console rule never
    // removes on it, even with angle 120; the viewer's rule sees a dot
    // product of 0 > cos 120, removes the point, and then the straight rest.
    const FieldLine dup = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    lines = {dup};
    EXPECT_EQ(simplifyLines(lines, 120.0f).removed, 0);
    lines = {dup};
    EXPECT_EQ(simplifyLines(lines, 120.0f, ZeroSegmentRule::DotIsZero).removed, 2);
    EXPECT_EQ(lines[0], (FieldLine{{0, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
    lines = {dup}; // below 90 the viewer's rule keeps the zero segment too
    EXPECT_EQ(simplifyLines(lines, 60.0f, ZeroSegmentRule::DotIsZero).removed, 0);
}

TEST(Simplify, MatchesTheOnePointAtATimeLoop) {
    // Random walks with small and large turns, repeated points and straight
    // runs, against the literal loop; the pass structure (skip two after a
    // removal, restart at 1) decides which points survive.
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int> len(0, 40), kind(0, 9);
    const float angles[] = {0, 1, 3, 10, 30, 45, 89, 90, 100, 150, 180, 270};
    for (int n = 0; n < 3000; ++n) {
        FieldLine line;
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
        const ZeroSegmentRule rule =
            n % 3 ? ZeroSegmentRule::NeverJudged : ZeroSegmentRule::DotIsZero;
        FieldLine want = line;
        const int removed = referenceSimplify(want, cosDegrees(angle), rule);
        std::vector<FieldLine> lines = {line};
        const SimplifyResult r = simplifyLines(lines, angle, rule);
        ASSERT_EQ(lines[0], want) << "line " << n << ", angle " << angle;
        ASSERT_EQ(r.removed, removed);
        ASSERT_EQ(r.remaining, static_cast<int32_t>(want.size()));
    }
}
