#include "integrate.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "sampling.h"
#include "separation.h"
#include "surface_index.h"

namespace quorax {
namespace {

DVec3 operator+(DVec3 a, DVec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
DVec3 operator-(DVec3 a, DVec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
DVec3 operator*(double s, DVec3 a) { return {s * a.x, s * a.y, s * a.z}; }
double norm(DVec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
DVec3 toD(Vec3 v) { return {v.x, v.y, v.z}; }
Vec3 toF(DVec3 v) { return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)}; }

// The unit direction of the field times `sign`, or why there is none.
struct Direction {
    const FieldSampler& field;
    double sign;
    float haltGradient;
    StopReason why = StopReason::None;

    bool operator()(const DVec3& p, DVec3& d) {
        DVec3 g;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            why = StopReason::NonFinite;
            return false;
        }
        if (!field(p, g)) {
            why = StopReason::LeftGrid;
            return false;
        }
        const double m = norm(g);
        if (!std::isfinite(m)) {
            why = StopReason::NonFinite;
            return false;
        }
        if (m == 0.0 || (haltGradient > 0.0f && m < haltGradient)) {
            why = StopReason::WeakField;
            return false;
        }
        d = (sign / m) * g;
        return true;
    }
};

// One classic Runge–Kutta step of length h.
bool rk4Step(Direction& f, const DVec3& p, double h, DVec3& next) {
    DVec3 k1, k2, k3, k4;
    if (!f(p, k1) || !f(p + (h / 2) * k1, k2) || !f(p + (h / 2) * k2, k3) || !f(p + h * k3, k4)) return false;
    next = p + (h / 6) * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
    return true;
}

// One Dormand–Prince step of length h: the fifth-order point and the
// distance to the embedded fourth-order one.
bool dopriStep(Direction& f, const DVec3& p, double h, DVec3& next, double& error) {
    DVec3 k1, k2, k3, k4, k5, k6, k7;
    if (!f(p, k1)) return false;
    if (!f(p + h * ((1.0 / 5) * k1), k2)) return false;
    if (!f(p + h * ((3.0 / 40) * k1 + (9.0 / 40) * k2), k3)) return false;
    if (!f(p + h * ((44.0 / 45) * k1 + (-56.0 / 15) * k2 + (32.0 / 9) * k3), k4)) return false;
    if (!f(p + h * ((19372.0 / 6561) * k1 + (-25360.0 / 2187) * k2 + (64448.0 / 6561) * k3 +
                    (-212.0 / 729) * k4),
           k5))
        return false;
    if (!f(p + h * ((9017.0 / 3168) * k1 + (-355.0 / 33) * k2 + (46732.0 / 5247) * k3 + (49.0 / 176) * k4 +
                    (-5103.0 / 18656) * k5),
           k6))
        return false;
    const DVec3 fifth = p + h * ((35.0 / 384) * k1 + (500.0 / 1113) * k3 + (125.0 / 192) * k4 +
                                 (-2187.0 / 6784) * k5 + (11.0 / 84) * k6);
    if (!f(fifth, k7)) return false;
    const DVec3 fourth = p + h * ((5179.0 / 57600) * k1 + (7571.0 / 16695) * k3 + (393.0 / 640) * k4 +
                                  (-92097.0 / 339200) * k5 + (187.0 / 2100) * k6 + (1.0 / 40) * k7);
    next = fifth;
    error = norm(fifth - fourth);
    return true;
}

bool bends(const std::vector<Vec3>& pts, float cosHalt) {
    const std::size_t n = pts.size();
    float d;
    return n >= 3 && unitDot(pts[n - 2] - pts[n - 3], pts[n - 1] - pts[n - 2], ZeroSegmentRule::NeverJudged, d) &&
           d < cosHalt;
}

} // namespace

FieldSampler gridField(const GradientGrid& grid) {
    return [&grid](const DVec3& p, DVec3& g) {
        if (!grid.ready || grid.nx < 2 || grid.ny < 2 || grid.nz < 2) return false;
        const Vec3 q = toF(p);
        const float c[3] = {(q.x - grid.origin.x) / grid.delta.x, (q.y - grid.origin.y) / grid.delta.y,
                            (q.z - grid.origin.z) / grid.delta.z};
        const int32_t n[3] = {grid.nx, grid.ny, grid.nz};
        for (int a = 0; a < 3; ++a)
            if (!(c[a] >= 0.0f && c[a] < static_cast<float>(n[a] - 1))) return false;
        g = toD(sampleGradient(grid, q));
        return true;
    };
}

StopReason integrateDirection(const FieldSampler& field, const IntegrationSettings& s, const TraceGuards& guards,
                              TraceDirection direction, std::vector<Vec3>& points) {
    Direction f{field, direction == TraceDirection::Forward ? 1.0 : -1.0, s.haltGradient};
    const bool angleTest = s.haltAngle != 90.0f;
    const float cosHalt = cosDegrees(s.haltAngle);
    DVec3 p = toD(points.back());
    double h = s.step, travelled = 0;
    for (int32_t steps = 0;; ++steps) {
        if (steps >= s.maxSteps || travelled >= s.maxLength) return StopReason::StepLimit;
        DVec3 next;
        bool ok = false;
        switch (s.method) {
        case Integrator::Euler: {
            DVec3 d;
            ok = f(p, d);
            next = p + h * d;
            break;
        }
        case Integrator::Rk4: ok = rk4Step(f, p, h, next); break;
        case Integrator::Rk45: {
            // Shrinks the step until its error is within the tolerance.
            for (int tries = 0; tries < 60; ++tries) {
                double error = 0;
                ok = dopriStep(f, p, h, next, error);
                if (!ok) break;
                const double scale = error > 0 ? 0.9 * std::pow(s.tolerance / error, 0.2) : 5.0;
                if (error <= s.tolerance || h <= s.step * 1e-6) {
                    h = std::min(s.step, h * std::min(5.0, std::max(0.2, scale))); // the next step's length
                    break;
                }
                h *= std::max(0.2, scale);
            }
            break;
        }
        }
        if (!ok) return f.why == StopReason::None ? StopReason::LeftGrid : f.why;
        const Vec3 a = points.back(), b = toF(next);
        if (!isFinite(b)) return StopReason::NonFinite;
        if (guards.surface) {
            Vec3 hit;
            if (guards.surface->firstCrossing(a, b, hit)) {
                points.push_back(hit);
                return StopReason::Surface;
            }
        }
        if (guards.separation && guards.separation->near(b)) return StopReason::TooClose;
        travelled += norm(next - p);
        p = next;
        points.push_back(b);
        if (angleTest && bends(points, cosHalt)) return StopReason::Bend;
    }
}

void integrateFieldLine(const FieldSampler& field, const IntegrationSettings& settings, const TraceGuards& guards,
                        Vec3 seed, FieldLine& line) {
    line.points.assign(1, seed);
    line.backward = integrateDirection(field, settings, guards, TraceDirection::Backward, line.points);
    std::reverse(line.points.begin(), line.points.end());
    line.forward = integrateDirection(field, settings, guards, TraceDirection::Forward, line.points);
}

IntegrationSettings integrationFor(const GradientGrid& field, Integrator method) {
    IntegrationSettings s;
    s.method = method;
    const Vec3 d = field.delta;
    s.step = 0.5 * std::min({d.x, d.y, d.z});
    const double box[3] = {static_cast<double>(d.x) * field.nx, static_cast<double>(d.y) * field.ny,
                           static_cast<double>(d.z) * field.nz};
    s.maxLength = 2.0 * std::sqrt(box[0] * box[0] + box[1] * box[1] + box[2] * box[2]);
    return s;
}

std::vector<std::size_t> integrateSeeds(const GradientGrid& field, const TriMesh& surface, const SeedTracing& how,
                                        const std::vector<Vec3>& seeds, std::vector<FieldLine>& lines) {
    std::optional<SurfaceIndex> index;
    if (how.stopAtSurface) index.emplace(surface);
    std::optional<SeparationGrid> apart;
    if (how.minSeparation > 0.0f) apart.emplace(how.minSeparation);
    const TraceGuards guards{index ? &*index : nullptr, apart ? &*apart : nullptr};
    const FieldSampler sampler = gridField(field);
    std::vector<std::size_t> traced;
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        if (apart && apart->near(seeds[i])) continue;
        lines.emplace_back();
        integrateFieldLine(sampler, how.settings, guards, seeds[i], lines.back());
        if (apart) apart->add(lines.back().points);
        traced.push_back(i);
    }
    return traced;
}

} // namespace quorax
