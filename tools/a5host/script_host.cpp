#include "script_host.h"

#include <plat/a5platform.h>
#include <plat/winbase.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <lua.hpp>
#include <new>
#include <string>

#include "engine_host.h"
#include "engine_records.h"
#include "export_signatures.h"
#include "fixed_number.h"
#include "plugin_library.h"

namespace a5host {
namespace {

constexpr int kMaxExportArgs = 4;
// Virtual time runs in slices of this size so that a long wait can report progress.
constexpr uint64_t kProgressSliceNs = 100'000'000;

// Lua reports errors with longjmp, which skips C++ destructors and must not meet a C++
// exception. Every function the script can call runs through this guard: an exception
// becomes a Lua error raised after the handler has ended.
template <int (*F)(lua_State*)>
int guarded(lua_State* L) {
    char message[256];
    try {
        return F(L);
    } catch (const std::exception& e) {
        std::snprintf(message, sizeof message, "%s", e.what());
    } catch (...) {
        std::snprintf(message, sizeof message, "unknown failure");
    }
    return luaL_error(L, "%s", message);
}

// Message handler of the script's protected call: the message and where it came from.
int traceback(lua_State* L) {
    const char* message = lua_tostring(L, 1);
    if (message == nullptr) {
        if (luaL_callmeta(L, 1, "__tostring") && lua_type(L, -1) == LUA_TSTRING) {
            message = lua_tostring(L, -1);
        } else {
            message = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
        }
    }
    luaL_traceback(L, L, message, 1);
    return 1;
}

std::string describeArgument(lua_State* L, int index) {
    char text[64];
    switch (lua_type(L, index)) {
        case LUA_TSTRING:
            return std::string("\"") + lua_tostring(L, index) + "\"";
        case LUA_TNUMBER:
            if (lua_isinteger(L, index)) {
                std::snprintf(text, sizeof text, "%lld", static_cast<long long>(lua_tointeger(L, index)));
            } else {
                std::snprintf(text, sizeof text, "%.14g", static_cast<double>(lua_tonumber(L, index)));
            }
            return text;
        default:
            return luaL_typename(L, index);
    }
}

const char* kindName(ArgumentKind kind) {
    return kind == ArgumentKind::String ? "a string" : "a number";
}

// A known export gets exactly its arguments, each of its kind; an engine string may be nil
// (an absent string). Raises the Lua error that names the export and the argument. Only
// trivially destructible state here: luaL_error jumps.
void checkArguments(lua_State* L, const ExportSignature& signature, int argc) {
    if (argc != signature.count) {
        char names[160] = "";
        size_t used = 0;
        for (int i = 0; i < signature.count && used < sizeof names; ++i) {
            used += static_cast<size_t>(std::snprintf(names + used, sizeof names - used, "%s%s%s",
                                                      i == 0 ? " (" : ", ",
                                                      signature.parameters[static_cast<size_t>(i)].name,
                                                      i + 1 == signature.count ? ")" : ""));
        }
        luaL_error(L, "%s takes %d argument%s%s, got %d", signature.name, signature.count,
                   signature.count == 1 ? "" : "s", names, argc);
    }
    for (int i = 1; i <= argc; ++i) {
        const ExportParameter& parameter = signature.parameters[static_cast<size_t>(i - 1)];
        const int type = lua_type(L, i);
        const bool fits = parameter.kind == ArgumentKind::String ? type == LUA_TSTRING || type == LUA_TNIL
                                                                 : type == LUA_TNUMBER;
        if (!fits) {
            luaL_error(L, "%s: argument %d (%s) must be %s, got %s", signature.name, i, parameter.name,
                       kindName(parameter.kind), luaL_typename(L, i));
        }
    }
}

void logCall(lua_State* L, const char* name, int argc, int32_t result) {
    std::string line = std::string("a5host: ") + name + "(";
    for (int i = 1; i <= argc; ++i) {
        if (i > 1) line += ", ";
        line += describeArgument(L, i);
    }
    std::fprintf(stderr, "%s) -> %" PRId32 "\n", line.c_str(), result);
}

}  // namespace

ScriptHost::ScriptHost(EngineHost& engine, PluginSet& plugins, ScriptSettings settings)
    : engine_(engine),
      plugins_(plugins),
      settings_(std::move(settings)),
      progress_(settings_.showProgress),
      L_(luaL_newstate()) {
    if (L_ == nullptr) throw std::bad_alloc();
    luaL_openlibs(L_);
    registerFunction("plugin", &guarded<&ScriptHost::plugin>);
    registerFunction("fixed", &guarded<&ScriptHost::fixed>);
    registerFunction("wait", &guarded<&ScriptHost::wait>);
    registerFunction("now", &guarded<&ScriptHost::now>);
    registerFunction("services", &guarded<&ScriptHost::services>);
    registerFunction("messages", &guarded<&ScriptHost::messages>);
}

ScriptHost::~ScriptHost() {
    lua_close(L_);
}

void ScriptHost::registerFunction(const char* name, int (*fn)(lua_State*)) {
    lua_pushlightuserdata(L_, this);
    lua_pushcclosure(L_, fn, 1);
    lua_setglobal(L_, name);
}

ScriptHost& ScriptHost::self(lua_State* L) {
    return *static_cast<ScriptHost*>(lua_touserdata(L, lua_upvalueindex(1)));
}

bool ScriptHost::run(const std::string& path, const std::vector<std::string>& args, std::string& error) {
    lua_State* L = L_;
    lua_createtable(L, static_cast<int>(args.size()), 1);
    lua_pushstring(L, path.c_str());
    lua_rawseti(L, -2, 0);
    for (size_t i = 0; i < args.size(); ++i) {
        lua_pushstring(L, args[i].c_str());
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
    }
    lua_setglobal(L, "arg");

    lua_pushcfunction(L, &traceback);
    const int handler = lua_gettop(L);
    // Text only: precompiled chunks are not checked by Lua and could crash it.
    int status = luaL_loadfilex(L, path.c_str(), "t");
    if (status == LUA_OK) status = lua_pcall(L, 0, 0, handler);
    if (status != LUA_OK) {
        const char* message = lua_tostring(L, -1);
        error = message != nullptr ? message : "script failed";
    }
    lua_settop(L, 0);
    return status == LUA_OK;
}

int ScriptHost::plugin(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    return self(L).loadPlugin(L, name) ? 1 : lua_error(L);
}

bool ScriptHost::loadPlugin(lua_State* L, const char* name) {
    const std::string path = resolvePluginPath(name, settings_.libraryDir);
    std::string reason;
    auto library = PluginLibrary::open(path, reason);
    if (!library) {
        lua_pushfstring(L, "plugin: cannot load '%s': %s", name, reason.c_str());
        return false;
    }
    const ExportFn entry = library->find("A5_DLLAPI");
    if (entry == nullptr) {
        lua_pushfstring(L, "plugin: '%s' has no A5_DLLAPI export", path.c_str());
        return false;
    }
    const int32_t version =
        callExport(entry, {reinterpret_cast<uintptr_t>(engine_.interfaceRecord()), 0, 0, 0});
    if (settings_.verbose) {
        std::fprintf(stderr, "a5host: plugin(\"%s\") loaded %s, A5_DLLAPI -> %" PRId32 "\n", name,
                     path.c_str(), version);
    }
    PluginLibrary* raw = library.get();
    plugins_.push_back(std::move(library));

    // The table's fields are the exports, found on first use and kept.
    lua_newtable(L);
    lua_createtable(L, 0, 1);
    lua_pushlightuserdata(L, this);
    lua_pushlightuserdata(L, raw);
    lua_pushcclosure(L, &guarded<&ScriptHost::exportIndex>, 2);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    return true;
}

int ScriptHost::exportIndex(lua_State* L) {
    const auto* library = static_cast<const PluginLibrary*>(lua_touserdata(L, lua_upvalueindex(2)));
    if (lua_type(L, 2) != LUA_TSTRING) return luaL_error(L, "plug-in exports are named by strings");
    const char* name = lua_tostring(L, 2);
    const ExportFn fn = library->find(name);
    if (fn == nullptr) return luaL_error(L, "'%s' has no export '%s'", library->path().c_str(), name);

    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushlightuserdata(L, reinterpret_cast<void*>(fn));
    lua_pushvalue(L, 2);
    lua_pushlightuserdata(L, const_cast<ExportSignature*>(findExportSignature(name)));
    lua_pushcclosure(L, &guarded<&ScriptHost::exportCall>, 4);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);
    return 1;
}

int ScriptHost::exportCall(lua_State* L) {
    const auto fn = reinterpret_cast<ExportFn>(lua_touserdata(L, lua_upvalueindex(2)));
    const char* name = lua_tostring(L, lua_upvalueindex(3));
    const int argc = lua_gettop(L);
    if (argc > kMaxExportArgs)
        return luaL_error(L, "%s: exports take at most 4 arguments, got %d", name, argc);
    if (const auto* signature = static_cast<const ExportSignature*>(lua_touserdata(L, lua_upvalueindex(4))))
        checkArguments(L, *signature, argc);

    // Only trivially destructible state until the call: any check below may longjmp.
    // String records point at the Lua strings, which stay on the stack during the call.
    ExportArgs args{};
    std::array<host::EngineStringRecord, kMaxExportArgs> strings{
        host::EngineStringRecord(nullptr), host::EngineStringRecord(nullptr),
        host::EngineStringRecord(nullptr), host::EngineStringRecord(nullptr)};
    for (int i = 1; i <= argc; ++i) {
        uintptr_t& word = args[static_cast<size_t>(i - 1)];
        switch (lua_type(L, i)) {
            case LUA_TNUMBER: {
                const lua_Number n = lua_tonumber(L, i);
                const auto value = fixedFromNumber(static_cast<double>(n));
                if (!value) {
                    return luaL_error(L, "%s: argument %d (%f) is outside the engine's number range", name, i,
                                      n);
                }
                word = static_cast<uintptr_t>(static_cast<intptr_t>(*value));
                break;
            }
            case LUA_TSTRING: {
                auto& record = strings[static_cast<size_t>(i - 1)];
                record = host::EngineStringRecord(lua_tostring(L, i));
                word = reinterpret_cast<uintptr_t>(record.record());
                break;
            }
            case LUA_TNIL:  // an absent string: a null record
                break;
            default:
                return luaL_error(L, "%s: argument %d is a %s; exports take numbers and strings", name, i,
                                  luaL_typename(L, i));
        }
    }

    const int32_t result = callExport(fn, args);
    if (self(L).settings_.verbose) logCall(L, name, argc, result);
    lua_pushinteger(L, result);
    return 1;
}

int ScriptHost::fixed(lua_State* L) {
    const lua_Integer raw = luaL_checkinteger(L, 1);
    luaL_argcheck(L, raw >= INT32_MIN && raw <= INT32_MAX, 1, "not a 32-bit result");
    lua_pushnumber(L, static_cast<lua_Number>(raw) / 1024.0);
    return 1;
}

int ScriptHost::wait(lua_State* L) {
    constexpr double kMaxSeconds = 1e7;
    const lua_Number seconds = luaL_checknumber(L, 1);
    luaL_argcheck(L, seconds >= 0 && seconds <= kMaxSeconds, 1, "seconds must be from 0 to 10000000");
    self(L).advance(static_cast<uint64_t>(std::llround(seconds * 1e9)));
    return 0;
}

void ScriptHost::advance(uint64_t nanoseconds) {
    if (!a5p_is_virtual_clock()) {
        a5p_advance_ns(nanoseconds);
        return;
    }
    while (nanoseconds > 0) {
        const uint64_t slice = std::min(nanoseconds, kProgressSliceNs);
        a5p_advance_ns(slice);
        nanoseconds -= slice;
        progress_.update(a5p_now_ns());
    }
}

int ScriptHost::now(lua_State* L) {
    lua_pushnumber(L, static_cast<lua_Number>(a5p_now_ns()) / 1e9);
    return 1;
}

int ScriptHost::services(lua_State* L) {
    lua_pushinteger(L, EngineHost::serviceCalls(0));
    lua_pushinteger(L, EngineHost::serviceCalls(1));
    return 2;
}

int ScriptHost::messages(lua_State* L) {
    lua_newtable(L);
    MSG msg;
    for (lua_Integer n = 1; PeekMessageA(&msg, self(L).engine_.window(), 0, 0, PM_REMOVE); ++n) {
        lua_createtable(L, 0, 3);
        lua_pushinteger(L, msg.message);
        lua_setfield(L, -2, "message");
        lua_pushinteger(L, static_cast<lua_Integer>(msg.wParam));
        lua_setfield(L, -2, "wparam");
        lua_pushinteger(L, static_cast<lua_Integer>(msg.lParam));
        lua_setfield(L, -2, "lparam");
        lua_rawseti(L, -2, n);
    }
    return 1;
}

}  // namespace a5host
