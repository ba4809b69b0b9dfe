// Renders a fixed scenario to a WAV file under the virtual clock: buffers at several
// rates, a timer that rewrites one of them, a worker woken by notifications.
#include <cmath>
#include <cstdio>
#include <cstring>

#include <plat/a5platform.h>
#include <plat/dsound.h>
#include <plat/mmsystem.h>
#include <plat/winbase.h>

namespace {

IDirectSoundBuffer* makeTone(IDirectSound* ds, uint32_t rate, uint16_t channels, double hz, DWORD flags) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, channels, rate, rate * 2u * channels, WORD(2 * channels), 16, 0};
    DSBUFFERDESC d{};
    d.dwSize = DSBUFFERDESC1_SIZE_32;
    d.dwFlags = flags | DSBCAPS_CTRLVOLUME;
    d.dwBufferBytes = rate * 2u * channels;  // one second
    d.lpwfxFormat = &f;
    IDirectSoundBuffer* b = nullptr;
    if (ds->CreateSoundBuffer(&d, &b, nullptr) != DS_OK) return nullptr;
    void *p1, *p2;
    DWORD n1, n2;
    b->Lock(0, d.dwBufferBytes, &p1, &n1, &p2, &n2, 0);
    auto* s = static_cast<int16_t*>(p1);
    for (DWORD i = 0; i < n1 / 2; ++i) s[i] = int16_t(6000 * std::sin(2 * M_PI * hz * (i / channels) / rate));
    b->Unlock(p1, n1, p2, n2);
    return b;
}

void retune(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    static LONG volume = 0;
    volume = volume == 0 ? -1200 : 0;
    reinterpret_cast<IDirectSoundBuffer*>(user)->SetVolume(volume);
}

struct Worker {
    IDirectSoundBuffer* buffer;
    HANDLE event;
};

DWORD refill(void* p) {
    auto* w = static_cast<Worker*>(p);
    int n = 0;
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &w->event, FALSE, INFINITE, QS_ALLEVENTS);
        if (r == WAIT_OBJECT_0 + 1) return 0;
        void *p1, *p2;
        DWORD n1, n2;
        DWORD play = 0;
        w->buffer->GetCurrentPosition(&play, nullptr);
        if (w->buffer->Lock((play + 22050) % 44100, 4000, &p1, &n1, &p2, &n2, 0) == DS_OK) {
            std::memset(p1, (++n * 37) & 0x7F, n1);
            w->buffer->Unlock(p1, n1, p2, n2);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    A5PlatformConfig config{A5_OUTPUT_WAV, argv[1], 48000, 2, 1, 0};
    if (a5p_configure(&config) != 0) return 1;
    IDirectSound* ds = nullptr;
    DirectSoundCreate(nullptr, &ds, nullptr);
    IDirectSoundBuffer* a = makeTone(ds, 44100, 2, 440, 0);
    IDirectSoundBuffer* b = makeTone(ds, 8000, 1, 300, 0);
    IDirectSoundBuffer* c = makeTone(ds, 22050, 1, 700, DSBCAPS_CTRLPOSITIONNOTIFY);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    IDirectSoundNotify* notify = nullptr;
    c->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify));
    DSBPOSITIONNOTIFY pos[2] = {{0, event}, {22050, event}};
    notify->SetNotificationPositions(2, pos);
    notify->Release();
    Worker w{c, event};
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &refill, &w, 0, &id);
    a->Play(0, 0, DSBPLAY_LOOPING);
    b->Play(0, 0, DSBPLAY_LOOPING);
    c->Play(0, 0, DSBPLAY_LOOPING);
    UINT timer = timeSetEvent(137, 100, &retune, reinterpret_cast<DWORD_PTR>(b), TIME_PERIODIC);
    a5p_advance_ns(3'000'000'000ull);
    timeKillEvent(timer);
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(event);
    a->Release();
    b->Release();
    c->Release();
    ds->Release();
    a5p_shutdown();
    return 0;
}
