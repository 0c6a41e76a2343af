// Trackball camera of the viewer: turns mouse presses and drags into a
// transformation matrix that the frame multiplies onto the model-view matrix,
// and keeps a released rotation spinning. No Qt and no GL: the window hands in
// the sampled view, the mouse points and the time, so all of it is testable.
//
// Frames. "World" is the space the current matrix maps into, i.e. the space of
// the sampled model-view (the fixed look-at view). The trackball's own frame is
// world mapped through the inverse of the placement matrix; the placement holds
// the centre (its translation) and the uniform scale, so in the trackball frame
// the centre is the origin and the trackball sphere has radius 1. Manipulators
// compute their transformation in the trackball frame; it is carried to world
// by conjugation with the placement taken at the press, so a rotation turns
// about the centre and a pan moves the grabbed point by exactly the world
// distance the pointer covered.
//
// Window points are pixels with y growing downwards, as mouse events give them.
// The GL window point of (x, y) is (x, viewport height − y).
//
// Decisions where the behaviour is open:
// - Free rotation (sphere): the window point is un-projected to a ray in the
//   trackball frame and intersected with the plane through the centre that
//   faces the viewer; its coordinates along the camera's right and up axes are
//   the (x, y) that are lifted onto the sphere, and the resulting rotation axis
//   is carried back from camera axes to the trackball frame. A drag therefore
//   turns about the axis perpendicular to it on screen, whatever the look-at.
// - Plane (pan), line and cylinder manipulators work on the same un-projected
//   rays: the plane through the centre spanned by its two axes is intersected
//   and the scene translated by the difference of the two hits; the line takes
//   the point of its axis closest to the ray; the cylinder takes the angle of
//   the ray's hit with the plane through the centre perpendicular to its axis.
//   A ray parallel to the plane (or to the line), or meeting the plane
//   behind the viewer, leaves the scene where it is for that event.
// - The handle input space (1024) is the same un-projected ray space: the
//   viewer draws no handles, so there is nothing else to map to.
// - Handle hit distances: no handles are drawn, so the cylinder, line and plane
//   manipulators always report "no hit" (−1). The sphere and scale
//   manipulators report 0 for a window point (x, height − y) of length below 1,
//   i.e. the lower-left corner pixel; a left press there takes the constrained
//   path (the last of the nine constrained records, plane x–z).
// - The history of current and placement matrices at each press is not kept:
//   nothing reads it.
// - The spin angle of the last step is taken in [0, π] about the step's axis.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorax {

// 4x4 matrix of doubles, column-major like OpenGL (element (row r, col c) at m[c*4+r]).
using Matrix4 = std::array<double, 16>;

// Projection and model-view matrices (column-major, as glGetDoublev gives them)
// and viewport (x, y, w, h, as glGetIntegerv gives it).
struct ViewSample {
    Matrix4 projection;
    Matrix4 modelview;
    std::array<int, 4> viewport;
};

// Button codes; a press or drag code is a sum of these.
inline constexpr int kButtonLeft = 1;
inline constexpr int kButtonMiddle = 2;
inline constexpr int kButtonWheel = 8; // reserved, never produced by the viewer
inline constexpr int kModifierShift = 16;
inline constexpr int kModifierCtrl = 32;
inline constexpr int kOnHandle = 128; // the press lies on a manipulator's handle

Matrix4 identityMatrix();

// a·b: b is applied first when the product multiplies a column vector.
Matrix4 matrixProduct(const Matrix4& a, const Matrix4& b);

// Inverse by Gauss–Jordan elimination with partial pivoting. Returns false and
// leaves `out` untouched when m is singular (a pivot below 1e-300).
bool invertMatrix(const Matrix4& m, Matrix4& out);

// Height of the trackball surface over the point (x, y) of the plane through
// the centre, radius 1: the sphere z = √(1 − d²) for d = √(x² + y²) < 1/√2,
// beyond it the paraboloid z = (1.5 − d²)/√2, which meets the sphere with the
// same height and slope at d = 1/√2 and keeps far drags smooth.
double trackballLift(double x, double y);

// Point or direction in double precision, used by the camera's geometry.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// What a drag moves: a free rotation on the trackball sphere, a rotation
// about one axis (cylinder), a slide along one axis (line) or in a plane
// through the centre spanned by two axes, or a uniform scale.
enum class Manipulator : uint8_t {
    Sphere,
    CylinderX,
    CylinderY,
    CylinderZ,
    LineX,
    LineY,
    LineZ,
    PlaneXY,
    PlaneZY,
    PlaneXZ,
    Scale,
};

// The space a manipulator reads the pointer in. In the binding table it
// follows from the manipulator (scale reads pixels, the others rays), so the
// manipulators dispatch on the manipulator alone.
enum class InputSpace : uint16_t {
    Rays = 0,            // the pointer un-projected to a ray
    HandleRays = 1024,   // the same rays, for a press on a handle
    WindowPixels = 4096, // raw window pixels
};

// The matrices a drag changes.
enum class DragTarget : uint8_t {
    Placement = 1,               // the trackball's frame (centre and scale)
    CurrentAndInverse = 2,       // the scene, while the frame takes the inverse
    Current = 3,                 // the scene
};

// One record of the binding table: a button code starts a manipulator.
struct MyMode {
    Manipulator mode;
    InputSpace inputSpace;
    DragTarget target;
    uint32_t code; // button code that selects the record
};

class TrackHand {
  public:
    // Identity current and placement matrices, centre at the origin, spin
    // disabled, no manipulator selected, and the binding table filled
    // (15 records in the order of the table).
    TrackHand();

    // Moves the centre (the translation of the placement matrix) to (x, y, z),
    // in world units. Rotations turn about it and pans slide in its planes.
    void setCenter(double x, double y, double z);

    // Rescales the 3x3 part of the placement matrix so that its uniform scale
    // (the cube root of its determinant) becomes s; the centre stays. s > 0.
    // The wheel calls it with the window's zoom after each notch.
    void setScale(double s);

    // When the value changes: spin enabled ← on, spinning ← false.
    void setSpinMode(bool on);

    // Per frame: stores the sampled view (used by the next presses and drags),
    // advances a spin to nowMs, and returns the current matrix to multiply onto
    // the model-view (glMultMatrixd).
    const Matrix4& apply(const ViewSample& view, int64_t nowMs);

    // Mouse events: window pixels (y down), button code, time in milliseconds
    // from a steady clock. A press whose code no record binds (right button)
    // keeps the manipulator of the previous bound press, so its drag repeats
    // that manipulator; before any bound press such a drag changes nothing.
    // A non-zero drag or release code different from the press code selects
    // the manipulator bound to it and restarts the drag from that point.
    void press(int x, int y, int code, int64_t nowMs);
    void drag(int x, int y, int code, int64_t nowMs);
    void release(int x, int y, int code, int64_t nowMs);

    const Matrix4& currentMatrix() const { return current_; }
    const Matrix4& placementMatrix() const { return placement_; }
    bool spinning() const { return spinning_; }
    bool pressed() const { return pressed_; }
    // The selected manipulator; none before the first bound press.
    std::optional<Manipulator> mode() const { return mode_; }

  private:
    struct Ray {
        Vec3d origin;
        Vec3d direction; // unit length
    };
    struct AxisAngle {
        Vec3d axis;   // unit length
        double angle; // radians
    };

    void select(const MyMode& record);
    void startDrag(int x, int y, int64_t nowMs);
    void reselectIfChanged(int code);
    double hitDistance(const MyMode& record, int x, int y) const;
    bool pickRay(int x, int y, Ray& ray) const;
    bool manipulatorMatrix(int x, int y, Matrix4& m) const;
    Matrix4 rotationAboutCentre(const AxisAngle& r) const;

    std::vector<MyMode> bindings_;
    Matrix4 current_;
    Matrix4 placement_;
    Matrix4 startCurrent_;   // current matrix at the press
    Matrix4 startPlacement_; // placement matrix at the press
    Matrix4 prevStep_;       // current matrix when the last drag step began
    Matrix4 spinBase_;       // current matrix at the release a spin starts from
    ViewSample view_;

    int currentCode_ = 0;
    std::optional<Manipulator> mode_;
    DragTarget target_ = DragTarget::Current;
    bool modeChanged_ = false;
    bool pressed_ = false;
    bool spinEnabled_ = false;
    bool spinning_ = false;
    int pressX_ = 0;
    int pressY_ = 0;
    int64_t pressTime_ = 0;
    int64_t prevStepTime_ = 0;
    int64_t lastStepTime_ = 0;
    AxisAngle stepRotation_{{1.0, 0.0, 0.0}, 0.0}; // rotation of the last drag step
};

} // namespace quorax
