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
// (index (p − origin) / delta truncated, clamped into the grid), stored in
// the electrostatic slot. Returns the number of vertices that were clamped.
int32_t offsetPotential(std::array<ViewerMesh, 4>& meshes, const PotentialGrid& grid);

// ---- line seeding ----

// Seed above face f: centroid (P0 + P1 + P2)·(1/3), plus the face's
// (unnormalised) normal when `lift` is set.
Vec3 faceSeed(const ViewerMesh& mesh, int32_t f, bool lift);

// "<- equal lines": one seed on every (faceCount / wanted)-th face. The caller
// has checked 1 ≤ wanted ≤ faceCount.
std::vector<Vec3> equalLineSeeds(const ViewerMesh& mesh, int32_t wanted, bool lift);

// "OLD POW LINES": vertices whose |electrostatic| exceeds minPotential, each
// at its position (plus its normal when `lift`), thinned at random to `keep`
// candidates favouring large values.
struct OldPowSeeds {
    std::vector<Vec3> seeds;
    int32_t candidates = 0; // before thinning
    bool keptFirst = false; // thinning could remove no more: the first `keep` were kept
};
OldPowSeeds oldPowSeeds(const ViewerMesh& mesh, float minPotential, int32_t keep, bool lift, ViewerRandom& random);

// "NEW POW LINES ": face powers area·|φ|/3 summed over the corners (φ
// sampled from the grid), the line count total·density, and a random
// selection of faces favouring high power. Sets every face's power and
// seeded mark. Returns the seeds in face order.
struct NewPowSeeds {
    std::vector<Vec3> seeds;
    float total = 0.0f;
    int32_t count = 0;
    float minPower = 10000.0f, maxPower = -10000.0f;
    int32_t cornersOutside = 0; // corners sampled at the nearest point of the grid box
    bool boundReached = false;  // the random selection was cut short; the strongest faces completed it
};
NewPowSeeds newPowSeeds(ViewerMesh& mesh, const PotentialGrid& grid, float density, bool lift, ViewerRandom& random);

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
