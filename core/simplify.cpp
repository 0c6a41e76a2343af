#include "simplify.h"

#include <atomic>
#include <limits>

#include "parallel.h"

namespace quorax {
namespace {

// One pass over a line. Candidates are judged against the line as it stood
// at the start of the pass: after a removal at l the next candidate is l + 3,
// so no candidate ever has a neighbour that this pass removed, and the
// current neighbours of every candidate are its neighbours at the start.
int32_t simplifyPass(std::vector<Vec3>& line, float cosReduce, ZeroSegmentRule rule, std::vector<char>& drop) {
    const std::size_t n = line.size();
    if (n < 4) return 0;
    drop.assign(n, 0);
    int32_t removed = 0;
    for (std::size_t l = 1; l + 2 < n;) {
        float d;
        if (unitDot(line[l] - line[l - 1], line[l + 1] - line[l], rule, d) && d > cosReduce) {
            drop[l] = 1;
            ++removed;
            l += 3;
        } else {
            l += 1;
        }
    }
    if (removed > 0) {
        std::size_t w = 0;
        for (std::size_t r = 0; r < n; ++r)
            if (!drop[r]) line[w++] = line[r];
        line.resize(w);
    }
    return removed;
}

} // namespace

SimplifyResult simplifyLines(std::vector<FieldLine>& lines, float reduceAngle, ZeroSegmentRule zeroSegments) {
    const float cosReduce = cosDegrees(reduceAngle);
    SimplifyResult r;
    // Lines are simplified independently, in parallel; the counts are sums
    // of whole numbers, the same in any order.
    std::atomic<long long> removedPoints{0}, remaining{0};
    parallelRanges(lines.size(), 64, [&](std::size_t begin, std::size_t end) {
        std::vector<char> drop;
        long long removedHere = 0, remainingHere = 0;
        for (std::size_t i = begin; i < end; ++i) {
            std::vector<Vec3>& points = lines[i].points;
            while (int32_t k = simplifyPass(points, cosReduce, zeroSegments, drop)) removedHere += k;
            remainingHere += static_cast<long long>(points.size());
        }
        removedPoints += removedHere;
        remaining += remainingHere;
    });
    r.removed = static_cast<int32_t>(removedPoints.load());
    r.remaining = remaining > std::numeric_limits<int32_t>::max()
                      ? std::numeric_limits<int32_t>::max()
                      : static_cast<int32_t>(remaining);
    return r;
}

} // namespace quorax
