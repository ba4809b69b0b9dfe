#include "memory_input.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace mpa::test {

namespace {

constexpr const char* kPrefix = "memory:";

struct Instance {
    const MemoryInputData* data = nullptr;
    size_t pos = 0;
};

Instance* self(void* instance) {
    return static_cast<Instance*>(instance);
}

int32_t match(const char* name) {
    return std::strncmp(name, kPrefix, std::strlen(kPrefix)) == 0 ? 0 : -1;
}

int32_t create(void** instance, const char* name, const ModuleRecord*, Decoder*) {
    void* p = nullptr;
    if (std::sscanf(name + std::strlen(kPrefix), "%p", &p) != 1) return MPA_E_BAD_ARGUMENT;
    auto* in = new (std::nothrow) Instance;
    if (in == nullptr) return MPA_E_NO_MEMORY;
    in->data = static_cast<const MemoryInputData*>(p);
    *instance = in;
    return MPA_OK;
}

int32_t destroy(void* instance) {
    delete self(instance);
    return MPA_OK;
}

int32_t open(void* instance) {
    self(instance)->pos = 0;
    return MPA_OK;
}

int32_t close(void*) {
    return MPA_OK;
}

int32_t read(void* instance, void* buffer, int32_t count) {
    Instance& in = *self(instance);
    const size_t size = in.data->bytes.size();
    if (count <= 0 || size - in.pos < static_cast<size_t>(count)) {
        in.pos = size;
        return 0;
    }
    std::memcpy(buffer, in.data->bytes.data() + in.pos, static_cast<size_t>(count));
    in.pos += static_cast<size_t>(count);
    return count;
}

int32_t seek(void* instance, uint64_t position) {
    Instance& in = *self(instance);
    if (!in.data->seekable || position > in.data->bytes.size()) return -1;
    in.pos = static_cast<size_t>(position);
    return MPA_OK;
}

int32_t can_seek(void* instance) {
    return self(instance)->data->seekable ? 1 : 0;
}

uint64_t size(void* instance) {
    const MemoryInputData& data = *self(instance)->data;
    return data.seekable ? data.bytes.size() : 0;
}

ModuleDescriptor make_descriptor() {
    ModuleDescriptor m{};
    m.version = MPA_MODULE_VERSION;
    m.input = InputMethods{match, nullptr, create, destroy, open, close, read, seek, can_seek, size, nullptr};
    return m;
}

const ModuleDescriptor kDescriptor = make_descriptor();

}  // namespace

const ModuleDescriptor* memory_input_module() {
    return &kDescriptor;
}

std::string memory_input_name(const MemoryInputData* data) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%p", kPrefix, static_cast<const void*>(data));
    return name;
}

}  // namespace mpa::test
