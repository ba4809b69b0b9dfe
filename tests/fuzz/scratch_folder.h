// A private folder for fuzz targets whose code under test takes file names. It is made
// under $TMPDIR on first use and removed, with all it holds, when the process exits.
// Failing to make or write it is a fault of the machine, not of the input: it aborts.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzz {

class ScratchFolder {
public:
    static ScratchFolder& instance() {
        static ScratchFolder folder;
        return folder;
    }

    const std::string& path() const { return path_; }

    // Replaces the file `name` in the folder by `size` bytes of `data`; returns its path.
    std::string write(const char* name, const std::uint8_t* data, std::size_t size) const {
        std::string file = path_ + "/" + name;
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) fail("cannot create", file);
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0) fail("cannot write", file);
            done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) fail("cannot write", file);
        return file;
    }

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

private:
    ScratchFolder() {
        std::error_code error;
        path_ = (std::filesystem::temp_directory_path(error) / "a5fuzz.XXXXXX").string();
        if (error || ::mkdtemp(path_.data()) == nullptr) fail("cannot make", path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    [[noreturn]] static void fail(const char* what, const std::string& file) {
        std::fprintf(stderr, "%s %s\n", what, file.c_str());
        std::abort();
    }

    std::string path_;
};

}  // namespace fuzz
