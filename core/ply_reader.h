// PLY surface reader: ASCII, binary little-endian and binary big-endian files,
// read over the file's bytes.
#pragma once

#include <string>
#include <string_view>

#include "mesh.h"
#include "read_status.h"

namespace quorax {

// Reads the PLY surface in `bytes` into `mesh` (replacing it) and sets
// `loaded`. A UTF-8 byte order mark before "ply" is skipped.
//
// Used from the file: per vertex the properties x, y, z of the element
// "vertex" (any numeric type, stored as float); per face the integer list
// "vertex_indices" (or "vertex_index") of the element "face"; per strip the
// integer list "vertex_indices" of the element "tristrips". Every other
// property and element (colours, normals, quality, flags, texture
// coordinates, "camera", ...) is read past and ignored; an element without
// properties takes no bytes, whatever its count. Vertices and faces keep file
// order, triangles follow the elements in header order; nothing is welded or
// dropped. Data after the last declared element is ignored.
//  - A face of n > 3 corners becomes the fan (c0,c1,c2), (c0,c2,c3), ...,
//    (c0,c[n-2],c[n-1]); a face of fewer than 3 corners is refused.
//  - A strip gives one triangle per window of three indices; every second
//    window is flipped, (b,a,c) instead of (a,b,c), so all its triangles keep
//    the orientation of the first. An index -1 ends the strip and a new one
//    starts after it. Windows that repeat an index (the zero-area triangles
//    used to stitch strips together) are skipped; they still count for the
//    flipping.
// ASCII values are white-space separated words, each of which must be a
// whole number of its property's type: integers in the type's range; float
// words convert as strtof, double words as strtod, and a word too large for
// its type is refused (only "inf" words give an infinity).
//
// On failure `mesh` is left empty and the status (kind Malformed) carries the
// problem, e.g. line 14 and "face 3 names vertex 9, but the file has 8
// vertices" (ASCII data and header errors carry their line), or no line and
// "the file ends inside element vertex, after 2 of its 4 items". Bytes of the
// file quoted in a problem are shown escaped (\x1b) when they are not
// printable. Refused: a malformed header, an index outside the vertices, a
// file shorter than its header declares, a face or strip list that is not a
// list of integers, a missing or second vertex element.
ReadStatus readPlyMesh(TriMesh& mesh, std::string_view bytes);

// Reads the PLY file at `path` into `mesh` as readPlyMesh does. When the file
// cannot be opened or read the status is CannotOpen with the reason ("No such
// file or directory") and `mesh` is left empty.
ReadStatus readPlyMeshFile(TriMesh& mesh, const std::string& path);

} // namespace quorax
