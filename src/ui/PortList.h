// The names the COM box offers: COM1 to COM10, then the serial ports the system has, then the
// simulated gateways, with which every command can be tried without a gateway attached.
#pragma once

#include <QStringList>

namespace quillon::ui {

QStringList PortList();

}  // namespace quillon::ui
