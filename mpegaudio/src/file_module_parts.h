// What the file input and file output modules share: the file handle, the instance
// life cycle and the reports of files that do not open.
#pragma once

#include <mpegaudio/decoder.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include <plat/file_open.h>

#include "c_boundary.h"

namespace mpa {

// A C stdio file; standard input and output are borrowed, flushed and never closed.
class FileHandle {
  public:
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { close(); }

    void borrow(std::FILE* standard_stream) {
        close();
        file_ = standard_stream;
        borrowed_ = true;
    }
    // Returns errno on failure (plat::kNotRegularFile for a name that is not a regular
    // file when reading), 0 on success. Never waits for a FIFO's other end.
    int open(const char* path, plat::FileMode mode) {
        close();
        errno = 0;
        file_ = plat::openFileStream(path, mode).release();
        return file_ != nullptr ? 0 : (errno != 0 ? errno : EIO);
    }
    // Closes an owned file, flushes a borrowed one; false when buffered data was lost.
    bool close() {
        if (file_ == nullptr) return true;
        const bool ok = borrowed_ ? std::fflush(file_) == 0 : std::fclose(file_) == 0;
        file_ = nullptr;
        borrowed_ = false;
        return ok;
    }

    std::FILE* get() const { return file_; }
    bool borrowed() const { return borrowed_; }

  private:
    std::FILE* file_ = nullptr;
    bool borrowed_ = false;
};

// Reports why a file did not open and returns the matching status: -513 not found (when
// `missing_is_not_found`), -504 access denied, else -500 with the system's text ("not a
// regular file" for a FIFO, a device or a directory named as input).
inline std::int32_t report_open_failure(Decoder* d, std::int32_t module_id, const char* summary, int error,
                                        bool missing_is_not_found) {
    if (missing_is_not_found && error == ENOENT) {
        decoder_report(d, module_id, summary, "file not found");
        return MPA_E_FILE_NOT_FOUND;
    }
    if (error == EACCES) {
        decoder_report(d, module_id, summary, "permission denied");
        return MPA_E_PERMISSION;
    }
    decoder_report(d, module_id, summary, plat::openErrorText(error));
    return MPA_E_OPEN_FAILED;
}

// Every name is taken; opening tells whether the file is there.
inline std::int32_t match_any(const char*) {
    return 0;
}

// What every file module instance holds: its name, its module id for reports, the
// decoder and the file.
struct FileInstance {
    std::string name;
    std::int32_t module_id = 0;
    Decoder* decoder = nullptr;
    FileHandle file;
};

// `new` of both modules: Instance derives from FileInstance and has a kRefusal text
// reported for a missing or empty name.
template <class Instance>
std::int32_t create_file_instance(void** instance, const char* name, const ModuleRecord* record, Decoder* d) {
    const std::int32_t id = record != nullptr ? record->id : 0;
    if (instance == nullptr || name == nullptr || *name == '\0' || d == nullptr) {
        decoder_report(d, id, "internal error", Instance::kRefusal);
        return MPA_E_BAD_ARGUMENT;
    }
    return a5::guardExport(mpa::failure_status, [&]() -> std::int32_t {
        auto created = std::make_unique<Instance>();
        created->name = name;
        created->module_id = id;
        created->decoder = d;
        *instance = created.release();
        return MPA_OK;
    });
}

template <class Instance>
std::int32_t destroy_file_instance(void* instance) {
    delete static_cast<Instance*>(instance);
    return MPA_OK;
}

}  // namespace mpa
