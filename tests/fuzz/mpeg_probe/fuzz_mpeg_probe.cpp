// The MP3 probe that runs on every file a game plays: bytes as a file on disk through
// hasMpegAudioEvidence (ID3v2 tags skipped, the head read), and in memory through
// mpegFramesAtHead. Checks that the probe's answers agree with one another: a file that ends
// inside a run can only add to what a longer file shows, and an untagged file that fits in
// what the probe reads is judged on its bytes as they are.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_target.h"
#include "mpeg_evidence.h"
#include "scratch_folder.h"

namespace {

// The probe reads 64 KiB and a run of the longest frames after the tags; a little more tests
// the cut at that length.
constexpr std::size_t kMaxInputBytes = 80 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvox::stream;
    if (size > kMaxInputBytes) return 0;

    const bool cut = mpegFramesAtHead(data, size, false);
    const bool toEnd = mpegFramesAtHead(data, size, true);
    if (cut && !toEnd) std::abort();

    const std::string path = fuzz::ScratchFolder::instance().write("probe.mp3", data, size);
    const bool fromFile = hasMpegAudioEvidence(path.c_str());
    const bool tagged = size >= 3 && std::memcmp(data, "ID3", 3) == 0;
    if (!tagged && size <= kMpegSearchBytes && fromFile != toEnd) std::abort();
    return 0;
}
