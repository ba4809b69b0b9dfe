#include "plugin_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace a5host {

// The call deliberately goes through a pointer type other than the callee's own (see
// ExportFn); clang's function-type check would report it.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
int32_t
callExport(ExportFn fn, const ExportArgs& args) {
    return fn(args[0], args[1], args[2], args[3]);
}

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "cannot be loaded";
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, path));
}

PluginLibrary::~PluginLibrary() {
    dlclose(handle_);
}

ExportFn PluginLibrary::find(const char* name) const {
    return reinterpret_cast<ExportFn>(dlsym(handle_, name));
}

std::string resolvePluginPath(const std::string& name, const std::string& libraryDir) {
    if (name.find('/') != std::string::npos || libraryDir.empty()) return name;
    return (std::filesystem::path(libraryDir) / name).string();
}

std::string hostLibraryDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (exe.parent_path().parent_path() / "lib").string();
}

}  // namespace a5host
