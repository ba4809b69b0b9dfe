// Buffered, read-only access to a RIFF file on disk or in memory, with the chunk walk
// the WAV reader needs: read a chunk header, find a chunk inside its parent, leave a chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace wavestream {

// Four-character code as stored in the file, read as a little-endian 32-bit word.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) | std::uint32_t(std::uint8_t(code[1])) << 8 |
           std::uint32_t(std::uint8_t(code[2])) << 16 | std::uint32_t(std::uint8_t(code[3])) << 24;
}

struct ChunkInfo {
    std::uint32_t id = 0;
    std::uint32_t size = 0;        // as declared; may run past the end of the file
    std::uint32_t formType = 0;    // "RIFF" and "LIST" chunks only
    std::uint64_t dataOffset = 0;  // file offset of the first byte after the size field
};

class RiffFile {
  public:
    // Opens a regular file without ever waiting (a FIFO is refused); nullptr when it cannot
    // be opened.
    static std::unique_ptr<RiffFile> open(const char* path);
    // Reads straight out of `block`, which must outlive the file.
    static std::unique_ptr<RiffFile> openMemory(std::span<const std::byte> block);

    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    std::uint64_t size() const { return size_; }
    std::uint64_t position() const { return bufferStart_ + cursor_; }

    // Reads the chunk header at the current position (and the form type of "RIFF"/"LIST").
    // Leaves the position at the chunk's data (past the form type).
    bool descend(ChunkInfo& chunk);
    // Searches forward from the current position for chunk `id` whose header starts inside
    // `parent`'s declared body; leaves the position at its data.
    bool find(ChunkInfo& chunk, const ChunkInfo& parent, std::uint32_t id);
    // Moves past the end of `chunk` (and its pad byte). Fails when the chunk's declared body
    // runs past the end of the file.
    bool ascend(const ChunkInfo& chunk);

    // Absolute seek; a position past the end of the file is refused.
    bool seek(std::uint64_t offset);
    // Copies up to `length` bytes straight out of the read buffer; returns how many were
    // copied (fewer at the end of the file or on a read error).
    std::size_t read(void* destination, std::size_t length);

  private:
    RiffFile(int fd, std::uint64_t size);
    explicit RiffFile(std::span<const std::byte> block);

    // Moves the read buffer on to the current position of a disk file and fills it; false
    // when no byte can be had there (end of file or a read error).
    bool advance();

    int fd_ = -1;                        // -1 for a memory file
    std::vector<std::byte> storage_;     // read buffer of a disk file
    const std::byte* buffer_ = nullptr;  // storage_, or the whole memory block
    std::uint64_t size_ = 0;
    std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::size_t valid_ = 0;          // bytes of buffer_ that hold file data
    std::size_t cursor_ = 0;         // next unread byte of buffer_, never past valid_
};

}  // namespace wavestream
