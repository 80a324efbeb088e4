// A simulated gateway as the program's transport sees it: the firmware model with its socket,
// the trace of everything exchanged, and the faults a test or a user switched on.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "gateway/Link.h"
#include "gateway/Transport.h"
#include "model/Gateway.h"
#include "model/GatewayInput.h"
#include "model/Trace.h"

namespace quillon::sim {

struct Faults {
    std::optional<int> silentAfter;  // after this many packets: writes succeed, nothing answers
    std::optional<int> hangupAfter;  // after this many packets: every write and read fails
    bool neverReady = false;         // RDY/BSY (PC0) stays 0
    std::optional<int> shortSpi;     // SpiReadBack answers only this many bytes (0 to 8)
    Bytes stray;                     // extra bytes sent after an answer...
    int strayAfterAnswer = 1;        // ...after this answer (1 = the first: the handshake's)...
    bool strayEveryAnswer = false;   // ...or after that one and every answer after it
    bool pace = false;               // a 250000-baud 8N2 line: 44 us per byte each way
    int latencyUs = 0;               // a USB adapter's delay per transfer (with or without pace)

    // One answer changed on its way, the N-th answer counted as for `stray` (1 = the handshake's),
    // at byte `index` of it (an answer shorter than that is left alone).
    struct AnswerByte {
        int answer = 1;
        int index = 0;
    };
    std::optional<AnswerByte> lostByte;     // that byte never arrives
    std::optional<AnswerByte> doubledByte;  // that byte arrives twice
    // The N-th answer's bytes from `from` on arrive `ms` later than the ones before them: a pause
    // inside the answer, or (from 0) a late answer. Bytes behind them wait their turn.
    struct AnswerDelay {
        int answer = 1;
        int from = 0;
        int ms = 0;
    };
    std::optional<AnswerDelay> delayedAnswer;

    // The gateway's input buffer in bytes (0: it never fills). Bytes arriving while it is full
    // are lost, and the gateway reads the bytes after them as whatever commands they look like.
    int inputBuffer = 0;
    int commandDelayUs = 0;          // every command takes this much longer: a gateway slower than the line
};

inline constexpr double kByteTimeMs = 0.044;  // 11 bits at 250000 baud

class SimDevice {
public:
    SimDevice(std::unique_ptr<SocketChip> chip, Faults faults);

    // What the transport does with the program's bytes; also used by tavro-sim.
    bool Write(std::span<const std::uint8_t> bytes);
    std::size_t Read(std::span<std::uint8_t> buffer);
    std::size_t Queued();        // answer bytes not read yet
    void DiscardOutput();        // the program flushed its input
    // Read for a program that waits: takes what has arrived and, while fewer than `needed` bytes
    // are in, lets virtual time run to each delayed byte due within `timeoutMs`; once they are
    // in, only to bytes due within `pauseMs` of the last. One answer in the trace.
    std::size_t ReadWaiting(std::span<std::uint8_t> buffer, std::size_t needed, double timeoutMs, double pauseMs);
    // Answer bytes held back by `delayedAnswer` that will have arrived within `ms` from now.
    std::size_t QueuedWithin(double ms);
    // How long until the next held-back answer byte arrives; nullopt when none is held.
    std::optional<double> MsUntilHeldArrive();

    // Whether the socket has supply (+5 V, +12 V on RESET, or serial programming's power), and
    // the same in words: "off", or "on:" and what is on.
    bool SocketPowered() const;
    std::string SocketPower() const;

    Gateway& Model() { return gateway_; }
    SocketChip* Chip() { return gateway_.Chip(); }
    sim::Trace& Trace() { return trace_; }
    Faults& ActiveFaults() { return faults_; }
    int PacketsWritten() const { return packets_; }
    int AnswersSent() const { return answers_; }  // the packets that were answered, handshake on
    bool HungUp() const { return hungUp_; }
    bool Silent() const { return silent_; }
    // Bytes lost to a full input buffer (Faults::inputBuffer) so far.
    std::uint64_t LostBytes() const { return input_ ? input_->Lost() : 0; }

    // Moves the model's clock on to `ms` after FollowClock started it (never back), for a caller
    // that schedules the firmware's commands itself.
    void AdvanceClockTo(double ms);

    // Routes a sleep of the program to virtual time and records it.
    void Sleep(int ms);
    // Lets virtual time run on by `ms` without a trace entry: the link pacing its packets.
    void Wait(double ms);

    // Lets the model's time follow the steady clock, for a program that really sleeps (the
    // window or the command line on a "sim:" port) instead of routing its sleeps here.
    // `realPulses`: the caller sleeps out the long pulses itself (LastHeldMs after each write).
    void FollowClock(bool realPulses = false);
    bool FollowsClock() const { return clockStart_.has_value(); }
    // Whether the gateway's input is scheduled (an input buffer or a slower gateway); otherwise
    // it takes every byte at once and nothing need be held back for it.
    bool SchedulesInput() const { return Scheduled(); }
    // How long the last write held the firmware (its long pulses), in ms.
    double LastHeldMs() const { return lastHeldMs_; }

private:
    Gateway gateway_;
    sim::Trace trace_;
    Faults faults_;
    int packets_ = 0;
    int answers_ = 0;
    bool hungUp_ = false;
    bool silent_ = false;
    std::optional<std::chrono::steady_clock::time_point> clockStart_;
    double heldMs_ = 0;
    double lastHeldMs_ = 0;
    bool realPulses_ = false;

    // Answer bytes made but not arrived yet, with the virtual time they arrive at, oldest first.
    std::deque<std::pair<double, std::uint8_t>> held_;

    // With an input buffer or a slower gateway the commands are carried out when their time
    // comes, not as soon as they are written.
    std::optional<GatewayInput> input_;
    bool Scheduled() const { return faults_.inputBuffer > 0 || faults_.commandDelayUs > 0; }
    GatewayInput::Executed Execute(const Bytes& command, double beginMs);
    // Carries out the commands in the input that begin by now.
    void RunInput();
    // Feeds one command to the firmware and sends its answer; how many answer bytes it made.
    std::size_t Run(std::span<const std::uint8_t> command);

    void SyncClock();
    double LineTimeMs(std::size_t bytes) const;  // pacing and adapter latency of one transfer
    // Sends one answer's bytes (and what follows it) through the answer faults.
    void Deliver(Bytes answer, Bytes after);
    void ReleaseHeld();
    std::size_t Take(std::span<std::uint8_t> buffer);
};

// A Transport over a shared simulated device: the device outlives the link closing its port,
// so a test can inspect it and open it again.
class SimTransport final : public Transport {
public:
    explicit SimTransport(std::shared_ptr<SimDevice> device) : device_(std::move(device)) {}
    bool Write(std::span<const std::uint8_t> bytes) override { return device_->Write(bytes); }
    // The model answers as soon as the command is written; only the bytes an answer fault holds
    // back are waited for, on virtual time.
    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override
    {
        return device_->ReadWaiting(buffer, buffer.size(), static_cast<double>(timeout.count()), 0);
    }
    std::size_t ReadUntilPause(std::span<std::uint8_t> buffer, std::size_t needed, std::chrono::milliseconds timeout,
                               std::chrono::microseconds pause) override
    {
        return device_->ReadWaiting(buffer, needed, static_cast<double>(timeout.count()),
                                    static_cast<double>(pause.count()) / 1000.0);
    }
    std::size_t Queued(std::chrono::microseconds settle) override
    {
        return device_->QueuedWithin(static_cast<double>(settle.count()) / 1000.0);
    }
    void DiscardInput() override { device_->DiscardOutput(); }
    // On virtual time, packets are paced on the model's clock and waiting moves it on.
    Clock::time_point Now() override
    {
        if (device_->FollowsClock() || !device_->SchedulesInput()) return Transport::Now();
        return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(device_->Model().Now())));
    }
    void WaitFor(Clock::duration wait) override
    {
        if (device_->FollowsClock()) return Transport::WaitFor(wait);
        if (!device_->SchedulesInput()) return;
        device_->Wait(std::chrono::duration<double, std::milli>(wait).count());
    }

private:
    std::shared_ptr<SimDevice> device_;
};

// A fresh chip of that name (case ignored) with factory contents; null for an unknown name.
std::unique_ptr<SocketChip> MakeSocketChip(std::string_view name);

// Whether a chip name asks for an empty socket: nothing, "empty" or "none", case ignored.
bool NamesEmptySocket(std::string_view name);

// "sim:<chip name>" opens a simulated gateway with that chip in the socket ("sim:ATmega8",
// any case); "sim:", "sim:empty" and "sim:none" give an empty socket. Anything else is NotAvailable.
OpenedPort OpenSimPort(const std::string& devicePath);

// "sim:..." to the simulator, everything else to the real serial port.
OpenedPort OpenAnyPort(const std::string& devicePath);

}  // namespace quillon::sim
