// Atoms of a PQR structure (positions, charges, radii) and the regular grid
// that an electrostatics solver is asked to cover them with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "read_status.h"

namespace quorax {

struct Atom {
    std::array<double, 3> pos{}; // Å
    double charge = 0.0;         // e
    double radius = 0.0;         // Å
};


// Reads the ATOM and HETATM records of a PQR text into `atoms` (replacing
// them). As APBS reads them, the fields are separated by white space and the
// last five of a record are x, y, z, charge and radius; every other line is
// ignored. A record with fewer than five numbers there, a value that is not a
// finite number, a negative radius, or a text without any record is refused
// with the line and the problem, and `atoms` is left unchanged.
ReadStatus readPqrAtoms(std::string_view bytes, std::vector<Atom>& atoms);

// A cubic-cell grid centred on a molecule, as APBS's focusing multigrid
// solver takes it: `nodes` per axis of the form 32·c + 1 (what its default
// four multigrid levels need), `spacing` exactly as asked, so the fine grid
// spans (nodes − 1)·spacing and reaches at least `margin` beyond every atom's
// sphere on both sides. The coarse grid, which only supplies boundary values
// to the fine one, spans 1.7 times the molecule or 1.5 times the fine grid,
// whichever is longer.
struct GridPlan {
    std::array<int32_t, 3> nodes{};
    double spacing = 0.0;
    std::array<double, 3> centre{};       // middle of the atoms' spheres, Å
    std::array<double, 3> extent{};       // size of the atoms' spheres' box, Å
    std::array<double, 3> fineLength{};   // (nodes − 1)·spacing
    std::array<double, 3> coarseLength{};
};

// Plans the grid for `atoms` (not empty) with a positive `spacing` and a
// non-negative `margin`, both in Å.
GridPlan planGrid(const std::vector<Atom>& atoms, double spacing, double margin);

} // namespace quorax
