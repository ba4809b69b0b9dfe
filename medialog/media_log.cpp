#include "media_log.h"

#include <atomic>
#include <cstdio>

#include <plat/file_open.h>

namespace orvox::log {

namespace {
constexpr const char* kLogFile = "MediaLog.txt";
constexpr const char* kBanner = "Orvox media log\n";

std::atomic<bool>& loggingOn() {
    static std::atomic<bool> flag{true};
    return flag;
}
}  // namespace

void write(const char* text) {
    if (text == nullptr) return;
    // Only a regular file: a FIFO or a device of that name would hold the caller.
    const plat::FileStream file = plat::openFileStream(kLogFile, plat::FileMode::Append);
    if (file != nullptr) std::fputs(text, file.get());
}

bool on() { return loggingOn().load(); }

void setLogging(bool enabled) {
    loggingOn().store(enabled);
    if (!enabled) return;
    std::remove(kLogFile);
    write(kBanner);
}

}  // namespace orvox::log
