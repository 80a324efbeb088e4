// The window connected to an in-process simulated gateway the test can look into: the chip's
// cells, fault options, and the program's waits on the device's virtual clock.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <chrono>
#include <memory>
#include <thread>

#include "model/SimDevice.h"
#include "WindowFixture.h"

namespace quillon::ui::test {

// A transport that takes its time over every packet, like a slow line.
class SlowTransport final : public Transport {
public:
    SlowTransport(std::unique_ptr<Transport> inner, std::chrono::microseconds perPacket)
        : inner_(std::move(inner)), perPacket_(perPacket)
    {
    }
    bool Write(std::span<const std::uint8_t> bytes) override
    {
        std::this_thread::sleep_for(perPacket_);
        return inner_->Write(bytes);
    }
    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override
    {
        return inner_->Read(buffer, timeout);
    }

private:
    std::unique_ptr<Transport> inner_;
    std::chrono::microseconds perPacket_;
};

class SimWindowTest : public WindowTest {
protected:
    // Puts `chip` into the simulated socket; every "sim:" port name opens it.
    void Socket(const char* chip, sim::Faults faults = {}, std::chrono::microseconds perPacket = {})
    {
        device = std::make_shared<sim::SimDevice>(sim::MakeSocketChip(chip), std::move(faults));
        ASSERT_NE(device->Chip(), nullptr) << chip;
        std::shared_ptr<sim::SimDevice> dev = device;
        Ctx().bus.link.SetOpener([dev, perPacket](const std::string& path) {
            if (path.rfind("sim:", 0) != 0) return OpenedPort{nullptr, OpenFailure::NotAvailable};
            std::unique_ptr<Transport> transport = std::make_unique<sim::SimTransport>(dev);
            if (perPacket.count() > 0) transport = std::make_unique<SlowTransport>(std::move(transport), perPacket);
            return OpenedPort{std::move(transport), OpenFailure::None};
        });
        Ctx().bus.sleep = [dev](int ms) { dev->Sleep(ms); };
    }

    // Types the port name into the COM box and presses Connect.
    void ConnectTo(const char* port)
    {
        auto* combo = Find<QComboBox>("ComboBox1");
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QString::fromLatin1(port));
        Click("Button1");
    }

    // Socket, connect and autosearch: the usual start of a session.
    void StartWith(const char* chip, sim::Faults faults = {}, std::chrono::microseconds perPacket = {})
    {
        Socket(chip, std::move(faults), perPacket);
        ConnectTo("sim:socket");
        ASSERT_TRUE(window->Connected());
        Click("Button3");
        ASSERT_EQ(Find<QLineEdit>("Edit1")->text(), QString::fromLatin1(chip));
    }

    sim::SocketChip& Chip() { return *device->Chip(); }

    std::shared_ptr<sim::SimDevice> device;
};

}  // namespace quillon::ui::test
