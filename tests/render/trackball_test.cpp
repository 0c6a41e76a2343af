// The trackball's math: lift, rotation, scale, pan and spin, from window points.
#include "trackball.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>

using namespace quorax;

namespace {

// gluPerspective(30, 1, 0.01, 195000), gluLookAt from (3, 3, 3) to the origin, up (0, 1, 0),
// a 400 x 400 viewport: the camera axes, and the eye √27 from the origin.
const double kTan15 = std::tan(std::acos(-1.0) / 12), r2 = std::sqrt(0.5), r3 = std::sqrt(1 / 3.0),
             r6 = std::sqrt(1 / 6.0), kEye = std::sqrt(27.0), zn = 0.01, zf = 195000.0;
const Vec3d kRight{r2, 0, -r2}, kUp{-r6, 2 * r6, -r6}, kBack{r3, r3, r3};
const ViewSample kView{{1 / kTan15, 0, 0, 0, 0, 1 / kTan15, 0, 0, 0, 0, (zf + zn) / (zn - zf), -1,
                        0, 0, 2 * zf* zn / (zn - zf), 0},
                       {r2, -r6, r3, 0, 0, 2 * r6, r3, 0, -r2, -r6, r3, 0, 0, 0, -kEye, 1},
                       {0, 0, 400, 400}};

double det3(const Matrix4& m) { // column-major: element (row r, column c) at m[4c + r]
    return m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
           m[8] * (m[1] * m[6] - m[5] * m[2]);
}
void expectNear(const Matrix4& a, const Matrix4& b, double tolerance = 1e-12) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
}

// Angle of the rotation a·b⁻¹ (b a rotation about the same centre); when `axis` is given,
// checks that it turns about that unit axis.
double rotationBetween(const Matrix4& a, const Matrix4& b, const Vec3d* axis = nullptr) {
    Matrix4 bInverse;
    EXPECT_TRUE(invertMatrix(b, bInverse));
    const Matrix4 r = matrixProduct(a, bInverse);
    const double angle = std::acos((r[0] + r[5] + r[10] - 1.0) / 2.0), s = 2 * std::sin(angle);
    const double along = axis ? (r[6] - r[9]) * axis->x + (r[8] - r[2]) * axis->y + (r[1] - r[4]) * axis->z : s;
    EXPECT_NEAR(along / s, 1.0, 1e-9);
    return angle;
}

// The turn of a drag from the view centre by `px` pixels: px / 200 · √27 · tan 15° on the sphere.
double turnAngle(int px) {
    return std::asin(px / 200.0 * kEye * kTan15);
}

TrackHand viewed(bool spin = false) {
    TrackHand t;
    t.setSpinMode(spin);
    t.apply(kView, 0);
    return t;
}

// Left press at the view centre at t0, moves to {x, y, ms}, release at the last point.
void leftDrag(TrackHand& t, int64_t t0, std::vector<std::array<int, 3>> moves, int64_t release) {
    t.press(200, 200, kButtonLeft, t0);
    for (const auto& [x, y, ms] : moves) t.drag(x, y, kButtonLeft, ms);
    t.release(moves.back()[0], moves.back()[1], kButtonLeft, release);
}

} // namespace

TEST(Trackball, ZeroDragChangesNothing) {
    for (int code : {1, 33, 2, 17}) { // left, Ctrl + left, middle, Shift + left
        TrackHand t = viewed(true);
        t.setCenter(0.2, -0.1, 0.3);
        t.press(150, 220, code, 0);
        t.drag(150, 220, code, 60);
        t.release(150, 220, code, 70);
        expectNear(t.currentMatrix(), identityMatrix());
        expectNear(t.placementMatrix(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, .2, -.1, .3, 1});
        EXPECT_FALSE(t.spinning());
    }
}

TEST(Trackball, LeftDragTurnsAboutTheCentreAndTheScreenAxis) {
    // Orthonormal with determinant 1 and the centre fixed: a rotation about the centre.
    TrackHand t = viewed(true);
    const double c[3] = {0.5, -0.25, 0.3};
    t.setCenter(c[0], c[1], c[2]);
    t.setScale(1.5);
    auto expectRotationAboutCentre = [&](const Matrix4& m) {
        for (int i = 0; i < 9; i += 4) // columns
            for (int j = 0; j < 9; j += 4) EXPECT_NEAR(std::inner_product(&m[i], &m[i + 3], &m[j], 0.0), i == j, 1e-12);
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(m[r] * c[0] + m[4 + r] * c[1] + m[8 + r] * c[2] + m[12 + r], c[r], 1e-12);
        EXPECT_NEAR(det3(m), 1.0, 1e-12);
        EXPECT_GT(rotationBetween(m, identityMatrix()), 0.1);
    };
    leftDrag(t, 0, {{220, 190, 30}, {260, 150, 60}}, 70); // a flick
    ASSERT_TRUE(t.spinning());
    expectRotationAboutCentre(t.currentMatrix());
    expectRotationAboutCentre(t.apply(kView, 300));
    // The lift: the sphere √(1 − d²) up to d = 1/√2, then at equal height the paraboloid
    // (1.5 − d²)/√2, zero at d² = 1.5. A 50 px drag turns by turnAngle(50) about the camera
    // axis perpendicular to it: up for a drag to the right, right for one downwards.
    EXPECT_NEAR(trackballLift(r2 - 1e-12, 0.0) - trackballLift(0.0, r2 + 1e-12), 0.0, 1e-9);
    EXPECT_NEAR(trackballLift(std::sqrt(0.75), std::sqrt(0.75)), 0.0, 1e-15);
    for (auto [x, y, axis] : {std::tuple{250, 200, kUp}, {200, 250, kRight}}) {
        TrackHand d = viewed();
        leftDrag(d, 0, {{x, y, 60}}, 500);
        EXPECT_NEAR(rotationBetween(d.currentMatrix(), identityMatrix(), &axis), turnAngle(50), 1e-9);
    }
}

TEST(Trackball, ShiftDragScalesByTwoPerHundredPixels) {
    // 100 px down halves the scene (the placement takes the inverse), 100 px up doubles it,
    // sideways counts nothing. The right button repeats the last manipulator, if any.
    TrackHand t = viewed();
    const int shift = kButtonLeft + kModifierShift;
    t.press(200, 200, 0, 0);
    t.drag(260, 300, 0, 60);
    EXPECT_EQ(t.currentMatrix(), identityMatrix());
    t.press(200, 200, shift, 100);
    t.drag(200, 300, shift, 110);
    expectNear(t.currentMatrix(), {0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 1});
    EXPECT_NEAR(t.placementMatrix()[0], 2.0, 1e-12);
    t.drag(200, 100, shift, 120);
    EXPECT_NEAR(t.currentMatrix()[0], 2.0, 1e-12);
    t.drag(300, 300, shift, 130);
    t.release(300, 300, shift, 300);
    EXPECT_NEAR(t.currentMatrix()[0], 0.5, 1e-12);
    t.press(100, 100, 0, 400);
    t.drag(100, 200, 0, 460);
    EXPECT_NEAR(t.currentMatrix()[0], 0.25, 1e-12);
}

TEST(Trackball, CtrlLeftAndMiddlePanSoTheGrabbedPointFollows) {
    // Centre off the origin, scale 2: the point under the press on z = 0.5, (0.5, 0.5, 0.5),
    // moves to where the sight line along tan 15°·(0.3·right + 0.25·up) − back meets z = 0.5.
    const double k = kTan15, dx = k * (0.3 * r2 - 0.25 * r6) - r3, dy = k * 0.5 * r6 - r3,
                 dz = k * (-0.3 * r2 - 0.25 * r6) - r3, s = -2.5 / dz; // from z = 3 to 0.5
    for (int code : {kButtonLeft + kModifierCtrl, kButtonMiddle}) {
        TrackHand t = viewed();
        t.setCenter(0.0, 0.0, 0.5);
        t.setScale(2.0);
        t.press(200, 200, code, 0);
        t.drag(260, 150, code, 60);
        expectNear(t.currentMatrix(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2.5 + s * dx, 2.5 + s * dy, 0, 1}, 1e-9);
    }
}

TEST(Trackball, FlickSpinsAtTheLastStepSpeedCappedAtPoint4) {
    // Slow flick: steps begin at 60 and 120 ms; the move at 165 ms, within 50 ms, extends
    // the last, 10 → 22 px over 60 → 170 ms (the release): 110 ms later the spin adds it again.
    TrackHand t = viewed(true);
    leftDrag(t, 0, {{210, 200, 60}, {220, 200, 120}, {222, 200, 165}}, 170);
    const Matrix4 released = t.currentMatrix();
    EXPECT_NEAR(rotationBetween(t.apply(kView, 280), released, &kUp), turnAngle(22) - turnAngle(10), 1e-9);
    t.press(200, 200, kButtonLeft, 300); // a new press stops the spin
    EXPECT_FALSE(t.spinning());
    // Fast flick downwards: 10 → 60 px in the last step is 0.52 rad per 100 ms, capped to 0.4, about the camera's right
    // axis (a spin composed on the wrong side of the earlier turn about up would turn about another axis).
    leftDrag(t, 1000, {{200, 210, 1060}, {200, 260, 1120}}, 1130);
    const Matrix4 flicked = t.currentMatrix();
    EXPECT_NEAR(rotationBetween(t.apply(kView, 1180), flicked), 0.2, 1e-9);
    EXPECT_NEAR(rotationBetween(t.apply(kView, 1230), flicked, &kRight), 0.4, 1e-9);
}

TEST(Trackball, ReleaseAfterHoldingStillLeavesNoSpin) {
    // Released 100 ms after the last step it is no flick, 99 ms is; held still, no turn.
    for (int64_t release : {160, 159}) {
        TrackHand t = viewed(true);
        leftDrag(t, 0, {{260, 200, 60}}, release);
        EXPECT_EQ(t.spinning(), release == 159);
    }
    TrackHand t = viewed(true);
    leftDrag(t, 0, {{260, 200, 60}, {260, 200, 120}}, 130);
    EXPECT_FALSE(t.spinning());
}
