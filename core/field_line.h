// Field lines and the rule shared by the tracer and the simplification for
// segments of zero length.
#pragma once

#include <vector>

#include "vec3.h"

namespace quorax {

// Ordered points of one line. The points before the seed were traced against
// the gradient (farthest first), those after it along the gradient.
using FieldLine = std::vector<Vec3>;

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
