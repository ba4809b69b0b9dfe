-- Random start/fade/pause/stop/shutdown storm over orvox and wavestream while the timers,
-- the refills and the mixer run on the real clock.
-- Usage: a5host --output null plugin_storm.lua SEED ROUNDS [MEDIA_DIR]   (MEDIA_DIR defaults to ../shared/media)
io.stdout:setvbuf("no")
local requireShared = dofile((arg[0]:match("^(.*)/") or ".") .. "/../support/shared_data.lua")
local o = plugin("liborvox.so")
local w = plugin("libwavestream.so")
w.__init()
local seed = tonumber(arg[1] or "1")
math.randomseed(seed)
local M = arg[3] or "../shared/media"
local files = {M .. "/mpeg/mp3_cbr128_jointstereo_44100.mp3", M .. "/ogg/ogg_stereo_44100_music_skull_stones.ogg", M .. "/mpeg/mp3_mpeg25_mono_8000.mp3", M .. "/ogg/ogg_short_0.06s_dialog-information.oga", M .. "/mpeg/mp2_layer2_192k_stereo_44100.mp2", M .. "/modules/xm_rhino_sting.xm", M .. "/modules/mod_mk_tiny_hiscreen.mod", M .. "/mpeg/mp3_truncated_midframe.mp3", M .. "/ogg/ogg_chained_22050s_48000s_44100m.ogg"}
local wavs = {M .. "/wav/wav_pcm16_stereo_44100_10s.wav", M .. "/wav/wav_pcm8_mono_11025.wav", M .. "/wav/wav_pcm16_mono_22050.wav"}
for _, path in ipairs(files) do requireShared(path) end
for _, path in ipairs(wavs) do requireShared(path) end
local idx = {}
local t0 = now()
for round = 1, tonumber(arg[2] or "6") do
  for k = 1, 30 do
    local r = o.Orvox_Play(files[math.random(#files)], math.random(0, 1))
    if r >= 0 then idx[#idx + 1] = r / 1024 end
  end
  for step = 1, 200 do
    local i = idx[math.random(#idx)]
    local a = math.random(12)
    if a == 1 then o.Orvox_Pause(i) elseif a == 2 then o.Orvox_FadeIn(i, math.random(-3, 40))
    elseif a == 3 then o.Orvox_FadeOut(i, math.random(-3, 40)) elseif a == 4 then o.Orvox_Stop(i)
    elseif a == 5 then o.Orvox_Vol(i, math.random(0, 100)) elseif a == 6 then o.Orvox_IsPlaying(i)
    elseif a == 7 and math.random(10) == 1 then o.Orvox_PauseAll()
    elseif a == 8 and math.random(20) == 1 then o.Orvox_StopAll()
    elseif a == 9 then w.ws_playSong(math.random(0, 100), math.random(0, 1))
    elseif a == 10 then w.ws_setSongVol(math.random(0, 100)); w.ws_isSongPlaying()
    elseif a == 11 then if math.random(4) == 1 then w.ws_loadSong(wavs[math.random(#wavs)], 2, 44100, 16) else w.ws_stopSong() end
    else if math.random(30) == 1 then w.ws_killSong() end end
    if step % 10 == 0 then wait(math.random() * 0.06) end
  end
  if round % 2 == 0 then print("round", round, "shutdown", o.Orvox_Shutdown()) end
  if round % 3 == 0 then o.Orvox_MODHQ(round % 2) end
end
print("final shutdown", o.Orvox_Shutdown(), o.Orvox_Shutdown())
print("kill", w.ws_killSong())
print(string.format("streams %d, %.1f s", #idx, now() - t0))
print("DONE")
