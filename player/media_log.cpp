#include "player/media_log.h"

#include <atomic>
#include <cstdio>

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
    std::FILE* file = std::fopen(kLogFile, "a+");
    if (file == nullptr) return;
    std::fputs(text, file);
    std::fclose(file);
}

bool on() { return loggingOn().load(); }

void setLogging(bool enabled) {
    loggingOn().store(enabled);
    if (!enabled) return;
    std::remove(kLogFile);
    write(kBanner);
}

}  // namespace orvox::log
