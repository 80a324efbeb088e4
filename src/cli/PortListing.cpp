#include "cli/PortListing.h"

#include <map>
#include <nlohmann/json.hpp>

#include "cli/Run.h"
#include "gateway/PortIdentity.h"

namespace quillon::cli {

namespace {

using Json = nlohmann::ordered_json;

}  // namespace

bool IsListPortsCommand(const std::vector<std::string>& args)
{
    return !args.empty() && args[0] == "list-ports";
}

int ListPorts(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    bool json = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
            continue;
        }
        std::fprintf(err, "quillon-cli: list-ports takes no \"%s\"; it runs on its own (with --json at most)\n",
                     args[i].c_str());
        std::fputs("Try 'quillon-cli --help'.\n", err);
        return kExitUsage;
    }
    const std::vector<SerialPortInfo> ports = ListSerialPorts();
    std::map<std::string, int> sharing;  // adapters per serial number
    for (const SerialPortInfo& port : ports)
        if (!port.serialNumber.empty()) ++sharing[port.serialNumber];
    for (const SerialPortInfo& port : ports) {
        const bool unique = !port.serialNumber.empty() && sharing[port.serialNumber] == 1;
        if (json) {
            Json line = {{"type", "port"}, {"device", port.device}};
            line["by_id"] = port.byId.empty() ? Json(nullptr) : Json(port.byId);
            line["usb_id"] = port.usbId.empty() ? Json(nullptr) : Json(port.usbId);
            line["serial_number"] = port.serialNumber.empty() ? Json(nullptr) : Json(port.serialNumber);
            line["unique_serial_number"] = unique;
            line["description"] = port.description;
            std::fprintf(out, "%s\n", line.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
            continue;
        }
        std::fprintf(out, "%s  %s\n", port.device.c_str(), DescribePort(port).c_str());
        if (unique) std::fprintf(out, "    %s%s\n", std::string(kSerialNumberPrefix).c_str(), port.serialNumber.c_str());
        else if (!port.serialNumber.empty())
            std::fprintf(out, "    (serial number %s shared by %d adapters: name this one by its device or its "
                         "/dev/serial/by-path/ link)\n",
                         port.serialNumber.c_str(), sharing[port.serialNumber]);
        if (!port.byId.empty()) std::fprintf(out, "    %s\n", port.byId.c_str());
    }
    if (ports.empty() && !json) std::fputs("No serial ports found.\n", out);
    std::fflush(out);
    return kExitSuccess;
}

}  // namespace quillon::cli
