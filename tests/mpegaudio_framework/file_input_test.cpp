// The file input module: opening, reading all-or-nothing, seeking, standard input and the
// ID3 version 1 tag of ".mp3" names.
#include <gtest/gtest.h>
#include <mpegaudio/file_modules.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "file_module_parts.h"
#include "id3v1.h"
#include "temp_dir.h"
#include "test_modules.h"

using namespace mpa_test;

namespace {

// 128 tag bytes: "TAG", 30 title, 30 artist, 30 album, 4 year, 30 comment, genre.
std::vector<uint8_t> id3v1(const std::string& title, uint8_t genre) {
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memset(tag.data() + 3, ' ', 30);
    std::memcpy(tag.data() + 3, title.data(), title.size());
    std::memcpy(tag.data() + 33, "Artist", 6);
    std::memcpy(tag.data() + 63, "Album name that fills thirty!!", 30);
    std::memcpy(tag.data() + 93, "1999", 4);
    std::memcpy(tag.data() + 97, "Comment", 7);
    tag[127] = genre;
    return tag;
}

std::vector<uint8_t> audio_with_tag(const std::string& title, uint8_t genre) {
    std::vector<uint8_t> bytes = ramp_input(4);
    const auto tag = id3v1(title, genre);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    return bytes;
}

class FileInput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(decoder_register_input(w.d, file_input_module()), 0);
        ASSERT_EQ(decoder_register_codec(w.d, ramp_codec()), 0);
    }
    int32_t open(const std::string& path) {
        if (int32_t rc = decoder_attach_input(w.d, path.c_str(), -1); rc != 0) return rc;
        return decoder_open_input(w.d);
    }
    std::string stream_text(const char* name) {
        char text[64] = "(absent)";
        decoder_get_stream_string(w.d, name, text, sizeof text);
        return text;
    }
    World w;
    TempDir dir;
};

TEST_F(FileInput, AMissingFileIsReportedAsNotFound) {
    EXPECT_EQ(open(dir.file("nothing.mp3")), MPA_E_FILE_NOT_FOUND);
    ASSERT_EQ(w.errors.size(), 1u);
    EXPECT_EQ(w.errors[0].second, "file not found");
    EXPECT_EQ(w.errors[0].first, w.d->input.module->id);
    EXPECT_EQ(w.d->input.open, 0);
}

TEST_F(FileInput, AForbiddenFileIsReportedAsPermissionDenied) {
    if (geteuid() == 0) GTEST_SKIP() << "root may read any file";
    const std::string path = dir.write("locked.bin", ramp_input(1));
    chmod(path.c_str(), 0);
    EXPECT_EQ(open(path), MPA_E_PERMISSION);
    EXPECT_EQ(w.errors.back().second, "permission denied");
}

TEST_F(FileInput, AnEmptyNameIsRefusedWithoutAnInstance) {
    EXPECT_EQ(decoder_attach_input(w.d, "", -1), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(w.errors.back().second, "null params or null/empty input name");
    EXPECT_EQ(w.d->input.instance, nullptr);
    EXPECT_EQ(decoder_attach_input(w.d, nullptr, -1), MPA_E_BAD_ARGUMENT);
}

TEST_F(FileInput, ReadsAreAllOrNothingAndTheEndIsTheEndOfInput) {
    std::vector<uint8_t> bytes = ramp_input(2);
    bytes.push_back(0x42);  // a trailing partial frame
    ASSERT_EQ(open(dir.write("song.bin", bytes)), 0);
    EXPECT_EQ(w.d->input.size, 17u);
    EXPECT_EQ(w.d->input.flags, 1u);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(decoder_decode(w.d, nullptr), MPA_E_END_OF_INPUT);
    EXPECT_EQ(w.d->input.position, 16u);

    ASSERT_EQ(decoder_seek_bytes(w.d, 8), 0);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(w.d->input.position, 16u);
}

TEST_F(FileInput, StandardInputCannotSeekAndIsNotAnalysed) {
    TempDir tmp;
    const std::string path = tmp.write("stdin.bin", ramp_input(2));
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
    ASSERT_EQ(open("-"), 0);
    EXPECT_EQ(w.d->input.flags, 0u);
    EXPECT_EQ(w.d->input.size, 0u);
    EXPECT_EQ(w.codec.analysed, 0);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(decoder_seek_bytes(w.d, 0), MPA_E_NOT_POSSIBLE);
    EXPECT_EQ(w.d->input.position, 8u);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(decoder_close_input(w.d), 0);
    EXPECT_NE(fileno(stdin), -1) << "standard input stays open";
}

TEST_F(FileInput, TheTagOfAnMp3NameBecomesStreamProperties) {
    ASSERT_EQ(open(dir.write("a.mp3", audio_with_tag("Hello", 255))), 0);
    EXPECT_EQ(stream_text("id3/title"), "Hello");
    EXPECT_EQ(stream_text("id3/artist"), "Artist");
    EXPECT_EQ(stream_text("id3/album"), "Album name that fills thirty!!");
    EXPECT_EQ(stream_text("id3/year"), "1999");
    EXPECT_EQ(stream_text("id3/comment"), "Comment");
    int32_t genre = 0;
    ASSERT_EQ(decoder_get_stream_int(w.d, "id3/genre", &genre), 0);
    EXPECT_EQ(genre, -1);
    // The file was put back at its start.
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(w.d->input.position, 8u);
}

TEST_F(FileInput, OtherNamesAndUntaggedFilesGiveNoTag) {
    ASSERT_EQ(open(dir.write("song.MP3", audio_with_tag("Upper", 1))), 0);
    EXPECT_EQ(stream_text("id3/title"), "(absent)");
    ASSERT_EQ(open(dir.write("plain.mp3", ramp_input(40))), 0);
    EXPECT_EQ(stream_text("id3/title"), "(absent)");
    ASSERT_EQ(open(dir.write("tiny.mp3", {1, 2, 3})), 0) << "a file shorter than a tag still opens";
    EXPECT_EQ(stream_text("id3/title"), "(absent)");
}

TEST(Id3v1, OnlyNamesLongerThanTheLowerCaseExtensionQualify) {
    EXPECT_TRUE(mpa::wants_id3v1("a.mp3"));
    EXPECT_TRUE(mpa::wants_id3v1("/music/x.mp3"));
    EXPECT_FALSE(mpa::wants_id3v1(".mp3"));
    EXPECT_FALSE(mpa::wants_id3v1("song.MP3"));
    EXPECT_FALSE(mpa::wants_id3v1("song.mp3.bak"));
}

TEST(Id3v1, FieldsAreTrimmedAndTheGenreIsSigned) {
    std::array<uint8_t, 128> tag{};
    const auto bytes = id3v1("Title", 0x80);
    std::copy(bytes.begin(), bytes.end(), tag.begin());
    tag[33 + 6] = ' ';  // artist "Artist " then NULs: trailing space goes too
    const auto parsed = mpa::parse_id3v1(tag);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->title, "Title");
    EXPECT_EQ(parsed->artist, "Artist");
    EXPECT_EQ(parsed->genre, -128);
    tag[127] = 127;
    EXPECT_EQ(mpa::parse_id3v1(tag)->genre, 127);
    tag[0] = 'X';
    EXPECT_FALSE(mpa::parse_id3v1(tag));
}

TEST(FileInputQuery, DescribesTheModuleAndItsTwoDevices) {
    ModuleInfo info{};
    const InputMethods& m = file_input_module()->input;
    ASSERT_EQ(m.query(&info, MPA_QUERY_NAME | MPA_QUERY_DEVICE_COUNT), 0);
    EXPECT_STREQ(info.name, "Input From File");
    EXPECT_STREQ(info.description, "Version 1.2");
    EXPECT_EQ(info.index, 2);
    info.index = 1;
    ASSERT_EQ(m.query(&info, MPA_QUERY_DEVICE), 0);
    EXPECT_STREQ(info.name, "-");
    EXPECT_STREQ(info.description, "standard input");
    EXPECT_EQ(info.device_flag, 0);
    info.index = 2;
    EXPECT_EQ(m.query(&info, MPA_QUERY_DEVICE), MPA_E_BAD_ARGUMENT);
}

}  // namespace

namespace {

// Root opens any file, so the permission cases above skip there; the mapping from the
// system's error numbers is checked directly.
TEST(OpenFailures, ErrorNumbersBecomeCodesAndTexts) {
    World w;
    EXPECT_EQ(mpa::report_open_failure(w.d, 3, "cannot open input file", EACCES, true), MPA_E_PERMISSION);
    EXPECT_EQ(w.errors.back(), (std::pair<int32_t, std::string>{3, "permission denied"}));
    EXPECT_EQ(mpa::report_open_failure(w.d, 3, "cannot open input file", ENOENT, true), MPA_E_FILE_NOT_FOUND);
    EXPECT_EQ(w.errors.back().second, "file not found");
    EXPECT_EQ(mpa::report_open_failure(w.d, 4, "cannot open output file", ENOENT, false), MPA_E_OPEN_FAILED);
    EXPECT_EQ(w.errors.back().second, std::strerror(ENOENT));
    EXPECT_EQ(mpa::report_open_failure(w.d, 4, "cannot open output file", EISDIR, false), MPA_E_OPEN_FAILED);
    EXPECT_EQ(w.errors.back().second, std::strerror(EISDIR));
}

}  // namespace
