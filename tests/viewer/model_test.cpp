// The arrow heads of the viewer's decorations, without the window.
#include "decorations.h"
#include "viewer_test.h"

using namespace quorax;
using namespace quorax::test;

TEST(Decorations, EverySeventhPointAndTheJitterCarriedOver) {
    // Points (0, y, 0) … (n−1, y, 0), one apart along x.
    auto alongX = [](int n, float y = 0) {
        FieldLine l;
        for (int i = 0; i < n; ++i) l.points.push_back({float(i), y, 0});
        return l;
    };
    ViewerRandom random; // never seeded: std::mt19937's default sequence
    std::vector<Vec3> at, dir;
    std::vector<float> size;
    // Skip 5, pyr 2, walked from point 19: starts at steps 5, 12, 19 (points 14, 7, 0), each reaching 2 points on;
    // the last has no room, nor has a line shorter than 7, and lines of fewer than two points get nothing.
    placeDecorations({alongX(20), alongX(7), alongX(1), {}}, 5, 2, 0, random, at, dir, size);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_TRUE(at[0] == (Vec3{14, 0, 0}) && at[1] == (Vec3{7, 0, 0}) && dir[0] == (Vec3{-1, 0, 0}) && size[1] == 2);
    // A skip is drawn at every start, the dropped ones included: four in all.
    std::mt19937 reference;
    reference.discard(4);
    EXPECT_EQ(random.rand31(), int32_t(reference() >> 1));
    // Jitter 0.2: skips 5, then 5.806 (carried to the second line), 4.651 (rand31 mod 2000: 1806, 651).
    random.restart();
    at.clear();
    placeDecorations({alongX(10), alongX(20, 1)}, 5, 2, 0.2f, random, at, dir, size);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_TRUE(at[0] == (Vec3{4, 0, 0}) && at[1] == (Vec3{13, 1, 0}) && at[2] == (Vec3{6, 1, 0}));
}

TEST(Decorations, ThreeGiveFiftyFourVertices) {
    const Log lines = splitLines(formatDecorationObj({{0, 0, 0}, {5, 0, 0}, {0, 5, 0}},
                                                     {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {2, 1, 3}));
    ASSERT_EQ(lines.size(), 72u);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, 2), i % 4 == 3 ? "f " : "v ") << i;
    EXPECT_EQ(lines.back(), "f 52 53 54");
    // Size 1: half-diagonal 0.25 (2 and more: 0.5). Along ±y the base collapses onto B.
    EXPECT_EQ(lines[24], "v 5.000000 -0.250000 0.000000");
    EXPECT_EQ(lines[48] + lines[49], "v 0.000000 5.000000 0.000000v 0.000000 5.000000 0.000000");
}
