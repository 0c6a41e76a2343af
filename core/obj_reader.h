// Wavefront OBJ surface reader: vertex positions ("v") and triangles ("f").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mesh.h"
#include "read_status.h"

namespace quorax {

struct ObjReadOptions {
    // The viewer scans "vt" lines for two numbers (and discards them) instead
    // of skipping them; this only matters for malformed "vt" lines.
    bool scanTextureLines = false;
};

struct ObjReadResult {
    // Faces dropped because a corner names a vertex that does not exist
    // (index 0, beyond the vertex count, or counting back past the first).
    int32_t skippedFaces = 0;
};

// Replaces the contents of `mesh` with the OBJ text in `bytes` and sets
// `loaded`. Scanning rules, byte by byte:
//  - a line starting with "#" is a comment; "vn" and "vt" lines and lines
//    starting with any other character (blank, tab, g, o, s, usemtl ...) are
//    skipped up to their newline;
//  - "v x y z": x and y end at the next blank, z at the end of the line; each
//    converts as C atof (so an empty token is 0 and "2 3" reads as 2);
//  - "f a b c": the first two corners end at a blank or "/", the third at "/"
//    or the end of the line; only the vertex index of "i/t/n", "i//n" is
//    used, only the first three corners of a polygon are read. Indices count
//    from 1; negative ones count back from the last vertex read so far.
// A UTF-8 byte order mark at the start is skipped. Both LF and CRLF line
// ends are accepted; a last line without a line end is read like any other.
// Faces whose corners do not exist are dropped and counted in the result;
// every remaining face index is valid.
ObjReadResult readObjMesh(TriMesh& mesh, std::string_view bytes, const ObjReadOptions& options = {});

// Reads the OBJ file at `path` into `mesh`. When the file cannot be opened or
// read, returns CannotOpen with the reason and leaves `mesh` unchanged.
ReadStatus readObjMeshFile(TriMesh& mesh, const std::string& path, ObjReadResult* result = nullptr,
                           const ObjReadOptions& options = {});

} // namespace quorax
