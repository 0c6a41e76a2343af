#include "structure.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "number_scan.h"

namespace quorax {

namespace {

// Blank-separated fields of one line.
std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t p = 0;
    while (p < line.size()) {
        while (p < line.size() && isCSpace(line[p])) ++p;
        const std::size_t start = p;
        while (p < line.size() && !isCSpace(line[p])) ++p;
        if (p > start) fields.push_back(line.substr(start, p - start));
    }
    return fields;
}

bool parseFinite(std::string_view text, double& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(value);
}

// Smallest 32·c + 1 (c ≥ 1) that is at least `needed`.
int32_t multigridCount(double needed) {
    const double c = std::max(1.0, std::ceil((needed - 1.0) / 32.0));
    return static_cast<int32_t>(c) * 32 + 1;
}

} // namespace

ReadStatus readPqrAtoms(std::string_view bytes, std::vector<Atom>& atoms) {
    static const char* const kNames[5] = {"x", "y", "z", "charge", "radius"};
    std::vector<Atom> read;
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t end = std::min(bytes.find('\n', pos), bytes.size());
        const std::string_view line = bytes.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.starts_with("ATOM") && !line.starts_with("HETATM")) continue;
        const std::vector<std::string_view> f = splitFields(line);
        const int at = static_cast<int>(lineNo);
        if (f.size() < 6) return ReadStatus::malformed(at, "atom record with fewer than five numbers (x y z charge radius)");
        double v[5];
        for (int n = 0; n < 5; ++n) {
            const std::string_view text = f[f.size() - 5 + n];
            if (!parseFinite(text, v[n]))
                return ReadStatus::malformed(at, std::string("atom ") + kNames[n] + " \"" + printableBytes(text) +
                                                     "\" is not a number");
        }
        if (v[4] < 0.0) return ReadStatus::malformed(at, "negative atom radius " + printableBytes(f.back()));
        read.push_back({{v[0], v[1], v[2]}, v[3], v[4]});
    }
    if (read.empty()) return ReadStatus::malformed(0, "no ATOM or HETATM records");
    atoms = std::move(read);
    return {};
}

GridPlan planGrid(const std::vector<Atom>& atoms, double spacing, double margin) {
    GridPlan plan;
    plan.spacing = spacing;
    if (atoms.empty() || !(spacing > 0.0)) return plan;
    std::array<double, 3> lo, hi;
    for (int a = 0; a < 3; ++a) {
        lo[a] = atoms.front().pos[a] - atoms.front().radius;
        hi[a] = atoms.front().pos[a] + atoms.front().radius;
    }
    // The box of every atom's sphere.
    for (const Atom& atom : atoms)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], atom.pos[a] - atom.radius);
            hi[a] = std::max(hi[a], atom.pos[a] + atom.radius);
        }
    for (int a = 0; a < 3; ++a) {
        plan.centre[a] = 0.5 * (lo[a] + hi[a]);
        plan.extent[a] = hi[a] - lo[a];
        plan.nodes[a] = multigridCount((plan.extent[a] + 2.0 * margin) / spacing + 1.0);
        plan.fineLength[a] = (plan.nodes[a] - 1) * spacing;
        plan.coarseLength[a] = std::max(1.7 * plan.extent[a], 1.5 * plan.fineLength[a]);
    }
    return plan;
}

} // namespace quorax
