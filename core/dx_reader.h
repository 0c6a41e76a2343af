// OpenDX reader for a scalar field on a regular grid, as APBS writes it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "grid.h"
#include "read_status.h"

namespace quorax {

// Reads an OpenDX grid from `bytes` into `grid`. Expected layout (white
// space between words is free, as in an fscanf pattern):
//
//   # comment lines (any number)
//   object 1 class gridpositions counts NX NY NZ
//   origin X Y Z
//   delta DX 0 0
//   delta 0 DY 0
//   delta 0 0 DZ
//   object 2 class gridconnections counts NX NY NZ     (not interpreted)
//   object 3 class array type double rank 0 items N data follows   (not interpreted)
//   NX·NY·NZ values, z fastest, any number per line, read as float
//
// Only the diagonal of the three delta lines is used (a warning says so when
// the other numbers are not 0). Blank lines and leading blanks before header
// lines are accepted. Counts must be at least 2 per axis, spacings positive,
// and the data must hold NX·NY·NZ finite numbers; whatever follows them is
// not read. On success the grid is replaced (values, counts, origin, delta,
// true minimum and maximum, `loaded`); on failure it is left unchanged and
// the status (Malformed) names the line and the problem.
ReadStatus readDxGrid(PotentialGrid& grid, std::string_view bytes);

// Reads the DX file at `path`. When the file cannot be opened or read the
// status is CannotOpen with the reason ("No such file or directory").
ReadStatus readDxGridFile(PotentialGrid& grid, const std::string& path);

} // namespace quorax
