// Damaged and hostile input decodes without crash or hang; what decodes has a sane shape.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <vector>

#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

void expect_sane(const Decoded& d, const std::string& what) {
    EXPECT_EQ(d.end, kEndOfInput) << what;
    if (d.frames > 0) {
        EXPECT_TRUE(d.channels == 1 || d.channels == 2) << what;
        EXPECT_EQ(d.pcm.size() % d.channels, 0u) << what;
    }
}

TEST(BadInput, EveryStreamOfTheSharedSetEndsCleanly) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    int streams = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".bit" && ext != ".mp3" && ext != ".mp2") continue;
        const auto bytes = read_file(entry.path().string());
        expect_sane(decode_stream(bytes), entry.path().filename().string());
        // Cut mid-stream, the decoder ends with the frames that are complete.
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 3));
        expect_sane(decode_stream(cut), entry.path().filename().string() + " cut");
        ++streams;
    }
    EXPECT_GT(streams, 30);
}

TEST(BadInput, RandomBytesEmptyInputAndTagOnlyFiles) {
    EXPECT_EQ(decode_stream({}).frames, 0u);
    expect_sane(decode_stream({}), "empty");

    std::vector<uint8_t> tag = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
    tag.resize(30, 0);
    const Decoded only_tag = decode_stream(tag);
    EXPECT_EQ(only_tag.frames, 0u);
    expect_sane(only_tag, "tag only");

    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> bytes(20000);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        // Sprinkle sync patterns so that headers are found and bodies decoded.
        for (int i = 0; i < 200; ++i) {
            const size_t at = rng() % (bytes.size() - 2);
            bytes[at] = 0xFF;
            bytes[at + 1] |= 0xE0;
        }
        expect_sane(decode_stream(bytes, {.channel_mode = static_cast<uint32_t>(round % 4),
                                          .downsampling = static_cast<uint32_t>(round % 3)}),
                    "random " + std::to_string(round));
    }
}

}  // namespace
}  // namespace mpa::test
