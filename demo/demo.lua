-- The bundled demo, run from the repository's top folder by `make demo`:
--   build/bin/a5host --render build/demo.wav --cd-image build/demo-media/disc.cue \
--       demo/demo.lua build/demo-media
-- It plays only the media the build made (arg[1], default build/demo-media). Each part
-- uses one plug-in, says what it does and prints its time window in the render
-- ("demo: window NAME FROM TO", in seconds). A part that does not play stops the demo
-- with the reason, so a5host exits non-zero; only a plug-in that this build does not
-- have is skipped, with a note.

local media = arg[1] or "build/demo-media"

local function say(text)
    print("demo: " .. text)
end

-- The last line the player wrote to its log: why a file did not play.
local function lastLogLine()
    local log = io.open("MediaLog.txt", "r")
    if not log then return "no MediaLog.txt" end
    local last = "MediaLog.txt is empty"
    for line in log:lines() do
        if line ~= "" then last = line end
    end
    log:close()
    return last
end

local function fail(part, why)
    error("demo: " .. part .. " does not play: " .. why, 0)
end

-- Runs one part and prints the stretch of the render it filled.
local function part(name, body)
    local from = now()
    body()
    print(string.format("demo: window %s %.2f %.2f", name, from, now()))
end

local function load(name)
    local ok, lib = pcall(plugin, name)
    if ok then
        say("loaded " .. name)
        return lib
    end
    if tostring(lib):find("No such file", 1, true) then
        say("skipping " .. name .. ": it is not built")
        return nil
    end
    error("demo: " .. name .. " does not load: " .. tostring(lib), 0)
end

local orvox = load("liborvox.so")
local wavestream = load("libwavestream.so")

-- Plays a file through orvox and gives its sound index. `logged` is the kind the player's
-- log must name, so that a file taken by the wrong decoder does not pass for this part.
local function play(kind, logged, file, loop)
    local path = media .. "/" .. file
    local raw = orvox.Orvox_Play(path, loop)
    local note = lastLogLine()
    local index = fixed(raw)
    if raw < 0 or orvox.Orvox_IsPlaying(index) == 0 then fail(kind, path .. ": " .. note) end
    if not note:find("Success: " .. logged .. ":", 1, true) then
        fail(kind, path .. " is not played as " .. logged .. ": " .. note)
    end
    say(string.format("%s: playing %s as sound %d", kind, path, index))
    return index
end

local function expectPlaying(kind, index, when)
    if orvox.Orvox_IsPlaying(index) == 0 then fail(kind, "it stopped " .. when .. ": " .. lastLogLine()) end
end

-- Ogg Vorbis: a looping song fades in from silence over 5 s, is paused for a second,
-- fades out over 5 s and stops.
local function oggPart()
    local index = play("Ogg", "OGG", "theme.ogg", 1)
    orvox.Orvox_Vol(index, 0)
    say("Ogg: fading in over 5 s")
    orvox.Orvox_FadeIn(index, 10)  -- 10 per half-second tick
    wait(6)
    expectPlaying("Ogg", index, "while fading in")
    say("Ogg: paused for 1 s")
    orvox.Orvox_Pause(index)
    wait(1)
    orvox.Orvox_Pause(index)
    wait(2)
    say("Ogg: fading out over 5 s")
    orvox.Orvox_FadeOut(index, 10)
    wait(5.5)
    say("Ogg: stopped")
    orvox.Orvox_Stop(index)
end

-- MPEG audio (decoded by our own decoder): a song starts at volume 60, fades out over 3 s,
-- fades back in to full volume, is paused for a second and stops.
local function mp3Part()
    local index = play("MP3", "MP3", "variation.mp3", 1)
    say("MP3: volume 60")
    orvox.Orvox_Vol(index, 60)
    wait(3)
    say("MP3: fading out over 3 s")
    orvox.Orvox_FadeOut(index, 10)  -- six half-second ticks to silence
    wait(3.5)
    say("MP3: fading in to full volume")
    orvox.Orvox_FadeIn(index, 20)
    wait(4)
    expectPlaying("MP3", index, "after fading back in")
    say("MP3: paused for 1 s")
    orvox.Orvox_Pause(index)
    wait(1)
    orvox.Orvox_Pause(index)
    wait(2)
    say("MP3: stopped")
    orvox.Orvox_Stop(index)
end

-- A tracker module, mixed by the tracker library: plays, is paused for a second,
-- resumes, fades out and stops.
local function trackerPart()
    local index = play("MOD", "MOD", "tune.mod", 0)
    wait(4)
    expectPlaying("MOD", index, "after 4 s")
    say("MOD: paused for 1 s")
    orvox.Orvox_Pause(index)
    wait(1)
    orvox.Orvox_Pause(index)
    wait(3)
    say("MOD: fading out over 2.5 s")
    orvox.Orvox_FadeOut(index, 20)  -- five half-second ticks to silence
    wait(3)
    say("MOD: stopped")
    orvox.Orvox_Stop(index)
end

-- Everything else goes through the platform's media reader (FFmpeg), logged as WMA/WMV/ASF:
-- a looping FLAC song fades in from silence, is paused for a second, fades out and stops.
local function mediaReaderPart()
    local index = play("FLAC", "WMA/WMV/ASF", "variation.flac", 1)
    orvox.Orvox_Vol(index, 0)
    say("FLAC: fading in over 2.5 s")
    orvox.Orvox_FadeIn(index, 20)  -- five half-second ticks to full volume
    wait(4)
    expectPlaying("FLAC", index, "while fading in")
    say("FLAC: paused for 1 s")
    orvox.Orvox_Pause(index)
    wait(1)
    orvox.Orvox_Pause(index)
    wait(2)
    say("FLAC: fading out over 5 s")
    orvox.Orvox_FadeOut(index, 10)
    wait(5.5)
    say("FLAC: stopped")
    orvox.Orvox_Stop(index)
end

-- EAX environments: one song, 4 s dry, then 4 s each in a small room, a cave and an
-- aircraft hangar (reverberation times 0.4 s, 2.9 s and 10 s), then dry again.
local function eaxPart()
    local index = play("EAX", "OGG", "theme.ogg", 1)
    say("EAX: dry")
    wait(4)
    for _, environment in ipairs({{3, "room"}, {9, "cave"}, {11, "hangar"}}) do
        local status = orvox.Orvox_EAX(environment[1])
        say(string.format("EAX: %s (%d) -> %d", environment[2], environment[1], status))
        wait(4)
    end
    expectPlaying("EAX", index, "in the hangar")
    say("EAX: off -> " .. orvox.Orvox_EAX(0))
    wait(3)
    say("EAX: stopped")
    orvox.Orvox_Stop(index)
end

-- The CD (the disc image a5host was given): tracks 1 to 3 at 80 % volume, paused for a
-- second, then on to track 3, which fades out and stops; the device's notices reach the
-- engine's window.
local function cdPart()
    local tracks = fixed(orvox.Orvox_NumberOfTracksCD())
    if tracks == 0 then fail("CD", "no disc (give a5host --cd-image): " .. lastLogLine()) end
    say(string.format("CD: %d tracks; playing 1 to %d at volume 80", tracks, math.min(tracks, 3)))
    orvox.Orvox_VolCD(80)
    orvox.Orvox_PlayCD(1, math.min(tracks, 3))
    wait(2)
    say("CD: paused for 1 s")
    orvox.Orvox_PauseCD()
    wait(1)
    orvox.Orvox_PauseCD()
    wait(3)
    local track = fixed(orvox.Orvox_GetCurrTrackCD())
    if track == 0 then fail("CD", "no track plays after 6 s: " .. lastLogLine()) end
    say(string.format("CD: on track %d; next track", track))
    orvox.Orvox_NextTrackCD()
    wait(2)
    say("CD: fading out over 2 s")
    orvox.Orvox_FadeOutCD(20)  -- four half-second ticks from 80 % to silence
    wait(2.5)
    for _, m in ipairs(messages()) do
        say(string.format("CD: window message 0x%X, notice %d", m.message, m.wparam))
    end
    say("CD: stopped")
    orvox.Orvox_StopCD()
    orvox.Orvox_VolCD(100)
end

-- A WAV song streamed by wavestream: starts looping at volume 80, fades to 20 in steps,
-- stops for a second, starts again and stops.
local function wavestreamPart()
    local song = media .. "/song.wav"
    local function call(what, raw)
        say(string.format("wavestream: %s -> %g", what, fixed(raw)))
        return fixed(raw)
    end
    wavestream.__init()
    local loaded = call("ws_loadSong(" .. song .. ")", wavestream.ws_loadSong(song, 2, 44100, 16))
    if loaded ~= 0 then fail("wavestream", song .. " does not load (" .. loaded .. ")") end
    call("ws_playSong(80, loop)", wavestream.ws_playSong(80, 1))
    wait(3)
    if fixed(wavestream.ws_isSongPlaying()) == 0 then fail("wavestream", "the song stopped after 3 s") end
    say("wavestream: fading from 80 to 20 over 3 s")
    for volume = 75, 20, -5 do
        wavestream.ws_setSongVol(volume)
        wait(0.25)
    end
    call("ws_getSongVol()", wavestream.ws_getSongVol())
    call("ws_stopSong()", wavestream.ws_stopSong())
    wait(1)
    call("ws_playSong(80, loop)", wavestream.ws_playSong(80, 1))
    wait(3)
    call("ws_isSongPlaying()", wavestream.ws_isSongPlaying())
    call("ws_stopSong()", wavestream.ws_stopSong())
    call("ws_killSong()", wavestream.ws_killSong())
end

if orvox then
    part("Ogg", oggPart)
    part("MP3", mp3Part)
    part("MOD", trackerPart)
    part("FLAC", mediaReaderPart)
    part("EAX", eaxPart)
    part("CD", cdPart)
    orvox.Orvox_Shutdown()
end
if wavestream then
    part("wavestream", wavestreamPart)
end

wait(1)
say(string.format("done after %.1f s of sound", now()))
