// Level surfaces of a scalar grid: the molecular surface drawn from a
// solvent-accessibility map sampled on the same grid as the potential.
#pragma once

#include "grid.h"
#include "mesh.h"

namespace quorax {

// Mean of each node and its 26 neighbours (3 × 3 × 3 box); nodes beyond an
// edge of the grid take the value of the nearest edge node. Counts, origin and
// spacing are kept. Turns a 0/1 map into a field whose 0.5 level runs smoothly
// between the nodes instead of on a staircase; the result never holds exactly
// 0.5 when the input holds only 0 and 1 (its values are multiples of 1/27).
PotentialGrid boxFilterGrid(const PotentialGrid& grid);

// Closed triangle surface between the nodes whose value is below `level`
// ("inside") and those at or above it ("outside"), by marching tetrahedra:
// every grid cell is split into six tetrahedra around its diagonal from the
// lowest to the highest corner, the same split in every cell, so neighbouring
// cells cut their shared faces alike and the surface has no cracks. A vertex
// lies on each tetrahedron edge whose ends are on different sides, where the
// linear interpolation of the two node values equals `level`; an edge shared
// by several tetrahedra gives one vertex. Faces are wound so that their
// right-hand normal points from inside to outside (towards larger values).
//
// Where the inside region touches the outermost nodes the surface is cut open
// there. Vertices are numbered in the order the cells are visited (x slowest,
// z fastest), so the result depends only on the grid. A grid with fewer than
// two nodes on an axis, or spacings that are not positive, gives an empty mesh.
// The mesh's normals and powers are left zero and `loaded` is set.
TriMesh extractIsosurface(const PotentialGrid& grid, float level);

} // namespace quorax
