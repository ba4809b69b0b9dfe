// Text conversion between the process's multibyte names and UTF-16.
//
// The multibyte code page (CP_ACP, CP_UTF8) is UTF-8. So that every file name survives the
// round trip, a byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80..U+DCFF, and converting back (inside the platform) restores the byte.
#pragma once

#include "plat/wintypes.h"

using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;

// Converts `bytes` characters of `text` (-1: up to and including its NUL) into `wide`.
// With `wideChars` 0 it only measures: the number of UTF-16 units needed, the NUL
// included when it was converted. Returns 0 on failure (unknown code page, flags other
// than 0, a null text, or a `wide` block that is too small).
PLAT_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wideChars);
