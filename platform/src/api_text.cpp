// MultiByteToWideChar over the platform's lossless UTF-8 names.
#include <plat/winnls.h>

#include <algorithm>
#include <cstring>

#include "export_guard.h"
#include "wide_text.h"

PLAT_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wideChars) {
    return a5::guardExport(0, [&]() -> int {
        if ((codePage != CP_ACP && codePage != CP_UTF8) || flags != 0 || text == nullptr || bytes < -1 ||
            wideChars < 0)
            return 0;
        const size_t length = bytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(bytes);
        const std::u16string converted = plat::widenName(std::string_view(text, length));
        const auto needed = static_cast<int>(converted.size());
        if (wideChars == 0) return needed;
        if (wide == nullptr || wideChars < needed) return 0;
        std::copy(converted.begin(), converted.end(), wide);
        return needed;
    });
}
