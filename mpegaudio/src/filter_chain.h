// The input and output chains: filters stacked above a base link that forwards every call
// to the module instance the decoder holds. The decoder always calls the head.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <memory>
#include <vector>

enum class ChainSide { input, output };

struct FilterLink {
    FilterLink* next = nullptr;  // toward the base link; null for the base itself
    std::int32_t id = 0;
    void* instance = nullptr;
    FilterDescriptor filter{};  // all methods null for the base link
    Decoder* decoder = nullptr;
    ChainSide side = ChainSide::input;
};

class FilterChain {
  public:
    FilterChain(Decoder* decoder, ChainSide side);
    ~FilterChain();
    FilterChain(const FilterChain&) = delete;
    FilterChain& operator=(const FilterChain&) = delete;

    FilterLink* head() const { return links_.front().get(); }

    // Returns the new filter's id, or a negative status.
    std::int32_t add(const FilterDescriptor* filter, std::int32_t position);
    // Returns the new head's id, or MPA_E_NOT_POSSIBLE when nothing matches the key.
    std::int32_t remove(const char* name, std::int32_t key);
    void each(uintptr_t user, std::int32_t (*fn)(uintptr_t, FilterLink*)) const;

  private:
    void relink();

    std::vector<std::unique_ptr<FilterLink>> links_;  // head first, base link last
};

inline bool is_base(const FilterLink* link) {
    return link->next == nullptr;
}
