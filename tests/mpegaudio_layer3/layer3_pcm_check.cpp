// layer3_pcm_check exact|one-frame-less|leading-silence DECODED REFERENCE: judges a decoded
// Layer III conformance stream against its reference; exit 0 when it meets full accuracy.
#include <cstdio>
#include <cstring>
#include <string>

#include "reference_length.h"
#include "stream_decode.h"

int main(int argc, char** argv) {
    using mpa::test::RefLength;
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: layer3_pcm_check exact|one-frame-less|leading-silence DECODED REFERENCE\n");
        return 2;
    }
    const std::string rule_name = argv[1];
    const RefLength rule = rule_name == "one-frame-less"    ? RefLength::kOneFrameLess
                           : rule_name == "leading-silence" ? RefLength::kLeadingSilence
                                                            : RefLength::kExact;
    const auto decoded = mpa::test::read_pcm(argv[2]);
    const auto reference = mpa::test::read_pcm(argv[3]);
    const mpa::test::Verdict v = mpa::test::judge_layer3(decoded, reference, rule);
    std::printf("samples %zu  rms %.4f LSB  max %d LSB  length %s  %s\n", v.accuracy.compared, v.accuracy.rms,
                v.accuracy.max_error, v.length_ok ? "as expected" : "WRONG",
                v.passes() ? "full accuracy" : "FAILS");
    return v.passes() ? 0 : 1;
}
