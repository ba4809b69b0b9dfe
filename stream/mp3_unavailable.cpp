// This build has no MPEG audio source yet: no file is taken for MP3.
#include "stream/mp3_stream.h"

namespace orvox::stream {

std::unique_ptr<BufferStream> makeMp3Stream() { return nullptr; }

}  // namespace orvox::stream
