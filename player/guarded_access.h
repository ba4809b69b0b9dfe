// Element access to the player's internal lists. A bad position is a bug inside the
// library (script input is validated before it gets here), so it ends the process.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace orvox {

template <class List>
auto& guardedAt(List& list, long long position) {
    const auto length = static_cast<long long>(list.size());
    if (position < 0 || position >= length) {
        std::fprintf(stderr, "Illegal vector index: %lld max index = %lld\n", position, length - 1);
        std::fflush(stderr);
        // Not exit(): the library's own objects are in use on this thread and must not be
        // torn down under it.
        std::_Exit(1);
    }
    return list[static_cast<size_t>(position)];
}

}  // namespace orvox
