// The tracker library's output driver: a libmikmod driver (name "Platform sound buffer",
// alias "platsb") that mixes with libmikmod's software mixer and plays through a looping
// secondary buffer on a sound device of its own from the platform sound service. A
// periodic timer of its own refills the buffer, so tracker music reaches the same output,
// capture and clock as every other sound.
//
// libmikmod calls the driver's entries with its own lock held, so the refill timer is
// started and killed from outside those entries (killing waits for a running tick, and a
// tick waits for that lock).
#pragma once

struct MDRIVER;

namespace orvox::tracker::output {

// The driver record to register with MikMod_RegisterDriver (once per process).
MDRIVER& driver();

// Starts the refill timer (if it is not running) once the library is initialised. False
// when no timer could be made.
bool startRefill();

// Kills the refill timer; waits for a tick that is running. Call after MikMod_Exit and
// never while holding the tracker library's lock.
void stopRefill();

// Frees the driver's state for good, after the tracker library was shut down (at unload).
void release();

}  // namespace orvox::tracker::output
