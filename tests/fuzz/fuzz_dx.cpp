// libFuzzer target: the OpenDX reader on arbitrary bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dx_reader.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorax;
    PotentialGrid grid;
    const ReadStatus r = readDxGrid(grid, std::string_view(reinterpret_cast<const char*>(data), size));
    fuzz::requirePrintable(readProblemText(r));
    for (const std::string& w : r.warnings) fuzz::requirePrintable(w);
    if (!r.ok()) {
        fuzz::require(r.kind == ReadKind::Malformed && !r.detail.empty() && !grid.loaded && grid.values.empty());
        return 0;
    }
    // A grid that was read is whole: every node has a finite value, every axis at least 2 nodes.
    fuzz::require(grid.loaded && grid.nx >= 2 && grid.ny >= 2 && grid.nz >= 2);
    fuzz::require(grid.values.size() == std::size_t(grid.nx) * std::size_t(grid.ny) * std::size_t(grid.nz));
    for (float v : grid.values) fuzz::require(std::isfinite(v) && v >= grid.minValue && v <= grid.maxValue);
    return 0;
}
