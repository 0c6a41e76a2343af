// libFuzzer target: the PLY reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "ply_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorax;
    TriMesh mesh;
    const ReadStatus r = readPlyMesh(mesh, std::string_view(reinterpret_cast<const char*>(data), size));
    // Either a surface with valid indices, or an empty mesh and a message without raw control bytes.
    fuzz::require(r.ok() == mesh.loaded && r.ok() == r.detail.empty());
    if (r.ok())
        fuzz::requireValidFaces(mesh);
    else
        fuzz::require(r.kind == ReadKind::Malformed && mesh.vertices.empty() && mesh.faces.empty());
    fuzz::requirePrintable(readProblemText(r));
    return 0;
}
