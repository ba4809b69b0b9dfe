#include "media_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <plat/file_open.h>

namespace plat {

namespace {

constexpr int kReadBlockBytes = 32768;

struct Cursor {
    int fd;
    int64_t position = 0;
};

int readBlock(void* opaque, uint8_t* buffer, int size) {
    auto* cursor = static_cast<Cursor*>(opaque);
    for (;;) {
        const ssize_t got = ::pread(cursor->fd, buffer, static_cast<size_t>(size), cursor->position);
        if (got > 0) {
            cursor->position += got;
            return static_cast<int>(got);
        }
        if (got == 0) return AVERROR_EOF;
        if (errno != EINTR) return AVERROR(errno);
    }
}

int64_t seekTo(void* opaque, int64_t offset, int whence) {
    auto* cursor = static_cast<Cursor*>(opaque);
    struct stat info {};
    if (whence & AVSEEK_SIZE) return ::fstat(cursor->fd, &info) == 0 ? info.st_size : AVERROR(errno);
    int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            base = cursor->position;
            break;
        case SEEK_END:
            if (::fstat(cursor->fd, &info) != 0) return AVERROR(errno);
            base = info.st_size;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (offset < -base) return AVERROR(EINVAL);
    cursor->position = base + offset;
    return cursor->position;
}

}  // namespace

std::unique_ptr<MediaFile> MediaFile::open(const std::string& path) {
    const int fd = openFile(path.c_str(), FileMode::Read);
    if (fd < 0) return nullptr;
    return std::unique_ptr<MediaFile>(new MediaFile(fd));
}

MediaFile::~MediaFile() { ::close(fd_); }

AVIOContext* MediaFile::newReader() {
    auto* block = static_cast<uint8_t*>(av_malloc(kReadBlockBytes));
    if (block == nullptr) return nullptr;
    auto* cursor = new Cursor{fd_};
    AVIOContext* reader = avio_alloc_context(block, kReadBlockBytes, 0, cursor, &readBlock, nullptr, &seekTo);
    if (reader == nullptr) {
        av_free(block);
        delete cursor;
    }
    return reader;
}

void MediaFile::closeReader(AVIOContext*& reader) {
    if (reader == nullptr) return;
    delete static_cast<Cursor*>(reader->opaque);
    av_freep(&reader->buffer);
    avio_context_free(&reader);
}

}  // namespace plat
