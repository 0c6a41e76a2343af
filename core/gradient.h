// Gradient of the potential grid: forward differences, length limit, smoothing.
#pragma once

#include "grid.h"

namespace quorax {

// How a smoothing pass turns the sum of the six neighbours into their mean.
enum class SmoothRule {
    DivideBySix,       // sum / 6 (console tool)
    MultiplyBySixth,   // sum × (1/6) (viewer)
};

// Fills `out` from `potential`: forward differences
// G(i,j,k) = ((V(i+1,j,k) − V)/dx, (V(i,j+1,k) − V)/dy, (V(i,j,k+1) − V)/dz)
// for i ≤ nx−2, j ≤ ny−2, k ≤ nz−2; the last layers copy their inner
// neighbours (x, then y, then z); vectors longer than maxLength at nodes with
// all indices ≥ 1 are scaled down to maxLength; then `smoothingPasses` passes
// of smoothGradient; then the extreme magnitudes; `ready` is set.
// A grid with fewer than 2 nodes on an axis gives an empty gradient grid
// (no vectors, extremes −10000 and 10000) that is still marked ready.
void computeGradient(GradientGrid& out, const PotentialGrid& potential, float maxLength,
                     int smoothingPasses, SmoothRule rule = SmoothRule::DivideBySix);

// One smoothing pass: every interior node becomes the mean of its six face
// neighbours as they were before the pass; border nodes keep their vectors.
void smoothGradient(GradientGrid& grid, SmoothRule rule = SmoothRule::DivideBySix);


// Fills `out` with the unsmoothed, uncapped gradient of `potential`: central
// differences (V(i+1) − V(i−1)) / 2·dx at interior nodes, one-sided
// differences on the border layers, so every vector sits at its own node.
// The field-line integrators of higher order trace this field; its extremes
// are set and it is marked ready. A grid with fewer than 2 nodes on an axis
// gives an empty ready grid.
void computeCentralGradient(GradientGrid& out, const PotentialGrid& potential);

} // namespace quorax
