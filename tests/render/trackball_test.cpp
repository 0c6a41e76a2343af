#include "trackball.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>

using namespace quorax;

namespace {

const double kPi = std::acos(-1.0);
const double kTan15 = std::tan(kPi / 12.0);
const Vec3d kEye{3.0, 3.0, 3.0};
// Camera axes of the look-at from (3, 3, 3) to the origin with up (0, 1, 0).
const Vec3d kRight{1.0 / std::sqrt(2.0), 0.0, -1.0 / std::sqrt(2.0)};
const Vec3d kUp{-1.0 / std::sqrt(6.0), 2.0 / std::sqrt(6.0), -1.0 / std::sqrt(6.0)};
const Vec3d kBack{1.0 / std::sqrt(3.0), 1.0 / std::sqrt(3.0), 1.0 / std::sqrt(3.0)};

double dot(Vec3d a, Vec3d b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double at(const Matrix4& m, int row, int col) {
    return m[col * 4 + row];
}

// The view of a frame: gluPerspective(30, 1, 0.01, 195000) and gluLookAt from
// (3, 3, 3) to the origin, up (0, 1, 0), on a 400 x 400 viewport.
ViewSample standardView() {
    const double zn = 0.01, zf = 195000.0, f = 1.0 / kTan15;
    const Matrix4 p{
        f, 0, 0, 0, 0, f, 0, 0, 0, 0, (zf + zn) / (zn - zf), -1, 0, 0, 2 * zf * zn / (zn - zf), 0};
    // Rows: the camera axes; translation: the eye brought to the origin.
    const Matrix4 mv{
        kRight.x, kUp.x, kBack.x, 0, kRight.y,           kUp.y,           kBack.y,           0,
        kRight.z, kUp.z, kBack.z, 0, -dot(kRight, kEye), -dot(kUp, kEye), -dot(kBack, kEye), 1};
    return {p, mv, {0, 0, 400, 400}};
}

// Where the line of sight through mouse pixel (px, py) meets the plane z = planeZ,
// built from the camera axes alone (no matrix inversion).
Vec3d pointOnPlaneZ(int px, int py, double planeZ) {
    const double nx = px / 200.0 - 1.0, ny = 1.0 - py / 200.0;
    const Vec3d d{-kBack.x + kTan15 * (nx * kRight.x + ny * kUp.x),
                  -kBack.y + kTan15 * (nx * kRight.y + ny * kUp.y),
                  -kBack.z + kTan15 * (nx * kRight.z + ny * kUp.z)};
    const double t = (planeZ - kEye.z) / d.z;
    return {kEye.x + t * d.x, kEye.y + t * d.y, kEye.z + t * d.z};
}

// Offset in the plane through the origin facing the viewer, in world units,
// of a pixel `px` pixels from the view centre: the eye is √27 away.
double centrePlaneOffset(int px) {
    return px / 200.0 * std::sqrt(27.0) * kTan15;
}

double det3(const Matrix4& m) {
    return at(m, 0, 0) * (at(m, 1, 1) * at(m, 2, 2) - at(m, 1, 2) * at(m, 2, 1)) -
           at(m, 0, 1) * (at(m, 1, 0) * at(m, 2, 2) - at(m, 1, 2) * at(m, 2, 0)) +
           at(m, 0, 2) * (at(m, 1, 0) * at(m, 2, 1) - at(m, 1, 1) * at(m, 2, 0));
}

void expectNear(const Matrix4& a, const Matrix4& b, double tol) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

// Angle and unit axis of the rotation a·b⁻¹ (b a rotation about the same centre).
double rotationBetween(const Matrix4& a, const Matrix4& b, Vec3d* axis = nullptr) {
    Matrix4 bInverse;
    EXPECT_TRUE(invertMatrix(b, bInverse));
    const Matrix4 r = matrixProduct(a, bInverse);
    const double angle = std::acos((at(r, 0, 0) + at(r, 1, 1) + at(r, 2, 2) - 1.0) / 2.0);
    if (axis) {
        const double s = 2.0 * std::sin(angle);
        *axis = {(at(r, 2, 1) - at(r, 1, 2)) / s, (at(r, 0, 2) - at(r, 2, 0)) / s,
                 (at(r, 1, 0) - at(r, 0, 1)) / s};
    }
    return angle;
}

TrackHand viewedTrackball(bool spin = false) {
    TrackHand t;
    t.setSpinMode(spin);
    t.apply(standardView(), 0);
    return t;
}

// Left press at the view centre at t0, moves to {x, y, ms}, release at the last
// point at releaseAt.
void leftDrag(TrackHand& t, int64_t t0, std::initializer_list<std::array<int, 3>> moves,
              int64_t releaseAt) {
    t.press(200, 200, kButtonLeft, t0);
    for (const auto& [x, y, ms] : moves)
        t.drag(x, y, kButtonLeft, ms);
    const auto& [x, y, ms] = *(moves.end() - 1);
    t.release(x, y, kButtonLeft, releaseAt);
}

} // namespace

TEST(TrackballLift, MeetsTheSphereWithEqualHeightAndSlope) {
    const double d0 = 1.0 / std::sqrt(2.0), h = 1e-6;
    EXPECT_DOUBLE_EQ(trackballLift(0.0, 0.0), 1.0); // the pole
    // Both pieces give 1/√2 at d0: √(1 − ½) and (1.5 − ½)/√2.
    EXPECT_NEAR(trackballLift(d0 - 1e-12, 0.0), d0, 1e-9);
    EXPECT_NEAR(trackballLift(d0 + 1e-12, 0.0), d0, 1e-9);
    // Slopes −d/√(1 − d²) and −2d/√2 are both −1 there.
    EXPECT_NEAR((trackballLift(d0 - h, 0.0) - trackballLift(d0 - 2 * h, 0.0)) / h, -1.0, 1e-4);
    EXPECT_NEAR((trackballLift(0.0, d0 + 2 * h) - trackballLift(0.0, d0 + h)) / h, -1.0, 1e-4);
    // The paraboloid crosses the centre plane at d² = 1.5.
    EXPECT_NEAR(trackballLift(std::sqrt(0.75), std::sqrt(0.75)), 0.0, 1e-15);
}

TEST(TrackHand, ZeroDragChangesNothing) {
    for (int code : {1, 33, 2, 17}) {
        TrackHand t = viewedTrackball();
        t.setCenter(0.2, -0.1, 0.3);
        const Matrix4 placement = t.placementMatrix();
        t.press(150, 220, code, 0);
        t.drag(150, 220, code, 60);
        t.release(150, 220, code, 70);
        expectNear(t.currentMatrix(), identityMatrix(), 1e-12);
        expectNear(t.placementMatrix(), placement, 1e-12);
        EXPECT_FALSE(t.spinning());
    }
}

TEST(TrackHand, LeftDragRotatesAboutTheCentre) {
    TrackHand t = viewedTrackball(true);
    const Vec3d c{0.5, -0.25, 0.3};
    t.setCenter(c.x, c.y, c.z);
    t.setScale(1.5);
    auto expectRotationAboutCentre = [&](const Matrix4& m) {
        // Orthonormal 3x3 with determinant 1: lengths and handedness are kept.
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const double d = at(m, 0, i) * at(m, 0, j) + at(m, 1, i) * at(m, 1, j) +
                                 at(m, 2, i) * at(m, 2, j);
                EXPECT_NEAR(d, i == j ? 1.0 : 0.0, 1e-12);
            }
        EXPECT_NEAR(det3(m), 1.0, 1e-12);
        // The centre is a fixed point, so distances to it are kept.
        const double p[3] = {c.x, c.y, c.z};
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(at(m, r, 0) * c.x + at(m, r, 1) * c.y + at(m, r, 2) * c.z + at(m, r, 3),
                        p[r], 1e-12);
        EXPECT_GT(rotationBetween(m, identityMatrix()), 0.1);
    };
    t.press(180, 210, 1, 0);
    t.drag(220, 190, 1, 30);
    t.drag(260, 150, 1, 60);
    expectRotationAboutCentre(t.currentMatrix());
    // Released as a flick, the spin turns about the centre too.
    t.release(260, 150, 1, 70);
    ASSERT_TRUE(t.spinning());
    expectRotationAboutCentre(t.apply(standardView(), 300));
}

TEST(TrackHand, DragTurnsAboutTheScreenAxisPerpendicularToIt) {
    // From the view centre, a 50 px drag lifts to p = (x, 0, √(1 − x²)) in
    // camera axes, x = centrePlaneOffset(50); the rotation carries the pole
    // onto p, an angle of asin(x), about the camera axis perpendicular to the
    // drag: up for a drag to the right, right for a drag downwards.
    const double angle = std::asin(centrePlaneOffset(50));
    struct Case {
        int toX, toY;
        Vec3d axis;
    };
    for (const Case& c : {Case{250, 200, kUp}, Case{200, 250, kRight}}) {
        TrackHand t = viewedTrackball();
        t.press(200, 200, 1, 0);
        t.drag(c.toX, c.toY, 1, 60);
        Vec3d axis;
        EXPECT_NEAR(rotationBetween(t.currentMatrix(), identityMatrix(), &axis), angle, 1e-9);
        EXPECT_NEAR(dot(axis, c.axis), 1.0, 1e-9);
    }
}

TEST(TrackHand, ShiftDragScalesByTwoPerHundredPixelsAndTheRightButtonRepeatsIt) {
    TrackHand t = viewedTrackball();
    // A right drag before any bound press has nothing to repeat.
    t.press(200, 200, 0, 0);
    t.drag(260, 300, 0, 60);
    t.release(260, 300, 0, 70);
    expectNear(t.currentMatrix(), identityMatrix(), 0.0);

    t.press(200, 200, kButtonLeft + kModifierShift, 100);
    // Down halves the scene; the trackball frame takes the inverse scale.
    t.drag(200, 300, kButtonLeft + kModifierShift, 110);
    expectNear(t.currentMatrix(), {0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 1}, 1e-12);
    EXPECT_NEAR(det3(t.placementMatrix()), 8.0, 1e-12);
    // Up doubles; only the vertical distance from the press counts.
    t.drag(200, 100, kButtonLeft + kModifierShift, 120);
    EXPECT_NEAR(det3(t.currentMatrix()), 8.0, 1e-12);
    t.drag(300, 300, kButtonLeft + kModifierShift, 130);
    t.release(300, 300, kButtonLeft + kModifierShift, 300);
    EXPECT_NEAR(det3(t.currentMatrix()), 1.0 / 8.0, 1e-12);
    // The right button repeats the scale: 100 px down halves once more.
    t.press(100, 100, 0, 400);
    t.drag(100, 200, 0, 460);
    EXPECT_NEAR(std::cbrt(det3(t.currentMatrix())), 0.25, 1e-12);
}

TEST(TrackHand, CtrlLeftAndMiddlePanSoTheGrabbedPointFollows) {
    for (int code : {33, 2}) {
        // A centre off the origin and a scale of 2 check that the pan plane
        // passes through the centre and that the move is in world units.
        TrackHand t = viewedTrackball();
        t.setCenter(0.0, 0.0, 0.5);
        t.setScale(2.0);
        t.press(200, 200, code, 0);
        t.drag(260, 150, code, 60);
        const Matrix4& m = t.currentMatrix();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(at(m, r, c), r == c ? 1.0 : 0.0, 1e-12);
        // The scene point under the press, on the plane z = 0.5, moves to the
        // point of that plane under the pointer.
        const Vec3d a = pointOnPlaneZ(200, 200, 0.5), b = pointOnPlaneZ(260, 150, 0.5);
        EXPECT_NEAR(m[12], b.x - a.x, 1e-9);
        EXPECT_NEAR(m[13], b.y - a.y, 1e-9);
        EXPECT_NEAR(m[14], 0.0, 1e-12);
    }
}

TEST(TrackHand, FlickSpinsAtTheLastStepSpeedCappedAtPoint4) {
    const ViewSample view = standardView();
    TrackHand t = viewedTrackball(true);
    // Slow flick: steps begin at 60 and 120 ms; the move at 130 ms is within
    // 50 ms of the last step, so it extends that step instead of starting one.
    // The last step therefore turns from 10 px to 22 px off centre over
    // 60 → 135 ms (the release), about 0.11 rad per 100 ms. After another
    // 75 ms the spin has added exactly that step.
    const double step = std::asin(centrePlaneOffset(22)) - std::asin(centrePlaneOffset(10));
    leftDrag(t, 0, {{210, 200, 60}, {220, 200, 120}, {222, 200, 130}}, 135);
    EXPECT_TRUE(t.spinning());
    const Matrix4 released = t.currentMatrix();
    Vec3d axis;
    EXPECT_NEAR(rotationBetween(t.apply(view, 210), released, &axis), step, 1e-9);
    EXPECT_NEAR(dot(axis, kUp), 1.0, 1e-9);
    // Switching spin off stops it for good; switching it on does not resume.
    t.setSpinMode(false);
    t.setSpinMode(true);
    EXPECT_FALSE(t.spinning());
    const Matrix4 stopped = t.currentMatrix();
    expectNear(t.apply(view, 500), stopped, 0.0);

    // Fast flick downwards: 10 px → 60 px in the last step is about 0.52 rad
    // per 100 ms, capped to 0.4: 0.2 rad after 50 ms, 0.4 after 100 ms, about
    // the camera's right axis in world (the scene is already turned about up,
    // so a spin composed on the wrong side would turn about another axis).
    leftDrag(t, 1000, {{200, 210, 1060}, {200, 260, 1120}}, 1130);
    const Matrix4 flicked = t.currentMatrix();
    EXPECT_NEAR(rotationBetween(t.apply(view, 1180), flicked), 0.2, 1e-9);
    EXPECT_NEAR(rotationBetween(t.apply(view, 1230), flicked, &axis), 0.4, 1e-9);
    EXPECT_NEAR(dot(axis, kRight), 1.0, 1e-9);
    // A new press stops the spin where it is.
    t.press(200, 200, kButtonLeft, 1300);
    EXPECT_FALSE(t.spinning());
}

TEST(TrackHand, ReleaseAfterHoldingStillLeavesNoSpin) {
    // Released 100 ms after the last step: too late for a flick; 99 ms spins.
    for (int64_t releaseAt : {160, 159}) {
        TrackHand t = viewedTrackball(true);
        leftDrag(t, 0, {{260, 200, 60}}, releaseAt);
        EXPECT_EQ(t.spinning(), releaseAt == 159);
    }
    // Held still while moves keep arriving: the last step turns by nothing.
    TrackHand t = viewedTrackball(true);
    leftDrag(t, 0, {{260, 200, 60}, {260, 200, 120}}, 130);
    EXPECT_FALSE(t.spinning());
}

TEST(TrackHand, SetScaleSetsThePlacementScaleLikeTheWheel) {
    TrackHand t = viewedTrackball();
    t.setCenter(1.0, 2.0, 3.0);
    // A Shift drag leaves the placement at scale 2; setScale replaces it.
    t.press(200, 200, 17, 0);
    t.drag(200, 300, 17, 10);
    t.release(200, 300, 17, 200);
    // Three notches down: zoom 1.1³ = 1.331; three up bring it back to 1.
    double zoom = 1.0;
    for (int i = 0; i < 3; ++i)
        t.setScale(zoom *= 1.1);
    EXPECT_NEAR(std::cbrt(det3(t.placementMatrix())), 1.331, 1e-12);
    EXPECT_NEAR(t.placementMatrix()[0], 1.331, 1e-12); // uniform, no shear
    for (int i = 0; i < 3; ++i)
        t.setScale(zoom *= 1.0 / 1.1);
    EXPECT_NEAR(std::cbrt(det3(t.placementMatrix())), 1.0, 1e-12);
    // The centre stays where it was.
    EXPECT_EQ(
        (std::array{t.placementMatrix()[12], t.placementMatrix()[13], t.placementMatrix()[14]}),
        (std::array{1.0, 2.0, 3.0}));
}
