#include "reference_length.h"

#include <algorithm>

namespace mpa::test {

Verdict judge_layer3(std::span<const int16_t> decoded, std::span<const int16_t> reference, RefLength rule) {
    Verdict v;
    const size_t extra = decoded.size() >= reference.size() ? decoded.size() - reference.size() : 0;
    switch (rule) {
        case RefLength::kExact:
            v.length_ok = decoded.size() == reference.size();
            break;
        case RefLength::kOneFrameLess:
            v.length_ok = extra == 1152 || extra == 2304;
            decoded = decoded.first(decoded.size() - extra);
            break;
        case RefLength::kLeadingSilence: {
            const std::span<const int16_t> lead = decoded.first(extra);
            v.length_ok =
                extra > 0 && std::all_of(lead.begin(), lead.end(), [](int16_t s) { return s == 0; });
            decoded = decoded.subspan(extra);
            break;
        }
    }
    v.accuracy = compare_pcm(decoded, reference);
    return v;
}

}  // namespace mpa::test
