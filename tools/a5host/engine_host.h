// The engine's side that plug-ins see: a main window (registered with the platform, so
// that what is posted to it reaches the thread that made the host), the window record's
// two service functions, and the engine's sound device with its primary buffer, all published
// through the engine records handed to A5_DLLAPI.
#pragma once

#include <memory>
#include <string>

#include <plat/owned.h>
#include "engine_records.h"

namespace a5host {

class EngineHost {
  public:
    // Creates the engine's device and primary buffer on the configured platform runtime.
    // Null with a reason when the device cannot be made.
    static std::unique_ptr<EngineHost> create(std::string& error);

    ~EngineHost();
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    void* interfaceRecord() { return records_.interfaceRecord(); }
    // The engine's main window: messages posted to it wait in the creating thread's queue.
    HWND window() { return &window_; }

    // How often the window record's first (0) or second (1) service function has run.
    static unsigned serviceCalls(int which);

  private:
    EngineHost() = default;

    // The engine's main window is only an identity here: its address is the handle.
    struct MainWindow {
        char unused = 0;
    };

    MainWindow window_;
    plat::ComPtr<IDirectSound> device_;
    plat::ComPtr<IDirectSoundBuffer> primary_;
    host::EngineRecords records_;
};

}  // namespace a5host
