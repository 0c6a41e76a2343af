#include "tracing.h"

#include <algorithm>
#include <cmath>

#include "sampling.h"

namespace quorax {

float cosDegrees(float angle) {
    return static_cast<float>(std::cos(static_cast<double>(angle) * 3.14159265 / 180.0));
}

float stepMaxFor(const GradientGrid& grid) {
    const Vec3 d = grid.delta;
    const float s = 0.5f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return s > 0.75f ? 0.75f : s;
}

namespace {

// True when p lies in a usable cell: 2 … n−2 along every axis.
bool inUsableCell(const GradientGrid& g, Vec3 p) {
    const float q[3] = {(p.x - g.origin.x) / g.delta.x, (p.y - g.origin.y) / g.delta.y,
                        (p.z - g.origin.z) / g.delta.z};
    const int32_t n[3] = {g.nx, g.ny, g.nz};
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(q[a])) return false; // zero spacing or a point that is not finite
        const double cell = std::floor(static_cast<double>(q[a]));
        if (cell >= n[a] - 1 || cell <= 1) return false;
    }
    return true;
}

// True when the bend N2 → N1 → N0 exceeds the halt angle.
bool bendHalts(Vec3 n0, Vec3 n1, Vec3 n2, float cosHalt, ZeroSegmentRule rule) {
    float d;
    return unitDot(n1 - n2, n0 - n1, rule, d) && d < cosHalt;
}

} // namespace

void traceFieldLine(const GradientGrid& grid, Vec3 seed, float haltGradient, float haltAngle,
                    FieldLine& line, int32_t maxSteps, ZeroSegmentRule zeroSegments) {
    const float stepMax = stepMaxFor(grid);
    const bool angleTest = haltAngle != 90.0f;
    const float cosHalt = cosDegrees(haltAngle);
    const bool gradientTest = haltGradient > 0.0f;
    const bool usableGrid = grid.ready && grid.nx >= 2 && grid.ny >= 2 && grid.nz >= 2 &&
                            grid.vectors.size() == static_cast<std::size_t>(grid.nx) * grid.ny * grid.nz;

    // One step from p in direction d (±1); false when the direction ends
    // without a new point.
    auto step = [&](Vec3 p, float d, Vec3& q, float& strength) {
        if (!usableGrid || !inUsableCell(grid, p)) return false;
        Vec3 g = sampleGradient(grid, p);
        const float m = length(g);
        if (m > stepMax) g = normalize(g) * stepMax;
        g = g * d;
        strength = length(g);
        q = p + g;
        return true;
    };

    // Against the gradient: the points are collected seed first and reversed
    // at the end, which gives the same line as inserting each at the front.
    line.clear();
    line.push_back(seed);
    for (int32_t steps = 1; steps <= maxSteps; ++steps) {
        Vec3 q;
        float strength;
        if (!step(line.back(), -1.0f, q, strength)) break;
        line.push_back(q);
        const std::size_t n = line.size();
        bool going = true;
        if (angleTest && n >= 3 && bendHalts(line[n - 1], line[n - 2], line[n - 3], cosHalt, zeroSegments))
            going = false;
        if (gradientTest && strength < haltGradient) going = false;
        if (!going) break;
    }
    std::reverse(line.begin(), line.end());

    // Along the gradient.
    for (int32_t steps = 1; steps <= maxSteps; ++steps) {
        Vec3 q;
        float strength;
        if (!step(line.back(), 1.0f, q, strength)) break;
        line.push_back(q);
        const std::size_t n = line.size();
        bool going = true;
        if (angleTest && n >= 3 && bendHalts(line[n - 1], line[n - 2], line[n - 3], cosHalt, zeroSegments))
            going = false;
        if (gradientTest && strength < haltGradient) going = false;
        if (!going) break;
    }
}

} // namespace quorax
