// PLY surface reader for the viewer's model: ASCII, binary little-endian and
// binary big-endian files.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "viewer_mesh.h"

namespace quorax {

// Colour the PLY reader gives every vertex.
constexpr std::array<uint8_t, 4> kPlyVertexColor = {255, 255, 255, 255};

// Reads the PLY surface at `path` into `mesh` (replacing it), gives every
// vertex the colour kPlyVertexColor and runs deriveViewerMesh.
//
// Used from the file: per vertex the properties x, y, z of the element
// "vertex" (any numeric type, stored as float); per face the integer list
// "vertex_indices" (or "vertex_index") of the element "face"; per strip the
// integer list "vertex_indices" of the element "tristrips". Every other
// property and element (colours, normals, quality, flags, texture
// coordinates, "camera", ...) is read past and ignored. Vertices and faces
// keep file order, triangles follow the elements in header order; nothing is
// welded or dropped. Data after the last declared element is ignored.
//  - A face of n > 3 corners becomes the fan (c0,c1,c2), (c0,c2,c3), ...,
//    (c0,c[n-2],c[n-1]); a face of fewer than 3 corners is refused.
//  - A strip gives one triangle per window of three indices; every second
//    window is flipped, (b,a,c) instead of (a,b,c), so all its triangles keep
//    the orientation of the first. An index -1 ends the strip and a new one
//    starts after it. Windows that repeat an index (the zero-area triangles
//    used to stitch strips together) are skipped; they still count for the
//    flipping.
//
// Returns true on success. On failure returns false, leaves `mesh` empty
// (the derivations run on the empty model, so the bounding box is the empty
// box) and sets `error` to the problem, worded to follow
// "cannot read PLY model \"<path>\": ", e.g. "No such file or directory",
// "line 14: face 3 names vertex 9, but the file has 8 vertices" (ASCII data
// errors carry their line) or "the file ends inside element vertex, after 2
// of its 4 items". Refused: a malformed header, an index outside the
// vertices, a file shorter than its header declares, a face or strip list
// that is not a list of integers, a missing or second vertex element.
bool loadPlyViewerMesh(ViewerMesh& mesh, const std::string& path, std::string& error);

} // namespace quorax
