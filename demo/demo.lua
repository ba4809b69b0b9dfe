-- The bundled demo, run from the repository's top folder by `make demo`:
--   build/bin/a5host --render build/demo.wav demo/demo.lua
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

wait(1)
print(string.format("demo: done after %.1f s of sound", now()))
