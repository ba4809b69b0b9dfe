// Read access to one RIFF WAVE sound, from a file or from a private copy of a resource of
// the host program: its format record, the size of its sample data, and the sample bytes
// in order with a rewind to the first one. Results are Windows result codes.
#pragma once

#include <plat/dsound.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "riff_file.h"

namespace wavestream {

// Finds resource `name` of `type` in the host program: nothing when there is none, an
// empty block when it exists but cannot be loaded, is empty or cannot be locked.
using ResourceLookup = std::optional<std::span<const std::byte>> (*)(const char* name, const char* type);

class WavReader {
  public:
    WavReader() = default;
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // Opens `name` as a file; when no file opens, as the resource `name` of type "WAVE", else
    // of type "WAV", read from a private copy. Leaves the reader at the first data byte.
    HRESULT open(const char* name, ResourceLookup resources);
    // Opens a private copy of a whole WAV held in memory.
    HRESULT openCopy(std::span<const std::byte> bytes);

    // The format record (18 bytes and cbSize more), or null; kept after close.
    const WAVEFORMATEX* format() const;
    // Size of the "data" chunk as declared.
    DWORD dataSize() const { return dataSize_; }

    HRESULT rewind();
    // Copies up to `length` data bytes; never past the end of the "data" chunk.
    HRESULT read(void* destination, DWORD length, DWORD* bytesRead);
    HRESULT close();

  private:
    // Starts an open afresh (closed, no format) and turns a failed allocation into a result.
    template <typename OpenFn>
    HRESULT guarded(OpenFn openFn);
    HRESULT start(std::unique_ptr<RiffFile> file);
    HRESULT parseHeader();

    std::vector<std::byte> format_;  // empty: no format
    std::unique_ptr<RiffFile> file_;
    ChunkInfo dataChunk_;
    ChunkInfo riffChunk_;
    DWORD dataLeft_ = 0;  // data bytes not yet read since the last rewind
    DWORD dataSize_ = 0;
    std::vector<std::byte> resourceCopy_;
};

}  // namespace wavestream
