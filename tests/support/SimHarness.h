// Test fixture around the in-process simulated gateway: a bus whose link talks to a named
// chip in a simulated socket, sleeps on virtual time, and a trace to compare packets against.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/Bus.h"
#include "model/SimDevice.h"

namespace quillon::test {

class SimHarness {
public:
    // `chip` names the chip in the socket ("ATmega8", any case); empty for an empty socket.
    explicit SimHarness(std::string_view chip = "", sim::Faults faults = {});
    SimHarness(const SimHarness&) = delete;
    SimHarness& operator=(const SimHarness&) = delete;

    Bus& bus() { return *bus_; }

    // Opens the link (with its handshake) on the simulated gateway; true when the port is open.
    bool Connect();

    // Puts another bus on this simulated gateway, one a test's own record of the chip holds: its
    // port opens here and its sleeps run on the model's virtual time.
    void Wire(Bus& other);

    sim::SimDevice& device() { return *device_; }
    sim::Gateway& gateway() { return device_->Model(); }
    sim::SocketChip& chip();  // the chip in the socket; fails the test when the socket is empty
    sim::Faults& faults() { return device_->ActiveFaults(); }
    sim::Trace& trace() { return device_->Trace(); }
    double Now() const { return device_->Model().Now(); }

    // Preloads the chip's cells from address 0 (what a chip fresh from another programmer holds).
    void PreloadFlash(std::span<const std::uint8_t> bytes);
    void PreloadEeprom(std::span<const std::uint8_t> bytes);

    // The trace since the last ClearTrace.
    void ClearTrace() { device_->Trace().Clear(); }
    std::vector<sim::Bytes> Packets() const { return device_->Trace().Packets(); }
    std::vector<sim::Bytes> Answers() const { return device_->Trace().Answers(); }
    std::vector<int> Sleeps() const { return device_->Trace().Sleeps(); }
    std::string FormatTrace() const { return sim::Format(device_->Trace().Events()); }

    std::vector<std::string> LogLines() const { return bus_->log.Lines(); }
    std::vector<std::string> ProtocolErrors() const { return device_->Model().ProtocolErrors(); }
    std::vector<std::string> Diagnostics() const { return device_->Model().Diagnostics(); }

private:
    std::shared_ptr<sim::SimDevice> device_;
    std::unique_ptr<Bus> bus_;
};

// The bytes of a packet, for tables of expected traces.
sim::Bytes BytesOf(const Packet& packet);

// Compares packet lists and, on a difference, prints both in hex with the first differing one.
::testing::AssertionResult PacketsEqual(const std::vector<sim::Bytes>& actual,
                                        const std::vector<sim::Bytes>& expected);

// True when `needle` appears in `packets` as consecutive packets.
::testing::AssertionResult ContainsPackets(const std::vector<sim::Bytes>& packets,
                                           const std::vector<sim::Bytes>& needle);

}  // namespace quillon::test

namespace quillon::sim {
// So that gtest prints byte vectors in hex.
inline void PrintTo(const Bytes& bytes, std::ostream* os) { *os << "[" << Hex(bytes) << "]"; }
}  // namespace quillon::sim
