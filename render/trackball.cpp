#include "trackball.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace quorax {

namespace {

constexpr double kInvSqrt2 = 0.7071067811865476;
constexpr int64_t kStepMs = 50;       // a drag step spans more than this
constexpr int64_t kFlickMs = 100;     // a release within this after the last step spins
constexpr double kMaxSpinSpeed = 0.4; // radians per 100 ms
constexpr double kMinSpinSpeed = 0.01;

Vec3d operator+(Vec3d a, Vec3d b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3d operator-(Vec3d a, Vec3d b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3d operator*(double s, Vec3d a) {
    return {s * a.x, s * a.y, s * a.z};
}
double dot(Vec3d a, Vec3d b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3d cross(Vec3d a, Vec3d b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(Vec3d a) {
    return std::sqrt(dot(a, a));
}

// a / |a|; the zero vector (or a non-finite one) gives false.
bool normalize(Vec3d& a) {
    const double len = length(a);
    if (!(len > 0.0) || !std::isfinite(len)) return false;
    a = (1.0 / len) * a;
    return true;
}

const Vec3d kAxes[3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};

Matrix4 translationMatrix(Vec3d t) {
    Matrix4 m = identityMatrix();
    m[12] = t.x;
    m[13] = t.y;
    m[14] = t.z;
    return m;
}

Matrix4 scaleMatrix(double f) {
    Matrix4 m = identityMatrix();
    m[0] = m[5] = m[10] = f;
    return m;
}

// Rotation by `angle` radians about the unit `axis` through the origin
// (Rodrigues: cos·I + sin·[k]× + (1 − cos)·k·kᵀ).
Matrix4 rotationMatrix(Vec3d k, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    Matrix4 m = identityMatrix();
    m[0] = c + t * k.x * k.x;
    m[1] = t * k.x * k.y + s * k.z;
    m[2] = t * k.x * k.z - s * k.y;
    m[4] = t * k.x * k.y - s * k.z;
    m[5] = c + t * k.y * k.y;
    m[6] = t * k.y * k.z + s * k.x;
    m[8] = t * k.x * k.z + s * k.y;
    m[9] = t * k.y * k.z - s * k.x;
    m[10] = c + t * k.z * k.z;
    return m;
}

// m·(p, 1) with the homogeneous division when w is non-zero.
Vec3d transformPoint(const Matrix4& m, Vec3d p) {
    const double x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    const double y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    const double z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
    const double w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
    if (w == 0.0) return {x, y, z};
    return {x / w, y / w, z / w};
}

// The 3x3 part of m applied to a direction.
Vec3d transformDirection(const Matrix4& m, Vec3d d) {
    return {m[0] * d.x + m[4] * d.y + m[8] * d.z, m[1] * d.x + m[5] * d.y + m[9] * d.z,
            m[2] * d.x + m[6] * d.y + m[10] * d.z};
}

double determinant3(const Matrix4& m) {
    return m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
           m[8] * (m[1] * m[6] - m[5] * m[2]);
}

// Axis and angle (in [0, π]) of the rotation in the 3x3 part of m, after its
// uniform scale is divided out. Goes through the unit quaternion (Shepperd's
// branch on the largest diagonal term), which stays accurate near 0 and π.
void rotationOf(const Matrix4& m, Vec3d& axis, double& angle) {
    const double det = determinant3(m);
    const double scale = det > 0.0 ? std::cbrt(det) : 1.0;
    auto r = [&](int row, int col) { return m[col * 4 + row] / scale; };
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    double w, x, y, z;
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(trace + 1.0);
        w = 0.25 * s;
        x = (r(2, 1) - r(1, 2)) / s;
        y = (r(0, 2) - r(2, 0)) / s;
        z = (r(1, 0) - r(0, 1)) / s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + r(0, 0) - r(1, 1) - r(2, 2));
        w = (r(2, 1) - r(1, 2)) / s;
        x = 0.25 * s;
        y = (r(0, 1) + r(1, 0)) / s;
        z = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + r(1, 1) - r(0, 0) - r(2, 2));
        w = (r(0, 2) - r(2, 0)) / s;
        x = (r(0, 1) + r(1, 0)) / s;
        y = 0.25 * s;
        z = (r(1, 2) + r(2, 1)) / s;
    } else {
        const double s = 2.0 * std::sqrt(1.0 + r(2, 2) - r(0, 0) - r(1, 1));
        w = (r(1, 0) - r(0, 1)) / s;
        x = (r(0, 2) + r(2, 0)) / s;
        y = (r(1, 2) + r(2, 1)) / s;
        z = 0.25 * s;
    }
    // q and −q are the same rotation; w ≥ 0 picks the angle in [0, π].
    if (w < 0.0) {
        w = -w;
        x = -x;
        y = -y;
        z = -z;
    }
    axis = {x, y, z};
    const double sinHalf = length(axis);
    angle = 2.0 * std::atan2(sinHalf, w);
    if (!normalize(axis)) {
        axis = kAxes[0];
        angle = 0.0;
    }
}

// Hit of the ray with the plane through the origin with normal n. Fails for
// a ray parallel to the plane or a plane behind the ray's origin.
bool intersectPlane(Vec3d origin, Vec3d direction, Vec3d n, Vec3d& hit) {
    const double denom = dot(direction, n);
    if (std::fabs(denom) < 1e-12) return false;
    const double t = -dot(origin, n) / denom;
    if (t < 0.0) return false;
    hit = origin + t * direction;
    return true;
}

// Rotation that carries the pole (0, 0, 1) of the unit trackball towards the
// lifted point (x, y, lift(x, y)), in coordinates whose z axis faces the viewer.
// Long drags get extra gain beyond 1/√2 of chord half-length.
void sphereRotation(double x, double y, Vec3d& axis, double& angle) {
    const Vec3d pole{0.0, 0.0, 1.0};
    const Vec3d p{x, y, trackballLift(x, y)};
    axis = cross(pole, p);
    if (!normalize(axis)) {
        axis = kAxes[0];
        angle = 0.0;
        return;
    }
    double t = length(p - pole) / 2.0;
    if (t >= kInvSqrt2) t += 0.7 * (t - kInvSqrt2);
    t = std::fmin(std::fmax(t, -1.0), 1.0);
    angle = 2.0 * std::asin(t);
}

} // namespace

Matrix4 identityMatrix() {
    return {1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0};
}

Matrix4 matrixProduct(const Matrix4& a, const Matrix4& b) {
    Matrix4 m{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a[k * 4 + row] * b[col * 4 + k];
            m[col * 4 + row] = sum;
        }
    return m;
}

bool invertMatrix(const Matrix4& m, Matrix4& out) {
    // Row-major working copy [m | I], reduced to [I | m⁻¹].
    double a[4][8];
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            a[row][col] = m[col * 4 + row];
            a[row][col + 4] = row == col ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        // Largest pivot of the column, for stability.
        int pivot = col;
        for (int row = col + 1; row < 4; ++row)
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
        if (!(std::fabs(a[pivot][col]) > 1e-300)) return false;
        if (pivot != col) std::swap(a[pivot], a[col]);
        const double inv = 1.0 / a[col][col];
        for (double& v : a[col])
            v *= inv;
        // Clear the column in every other row.
        for (int row = 0; row < 4; ++row) {
            if (row == col || a[row][col] == 0.0) continue;
            const double f = a[row][col];
            for (int k = 0; k < 8; ++k)
                a[row][k] -= f * a[col][k];
        }
    }
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            out[col * 4 + row] = a[row][col + 4];
    return true;
}

double trackballLift(double x, double y) {
    const double d2 = x * x + y * y;
    if (std::sqrt(d2) < kInvSqrt2) return std::sqrt(1.0 - d2);
    return (1.5 - d2) / std::sqrt(2.0);
}

TrackHand::TrackHand()
    : bindings_{
          {Manipulator::Sphere, InputSpace::Rays, DragTarget::Current, 1},          // left: free rotation
          {Manipulator::PlaneXY, InputSpace::Rays, DragTarget::Current, 33},        // Ctrl + left: pan in x–y
          {Manipulator::PlaneXY, InputSpace::Rays, DragTarget::Current, 2},         // middle: pan in x–y
          {Manipulator::Scale, InputSpace::WindowPixels, DragTarget::CurrentAndInverse, 3},  // left + middle
          {Manipulator::Scale, InputSpace::WindowPixels, DragTarget::CurrentAndInverse, 17}, // Shift + left
          {Manipulator::Scale, InputSpace::WindowPixels, DragTarget::CurrentAndInverse, 8},  // wheel (reserved)
          {Manipulator::LineX, InputSpace::HandleRays, DragTarget::Current, 129},   // handles: lines,
          {Manipulator::LineY, InputSpace::HandleRays, DragTarget::Current, 129},
          {Manipulator::LineZ, InputSpace::HandleRays, DragTarget::Current, 129},
          {Manipulator::CylinderX, InputSpace::HandleRays, DragTarget::Current, 129}, // cylinders,
          {Manipulator::CylinderY, InputSpace::HandleRays, DragTarget::Current, 129},
          {Manipulator::CylinderZ, InputSpace::HandleRays, DragTarget::Current, 129},
          {Manipulator::PlaneXY, InputSpace::HandleRays, DragTarget::Current, 129}, // planes
          {Manipulator::PlaneZY, InputSpace::HandleRays, DragTarget::Current, 129},
          {Manipulator::PlaneXZ, InputSpace::HandleRays, DragTarget::Current, 129},
      },
      current_(identityMatrix()), placement_(identityMatrix()), startCurrent_(identityMatrix()),
      startPlacement_(identityMatrix()), prevStep_(identityMatrix()), spinBase_(identityMatrix()),
      view_{identityMatrix(), identityMatrix(), {0, 0, 0, 0}} {}

void TrackHand::setCenter(double x, double y, double z) {
    placement_[12] = x;
    placement_[13] = y;
    placement_[14] = z;
}

void TrackHand::setScale(double s) {
    assert(s > 0.0);
    const double scale = std::cbrt(determinant3(placement_));
    if (scale > 0.0 && std::isfinite(scale)) {
        const double f = s / scale;
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row)
                placement_[col * 4 + row] *= f;
    } else {
        // A degenerate placement has no scale to rescale: start again from s·I.
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row)
                placement_[col * 4 + row] = row == col ? s : 0.0;
    }
}

void TrackHand::setSpinMode(bool on) {
    if (on == spinEnabled_) return;
    spinEnabled_ = on;
    spinning_ = false;
}

const Matrix4& TrackHand::apply(const ViewSample& view, int64_t nowMs) {
    view_ = view;
    const double stepMs = static_cast<double>(lastStepTime_ - prevStepTime_);
    if (spinEnabled_ && spinning_ && stepMs > 0.0) {
        // Keep turning at the angular velocity of the last drag step.
        const double elapsed = static_cast<double>(nowMs - lastStepTime_);
        const Matrix4 turn =
            rotationAboutCentre({stepRotation_.axis, elapsed / stepMs * stepRotation_.angle});
        current_ = matrixProduct(turn, spinBase_);
    }
    return current_;
}

void TrackHand::press(int x, int y, int code, int64_t nowMs) {
    currentCode_ = code;
    // Handle test: a hit sets the handle bit, which lets the constrained
    // records compete; among them the nearest hit wins.
    int extended = code;
    const MyMode* candidate = nullptr;
    double candidateDistance = -1.0;
    for (const MyMode& record : bindings_) {
        const double distance = hitDistance(record, x, y);
        if (distance >= 0.0) extended |= kOnHandle;
        if (static_cast<int>(record.code) != extended) continue;
        if (candidateDistance < 0.0 || (distance >= 0.0 && distance < candidateDistance)) {
            candidate = &record;
            candidateDistance = distance;
        }
    }
    if (candidate == nullptr) {
        const int plain = code & ~kOnHandle;
        for (const MyMode& record : bindings_)
            if (static_cast<int>(record.code) == plain) {
                candidate = &record;
                break;
            }
    }
    // An unbound code (right button) keeps the previous manipulator.
    if (candidate != nullptr) select(*candidate);
    startDrag(x, y, nowMs);
}

void TrackHand::drag(int x, int y, int code, int64_t nowMs) {
    reselectIfChanged(code);
    if (!pressed_) return;
    if (modeChanged_) startDrag(x, y, nowMs);
    if (!mode_) return;

    // The last measured step spans more than kStepMs, so its speed is not
    // dominated by the jitter of single mouse events.
    if (nowMs - lastStepTime_ > kStepMs) {
        prevStep_ = current_;
        prevStepTime_ = lastStepTime_;
        lastStepTime_ = nowMs;
    }

    // Drag transformation in the trackball frame: M(point)·M(press)⁻¹ ...
    Matrix4 atPoint, atPress, pressInverse, fromWorld;
    if (!manipulatorMatrix(x, y, atPoint) || !manipulatorMatrix(pressX_, pressY_, atPress) ||
        !invertMatrix(atPress, pressInverse) || !invertMatrix(startPlacement_, fromWorld))
        return;
    const Matrix4 local = matrixProduct(atPoint, pressInverse);
    // ... carried to world, where it acts about the centre at world scale.
    const Matrix4 world = matrixProduct(startPlacement_, matrixProduct(local, fromWorld));

    if (target_ == DragTarget::Current || target_ == DragTarget::CurrentAndInverse)
        current_ = matrixProduct(world, startCurrent_);
    if (target_ == DragTarget::CurrentAndInverse) {
        // The scene scales while the trackball frame takes the inverse.
        Matrix4 localInverse;
        if (invertMatrix(local, localInverse))
            placement_ = matrixProduct(startPlacement_, localInverse);
    }
    if (target_ == DragTarget::Placement) placement_ = matrixProduct(world, startPlacement_);

    Matrix4 prevInverse;
    if (invertMatrix(prevStep_, prevInverse))
        rotationOf(matrixProduct(current_, prevInverse), stepRotation_.axis, stepRotation_.angle);
}

void TrackHand::release(int /*x*/, int /*y*/, int code, int64_t nowMs) {
    reselectIfChanged(code);
    pressed_ = false;
    // A flick: released soon after a measured step keeps turning at that
    // step's speed, capped at kMaxSpinSpeed.
    if (nowMs - lastStepTime_ < kFlickMs && lastStepTime_ != pressTime_) {
        lastStepTime_ = nowMs;
        const double stepMs = static_cast<double>(lastStepTime_ - prevStepTime_);
        const double speed = stepMs > 0.0 ? stepRotation_.angle / stepMs * 100.0 : 0.0;
        if (speed >= kMaxSpinSpeed) stepRotation_.angle /= speed / kMaxSpinSpeed;
        if (speed >= kMinSpinSpeed) spinning_ = true;
        spinBase_ = current_;
    }
}

void TrackHand::select(const MyMode& record) {
    mode_ = record.mode;
    target_ = record.target;
    modeChanged_ = true;
}

void TrackHand::startDrag(int x, int y, int64_t nowMs) {
    pressX_ = x;
    pressY_ = y;
    startCurrent_ = current_;
    startPlacement_ = placement_;
    spinning_ = false;
    pressTime_ = lastStepTime_ = prevStepTime_ = nowMs;
    prevStep_ = spinBase_ = current_;
    stepRotation_ = {kAxes[0], 0.0};
    pressed_ = true;
    modeChanged_ = false;
}

void TrackHand::reselectIfChanged(int code) {
    if (code == 0 || code == currentCode_) return;
    currentCode_ = code;
    for (const MyMode& record : bindings_)
        if (static_cast<int>(record.code) == code) {
            select(record);
            return;
        }
}

double TrackHand::hitDistance(const MyMode& record, int x, int y) const {
    if (record.mode == Manipulator::Sphere || record.mode == Manipulator::Scale) {
        // Window point with y up, tested against the unit sphere: only the
        // lower-left corner pixel lies inside it.
        const double wx = x;
        const double wy = static_cast<double>(view_.viewport[3]) - y;
        return std::sqrt(wx * wx + wy * wy) < 1.0 ? 0.0 : -1.0;
    }
    // The viewer draws no handles for the constrained manipulators, so no
    // press lies on one.
    return -1.0;
}

bool TrackHand::pickRay(int x, int y, Ray& ray) const {
    const std::array<int, 4>& vp = view_.viewport;
    if (vp[2] <= 0 || vp[3] <= 0) return false;
    Matrix4 fromClip, fromWorld;
    if (!invertMatrix(matrixProduct(view_.projection, view_.modelview), fromClip) ||
        !invertMatrix(startPlacement_, fromWorld))
        return false;
    const Matrix4 unproject = matrixProduct(fromWorld, fromClip);
    // Normalised device coordinates of the GL window point (x, height − y).
    const double nx = 2.0 * (x - vp[0]) / vp[2] - 1.0;
    const double ny = 2.0 * ((vp[3] - y) - vp[1]) / vp[3] - 1.0;
    // Depth 0 (near plane) and depth −0.5 (nearer the eye) lie on the pixel's
    // line of sight; their difference points away from the viewer.
    const Vec3d nearPoint = transformPoint(unproject, {nx, ny, -1.0});
    const Vec3d eyeSide = transformPoint(unproject, {nx, ny, -2.0});
    ray.origin = nearPoint;
    ray.direction = nearPoint - eyeSide;
    return normalize(ray.direction) && std::isfinite(dot(nearPoint, nearPoint));
}

bool TrackHand::manipulatorMatrix(int x, int y, Matrix4& m) const {
    if (!mode_) return false;
    const Manipulator mode = *mode_;
    if (mode == Manipulator::Scale) {
        // Raw pixels, y down: 100 px down halves, 100 px up doubles.
        m = scaleMatrix(std::exp2(-0.01 * y));
        return true;
    }
    Ray ray;
    if (!pickRay(x, y, ray)) return false;

    switch (mode) {
    case Manipulator::Sphere: {
        // Camera axes (rows of the model-view) in the trackball frame.
        Matrix4 fromWorld;
        if (!invertMatrix(startPlacement_, fromWorld)) return false;
        const Matrix4& mv = view_.modelview;
        Vec3d right = transformDirection(fromWorld, {mv[0], mv[4], mv[8]});
        Vec3d up = transformDirection(fromWorld, {mv[1], mv[5], mv[9]});
        Vec3d back = transformDirection(fromWorld, {mv[2], mv[6], mv[10]});
        Vec3d hit;
        if (!normalize(right) || !normalize(up) || !normalize(back) ||
            !intersectPlane(ray.origin, ray.direction, back, hit))
            return false;
        Vec3d axis;
        double angle;
        sphereRotation(dot(hit, right), dot(hit, up), axis, angle);
        const Vec3d frameAxis = axis.x * right + axis.y * up + axis.z * back;
        m = rotationMatrix(frameAxis, angle);
        return true;
    }
    case Manipulator::CylinderX:
    case Manipulator::CylinderY:
    case Manipulator::CylinderZ: {
        // Cylinder: angle of the hit in the plane perpendicular to the axis.
        const int i = static_cast<int>(mode) - static_cast<int>(Manipulator::CylinderX);
        const Vec3d axis = kAxes[i];
        const Vec3d e1 = kAxes[(i + 1) % 3];
        const Vec3d e2 = cross(axis, e1);
        Vec3d hit;
        if (!intersectPlane(ray.origin, ray.direction, axis, hit)) return false;
        m = rotationMatrix(axis, std::atan2(dot(hit, e2), dot(hit, e1)));
        return true;
    }
    case Manipulator::LineX:
    case Manipulator::LineY:
    case Manipulator::LineZ: {
        // Line: the point of the axis closest to the ray.
        const Vec3d a = kAxes[static_cast<int>(mode) - static_cast<int>(Manipulator::LineX)];
        const double b = dot(a, ray.direction);
        const double denom = 1.0 - b * b;
        if (denom < 1e-12) return false;
        const double s = (dot(a, ray.origin) - b * dot(ray.direction, ray.origin)) / denom;
        m = translationMatrix(s * a);
        return true;
    }
    case Manipulator::PlaneXY:
    case Manipulator::PlaneZY:
    case Manipulator::PlaneXZ: {
        // Plane through the centre spanned by two axes: x–y, z–y, x–z.
        static const int kSpans[3][2] = {{0, 1}, {2, 1}, {0, 2}};
        const int* span = kSpans[static_cast<int>(mode) - static_cast<int>(Manipulator::PlaneXY)];
        Vec3d hit;
        if (!intersectPlane(ray.origin, ray.direction, cross(kAxes[span[0]], kAxes[span[1]]), hit))
            return false;
        m = translationMatrix(hit);
        return true;
    }
    case Manipulator::Scale:
        break;
    }
    return false;
}

Matrix4 TrackHand::rotationAboutCentre(const AxisAngle& r) const {
    const Vec3d centre{placement_[12], placement_[13], placement_[14]};
    return matrixProduct(
        translationMatrix(centre),
        matrixProduct(rotationMatrix(r.axis, r.angle), translationMatrix(-1.0 * centre)));
}

} // namespace quorax
