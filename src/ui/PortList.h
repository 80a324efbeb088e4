// The names the COM box offers: the serial ports the system has now (USB adapters with their
// description, and an adapter with a serial number of its own once more by that number, a name
// that stays with it when it is plugged in elsewhere), then COM1 to COM10, then the simulated
// gateways, with which every command can be tried without a gateway attached. The box lists them
// afresh each time it opens.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace quillon::ui {

struct SystemPort {
    QString name;         // "/dev/ttyUSB0"
    QString description;  // "FT232R USB UART"; empty when the system gives none
    bool usb = false;
    QString usbId;         // "0403:6001"
    QString serialNumber;  // "A50285BI"; only when no other adapter there has the same
};

using PortLister = std::function<std::vector<SystemPort>()>;

std::vector<SystemPort> SystemSerialPorts();

// "/dev/ttyUSB0 — FT232R USB UART (0403:6001, serial A50285BI)",
// "serial:A50285BI — /dev/ttyUSB0, FT232R USB UART", then COM1..COM10, then "sim:ATmega8" and the others.
QStringList PortEntries(const std::vector<SystemPort>& system);
QStringList PortList();  // with the system's ports now

// The port an entry names: the text before " — ", as typed otherwise.
QString PortNameOf(const QString& entry);

// The entry shown at start: the last port used, else the first USB port, else COM1.
QString InitialPort(const std::vector<SystemPort>& system, const QString& lastUsed);

// The COM box: editable, and re-listed each time its list opens, the typed text kept.
class PortBox : public QComboBox {
    Q_OBJECT
public:
    explicit PortBox(QWidget* parent = nullptr);
    void SetLister(PortLister lister) { lister_ = std::move(lister); }
    void Refresh();
    QString PortName() const { return PortNameOf(currentText()); }
    void showPopup() override;

private:
    PortLister lister_ = SystemSerialPorts;
};

}  // namespace quillon::ui
