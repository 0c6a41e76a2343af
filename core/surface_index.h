// The molecular surface as a spatial index: which segment crosses it, and
// where first.
#pragma once

#include <memory>

#include "mesh.h"

namespace quorax {

class SurfaceIndex {
public:
    // Indexes every face of `mesh` with a non-zero area (an AABB tree).
    explicit SurfaceIndex(const TriMesh& mesh);
    ~SurfaceIndex();
    SurfaceIndex(const SurfaceIndex&) = delete;
    SurfaceIndex& operator=(const SurfaceIndex&) = delete;

    // True when the segment a → b touches a face; `hit` is then the touching
    // point nearest to a.
    bool firstCrossing(Vec3 a, Vec3 b, Vec3& hit) const;

    // Number of faces the segment a → b crosses (for inside/outside tests by
    // the parity of a ray).
    std::size_t crossingCount(Vec3 a, Vec3 b) const;

    std::size_t faceCount() const;

private:
    struct Tree;
    std::unique_ptr<Tree> tree_;
};

} // namespace quorax
