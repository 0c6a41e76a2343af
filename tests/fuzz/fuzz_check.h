// What every fuzz target checks beyond "no crash": the promises the readers make about what they hand back.
#pragma once

#include <cstdlib>
#include <string_view>

#include "mesh.h"

namespace quorax::fuzz {

// Aborts (a crash for libFuzzer) when `ok` is false.
inline void require(bool ok) {
    if (!ok) std::abort();
}

// Every face corner names an existing vertex.
inline void requireValidFaces(const TriMesh& mesh) {
    for (const MeshFace& f : mesh.faces)
        for (int32_t v : f.v) require(v >= 0 && v < mesh.vertexCount());
}

// A message shows no control byte from the file (they are escaped).
inline void requirePrintable(std::string_view message) {
    for (char c : message) require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

} // namespace quorax::fuzz
