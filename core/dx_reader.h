// OpenDX reader for a scalar field on a regular grid, as APBS, GridDataFormats
// and similar programs write it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "grid.h"
#include "read_status.h"

namespace quorax {

// Reads an OpenDX grid from `bytes` into `grid`; gzip-compressed bytes are
// decompressed first. Expected layout (white space between words is free, as
// in an fscanf pattern; "#" starts a comment up to the end of its line on any
// header line, and whole comment lines may stand before, between and after
// the header lines):
//
//   object 1 class gridpositions counts NX NY NZ
//   origin X Y Z
//   delta DX 0 0
//   delta 0 DY 0
//   delta 0 0 DZ
//   object 2 class gridconnections counts NX NY NZ     (not interpreted)
//   object 3 class array type double rank 0 items N data follows
//   NX·NY·NZ values, z fastest, any number per line, read as float
//
// Only the diagonal of the three delta lines is used (a warning says so when
// the other numbers are not 0). Of the array line only the type (a numeric
// word, quoted or not), the item count (a warning when it differs) and the
// data placement are looked at: binary data ("ieee", "binary", "data 1024")
// and data in another file ("data file") are refused. A UTF-8 byte order
// mark, blank lines and CRLF line ends are accepted. Counts must be at least
// 2 per axis, spacings positive, and the data must hold NX·NY·NZ finite
// numbers, the last one not cut off by the end of the file ("1.5e");
// whatever follows them is not read. On success the grid is replaced
// (values, counts, origin, delta, true minimum and maximum, `loaded`); on
// failure it is left unchanged and the status (Malformed) names the line and
// the problem.
ReadStatus readDxGrid(PotentialGrid& grid, std::string_view bytes);

// Reads the DX file at `path`. When the file cannot be opened or read the
// status is CannotOpen with the reason ("No such file or directory").
ReadStatus readDxGridFile(PotentialGrid& grid, const std::string& path);

} // namespace quorax
