#include "free_format_watch.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mpadec {

namespace {

// The longest free-format frame worth looking for: Layer III at 640 kbit/s and 32 kHz is
// 2,881 bytes with padding; Layer I and II at their highest free rates stay below this.
constexpr uint64_t kMaxFrameBytes = 4096;
// Frames of one stream differ in length by at most one padding slot (four bytes in Layer I).
constexpr uint64_t kPaddingSlack = 4;

// A header with bitrate index 0 whose other fixed fields are legal.
bool free_format_header(uint32_t word) {
    if ((word & 0xFFE00000u) != 0xFFE00000u) return false;
    const uint32_t version = word >> 19 & 3;  // 0 MPEG 2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const uint32_t layer = word >> 17 & 3;    // 0 reserved, 1 Layer III
    const uint32_t bitrate = word >> 12 & 15;
    const uint32_t rate = word >> 10 & 3;
    return version != 1 && layer != 0 && bitrate == 0 && rate != 3 && (version != 0 || layer == 1);
}

constexpr const char* kName = "free-format watch";

int32_t init(void** instance, int32_t, Decoder*) {
    *instance = new (std::nothrow) FreeFormatScanner;
    return *instance != nullptr ? MPA_OK : MPA_E_NO_MEMORY;
}

int32_t destroy(void* instance) {
    delete static_cast<FreeFormatScanner*>(instance);
    return MPA_OK;
}

int32_t read(void* instance, FilterLink* next, void* buffer, int32_t count) {
    const int32_t got = decoder_input_link_read(next, buffer, count);
    if (got > 0) static_cast<FreeFormatScanner*>(instance)->feed(static_cast<const uint8_t*>(buffer), size_t(got));
    return got;
}

int32_t seek(void* instance, FilterLink* next, uint64_t position) {
    static_cast<FreeFormatScanner*>(instance)->restart();
    return decoder_input_link_seek(next, position);
}

const FilterDescriptor kWatch = [] {
    FilterDescriptor f{};
    f.version = MPA_MODULE_VERSION;
    f.name = [] { return kName; };
    f.init = init;
    f.destroy = destroy;
    f.input.read = read;
    f.input.seek = seek;
    return f;
}();

}  // namespace

void FreeFormatScanner::feed(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        window_ = window_ << 8 | bytes[i];
        ++position_;
        if (position_ >= 4 && free_format_header(window_)) candidate(position_ - 4, window_ & 0xFFFE0C00u);
    }
}

void FreeFormatScanner::restart() {
    window_ = 0;
    position_ = 0;
    recent_.clear();
}

void FreeFormatScanner::candidate(uint64_t position, uint32_t kind) {
    std::erase_if(recent_, [&](const Header& h) { return position - h.position > 2 * kMaxFrameBytes; });
    for (const Header& b : recent_) {
        const uint64_t step = position - b.position;
        if (b.kind != kind || step < 8 || step > kMaxFrameBytes) continue;
        for (const Header& a : recent_) {
            if (a.kind != kind || a.position >= b.position) continue;
            const uint64_t before = b.position - a.position;
            if (std::max(before, step) - std::min(before, step) <= kPaddingSlack) found_ = true;
        }
    }
    recent_.push_back({position, kind});
}

const FilterDescriptor* free_format_watch() {
    return &kWatch;
}

bool free_format_seen(Decoder* d) {
    struct Search {
        bool seen = false;
    } search;
    decoder_each_input_filter(d, reinterpret_cast<uintptr_t>(&search), [](uintptr_t user, FilterLink* link) {
        const char* name = filter_link_name(link);
        if (name != nullptr && std::strcmp(name, kName) == 0) {
            reinterpret_cast<Search*>(user)->seen |=
                static_cast<const FreeFormatScanner*>(filter_link_instance(link))->found();
        }
        return 0;
    });
    return search.seen;
}

}  // namespace mpadec
