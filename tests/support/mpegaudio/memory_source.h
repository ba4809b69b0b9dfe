// A ByteSource over bytes in memory, with the read service's semantics: a read succeeds only
// when all asked bytes are there, and ends the input otherwise.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "codec/frame.h"

namespace mpa::test {

struct MemorySource {
    std::span<const uint8_t> data;
    size_t pos = 0;

    static int32_t read(void* ctx, uint8_t* buf, uint32_t n) {
        auto* self = static_cast<MemorySource*>(ctx);
        if (self->data.size() - self->pos < n) {
            self->pos = self->data.size();
            return kEndOfInput;
        }
        std::memcpy(buf, self->data.data() + self->pos, n);
        self->pos += n;
        return 0;
    }

    ByteSource source() { return ByteSource{&MemorySource::read, this}; }
};

}  // namespace mpa::test
