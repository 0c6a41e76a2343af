// The viewer's surface model: the core's triangle mesh plus the per-vertex
// and per-face fields the viewer keeps (deleted marks, colour, export index,
// two value slots) and a bounding box. Its normals are not normalised.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mesh.h"
#include "read_status.h"

namespace quorax {

// Bit 0 of a vertex's or face's flags (kDeletedFlag, in mesh.h) marks it
// deleted; every loop skips it.

struct ViewerVertexData {
    uint32_t flags = 0;
    std::array<uint8_t, 4> color = {255, 255, 255, 255};
    int32_t exportIndex = 0;    // 1-based running number (OBJ reader, OBJ export)
    float electrostatic = 0.0f; // first value slot, drawn as the surface colour
    float lipophilic = 0.0f;    // second value slot
};

struct ViewerMesh {
    // Positions, faces, face power and seeded marks, and the viewer's
    // unnormalised normals: face normal (p1 − p0) × (p2 − p0), vertex normal
    // the sum of the normals of its faces.
    TriMesh tri;
    std::vector<ViewerVertexData> vertexData; // parallel to tri.vertices
    std::vector<uint32_t> faceFlags;          // parallel to tri.faces
    Vec3 bboxMin = {1.0f, 1.0f, 1.0f};        // the empty box is min (1,1,1), max (−1,−1,−1)
    Vec3 bboxMax = {-1.0f, -1.0f, -1.0f};

    int32_t vertexCount() const { return tri.vertexCount(); }
    int32_t faceCount() const { return tri.faceCount(); }
    bool vertexDeleted(int32_t i) const { return (vertexData[i].flags & kDeletedFlag) != 0; }
    bool faceDeleted(int32_t i) const { return (faceFlags[i] & kDeletedFlag) != 0; }

    // Empties the model: no vertices, no faces, the empty bounding box.
    void clear();
    // Gives every vertex and face of `tri` its viewer fields: flags clear,
    // the given colour, export index 0, both value slots 0.
    void resetViewerFields(std::array<uint8_t, 4> color);
};

// The three derivations that follow every load, in this order: bounding box
// over the vertices not deleted (empty box when there are none); face normals
// (p1 − p0) × (p2 − p0) of the faces not deleted; vertex normals as the sum of
// the normals of their faces. None is normalised.
void deriveViewerMesh(ViewerMesh& mesh);

// Colour the OBJ reader gives every vertex.
constexpr std::array<uint8_t, 4> kObjVertexColor = {250, 210, 190, 255};

// Reads an OBJ surface into `mesh` with the viewer's scanning rules and runs
// the derivations. A file that cannot be read leaves an empty model. Returns
// the log line "OBJ ok: v <vertices> t <faces>"; `status` receives the
// outcome of the read, and `skippedFaces` the number of faces dropped because
// they name vertices that do not exist.
std::string loadObjViewerMesh(ViewerMesh& mesh, const std::string& path, ReadStatus& status,
                              int32_t* skippedFaces = nullptr);

// Colour the PLY reader gives every vertex.
constexpr std::array<uint8_t, 4> kPlyVertexColor = {255, 255, 255, 255};

// Reads the PLY surface at `path` into `mesh` with the core's PLY reader
// (readPlyMeshFile: encodings, fans, strips and refusals are described
// there), gives every vertex the colour kPlyVertexColor and runs the
// derivations. A file that cannot be read leaves an empty model (its bounding
// box the empty box); the viewer words the status as "cannot read PLY model
// \"<path>\": " followed by readProblemText.
ReadStatus loadPlyViewerMesh(ViewerMesh& mesh, const std::string& path);

} // namespace quorax
