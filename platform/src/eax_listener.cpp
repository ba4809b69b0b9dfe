#include "eax_listener.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "eax_reverb.h"
#include "mixer.h"
#include <plat/eax.h>

namespace plat {

EaxListener::EaxListener(Mixer& mixer) : mixer_(mixer) {}

EaxListener::~EaxListener() { removeReverb(); }

void EaxListener::voiceCreated() {
    std::lock_guard lock(mutex_);
    ++voices_;
}

void EaxListener::voiceReleased() {
    std::lock_guard lock(mutex_);
    if (voices_ > 0 && --voices_ == 0) {
        environment_ = kNoEnvironment;
        removeReverb();
    }
}

void EaxListener::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    environment_ = kNoEnvironment;
    removeReverb();
}

void EaxListener::removeReverb() {
    if (!reverb_) return;
    mixer_.setStage(nullptr);  // waits for a block in progress
    reverb_.reset();
}

HRESULT EaxListener::querySupport(REFGUID set, ULONG id, ULONG* support) {
    if (!support) return E_POINTER;
    *support = 0;
    if (!(set == DSPROPSETID_EAX20_ListenerProperties)) return E_PROP_SET_UNSUPPORTED;
    if (id != DSPROPERTY_EAXLISTENER_ENVIRONMENT) return E_PROP_ID_UNSUPPORTED;
    *support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
    return S_OK;
}

HRESULT EaxListener::get(REFGUID set, ULONG id, void* data, ULONG dataLength, ULONG* bytesReturned) {
    ULONG support = 0;
    if (HRESULT hr = querySupport(set, id, &support); FAILED(hr)) return hr;
    if (!data || dataLength < sizeof(DWORD)) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    if (environment_ == kNoEnvironment) return DSERR_INVALIDCALL;  // nothing set since the voices came
    std::memcpy(data, &environment_, sizeof(DWORD));
    if (bytesReturned) *bytesReturned = sizeof(DWORD);
    return S_OK;
}

HRESULT EaxListener::set(REFGUID set, ULONG id, const void* data, ULONG dataLength) {
    ULONG support = 0;
    if (HRESULT hr = querySupport(set, id, &support); FAILED(hr)) return hr;
    if (!data || dataLength < sizeof(DWORD)) return DSERR_INVALIDPARAM;
    DWORD environment = 0;
    std::memcpy(&environment, data, sizeof(DWORD));
    if (environment >= EAX_ENVIRONMENT_COUNT) return DSERR_INVALIDPARAM;
    return setEnvironment(environment);
}

HRESULT EaxListener::setEnvironment(DWORD environment) {
    std::lock_guard lock(mutex_);
    if (closed_) return DSERR_NODRIVER;
    if (voices_ == 0) return DSERR_INVALIDCALL;
    if (!reverb_) {
        std::string failure;
        reverb_ = EaxReverb::create(mixer_.outputRate(), mixer_.outputChannels(), failure);
        if (!reverb_) {
            std::fprintf(stderr, "a5platform: no EAX reverb (%s)\n", failure.c_str());
            return DSERR_GENERIC;
        }
    }
    reverb_->select(environment);
    if (environment_ == kNoEnvironment) mixer_.setStage(reverb_.get());
    environment_ = environment;
    return S_OK;
}

}  // namespace plat
