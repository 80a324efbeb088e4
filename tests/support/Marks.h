// Marks a test sets before the step it looks at: the log lines written since, and gateway faults
// counted in packets from there.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "log/Log.h"
#include "model/SimDevice.h"

namespace quillon::test {

class LogMark {
public:
    explicit LogMark(const Log& log) : log_(&log), start_(log.Size()) {}

    void Reset() { start_ = log_->Size(); }

    // The log lines written since the mark.
    std::vector<std::string> Lines() const
    {
        const auto all = log_->Lines();
        return {all.begin() + static_cast<std::ptrdiff_t>(start_), all.end()};
    }

private:
    const Log* log_;
    std::size_t start_;
};

class PacketMark {
public:
    explicit PacketMark(sim::SimDevice& device) : device_(&device), start_(device.PacketsWritten()) {}

    void Reset() { start_ = device_->PacketsWritten(); }

    // The packet this many packets after the mark, and every one after it, fails to write.
    void HangUpAfter(int packets) { device_->ActiveFaults().hangupAfter = start_ + packets; }
    // The gateway takes every packet after this many and answers none of them.
    void FallSilentAfter(int packets) { device_->ActiveFaults().silentAfter = start_ + packets; }
    int PacketsSince() const { return device_->PacketsWritten() - start_; }

private:
    sim::SimDevice* device_;
    int start_;
};

}  // namespace quillon::test
