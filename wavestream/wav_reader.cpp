#include "wav_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace wavestream {
namespace {

// The fields of the format up to and including the bits per sample (PCMWAVEFORMAT).
constexpr std::size_t kPcmFormatBytes = 16;

}  // namespace

WavReader::~WavReader() {
    close();
}

HRESULT WavReader::open(const char* name, ResourceLookup resources) {
    if (name == nullptr) return E_INVALIDARG;
    return guarded([&] {
        if (auto file = RiffFile::open(name)) return start(std::move(file));
        std::optional<std::span<const std::byte>> resource;
        if (resources != nullptr) {
            resource = resources(name, "WAVE");
            if (!resource) resource = resources(name, "WAV");
        }
        if (!resource || resource->empty()) return E_FAIL;
        // The copy is ours: the memory file never reads past its end, whatever the chunks declare.
        resourceCopy_.assign(resource->begin(), resource->end());
        return start(RiffFile::openMemory(resourceCopy_));
    });
}

HRESULT WavReader::openCopy(std::span<const std::byte> bytes) {
    return guarded([&] {
        resourceCopy_.assign(bytes.begin(), bytes.end());
        return start(RiffFile::openMemory(resourceCopy_));
    });
}

template <typename OpenFn>
HRESULT WavReader::guarded(OpenFn openFn) {
    close();
    format_.clear();
    dataSize_ = 0;
    try {
        return openFn();
    } catch (const std::bad_alloc&) {
        close();
        format_.clear();
        return E_OUTOFMEMORY;
    }
}

HRESULT WavReader::start(std::unique_ptr<RiffFile> file) {
    file_ = std::move(file);
    if (const HRESULT hr = parseHeader(); FAILED(hr)) {
        close();
        return hr;
    }
    if (const HRESULT hr = rewind(); FAILED(hr)) return hr;
    dataSize_ = dataChunk_.size;
    return S_OK;
}

HRESULT WavReader::parseHeader() {
    format_.clear();
    if (!file_->descend(riffChunk_) || riffChunk_.id != fourCC("RIFF") ||
        riffChunk_.formType != fourCC("WAVE")) {
        return E_FAIL;
    }
    ChunkInfo fmt;
    if (!file_->find(fmt, riffChunk_, fourCC("fmt ")) || fmt.size < kPcmFormatBytes) return E_FAIL;

    WAVEFORMATEX head{};
    if (file_->read(&head, kPcmFormatBytes) != kPcmFormatBytes) return E_FAIL;
    // PCM formats carry no extra bytes, whatever the chunk holds beyond the first 16. Others
    // take the next two bytes as the extra size, even past a 16-byte chunk.
    head.cbSize = 0;
    if (head.wFormatTag != WAVE_FORMAT_PCM &&
        file_->read(&head.cbSize, sizeof head.cbSize) != sizeof head.cbSize) {
        return E_FAIL;
    }
    // The extra size is at most 65535; refuse it before allocating when the file is shorter.
    if (head.cbSize > file_->size() - file_->position()) return E_FAIL;
    std::vector<std::byte> record(sizeof(WAVEFORMATEX) + head.cbSize);
    std::memcpy(record.data(), &head, sizeof head);
    if (file_->read(record.data() + sizeof head, head.cbSize) != head.cbSize) return E_FAIL;
    if (!file_->ascend(fmt)) return E_FAIL;
    format_ = std::move(record);
    return S_OK;
}

const WAVEFORMATEX* WavReader::format() const {
    // The record's bytes start with a WAVEFORMATEX (a packed, trivially copyable type).
    return format_.empty() ? nullptr : reinterpret_cast<const WAVEFORMATEX*>(format_.data());
}

HRESULT WavReader::rewind() {
    if (!file_) return CO_E_NOTINITIALIZED;
    dataLeft_ = 0;
    if (!file_->seek(riffChunk_.dataOffset + 4)) return E_FAIL;
    if (!file_->find(dataChunk_, riffChunk_, fourCC("data"))) return E_FAIL;
    dataLeft_ = dataChunk_.size;
    return S_OK;
}

HRESULT WavReader::read(void* destination, DWORD length, DWORD* bytesRead) {
    if (!file_) return CO_E_NOTINITIALIZED;
    if (destination == nullptr || bytesRead == nullptr) return E_INVALIDARG;
    *bytesRead = 0;
    const DWORD wanted = std::min(length, dataLeft_);
    dataLeft_ -= wanted;
    // The file ends inside the data chunk when fewer bytes come.
    if (file_->read(destination, wanted) != wanted) return E_FAIL;
    *bytesRead = wanted;
    return S_OK;
}

HRESULT WavReader::close() {
    file_.reset();
    resourceCopy_.clear();
    resourceCopy_.shrink_to_fit();
    return S_OK;
}

}  // namespace wavestream
