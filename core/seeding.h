// How many field lines a surface deserves, and where they start.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "mesh.h"

namespace quorax {

struct LineBudget {
    float totalPower = 0.0f; // sum of the face powers in face order, in float
    int32_t count = 0;       // totalPower × density truncated toward zero, at most faceCount
};

// Line count for `density` lines per unit of power. There is no lower clamp:
// a negative density gives a negative count. A product that is not a number
// gives 0. Needs the face powers of mapPotentialToMesh.
LineBudget computeLineBudget(const TriMesh& mesh, float density);

// What one seeding did.
struct SeedingResult {
    int32_t seeded = 0;       // faces marked, max(budget, 0) or the face count when smaller
    int64_t draws = 0;        // random draws of the thinning
    bool boundReached = false; // the thinning hit maxSeedingDraws and was finished by power
};

// Largest number of random draws of the thinning for a surface of `faces`
// faces: 200 per face plus a million, far above what any real surface needs.
int64_t maxSeedingDraws(int32_t faces);

// Marks `budget` faces by a randomised thinning that favours high power and
// appends one seed per marked face, in face order, to `seeds`: the face
// centroid plus the unit face normal (one length unit off the surface).
//
// Every face starts marked; while more faces are marked than the budget, a
// cursor cycles through the marked faces and unmarks each face it visits
// when (power / maxPower)^1.5 < r, r uniform in [0, 1] from a generator
// seeded with `generatorSeed`. The face of largest power is never removed.
// Faces that can never be removed (their power equals the largest) are kept
// in face order up to the budget once nothing else is left to remove, so the
// result always holds exactly `budget` seeds. A budget below 1 marks no face
// and seeds nothing.
//
// Faces of nearly equal power are removed about once in 32768 draws, so the
// thinning stops after maxSeedingDraws(faceCount) draws: the faces still
// marked are then ranked by power (ties in face order) and the weakest leave
// until `budget` remain; `boundReached` tells the caller to warn.
SeedingResult seedLines(TriMesh& mesh, std::vector<Vec3>& seeds, int32_t budget, uint32_t generatorSeed);

// The generator of the seeding: uniform integers 0 … 32767, the top 15 bits
// of a 32-bit Mersenne twister, whose sequence the C++ standard fixes, so a
// seed gives the same lines on every platform.
class SeedRandom {
public:
    explicit SeedRandom(uint32_t seed) : gen_(seed) {}
    int next() { return static_cast<int>(gen_() >> 17); }

private:
    std::mt19937 gen_;
};

} // namespace quorax
