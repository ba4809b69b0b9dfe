// Opens arbitrary bytes as a WAV held in memory and reads its data in uneven pieces, with
// rewinds, checking that no read hands out more than the data chunk holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_target.h"
#include "wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wavestream::WavReader reader;
    if (FAILED(reader.openCopy({reinterpret_cast<const std::byte*>(data), size}))) return 0;
    const WAVEFORMATEX* format = reader.format();
    if (format == nullptr) std::abort();
    // The whole record, extra bytes included, must be readable.
    const auto* record = reinterpret_cast<const std::uint8_t*>(format);
    volatile std::uint8_t last = record[sizeof(WAVEFORMATEX) + format->cbSize - 1];
    (void)last;

    std::vector<std::byte> block(4099);
    for (int pass = 0; pass < 2; ++pass) {
        std::uint64_t total = 0;
        DWORD piece = 1;
        for (;;) {
            DWORD got = 0;
            if (FAILED(reader.read(block.data(), piece, &got))) break;
            if (got > piece) std::abort();
            total += got;
            if (total > reader.dataSize()) std::abort();
            if (got == 0) break;
            piece = piece * 5 % static_cast<DWORD>(block.size()) + 1;
        }
        if (FAILED(reader.rewind())) std::abort();  // it succeeded once at open
    }
    return 0;
}
