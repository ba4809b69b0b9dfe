-- ws_playSong again and again on a song that is playing, on the real clock: each replay
-- rewrites the whole ring while the mixer thread plays it. The thread sanitizer build runs
-- this too. Usage: a5host --output null replay_storm.lua SCRATCH_WAV [REPLAYS]
local path, replays = arg[1], tonumber(arg[2] or "200")

-- A 4 s 44.1 kHz 16-bit stereo tone, written here so that the test needs no media.
local rate, seconds = 44100, 4
local frames = {}
for i = 0, rate * seconds - 1 do
  local s = math.floor(8000 * math.sin(2 * math.pi * 440 * i / rate))
  frames[#frames + 1] = string.pack("<i2i2", s, s)
end
local data = table.concat(frames)
local file = assert(io.open(path, "wb"))
file:write("RIFF", string.pack("<I4", 36 + #data), "WAVEfmt ",
           string.pack("<I4I2I2I4I4I2I2", 16, 1, 2, rate, rate * 4, 4, 16), "data", string.pack("<I4", #data), data)
file:close()

local w = plugin("libwavestream.so")
assert(w.ws_loadSong(path, 2, rate, 16) == 0, "the song does not load")
for k = 1, replays do
  local result = w.ws_playSong(100, 1)
  assert(result == 0, "replay " .. k .. " answered " .. result)
  wait(0.01)
end
assert(w.ws_isSongPlaying() == 1024, "the song stopped")
assert(w.ws_killSong() == 0)
print("replayed " .. replays .. " times")
