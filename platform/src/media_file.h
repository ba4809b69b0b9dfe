// A user-named media file as FFmpeg reads it. The name is looked up once, by the platform's
// open for user-named files (it never blocks, and keeps only a regular file); from then on
// every read goes through that descriptor, so the file read is the one that was checked,
// whatever happens to the name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVIOContext;

namespace plat {

class MediaFile {
public:
    // Null when the name opens nothing or names anything but a regular file.
    static std::unique_ptr<MediaFile> open(const std::string& path);
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    // A new FFmpeg reader over the whole file, from its first byte; null when out of
    // memory. Each reader keeps its own position. Release it with closeReader.
    AVIOContext* newReader();
    static void closeReader(AVIOContext*& reader);

private:
    explicit MediaFile(int fd) : fd_(fd) {}
    const int fd_;
};

}  // namespace plat
