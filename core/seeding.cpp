#include "seeding.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cassert>
#include <cmath>
#include <limits>
#include <numeric>

#include "parallel.h"

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

Vec3 faceSeed(const TriMesh& mesh, int32_t face, ThirdRule third, bool lift) {
    assert(face >= 0 && face < mesh.faceCount());
    const MeshFace& f = mesh.faces[face];
    Vec3 p0, p1, p2;
    facePositions(mesh, f, p0, p1, p2);
    Vec3 seed;
    if (third == ThirdRule::DivideByThree) {
        Vec3 sum;
        sum += p0;
        sum += p1;
        sum += p2;
        seed = {static_cast<float>(sum.x / 3.0), static_cast<float>(sum.y / 3.0), static_cast<float>(sum.z / 3.0)};
    } else {
        const Vec3 sum = p0 + p1 + p2;
        constexpr double third = 1.0 / 3.0;
        seed = {static_cast<float>(sum.x * third), static_cast<float>(sum.y * third),
                static_cast<float>(sum.z * third)};
    }
    return lift ? seed + f.normal : seed;
}

// x·√x lies within about one unit in the last place of the exact power, as
// does pow's result, so the two round to the same float unless the double is
// near a float rounding boundary; there, and for anything but a positive
// number with a normal float result, pow itself decides.
float powerOneAndHalf(float x) {
    const double d = x;
    if (d > 0 && d <= 1.0e30) {
        const double y = d * std::sqrt(d);
        if (y >= static_cast<double>(std::numeric_limits<float>::min()) &&
            y <= static_cast<double>(std::numeric_limits<float>::max())) {
            // The 29 bits a double holds beyond a float: a float rounding
            // boundary lies at half of them.
            const int64_t beyond = static_cast<int64_t>(std::bit_cast<uint64_t>(y) & ((uint64_t{1} << 29) - 1));
            const int64_t fromBoundary = beyond - (int64_t{1} << 28);
            if (fromBoundary > 64 || fromBoundary < -64) return static_cast<float>(y);
        }
    }
    return static_cast<float>(std::pow(d, 1.5));
}

int64_t maxSeedingDraws(int32_t faces) { return 200 * static_cast<int64_t>(faces) + 1000000; }

namespace {

// r of every draw k (0 … 32767), k / 32767 rounded to float, as the
// thinning compares it with keep; computed once.
const std::array<float, 32768>& drawValues() {
    static const std::array<float, 32768> values = [] {
        std::array<float, 32768> v{};
        for (int32_t k = 0; k < 32768; ++k) v[static_cast<std::size_t>(k)] = static_cast<float>(k / 32767.0);
        return v;
    }();
    return values;
}

// Smallest draw whose r exceeds `keep` (r grows with the draw), or 32768 when
// none does (keep ≥ 1 or not a number).
int32_t removalThreshold(float keep, const std::array<float, 32768>& r) {
    if (!(keep < 1.0f)) return 32768;
    // Start near keep · 32767 and step to the exact boundary (a step or two).
    int32_t k = static_cast<int32_t>(std::clamp(static_cast<double>(keep) * 32767.0, 0.0, 32767.0));
    while (k > 0 && r[static_cast<std::size_t>(k - 1)] > keep) --k;
    while (!(r[static_cast<std::size_t>(k)] > keep)) ++k; // ends at 32767 at the latest: r = 1 > keep
    return k;
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
    for (int32_t f = 0; f < mesh.faceCount(); ++f)
        if (mesh.faces[f].seeded) seeds.push_back(faceSeed(mesh, f, ThirdRule::DivideByThree, true));
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
        std::atomic<int32_t> removableFaces{0};
        const std::array<float, 32768>& r = drawValues();
        parallelRanges(static_cast<std::size_t>(faces), 4096, [&](std::size_t first, std::size_t last) {
            int32_t n = 0;
            for (std::size_t i = first; i < last; ++i) {
                keep[i] = powerOneAndHalf(mesh.faces[i].power / maxPower);
                threshold[i] = removalThreshold(keep[i], r);
                if (keep[i] < 1.0f) ++n;
            }
            removableFaces += n;
        });
        int32_t removable = removableFaces;
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

std::vector<Vec3> equalLineSeeds(const TriMesh& mesh, int32_t wanted, bool lift) {
    std::vector<Vec3> seeds;
    const int32_t faces = mesh.faceCount();
    if (wanted < 1 || wanted > faces) return seeds;
    const int32_t stride = faces / wanted;
    for (int32_t f = 0; f < faces; f += stride) seeds.push_back(faceSeed(mesh, f, ThirdRule::MultiplyByThird, lift));
    return seeds;
}

OldPowSeeds oldPowSeeds(const TriMesh& mesh, std::span<const float> values, std::span<const uint32_t> vertexFlags,
                        float minPotential, int32_t keep, bool lift, Random31& random) {
    assert(values.size() == mesh.vertices.size());
    assert(vertexFlags.empty() || vertexFlags.size() == mesh.vertices.size());
    OldPowSeeds out;
    std::vector<Vec3> points;
    std::vector<float> weights;
    float maxValue = -10000.0f;
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        if (!vertexFlags.empty() && (vertexFlags[i] & kDeletedFlag) != 0) continue;
        const float w = std::fabs(values[i]);
        if (!(minPotential < w)) continue;
        const MeshVertex& v = mesh.vertices[i];
        points.push_back(lift ? v.pos + v.normal : v.pos);
        weights.push_back(w);
        if (w > maxValue) maxValue = w;
    }
    const int32_t n = static_cast<int32_t>(points.size());
    out.candidates = n;

    // The candidates form a list that the cursor walks; removing the one under
    // the cursor and then stepping on passes over its successor, and the
    // cursor wraps to the first candidate past the end. A linked list over the
    // indices keeps each step O(1).
    std::vector<int32_t> next(static_cast<std::size_t>(n)), prev(static_cast<std::size_t>(n));
    std::vector<char> alive(static_cast<std::size_t>(n), 1);
    for (int32_t i = 0; i < n; ++i) {
        next[i] = i + 1 < n ? i + 1 : -1;
        prev[i] = i - 1;
    }
    int32_t head = n > 0 ? 0 : -1;
    int32_t size = n;
    const double mScaled = std::trunc(static_cast<double>(maxValue) * 10.0);
    const int64_t m = mScaled > 0 ? static_cast<int64_t>(std::min(mScaled, 4.0e18)) : 0;
    // r lies in 0 … min(m − 1, 2³¹ − 1), so a candidate whose a is not below
    // that largest draw is never removed.
    const double largestDraw = static_cast<double>(std::min<int64_t>(m - 1, 2147483647));
    int32_t removable = 0;
    for (float w : weights)
        if (static_cast<double>(w * 10.0f) < largestDraw) ++removable;
    int32_t cursor = head;
    while (keep < size && removable > 0) {
        const float a = weights[cursor] * 10.0f;
        const int64_t r = m > 0 ? random.rand31() % m : 0;
        int32_t after = next[cursor];
        if (static_cast<double>(r) > static_cast<double>(a)) {
            alive[cursor] = 0;
            --size;
            --removable;
            if (prev[cursor] >= 0) next[prev[cursor]] = next[cursor];
            else head = next[cursor];
            if (next[cursor] >= 0) prev[next[cursor]] = prev[cursor];
            after = after >= 0 ? next[after] : -1; // the successor took the cursor's place and is passed over
        }
        cursor = after >= 0 ? after : head;
    }
    if (keep < size) {
        // Nothing left that the draw could remove: keep the first candidates.
        out.keptFirst = true;
        int32_t kept = 0;
        for (int32_t i = 0; i < n; ++i)
            if (alive[i] && ++kept > keep) alive[i] = 0;
    }
    for (int32_t i = 0; i < n; ++i)
        if (alive[i]) out.seeds.push_back(points[i]);
    return out;
}

NewPowSeeds newPowSeeds(TriMesh& mesh, const PotentialGrid& grid, float density, bool lift, Random31& random) {
    NewPowSeeds out;
    out.cornersOutside = mapPotentialToMesh(grid, mesh, kViewerMapping).cornersOutside;
    const int32_t faces = mesh.faceCount();
    float total = 0.0f;
    for (MeshFace& face : mesh.faces) {
        total = total + face.power;
        face.seeded = false;
        if (face.power < out.minPower) out.minPower = face.power;
        if (face.power > out.maxPower) out.maxPower = face.power;
    }
    out.total = total;
    const double product = static_cast<double>(total * density);
    out.count = std::isnan(product) ? 0 : static_cast<int32_t>(std::clamp(product, -2147483648.0, 2147483647.0));

    // Random walk over the faces: a visited face is taken with a probability of
    // about (power − min) / (max − min), and the cursor then jumps by up to
    // half the face count.
    const double mScaled = std::trunc((static_cast<double>(out.maxPower) - out.minPower) * 1000.0);
    const int64_t m = mScaled > 0 ? static_cast<int64_t>(std::min(mScaled, 4.0e18)) : 0;
    const int32_t half = faces / 2;
    int32_t selected = 0;
    int32_t c = 0;
    // Faces close to the smallest power are almost never taken; a bound on the
    // visits keeps a count close to the face count from running for ever.
    const int64_t maxVisits = maxSeedingDraws(faces);
    int64_t visits = 0;
    while (selected < out.count && out.count < faces) {
        while (mesh.faces[c].seeded) c = c + 1 == faces ? 0 : c + 1;
        if (++visits > maxVisits) {
            out.boundReached = true;
            break;
        }
        const double a = std::trunc((static_cast<double>(mesh.faces[c].power) - out.minPower) * 1000.0);
        const int64_t r = m > 0 ? random.rand31() % m : 0;
        if (static_cast<double>(r) <= a) {
            mesh.faces[c].seeded = true;
            ++selected;
        }
        c += half > 0 ? random.rand31() % half : 0;
        if (c >= faces) c -= faces;
    }
    if (out.boundReached) {
        // Complete the selection with the strongest faces not taken yet.
        std::vector<int32_t> order(static_cast<std::size_t>(faces));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int32_t x, int32_t y) { return mesh.faces[x].power > mesh.faces[y].power; });
        for (int32_t f : order) {
            if (selected >= out.count) break;
            if (!mesh.faces[f].seeded) {
                mesh.faces[f].seeded = true;
                ++selected;
            }
        }
    }
    for (int32_t f = 0; f < faces; ++f)
        if (mesh.faces[f].seeded) out.seeds.push_back(faceSeed(mesh, f, ThirdRule::MultiplyByThird, lift));
    return out;
}

} // namespace quorax
