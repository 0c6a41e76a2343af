// Thinning of traced lines.
#pragma once

#include <cstdint>
#include <vector>

#include "field_line.h"

namespace quorax {

struct SimplifyResult {
    int32_t removed = 0;   // points removed by this call
    int32_t remaining = 0; // points left in all lines
};

// Removes, line by line and in place, interior points at which the line turns
// by less than reduceAngle degrees (unit-vector dot product above its
// cosine), comparing each candidate with its current neighbours. Passes
// repeat until one removes nothing; within a pass a removal skips the two
// following points. The first point and the last two points of every line are
// never removed; lines of three points or fewer are unchanged. The stop
// reasons of the lines stay.
SimplifyResult simplifyLines(std::vector<FieldLine>& lines, float reduceAngle,
                             ZeroSegmentRule zeroSegments = ZeroSegmentRule::NeverJudged);

} // namespace quorax
