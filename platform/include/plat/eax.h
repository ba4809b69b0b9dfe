// EAX 2.0 on the platform's sound service: the EAX DirectSound class and the listener
// property set of its hardware 3D voices.
//
// CoCreateInstance(CLSID_EAXDirectSound) gives an uninitialised IDirectSound, like
// CLSID_DirectSound. Either device makes hardware 3D voices (DSBCAPS_LOCHARDWARE with
// DSBCAPS_CTRL3D, mono or stereo); a voice answers IDirectSound3DBuffer and
// IKsPropertySet. Setting DSPROPERTY_EAXLISTENER_ENVIRONMENT of
// DSPROPSETID_EAX20_ListenerProperties on any voice puts that environment's reverb on the
// process's whole mixed output (a 4-byte unsigned value, EAX_ENVIRONMENT_GENERIC ..
// EAX_ENVIRONMENT_PSYCHOTIC; larger values are refused with DSERR_INVALIDPARAM). The
// reverb stays while any hardware voice exists and goes with the last one; then the
// output is dry again, bit for bit. Other listener properties answer
// E_PROP_ID_UNSUPPORTED, other sets E_PROP_SET_UNSUPPORTED.
//
// Hardware without EAX (A5_NO_EAX=1 in the environment, or A5PlatformConfig::noEax):
// the EAX class is not registered and no device makes hardware voices.
#pragma once

#include <plat/dsound.h>

inline constexpr CLSID CLSID_EAXDirectSound = {0x4FF53B81, 0x1CE0, 0x11D3, {0xAA, 0xB8, 0x00, 0xA0, 0xC9, 0x59, 0x49, 0xD5}};
inline constexpr GUID DSPROPSETID_EAX20_ListenerProperties = {
    0x0306A6A8, 0xB224, 0x11D2, {0x99, 0xE5, 0x00, 0x00, 0xE8, 0xD8, 0xC7, 0x22}};

inline constexpr ULONG DSPROPERTY_EAXLISTENER_ENVIRONMENT = 11;

// The EAX 2.0 preset environments in their published order.
enum : DWORD {
    EAX_ENVIRONMENT_GENERIC,
    EAX_ENVIRONMENT_PADDEDCELL,
    EAX_ENVIRONMENT_ROOM,
    EAX_ENVIRONMENT_BATHROOM,
    EAX_ENVIRONMENT_LIVINGROOM,
    EAX_ENVIRONMENT_STONEROOM,
    EAX_ENVIRONMENT_AUDITORIUM,
    EAX_ENVIRONMENT_CONCERTHALL,
    EAX_ENVIRONMENT_CAVE,
    EAX_ENVIRONMENT_ARENA,
    EAX_ENVIRONMENT_HANGAR,
    EAX_ENVIRONMENT_CARPETEDHALLWAY,
    EAX_ENVIRONMENT_HALLWAY,
    EAX_ENVIRONMENT_STONECORRIDOR,
    EAX_ENVIRONMENT_ALLEY,
    EAX_ENVIRONMENT_FOREST,
    EAX_ENVIRONMENT_CITY,
    EAX_ENVIRONMENT_MOUNTAINS,
    EAX_ENVIRONMENT_QUARRY,
    EAX_ENVIRONMENT_PLAIN,
    EAX_ENVIRONMENT_PARKINGLOT,
    EAX_ENVIRONMENT_SEWERPIPE,
    EAX_ENVIRONMENT_UNDERWATER,
    EAX_ENVIRONMENT_DRUGGED,
    EAX_ENVIRONMENT_DIZZY,
    EAX_ENVIRONMENT_PSYCHOTIC,
    EAX_ENVIRONMENT_COUNT
};
