// The stable names of USB serial adapters. A /dev/ttyUSBn name goes to whichever adapter was
// plugged in n-th, so a station with several gateways would swap them after a replug; the
// adapter's own USB serial number, or the udev link under /dev/serial/by-id/ that contains it,
// stays with the adapter. Both are accepted wherever a port is named, and found here from sysfs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Where the system's trees are: "/sys" and "/dev", or, for tests, the folders that
// QUILLON_SYSFS_ROOT and QUILLON_DEV_ROOT name.
struct PortRoots {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
    static PortRoots FromEnvironment();
};

struct SerialPortInfo {
    std::string device;        // "/dev/ttyUSB0"
    std::string byId;          // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"; empty when none
    std::string usbId;         // vendor:product in hex, "0403:6001"; empty when not on USB
    std::string serialNumber;  // the USB device's serial number, "A50285BI"; empty when it has none
    std::string description;   // the USB product's name, "FT232R USB UART"
};

// The serial ports the system has now, by device name. Built-in ports that the kernel lists
// whether or not any hardware is there are left out.
std::vector<SerialPortInfo> ListSerialPorts(const PortRoots& roots = PortRoots::FromEnvironment());

// A port named by its adapter's USB serial number: "serial:A50285BI".
inline constexpr std::string_view kSerialNumberPrefix = "serial:";
// Whether a port name is an identity to resolve (a serial number or a /dev/serial/ link) rather
// than a device to open as it stands.
bool IsPortIdentity(std::string_view portName);

struct PortResolution {
    std::optional<std::string> device;  // the device to open
    std::vector<std::string> why;       // when none: what was looked for and what is there
};

// The device an identity names now. A serial number that no adapter has, or that several have,
// is no device: the explanation names the adapters there. A name that is no identity stays as it is.
PortResolution ResolvePortIdentity(const std::string& portName, const PortRoots& roots = PortRoots::FromEnvironment());

// "FT232R USB UART (0403:6001, serial A50285BI)"; the parts that are known.
std::string DescribePort(const SerialPortInfo& port);

}  // namespace quillon
