#include "export_signatures.h"

#include <cstdint>
#include <type_traits>

#include "orvox_api.h"
#include "song_exports.h"

namespace a5host {
namespace {

template <typename T>
constexpr ArgumentKind kindOf() {
    static_assert(std::is_same_v<T, std::int32_t> || std::is_same_v<T, const void*>,
                  "exports take fixed numbers and engine string records");
    return std::is_same_v<T, const void*> ? ArgumentKind::String : ArgumentKind::Number;
}

template <typename F>
struct Declared;
template <typename R, typename... A>
struct Declared<R(A...)> {
    static constexpr std::array<ArgumentKind, sizeof...(A)> kinds{kindOf<A>()...};
};

// The argument names come from this table, their number and kinds from the plug-ins' own
// declarations: a table that drifts from a header does not compile.
template <typename F, typename... Names>
constexpr ExportSignature describe(const char* name, Names... names) {
    constexpr auto kinds = Declared<F>::kinds;
    static_assert(sizeof...(Names) == kinds.size(), "one name per declared argument");
    const char* const list[] = {names..., nullptr};
    ExportSignature signature{name, static_cast<int>(kinds.size()), {}};
    for (std::size_t i = 0; i < kinds.size(); ++i) signature.parameters[i] = {list[i], kinds[i]};
    return signature;
}

#define A5HOST_EXPORT(fn, ...) describe<decltype(fn)>(#fn __VA_OPT__(, ) __VA_ARGS__)

constexpr ExportSignature kExports[] = {
    A5HOST_EXPORT(Orvox_Play, "name", "loop"),
    A5HOST_EXPORT(Orvox_Stop, "index"),
    A5HOST_EXPORT(Orvox_Vol, "index", "volume"),
    A5HOST_EXPORT(Orvox_FadeIn, "index", "step"),
    A5HOST_EXPORT(Orvox_FadeOut, "index", "step"),
    A5HOST_EXPORT(Orvox_Pause, "index"),
    A5HOST_EXPORT(Orvox_IsPlaying, "index"),
    A5HOST_EXPORT(Orvox_StopAll),
    A5HOST_EXPORT(Orvox_PauseAll),
    A5HOST_EXPORT(Orvox_Shutdown),
    A5HOST_EXPORT(Orvox_MODHQ, "on"),
    A5HOST_EXPORT(Orvox_EAX, "environment"),
    A5HOST_EXPORT(Orvox_PlayCD, "first track", "end track"),
    A5HOST_EXPORT(Orvox_VolCD, "volume"),
    A5HOST_EXPORT(Orvox_PauseCD),
    A5HOST_EXPORT(Orvox_StopCD),
    A5HOST_EXPORT(Orvox_NextTrackCD),
    A5HOST_EXPORT(Orvox_PrevTrackCD),
    A5HOST_EXPORT(Orvox_GetCurrTrackCD),
    A5HOST_EXPORT(Orvox_NumberOfTracksCD),
    A5HOST_EXPORT(Orvox_FadeOutCD, "step"),
    A5HOST_EXPORT(Orvox_FadeInCD, "step"),
    A5HOST_EXPORT(Orvox_Log, "on"),
    A5HOST_EXPORT(ws_loadSong, "name", "channels", "samples per second", "bits per sample"),
    A5HOST_EXPORT(ws_playSong, "volume", "loop"),
    A5HOST_EXPORT(ws_stopSong),
    A5HOST_EXPORT(ws_killSong),
    A5HOST_EXPORT(ws_setSongVol, "volume"),
    A5HOST_EXPORT(ws_getSongVol),
    A5HOST_EXPORT(ws_isSongPlaying),
    A5HOST_EXPORT(__init),
};

#undef A5HOST_EXPORT

}  // namespace

const ExportSignature* findExportSignature(std::string_view name) {
    for (const ExportSignature& signature : kExports) {
        if (name == signature.name) return &signature;
    }
    return nullptr;
}

}  // namespace a5host
