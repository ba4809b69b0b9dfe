#include "buffer_format.h"

#include <cstring>

namespace plat {

namespace {

std::optional<SampleType> integerType(uint32_t bits) {
    switch (bits) {
        case 8: return SampleType::U8;
        case 16: return SampleType::S16;
        case 24: return SampleType::S24;
        case 32: return SampleType::S32;
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<BufferFormat> playableFormat(const WAVEFORMATEX& record) {
    const uint32_t bits = record.wBitsPerSample;
    std::optional<SampleType> type;
    switch (record.wFormatTag) {
        case WAVE_FORMAT_PCM: type = integerType(bits); break;
        case WAVE_FORMAT_IEEE_FLOAT:
            if (bits == 32) type = SampleType::F32;
            break;
        case WAVE_FORMAT_EXTENSIBLE: {
            if (record.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) return std::nullopt;
            WAVEFORMATEXTENSIBLE ext;
            std::memcpy(&ext, &record, sizeof ext);
            const uint32_t valid = ext.Samples.wValidBitsPerSample;
            if (valid > bits) return std::nullopt;
            if (ext.SubFormat == KSDATAFORMAT_SUBTYPE_PCM) {
                type = integerType(bits);
            } else if (ext.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT && bits == 32 && (valid == 0 || valid == 32)) {
                type = SampleType::F32;
            }
            break;
        }
        default: break;
    }
    if (!type) return std::nullopt;
    const uint32_t channels = record.nChannels;
    if (channels < 1 || channels > 2 || record.nSamplesPerSec < DSBFREQUENCY_MIN ||
        record.nSamplesPerSec > DSBFREQUENCY_MAX || record.nBlockAlign != channels * bits / 8)
        return std::nullopt;
    return BufferFormat{*type, channels, record.nSamplesPerSec, record.nBlockAlign};
}

}  // namespace plat
