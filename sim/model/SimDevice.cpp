#include "model/SimDevice.h"

#include <algorithm>
#include <cctype>

namespace quillon::sim {

SimDevice::SimDevice(std::unique_ptr<SocketChip> chip, Faults faults)
    : gateway_(std::move(chip)), faults_(std::move(faults))
{
}

void SimDevice::FollowClock(bool realPulses)
{
    clockStart_ = std::chrono::steady_clock::now() -
                  std::chrono::microseconds(static_cast<long long>(gateway_.Now() * 1000.0));
    heldMs_ = 0;
    realPulses_ = realPulses;
}

void SimDevice::SyncClock()
{
    // The model runs on the clock plus the time its own long pulses held the firmware (unless
    // whoever drives it sleeps those for real), so it never falls behind what it already did.
    if (!clockStart_) return;
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - *clockStart_;
    const double target = elapsed.count() + heldMs_;
    if (target > gateway_.Now()) gateway_.Advance(target - gateway_.Now());
}

bool SimDevice::Write(std::span<const std::uint8_t> bytes)
{
    SyncClock();
    if (faults_.hangupAfter && packets_ >= *faults_.hangupAfter) hungUp_ = true;
    if (hungUp_) {
        trace_.Packet(bytes, true);
        return false;
    }
    ++packets_;
    trace_.Packet(bytes);
    // With the gateway's input scheduled, the write returns at once, as a serial port's does:
    // the bytes then take the line's time to arrive, behind those still on it.
    if (!Scheduled()) gateway_.Advance(LineTimeMs(bytes.size()));
    if (faults_.silentAfter && packets_ > *faults_.silentAfter) silent_ = true;
    if (silent_) return true;  // the firmware has stopped: bytes vanish

    gateway_.Faults().neverReady = faults_.neverReady;
    gateway_.Faults().spiAnswerBytes = faults_.shortSpi;
    if (Scheduled()) {
        if (!input_)
            input_.emplace(static_cast<std::size_t>(faults_.inputBuffer), faults_.pace ? kByteTimeMs : 0.0,
                           faults_.commandDelayUs / 1000.0);
        const double written = gateway_.Now();
        auto execute = [this](const Bytes& command, double begin) { return Execute(command, begin); };
        input_->Arrive(bytes, written, execute);
        input_->RunUntil(gateway_.Now(), execute);
        return true;
    }
    Run(bytes);
    return true;
}

std::size_t SimDevice::Run(std::span<const std::uint8_t> command)
{
    const std::size_t before = gateway_.Output().size();
    const double started = gateway_.Now();
    gateway_.Feed(command);
    lastHeldMs_ = gateway_.Now() - started;
    if (clockStart_ && !realPulses_) heldMs_ += lastHeldMs_;
    auto& out = gateway_.Output();
    const std::size_t made = out.size() - before;
    if (made > 0 || (faults_.shortSpi && *faults_.shortSpi == 0 &&
                     std::find(command.begin(), command.end(), 0x45) != command.end())) {
        ++answers_;
        Bytes answer(out.begin() + static_cast<std::ptrdiff_t>(before), out.end());
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(before), out.end());
        Bytes after;
        if (answers_ == faults_.strayAfterAnswer || (faults_.strayEveryAnswer && answers_ > faults_.strayAfterAnswer))
            after = faults_.stray;
        Deliver(std::move(answer), std::move(after));
    }
    return made;
}

GatewayInput::Executed SimDevice::Execute(const Bytes& command, double beginMs)
{
    if (beginMs > gateway_.Now()) gateway_.Advance(beginMs - gateway_.Now());
    return {Run(command), 0.0};  // the long pulses already moved the clock on
}

void SimDevice::RunInput()
{
    if (input_ && !silent_) input_->RunUntil(gateway_.Now(), [this](const Bytes& c, double b) { return Execute(c, b); });
}

void SimDevice::AdvanceClockTo(double ms)
{
    const double target = ms + (realPulses_ ? 0.0 : heldMs_);
    if (target > gateway_.Now()) gateway_.Advance(target - gateway_.Now());
}

void SimDevice::Deliver(Bytes answer, Bytes after)
{
    auto strikes = [this](const std::optional<Faults::AnswerByte>& fault, std::size_t size) {
        return fault && fault->answer == answers_ && fault->index >= 0 &&
               static_cast<std::size_t>(fault->index) < size;
    };
    if (strikes(faults_.lostByte, answer.size())) answer.erase(answer.begin() + faults_.lostByte->index);
    if (strikes(faults_.doubledByte, answer.size()))
        answer.insert(answer.begin() + faults_.doubledByte->index, answer[static_cast<std::size_t>(faults_.doubledByte->index)]);
    std::size_t now = answer.size();
    double lateMs = 0;
    if (const auto& d = faults_.delayedAnswer; d && d->answer == answers_ && d->from >= 0) {
        now = std::min(answer.size(), static_cast<std::size_t>(d->from));
        lateMs = d->ms;
    }
    answer.insert(answer.end(), after.begin(), after.end());
    // Scheduled, an answer leaves at the line's pace and the adapter holds it for its latency.
    const double byteMs = Scheduled() && faults_.pace ? kByteTimeMs : 0.0;
    const double adapterMs = Scheduled() ? faults_.latencyUs / 1000.0 : 0.0;
    const bool atOnce = byteMs == 0 && adapterMs == 0;
    for (std::size_t i = 0; i < answer.size(); ++i) {
        const double at = gateway_.Now() + static_cast<double>(i + 1) * byteMs + adapterMs + (i < now ? 0.0 : lateMs);
        // A serial line keeps its order: nothing overtakes a byte that is held back.
        if (atOnce && held_.empty() && i < now)
            gateway_.Output().push_back(answer[i]);
        else
            held_.emplace_back(held_.empty() ? at : std::max(at, held_.back().first), answer[i]);
    }
}

void SimDevice::ReleaseHeld()
{
    while (!held_.empty() && held_.front().first <= gateway_.Now()) {
        gateway_.Output().push_back(held_.front().second);
        held_.pop_front();
    }
}

std::size_t SimDevice::Take(std::span<std::uint8_t> buffer)
{
    auto& out = gateway_.Output();
    const std::size_t n = std::min(buffer.size(), out.size());
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = out.front();
        out.pop_front();
    }
    return n;
}

std::size_t SimDevice::Read(std::span<std::uint8_t> buffer)
{
    if (hungUp_) return 0;
    SyncClock();
    RunInput();
    ReleaseHeld();
    const std::size_t n = Take(buffer);
    if (n > 0) {
        trace_.Answer(buffer.first(n));
        if (!Scheduled()) gateway_.Advance(LineTimeMs(n));
    }
    return n;
}

std::size_t SimDevice::ReadWaiting(std::span<std::uint8_t> buffer, std::size_t needed, double timeoutMs,
                                   double pauseMs)
{
    if (hungUp_) return 0;
    SyncClock();
    const double deadline = gateway_.Now() + timeoutMs;
    std::size_t n = 0;
    for (;;) {
        // The program waits: the gateway carries out the commands in its input meanwhile.
        RunInput();
        ReleaseHeld();
        n += Take(buffer.subspan(n));
        if (n == buffer.size()) break;
        std::optional<double> next;
        if (!held_.empty()) next = held_.front().first;
        if (input_ && !silent_)
            if (auto begin = input_->NextBegin()) next = next ? std::min(*next, *begin) : *begin;
        if (!next) break;
        if (*next > deadline || (n >= needed && *next - gateway_.Now() > pauseMs)) break;
        if (*next > gateway_.Now()) gateway_.Advance(*next - gateway_.Now());
    }
    if (n > 0) {
        trace_.Answer(buffer.first(n));
        if (!Scheduled()) gateway_.Advance(LineTimeMs(n));
    }
    return n;
}

std::size_t SimDevice::Queued()
{
    return QueuedWithin(0);
}

std::size_t SimDevice::QueuedWithin(double ms)
{
    if (hungUp_) return 0;
    RunInput();
    const double until = gateway_.Now() + ms;
    const auto due = std::count_if(held_.begin(), held_.end(), [until](const auto& h) { return h.first <= until; });
    return gateway_.Output().size() + static_cast<std::size_t>(due);
}

std::optional<double> SimDevice::MsUntilHeldArrive()
{
    if (held_.empty()) return std::nullopt;
    SyncClock();
    return std::max(0.0, held_.front().first - gateway_.Now());
}

void SimDevice::DiscardOutput()
{
    // What has arrived goes; what is still on its way arrives later all the same.
    RunInput();
    ReleaseHeld();
    gateway_.Output().clear();
}

bool SimDevice::SocketPowered() const
{
    return gateway_.SocketPowered();
}

std::string SimDevice::SocketPower() const
{
    return gateway_.SocketPower();
}

double SimDevice::LineTimeMs(std::size_t bytes) const
{
    return (faults_.pace ? static_cast<double>(bytes) * kByteTimeMs : 0.0) + faults_.latencyUs / 1000.0;
}

void SimDevice::Sleep(int ms)
{
    trace_.Sleep(ms);
    gateway_.Advance(ms);
    RunInput();
}

void SimDevice::Wait(double ms)
{
    if (ms > 0) gateway_.Advance(ms);
    RunInput();
}

std::unique_ptr<SocketChip> MakeSocketChip(std::string_view name)
{
    const ChipDescription* d = FindChipDescription(name);
    return d ? std::make_unique<SocketChip>(*d) : nullptr;
}

namespace {

bool HasSimPrefix(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string head = path.substr(0, 4);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return head == "sim:";
}

}  // namespace

bool NamesEmptySocket(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.empty() || lower == "empty" || lower == "none";
}

OpenedPort OpenSimPort(const std::string& devicePath)
{
    if (!HasSimPrefix(devicePath)) return {nullptr, OpenFailure::NotAvailable};
    const std::string name = devicePath.substr(4);
    std::unique_ptr<SocketChip> chip;
    if (!NamesEmptySocket(name)) {
        chip = MakeSocketChip(name);
        if (!chip) return {nullptr, OpenFailure::NotAvailable};
    }
    auto device = std::make_shared<SimDevice>(std::move(chip), Faults{});
    device->FollowClock();  // whoever opens by name sleeps for real
    return {std::make_unique<SimTransport>(std::move(device)), OpenFailure::None};
}

OpenedPort OpenAnyPort(const std::string& devicePath)
{
    if (HasSimPrefix(devicePath)) return OpenSimPort(devicePath);
    return OpenSerialPort(devicePath);
}

}  // namespace quillon::sim
