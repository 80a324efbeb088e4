#include "gateway/PortIdentity.h"

#include <gtest/gtest.h>

#include "gateway/Bus.h"
#include "support/FakePortTree.h"

namespace quillon {
namespace {

using test::FakePortTree;

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

TEST(PortIdentity, TheListShowsEachAdaptersIdentityAndLeavesOutPortsThatAreNone)
{
    FakePortTree tree;
    tree.Adapter("ttyUSB1", "1-2", "A50285BI");
    tree.Adapter("ttyUSB0", "1-1", "", "CP2102 USB to UART");
    std::vector<SerialPortInfo> ports = ListSerialPorts({tree.Sys(), tree.Dev()});
    ASSERT_EQ(ports.size(), 3u);  // not tty0, not the 8250 placeholder
    EXPECT_EQ(ports[0].device, (tree.Dev() / "ttyS0").string());
    EXPECT_EQ(ports[0].usbId, "");
    EXPECT_EQ(DescribePort(ports[0]), "serial port, not on USB");
    ports.erase(ports.begin());
    EXPECT_EQ(ports[0].device, (tree.Dev() / "ttyUSB0").string());
    EXPECT_EQ(ports[0].serialNumber, "");
    EXPECT_EQ(ports[0].byId, "");
    EXPECT_EQ(DescribePort(ports[0]), "CP2102 USB to UART (0403:6001)");
    EXPECT_EQ(ports[1].device, (tree.Dev() / "ttyUSB1").string());
    EXPECT_EQ(ports[1].usbId, "0403:6001");
    EXPECT_EQ(ports[1].serialNumber, "A50285BI");
    EXPECT_EQ(ports[1].byId, (tree.Dev() / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string());
    EXPECT_EQ(DescribePort(ports[1]), "FT232R USB UART (0403:6001, serial A50285BI)");
}

TEST(PortIdentity, AnIdentityResolvesToItsAdapterOrSaysWhatIsThere)
{
    FakePortTree tree;
    tree.Adapter("ttyUSB0", "1-1", "A50285BI");
    tree.Adapter("ttyUSB3", "1-3", "0001");  // two clones with one made-up number
    tree.Adapter("ttyUSB4", "1-4", "0001");
    const PortRoots roots{tree.Sys(), tree.Dev()};
    const std::string usb0 = (tree.Dev() / "ttyUSB0").string();
    struct Case {
        std::string name;
        std::string device;  // empty: refused
        std::string why;     // in the explanation when refused
    } cases[] = {
        {"serial:A50285BI", usb0, ""},
        {"serial:a50285bi", usb0, ""},  // typed in the other case
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", usb0, ""},
        {"/dev/ttyUSB7", "/dev/ttyUSB7", ""},  // no identity: opened as it stands
        {"serial:B0000001", "", "No USB serial adapter with the serial number \"B0000001\" is plugged in\n"
                                "The USB serial adapters plugged in: " + usb0 +
                                    " FT232R USB UART (0403:6001, serial A50285BI); "},
        {"serial:", "", "names no serial number"},
        {"/dev/serial/by-id/usb-gone-if00-port0", "",
         "/dev/serial/by-id/usb-gone-if00-port0 is not there: its adapter is not plugged in"},
        {"serial:0001", "", "2 USB serial adapters have the serial number \"0001\" (" +
                                (tree.Dev() / "ttyUSB3").string() + ", " + (tree.Dev() / "ttyUSB4").string() +
                                "), so it cannot tell them apart"},
    };
    for (const Case& c : cases) {
        const PortResolution r = ResolvePortIdentity(c.name, roots);
        if (c.device.empty()) {
            EXPECT_FALSE(r.device) << c.name << " gave " << r.device.value_or("");
            EXPECT_NE(Joined(r.why).find(c.why), std::string::npos) << c.name << ":\n" << Joined(r.why);
        } else {
            EXPECT_EQ(r.device.value_or("none"), c.device) << c.name << ":\n" << Joined(r.why);
        }
    }
    EXPECT_NE(Joined(ResolvePortIdentity("serial:X", {tree.Dev() / "nothing", tree.Dev()}).why)
                  .find("No USB serial adapter is plugged in"),
              std::string::npos);
}

// Where ports open: the link opens the device the identity stands for now and says so, and an
// identity that stands for none is a port that is not there, with the reason, and nothing opened.
TEST(PortIdentity, TheLinkOpensTheDeviceAnIdentityStandsFor)
{
    FakePortTree tree;
    tree.Adapter("ttyUSB2", "1-2", "A50285BI");
    tree.Use();
    std::vector<std::string> opened;
    Bus bus([&](const std::string& path) {
        opened.push_back(path);
        return OpenedPort{nullptr, OpenFailure::NotAvailable, ENOENT};
    });
    const std::string failure = bus.link.OpenPort("serial:A50285BI").words;
    ASSERT_EQ(opened, std::vector<std::string>{(tree.Dev() / "ttyUSB2").string()});
    EXPECT_EQ(bus.link.Device(), opened[0]);
    EXPECT_NE(failure.find("Cannot open " + opened[0]), std::string::npos) << failure;

    const std::string absent = bus.link.OpenPort("serial:NOPE").words;
    EXPECT_EQ(opened.size(), 1u) << "nothing is opened for an adapter that is not there";
    EXPECT_NE(absent.find("No USB serial adapter with the serial number \"NOPE\""), std::string::npos) << absent;
    EXPECT_NE(absent.find((tree.Dev() / "ttyUSB2").string() + " FT232R USB UART"), std::string::npos) << absent;
}

}  // namespace
}  // namespace quillon
