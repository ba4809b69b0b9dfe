// How the Layer III conformance references relate to a full decode, and the accuracy verdict
// over the part they share.
#pragma once

#include <cstdint>
#include <span>

#include "pcm_compare.h"

namespace mpa::test {

enum class RefLength {
    kExact,           // every decoded frame, nothing more
    kOneFrameLess,    // the last frame (1152 samples per channel) is missing from the reference
    kLeadingSilence,  // the decode starts with silent frames (missing main data) the reference leaves out
};

struct Verdict {
    Accuracy accuracy;
    bool length_ok = false;  // the lengths relate as the rule says (and a skipped lead is silent)
    bool passes() const { return length_ok && accuracy.full_accuracy(); }
};

Verdict judge_layer3(std::span<const int16_t> decoded, std::span<const int16_t> reference, RefLength rule);

}  // namespace mpa::test
