#include "gateway/PortIdentity.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>

namespace quillon {

namespace fs = std::filesystem;

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The first line of a sysfs attribute; empty when it is not there.
std::string Attribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The USB device above a tty's device (an interface, or the tty's own node under it): the first
// folder up the tree that has a vendor id, without leaving the sysfs tree.
std::optional<fs::path> UsbDeviceOf(const fs::path& device, const fs::path& sysRoot)
{
    std::error_code ec;
    fs::path at = fs::canonical(device, ec);
    if (ec) return std::nullopt;
    const fs::path root = fs::canonical(sysRoot, ec);
    if (ec) return std::nullopt;
    for (int depth = 0; depth < 8 && at.has_parent_path() && at != root; ++depth, at = at.parent_path())
        if (fs::exists(at / "idVendor", ec) && fs::exists(at / "idProduct", ec)) return at;
    return std::nullopt;
}

// The links under /dev/serial/by-id, by the name of the tty each points to.
std::map<std::string, std::string> ByIdLinks(const fs::path& devRoot)
{
    std::map<std::string, std::string> links;
    std::error_code ec;
    const fs::path folder = devRoot / "serial" / "by-id";
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink(ec)) continue;
        const fs::path target = fs::read_symlink(it->path(), ec);
        if (ec) {
            ec.clear();
            continue;
        }
        // The name as it would be under /dev, so that a listing shows the path a user types.
        const std::string shown = (fs::path("/dev/serial/by-id") / it->path().filename()).string();
        const std::string tty = target.filename().string();
        // udev's links are made in name order; the first for a tty is kept.
        if (!links.count(tty)) links[tty] = devRoot == "/dev" ? shown : it->path().string();
    }
    return links;
}

std::string Adapters(const std::vector<SerialPortInfo>& ports)
{
    std::string list;
    for (const SerialPortInfo& port : ports) {
        if (port.usbId.empty()) continue;
        list += (list.empty() ? "" : "; ") + port.device + " " + DescribePort(port);
    }
    return list;
}

std::string AdaptersThere(const std::vector<SerialPortInfo>& ports)
{
    const std::string list = Adapters(ports);
    return list.empty() ? "No USB serial adapter is plugged in" : "The USB serial adapters plugged in: " + list;
}

}  // namespace

PortRoots PortRoots::FromEnvironment()
{
    PortRoots roots;
    if (const char* sys = std::getenv("QUILLON_SYSFS_ROOT"); sys && *sys) roots.sys = sys;
    if (const char* dev = std::getenv("QUILLON_DEV_ROOT"); dev && *dev) roots.dev = dev;
    return roots;
}

std::vector<SerialPortInfo> ListSerialPorts(const PortRoots& roots)
{
    std::vector<SerialPortInfo> ports;
    const std::map<std::string, std::string> byId = ByIdLinks(roots.dev);
    std::error_code ec;
    for (fs::directory_iterator it(roots.sys / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path tty = it->path();
        std::error_code e;
        if (!fs::exists(tty / "device", e)) continue;  // virtual terminals and pseudo-terminals have none
        // The 8250 driver lists its 4 to 32 ports whether or not a UART is there; the kernel says
        // which are placeholders by their UART type 0 (older kernels without that attribute by
        // the driver's platform device, which claims only those).
        const std::string type = Attribute(tty / "type");
        const std::string driver = fs::read_symlink(tty / "device" / "driver", e).filename().string();
        if (type == "0" || (type.empty() && driver == "serial8250")) continue;
        SerialPortInfo port;
        const std::string name = tty.filename().string();
        port.device = (roots.dev / name).string();
        if (auto link = byId.find(name); link != byId.end()) port.byId = link->second;
        if (std::optional<fs::path> usb = UsbDeviceOf(tty / "device", roots.sys)) {
            port.usbId = Attribute(*usb / "idVendor") + ":" + Attribute(*usb / "idProduct");
            port.serialNumber = Attribute(*usb / "serial");
            port.description = Attribute(*usb / "product");
        }
        if (port.usbId.empty()) port.description = "serial port, not on USB";
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return a.device < b.device;
    });
    return ports;
}

bool IsPortIdentity(std::string_view portName)
{
    return StartsWith(portName, kSerialNumberPrefix) || StartsWith(portName, "/dev/serial/");
}

PortResolution ResolvePortIdentity(const std::string& portName, const PortRoots& roots)
{
    PortResolution resolved;
    if (StartsWith(portName, "/dev/serial/")) {
        // A udev link: it is there while its adapter is plugged in.
        const fs::path link = roots.dev / fs::path(portName).lexically_relative("/dev");
        // One step along the link, to the device under /dev it names (ttyUSB0, not whatever that
        // may link to in turn), so the device shown is the one list-ports shows.
        std::error_code ec;
        const fs::path target = fs::read_symlink(link, ec);
        const fs::path device = ec ? link : target.is_absolute() ? target : (link.parent_path() / target).lexically_normal();
        if (fs::exists(device, ec)) {
            resolved.device = device.string();
            return resolved;
        }
        resolved.why = {portName + " is not there: its adapter is not plugged in (or udev has not named it yet)",
                        AdaptersThere(ListSerialPorts(roots))};
        return resolved;
    }
    if (!StartsWith(portName, kSerialNumberPrefix)) {
        resolved.device = portName;
        return resolved;
    }
    const std::string wanted = portName.substr(kSerialNumberPrefix.size());
    const std::vector<SerialPortInfo> ports = ListSerialPorts(roots);
    if (wanted.empty()) {
        resolved.why = {"\"" + portName + "\" names no serial number: write it after \"serial:\"", AdaptersThere(ports)};
        return resolved;
    }
    std::vector<const SerialPortInfo*> found;
    for (const SerialPortInfo& port : ports)
        if (!port.serialNumber.empty() && SameText(port.serialNumber, wanted)) found.push_back(&port);
    if (found.size() == 1) {
        resolved.device = found.front()->device;
        return resolved;
    }
    if (found.empty()) {
        resolved.why = {"No USB serial adapter with the serial number \"" + wanted + "\" is plugged in",
                        AdaptersThere(ports)};
        return resolved;
    }
    // Cheap adapters often share one made-up number; which one is meant cannot be told.
    std::string devices;
    for (const SerialPortInfo* port : found) devices += (devices.empty() ? "" : ", ") + port->device;
    resolved.why = {std::to_string(found.size()) + " USB serial adapters have the serial number \"" + wanted +
                    "\" (" + devices + "), so it cannot tell them apart: name the port by its device, or "
                    "by its link under /dev/serial/by-path/, which stays with the USB socket it is plugged into"};
    return resolved;
}

std::string DescribePort(const SerialPortInfo& port)
{
    std::string details = port.usbId;
    if (!port.serialNumber.empty()) details += (details.empty() ? "" : ", ") + ("serial " + port.serialNumber);
    if (details.empty()) return port.description;
    return port.description.empty() ? "(" + details + ")" : port.description + " (" + details + ")";
}

}  // namespace quillon
