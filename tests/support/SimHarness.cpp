#include "support/SimHarness.h"

#include <algorithm>
#include <stdexcept>

namespace quillon::test {

SimHarness::SimHarness(std::string_view chip, sim::Faults faults)
{
    std::unique_ptr<sim::SocketChip> socket;
    if (!chip.empty()) {
        socket = sim::MakeSocketChip(chip);
        if (!socket) ADD_FAILURE() << "the simulator has no chip named " << chip;
    }
    device_ = std::make_shared<sim::SimDevice>(std::move(socket), std::move(faults));
    bus_ = std::make_unique<Bus>();
    Wire(*bus_);
}

void SimHarness::Wire(Bus& other)
{
    // Weak, so that a bus outliving the harness finds no gateway rather than a freed one.
    std::weak_ptr<sim::SimDevice> weak = device_;
    other.link.SetOpener([weak](const std::string&) -> OpenedPort {
        auto device = weak.lock();
        if (!device) return {nullptr, OpenFailure::NotAvailable};
        return {std::make_unique<sim::SimTransport>(device), OpenFailure::None};
    });
    other.sleep = [weak](int ms) {
        if (auto device = weak.lock()) device->Sleep(ms);
    };
}

bool SimHarness::Connect()
{
    bus_->link.OpenPort("sim:");
    return bus_->link.IsOpen();
}

sim::SocketChip& SimHarness::chip()
{
    sim::SocketChip* c = device_->Chip();
    if (!c) {
        ADD_FAILURE() << "the simulated socket is empty";
        throw std::logic_error("empty socket");
    }
    return *c;
}

void SimHarness::PreloadFlash(std::span<const std::uint8_t> bytes)
{
    auto& flash = chip().flash;
    if (bytes.size() > flash.size()) ADD_FAILURE() << "more flash bytes than the chip has";
    std::copy_n(bytes.begin(), std::min(bytes.size(), flash.size()), flash.begin());
}

void SimHarness::PreloadEeprom(std::span<const std::uint8_t> bytes)
{
    auto& eeprom = chip().eeprom;
    if (bytes.size() > eeprom.size()) ADD_FAILURE() << "more EEPROM bytes than the chip has";
    std::copy_n(bytes.begin(), std::min(bytes.size(), eeprom.size()), eeprom.begin());
}

sim::Bytes BytesOf(const Packet& packet)
{
    auto b = packet.Bytes();
    return sim::Bytes(b.begin(), b.end());
}

::testing::AssertionResult PacketsEqual(const std::vector<sim::Bytes>& actual,
                                        const std::vector<sim::Bytes>& expected)
{
    if (actual == expected) return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    auto result = ::testing::AssertionFailure();
    result << "packets differ at index " << i << "\n";
    if (i < expected.size()) result << "  expected: " << sim::Hex(expected[i]) << "\n";
    if (i < actual.size()) result << "  actual:   " << sim::Hex(actual[i]) << "\n";
    result << "expected (" << expected.size() << "):\n" << sim::Format(expected)
           << "actual (" << actual.size() << "):\n" << sim::Format(actual);
    return result;
}

::testing::AssertionResult ContainsPackets(const std::vector<sim::Bytes>& packets,
                                           const std::vector<sim::Bytes>& needle)
{
    if (std::search(packets.begin(), packets.end(), needle.begin(), needle.end()) != packets.end())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sequence not found:\n" << sim::Format(needle)
                                         << "in:\n" << sim::Format(packets);
}

}  // namespace quillon::test
