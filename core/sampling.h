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

// Trilinear potential at p. Inside the grid box the cell is
// floor((p − origin) / delta) per axis, with weights 1 − |p − node| / delta.
// A point outside the box, or on its upper faces, is sampled at the nearest
// point of the box: the coordinate clamped into [origin, origin + (n−1)·delta],
// the cell index to at most n − 2. `clamped`, when given, is set when that
// happened. The grid must be loaded (at least 2 nodes per axis); an empty
// grid gives 0 and sets `clamped`.
float samplePotential(const PotentialGrid& grid, Vec3 p, bool* clamped = nullptr,
                      CellQuotient quotient = CellQuotient::Float);

// Trilinear gradient at p with the cell and weights of samplePotential.
// The caller guarantees that the cell of p and the next cell lie in the grid.
Vec3 sampleGradient(const GradientGrid& grid, Vec3 p);

// Trilinear gradient at any p: a point outside the box, or on its upper
// faces, is sampled at the nearest point of the box with the cells and
// weights of samplePotential. A grid with fewer than 2 nodes on an axis
// gives the zero vector.
Vec3 sampleGradientClamped(const GradientGrid& grid, Vec3 p);

struct MappingResult {
    int32_t verticesOutside = 0; // vertices sampled at the nearest point of the grid box
};

// Sets every vertex's potential to samplePotential at its position, then every
// face's power to area·|φ0|/3 + area·|φ1|/3 + area·|φ2|/3. Vertices outside
// the grid are counted in the result. An unloaded grid maps 0 everywhere.
MappingResult mapPotentialToMesh(const PotentialGrid& grid, TriMesh& mesh);

} // namespace quorax
