// This build has no EAX-capable device: the setup fails where neither DirectSound class
// can be created, and the line of that step is written whether logging is on or not.
#include "player/eax.h"

#include "player/media_log.h"

namespace orvox::eax {

int32_t select(int) {
    log::write("Error: Failed to CoCreateInstance of EAXDirectSound and DirectSound for EAX\n");
    return 0;
}

void shutdown() {}

}  // namespace orvox::eax
