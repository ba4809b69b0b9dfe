// Word indexes of the engine records that plug-ins read. Each word is a pointer-sized slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace host::layout {

// EngineInterface
inline constexpr size_t kEngineTable = 1;
inline constexpr size_t kWindowRecord = 2;
inline constexpr size_t kSoundRecord = 3;
inline constexpr size_t kFunctionTable = 4;

// Window record
inline constexpr size_t kFirstService = 5;
inline constexpr size_t kSecondService = 6;
inline constexpr size_t kWindowHandle = 8;

// Sound record
inline constexpr size_t kDevice = 8;
inline constexpr size_t kPrimaryBuffer = 9;

// Engine string record
inline constexpr size_t kStringText = 3;

// Word `index` of a record; 0 for a null record. Read bytewise: the engine's records are
// not objects of ours.
inline uintptr_t word(const void* record, size_t index) {
    if (record == nullptr) return 0;
    uintptr_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + index * sizeof(uintptr_t), sizeof value);
    return value;
}

}  // namespace host::layout
