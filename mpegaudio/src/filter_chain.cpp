#include "filter_chain.h"

#include <algorithm>
#include <cstring>

#include "c_boundary.h"

FilterChain::FilterChain(Decoder* decoder, ChainSide side) {
    auto base = std::make_unique<FilterLink>();
    base->decoder = decoder;
    base->side = side;
    links_.push_back(std::move(base));
}

FilterChain::~FilterChain() {
    for (auto& link : links_) {
        if (!is_base(link.get()) && link->filter.destroy != nullptr) link->filter.destroy(link->instance);
    }
}

void FilterChain::relink() {
    for (std::size_t i = 0; i + 1 < links_.size(); ++i) links_[i]->next = links_[i + 1].get();
    links_.back()->next = nullptr;
}

std::int32_t FilterChain::add(const FilterDescriptor* filter, std::int32_t position) {
    if (filter == nullptr || filter->name == nullptr || position < -1) return MPA_E_BAD_ARGUMENT;
    if ((filter->version & MPA_VERSION_MASK) != MPA_MODULE_VERSION) return MPA_E_VERSION;

    std::int32_t id = 1;
    while (std::ranges::any_of(links_, [&](const auto& l) { return l->id == id; })) ++id;

    const FilterLink& base = *links_.back();
    auto link = std::make_unique<FilterLink>();
    link->id = id;
    link->filter = *filter;
    link->decoder = base.decoder;
    link->side = base.side;
    links_.reserve(links_.size() + 1);  // the insert below cannot fail after init ran
    if (filter->init != nullptr) {
        if (std::int32_t rc = filter->init(&link->instance, id, base.decoder); rc != 0) return rc;
    }

    // -1: at the head; 0 or 1: directly above the base; n >= 2: above filter n if present.
    auto place = links_.end() - 1;
    if (position == -1) {
        place = links_.begin();
    } else if (position >= 2) {
        auto found = std::ranges::find_if(links_.begin(), links_.end() - 1,
                                          [&](const auto& l) { return l->id == position; });
        if (found != links_.end() - 1) place = found;
    }
    links_.insert(place, std::move(link));
    relink();
    return id;
}

std::int32_t FilterChain::remove(const char* name, std::int32_t key) {
    const auto filters_end = links_.end() - 1;
    auto victim = filters_end;
    if (key == -2) {
        if (name == nullptr) return MPA_E_NOT_POSSIBLE;
        victim = std::ranges::find_if(links_.begin(), filters_end, [&](const auto& l) {
            const char* own = l->filter.name();
            return own != nullptr && std::strcmp(own, name) == 0;
        });
    } else if (key == -1) {
        victim = links_.begin();
    } else if (key == 0) {
        if (links_.size() > 1) victim = filters_end - 1;
    } else if (key > 0) {
        victim =
            std::ranges::find_if(links_.begin(), filters_end, [&](const auto& l) { return l->id == key; });
    }
    if (victim == filters_end) return MPA_E_NOT_POSSIBLE;

    if ((*victim)->filter.destroy != nullptr) (*victim)->filter.destroy((*victim)->instance);
    links_.erase(victim);
    relink();
    return head()->id;
}

void FilterChain::each(uintptr_t user, std::int32_t (*fn)(uintptr_t, FilterLink*)) const {
    for (FilterLink* link = head(); !is_base(link); link = link->next) fn(user, link);
}

// Forwarding: the first link at or below `link` with the method takes the call; the base
// link hands it to the module instance, or answers with the module's default.
namespace {

struct InputSide {
    static const InputFilterMethods& filter(const FilterLink* l) { return l->filter.input; }
    static const InputMethods* module(const Decoder* d) {
        return d->input.module != nullptr && d->input.instance != nullptr ? &d->input.module->descriptor.input
                                                                          : nullptr;
    }
    static void* instance(const Decoder* d) { return d->input.instance; }
};

struct OutputSide {
    static const OutputFilterMethods& filter(const FilterLink* l) { return l->filter.output; }
    static const OutputMethods* module(const Decoder* d) {
        return d->output.module != nullptr && d->output.instance != nullptr
                   ? &d->output.module->descriptor.output
                   : nullptr;
    }
    static void* instance(const Decoder* d) { return d->output.instance; }
};

template <class Side, auto FilterSlot, auto ModuleSlot, class R, class... A>
R forward(FilterLink* link, R fallback, A... args) {
    for (; link != nullptr && !is_base(link); link = link->next) {
        if (auto method = Side::filter(link).*FilterSlot) return method(link->instance, link->next, args...);
    }
    if (link == nullptr) return fallback;
    const auto* module = Side::module(link->decoder);
    if (module == nullptr || module->*ModuleSlot == nullptr) return fallback;
    return (module->*ModuleSlot)(Side::instance(link->decoder), args...);
}

template <class Side, auto FilterSlot, auto ModuleSlot>
bool handled(const FilterLink* link) {
    for (; link != nullptr && !is_base(link); link = link->next) {
        if (Side::filter(link).*FilterSlot != nullptr) return true;
    }
    if (link == nullptr) return false;
    const auto* module = Side::module(link->decoder);
    return module != nullptr && module->*ModuleSlot != nullptr;
}

constexpr std::int32_t kFail = MPA_E_NOT_POSSIBLE;
constexpr std::int32_t kInternal = MPA_E_INTERNAL;

}  // namespace

extern "C" {

MPA_API int32_t decoder_input_link_open(FilterLink* link) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        return forward<InputSide, &InputFilterMethods::open, &InputMethods::open>(link, kInternal);
    });
}
MPA_API int32_t decoder_input_link_close(FilterLink* link) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        return forward<InputSide, &InputFilterMethods::close, &InputMethods::close>(link, kInternal);
    });
}
MPA_API int32_t decoder_input_link_read(FilterLink* link, void* buffer, int32_t count) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        return forward<InputSide, &InputFilterMethods::read, &InputMethods::read>(link, kInternal, buffer,
                                                                                  count);
    });
}
MPA_API int32_t decoder_input_link_seek(FilterLink* link, uint64_t position) {
    return a5::guardExport(kFail, [&]() -> int32_t {
        return forward<InputSide, &InputFilterMethods::seek, &InputMethods::seek>(link, kFail, position);
    });
}
MPA_API int32_t decoder_input_link_can_seek(FilterLink* link) {
    return a5::guardExport(0, [&]() -> int32_t {
        return forward<InputSide, &InputFilterMethods::can_seek, &InputMethods::can_seek>(link, 0);
    });
}
MPA_API uint64_t decoder_input_link_size(FilterLink* link) {
    return a5::guardExport(uint64_t{0}, [&]() -> uint64_t {
        return forward<InputSide, &InputFilterMethods::size, &InputMethods::size>(link, uint64_t{0});
    });
}
MPA_API int32_t decoder_input_link_control(FilterLink* link, intptr_t a, intptr_t b, intptr_t c) {
    return a5::guardExport(kFail, [&]() -> int32_t {
        return forward<InputSide, &InputFilterMethods::control, &InputMethods::control>(link, kFail, a, b, c);
    });
}

MPA_API int32_t decoder_output_link_open(FilterLink* link) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        return forward<OutputSide, &OutputFilterMethods::open, &OutputMethods::open>(link, kInternal);
    });
}
MPA_API int32_t decoder_output_link_close(FilterLink* link) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        return forward<OutputSide, &OutputFilterMethods::close, &OutputMethods::close>(link, kInternal);
    });
}
MPA_API int32_t decoder_output_link_write(FilterLink* link, const void* buffer, int32_t bytes,
                                          int32_t bytes_per_sample, int32_t channels, int32_t sample_rate) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        return forward<OutputSide, &OutputFilterMethods::write, &OutputMethods::write>(
            link, kInternal, buffer, bytes, bytes_per_sample, channels, sample_rate);
    });
}
MPA_API void* decoder_output_link_get_buffer(FilterLink* link, int32_t bytes) {
    return a5::guardExport(nullptr, [&]() -> void* {
        return forward<OutputSide, &OutputFilterMethods::get_buffer, &OutputMethods::get_buffer>(
            link, static_cast<void*>(nullptr), bytes);
    });
}
MPA_API int32_t decoder_output_link_set_format(FilterLink* link, const PcmFormat* format, uint32_t flags) {
    return a5::guardExport(0, [&]() -> int32_t {
        return forward<OutputSide, &OutputFilterMethods::set_format, &OutputMethods::set_format>(
            link, 0, format, flags);
    });
}
MPA_API int32_t decoder_output_link_control_block(FilterLink* link, OutputControlBlock* block,
                                                  int32_t value) {
    return a5::guardExport(kInternal, [&]() -> int32_t {
        if (handled<OutputSide, &OutputFilterMethods::control_block, &OutputMethods::control_block>(link)) {
            return forward<OutputSide, &OutputFilterMethods::control_block, &OutputMethods::control_block>(
                link, kInternal, block, value);
        }
        if (block != nullptr) {
            constexpr std::int32_t defaults[] = {2, 100, 100, 50, 1};
            std::copy(std::begin(defaults), std::end(defaults), block->words + 2);
        }
        return MPA_OK;
    });
}
MPA_API int32_t decoder_output_link_tag(FilterLink* link, uintptr_t* word) {
    return a5::guardExport(kFail, [&]() -> int32_t {
        return forward<OutputSide, &OutputFilterMethods::tag, &OutputMethods::tag>(link, kFail, word);
    });
}
MPA_API uint32_t decoder_output_link_capabilities(FilterLink* link) {
    return a5::guardExport(MPA_OUTPUT_DEFAULT_CAPS, [&]() -> uint32_t {
        return forward<OutputSide, &OutputFilterMethods::capabilities, &OutputMethods::capabilities>(
            link, MPA_OUTPUT_DEFAULT_CAPS);
    });
}
MPA_API int32_t decoder_output_link_control(FilterLink* link, intptr_t a, intptr_t b, intptr_t c) {
    return a5::guardExport(kFail, [&]() -> int32_t {
        return forward<OutputSide, &OutputFilterMethods::control, &OutputMethods::control>(link, kFail, a, b,
                                                                                           c);
    });
}

MPA_API int32_t filter_link_id(const FilterLink* link) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return link != nullptr ? link->id : MPA_E_BAD_ARGUMENT; });
}
MPA_API void* filter_link_instance(const FilterLink* link) {
    return a5::guardExport(nullptr, [&]() -> void* { return link != nullptr ? link->instance : nullptr; });
}
MPA_API const char* filter_link_name(const FilterLink* link) {
    return a5::guardExport(nullptr, [&]() -> const char* {
        if (link == nullptr || link->filter.name == nullptr) return nullptr;
        return link->filter.name();
    });
}

}  // extern "C"
