// The process's one EAX listener: what the property sets of hardware 3D voices write
// (DSPROPSETID_EAX20_ListenerProperties) and the reverb stage that makes it heard on the
// mixed output. The output is one, so the listener is one, shared by every device.
//
// The reverb stage is made when the first environment is set and goes, with the
// environment, when the last hardware voice is released: from then on the mixer runs
// without a stage and its output is dry again, bit for bit.
//
// Thread-safe: every method may be called from any thread but the mixing thread.
#pragma once

#include <memory>
#include <mutex>

#include <plat/dsound.h>

namespace plat {

class EaxReverb;
class Mixer;

class EaxListener {
public:
    explicit EaxListener(Mixer& mixer);
    ~EaxListener();
    EaxListener(const EaxListener&) = delete;
    EaxListener& operator=(const EaxListener&) = delete;

    void voiceCreated();
    void voiceReleased();
    // The runtime stops: the reverb goes, and no environment can be set any more.
    void close();

    // IKsPropertySet of a hardware voice.
    HRESULT get(REFGUID set, ULONG id, void* data, ULONG dataLength, ULONG* bytesReturned);
    HRESULT set(REFGUID set, ULONG id, const void* data, ULONG dataLength);
    HRESULT querySupport(REFGUID set, ULONG id, ULONG* support);

private:
    HRESULT setEnvironment(DWORD environment);
    void removeReverb();

    static constexpr DWORD kNoEnvironment = ~0u;

    Mixer& mixer_;
    std::mutex mutex_;
    unsigned voices_ = 0;
    bool closed_ = false;
    DWORD environment_ = kNoEnvironment;
    std::unique_ptr<EaxReverb> reverb_;  // in the mixer while environment_ is set
};

}  // namespace plat
