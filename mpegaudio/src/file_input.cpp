// The file input module: reads a named file, or standard input for "-", and puts the ID3
// version 1 tag of ".mp3" files into the stream properties.
#include <mpegaudio/file_modules.h>
#include <sys/stat.h>

#include <array>
#include <memory>
#include <string>

#include "c_boundary.h"
#include "file_module_parts.h"
#include "id3v1.h"
#include "module_info.h"

namespace {

struct FileInput : mpa::FileInstance {
    static constexpr const char* kRefusal = "null params or null/empty input name";
};

FileInput* self(void* instance) {
    return static_cast<FileInput*>(instance);
}

constexpr mpa::DeviceEntry kDevices[] = {{"*", "any file name", 1}, {"-", "standard input", 0}};
constexpr mpa::ModuleText kText{"Input From File", "Version 1.2", kDevices};

void read_tag(FileInput& in) {
    std::FILE* f = in.file.get();
    if (fseeko(f, -static_cast<off_t>(mpa::kId3v1Size), SEEK_END) != 0) return;
    std::array<std::uint8_t, mpa::kId3v1Size> bytes{};
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) return;
    const auto tag = mpa::parse_id3v1(bytes);
    if (!tag) return;
    Decoder* d = in.decoder;
    d->services.set_stream_string(d, "id3/title", tag->title.c_str());
    d->services.set_stream_string(d, "id3/artist", tag->artist.c_str());
    d->services.set_stream_string(d, "id3/album", tag->album.c_str());
    d->services.set_stream_string(d, "id3/year", tag->year.c_str());
    d->services.set_stream_string(d, "id3/comment", tag->comment.c_str());
    d->services.set_stream_int(d, "id3/genre", tag->genre);
}

int32_t query(ModuleInfo* info, uint32_t flags) {
    return mpa::answer_query(kText, info, flags);
}

int32_t open(void* instance) {
    FileInput& in = *self(instance);
    if (in.name == "-") {
        in.file.borrow(stdin);
        return MPA_OK;
    }
    if (int error = in.file.open(in.name.c_str(), plat::FileMode::Read); error != 0) {
        return mpa::report_open_failure(in.decoder, in.module_id, "cannot open input file", error, true);
    }
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (mpa::wants_id3v1(in.name)) read_tag(in);
        std::rewind(in.file.get());
        return MPA_OK;
    });
}

int32_t close(void* instance) {
    self(instance)->file.close();
    return MPA_OK;
}

// All or nothing: a short read at the end counts as the end of the input.
int32_t read(void* instance, void* buffer, int32_t count) {
    std::FILE* f = self(instance)->file.get();
    if (f == nullptr || buffer == nullptr || count <= 0) return 0;
    return std::fread(buffer, 1, static_cast<std::size_t>(count), f) == static_cast<std::size_t>(count)
               ? count
               : 0;
}

// A seekable input is a regular file; pipes, terminals and standard input are not.
bool regular_file(const FileInput& in, struct stat& st) {
    return in.file.get() != nullptr && !in.file.borrowed() && fstat(fileno(in.file.get()), &st) == 0 &&
           S_ISREG(st.st_mode);
}

int32_t seek(void* instance, uint64_t position) {
    struct stat st {};
    FileInput& in = *self(instance);
    if (!regular_file(in, st) || position > static_cast<uint64_t>(st.st_size)) return MPA_E_NOT_POSSIBLE;
    return fseeko(in.file.get(), static_cast<off_t>(position), SEEK_SET) == 0 ? MPA_OK : MPA_E_NOT_POSSIBLE;
}

int32_t can_seek(void* instance) {
    struct stat st {};
    return regular_file(*self(instance), st) ? 1 : 0;
}

uint64_t size(void* instance) {
    struct stat st {};
    return regular_file(*self(instance), st) ? static_cast<uint64_t>(st.st_size) : 0;
}

constexpr ModuleDescriptor kDescriptor{
    .version = MPA_MODULE_VERSION,
    .input = {mpa::match_any, query, mpa::create_file_instance<FileInput>,
              mpa::destroy_file_instance<FileInput>, open, close, read, seek, can_seek, size, nullptr},
};

}  // namespace

extern "C" MPA_API const ModuleDescriptor* file_input_module(void) {
    return a5::guardExport(nullptr, [&]() -> const ModuleDescriptor* { return &kDescriptor; });
}
