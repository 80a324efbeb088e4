#include "ui/PortList.h"

#include <libserialport.h>

#include <QSignalBlocker>
#include <map>
#include <memory>

#include "gateway/PortIdentity.h"

namespace quillon::ui {

namespace {

struct PortListDeleter {
    void operator()(sp_port** ports) const { sp_free_port_list(ports); }
};

// A few chips of each programming method; any other catalogue chip can be typed as "sim:<name>".
constexpr const char* kSimulated[] = {"sim:ATmega8", "sim:ATmega2560", "sim:ATmega169", "sim:AT90S2313",
                                      "sim:ATtiny2313", "sim:ATtiny85"};

const QString kDescriptionSeparator = QStringLiteral(" \u2014 ");

}  // namespace

std::vector<SystemPort> SystemSerialPorts()
{
    std::vector<SystemPort> found;
#ifdef __linux__
    // From sysfs, as the port is found when it opens: a serial number offered here is one the
    // connection finds.
    const std::vector<SerialPortInfo> ports = ListSerialPorts();
    std::map<std::string, int> sharing;
    for (const SerialPortInfo& port : ports)
        if (!port.serialNumber.empty()) ++sharing[port.serialNumber];
    for (const SerialPortInfo& port : ports) {
        const bool usb = !port.usbId.empty();
        SystemPort shown{QString::fromStdString(port.device), usb ? QString::fromStdString(port.description) : QString(),
                         usb, QString::fromStdString(port.usbId), {}};
        if (!port.serialNumber.empty() && sharing[port.serialNumber] == 1)
            shown.serialNumber = QString::fromStdString(port.serialNumber);
        found.push_back(std::move(shown));
    }
#else
    sp_port** raw = nullptr;
    if (sp_list_ports(&raw) != SP_OK || raw == nullptr) return found;
    std::unique_ptr<sp_port*, PortListDeleter> ports(raw);
    for (sp_port** port = raw; *port; ++port) {
        const char* name = sp_get_port_name(*port);
        if (name == nullptr) continue;
        const bool usb = sp_get_port_transport(*port) == SP_TRANSPORT_USB;
        const char* description = usb ? sp_get_port_description(*port) : nullptr;
        found.push_back({QString::fromLocal8Bit(name), description ? QString::fromLocal8Bit(description) : QString(), usb});
    }
#endif
    return found;
}

QStringList PortEntries(const std::vector<SystemPort>& system)
{
    QStringList entries;
    for (const SystemPort& port : system) {
        QStringList details;
        if (!port.usbId.isEmpty()) details << port.usbId;
        if (!port.serialNumber.isEmpty()) details << QStringLiteral("serial ") + port.serialNumber;
        QString description = port.description;
        if (!details.isEmpty())
            description += (description.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1Char('(') +
                           details.join(QStringLiteral(", ")) + QLatin1Char(')');
        entries << (description.isEmpty() ? port.name : port.name + kDescriptionSeparator + description);
        if (!port.serialNumber.isEmpty())
            entries << QString::fromLatin1(kSerialNumberPrefix.data(), static_cast<qsizetype>(kSerialNumberPrefix.size())) +
                           port.serialNumber + kDescriptionSeparator + port.name +
                           (port.description.isEmpty() ? QString() : QStringLiteral(", ") + port.description);
    }
    for (int i = 1; i <= 10; ++i) entries << QStringLiteral("COM%1").arg(i);
    for (const char* name : kSimulated) entries << QString::fromLatin1(name);
    return entries;
}

QStringList PortList() { return PortEntries(SystemSerialPorts()); }

QString PortNameOf(const QString& entry)
{
    const qsizetype at = entry.indexOf(kDescriptionSeparator);
    return at < 0 ? entry : entry.left(at);
}

QString InitialPort(const std::vector<SystemPort>& system, const QString& lastUsed)
{
    if (!lastUsed.isEmpty()) return lastUsed;
    for (const SystemPort& port : system)
        if (port.usb) return PortEntries({port}).front();
    return QStringLiteral("COM1");
}

PortBox::PortBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void PortBox::Refresh()
{
    // The text stays as it is: a re-listing must not look like a change of port, which would
    // close an open one.
    const QString text = currentText();
    const QSignalBlocker blocker(this);
    clear();
    addItems(PortEntries(lister_ ? lister_() : std::vector<SystemPort>{}));
    const int index = findText(text);
    if (index >= 0) setCurrentIndex(index);
    setEditText(text);
}

void PortBox::showPopup()
{
    Refresh();
    QComboBox::showPopup();
}

}  // namespace quillon::ui
