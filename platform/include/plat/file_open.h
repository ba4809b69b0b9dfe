// Opening a file that a user named, for every library and tool of the project.
//
// A name may lead anywhere: to a FIFO whose open waits for a writer that never comes, to a
// device, to a directory. So every open here
//   - is non-blocking, then switched back to blocking I/O once the descriptor exists;
//   - checks the type of the opened descriptor itself (no window between check and use);
//   - is close-on-exec, so that no child process of the game inherits the file.
// Reading and appending accept regular files only: their reads never wait. Writing accepts
// any kind of file (a device such as /dev/null, a FIFO that has a reader), since a writer
// only waits for a consumer that exists.
//
// Header-only: the decoder library and the WAV reader use it without the platform runtime.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace plat {

enum class FileMode {
    Read,    // an existing regular file, read only ("rb")
    Write,   // created or truncated, write only ("wb"); any kind of file
    Append,  // a regular file, created when missing, read and appended to ("a+")
};

// errno of a name that is there but is not a regular file. Linux has no code of its own
// for it; this one is never set by open(2) itself.
inline constexpr int kNotRegularFile = EMEDIUMTYPE;

// The system's text for an errno of openFile, "not a regular file" for kNotRegularFile.
inline const char* openErrorText(int error) {
    return error == kNotRegularFile ? "not a regular file" : std::strerror(error);
}

// True when `path` names a regular file (after symbolic links). Opens nothing.
inline bool isRegularFile(const char* path) {
    struct stat info {};
    return path != nullptr && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

// A descriptor, or -1 with errno set (kNotRegularFile for a refused kind of file).
inline int openFile(const char* path, FileMode mode) {
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const bool regularOnly = mode != FileMode::Write;
    // Saves opening a device at all in the common case; the check that counts is on the
    // descriptor below.
    struct stat info {};
    if (regularOnly && ::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
        errno = kNotRegularFile;
        return -1;
    }
    constexpr int kAlways = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int flags = 0;
    switch (mode) {
        case FileMode::Read:
            flags = O_RDONLY;
            break;
        case FileMode::Write:
            flags = O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case FileMode::Append:
            flags = O_RDWR | O_CREAT | O_APPEND;
            break;
    }
    int fd;
    do {
        fd = ::open(path, flags | kAlways, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    int error = 0;
    const int status = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        error = errno;
    } else if (regularOnly && !S_ISREG(info.st_mode)) {
        error = kNotRegularFile;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

struct FileStreamClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileStream = std::unique_ptr<std::FILE, FileStreamClose>;

// The same as a stdio stream, or null with errno set.
inline FileStream openFileStream(const char* path, FileMode mode) {
    const int fd = openFile(path, mode);
    if (fd < 0) return nullptr;
    const char* stdioMode = mode == FileMode::Read ? "rb" : mode == FileMode::Write ? "wb" : "a+";
    FileStream file(::fdopen(fd, stdioMode));
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace plat
