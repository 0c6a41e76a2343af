// libFuzzer target: the PLY reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "ply_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorax;
    TriMesh mesh;
    std::string error;
    const bool ok = readPlyMesh(mesh, std::string_view(reinterpret_cast<const char*>(data), size), error);
    // Either a surface with valid indices, or an empty mesh and a message without raw control bytes.
    fuzz::require(ok == mesh.loaded && ok == error.empty());
    if (ok) fuzz::requireValidFaces(mesh);
    else fuzz::require(mesh.vertices.empty() && mesh.faces.empty());
    fuzz::requirePrintable(error);
    return 0;
}
