// The window connected to an in-process simulated gateway the test can look into: the chip's
// cells, fault options, and the program's waits on the device's virtual clock.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "model/SimDevice.h"
#include "WindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {

// A transport that takes its time over every packet, like a slow line.
class SlowTransport final : public Transport {
public:
    SlowTransport(std::unique_ptr<Transport> inner, std::chrono::microseconds perPacket,
                  std::shared_ptr<std::atomic<int>> count)
        : inner_(std::move(inner)), perPacket_(perPacket), count_(std::move(count))
    {
    }
    bool Write(std::span<const std::uint8_t> bytes) override
    {
        std::this_thread::sleep_for(perPacket_);
        ++*count_;
        return inner_->Write(bytes);
    }
    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override
    {
        return inner_->Read(buffer, timeout);
    }

private:
    std::unique_ptr<Transport> inner_;
    std::chrono::microseconds perPacket_;
    std::shared_ptr<std::atomic<int>> count_;
};

class SimWindowTest : public WindowTest {
protected:
    // Puts `chip` into the simulated socket; every "sim:" port name opens it.
    void Socket(const char* chip, sim::Faults faults = {}, std::chrono::microseconds perPacket = {})
    {
        device = std::make_shared<sim::SimDevice>(sim::MakeSocketChip(chip), std::move(faults));
        ASSERT_NE(device->Chip(), nullptr) << chip;
        std::shared_ptr<sim::SimDevice> dev = device;
        CurrentSession().bus.link.SetOpener([dev, perPacket, count = slowPackets](const std::string& path) {
            if (path.rfind("sim:", 0) != 0) return OpenedPort{nullptr, OpenFailure::NotAvailable};
            std::unique_ptr<Transport> transport = std::make_unique<sim::SimTransport>(dev);
            if (perPacket.count() > 0) transport = std::make_unique<SlowTransport>(std::move(transport), perPacket, count);
            return OpenedPort{std::move(transport), OpenFailure::None};
        });
        CurrentSession().bus.sleep = [dev](int ms) { dev->Sleep(ms); };
    }

    // Types the port name into the COM box and presses Connect.
    void ConnectTo(const char* port)
    {
        auto* combo = Find<QComboBox>(names::kPortBox);
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QString::fromLatin1(port));
        Click(names::kConnect);
    }

    // Socket, connect and autosearch: the usual start of a session.
    void StartWith(const char* chip, sim::Faults faults = {}, std::chrono::microseconds perPacket = {})
    {
        Socket(chip, std::move(faults), perPacket);
        ConnectTo("sim:socket");
        ASSERT_TRUE(window->Connected());
        Click(names::kAutosearch);
        ASSERT_EQ(Find<QLineEdit>(names::kChipName)->text(), QString::fromLatin1(chip));
    }

    sim::SocketChip& Chip() { return *device->Chip(); }

    std::shared_ptr<sim::SimDevice> device;
    // Packets through a slow line so far, readable from the GUI thread while a command runs.
    std::shared_ptr<std::atomic<int>> slowPackets = std::make_shared<std::atomic<int>>(0);
};

}  // namespace quillon::ui::test
