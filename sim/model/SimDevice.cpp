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
    gateway_.Advance(LineTimeMs(bytes.size()));
    if (faults_.silentAfter && packets_ > *faults_.silentAfter) silent_ = true;
    if (silent_) return true;  // the firmware has stopped: bytes vanish

    gateway_.Faults().neverReady = faults_.neverReady;
    gateway_.Faults().spiAnswerBytes = faults_.shortSpi;
    if (Scheduled()) {
        if (!input_)
            input_.emplace(static_cast<std::size_t>(faults_.inputBuffer), faults_.pace ? kByteTimeMs : 0.0,
                           faults_.commandDelayUs / 1000.0);
        // The bytes left when the write began, behind the adapter's latency; the clock already
        // stands where the program is done writing them.
        const double written = gateway_.Now() - LineTimeMs(bytes.size()) + faults_.latencyUs / 1000.0;
        auto execute = [this](const Bytes& command, double begin) { return Execute(command, begin); };
        input_->Arrive(bytes, written, execute);
        input_->RunUntil(gateway_.Now(), execute);
        return true;
    }
    const std::size_t before = gateway_.Output().size();
    const double started = gateway_.Now();
    gateway_.Feed(bytes);
    lastHeldMs_ = gateway_.Now() - started;
    if (clockStart_ && !realPulses_) heldMs_ += lastHeldMs_;
    if (gateway_.Output().size() > before || (faults_.shortSpi && *faults_.shortSpi == 0 &&
                                              std::find(bytes.begin(), bytes.end(), 0x45) != bytes.end())) {
        ++answers_;
        if (answers_ == faults_.strayAfterAnswer || (faults_.strayEveryAnswer && answers_ > faults_.strayAfterAnswer))
            for (auto b : faults_.stray) gateway_.Output().push_back(b);
    }
    return true;
}

GatewayInput::Executed SimDevice::Execute(const Bytes& command, double beginMs)
{
    if (beginMs > gateway_.Now()) gateway_.Advance(beginMs - gateway_.Now());
    const std::size_t before = gateway_.Output().size();
    const double started = gateway_.Now();
    gateway_.Feed(command);
    lastHeldMs_ = gateway_.Now() - started;
    if (clockStart_ && !realPulses_) heldMs_ += lastHeldMs_;
    const std::size_t answered = gateway_.Output().size() - before;
    if (answered > 0) {
        ++answers_;
        if (answers_ == faults_.strayAfterAnswer || (faults_.strayEveryAnswer && answers_ > faults_.strayAfterAnswer))
            for (auto b : faults_.stray) gateway_.Output().push_back(b);
    }
    return {answered, 0.0};  // the long pulses already moved the clock on
}

void SimDevice::AdvanceClockTo(double ms)
{
    const double target = ms + (realPulses_ ? 0.0 : heldMs_);
    if (target > gateway_.Now()) gateway_.Advance(target - gateway_.Now());
}

std::size_t SimDevice::Read(std::span<std::uint8_t> buffer)
{
    if (hungUp_) return 0;
    SyncClock();
    auto& out = gateway_.Output();
    if (input_) {
        // The program waits for its answers: the gateway carries out what it holds meanwhile.
        auto execute = [this](const Bytes& command, double begin) { return Execute(command, begin); };
        input_->RunUntil(gateway_.Now(), execute);
        while (out.size() < buffer.size() && !silent_ && input_->RunNext(execute)) {
        }
    }
    const std::size_t n = std::min(buffer.size(), out.size());
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = out.front();
        out.pop_front();
    }
    if (n > 0) {
        trace_.Answer(buffer.first(n));
        gateway_.Advance(LineTimeMs(n));
    }
    return n;
}

std::size_t SimDevice::Queued()
{
    if (hungUp_) return 0;
    if (input_) input_->RunUntil(gateway_.Now(), [this](const Bytes& c, double b) { return Execute(c, b); });
    return gateway_.Output().size();
}

void SimDevice::DiscardOutput()
{
    gateway_.Output().clear();
}

double SimDevice::LineTimeMs(std::size_t bytes) const
{
    return (faults_.pace ? static_cast<double>(bytes) * kByteTimeMs : 0.0) + faults_.latencyUs / 1000.0;
}

void SimDevice::Sleep(int ms)
{
    trace_.Sleep(ms);
    gateway_.Advance(ms);
    if (input_) input_->RunUntil(gateway_.Now(), [this](const Bytes& c, double b) { return Execute(c, b); });
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
