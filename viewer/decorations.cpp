#include "decorations.h"

#include "writers.h"

namespace quorax {

void placeDecorations(const std::vector<FieldLine>& lines, float skipSize, float pyrSize, float skipRand,
                      ViewerRandom& random, std::vector<Vec3>& positions, std::vector<Vec3>& directions,
                      std::vector<float>& sizes) {
    double skip = skipSize; // carries over from line to line
    for (const FieldLine& line : lines) {
        if (line.size() < 2) continue;
        float acc = 0.0f;
        bool placing = false;
        Vec3 start;
        Vec3 prev = line.back();
        for (std::size_t j = line.size() - 1; j-- > 0;) {
            const Vec3 cur = line[j];
            acc += length(prev - cur);
            if (!placing) {
                if (acc >= skip) {
                    placing = true;
                    acc = 0.0f;
                    start = cur;
                    const int r = random.rand31() % 2000;
                    skip = skipSize * (1.0 + skipRand * 0.001 * (r - 1000));
                }
            } else if (acc >= pyrSize) {
                positions.push_back(start);
                directions.push_back(normalize(cur - start));
                sizes.push_back(pyrSize);
                placing = false;
                acc = 0.0f;
            }
            prev = cur;
        }
    }
}

Pyramid pyramidGeometry(Vec3 b, Vec3 direction, float s) {
    const Vec3 d = normalize(direction);
    const Vec3 u = normalize(cross(Vec3{0.0f, 1.0f, 0.0f}, d));
    const Vec3 w = normalize(cross(u, d));
    const float h = s < 2.0f ? s * 0.25f : 0.5f;
    const Vec3 up = b + h * u, um = b - h * u, wp = b + h * w, wm = b - h * w, t = b + s * d;
    Pyramid p;
    p.corners = {wp, up, t, um, wp, t, up, wm, t, wm, um, t, up, wp, wm, um, wm, wp};
    p.normals = {normalize(u + w), normalize(w - u), normalize(u - w), normalize((-1.0f) * u - w),
                 normalize((-1.0f) * d)};
    return p;
}

std::string formatDecorationObj(const std::vector<Vec3>& positions, const std::vector<Vec3>& directions,
                                const std::vector<float>& sizes) {
    std::string out;
    int n = 1;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const Pyramid p = pyramidGeometry(positions[k], directions[k], sizes[k]);
        for (int t = 0; t < 6; ++t) {
            for (int c = 0; c < 3; ++c) appendVertexLine(out, "v", p.corners[static_cast<std::size_t>(3 * t + c)]);
            out += "f " + std::to_string(n) + " " + std::to_string(n + 1) + " " + std::to_string(n + 2) + "\n";
            n += 3;
        }
    }
    return out;
}

} // namespace quorax
