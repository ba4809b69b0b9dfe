-- The shared WMA, ASF and WMV files through the plug-in, called by the host program as a game
-- calls it: two loop, one plays once; fades, a pause and shutdown act on them.
-- Usage: a5host --render OUT.wav windows_media_host.lua WMA_DIR
local requireShared = dofile((arg[0]:match("^(.*)/") or ".") .. "/../support/shared_data.lua")
local dir = arg[1]
local files = {"wma_v2_stereo_44100.wma", "asf_wmav2_stereo_32000.asf", "wmv_video_with_wmav2_audio.wmv"}
for _, name in ipairs(files) do requireShared(dir .. "/" .. name) end

local orvox = plugin("liborvox.so")
local function playing(index) return orvox.Orvox_IsPlaying(index) == 1 end
local function lastLogLine()
  local last = ""
  for line in io.lines("MediaLog.txt") do last = line end
  return last
end

local function play(name, loop) return math.tointeger(fixed(orvox.Orvox_Play(dir .. "/" .. name, loop))) end

local wma = play(files[1], 1)
assert(lastLogLine() == "Success: WMA/WMV/ASF: " .. dir .. "/" .. files[1] .. " playing with index: " .. wma,
       lastLogLine())
local asf = play(files[2], 1)
local wmv = play(files[3], 0)
assert(wma == 0 and asf == 1 and wmv == 2, "indexes " .. wma .. " " .. asf .. " " .. wmv)
assert(playing(wma) and playing(asf) and playing(wmv), "all three play")

orvox.Orvox_Vol(wma, 0)
orvox.Orvox_FadeIn(wma, 25)  -- four half-second ticks to full volume
orvox.Orvox_FadeOut(asf, 50)  -- two ticks to silence; the sound plays on
wait(3)
orvox.Orvox_Pause(asf)
wait(0.5)
assert(not playing(asf), "a paused stream is not playing")
orvox.Orvox_Pause(asf)
orvox.Orvox_Vol(asf, 80)
wait(0.5)
assert(playing(asf), "resumed")

-- Past the end of every file (10 s, 10 s and 5.1 s): the looping ones restarted, the
-- other one ended.
wait(19)
assert(playing(wma) and playing(asf), "the looping files play on")
assert(not playing(wmv), "the file played once has ended")

orvox.Orvox_Shutdown()
assert(not playing(wma) and not playing(asf), "shutdown ends them")
assert(lastLogLine() == "Success: Shutdown", lastLogLine())
print("windows media through the host: done")
