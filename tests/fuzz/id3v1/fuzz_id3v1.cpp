// The ID3v1 reader as a player meets it: bytes written to an ".mp3" file and opened through
// the decoder's file input, which puts the tag in the last 128 bytes into stream properties.
// Checks what a caller relies on: a tag exactly when the last 128 bytes start with "TAG",
// each text within its field's length, without trailing padding, and the file opened for
// decoding whatever the tag holds.
#include <mpegaudio/decoder.h>
#include <mpegaudio/file_modules.h>
#include <mpegaudio/mpeg_codec.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "scratch_folder.h"

namespace {

constexpr std::size_t kTagBytes = 128;
// A tag, some audio before it, and files shorter than a tag.
constexpr std::size_t kMaxInputBytes = 4096;

struct Field {
    const char* name;
    std::size_t length;
};
constexpr Field kFields[] = {
    {"id3/title", 30}, {"id3/artist", 30}, {"id3/album", 30}, {"id3/year", 4}, {"id3/comment", 30},
};

// Aborts unless the text property `field` is present exactly when `tagged`, and then fits
// its field and carries no padding at its end.
void checkField(Decoder* d, const Field& field, bool tagged) {
    char text[64];
    const int32_t rc = decoder_get_stream_string(d, field.name, text, static_cast<uint32_t>(field.length + 1));
    if ((rc == 0) != tagged) std::abort();
    if (rc != 0) return;
    const std::size_t length = std::strlen(text);
    if (length > field.length || (length > 0 && text[length - 1] == ' ')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInputBytes) return 0;
    const std::string path = fuzz::ScratchFolder::instance().write("tagged.mp3", data, size);
    const bool tagged = size >= kTagBytes && std::memcmp(data + size - kTagBytes, "TAG", 3) == 0;

    Decoder* d = nullptr;
    if (decoder_create(&d) != 0) return 0;
    decoder_register_codec(d, mpeg_codec_module());
    decoder_register_input(d, file_input_module());
    if (decoder_attach_input(d, path.c_str(), -1) != 0 || decoder_open_input(d) != 0) std::abort();
    for (const Field& field : kFields) checkField(d, field, tagged);
    int32_t genre = 0;
    const int32_t rc = decoder_get_stream_int(d, "id3/genre", &genre);
    if ((rc == 0) != tagged || (tagged && genre != static_cast<int8_t>(data[size - 1]))) std::abort();
    // The stream under the tag still decodes (or ends) as any other.
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(d->codec.max_bytes));
    for (int frame = 0; frame < 2 && decoder_decode(d, pcm.data()) == 0; ++frame) {
    }
    decoder_close_input(d);
    decoder_destroy(d);
    return 0;
}
