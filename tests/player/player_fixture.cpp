#include "player_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "buffer_stream.h"
#include "engine_interface.h"
#include "media_log.h"

namespace orvox::test {

std::string oggMedia(const char* name) {
    const std::filesystem::path path = std::filesystem::path(A5_SHARED_DIR) / "media" / "ogg" / name;
    return std::filesystem::exists(path) ? path.string() : std::string();
}

void PlayerTest::SetUp() {
    previousDir_ = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    workDir_ = std::filesystem::temp_directory_path() /
               ("orvox_" + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(workDir_);
    std::filesystem::create_directories(workDir_);
    std::filesystem::current_path(workDir_);

    ASSERT_EQ(DirectSoundCreate(nullptr, &realDevice_, nullptr), DS_OK);
    device_ = std::make_unique<RecordingDevice>(realDevice_);
    records_.setSound(device_.get(), nullptr);
    ASSERT_EQ(A5_DLLAPI(records_.interfaceRecord()), 511);
    player_ = std::make_unique<Player>();
}

void PlayerTest::TearDown() {
    player_.reset();
    A5_DLLAPI(nullptr);
    device_.reset();
    if (realDevice_ != nullptr) realDevice_->Release();
    if (!log::on()) log::setLogging(true);
    std::filesystem::current_path(previousDir_);
    std::filesystem::remove_all(workDir_);
}

void PlayerTest::advanceMs(double ms) { a5p_advance_ns(static_cast<uint64_t>(ms * 1e6)); }

int32_t PlayerTest::play(const std::string& path, bool loop) {
    return player_->play(path.c_str(), host::toFixed(loop ? 1 : 0));
}

std::string PlayerTest::readLog() const {
    std::ifstream in("MediaLog.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

stream::BufferStream* PlayerTest::bufferStream(int index) {
    return dynamic_cast<stream::BufferStream*>(player_->streamAt(index));
}

LONG PlayerTest::attenuation(int index) {
    LONG value = 1;
    stream::SoundStream* s = player_->streamAt(index);
    if (s != nullptr && s->buffer() != nullptr) s->buffer()->GetVolume(&value);
    return value;
}

bool PlayerTest::bufferPlaying(int index) {
    DWORD status = 0;
    stream::SoundStream* s = player_->streamAt(index);
    if (s != nullptr && s->buffer() != nullptr) s->buffer()->GetStatus(&status);
    return (status & DSBSTATUS_PLAYING) != 0;
}

}  // namespace orvox::test
