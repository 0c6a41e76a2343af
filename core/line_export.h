// Exchange formats for the lines and the surface: VTK XML PolyData (.vtp,
// binary appended), legacy VTK polydata (.vtk, binary), Wavefront OBJ and
// binary PLY, so that ParaView, Blender and other tools open them directly.
//
// Every exported line is written in the direction of the field, from its end
// at the highest potential to its end at the lowest: the reverse of the
// stored order (which runs along the gradient), the order of the lines file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "field_line.h"
#include "grid.h"
#include "mesh.h"

namespace quorax {

enum class ExportKind {
    Lines,   // the field lines as polylines
    Tubes,   // the field lines as closed solids (see tubes.h)
    Surface, // the surface with the potential on every vertex
};

enum class ExportFormat { Vtp, Vtk, Obj, Ply, Stl };

// The format that the extension of `path` names (letter case ignored), if
// `kind` accepts it: lines .vtp .vtk .obj .ply; tubes .stl .obj .ply;
// surface .vtp .ply.
std::optional<ExportFormat> exportFormatFor(ExportKind kind, const std::string& path);

// The extensions `kind` accepts, for messages: ".vtp, .vtk, .obj or .ply".
std::string acceptedExtensions(ExportKind kind);

// Per-point values of all lines, line after line, each line in the exported
// order (see above).
struct LineValues {
    std::vector<float> potential;     // trilinear potential, as the mapping samples it
    std::vector<float> fieldStrength; // |∇φ| of the tracer's (smoothed, capped) gradient
    std::vector<float> arcLength;     // signed length along the line from its seed
    std::vector<float> seedFlux;      // per line: the flux its seed stands for (flux seeding; else empty)
};

// Samples the values of every point of `lines`. `seeds[i]` is the seed of
// line i; a line's arc length is 0 at the point of the line nearest to its
// seed, negative towards the line's first exported point (higher potential)
// and positive towards its last. Points outside the grids take the values at
// the nearest point of the grid box; an unloaded grid gives 0.
LineValues computeLineValues(const std::vector<FieldLine>& lines, const std::vector<Vec3>& seeds,
                             const PotentialGrid& potential, const GradientGrid& gradient);

// The file of `lines` in `format` (Vtp, Vtk, Obj or Ply). Vtp and Vtk carry
// the point arrays "potential", "field_strength", "arc_length" when `values`
// is given, and the cell arrays "line_index" (0-based, the order of the lines
// file), "stop_reason_start" and "stop_reason_end" (why the trace of the
// line's first and last exported point stopped: the StopReason value, 0 none,
// 1 left grid, 2 step limit, 3 bend, 4 weak field, 5 non-finite, 6 surface,
// 7 too close). Vtp also carries, when `values` is given, the cell arrays
// "potential_start", "potential_end" (at the line's first and last exported
// point), "length", "start_on_surface", "end_on_surface" (1 where that end
// met the surface) and, after flux seeding, "seed_flux" (the flux the line
// stands for). Ply vertices carry "potential" when `values` is given; Ply edges
// join successive points of a line; Obj writes an `l` element per line of
// two or more points and a `p` element per line of one point.
std::string formatLinesExport(ExportFormat format, const std::vector<FieldLine>& lines,
                              const LineValues* values);

// The surface in `format` (Vtp or Ply) with the vertex potential as the
// point array (Vtp) or float vertex property (Ply) "potential".
std::string formatSurfaceExport(ExportFormat format, const TriMesh& mesh);

// Decimal text of a float in the shortest form that reads back exactly.
void appendShortest(std::string& out, float v);

// Decimal text of a count.
void appendNumber(std::string& out, std::size_t v);

// "v x y z\n" with each coordinate in the shortest exact form.
void appendShortestVertex(std::string& out, Vec3 p);

// Binary little-endian PLY of a triangle mesh: `positions`, the float vertex
// property "potential" when `potential` is given (one per position), and the
// faces as "vertex_indices" lists. `comment` goes into the header.
std::string formatTrianglePly(const char* comment, const std::vector<Vec3>& positions,
                              const std::vector<float>* potential,
                              const std::vector<std::array<int32_t, 3>>& triangles);

} // namespace quorax
