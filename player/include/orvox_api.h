// The script functions of liborvox.so, as the engine calls them: `fixed` numbers and
// engine string records in, a raw status, a `fixed` number or (Orvox_Play) a raw -1 out.
//
// Threads: the engine's script thread only, one call at a time; the sound table, the
// source lists and the logging switch change only there, without locks. The streams'
// refill and fade ticks run on the timer thread and touch only their own stream, which
// holds its own lock against the script thread's calls.
#pragma once

#include <cstdint>

#define ORVOX_API extern "C" __attribute__((visibility("default")))

ORVOX_API int32_t Orvox_Play(const void* name, int32_t loop);
ORVOX_API int32_t Orvox_Stop(int32_t index);
ORVOX_API int32_t Orvox_Vol(int32_t index, int32_t volume);
ORVOX_API int32_t Orvox_FadeIn(int32_t index, int32_t step);
ORVOX_API int32_t Orvox_FadeOut(int32_t index, int32_t step);
ORVOX_API int32_t Orvox_Pause(int32_t index);
ORVOX_API int32_t Orvox_IsPlaying(int32_t index);
ORVOX_API int32_t Orvox_StopAll();
ORVOX_API int32_t Orvox_PauseAll();
ORVOX_API int32_t Orvox_Shutdown();
ORVOX_API int32_t Orvox_MODHQ(int32_t on);
ORVOX_API int32_t Orvox_EAX(int32_t environment);
ORVOX_API int32_t Orvox_PlayCD(int32_t firstTrack, int32_t endTrack);
ORVOX_API int32_t Orvox_VolCD(int32_t volume);
ORVOX_API int32_t Orvox_PauseCD();
ORVOX_API int32_t Orvox_StopCD();
ORVOX_API int32_t Orvox_NextTrackCD();
ORVOX_API int32_t Orvox_PrevTrackCD();
ORVOX_API int32_t Orvox_GetCurrTrackCD();
ORVOX_API int32_t Orvox_NumberOfTracksCD();
ORVOX_API int32_t Orvox_FadeOutCD(int32_t step);
ORVOX_API int32_t Orvox_FadeInCD(int32_t step);
// The logging switch: on (integer part exactly 1) deletes "MediaLog.txt" and starts it
// again with the banner line "Orvox media log"; any other value stops logging and
// touches no file. Returns 1.
ORVOX_API int32_t Orvox_Log(int32_t on);
