// This build has no media reader: every play fails where the reader would be created,
// and the stream, having nothing, leaves every control without effect.
#include "media_log.h"
#include "windows_media_stream.h"

namespace orvox::stream {

namespace {

class ReaderlessStream final : public WindowsMediaStream {
public:
    bool play(const char*, int32_t loop, HANDLE, IDirectSound*) override {
        loop_.store(loop);
        if (log::on()) log::write("Error: WMA/WMV/ASF: Couldn't create reader in Play\n");
        return false;
    }
    void stop() override {
        loop_.store(0);
        playing_.store(0);
    }
    void togglePause() override {}
    void shutdown() override { stop(); }
};

}  // namespace

std::unique_ptr<WindowsMediaStream> makeWindowsMediaStream() { return std::make_unique<ReaderlessStream>(); }

}  // namespace orvox::stream
