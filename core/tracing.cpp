#include "tracing.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "parallel.h"
#include "sampling.h"

namespace quorax {

float cosDegrees(float angle) {
    return static_cast<float>(std::cos(static_cast<double>(angle) * 3.14159265 / 180.0));
}

const char* stopReasonName(StopReason reason) {
    switch (reason) {
    case StopReason::None: return "none";
    case StopReason::LeftGrid: return "left grid";
    case StopReason::StepLimit: return "step limit";
    case StopReason::Bend: return "bend";
    case StopReason::WeakField: return "weak field";
    case StopReason::NonFinite: return "non-finite";
    case StopReason::Surface: return "surface";
    case StopReason::TooClose: return "too close";
    }
    return "none";
}

float stepMaxFor(const GradientGrid& grid) {
    const Vec3 d = grid.delta;
    const float s = 0.5f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return s > 0.75f ? 0.75f : s;
}

namespace {

// True when the grid has vectors for every node and at least one cell per axis.
bool isUsableGrid(const GradientGrid& g) {
    return g.ready && g.nx >= 2 && g.ny >= 2 && g.nz >= 2 &&
           g.vectors.size() == static_cast<std::size_t>(g.nx) * g.ny * g.nz;
}

// True when the finite point p lies in a usable cell: 2 … n−2 along every axis.
bool inUsableCell(const GradientGrid& g, Vec3 p) {
    const float q[3] = {(p.x - g.origin.x) / g.delta.x, (p.y - g.origin.y) / g.delta.y,
                        (p.z - g.origin.z) / g.delta.z};
    const int32_t n[3] = {g.nx, g.ny, g.nz};
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(q[a])) return false; // zero spacing
        // The cell floor(q) lies in 2 … n − 2 exactly when 2 ≤ q < n − 1.
        if (!(q[a] >= 2.0f && static_cast<double>(q[a]) < n[a] - 1)) return false;
    }
    return true;
}

// True when the bend N2 → N1 → N0 exceeds the halt angle.
bool bendHalts(Vec3 n0, Vec3 n1, Vec3 n2, float cosHalt, ZeroSegmentRule rule) {
    float d;
    return unitDot(n1 - n2, n0 - n1, rule, d) && d < cosHalt;
}

} // namespace

StopReason traceDirection(const GradientGrid& grid, const TraceSettings& settings, TraceDirection direction,
                          std::vector<Vec3>& points) {
    assert(!points.empty());
    if (!isUsableGrid(grid)) return StopReason::LeftGrid;
    const float stepMax = stepMaxFor(grid);
    const float sign = direction == TraceDirection::Forward ? 1.0f : -1.0f;
    const bool angleTest = settings.haltAngle != 90.0f;
    const float cosHalt = cosDegrees(settings.haltAngle);
    const bool gradientTest = settings.haltGradient > 0.0f;
    for (int32_t steps = 1; steps <= settings.maxSteps; ++steps) {
        const Vec3 p = points.back();
        if (!isFinite(p)) return StopReason::NonFinite;
        if (!inUsableCell(grid, p)) return StopReason::LeftGrid;
        // The gradient capped at stepMax, turned for the direction.
        Vec3 g = sampleGradient(grid, p);
        if (length(g) > stepMax) g = normalize(g) * stepMax;
        g = g * sign;
        points.push_back(p + g);
        const std::size_t n = points.size();
        if (angleTest && n >= 3 &&
            bendHalts(points[n - 1], points[n - 2], points[n - 3], cosHalt, settings.zeroSegments))
            return StopReason::Bend;
        if (gradientTest && length(g) < settings.haltGradient) return StopReason::WeakField;
    }
    return StopReason::StepLimit;
}

void traceFieldLine(const GradientGrid& grid, Vec3 seed, const TraceSettings& settings, FieldLine& line) {
    // Against the gradient: the points are collected seed first and reversed,
    // which gives the same line as inserting each at the front.
    line.points.clear();
    line.points.push_back(seed);
    line.backward = traceDirection(grid, settings, TraceDirection::Backward, line.points);
    std::reverse(line.points.begin(), line.points.end());
    line.forward = traceDirection(grid, settings, TraceDirection::Forward, line.points);
}

void traceFieldLine(const GradientGrid& grid, Vec3 seed, float haltGradient, float haltAngle,
                    FieldLine& line, int32_t maxSteps, ZeroSegmentRule zeroSegments) {
    TraceSettings s;
    s.haltGradient = haltGradient;
    s.haltAngle = haltAngle;
    s.maxSteps = maxSteps;
    s.zeroSegments = zeroSegments;
    traceFieldLine(grid, seed, s, line);
}

void traceSeeds(const GradientGrid& grid, const std::vector<Vec3>& seeds, const TraceSettings& settings,
                std::vector<FieldLine>& lines) {
    // Every seed's line is independent of the others: they are traced in
    // parallel, each into its own place in seed order.
    // A line is traced into scratch memory that grows as needed and then
    // copied into a vector of its exact size: many long lines take no more
    // memory than their points.
    const std::size_t first = lines.size();
    lines.resize(first + seeds.size());
    parallelRanges(seeds.size(), 16, [&](std::size_t begin, std::size_t end) {
        FieldLine scratch;
        for (std::size_t i = begin; i < end; ++i) {
            traceFieldLine(grid, seeds[i], settings, scratch);
            FieldLine& line = lines[first + i];
            line.points.assign(scratch.points.begin(), scratch.points.end());
            line.backward = scratch.backward;
            line.forward = scratch.forward;
        }
    });
}

} // namespace quorax
