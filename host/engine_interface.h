// What a plug-in takes from the engine: the entry's stored interface record, the engine
// objects read through it, and the number and string conventions of exported functions.
//
// The engine's records are arrays of words; on 64-bit builds each word is a pointer-sized
// slot. Only the words named in engine_layout.h are read.
#pragma once

#include <plat/dsound.h>
#include <plat/wintypes.h>

#include <cstdint>

namespace host {

// The engine's number: signed 32 bits with 10 fraction bits (1.0 == 1024).
using fixed = int32_t;

// Integer part, rounding toward minus infinity (2.7 -> 2, -0.5 -> -1).
constexpr int toInt(fixed value) {
    return value >> 10;
}

// n as a fixed value; wraps like the engine does for values beyond its range.
constexpr fixed toFixed(int32_t n) {
    return static_cast<fixed>(static_cast<uint32_t>(n) << 10);
}

// A switch is on exactly when its integer part is 1 (1.0 up to, not including, 2.0).
constexpr bool isSwitchOn(fixed value) {
    return (value & ~0x3FF) == 0x400;
}

// Text of an engine string record, or null when the record is null.
const char* stringText(const void* engineString);

// Engine objects, read afresh from the stored interface record at every call so that an
// engine replacing its device or window is followed. Null before A5_DLLAPI was called or
// when the engine left the word empty.
IDirectSound* engineDevice();
IDirectSoundBuffer* enginePrimaryBuffer();
HWND mainWindow();

// Calls the window record's two service functions, in their order; empty words are skipped.
void callInitServices();

}  // namespace host

// The entry the engine calls once after loading a plug-in; returns 511.
extern "C" __attribute__((visibility("default"))) int32_t A5_DLLAPI(void* engineInterface);
