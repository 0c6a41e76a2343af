// Field lines traced through the gradient grid: their points and why each end stopped.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "grids.h"
#include "tracing.h"

using namespace quorax;
using namespace quorax::test;

namespace {

GradientGrid uniform(Vec3 v, int nx = 241) {
    return field(nx, 6, 6, [v](int, int, int) { return v; });
}
FieldLine trace(const GradientGrid& g, Vec3 seed, float haltGradient, float haltAngle,
                int maxSteps = 200, ZeroSegmentRule rule = ZeroSegmentRule::NeverJudged) {
    FieldLine line = {{{7, 7, 7}}, StopReason::Bend, StopReason::Bend}; // the line is replaced
    traceFieldLine(g, seed, haltGradient, haltAngle, line, maxSteps, rule);
    return line;
}

} // namespace

TEST(Tracing, UniformFieldIsStraight) {
    // 200 steps of 0.1 each way, against the gradient (−x) first. A straight step's
    // dot product is exactly cos 0 = 1, and equal values never halt.
    const Vec3 seed{120.5f, 2.5f, 2.5f};
    const FieldLine l = trace(uniform({0.1f, 0, 0}), seed, -1.0f, 0.0f);
    ASSERT_EQ(l.size(), 401u);
    EXPECT_EQ(l[200], seed);
    EXPECT_NEAR(l.front().x, 100.5f, 1e-3f);
    EXPECT_NEAR(l.back().x, 140.5f, 1e-3f);
    EXPECT_EQ(std::pair(l.backward, l.forward), std::pair(StopReason::StepLimit, StopReason::StepLimit));
    for (const Vec3& q : l) EXPECT_TRUE(q.y == 2.5f && q.z == 2.5f);
    // Strength 2 is capped to 0.75 < 1, the halt gradient: each direction stops after
    // its first step, which stays. Equal to the halt gradient goes on; maxSteps ends.
    EXPECT_EQ(trace(uniform({2, 0, 0}), seed, 1.0f, 45.0f),
              (FieldLine{{{119.75f, 2.5f, 2.5f}, seed, {121.25f, 2.5f, 2.5f}},
                         StopReason::WeakField, StopReason::WeakField}));
    EXPECT_EQ(trace(uniform({0.5f, 0, 0}), seed, 0.5f, 45.0f).size(), 401u);
    const FieldLine three = trace(uniform({0.5f, 0, 0}), seed, 0.5f, 45.0f, 3);
    EXPECT_EQ(three.size(), 7u);
    EXPECT_EQ(three.forward, StopReason::StepLimit);
    GradientGrid half;
    half.delta = {1.0f / 3, 2.0f / 3, 2.0f / 3}; // stepMax is half the cell diagonal
    EXPECT_FLOAT_EQ(stepMaxFor(half), 0.5f);
}

TEST(Tracing, LeavingTheUsableCells) {
    // Steps of 0.75, usable cells 2 … 18: from 10 to 1.75 and 19, the first points outside.
    const GradientGrid g = uniform({1, 0, 0}, 20);
    const FieldLine l = trace(g, {10, 2.5f, 2.5f}, 0, 45);
    ASSERT_EQ(l.size(), 24u); // 11 points below the seed, 12 above
    EXPECT_EQ((std::array{l.front().x, l[11].x, l.back().x}), (std::array{1.75f, 10.0f, 19.0f}));
    EXPECT_EQ(std::pair(l.backward, l.forward), std::pair(StopReason::LeftGrid, StopReason::LeftGrid));
    EXPECT_GT(trace(g, {18.5f, 2.5f, 2.5f}, 0, 45).size(), 1u); // cell nx − 2 is usable
    // A seed in cell 1 or nx − 1, beyond the grid, or not finite is the whole line.
    for (Vec3 s : {Vec3{1.9f, 2.5f, 2.5f}, Vec3{10, 1.5f, 2.5f}, Vec3{19.2f, 2.5f, 2.5f},
                   Vec3{10, 2.5f, 5.2f}, Vec3{-50, 2.5f, 2.5f}, Vec3{NAN, 2.5f, 2.5f}}) {
        const FieldLine one = trace(g, s, 0, 45);
        ASSERT_EQ(one.size(), 1u) << s.x << " " << s.y << " " << s.z;
        EXPECT_EQ(std::memcmp(&one[0], &s, sizeof s), 0);
        const StopReason want = std::isnan(s.x) ? StopReason::NonFinite : StopReason::LeftGrid;
        EXPECT_EQ(std::pair(one.backward, one.forward), std::pair(want, want));
    }
    GradientGrid flat = g;
    flat.delta = {0, 0, 0};
    for (const GradientGrid& bad : {flat, GradientGrid{}}) {
        const FieldLine one = trace(bad, {10, 2.5f, 2.5f}, 0, 45);
        EXPECT_EQ(one.size(), 1u);
        EXPECT_EQ(one.forward, StopReason::LeftGrid);
    }
    // A gradient node that is not a number makes the next point NaN: it stays
    // in the line, and the direction ends there.
    GradientGrid holed = g;
    holed.vectors[static_cast<std::size_t>(14 * 36 + 2 * 6 + 2)] = {NAN, 0, 0};
    const FieldLine nan = trace(holed, {10, 2.5f, 2.5f}, 0, 45);
    EXPECT_EQ(std::pair(nan.backward, nan.forward), std::pair(StopReason::LeftGrid, StopReason::NonFinite));
    EXPECT_TRUE(std::isnan(nan.back().x));
    EXPECT_EQ(nan[nan.size() - 2].x, 13.0f); // the first point whose cell has node 14 (weight 0 × NaN is NaN)
}

TEST(Tracing, BothDirectionsWalkTheSameWay) {
    // Negating the field swaps the directions: the line comes out reversed with its reasons swapped, bit for bit (every
    // product and sum of the sampling only changes sign). A curved field with a halt angle exercises every rule.
    const auto swirl = [](float s) {
        return field(24, 24, 8, [s](int i, int j, int k) {
            return s * Vec3{float(12 - j) * 0.07f, float(i - 12) * 0.07f + 0.02f * float(k), 0.01f * float(i)};
        });
    };
    const GradientGrid g = swirl(1.0f), minus = swirl(-1.0f);
    for (Vec3 seed : {Vec3{6.3f, 11.1f, 3.5f}, Vec3{15.2f, 9.7f, 4.1f}, Vec3{12.5f, 18.25f, 2.5f}})
        for (float angle : {10.0f, 45.0f, 90.0f}) {
            const FieldLine a = trace(g, seed, 0.05f, angle), b = trace(minus, seed, 0.05f, angle);
            std::vector<Vec3> reversed(b.points.rbegin(), b.points.rend());
            EXPECT_EQ(a.points, reversed);
            EXPECT_EQ(std::pair(a.backward, a.forward), std::pair(b.forward, b.backward));
            EXPECT_GT(a.size(), 2u);
        }
}

TEST(Tracing, AngleHalt) {
    // +x for i ≤ 10, +y beyond: from 8.5 the line reaches 10.75, where the sample
    // (0.25, 0.75, 0) bends it by 71.6 degrees. 45 stops it there, keeping the bent
    // step; 80, 90 (test off) and 90.5 let it run along +y out of the grid.
    const GradientGrid g = field(20, 30, 6, [](int i, int, int) { return i <= 10 ? Vec3{1, 0, 0} : Vec3{0, 1, 0}; });
    const Vec3 seed{8.5f, 5.5f, 2.5f};
    const FieldLine halted = trace(g, seed, 0, 45);
    ASSERT_GE(halted.size(), 4u);
    const Vec3 end = halted.back(), before = halted[halted.size() - 2];
    EXPECT_EQ(before, (Vec3{10.75f, 5.5f, 2.5f}));
    EXPECT_GT(end.y - before.y, 2 * (end.x - before.x));
    EXPECT_EQ(halted.front().x, 1.75f); // against the gradient: straight to cell 1
    EXPECT_EQ(std::pair(halted.backward, halted.forward), std::pair(StopReason::LeftGrid, StopReason::Bend));
    for (float angle : {80.0f, 90.0f, 90.5f}) {
        const FieldLine free = trace(g, seed, 0, angle);
        EXPECT_GE(free.back().y, 28.0f) << angle;
        EXPECT_EQ(free.forward, StopReason::LeftGrid);
    }
}

TEST(Tracing, ZeroField) {
    // Every step repeats the point. The console never judges a zero segment's bend;
    // the viewer sees a dot product of 0, which halts at 45 degrees (once three points
    // exist) but not at 100 (cosine < 0) nor 90 (off). A halt gradient stops at once.
    const GradientGrid g = uniform({0, 0, 0}, 20);
    const Vec3 seed{10.5f, 2.5f, 2.5f};
    const ZeroSegmentRule viewer = ZeroSegmentRule::DotIsZero;
    EXPECT_EQ(trace(g, seed, 0, 45),
              (FieldLine{std::vector<Vec3>(401, seed), StopReason::StepLimit, StopReason::StepLimit}));
    const FieldLine bent = trace(g, seed, 0, 45, 200, viewer);
    EXPECT_EQ(bent.size(), 4u);
    EXPECT_EQ(std::pair(bent.backward, bent.forward), std::pair(StopReason::Bend, StopReason::Bend));
    EXPECT_EQ(trace(g, seed, 0, 100, 200, viewer).size(), 401u);
    EXPECT_EQ(trace(g, seed, 0, 90, 200, viewer).size(), 401u);
    const FieldLine weak = trace(g, seed, 0.01f, 45);
    EXPECT_EQ(weak.size(), 3u);
    EXPECT_EQ(std::pair(weak.backward, weak.forward), std::pair(StopReason::WeakField, StopReason::WeakField));
}
