// Arrow heads along the field lines: placement, pyramid geometry and the OBJ text.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "field_line.h"
#include "viewer_random.h"

namespace quorax {

// Walks every line from its last stored point to its first, alternating a
// skipping phase (until `skip` of arc length is covered) and a placing phase
// (until `pyr` is covered). A decoration starts at the point where skipping
// ended and points along the chord to the point where placing ended; one
// still placing when its line ends is dropped. Each time placing starts, the
// next skip is drawn: skipSize · (1 + skipRand · 0.001 · (r − 1000)) with
// r = rand31 mod 2000; the first gap uses skipSize itself. Appends the base
// points, unit directions (zero when the chord has no length) and sizes.
void placeDecorations(const std::vector<FieldLine>& lines, float skipSize, float pyrSize, float skipRand,
                      ViewerRandom& random, std::vector<Vec3>& positions, std::vector<Vec3>& directions,
                      std::vector<float>& sizes);

// The six triangles of one pyramid, 18 corners in drawing order: four sides
// (W+, U+, T), (U−, W+, T), (U+, W−, T), (W−, U−, T), then the base
// (U+, W+, W−), (U−, W−, W+); and the five normals: one per side, then −d
// for the base. B is the base centre, d the direction (normalised here when
// not zero), s the size; the base half-diagonal is s/4 below size 2, 0.5 from
// 2 on. A direction along ±y collapses the base onto B.
struct Pyramid {
    std::array<Vec3, 18> corners;
    std::array<Vec3, 5> normals;
};
Pyramid pyramidGeometry(Vec3 base, Vec3 direction, float size);

// OBJ text of all decorations: per triangle its three corners as
// "v %f %f %f" lines, then "f n n+1 n+2", n counting from 1.
std::string formatDecorationObj(const std::vector<Vec3>& positions, const std::vector<Vec3>& directions,
                                const std::vector<float>& sizes);

} // namespace quorax
