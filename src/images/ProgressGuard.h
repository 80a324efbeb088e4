// One showing of the progress window: created on construction, freed on every way out of the
// scope that owns it. A context without a progress sink shows nothing.
#pragma once

#include <cstdint>

#include "core/Progress.h"

namespace quillon {

class ProgressGuard {
public:
    explicit ProgressGuard(ProgressSink* sink) : sink_(sink)
    {
        if (sink_) sink_->Create();
    }
    ~ProgressGuard() { Free(); }
    ProgressGuard(const ProgressGuard&) = delete;
    ProgressGuard& operator=(const ProgressGuard&) = delete;

    void SetPosition(int percent)
    {
        if (sink_) sink_->SetPosition(percent);
    }
    // count x 100 / total in unsigned 32-bit arithmetic, as every bulk loop reports it, kept
    // within the bar's 0 to 100.
    void SetFraction(std::uint32_t count, std::uint32_t total)
    {
        if (!sink_ || total == 0) return;
        std::uint64_t percent = std::uint64_t{count} * 100 / total;
        sink_->SetCount(count, total, percent > 100 ? 100 : static_cast<int>(percent));
    }
    // Frees the window early, for endings that must close it before their last steps.
    void Free()
    {
        if (sink_) sink_->Free();
        sink_ = nullptr;
    }

private:
    ProgressSink* sink_;
};

}  // namespace quillon
