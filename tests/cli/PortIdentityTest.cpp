// Ports named by what stays with their adapter: list-ports shows those names, and --port takes
// them, here for a simulated gateway standing behind an adapter of a made-up sysfs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "Subprocess.h"
#include "support/FakePortTree.h"
#include "support/TavroSimProcess.h"

namespace quillon::test {
namespace {

std::string Cli() { return BinaryPath("src/cli/quillon-cli"); }

TEST(ListPorts, ShowsEachPortWithTheNamesThatStayWithItsAdapter)
{
    FakePortTree tree;
    tree.Adapter("ttyUSB0", "1-1", "A50285BI");
    tree.Adapter("ttyUSB1", "1-2", "0001", "CH340 serial");
    tree.Adapter("ttyUSB2", "1-3", "0001", "CH340 serial");
    tree.Use();
    const std::string dev = tree.Dev().string();

    const Finished text = RunProgram(Cli(), {"list-ports"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, dev + "/ttyS0  serial port, not on USB\n" +
                            dev + "/ttyUSB0  FT232R USB UART (0403:6001, serial A50285BI)\n"
                                  "    serial:A50285BI\n"
                                  "    " + dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n" +
                            dev + "/ttyUSB1  CH340 serial (0403:6001, serial 0001)\n"
                                  "    (serial number 0001 shared by 2 adapters: name this one by its device or its "
                                  "/dev/serial/by-path/ link)\n" +
                            dev + "/ttyUSB2  CH340 serial (0403:6001, serial 0001)\n"
                                  "    (serial number 0001 shared by 2 adapters: name this one by its device or its "
                                  "/dev/serial/by-path/ link)\n"
                                  "    " + dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_0001-if00-port0\n");

    const Finished json = RunProgram(Cli(), {"list-ports", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    std::istringstream lines(json.out);
    std::vector<nlohmann::json> ports;
    for (std::string line; std::getline(lines, line);) ports.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(ports.size(), 4u) << json.out;
    EXPECT_EQ(ports[1]["type"], "port");
    EXPECT_EQ(ports[1]["device"], dev + "/ttyUSB0");
    EXPECT_EQ(ports[1]["usb_id"], "0403:6001");
    EXPECT_EQ(ports[1]["serial_number"], "A50285BI");
    EXPECT_EQ(ports[1]["unique_serial_number"], true);
    EXPECT_EQ(ports[2]["unique_serial_number"], false);
    EXPECT_TRUE(ports[0]["serial_number"].is_null());

    const Finished wrong = RunProgram(Cli(), {"list-ports", "--port", "x"});
    EXPECT_EQ(wrong.status, 2);
}

TEST(PortByIdentity, ACommandFindsTheGatewayByItsAdaptersSerialNumberOrSaysWhatIsThere)
{
    SimulatedGateway gateway({"--chip", "ATmega8"});
    ASSERT_FALSE(gateway.Path().empty()) << gateway.ErrorText();
    FakePortTree tree;
    tree.Adapter("ttyUSB0", "1-1", "A50285BI", "FT232R USB UART", gateway.Path());
    tree.Use();
    const std::string device = (tree.Dev() / "ttyUSB0").string();

    for (const std::string& port :
         {std::string("serial:A50285BI"), std::string("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")}) {
        const Finished f = RunProgram(Cli(), {"--port", port, "--delay", "0", "--chip", "ATmega8", "read-calibration"});
        EXPECT_EQ(f.status, 0) << port << "\n" << f.out << f.err;
        EXPECT_NE(f.out.find(port + " (" + device + ")"), std::string::npos) << f.out;
    }

    const Finished absent =
        RunProgram(Cli(), {"--port", "serial:FT000001", "--delay", "0", "--chip", "ATmega8", "read-calibration"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE((absent.out + absent.err).find("No USB serial adapter with the serial number \"FT000001\" is plugged in"),
              std::string::npos)
        << absent.out << absent.err;
    EXPECT_NE((absent.out + absent.err).find(device + " FT232R USB UART (0403:6001, serial A50285BI)"),
              std::string::npos)
        << absent.out << absent.err;
}

}  // namespace
}  // namespace quillon::test
