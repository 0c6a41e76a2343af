// The viewer's one pseudo-random generator, shared by its seeding buttons and
// its decorations. It is never seeded, so every start of the viewer draws the
// same sequence.
#pragma once

#include "seeding.h"

namespace quorax {

using ViewerRandom = Random31;

// The process-wide generator.
ViewerRandom& viewerRandom();

} // namespace quorax
