// A plug-in library loaded with dlopen, as the engine loads its plug-ins, and calls into
// its exports.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace a5host {

// Every export is called through this one type: up to four integer-register arguments,
// a 32-bit result. On the x86-64 System V ABI that is sound for every export of the
// engine's kind (zero to four 32-bit integer or pointer arguments):
//  - the first six integer or pointer arguments travel in rdi, rsi, rdx, rcx, r8, r9
//    whatever the callee's prototype, so a callee declaring fewer ignores the rest;
//  - the caller removes what it pushed, and nothing is pushed for four arguments;
//  - a 32-bit argument is read from the low half of its register, and we pass each
//    int32_t sign-extended, so the high half holds no surprise either;
//  - the 32-bit result comes back in eax.
#if !defined(__x86_64__)
#error "plug-in exports are called through one generic pointer type; check that the ABI allows it"
#endif
using ExportFn = int32_t (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t);
using ExportArgs = std::array<uintptr_t, 4>;

int32_t callExport(ExportFn fn, const ExportArgs& args);

class PluginLibrary {
  public:
    // Loads the library at path (RTLD_NOW, RTLD_LOCAL). Null with dlerror's reason.
    static std::unique_ptr<PluginLibrary> open(const std::string& path, std::string& error);

    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Null when the library has no such export.
    ExportFn find(const char* name) const;
    const std::string& path() const { return path_; }

  private:
    PluginLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    void* handle_;
    std::string path_;
};

// Where plugin(NAME) looks: a name holding a '/' is a path (relative to the current
// directory); a bare file name is taken from the host's library folder.
std::string resolvePluginPath(const std::string& name, const std::string& libraryDir);

// <folder of the running executable>/../lib, or "" when it cannot be found.
std::string hostLibraryDir();

}  // namespace a5host
