// The file output module: raw, WAV, AIFF and Sun files, prefixes, standard output, failures.
#include <gtest/gtest.h>
#include <mpegaudio/file_modules.h>
#include <unistd.h>

#include <cstring>

#include "pcm_headers.h"
#include "temp_dir.h"
#include "test_modules.h"

using namespace mpa_test;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}
uint16_t be16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] << 8 | b[at + 1]);
}
std::string text(const std::vector<uint8_t>& b, size_t at) {
    return {b.begin() + long(at), b.begin() + long(at) + 4};
}

class FileOutput : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(decoder_register_output(w.d, file_output_module()), 0); }

    // Writes `blocks` blocks of 4608 bytes whose 16-bit samples are 0x0102.
    int32_t write_file(const std::string& name, int blocks, uint32_t channels = 2, uint32_t rate = 44100) {
        if (int32_t rc = decoder_attach_output(w.d, name.c_str(), -1); rc != 0) return rc;
        if (int32_t rc = decoder_open_output(w.d); rc != 0) return rc;
        std::vector<uint8_t> block(4608);
        for (size_t i = 0; i < block.size(); i += 2) {
            block[i] = 0x02;
            block[i + 1] = 0x01;
        }
        for (int i = 0; i < blocks; ++i) {
            const int32_t n =
                decoder_write_output(w.d, block.data(), 4608, 2, int32_t(channels), int32_t(rate));
            if (n != 4608) return -1;
        }
        return decoder_close_output(w.d);
    }
    World w;
    TempDir dir;
};

TEST_F(FileOutput, FourBlocksToWavGiveTheFullHeaderWithTheFinalSizes) {
    ASSERT_EQ(write_file("wav:" + dir.file("out.wav"), 4), 0);
    const auto b = TempDir::read(dir.file("out.wav"));
    ASSERT_EQ(b.size(), 18476u);
    EXPECT_EQ(text(b, 0), "RIFF");
    EXPECT_EQ(le32(b, 4), 18468u);
    EXPECT_EQ(text(b, 8), "WAVE");
    EXPECT_EQ(text(b, 12), "fmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1);
    EXPECT_EQ(le16(b, 22), 2);
    EXPECT_EQ(le32(b, 24), 44100u);
    EXPECT_EQ(le32(b, 28), 176400u);
    EXPECT_EQ(le16(b, 32), 4);
    EXPECT_EQ(le16(b, 34), 16);
    EXPECT_EQ(text(b, 36), "data");
    EXPECT_EQ(le32(b, 40), 18432u);
    EXPECT_EQ(le16(b, 44), 0x0102) << "samples stay little-endian";
}

TEST_F(FileOutput, RawIsTheDefaultAndThePrefixIsNotPartOfTheName) {
    ASSERT_EQ(write_file(dir.file("plain.pcm"), 1), 0);
    EXPECT_EQ(TempDir::read(dir.file("plain.pcm")).size(), 4608u);
    ASSERT_EQ(write_file("raw:" + dir.file("raw.pcm"), 2), 0);
    EXPECT_EQ(TempDir::read(dir.file("raw.pcm")).size(), 9216u);
}

TEST_F(FileOutput, AiffHasItsChunksAndBigEndianSamples) {
    ASSERT_EQ(write_file("aiff:" + dir.file("out.aif"), 2, 1, 22050), 0);
    const auto b = TempDir::read(dir.file("out.aif"));
    ASSERT_EQ(b.size(), 54u + 9216u);
    EXPECT_EQ(text(b, 0), "FORM");
    EXPECT_EQ(be32(b, 4), b.size() - 8);
    EXPECT_EQ(text(b, 8), "AIFF");
    EXPECT_EQ(text(b, 12), "COMM");
    EXPECT_EQ(be32(b, 16), 18u);
    EXPECT_EQ(be16(b, 20), 1);       // channels
    EXPECT_EQ(be32(b, 22), 4608u);   // sample frames
    EXPECT_EQ(be16(b, 26), 16);      // bits
    EXPECT_EQ(be16(b, 28), 0x400D);  // 22050 as an 80-bit float: 2^14 ...
    EXPECT_EQ(be16(b, 30), 0xAC44);  // ... times 0xAC44 / 2^15
    EXPECT_EQ(text(b, 38), "SSND");
    EXPECT_EQ(be32(b, 42), 9216u + 8u);
    EXPECT_EQ(be16(b, 54), 0x0102) << "samples are big-endian";
}

TEST_F(FileOutput, SunAudioHasItsHeaderAndBigEndianSamples) {
    ASSERT_EQ(write_file("sun:" + dir.file("out.au"), 1, 2, 48000), 0);
    const auto b = TempDir::read(dir.file("out.au"));
    ASSERT_EQ(b.size(), 24u + 4608u);
    EXPECT_EQ(text(b, 0), ".snd");
    EXPECT_EQ(be32(b, 4), 24u);
    EXPECT_EQ(be32(b, 8), 4608u);
    EXPECT_EQ(be32(b, 12), 3u);
    EXPECT_EQ(be32(b, 16), 48000u);
    EXPECT_EQ(be32(b, 20), 2u);
    EXPECT_EQ(be16(b, 24), 0x0102);
}

TEST_F(FileOutput, AWavThatGotNoSamplesIsStillAValidEmptyFile) {
    ASSERT_EQ(write_file("wav:" + dir.file("empty.wav"), 0), 0);
    const auto b = TempDir::read(dir.file("empty.wav"));
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(le32(b, 40), 0u);
    EXPECT_EQ(le32(b, 24), 44100u);
}

TEST_F(FileOutput, ReopeningStartsAFreshFile) {
    ASSERT_EQ(write_file("wav:" + dir.file("again.wav"), 3), 0);
    ASSERT_EQ(decoder_open_output(w.d), 0);
    std::vector<uint8_t> block(100, 0);
    ASSERT_EQ(decoder_write_output(w.d, block.data(), 100, 2, 1, 8000), 100);
    ASSERT_EQ(decoder_close_output(w.d), 0);
    const auto b = TempDir::read(dir.file("again.wav"));
    ASSERT_EQ(b.size(), 144u);
    EXPECT_EQ(le32(b, 40), 100u);
    EXPECT_EQ(le16(b, 22), 1);
}

TEST_F(FileOutput, AFileThatCannotBeCreatedIsReportedWithTheSystemsText) {
    EXPECT_EQ(write_file("wav:" + dir.file("no/such/dir.wav"), 1), MPA_E_OPEN_FAILED);
    ASSERT_FALSE(w.errors.empty());
    EXPECT_EQ(w.errors.back().second, std::strerror(ENOENT));
    EXPECT_EQ(w.d->output.open, 0);
    EXPECT_EQ(decoder_attach_output(w.d, "", -1), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(w.errors.back().second, "null params or null/empty output name");
}

TEST_F(FileOutput, AForbiddenFileIsReportedAsPermissionDenied) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    ASSERT_EQ(chmod(dir.file("").c_str(), 0500), 0);
    EXPECT_EQ(write_file(dir.file("out.pcm"), 1), MPA_E_PERMISSION);
    EXPECT_EQ(w.errors.back().second, "permission denied");
    chmod(dir.file("").c_str(), 0700);
}

TEST_F(FileOutput, StandardOutputIsFlushedButStaysOpen) {
    TempDir tmp;
    const std::string path = tmp.file("stdout.wav");
    fflush(stdout);
    const int saved = dup(fileno(stdout));
    ASSERT_NE(std::freopen(path.c_str(), "wb", stdout), nullptr);
    const int32_t rc = write_file("wav:-", 1);
    fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    ASSERT_EQ(rc, 0);
    const auto b = TempDir::read(path);
    ASSERT_EQ(b.size(), 44u + 4608u);
    EXPECT_EQ(le32(b, 40), 0u) << "standard output cannot go back to rewrite the header";
}

TEST(PcmHeaders, SizesBeyondThirtyTwoBitsAreCapped) {
    const auto wav = mpa::make_pcm_header(mpa::PcmFileFormat::wav, uint64_t{5} << 32, 2, 44100);
    const std::vector<uint8_t> b(wav.bytes.begin(), wav.bytes.begin() + long(wav.size));
    EXPECT_EQ(le32(b, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le32(b, 40), 0xFFFFFFFFu - 36);
    EXPECT_EQ(mpa::make_pcm_header(mpa::PcmFileFormat::raw, 100, 2, 44100).size, 0u);
}

TEST(FileOutputQuery, ListsTheFileStandardOutputAndHeaderDevices) {
    ModuleInfo info{};
    const OutputMethods& m = file_output_module()->output;
    ASSERT_EQ(m.query(&info, MPA_QUERY_NAME), 0);
    EXPECT_STREQ(info.name, "Output To File");
    EXPECT_STREQ(info.description, "Version 1.2");
    info.index = 1;
    ASSERT_EQ(m.query(&info, MPA_QUERY_DEVICE), 0);
    EXPECT_STREQ(info.name, "wav:*");
    EXPECT_STREQ(info.description, "file name (WAV format)");
    info.index = 2;
    ASSERT_EQ(m.query(&info, MPA_QUERY_DEVICE), 0);
    EXPECT_STREQ(info.name, "-");
    EXPECT_EQ(info.device_flag, 0);
}

}  // namespace
