// Field lines, why each end of a line stopped, and the rule shared by the
// tracer and the simplification for segments of zero length.
#pragma once

#include <cstdint>
#include <vector>

#include "vec3.h"

namespace quorax {

// Why the trace of one end of a line stopped.
enum class StopReason : uint8_t {
    None,      // not traced (a line built by hand, or read back from a file)
    LeftGrid,  // the point lies outside the usable cells, or the grid has none
    StepLimit, // the end took the largest number of steps
    Bend,      // the last two segments bend by more than the halt angle
    WeakField, // the step was shorter than the halt gradient
    NonFinite, // the point is not finite (the gradient held a value that is not a number)
    Surface,   // the line met the molecular surface (its last point lies on it)
    TooClose,  // the line came closer than the minimum separation to an earlier line
};

// Short lower-case name of a reason ("none", "left grid", "step limit",
// "bend", "weak field", "non-finite", "surface", "too close"), for logs and output formats.
const char* stopReasonName(StopReason reason);

// One traced line: its points in order and the reason each end stopped.
// The points before the seed were traced against the gradient (farthest
// first: `backward` is the reason at points.front()), those after it along
// the gradient (`forward`, at points.back()).
struct FieldLine {
    std::vector<Vec3> points;
    StopReason backward = StopReason::None;
    StopReason forward = StopReason::None;

    // The line as a range of points.
    std::size_t size() const { return points.size(); }
    bool empty() const { return points.empty(); }
    const Vec3& operator[](std::size_t i) const { return points[i]; }
    Vec3& operator[](std::size_t i) { return points[i]; }
    const Vec3& front() const { return points.front(); }
    const Vec3& back() const { return points.back(); }
    auto begin() const { return points.begin(); }
    auto end() const { return points.end(); }

    bool operator==(const FieldLine&) const = default;
};

// The angle between two successive segments is judged by the dot product of
// their unit vectors. When one of them has zero length (two equal points):
enum class ZeroSegmentRule {
    NeverJudged, // console tool: such a bend never halts a line nor allows a removal
    DotIsZero,   // viewer: the zero segment stays the zero vector, so the dot product is 0
};

// Dot product of the unit vectors of a and b, or false when the pair cannot
// be judged under `rule`.
inline bool unitDot(Vec3 a, Vec3 b, ZeroSegmentRule rule, float& result) {
    const float la = length(a), lb = length(b);
    if ((la == 0.0f || lb == 0.0f) && rule == ZeroSegmentRule::NeverJudged) return false;
    result = dot(normalize(a), normalize(b));
    return true;
}

// cos(angle × 3.14159265 / 180) for an angle in degrees, rounded to float.
float cosDegrees(float angle);

} // namespace quorax
