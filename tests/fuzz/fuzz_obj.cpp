// libFuzzer target: the OBJ reader on arbitrary bytes, with the console's and the viewer's scanning rules.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "obj_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorax;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool textureLines : {false, true}) {
        TriMesh mesh;
        ObjReadOptions options;
        options.scanTextureLines = textureLines;
        const ObjReadResult r = readObjMesh(mesh, bytes, options);
        fuzz::require(mesh.loaded && r.skippedFaces >= 0);
        fuzz::requireValidFaces(mesh);
    }
    return 0;
}
