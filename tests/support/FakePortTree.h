// A sysfs and /dev of our own, holding the USB serial adapters a test needs, for the code that
// finds ports by their identity (pointed at it through QUILLON_SYSFS_ROOT and QUILLON_DEV_ROOT).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/ScratchFolder.h"

namespace quillon::test {

class FakePortTree {
public:
    FakePortTree() : sys_(dir_.path() / "sys"), dev_(dir_.path() / "dev")
    {
        std::filesystem::create_directories(sys_ / "class" / "tty");
        std::filesystem::create_directories(dev_ / "serial" / "by-id");
        // What every PC has: a virtual terminal and a placeholder of the 8250 driver, neither a
        // port, and one built-in port.
        std::filesystem::create_directories(sys_ / "class" / "tty" / "tty0");
        Tty("ttyS1", "devices/platform/serial8250/serial8250:0/serial8250:0.1", "port");
        Write(sys_ / "class" / "tty" / "ttyS1" / "type", "0");
        // A built-in UART that is there.
        Tty("ttyS0", "devices/pnp0/00:00/00:00:0/00:00:0.0", "port");
        Write(sys_ / "class" / "tty" / "ttyS0" / "type", "4");
        Write(dev_ / "ttyS0", "");
    }

    // A USB adapter (vendor:product 0403:6001) on USB port `usbPort`, its tty `tty`; no serial
    // number when `serial` is empty. `node`, when given, is what /dev/<tty> links to (a
    // simulated gateway's pseudo-terminal); otherwise an empty file stands for it.
    void Adapter(const std::string& tty, const std::string& usbPort, const std::string& serial,
                 const std::string& product = "FT232R USB UART", const std::string& node = "")
    {
        const std::filesystem::path usb = sys_ / "devices" / "pci0000:00" / "usb1" / usbPort;
        std::filesystem::create_directories(usb);
        Write(usb / "idVendor", "0403");
        Write(usb / "idProduct", "6001");
        Write(usb / "product", product);
        if (!serial.empty()) Write(usb / "serial", serial);
        Tty(tty, "devices/pci0000:00/usb1/" + usbPort + "/" + usbPort + ":1.0/" + tty, "ftdi_sio");
        if (!node.empty())
            std::filesystem::create_symlink(node, dev_ / tty);
        else
            Write(dev_ / tty, "");
        if (!serial.empty()) {
            // Adapters that share a number share the link name too; udev leaves the last one's.
            const std::filesystem::path link =
                dev_ / "serial" / "by-id" / ("usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0");
            std::filesystem::remove(link);
            std::filesystem::create_symlink("../../" + tty, link);
        }
    }

    // Points the process at this tree (and back at the system's when the tree goes).
    void Use()
    {
        ::setenv("QUILLON_SYSFS_ROOT", sys_.c_str(), 1);
        ::setenv("QUILLON_DEV_ROOT", dev_.c_str(), 1);
    }
    ~FakePortTree()
    {
        ::unsetenv("QUILLON_SYSFS_ROOT");
        ::unsetenv("QUILLON_DEV_ROOT");
    }

    const std::filesystem::path& Sys() const { return sys_; }
    const std::filesystem::path& Dev() const { return dev_; }

private:
    ScratchFolder dir_{"quillon-ports"};
    std::filesystem::path sys_, dev_;

    static void Write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }

    // /sys/class/tty/<name>/device linking to the device's folder, whose driver link names `driver`.
    void Tty(const std::string& name, const std::string& device, const std::string& driver)
    {
        std::filesystem::create_directories(sys_ / device);
        std::filesystem::create_directories(sys_ / "bus" / "drivers" / driver);
        std::filesystem::create_symlink(sys_ / "bus" / "drivers" / driver, sys_ / device / "driver");
        std::filesystem::create_directories(sys_ / "class" / "tty" / name);
        std::filesystem::create_symlink(sys_ / device, sys_ / "class" / "tty" / name / "device");
    }
};

}  // namespace quillon::test
