// Field-line tracing through the gradient grid.
#include "tracing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

using namespace quorax;

namespace {

// A ready grid with unit spacing (stepMax 0.75) whose node (i, j, k) holds f(i, j, k).
GradientGrid makeField(int nx, int ny, int nz, std::function<Vec3(int, int, int)> f) {
    GradientGrid g;
    g.nx = nx, g.ny = ny, g.nz = nz;
    g.delta = {1, 1, 1};
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
            for (int k = 0; k < nz; ++k)
                g.vectors.push_back(f(i, j, k));
    g.vectors.shrink_to_fit();
    g.ready = true;
    return g;
}

GradientGrid uniform(Vec3 v, int nx = 241) {
    return makeField(nx, 6, 6, [v](int, int, int) { return v; });
}

FieldLine trace(const GradientGrid& g, Vec3 seed, float haltGradient, float haltAngle,
                int maxSteps = 200, ZeroSegmentRule rule = ZeroSegmentRule::NeverJudged) {
    FieldLine line = {{7, 7, 7}, {8, 8, 8}}; // the line is emptied first
    traceFieldLine(g, seed, haltGradient, haltAngle, line, maxSteps, rule);
    return line;
}

} // namespace

TEST(Tracing, StepMax) {
    GradientGrid g;
    g.delta = {2.0f / 3, 4.0f / 3, 4.0f / 3}; // cell diagonal 2: half of it is 1, capped at 0.75
    EXPECT_EQ(stepMaxFor(g), 0.75f);
    g.delta = {1.0f / 3, 2.0f / 3, 2.0f / 3}; // cell diagonal 1
    EXPECT_FLOAT_EQ(stepMaxFor(g), 0.5f);
    g.delta = {0, 0, 0};
    EXPECT_EQ(stepMaxFor(g), 0.0f);
}

TEST(Tracing, UniformField) {
    // Strength 0.1 along x, below stepMax: every step is 0.1 long, 200 each
    // way, so 401 points, against the gradient (−x) first. A halt angle of 1
    // degree does not stop a straight line, not even at the step that spans
    // the seed; a halt gradient of 0 or below is off.
    const Vec3 seed{120.5f, 2.5f, 2.5f};
    for (float haltGradient : {0.0f, -1.0f}) {
        const FieldLine l = trace(uniform({0.1f, 0, 0}), seed, haltGradient, 1.0f);
        ASSERT_EQ(l.size(), 401u);
        EXPECT_EQ(l[200], seed);
        EXPECT_NEAR(l.front().x, 100.5f, 1e-3f);
        EXPECT_NEAR(l.back().x, 140.5f, 1e-3f);
        for (std::size_t n = 1; n < l.size(); ++n) {
            EXPECT_NEAR(l[n].x - l[n - 1].x, 0.1f, 1e-4f);
            EXPECT_EQ(l[n].y, 2.5f);
        }
    }
    // A halt angle of 0: a straight step has a dot product of exactly
    // cos 0 = 1, and an equal value does not halt.
    EXPECT_EQ(trace(uniform({0.1f, 0, 0}), seed, 0, 0.0f).size(), 401u);
    // A step exactly as long as the halt gradient does not halt.
    EXPECT_EQ(trace(uniform({0.5f, 0, 0}), seed, 0.5f, 45.0f).size(), 401u);
    EXPECT_EQ(trace(uniform({0.5f, 0, 0}), seed, 0.5f, 45.0f, 3).size(), 7u);
    // Strength 2 is capped to 0.75, shorter than a halt gradient of 1: each
    // direction stops after its first step.
    const FieldLine h = trace(uniform({2, 0, 0}), seed, 1.0f, 45.0f);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0].x, 119.75f);
    EXPECT_EQ(h[2].x, 121.25f);
}

TEST(Tracing, LeavingTheUsableCells) {
    // Steps of 0.75 (capped) on a 20-node x axis, usable cells 2 … 18. From
    // x = 10 the trace goes down to 1.75, the first point in cell 1, and up
    // to 19, the first point in cell 19; those points are kept, no point is
    // added beyond them.
    const GradientGrid g = uniform({1, 0, 0}, 20);
    const FieldLine l = trace(g, {10, 2.5f, 2.5f}, 0, 45);
    ASSERT_EQ(l.size(), 24u); // 11 points below the seed, 12 above
    EXPECT_EQ(l.front().x, 1.75f);
    EXPECT_EQ(l[11].x, 10.0f);
    EXPECT_EQ(l.back().x, 19.0f);

    // A seed outside the usable cells is the whole line: cell 1, cell nx − 1,
    // beyond the grid, not finite.
    const float nan = std::numeric_limits<float>::quiet_NaN(),
                inf = std::numeric_limits<float>::infinity();
    for (Vec3 s : {Vec3{1.9f, 2.5f, 2.5f}, Vec3{10, 1.5f, 2.5f}, Vec3{19.2f, 2.5f, 2.5f},
                   Vec3{10, 2.5f, 5.2f}, Vec3{-50, 2.5f, 2.5f}, Vec3{nan, 2.5f, 2.5f},
                   Vec3{10, inf, 2.5f}}) {
        const FieldLine one = trace(g, s, 0, 45);
        ASSERT_EQ(one.size(), 1u) << s.x << " " << s.y << " " << s.z;
        EXPECT_EQ(std::memcmp(&one[0], &s, sizeof s), 0);
    }
    // A seed in cell nx − 2 is usable.
    EXPECT_GT(trace(g, {18.5f, 2.5f, 2.5f}, 0, 45).size(), 1u);

    // A grid with zero spacing, one marked not ready, one never computed: no usable cell.
    GradientGrid flat = g, unready = g, never;
    flat.delta = {0, 0, 0};
    unready.ready = false;
    for (const GradientGrid* bad : {&flat, &unready, &never})
        EXPECT_EQ(trace(*bad, {10, 2.5f, 2.5f}, 0, 45).size(), 1u);
}

TEST(Tracing, AngleHalt) {
    // +x for x ≤ 10, +y from x = 11 on. Going along the gradient from
    // x = 8.5: 9.25, 10, 10.75, then at 10.75 the sample is (0.25, 0.75, 0):
    // a bend of 71.6 degrees from +x. With a halt angle of 45 the line stops
    // there and keeps that point; with 80, 90 (test off) or 90.5 it turns
    // and runs along +y until it leaves the grid.
    const GradientGrid g = makeField(20, 30, 6, [](int i, int, int) {
        return i <= 10 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    });
    const Vec3 seed{8.5f, 5.5f, 2.5f};
    const FieldLine halted = trace(g, seed, 0, 45);
    ASSERT_GE(halted.size(), 4u);
    const Vec3 end = halted.back(), before = halted[halted.size() - 2];
    EXPECT_EQ(before, (Vec3{10.75f, 5.5f, 2.5f}));
    EXPECT_GT(end.y - before.y, 2 * (end.x - before.x)); // the bending step stays in the line
    EXPECT_EQ(halted.front().x, 1.75f);                  // against the gradient: straight to cell 1
    for (float angle : {80.0f, 90.0f, 90.5f}) {
        const FieldLine on = trace(g, seed, 0, angle);
        EXPECT_GT(on.size(), halted.size() + 10) << angle;
        EXPECT_GE(on.back().y, 28.0f) << angle;
    }
}

TEST(Tracing, ZeroField) {
    // Where the gradient is zero every step repeats the point. The console
    // rule never judges a bend of a zero segment, so the line gets all
    // 1 + 2·200 equal points; the viewer's rule sees a dot product of 0,
    // which halts for a halt angle of 45 (each direction once the three
    // newest points exist) but not for 100, whose cosine is negative.
    const GradientGrid g = uniform({0, 0, 0}, 20);
    const Vec3 seed{10.5f, 2.5f, 2.5f};
    const FieldLine console = trace(g, seed, 0, 45);
    ASSERT_EQ(console.size(), 401u);
    for (const Vec3& p : console)
        EXPECT_EQ(p, seed);
    EXPECT_EQ(trace(g, seed, 0, 45, 200, ZeroSegmentRule::DotIsZero).size(), 4u);
    EXPECT_EQ(trace(g, seed, 0, 100, 200, ZeroSegmentRule::DotIsZero).size(), 401u);
    EXPECT_EQ(trace(g, seed, 0, 90, 200, ZeroSegmentRule::DotIsZero).size(), 401u);
    // A positive halt gradient stops both directions at once.
    EXPECT_EQ(trace(g, seed, 0.01f, 45).size(), 3u);
}
