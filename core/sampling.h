// Trilinear sampling of the grids and the mapping of the potential onto the surface.
#pragma once

#include <cstdint>

#include "grid.h"
#include "mesh.h"

namespace quorax {

// How the cell index along an axis is formed from (p − origin) / delta.
enum class CellQuotient {
    Float,  // quotient in single precision (console tool)
    Double, // quotient in double precision (viewer's assign actions)
};

// How a sample is taken from the grid nodes.
enum class Interpolation {
    Trilinear, // the eight nodes of the cell, weighted (every action but the offset surfaces)
    NodeBelow, // the value of the lower corner node of the cell (viewer's offset surfaces)
};

// Potential at p.
//
// Trilinear: inside the grid box the cell is floor((p − origin) / delta) per
// axis, with weights 1 − |p − node| / delta. A point outside the box, or on
// its upper faces, is sampled at the nearest point of the box: the
// coordinate clamped into [origin, origin + (n−1)·delta], the cell index to
// at most n − 2.
//
// NodeBelow: the node whose index per axis is (p − origin) / delta in double,
// truncated; an index below 0 (or not a number) becomes 0, one at n or above
// n − 1. `quotient` does not apply.
//
// `clamped`, when given, is set when the point had to be moved into the
// grid. A grid without the nodes a sample needs (2 per axis for Trilinear,
// 1 for NodeBelow) gives 0 and sets `clamped`.
float samplePotential(const PotentialGrid& grid, Vec3 p, bool* clamped = nullptr,
                      CellQuotient quotient = CellQuotient::Float,
                      Interpolation interpolation = Interpolation::Trilinear);

// Trilinear gradient at p with the cell and weights of samplePotential.
// The caller guarantees that the cell of p and the next cell lie in the grid.
Vec3 sampleGradient(const GradientGrid& grid, Vec3 p);

// Trilinear gradient at any p: a point outside the box, or on its upper
// faces, is sampled at the nearest point of the box with the cells and
// weights of samplePotential. A grid with fewer than 2 nodes on an axis
// gives the zero vector.
Vec3 sampleGradientClamped(const GradientGrid& grid, Vec3 p);

// How a third of a product is taken.
enum class ThirdRule {
    DivideByThree,   // x / 3 (console tool)
    MultiplyByThird, // x × (1/3) in double, rounded to float (viewer)
};

// Power of one face from its area and the potentials at its corners:
// area·|φ0|/3 + area·|φ1|/3 + area·|φ2|/3, summed in that order in float.
float facePower(float area, const float (&cornerPotential)[3], ThirdRule third);

// How the potential is mapped onto a surface.
struct MappingRule {
    CellQuotient quotient = CellQuotient::Float;
    ThirdRule third = ThirdRule::DivideByThree;
};
// The console tool's rule and the one of the viewer's "NEW POW LINES ".
constexpr MappingRule kConsoleMapping{CellQuotient::Float, ThirdRule::DivideByThree};
constexpr MappingRule kViewerMapping{CellQuotient::Double, ThirdRule::MultiplyByThird};

struct MappingResult {
    int32_t verticesOutside = 0; // vertices sampled at the nearest point of the grid box
    int32_t cornersOutside = 0;  // face corners at such vertices, counted once per face
};

// Sets every vertex's potential to samplePotential at its position (with the
// rule's quotient), then every face's power to facePower of its area and
// corner potentials. Vertices outside the grid are counted in the result.
// An unloaded grid maps 0 everywhere.
MappingResult mapPotentialToMesh(const PotentialGrid& grid, TriMesh& mesh, MappingRule rule = kConsoleMapping);

} // namespace quorax
