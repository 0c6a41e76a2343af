#include "separation.h"

#include <cmath>

namespace quorax {

SeparationGrid::SeparationGrid(float distance) : distance_(distance) {}

int64_t SeparationGrid::cellOf(float x) const {
    return static_cast<int64_t>(std::floor(static_cast<double>(x) / distance_));
}

SeparationGrid::Key SeparationGrid::keyOf(int64_t i, int64_t j, int64_t k) const {
    // 21 bits per axis, wrapped: distinct cells may share a key, which only
    // costs a few more distance tests.
    const auto m = [](int64_t v) { return static_cast<uint64_t>(v) & 0x1FFFFFu; };
    return (m(i) << 42) | (m(j) << 21) | m(k);
}

bool SeparationGrid::near(Vec3 p) const {
    if (!isFinite(p)) return false;
    const int64_t ci = cellOf(p.x), cj = cellOf(p.y), ck = cellOf(p.z);
    const float limit = distance_ * distance_;
    for (int64_t i = ci - 1; i <= ci + 1; ++i)
        for (int64_t j = cj - 1; j <= cj + 1; ++j)
            for (int64_t k = ck - 1; k <= ck + 1; ++k) {
                const auto it = cells_.find(keyOf(i, j, k));
                if (it == cells_.end()) continue;
                for (const Vec3& q : it->second) {
                    const Vec3 d = q - p;
                    if (dot(d, d) < limit) return true;
                }
            }
    return false;
}

void SeparationGrid::add(const std::vector<Vec3>& points) {
    for (const Vec3& p : points)
        if (isFinite(p)) cells_[keyOf(cellOf(p.x), cellOf(p.y), cellOf(p.z))].push_back(p);
}

} // namespace quorax
