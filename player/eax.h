// The EAX 2.0 reverb environment: set up on first use, torn down by environment 0 and
// at shutdown.
#pragma once

#include <cstdint>

namespace orvox::eax {

// Orvox_EAX with the argument's integer part: 0 tears down, 1..26 select environment
// n - 1. Raw status; 0 when the setup fails.
int32_t select(int environment);

// Tears the objects down when they are set up.
void shutdown();

}  // namespace orvox::eax
