// What the viewer's buttons compute, without the widgets: the window reads
// its controls, calls these and writes the log lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "grid.h"
#include "viewer_random.h"
#include "viewer_state.h"

namespace quorax {

// ---- potential on the surfaces ----

enum class ValueSlot { Electrostatic, Lipophilic };

// Samples `grid` trilinearly (cell quotient in double) at every vertex not
// deleted and stores the value in the chosen slot. Vertices outside the grid
// are sampled at the nearest point of the grid box. Returns their number.
int32_t assignPotential(ViewerMesh& mesh, const PotentialGrid& grid, ValueSlot slot);

// The value of the grid node below each vertex of the four offset surfaces
// (samplePotential with Interpolation::NodeBelow), stored in the
// electrostatic slot. Returns the number of vertices that were clamped.
int32_t offsetPotential(std::array<ViewerMesh, 4>& meshes, const PotentialGrid& grid);

// The line seedings (faceSeed, equalLineSeeds, oldPowSeeds, newPowSeeds)
// live in the core's seeding.h.

// ---- exports ----

// ".//mol.obj": per vertex "v x y z" and "vt electrostatic lipophilic", faces
// "f a/a b/b c/c"; sets every vertex's exportIndex to its 1-based position.
std::string formatMeshObj(ViewerMesh& mesh);

// The lines as one JSON object {"lines": [[x1, y1, z1, x2, …], …]}.
std::string formatLinesJson(const std::vector<FieldLine>& lines);

// ---- batch file ----

struct BatchSeries {
    std::string pattern;
    int64_t from = 0, to = 0, step = 0;
};
struct BatchSettings {
    std::string exe;
    BatchSeries mesh, grid, lines;
    double density = 0, haltGradient = 0, haltAngle = 0, reduceAngle = 0;
    bool reduce = false;
};

// Puts the decimal text of n into `pattern` before its last `fromEnd`
// characters (at the front when the pattern is shorter).
std::string insertNumber(const std::string& pattern, int64_t n, std::size_t fromEnd);

// Number of lines the batch file gets: the series advance in lockstep and the
// first to pass its TO ends the file, after at least one line. 0 when no
// series can ever pass its TO (every STEP 0 or negative and FROM within TO).
int64_t batchLineCount(const BatchSettings& s);

// The batch text, one command line per member:
// "%s %s %s %s %f %f %f %d %f\n". `lines` as batchLineCount gives it.
std::string formatBatchFile(const BatchSettings& s, int64_t lines);

} // namespace quorax
