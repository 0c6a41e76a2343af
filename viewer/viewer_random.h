// The viewer's pseudo-random generator (one per window, in ViewerState). It is
// never seeded, so every start of the viewer draws the same sequence.
#pragma once

#include "seeding.h"

namespace quorax {

using ViewerRandom = Random31;

} // namespace quorax
