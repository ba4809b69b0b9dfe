// The platform's IWMReader (see plat/wmsdk.h): one thread per opened file, which decodes
// with MediaDecoder and calls the callback with statuses and samples, paced by the
// platform clock. Under the virtual clock that thread is a worker of the kernel, so the
// clock waits for each delivery and a render gives the same bytes every time.
#pragma once

#include <plat/wmsdk.h>

namespace plat {

// Throws std::bad_alloc when memory runs out.
HRESULT createMediaReader(IWMReader** reader);

}  // namespace plat
