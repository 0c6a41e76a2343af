#include "seeding.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorax {

LineBudget computeLineBudget(const TriMesh& mesh, float density) {
    LineBudget b;
    float total = 0.0f;
    for (const MeshFace& f : mesh.faces) total = total + f.power;
    b.totalPower = total;
    const float product = total * density;
    const int32_t faces = mesh.faceCount();
    if (std::isnan(product)) {
        b.count = 0;
    } else if (product >= static_cast<float>(faces)) {
        b.count = faces;
    } else if (product <= static_cast<float>(std::numeric_limits<int32_t>::min())) {
        b.count = std::numeric_limits<int32_t>::min();
    } else {
        b.count = static_cast<int32_t>(product); // truncation toward zero
        if (b.count >= faces) b.count = faces;
    }
    return b;
}

int64_t maxSeedingDraws(int32_t faces) { return 200 * static_cast<int64_t>(faces) + 1000000; }

namespace {

// r of draw k (0 … 32767), as the thinning compares it with keep.
float drawValue(int32_t k) { return static_cast<float>(k / 32767.0); }

// Smallest draw whose r exceeds `keep` (r grows with the draw), or 32768 when
// none does (keep ≥ 1 or not a number).
int32_t removalThreshold(float keep) {
    if (!(keep < 1.0f)) return 32768;
    int32_t lo = 0, hi = 32767; // drawValue(32767) = 1 > keep
    while (lo < hi) {
        const int32_t mid = (lo + hi) / 2;
        if (drawValue(mid) > keep) hi = mid;
        else lo = mid + 1;
    }
    return lo;
}

// Unmarks marked faces, weakest first (ties: the later face first), until
// `budget` remain. A keep value that is not a number ranks as the strongest,
// as the thinning never removes such a face.
void keepStrongest(TriMesh& mesh, const std::vector<float>& keep, int32_t budget) {
    std::vector<int32_t> marked;
    for (int32_t i = 0; i < mesh.faceCount(); ++i)
        if (mesh.faces[i].seeded) marked.push_back(i);
    const auto rank = [&](int32_t f) { return std::isnan(keep[f]) ? INFINITY : keep[f]; };
    std::stable_sort(marked.begin(), marked.end(), [&](int32_t a, int32_t b) { return rank(a) > rank(b); });
    for (std::size_t k = static_cast<std::size_t>(std::max(budget, 0)); k < marked.size(); ++k)
        mesh.faces[marked[k]].seeded = false;
}

// Appends the seed of every marked face, in face order.
void appendSeeds(const TriMesh& mesh, std::vector<Vec3>& seeds) {
    for (const MeshFace& f : mesh.faces) {
        if (!f.seeded) continue;
        Vec3 p0, p1, p2;
        facePositions(mesh, f, p0, p1, p2);
        Vec3 sum;
        sum += p0;
        sum += p1;
        sum += p2;
        const Vec3 centroid = {static_cast<float>(sum.x / 3.0), static_cast<float>(sum.y / 3.0),
                               static_cast<float>(sum.z / 3.0)};
        seeds.push_back(centroid + f.normal);
    }
}

} // namespace

SeedingResult seedLines(TriMesh& mesh, std::vector<Vec3>& seeds, int32_t budget, uint32_t generatorSeed) {
    SeedingResult result;
    const int32_t faces = mesh.faceCount();
    float maxPower = -10000.0f;
    for (MeshFace& f : mesh.faces) {
        f.seeded = true;
        if (f.power > maxPower) maxPower = f.power;
    }
    int32_t remaining = faces;
    if (budget < 1) {
        // Nothing to seed: no thinning could get the count down to 0.
        for (MeshFace& f : mesh.faces) f.seeded = false;
        remaining = 0;
    } else if (remaining > budget) {
        // keep = (power / maxPower)^1.5 once per face; r ≤ 1, so a face
        // whose keep is 1 or more (or not a number) is never removed. A face
        // goes when the draw k gives r = k / 32767 above its keep, that is
        // when k reaches its threshold.
        std::vector<float> keep(static_cast<std::size_t>(faces));
        std::vector<int32_t> threshold(static_cast<std::size_t>(faces));
        int32_t removable = 0;
        for (int32_t i = 0; i < faces; ++i) {
            keep[i] = static_cast<float>(std::pow(mesh.faces[i].power / maxPower, 1.5));
            threshold[i] = removalThreshold(keep[i]);
            if (keep[i] < 1.0f) ++removable;
        }
        // The cursor visits the marked faces in cyclic face order; a ring of
        // successors over the marked faces keeps each visit O(1).
        std::vector<int32_t> next(static_cast<std::size_t>(faces)), prev(static_cast<std::size_t>(faces));
        for (int32_t i = 0; i < faces; ++i) {
            next[i] = i + 1 == faces ? 0 : i + 1;
            prev[i] = i == 0 ? faces - 1 : i - 1;
        }
        SeedRandom random(generatorSeed);
        const int64_t maxDraws = maxSeedingDraws(faces);
        int32_t cursor = 0;
        while (remaining > budget && removable > 0) {
            if (result.draws == maxDraws) {
                result.boundReached = true;
                break;
            }
            ++result.draws;
            const int32_t after = next[cursor];
            if (random.next() >= threshold[cursor]) {
                mesh.faces[cursor].seeded = false;
                --remaining;
                --removable;
                next[prev[cursor]] = after;
                prev[after] = prev[cursor];
            }
            cursor = after;
        }
        if (result.boundReached) {
            keepStrongest(mesh, keep, budget);
            remaining = budget;
        } else if (remaining > budget) {
            // Only faces that cannot be removed are left, and too many of
            // them: keep the first ones in face order.
            int32_t kept = 0;
            for (MeshFace& f : mesh.faces)
                if (f.seeded && ++kept > budget) f.seeded = false;
            remaining = budget;
        }
    }
    appendSeeds(mesh, seeds);
    result.seeded = remaining;
    return result;
}

} // namespace quorax
