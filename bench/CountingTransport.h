// The real serial transport, counting what crosses it each way and how long the program waited
// on it, for the benchmarks that split their wall time into wire, latency, chip and own time.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>

#include "gateway/Transport.h"

namespace quillon::bench {

inline constexpr double kByteSeconds = 11.0 / 250000.0;  // one byte on a 250000-baud 8N2 line

struct WireTraffic {
    std::uint64_t sent = 0, received = 0;
    double waitedS = 0;  // blocked in the transport or holding packets back for the gateway
};

class CountingTransport final : public Transport {
public:
    // `paceWrites`: a real port's write returns when its bytes have left the UART; a
    // pseudo-terminal's returns at once and lets the writer run seconds ahead of the paced
    // gateway, which no real line allows. So a write then also waits until the line would have
    // sent its bytes (give or take a 2 ms buffer).
    CountingTransport(std::unique_ptr<Transport> inner, WireTraffic& traffic, bool paceWrites = false)
        : inner_(std::move(inner)), t_(traffic), paceWrites_(paceWrites)
    {
    }

private:
    // Defined before its callers: its return type is deduced.
    template <class F>
    auto Timed(F&& f)
    {
        const auto start = std::chrono::steady_clock::now();
        auto r = f();
        t_.waitedS += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return r;
    }

public:
    bool Write(std::span<const std::uint8_t> bytes) override
    {
        t_.sent += bytes.size();
        return Timed([&] {
            const bool ok = inner_->Write(bytes);
            if (!paceWrites_) return ok;
            using namespace std::chrono;
            const auto now = steady_clock::now();
            lineFree_ = std::max(lineFree_, now) +
                        duration_cast<steady_clock::duration>(duration<double>(kByteSeconds * bytes.size()));
            if (lineFree_ - now > milliseconds(2)) std::this_thread::sleep_until(lineFree_ - milliseconds(2));
            return ok;
        });
    }
    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override
    {
        const std::size_t n = Timed([&] { return inner_->Read(buffer, timeout); });
        t_.received += n;
        return n;
    }
    std::size_t ReadUntilPause(std::span<std::uint8_t> buffer, std::size_t needed, std::chrono::milliseconds timeout,
                               std::chrono::microseconds pause) override
    {
        const std::size_t n = Timed([&] { return inner_->ReadUntilPause(buffer, needed, timeout, pause); });
        t_.received += n;
        return n;
    }
    std::size_t Queued(std::chrono::microseconds settle) override
    {
        return Timed([&] { return inner_->Queued(settle); });
    }
    void DiscardInput() override { inner_->DiscardInput(); }
    Clock::time_point Now() override { return inner_->Now(); }
    void WaitFor(Clock::duration wait) override
    {
        Timed([&] {
            inner_->WaitFor(wait);
            return 0;
        });
    }

private:
    std::unique_ptr<Transport> inner_;
    WireTraffic& t_;
    bool paceWrites_;
    std::chrono::steady_clock::time_point lineFree_{};
};

}  // namespace quillon::bench
