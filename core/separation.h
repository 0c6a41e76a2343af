// Points of the lines traced so far in a uniform hash grid, so that a new
// line can stop where it comes closer than a set distance to one of them.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "vec3.h"

namespace quorax {

class SeparationGrid {
public:
    // Cells of edge `distance` (> 0): a neighbour closer than it lies in one
    // of the 27 cells around a point.
    explicit SeparationGrid(float distance);

    // True when a point added so far lies closer than the distance to p.
    bool near(Vec3 p) const;

    // Adds the points of a finished line.
    void add(const std::vector<Vec3>& points);

    float distance() const { return distance_; }

private:
    using Key = uint64_t;
    Key keyOf(int64_t i, int64_t j, int64_t k) const;
    int64_t cellOf(float x) const;

    float distance_;
    std::unordered_map<Key, std::vector<Vec3>> cells_;
};

} // namespace quorax
