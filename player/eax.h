// The EAX 2.0 reverb environment: set up on first use, torn down by environment 0 and
// at shutdown.
#pragma once

#include <cstdint>

namespace orvox::eax {

// Orvox_EAX with the argument's integer part. The first call (and the first after a
// teardown or a failed setup) sets the chain up; then 0 tears it down, 1..26 select EAX
// environment n - 1, and other numbers change nothing. Raw status: 1, or 0 when the
// setup fails (its line is in the log, and whatever it had obtained is released).
int32_t select(int environment);

// Tears the objects down when they are set up.
void shutdown();

}  // namespace orvox::eax
