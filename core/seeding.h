// How many field lines a surface deserves, and where they start.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "grid.h"
#include "mesh.h"
#include "sampling.h"

namespace quorax {

struct LineBudget {
    float totalPower = 0.0f; // sum of the face powers in face order, in float
    int32_t count = 0;       // totalPower × density truncated toward zero, at most faceCount
};

// Line count for `density` lines per unit of power. There is no lower clamp:
// a negative density gives a negative count. A product that is not a number
// gives 0. Needs the face powers of mapPotentialToMesh.
LineBudget computeLineBudget(const TriMesh& mesh, float density);

// Seed above one face: its centroid plus its normal (as the mesh holds it)
// when `lift` is set. The centroid is the corner sum, formed in float and
// divided by 3 in double (DivideByThree, the console tool, whose sum starts
// from the zero vector) or multiplied by 1/3 in double (MultiplyByThird, the
// viewer), rounded to float. `face` must exist.
Vec3 faceSeed(const TriMesh& mesh, int32_t face, ThirdRule third, bool lift);

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
// x^1.5 as std::pow gives it in double, rounded to float: the thinning's
// keep value of a face whose power is x times the largest.
float powerOneAndHalf(float x);

class SeedRandom {
public:
    explicit SeedRandom(uint32_t seed) : gen_(seed) {}
    int next() { return static_cast<int>(gen_() >> 17); }

private:
    std::mt19937 gen_;
};

// The viewer's generator: uniform integers 0 … 2³¹ − 1, the top 31 bits of
// a 32-bit Mersenne twister started from its default seed, so every run of
// the viewer draws the same sequence.
class Random31 {
public:
    int32_t rand31() { return static_cast<int32_t>(gen_() >> 1); }
    // Starts the sequence again (for tests that need a known draw).
    void restart() { gen_.seed(std::mt19937::default_seed); }

private:
    std::mt19937 gen_;
};

// ---- the viewer's seedings; seeds above faces use ThirdRule::MultiplyByThird ----

// "<- equal lines": one seed on every (faceCount / wanted)-th face, from face
// 0. Nothing when wanted is not in 1 … faceCount.
std::vector<Vec3> equalLineSeeds(const TriMesh& mesh, int32_t wanted, bool lift);

// "OLD POW LINES": the vertices whose |value| exceeds minPotential (deleted
// vertices skipped; `vertexFlags` may be empty), each at its position plus
// its normal when `lift`, thinned at random to `keep` candidates favouring
// large values. `values` holds one value per vertex.
//
// The cursor walks the candidates in vertex order and wraps; a candidate
// goes when rand31() mod m exceeds 10·|value|, m = trunc(10·largest |value|);
// after a removal the cursor passes over the next candidate. When no
// candidate left can be drawn out, the first `keep` stay.
struct OldPowSeeds {
    std::vector<Vec3> seeds;
    int32_t candidates = 0; // before thinning
    bool keptFirst = false; // thinning could remove no more: the first `keep` were kept
};
OldPowSeeds oldPowSeeds(const TriMesh& mesh, std::span<const float> values, std::span<const uint32_t> vertexFlags,
                        float minPotential, int32_t keep, bool lift, Random31& random);

// "NEW POW LINES ": face powers mapped with kViewerMapping (which also sets
// every vertex's potential), the line count total·density (clamped to the
// int32 range, 0 when not a number), and a random walk over the faces that
// takes a visited face with a probability of about (power − min) / (max −
// min) and then jumps by up to half the face count. Nothing is taken when
// the count is not below the face count. The walk is bounded by
// maxSeedingDraws(faceCount) visits; past that the strongest faces not taken
// complete the selection (ties in face order). Sets every face's seeded
// mark. Returns the seeds in face order.
struct NewPowSeeds {
    std::vector<Vec3> seeds;
    float total = 0.0f;
    int32_t count = 0;
    float minPower = 10000.0f, maxPower = -10000.0f;
    int32_t cornersOutside = 0; // corners sampled at the nearest point of the grid box
    bool boundReached = false;  // the random selection was cut short; the strongest faces completed it
};
NewPowSeeds newPowSeeds(TriMesh& mesh, const PotentialGrid& grid, float density, bool lift, Random31& random);

} // namespace quorax
