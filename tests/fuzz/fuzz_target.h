// The entry point every fuzz target defines. libFuzzer calls it in the fuzz build, and
// replay_main.cpp in the normal one. Returns 0; a fault in the code under test aborts.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
