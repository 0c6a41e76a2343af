// Field lines traced with integrators of higher order on an unsmoothed field,
// optionally ending where they meet the molecular surface or come too close
// to lines already traced.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "field_line.h"
#include "grid.h"
#include "mesh.h"
#include "tracing.h"

namespace quorax {

class SurfaceIndex;
class SeparationGrid;

enum class Integrator {
    Euler, // fixed steps along the field's direction
    Rk4,   // classic fourth-order Runge–Kutta, fixed steps
    Rk45,  // Dormand–Prince 5(4), steps adapted to a tolerance
};

// Double-precision point or vector of the integrators.
struct DVec3 {
    double x = 0, y = 0, z = 0;
};

// The field a line follows: sets `g` to the gradient of the potential at `p`
// and returns true, or returns false where the field is not defined.
using FieldSampler = std::function<bool(const DVec3& p, DVec3& g)>;

// The trilinear sample of `grid` at p, defined inside the grid's box.
FieldSampler gridField(const GradientGrid& grid);

struct IntegrationSettings {
    Integrator method = Integrator::Rk4;
    double step = 0.1;        // step length (largest step for Rk45), in the model's units
    double tolerance = 1e-4;  // Rk45: largest position error per step
    double maxLength = 1000;  // longest arc per direction
    int32_t maxSteps = 100000; // most points per direction
    float haltGradient = 0.0f; // a field weaker than this ends the direction (off when ≤ 0)
    float haltAngle = 90.0f;   // a bend above this many degrees ends it (off at exactly 90)
};

// What a trace must not cross: the surface (a segment that crosses one of its
// faces ends the line at the crossing) and lines traced before (a point
// closer than the grid's distance to one of them ends the line).
struct TraceGuards {
    const SurfaceIndex* surface = nullptr;
    const SeparationGrid* separation = nullptr;
};

// Walks from points.back() along (Forward) or against (Backward) the unit
// field direction, appending one point per accepted step, and returns why it
// stopped: LeftGrid where the field is not defined, WeakField where it is
// weaker than haltGradient or zero, NonFinite, Bend, StepLimit (maxSteps or
// maxLength), Surface (the crossing point is the last point) or TooClose.
StopReason integrateDirection(const FieldSampler& field, const IntegrationSettings& settings,
                              const TraceGuards& guards, TraceDirection direction, std::vector<Vec3>& points);

// Both directions from `seed`, as traceFieldLine orders them: the backward
// points farthest first, the seed, the forward points.
void integrateFieldLine(const FieldSampler& field, const IntegrationSettings& settings, const TraceGuards& guards,
                        Vec3 seed, FieldLine& line);

// Settings for tracing on `field` with `method`: steps of half the smallest
// grid spacing, at most twice the grid box's diagonal per direction.
IntegrationSettings integrationFor(const GradientGrid& field, Integrator method);

// How a set of seeds is traced on the unsmoothed field.
struct SeedTracing {
    IntegrationSettings settings;
    bool stopAtSurface = false; // end lines where they meet `surface`
    float minSeparation = 0.0f; // > 0: keep lines this far apart
};

// Traces every seed in order on `field` (appending to `lines`). With a
// minimum separation, a seed closer than it to an earlier line is skipped
// and later lines stop where they come that close. Returns the indices of
// the seeds that were traced, one per line appended.
std::vector<std::size_t> integrateSeeds(const GradientGrid& field, const TriMesh& surface, const SeedTracing& how,
                                        const std::vector<Vec3>& seeds, std::vector<FieldLine>& lines);

} // namespace quorax
