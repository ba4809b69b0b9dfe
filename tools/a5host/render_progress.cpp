#include "render_progress.h"

#include <unistd.h>

#include <cstdio>

namespace a5host {

RenderProgress::RenderProgress(bool enabled) : active_(enabled && isatty(STDERR_FILENO) == 1) {}

RenderProgress::~RenderProgress() {
    if (!drawn_) return;
    draw(lastRenderedNs_);
    std::fputc('\n', stderr);
}

void RenderProgress::update(uint64_t renderedNs) {
    if (!active_) return;
    lastRenderedNs_ = renderedNs;
    const auto now = Clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    draw(renderedNs);
}

void RenderProgress::draw(uint64_t renderedNs) {
    const double rendered = static_cast<double>(renderedNs) / 1e9;
    const double spent = std::chrono::duration<double>(Clock::now() - start_).count();
    if (spent > 0) {
        std::fprintf(stderr, "\ra5host: rendered %.1f s (%.0fx real time)  ", rendered, rendered / spent);
    } else {
        std::fprintf(stderr, "\ra5host: rendered %.1f s  ", rendered);
    }
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace a5host
