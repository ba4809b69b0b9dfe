// COM activation: CoCreateInstance over a registry of classes by CLSID.
#pragma once

#include <plat/wintypes.h>

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_ALL = 0x17;

// Per-thread initialisation count; S_OK the first time on a thread, S_FALSE after.
PLAT_API HRESULT CoInitialize(void* reserved);
PLAT_API void CoUninitialize();
// REGDB_E_CLASSNOTREG for a class nobody registered; CLASS_E_NOAGGREGATION with an outer object.
PLAT_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
