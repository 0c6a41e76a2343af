// The viewer's pseudo-random generator (one per window, in ViewerState). It is
// never seeded, so every start of the viewer draws the same sequence.
#pragma once

#include <cstdint>
#include <random>

namespace quorax {

class ViewerRandom {
public:
    // Uniform integer in 0 … 2³¹ − 1.
    int32_t rand31() { return static_cast<int32_t>(gen_() >> 1); }
    // Starts the sequence again (for tests that need a known draw).
    void restart() { gen_.seed(std::mt19937::default_seed); }

private:
    std::mt19937 gen_; // default seed: the same sequence at every start
};

} // namespace quorax
