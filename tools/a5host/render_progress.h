// A one-line progress report for long renders, on standard error when it is a terminal.
#pragma once

#include <chrono>
#include <cstdint>

namespace a5host {

class RenderProgress {
  public:
    // Reports only when enabled and standard error is a terminal.
    explicit RenderProgress(bool enabled);
    ~RenderProgress();
    RenderProgress(const RenderProgress&) = delete;
    RenderProgress& operator=(const RenderProgress&) = delete;

    // The clock has reached renderedNs; redraws at most a few times a second.
    void update(uint64_t renderedNs);

  private:
    using Clock = std::chrono::steady_clock;

    void draw(uint64_t renderedNs);

    bool active_;
    bool drawn_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_ = start_;
    uint64_t lastRenderedNs_ = 0;
};

}  // namespace a5host
