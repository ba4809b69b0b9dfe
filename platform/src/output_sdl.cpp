#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include "mixer.h"
#include "output.h"

namespace plat {

namespace {

// Keeps the sound libraries' own complaints about missing hardware off standard error
// while the device is looked for, and only then: ALSA's error handler is swapped for a
// silent one and put back afterwards, and file descriptor 2 is parked on /dev/null for the
// probe and restored. A descriptor belongs to the whole process, so whatever another thread
// writes to standard error during the probe is lost too; a5p_configure says so.
class QuietProbe {
public:
    QuietProbe() {
        alsa_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_GLOBAL);
        if (alsa_ != nullptr) {
            setHandler_ = reinterpret_cast<SetHandler>(dlsym(alsa_, "snd_lib_error_set_handler"));
            current_ = static_cast<Handler*>(dlsym(alsa_, "snd_lib_error"));
            if (setHandler_ != nullptr && current_ != nullptr) {
                saved_ = *current_;
                setHandler_(&silent);
            }
        }
        savedStderr_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (savedStderr_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietProbe() {
        if (savedStderr_ >= 0) {
            dup2(savedStderr_, STDERR_FILENO);
            ::close(savedStderr_);
        }
        if (setHandler_ != nullptr && current_ != nullptr) setHandler_(saved_);
        if (alsa_ != nullptr) dlclose(alsa_);
    }
    QuietProbe(const QuietProbe&) = delete;
    QuietProbe& operator=(const QuietProbe&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void silent(const char*, int, const char*, int, const char*, ...) {}

    void* alsa_ = nullptr;
    SetHandler setHandler_ = nullptr;
    Handler* current_ = nullptr;  // ALSA's own handler variable
    Handler saved_ = nullptr;
    int savedStderr_ = -1;
};

class SdlOutput final : public Output {
public:
    explicit SdlOutput(Mixer& mixer) : mixer_(mixer) {}
    ~SdlOutput() override { stop(); }
    void stop() override {
        if (!device_) return;
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool open(std::string& failure) {
        QuietProbe quiet;
        // Reference-counted: a host that uses SDL itself keeps its own subsystems.
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            failure = SDL_GetError();
            return false;
        }
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(mixer_.outputRate());
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(mixer_.outputChannels());
        want.samples = 1024;
        want.callback = &SdlOutput::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the device takes.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            failure = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

private:
    static void callback(void* user, Uint8* stream, int bytes) {
        auto* self = static_cast<SdlOutput*>(user);
        const uint32_t frameBytes = self->mixer_.outputChannels() * 2;
        self->mixer_.mix(reinterpret_cast<int16_t*>(stream), static_cast<uint32_t>(bytes) / frameBytes);
    }

    Mixer& mixer_;
    SDL_AudioDeviceID device_ = 0;
};

}  // namespace

std::unique_ptr<Output> startDeviceOutput(Mixer& mixer, std::string& failure) {
    auto output = std::make_unique<SdlOutput>(mixer);
    if (!output->open(failure)) return nullptr;
    return output;
}

}  // namespace plat
