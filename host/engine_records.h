// The engine's side of the records: what a host program (or a test) builds and hands to
// a plug-in's A5_DLLAPI, laid out word for word as the plug-ins read them.
#pragma once

#include <plat/dsound.h>
#include <plat/wintypes.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "engine_layout.h"

namespace host {

// Interface record with its engine table, window record, sound record and function
// table. Records point at each other, so the object stays where it was built.
class EngineRecords {
  public:
    using Service = void (*)();

    EngineRecords() {
        interface_[layout::kEngineTable] = address(engineTable_);
        interface_[layout::kWindowRecord] = address(window_);
        interface_[layout::kSoundRecord] = address(sound_);
        interface_[layout::kFunctionTable] = address(functions_);
    }
    EngineRecords(const EngineRecords&) = delete;
    EngineRecords& operator=(const EngineRecords&) = delete;

    // The address to pass to A5_DLLAPI.
    void* interfaceRecord() { return interface_.data(); }

    void setWindow(HWND window) { window_[layout::kWindowHandle] = reinterpret_cast<uintptr_t>(window); }
    void setServices(Service first, Service second) {
        window_[layout::kFirstService] = reinterpret_cast<uintptr_t>(first);
        window_[layout::kSecondService] = reinterpret_cast<uintptr_t>(second);
    }
    void setSound(IDirectSound* device, IDirectSoundBuffer* primary) {
        sound_[layout::kDevice] = reinterpret_cast<uintptr_t>(device);
        sound_[layout::kPrimaryBuffer] = reinterpret_cast<uintptr_t>(primary);
    }

  private:
    using Record = std::array<uintptr_t, 16>;
    static uintptr_t address(Record& r) { return reinterpret_cast<uintptr_t>(r.data()); }

    Record interface_{};
    Record engineTable_{};
    Record window_{};
    Record sound_{};
    Record functions_{};
};

// An engine string record pointing at text it does not own; the text must outlive it.
// Trivially destructible, so it may live in frames that a C longjmp crosses.
struct EngineStringRecord {
    explicit EngineStringRecord(const char* text) {
        words[layout::kStringText] = reinterpret_cast<uintptr_t>(text);
    }
    const void* record() const { return words.data(); }

    std::array<uintptr_t, 8> words{};
};

// An engine string record owning its text; the record points into the object, so it
// stays where it was built.
class EngineString {
  public:
    explicit EngineString(std::string text) : text_(std::move(text)), record_(text_.c_str()) {}
    EngineString(const EngineString&) = delete;
    EngineString& operator=(const EngineString&) = delete;

    const void* record() const { return record_.record(); }

  private:
    std::string text_;
    EngineStringRecord record_;
};

}  // namespace host
