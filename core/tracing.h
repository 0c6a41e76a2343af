// Field-line tracing through the gradient grid.
#pragma once

#include <cstdint>
#include <vector>

#include "field_line.h"
#include "grid.h"

namespace quorax {

// Longest step of a trace: half the cell diagonal, at most 0.75.
float stepMaxFor(const GradientGrid& grid);

// Which way a trace walks from its seed.
enum class TraceDirection : int8_t {
    Backward = -1, // against the gradient
    Forward = 1,   // along the gradient
};

// The halt rules of a trace.
struct TraceSettings {
    float haltGradient = 0.0f; // a step shorter than this ends the direction (off when ≤ 0)
    float haltAngle = 45.0f;   // a bend above this many degrees ends it (off at exactly 90)
    int32_t maxSteps = 200;    // steps per direction
    ZeroSegmentRule zeroSegments = ZeroSegmentRule::NeverJudged;
};

// Walks from points.back() in `direction`, appending one point per step, and
// returns why it stopped. Each step is the sampled gradient, capped at
// stepMaxFor(grid), times ±1. The walk ends when
//  - the current point is not finite (NonFinite) or lies outside the usable
//    cells 2 … n−2 on an axis, or the grid is not usable (LeftGrid); no
//    point is added;
//  - it has taken maxSteps steps (StepLimit);
//  - its last two segments bend by more than haltAngle degrees (Bend; the
//    halting point stays in the line);
//  - haltGradient > 0 and the capped step is shorter than haltGradient
//    (WeakField; the short step stays). Bend wins when both apply.
// Equal values never halt. `points` must not be empty.
StopReason traceDirection(const GradientGrid& grid, const TraceSettings& settings, TraceDirection direction,
                          std::vector<Vec3>& points);

// Traces one line from `seed` into `line` (replaced): first against the
// gradient, then along it, each as traceDirection. The line holds the
// backward points farthest first, the seed, then the forward points: at most
// 1 + 2·maxSteps points; `backward` and `forward` say why each end stopped.
void traceFieldLine(const GradientGrid& grid, Vec3 seed, const TraceSettings& settings, FieldLine& line);

// The same with the settings spelled out.
void traceFieldLine(const GradientGrid& grid, Vec3 seed, float haltGradient, float haltAngle,
                    FieldLine& line, int32_t maxSteps,
                    ZeroSegmentRule zeroSegments = ZeroSegmentRule::NeverJudged);

// Traces one line per seed and appends them to `lines`, in seed order.
void traceSeeds(const GradientGrid& grid, const std::vector<Vec3>& seeds, const TraceSettings& settings,
                std::vector<FieldLine>& lines);

} // namespace quorax
