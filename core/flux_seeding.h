// Seeds in proportion to the field's flux through the surface, so that the
// density of lines shows the strength of the field (Gauss's law).
#pragma once

#include <cstdint>
#include <vector>

#include "grid.h"
#include "mesh.h"

namespace quorax {

struct FluxSeed {
    Vec3 position;   // inside its face (uniform by area), lifted by the unit face normal
    int32_t face = 0;
    float flux = 0;  // the flux this line stands for: total flux / line count
};

struct FluxSeeding {
    std::vector<FluxSeed> seeds; // in face order
    double totalFlux = 0;        // Σ |E·n|·area over the faces
};

// Flux of face f: |E·n|·area with E = −∇φ sampled from `field` (the
// unsmoothed gradient) at the face's centroid and n its unit normal (run
// computeFaceNormals first); 0 where the field is not defined.
double faceFlux(const TriMesh& mesh, const GradientGrid& field, int32_t face);

// totalFlux × density lines (truncated toward zero), placed by systematic
// sampling along the faces' cumulative flux from one uniform offset, so a
// face receives its share of lines up to one: faces of inward and outward
// flux alike. Reproducible from `generatorSeed` on every platform.
FluxSeeding fluxSeeds(const TriMesh& mesh, const GradientGrid& field, double density, uint32_t generatorSeed);

} // namespace quorax
