// How the window opens a port name: the simulated gateway for "sim:<chip>", a serial port else.
#pragma once

#include "gateway/Transport.h"

namespace quillon::ui {

PortOpener WindowPortOpener();

}  // namespace quillon::ui
