#include "riff_file.h"

#include <plat/file_open.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wavestream {
namespace {

// Large enough that one refill block of a song (3/16 s) takes one or two reads.
constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::uint32_t kHeaderBytes = 8;

std::uint32_t le32(const std::byte* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

}  // namespace

std::unique_ptr<RiffFile> RiffFile::open(const char* path) {
    const int fd = plat::openFile(path, plat::FileMode::Read);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return nullptr;
    }
    try {
        return std::unique_ptr<RiffFile>(new RiffFile(fd, static_cast<std::uint64_t>(info.st_size)));
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::unique_ptr<RiffFile> RiffFile::openMemory(std::span<const std::byte> block) {
    return std::unique_ptr<RiffFile>(new RiffFile(block));
}

RiffFile::RiffFile(int fd, std::uint64_t size)
    : storage_(kBufferBytes), buffer_(storage_.data()), size_(size) {
    fd_ = fd;  // only once nothing can throw any more: the destructor closes it
}

RiffFile::RiffFile(std::span<const std::byte> block)
    : buffer_(block.data()), size_(block.size()), valid_(block.size()) {}

RiffFile::~RiffFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool RiffFile::advance() {
    if (fd_ < 0) return false;  // a memory file is one buffer, all of it valid
    bufferStart_ += cursor_;
    cursor_ = 0;
    valid_ = 0;
    if (bufferStart_ >= size_) return false;
    ssize_t got;
    do {
        got = ::pread(fd_, storage_.data(), storage_.size(), static_cast<off_t>(bufferStart_));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    valid_ = static_cast<std::size_t>(got);
    return true;
}

bool RiffFile::seek(std::uint64_t offset) {
    if (offset > size_) return false;
    if (offset >= bufferStart_ && offset - bufferStart_ <= valid_) {
        cursor_ = static_cast<std::size_t>(offset - bufferStart_);
    } else {
        bufferStart_ = offset;
        cursor_ = 0;
        valid_ = 0;
    }
    return true;
}

std::size_t RiffFile::read(void* destination, std::size_t length) {
    auto* out = static_cast<std::byte*>(destination);
    std::size_t done = 0;
    while (done < length) {
        if (cursor_ == valid_ && !advance()) break;
        const std::size_t n = std::min(valid_ - cursor_, length - done);
        std::memcpy(out + done, buffer_ + cursor_, n);
        cursor_ += n;
        done += n;
    }
    return done;
}

bool RiffFile::descend(ChunkInfo& chunk) {
    std::byte header[kHeaderBytes];
    if (read(header, sizeof header) != sizeof header) return false;
    ChunkInfo found;
    found.id = le32(header);
    found.size = le32(header + 4);
    found.dataOffset = position();
    if (found.id == fourCC("RIFF") || found.id == fourCC("LIST")) {
        std::byte form[4];
        if (read(form, sizeof form) != sizeof form) return false;
        found.formType = le32(form);
    }
    chunk = found;
    return true;
}

bool RiffFile::find(ChunkInfo& chunk, const ChunkInfo& parent, std::uint32_t id) {
    // 64-bit offsets: declared sizes up to 4 GiB cannot wrap the walk, and every step moves
    // forward by at least a header, so the walk ends.
    const std::uint64_t parentEnd = parent.dataOffset + parent.size;
    std::uint64_t at = position();
    while (at < parentEnd && seek(at)) {
        std::byte header[kHeaderBytes];
        if (read(header, sizeof header) != sizeof header) return false;
        const std::uint32_t size = le32(header + 4);
        if (le32(header) == id) {
            chunk = ChunkInfo{id, size, 0, at + kHeaderBytes};
            return true;
        }
        at += kHeaderBytes + std::uint64_t(size) + (size & 1u);
    }
    return false;
}

bool RiffFile::ascend(const ChunkInfo& chunk) {
    const std::uint64_t end = chunk.dataOffset + chunk.size;
    if (end > size_) return false;
    // A pad byte missing at the very end of the file is tolerated.
    return seek(std::min(end + (chunk.size & 1u), size_));
}

}  // namespace wavestream
