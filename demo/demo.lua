-- The bundled demo, run from the repository's top folder by `make demo`:
--   build/bin/a5host --render build/demo.wav --cd-image ../shared/media/cd/cd_a.cue demo/demo.lua
-- Each part uses one plug-in and says what it does; a plug-in that this build does not
-- have is skipped with a note.

local function load(name)
    local ok, lib = pcall(plugin, name)
    if ok then
        print("demo: loaded " .. name)
        return lib
    end
    print("demo: skipping " .. name .. ": " .. tostring(lib))
    return nil
end

local orvox = load("liborvox.so")
local wavestream = load("libwavestream.so")

if not orvox and not wavestream then
    print("demo: no plug-in is built yet; rendering one second of silence")
end

-- Plays a file through orvox; gives its sound index, or nil (with a note) when it does not play.
local function play(kind, file, loop)
    local raw = orvox.Orvox_Play(file, loop)
    if raw < 0 or orvox.Orvox_IsPlaying(fixed(raw)) == 0 then
        print("demo: " .. kind .. ": " .. file .. " does not play (see MediaLog.txt)")
        return nil
    end
    local index = fixed(raw)
    print(string.format("demo: %s: playing %s as sound %d", kind, file, index))
    return index
end

-- Ogg Vorbis through orvox: a looping song fades in from silence over 5 s, plays, fades
-- out over 5 s.
local function oggPart()
    local index = play("Ogg", "../shared/media/ogg/ogg_stereo_44100_music_skull_stones.ogg", 1)
    if not index then return end
    orvox.Orvox_Vol(index, 0)
    orvox.Orvox_FadeIn(index, 10)  -- 10 per half-second tick
    wait(8)
    orvox.Orvox_FadeOut(index, 10)
    wait(5.5)
    print("demo: Ogg: faded out, still playing: " .. orvox.Orvox_IsPlaying(index))
end

-- MPEG audio through orvox: a song starts at volume 60, fades out over 3 s, and then
-- fades back in to full volume.
local function mp3Part()
    local index = play("MP3", "../shared/media/mpeg/mp3_cbr128_jointstereo_44100.mp3", 1)
    if not index then return end
    orvox.Orvox_Vol(index, 60)
    wait(3)
    orvox.Orvox_FadeOut(index, 10)  -- six half-second ticks to silence
    wait(3.5)
    orvox.Orvox_FadeIn(index, 20)
    wait(4)
    print("demo: MP3: faded back in, still playing: " .. orvox.Orvox_IsPlaying(index))
    orvox.Orvox_Stop(index)
end

-- A tracker module through orvox, mixed by the tracker library and played through its
-- own output driver: paused for a second, resumed, faded out, stopped.
local function trackerPart()
    local index = play("MOD", "../shared/media/modules/mod_mk_high-score.mod", 0)
    if not index then return end
    wait(4)
    orvox.Orvox_Pause(index)
    wait(1)
    orvox.Orvox_Pause(index)
    wait(2)
    orvox.Orvox_FadeOut(index, 20)  -- five half-second ticks to silence
    wait(3)
    print("demo: MOD: faded out, still playing: " .. orvox.Orvox_IsPlaying(index))
    orvox.Orvox_Stop(index)
end

-- EAX environments through orvox: one song, 4 s dry, then 4 s each in a small room, a
-- cave and an aircraft hangar (reverberation times 0.4 s, 2.9 s and 10 s), then dry again.
local function eaxPart()
    local index = play("EAX", "../shared/media/ogg/ogg_stereo_44100_music_skull_stones.ogg", 1)
    if not index then return end
    wait(4)
    for _, environment in ipairs({{3, "room"}, {9, "cave"}, {11, "hangar"}}) do
        local status = orvox.Orvox_EAX(environment[1])
        print(string.format("demo: EAX: %s (%d) -> %d", environment[2], environment[1], status))
        wait(4)
    end
    print("demo: EAX: off -> " .. orvox.Orvox_EAX(0))
    wait(3)
    orvox.Orvox_Stop(index)
end

-- The CD through orvox (the disc image a5host was given): tracks 1 and 2 at 80 % volume,
-- paused for a second, then on to track 3, which fades out; the device's notices reach
-- the engine's window.
local function cdPart()
    local tracks = fixed(orvox.Orvox_NumberOfTracksCD())
    if tracks == 0 then
        print("demo: CD: no disc (give a5host --cd-image; see MediaLog.txt)")
        return
    end
    print(string.format("demo: CD: %d tracks", tracks))
    orvox.Orvox_VolCD(80)
    orvox.Orvox_PlayCD(1, 3)
    wait(2)
    orvox.Orvox_PauseCD()
    wait(1)
    orvox.Orvox_PauseCD()
    wait(3)
    print(string.format("demo: CD: on track %d", fixed(orvox.Orvox_GetCurrTrackCD())))
    orvox.Orvox_NextTrackCD()
    wait(2)
    orvox.Orvox_FadeOutCD(20)  -- four half-second ticks from 80 % to silence
    wait(2.5)
    for _, m in ipairs(messages()) do
        print(string.format("demo: CD: window message 0x%X, notice %d", m.message, m.wparam))
    end
    orvox.Orvox_StopCD()
    orvox.Orvox_VolCD(100)
end

-- A WAV song streamed by wavestream: looping, its volume lowered after 4 s, stopped after 6 s.
local function wavestreamPart()
    local song = "../shared/media/wav/wav_pcm16_stereo_44100_10s.wav"
    local function say(what, raw)
        print(string.format("demo: wavestream: %s -> %g", what, fixed(raw)))
    end
    wavestream.__init()
    local loaded = wavestream.ws_loadSong(song, 2, 44100, 16)
    say("ws_loadSong(" .. song .. ")", loaded)
    if loaded == 0 then
        say("ws_playSong(80, loop)", wavestream.ws_playSong(80, 1))
        wait(4)
        say("ws_setSongVol(40)", wavestream.ws_setSongVol(40))
        say("ws_getSongVol()", wavestream.ws_getSongVol())
        wait(2)
        say("ws_isSongPlaying()", wavestream.ws_isSongPlaying())
        say("ws_stopSong()", wavestream.ws_stopSong())
    end
    say("ws_killSong()", wavestream.ws_killSong())
end

if orvox then
    oggPart()
    mp3Part()
    trackerPart()
    eaxPart()
    cdPart()
    orvox.Orvox_Shutdown()
end
if wavestream then
    wavestreamPart()
end

wait(1)
print(string.format("demo: done after %.1f s of sound", now()))
