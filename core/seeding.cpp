#include "seeding.h"

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

int32_t seedLines(TriMesh& mesh, std::vector<Vec3>& seeds, int32_t budget, uint32_t generatorSeed) {
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
        // whose keep is 1 or more (or not a number) is never removed.
        std::vector<float> keep(static_cast<std::size_t>(faces));
        int32_t removable = 0;
        for (int32_t i = 0; i < faces; ++i) {
            keep[i] = static_cast<float>(std::pow(mesh.faces[i].power / maxPower, 1.5));
            if (keep[i] < 1.0f) ++removable;
        }
        SeedRandom random(generatorSeed);
        int32_t cursor = 0;
        while (remaining > budget && removable > 0) {
            while (!mesh.faces[cursor].seeded) cursor = cursor + 1 == faces ? 0 : cursor + 1;
            const float r = static_cast<float>(random.next() / 32767.0);
            if (keep[cursor] < r) {
                mesh.faces[cursor].seeded = false;
                --remaining;
                --removable;
            }
            cursor = cursor + 1 == faces ? 0 : cursor + 1;
        }
        // Only faces that cannot be removed are left, and too many of them:
        // keep the first ones in face order.
        if (remaining > budget) {
            int32_t kept = 0;
            for (MeshFace& f : mesh.faces)
                if (f.seeded && ++kept > budget) f.seeded = false;
            remaining = budget;
        }
    }
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
    return remaining;
}

} // namespace quorax
