// The file output module: writes PCM to a named file, or standard output for "-", raw or
// with a WAV, AIFF or Sun audio header chosen by a name prefix.
#include <mpegaudio/file_modules.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "c_boundary.h"
#include "file_module_parts.h"
#include "module_info.h"
#include "pcm_headers.h"

namespace {

using mpa::PcmFileFormat;

struct FileOutput : mpa::FileInstance {
    static constexpr const char* kRefusal = "null params or null/empty output name";
    std::uint64_t written = 0;
    std::uint32_t sample_rate = 44100;
    std::uint32_t channels = 2;
    PcmFileFormat format = PcmFileFormat::raw;
    bool header_written = false;
    std::vector<std::uint8_t> swapped;  // big-endian copy of a block, kept between writes
};

FileOutput* self(void* instance) {
    return static_cast<FileOutput*>(instance);
}

constexpr mpa::DeviceEntry kDevices[] = {
    {"*, or raw:*", "file name (raw PCM format)", 1},
    {"wav:*", "file name (WAV format)", 1},
    {"-", "standard output", 0},
    {"aiff:*", "file name (AIFF format)", 1},
    {"sun:*", "file name (Sun audio format)", 1},
};
constexpr mpa::ModuleText kText{"Output To File", "Version 1.2", kDevices};

struct Prefix {
    std::string_view text;
    PcmFileFormat format;
};
constexpr Prefix kPrefixes[] = {{"raw:", PcmFileFormat::raw},
                                {"wav:", PcmFileFormat::wav},
                                {"aiff:", PcmFileFormat::aiff},
                                {"sun:", PcmFileFormat::sun}};

bool put(std::FILE* f, const void* data, std::size_t n) {
    return std::fwrite(data, 1, n, f) == n;
}

bool write_header(FileOutput& out, std::uint64_t data_bytes) {
    const mpa::PcmHeader h = mpa::make_pcm_header(out.format, data_bytes, out.channels, out.sample_rate);
    return put(out.file.get(), h.bytes.data(), h.size);
}

int32_t query(ModuleInfo* info, uint32_t flags) {
    return mpa::answer_query(kText, info, flags);
}

int32_t open(void* instance) {
    FileOutput& out = *self(instance);
    out.written = 0;
    out.header_written = false;
    out.sample_rate = 44100;
    out.channels = 2;
    out.format = PcmFileFormat::raw;
    std::string_view path = out.name;
    for (const Prefix& p : kPrefixes) {
        if (path.starts_with(p.text)) {
            out.format = p.format;
            path.remove_prefix(p.text.size());
            break;
        }
    }
    if (path == "-") {
        out.file.borrow(stdout);
        return MPA_OK;
    }
    const std::string file_name(path);
    if (int error = out.file.open(file_name.c_str(), plat::FileMode::Write); error != 0) {
        return mpa::report_open_failure(out.decoder, out.module_id, "cannot open output file", error, false);
    }
    return MPA_OK;
}

// Writes the block as 16-bit samples in the file's byte order.
bool write_samples(FileOutput& out, const void* buffer, std::size_t bytes) {
    if (!mpa::is_big_endian(out.format)) return put(out.file.get(), buffer, bytes);
    const auto* src = static_cast<const std::uint8_t*>(buffer);
    out.swapped.resize(bytes);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        out.swapped[i] = src[i + 1];
        out.swapped[i + 1] = src[i];
    }
    if ((bytes & 1u) != 0) out.swapped[bytes - 1] = src[bytes - 1];
    return put(out.file.get(), out.swapped.data(), bytes);
}

int32_t write(void* instance, const void* buffer, int32_t bytes, int32_t, int32_t channels,
              int32_t sample_rate) {
    FileOutput& out = *self(instance);
    if (out.file.get() == nullptr || buffer == nullptr || bytes <= 0) return 0;
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (!out.header_written) {
            out.sample_rate = static_cast<std::uint32_t>(std::max(sample_rate, 0));
            out.channels = static_cast<std::uint32_t>(std::max(channels, 0));
            // A Sun header that is never rewritten (standard output) says "size unknown".
            const std::uint64_t size_now = out.format == PcmFileFormat::sun ? UINT64_MAX : 0;
            if (!write_header(out, size_now)) return 0;
            out.header_written = true;
        }
        if (!write_samples(out, buffer, static_cast<std::size_t>(bytes))) return 0;
        out.written += static_cast<std::uint64_t>(bytes);
        return bytes;
    });
}

// Rewrites the header with the final size when the file can go back to its start. A file
// that got no samples still receives a header, so it is a valid empty file of its format.
int32_t close(void* instance) {
    FileOutput& out = *self(instance);
    if (out.file.get() == nullptr) return MPA_OK;
    if (out.format != PcmFileFormat::raw) {
        if (!out.header_written) {
            write_header(out, 0);
            out.header_written = true;
        } else if (!out.file.borrowed() && std::fseek(out.file.get(), 0, SEEK_SET) == 0) {
            write_header(out, out.written);
        }
    }
    return out.file.close() ? MPA_OK : MPA_E_OPEN_FAILED;
}

constexpr ModuleDescriptor kDescriptor{
    .version = MPA_MODULE_VERSION,
    .output = {mpa::match_any, query, mpa::create_file_instance<FileOutput>,
               mpa::destroy_file_instance<FileOutput>, open, close, write, nullptr, nullptr, nullptr, nullptr,
               nullptr, nullptr},
};

}  // namespace

extern "C" MPA_API const ModuleDescriptor* file_output_module(void) {
    return a5::guardExport(nullptr, [&]() -> const ModuleDescriptor* { return &kDescriptor; });
}
