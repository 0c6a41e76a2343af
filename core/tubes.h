// Field lines as printable solids: every line becomes one closed tube with
// an arrow head at its end along the field (lowest potential), written as
// binary STL, OBJ or binary PLY.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "field_line.h"
#include "line_export.h"

namespace quorax {

// Tube radius, in the model's units (Å), when none is asked for: 0.6 Å
// prints 1.2 mm thick at 1 mm per Å, three 0.4 mm nozzle widths.
constexpr float kDefaultTubeRadius = 0.6f;
// Corners of a tube's cross-section.
constexpr int kTubeSides = 8;

// Triangles over indexed vertices, grouped into closed shells (one per line).
struct SolidMesh {
    std::vector<Vec3> vertices;
    std::vector<std::array<int32_t, 3>> triangles; // counter-clockwise seen from outside
    std::vector<std::size_t> shellStarts;          // first triangle of every shell
};

// Appends the solid of one line (stored order, see field_line.h) as a new
// shell: a tube of `radius` along the line from its end at the highest
// potential, closed there by a flat cap, to its end at the lowest potential,
// where a cone of base radius 2·radius and length 4·radius points on along
// the last segment. Points closer than radius/2 to the last point kept, or
// to the one before it, are skipped, so the shell has no zero-area triangle
// and no repeated ring. A line of one point (or whose points all lie within
// radius/2 of each other) becomes a double cone of `radius` around its first
// point. Every shell is a closed, consistently oriented 2-manifold. An empty
// line or a radius that is not a positive finite number adds nothing.
void appendLineSolid(SolidMesh& mesh, const FieldLine& line, float radius);

// The solids of all lines.
SolidMesh buildLineSolids(const std::vector<FieldLine>& lines, float radius);

// The file of `mesh` in `format` (Stl: binary, Obj: one object per shell,
// Ply: binary little-endian with a vertex_indices face list).
std::string formatSolidExport(ExportFormat format, const SolidMesh& mesh);

} // namespace quorax
