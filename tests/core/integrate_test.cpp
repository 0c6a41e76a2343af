// Faithful field lines on fields whose lines are known exactly: point charges on the z axis, along whose field lines ψ
// = Σ qᵢ·cos θᵢ stays constant (θᵢ the angle at charge i between the axis and the point).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

#include "flux_seeding.h"
#include "gradient.h"
#include "grids.h"
#include "integrate.h"
#include "isosurface.h"
#include "separation.h"
#include "surface_index.h"

using namespace quorax;

namespace {

struct Charge {
    double z, q;
};

double potentialAt(const std::vector<Charge>& charges, double x, double y, double z) {
    double v = 0;
    for (const Charge& c : charges) v += c.q / std::sqrt(x * x + y * y + (z - c.z) * (z - c.z));
    return v;
}

// ψ, constant along every field line of charges on the z axis.
double psi(const std::vector<Charge>& charges, Vec3 p) {
    double s = 0;
    for (const Charge& c : charges) {
        const double dz = p.z - c.z, r = std::sqrt(double(p.x) * p.x + double(p.y) * p.y + dz * dz);
        s += c.q * dz / r;
    }
    return s;
}

// The exact gradient, for the integrator's own order of accuracy.
FieldSampler exactField(const std::vector<Charge>& charges) {
    return [charges](const DVec3& p, DVec3& g) {
        g = {};
        for (const Charge& c : charges) {
            const double dz = p.z - c.z, r2 = p.x * p.x + p.y * p.y + dz * dz, r3 = r2 * std::sqrt(r2);
            if (r2 < 0.25) return false;
            g.x -= c.q * p.x / r3;
            g.y -= c.q * p.y / r3;
            g.z -= c.q * dz / r3;
        }
        return true;
    };
}

// The potential of the charges on a grid of spacing h over [−half, half]³.
PotentialGrid chargeGrid(const std::vector<Charge>& charges, float h, float half) {
    return test::potential(static_cast<int>(std::lround(2 * half / h)) + 1, h, {-half, -half, -half},
                           [&](Vec3 p) { return static_cast<float>(potentialAt(charges, p.x, p.y, p.z)); });
}

// Spheres of radius 1.5 around (0, 0, ±3.0625), wound outwards: the level surface of the distance to the nearer
// centre; a face of the first sphere lies at z < 0.
TriMesh twoSpheres() {
    TriMesh m = extractIsosurface(test::potential(49, 49, 97, {-3, -3, -6}, {0.125f, 0.125f, 0.125f}, [](Vec3 p) {
        return std::sqrt(p.x * p.x + p.y * p.y + std::pow(std::fabs(p.z) - 3.0625f, 2.0f));
    }), 1.5f);
    computeFaceNormals(m);
    return m;
}
bool onFirst(const TriMesh& m, const FluxSeed& s) { return m.vertices[m.faces[s.face].v[0]].pos.z < 0; }

// Largest |ψ(p) − ψ(first point)| over each line.
std::vector<double> drifts(const std::vector<Charge>& charges, const std::vector<FieldLine>& lines) {
    std::vector<double> out;
    for (const FieldLine& l : lines) {
        const double start = psi(charges, l.points.front());
        double worst = 0;
        for (const Vec3& p : l.points) worst = std::max(worst, std::fabs(psi(charges, p) - start));
        out.push_back(worst);
    }
    return out;
}

double mean(const std::vector<double>& v) {
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

} // namespace

// The integrators' own accuracy on the exact field of a dipole: rk4's ψ error falls about sixteen-fold when the step
// halves (at least eight-fold), and rk45 keeps it near its tolerance with fewer steps.
TEST(Integrate, OrderOfAccuracyOnTheExactField) {
    const std::vector<Charge> dipole = {{-3, 1}, {3, -1}};
    const FieldSampler field = exactField(dipole);
    std::vector<Vec3> seeds;
    for (int a = 1; a < 8; ++a) {
        const double th = a * 0.35;
        seeds.push_back({static_cast<float>(1.2 * std::sin(th)), 0.0f, static_cast<float>(-3 + 1.2 * std::cos(th))});
    }
    auto driftFor = [&](Integrator method, double step, std::size_t* points = nullptr) {
        const IntegrationSettings s{.method = method, .step = step, .tolerance = 1e-6, .maxLength = 8};
        std::vector<FieldLine> lines;
        for (Vec3 seed : seeds) {
            FieldLine l;
            integrateFieldLine(field, s, {}, seed, l);
            if (points) *points += l.size();
            lines.push_back(l);
        }
        const std::vector<double> d = drifts(dipole, lines);
        return *std::max_element(d.begin(), d.end());
    };
    const double coarse = driftFor(Integrator::Rk4, 0.4), fine = driftFor(Integrator::Rk4, 0.2);
    EXPECT_GT(coarse, 1e-6); // measurable above float rounding
    EXPECT_GE(coarse / fine, 8.0) << "coarse " << coarse << " fine " << fine;
    EXPECT_GT(driftFor(Integrator::Euler, 0.1), 10 * driftFor(Integrator::Rk4, 0.1));
    std::size_t rk45Points = 0, rk4Points = 0;
    EXPECT_LT(driftFor(Integrator::Rk45, 0.4, &rk45Points), 1e-4);
    driftFor(Integrator::Rk4, 0.05, &rk4Points);
    EXPECT_LT(rk45Points, rk4Points);
}

// On a 0.25 Å grid of two opposite charges, rk4 with step 0.1 drifts at most
// 0.01 in ψ on average and 0.03 at worst, and lines that reach the other sphere end on it.
TEST(Integrate, DipoleOnAGridStaysOnItsFieldLines) {
    const std::vector<Charge> dipole = {{-3.0625, 1}, {3.0625, -1}};
    const PotentialGrid potential = chargeGrid(dipole, 0.25f, 8.0f);
    GradientGrid field;
    computeCentralGradient(field, potential);
    const TriMesh spheres = twoSpheres();
    const SurfaceIndex surface(spheres);
    const FluxSeeding seeding = fluxSeeds(spheres, field, 20.0 / (4 * M_PI), 7);
    ASSERT_GE(seeding.seeds.size(), 30u);
    const IntegrationSettings s{.step = 0.1, .maxLength = 60};
    std::vector<FieldLine> lines;
    int endsOnSurface = 0;
    for (const FluxSeed& seed : seeding.seeds) {
        FieldLine l;
        integrateFieldLine(gridField(field), s, {&surface, nullptr}, seed.position, l);
        for (StopReason r : {l.backward, l.forward}) {
            EXPECT_TRUE(r == StopReason::Surface || r == StopReason::LeftGrid) << stopReasonName(r);
            endsOnSurface += r == StopReason::Surface;
        }
        lines.push_back(l);
    }
    EXPECT_GE(endsOnSurface, static_cast<int>(lines.size())); // every seed's inward end at least
    const std::vector<double> d = drifts(dipole, lines);
    EXPECT_LE(mean(d), 0.01);
    EXPECT_LE(*std::max_element(d.begin(), d.end()), 0.03);
}

// Charges +2 and −1: Gauss's law gives the spheres around them flux in the
// ratio 2 : 1, and flux seeding gives them lines in that ratio.
TEST(Integrate, FluxSeedingFollowsGauss) {
    const std::vector<Charge> pair = {{-3.0625, 2}, {3.0625, -1}};
    GradientGrid field;
    computeCentralGradient(field, chargeGrid(pair, 0.25f, 8.0f));
    const TriMesh spheres = twoSpheres();
    const FluxSeeding seeding = fluxSeeds(spheres, field, 300.0 / (12 * M_PI), 11);
    const auto onPlusTwo = std::count_if(seeding.seeds.begin(), seeding.seeds.end(),
                                         [&](const FluxSeed& s) { return onFirst(spheres, s); });
    const double ratio = static_cast<double>(onPlusTwo) / static_cast<double>(seeding.seeds.size() - onPlusTwo);
    EXPECT_NEAR(ratio, 2.0, 0.2) << seeding.seeds.size() << " seeds";
    EXPECT_NEAR(seeding.totalFlux, 4 * M_PI * 3, 4 * M_PI * 3 * 0.1);
}

// Lines kept apart: no point of one line comes closer than the distance to a
// point of an earlier one, and a seed inside that distance traces nothing.
TEST(Integrate, MinimumSeparationKeepsLinesApart) {
    const std::vector<Charge> single = {{0.0625, 1}};
    GradientGrid radial;
    computeCentralGradient(radial, chargeGrid(single, 0.25f, 6.0f));
    SeparationGrid apart(0.5f);
    const IntegrationSettings s{.step = 0.1};
    std::vector<FieldLine> kept;
    for (int a = 0; a < 40; ++a) {
        const Vec3 seed{1.5f * std::cos(a * 0.05f), 1.5f * std::sin(a * 0.05f), 0.0625f};
        if (apart.near(seed)) continue;
        FieldLine l;
        integrateFieldLine(gridField(radial), s, {nullptr, &apart}, seed, l);
        apart.add(l.points);
        kept.push_back(l);
    }
    EXPECT_GT(kept.size(), 2u);
    EXPECT_LT(kept.size(), 40u);
    for (std::size_t i = 0; i < kept.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            for (const Vec3& p : kept[i].points)
                for (const Vec3& q : kept[j].points) ASSERT_GE(length(p - q), 0.5f);
}
