// The Lua side of a5host: one script state with the engine's script interface
// (plugin, fixed, wait, now, services, messages), calling into plug-ins as the engine does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "render_progress.h"

struct lua_State;

namespace a5host {

class EngineHost;
class PluginLibrary;

using PluginSet = std::vector<std::unique_ptr<PluginLibrary>>;

struct ScriptSettings {
    bool verbose = false;       // print every plug-in call with its result
    bool showProgress = false;  // report rendered time during waits
    std::string libraryDir;     // where bare plug-in names are looked up
};

class ScriptHost {
  public:
    // Plug-ins loaded by the script are appended to `plugins`, which outlives the script
    // state so that they can be unloaded after the platform has shut down.
    ScriptHost(EngineHost& engine, PluginSet& plugins, ScriptSettings settings);
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Runs the script file with `args` as arg[1..]. False with the message and a traceback.
    bool run(const std::string& path, const std::vector<std::string>& args, std::string& error);

  private:
    static int plugin(lua_State* L);
    static int exportIndex(lua_State* L);
    static int exportCall(lua_State* L);
    static int fixed(lua_State* L);
    static int wait(lua_State* L);
    static int now(lua_State* L);
    static int services(lua_State* L);
    static int messages(lua_State* L);

    static ScriptHost& self(lua_State* L);
    // Loads the plug-in and calls its entry; pushes the export table, or the error text.
    bool loadPlugin(lua_State* L, const char* name);
    void advance(uint64_t nanoseconds);
    void registerFunction(const char* name, int (*fn)(lua_State*));

    EngineHost& engine_;
    PluginSet& plugins_;
    ScriptSettings settings_;
    RenderProgress progress_;
    lua_State* L_;
};

}  // namespace a5host
