// Field-line tracing through the gradient grid.
#pragma once

#include <cstdint>

#include "field_line.h"
#include "grid.h"

namespace quorax {

// Longest step of a trace: half the cell diagonal, at most 0.75.
float stepMaxFor(const GradientGrid& grid);

// Traces one line from `seed` into `line` (emptied first): first against the
// gradient, inserting before the first point, then along it, appending.
// Each step is the sampled gradient, capped at stepMaxFor(grid). A direction
// ends when
//  - the current point lies outside the usable cells 2 … n−2 on an axis, or
//    is not a finite point (no point is added);
//  - it has taken maxSteps steps;
//  - its last two segments bend by more than haltAngle degrees (test off at
//    exactly 90; the halting point stays in the line);
//  - haltGradient > 0 and the capped step is shorter than haltGradient.
// Equal values never halt. The line holds at most 1 + 2·maxSteps points.
void traceFieldLine(const GradientGrid& grid, Vec3 seed, float haltGradient, float haltAngle,
                    FieldLine& line, int32_t maxSteps,
                    ZeroSegmentRule zeroSegments = ZeroSegmentRule::NeverJudged);

} // namespace quorax
