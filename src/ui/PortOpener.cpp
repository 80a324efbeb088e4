#include "ui/PortOpener.h"

#include "gateway/Link.h"

namespace quillon::ui {

PortOpener WindowPortOpener() { return OpenSerialPort; }

}  // namespace quillon::ui
