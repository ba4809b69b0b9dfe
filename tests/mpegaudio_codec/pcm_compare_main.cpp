// pcm_compare DECODED REFERENCE: compares two headerless 16-bit little-endian PCM files over
// the decoded file's length and exits 0 when the decoded file meets full accuracy.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "pcm_compare.h"

namespace {

std::vector<int16_t> load(const char* path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pcm_compare DECODED REFERENCE\n");
        return 2;
    }
    bool ok_a = false, ok_b = false;
    const auto decoded = load(argv[1], ok_a);
    const auto reference = load(argv[2], ok_b);
    if (!ok_a || !ok_b) {
        std::fprintf(stderr, "pcm_compare: cannot read %s\n", ok_a ? argv[2] : argv[1]);
        return 2;
    }
    const mpa::test::Accuracy a = mpa::test::compare_pcm(decoded, reference);
    std::printf("samples %zu  rms %.4f LSB  max %d LSB  %s%s\n", a.compared, a.rms, a.max_error,
                a.full_accuracy()      ? "full accuracy"
                : a.limited_accuracy() ? "limited accuracy"
                                       : "FAILS",
                a.reference_short ? " (reference shorter than decoded)" : "");
    return a.full_accuracy() && !decoded.empty() ? 0 : 1;
}
