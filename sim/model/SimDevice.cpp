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

std::size_t SimDevice::Read(std::span<std::uint8_t> buffer)
{
    if (hungUp_) return 0;
    SyncClock();
    auto& out = gateway_.Output();
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

std::size_t SimDevice::Queued() const
{
    return hungUp_ ? 0 : gateway_.Output().size();
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
