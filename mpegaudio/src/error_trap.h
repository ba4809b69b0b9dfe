// The decoder's error trap. A codec that meets an impossible value deep inside a frame
// calls raise_fatal(); decoder_decode catches the exception, returns -700 and leaves the
// decoder usable. Unwinding runs every destructor on the way, so nothing leaks; the
// exception never leaves the library's C interface.
#pragma once

namespace mpa {

struct FatalDecodeError {};

[[noreturn]] inline void raise_fatal() {
    throw FatalDecodeError{};
}

}  // namespace mpa
