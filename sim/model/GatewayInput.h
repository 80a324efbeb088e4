// The gateway's receive side in time: bytes arrive at line speed into an input buffer of a few
// bytes, and the firmware takes one command out at a time, once all its bytes are in and it is
// done with the one before. A command keeps it busy while its answer goes out at line speed (and
// for its long pulses), as the firmware sends with a blocking UART write before reading on. The
// UART has no flow control: a byte that arrives while the buffer is full is lost, and the firmware
// then reads the bytes after it as whatever commands they look like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "model/Gateway.h"
#include "model/Trace.h"

namespace quillon::sim {

class GatewayInput {
public:
    // What executing a command took: how many answer bytes it sent and how long it held the
    // firmware besides (long pulses), in ms.
    struct Executed {
        std::size_t answerBytes = 0;
        double heldMs = 0;
    };

    // `capacity` 0: a buffer that never fills. `byteMs`: the line time of one byte (0: an
    // unpaced line). `commandDelayMs`: extra time every command takes, for a gateway slower
    // than the line.
    GatewayInput(std::size_t capacity, double byteMs, double commandDelayMs)
        : capacity_(capacity), byteMs_(byteMs), delayMs_(commandDelayMs)
    {
    }

    // Bytes written at `writtenMs`: they arrive one after another at line speed behind any still
    // on the line. `execute(command, beginMs)` runs a command that begins before a byte arrives.
    template <class Execute>
    void Arrive(std::span<const std::uint8_t> bytes, double writtenMs, Execute&& execute)
    {
        for (std::uint8_t b : bytes) {
            lineFreeMs_ = std::max(lineFreeMs_, writtenMs) + byteMs_;
            RunUntil(lineFreeMs_, execute);
            if (capacity_ > 0 && held_.size() >= capacity_) {
                ++lost_;
                continue;
            }
            held_.push_back({b, lineFreeMs_});
        }
    }

    // Runs every command that begins at or before `ms`.
    template <class Execute>
    void RunUntil(double ms, Execute&& execute)
    {
        while (auto begin = NextBegin()) {
            if (*begin > ms) return;
            RunNext(execute);
        }
    }

    // Runs the next whole command at once, whenever it begins; false when there is none.
    template <class Execute>
    bool RunNext(Execute&& execute)
    {
        const auto begin = NextBegin();
        if (!begin) return false;
        const std::size_t length = HeadLength();
        Bytes command;
        for (std::size_t i = 0; i < length; ++i) {
            command.push_back(held_.front().byte);
            held_.pop_front();
        }
        const Executed done = execute(command, *begin);
        freeMs_ = *begin + static_cast<double>(done.answerBytes) * byteMs_ + done.heldMs + delayMs_;
        return true;
    }

    // When the command at the head of the buffer begins; nullopt while none is whole.
    std::optional<double> NextBegin() const
    {
        const std::size_t length = HeadLength();
        if (length == 0 || held_.size() < length) return std::nullopt;
        return std::max(freeMs_, held_[length - 1].arrivedMs);
    }

    std::uint64_t Lost() const { return lost_; }
    std::size_t Held() const { return held_.size(); }
    // When the firmware is done with the last command it began.
    double FreeMs() const { return freeMs_; }

private:
    struct HeldByte {
        std::uint8_t byte;
        double arrivedMs;
    };

    std::size_t HeadLength() const
    {
        if (held_.empty()) return 0;
        const auto args = CommandArguments(held_.front().byte);
        return args ? *args + 1 : 1;  // an unknown byte goes alone; the firmware reports it
    }

    std::size_t capacity_;
    double byteMs_;
    double delayMs_;
    std::deque<HeldByte> held_;
    double lineFreeMs_ = 0;
    double freeMs_ = 0;
    std::uint64_t lost_ = 0;
};

}  // namespace quillon::sim
