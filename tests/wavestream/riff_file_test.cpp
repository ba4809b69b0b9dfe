#include "riff_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "wav_bytes.h"

using namespace wavestream;
using namespace wavtest;

namespace {

// Every case runs on a memory file and on the same bytes on disk.
class RiffFileTest : public ::testing::TestWithParam<bool> {
  protected:
    std::unique_ptr<RiffFile> load(const Bytes& bytes) {
        image_ = bytes;
        if (!GetParam()) return RiffFile::openMemory(image_);
        path_ = std::filesystem::temp_directory_path() /
                ("riff_file_test_" + std::to_string(::getpid()) + ".bin");
        writeFile(path_, bytes);
        return RiffFile::open(path_.c_str());
    }
    void TearDown() override {
        if (!path_.empty()) std::filesystem::remove(path_);
    }

    Bytes image_;
    std::filesystem::path path_;
};

TEST_P(RiffFileTest, DescendReadsHeaderAndFormTypeThenFindSkipsPaddedChunks) {
    // "odd " has 3 bytes and a pad byte; the search must land on "data" behind it.
    auto file = load(riffWave({chunk("odd ", ramp(3)), chunk("data", ramp(6, 40))}));
    ASSERT_TRUE(file);
    ChunkInfo riff;
    ASSERT_TRUE(file->descend(riff));
    EXPECT_EQ(riff.id, fourCC("RIFF"));
    EXPECT_EQ(riff.formType, fourCC("WAVE"));
    EXPECT_EQ(riff.size, image_.size() - 8);
    EXPECT_EQ(riff.dataOffset, 8u);
    EXPECT_EQ(file->position(), 12u);

    ChunkInfo data;
    ASSERT_TRUE(file->find(data, riff, fourCC("data")));
    EXPECT_EQ(data.size, 6u);
    EXPECT_EQ(data.dataOffset, 12u + 12 + 8);
    Bytes got(6);
    EXPECT_EQ(file->read(got.data(), got.size()), 6u);
    EXPECT_EQ(got, ramp(6, 40));
    // Nothing after the last chunk.
    EXPECT_EQ(file->read(got.data(), 1), 0u);
}

TEST_P(RiffFileTest, FindOnlyAcceptsHeadersStartingInsideTheParent) {
    // The RIFF chunk declares room for "fmt " only; "data" lies behind its declared end.
    auto file = load(riffWave({chunk("fmt ", ramp(16)), chunk("data", ramp(4))}, 4 + 8 + 16));
    ChunkInfo riff, found;
    ASSERT_TRUE(file->descend(riff));
    ASSERT_TRUE(file->find(found, riff, fourCC("fmt ")));
    ASSERT_TRUE(file->seek(12));
    EXPECT_FALSE(file->find(found, riff, fourCC("data")));

    // A header starting on the parent's last byte counts as inside, even if it runs past it.
    auto loose = load(riffWave({chunk("fmt ", ramp(16)), chunk("data", ramp(4))}, 4 + 8 + 16 + 1));
    ASSERT_TRUE(loose->descend(riff));
    EXPECT_TRUE(loose->find(found, riff, fourCC("data")));
}

TEST_P(RiffFileTest, HugeDeclaredSizesNeitherWrapNorLoop) {
    // A chunk of 0xFFFFFFFF bytes sends the walk far past the file: not found, no wrap back.
    auto file = load(riffWave({chunk("junk", ramp(4), 0xFFFFFFFFu), chunk("data", ramp(4))}, 0xFFFFFFFFu));
    ChunkInfo riff, found;
    ASSERT_TRUE(file->descend(riff));
    EXPECT_EQ(riff.size, 0xFFFFFFFFu);
    EXPECT_FALSE(file->find(found, riff, fourCC("data")));

    // A RIFF chunk declaring 0xFFFFFFFF bytes still finds what the file holds.
    auto open = load(riffWave({chunk("junk", ramp(4)), chunk("data", ramp(4))}, 0xFFFFFFFFu));
    ASSERT_TRUE(open->descend(riff));
    EXPECT_TRUE(open->find(found, riff, fourCC("data")));
    EXPECT_FALSE(open->find(found, riff, fourCC("data")));  // behind the last chunk: nothing
}

TEST_P(RiffFileTest, AscendAndSeekStayInsideTheFile) {
    const Bytes body = ramp(5);
    Bytes image = riffWave({chunk("last", body)});
    image.pop_back();  // drop the pad byte of the odd-sized last chunk
    auto file = load(image);
    ChunkInfo riff, last;
    ASSERT_TRUE(file->descend(riff));
    ASSERT_TRUE(file->find(last, riff, fourCC("last")));
    EXPECT_TRUE(file->ascend(last));  // a missing pad byte at the end is tolerated
    EXPECT_EQ(file->position(), image.size());

    last.size = 6;  // a chunk body running past the end of the file cannot be left
    EXPECT_FALSE(file->ascend(last));
    EXPECT_FALSE(file->seek(image.size() + 1));
    EXPECT_TRUE(file->seek(image.size()));
}

TEST_P(RiffFileTest, ShortHeadersFail) {
    auto file = load(Bytes{std::byte{'R'}, std::byte{'I'}, std::byte{'F'}, std::byte{'F'}, std::byte{4}});
    ChunkInfo riff;
    EXPECT_FALSE(file->descend(riff));
    // RIFF header complete but its form type cut off.
    auto noForm = load(slice(riffWave({}), 0, 10));
    EXPECT_FALSE(noForm->descend(riff));
}

TEST_P(RiffFileTest, ReadsAcrossBufferBoundariesAndSeeksBack) {
    const Bytes body = ramp(300000, 7);
    auto file = load(body);
    Bytes got(body.size());
    std::size_t done = 0;
    // Odd pieces so that reads straddle the refills of the read buffer.
    for (std::size_t piece = 1; done < body.size(); piece = piece * 3 + 1) {
        done += file->read(got.data() + done, std::min(1 + piece % 70001, body.size() - done));
    }
    EXPECT_EQ(got, body);
    ASSERT_TRUE(file->seek(12345));
    Bytes again(10);
    EXPECT_EQ(file->read(again.data(), again.size()), 10u);
    EXPECT_EQ(again, slice(body, 12345, 10));
}

INSTANTIATE_TEST_SUITE_P(Source, RiffFileTest, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Disk" : "Memory"; });

TEST(RiffFileOpen, RefusesMissingPathsAndDirectories) {
    EXPECT_FALSE(RiffFile::open(nullptr));
    EXPECT_FALSE(RiffFile::open("/nonexistent/riff_file_test.wav"));
    EXPECT_FALSE(RiffFile::open(std::filesystem::temp_directory_path().c_str()));
}

}  // namespace
