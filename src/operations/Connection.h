// The connection commands shared by the window and the command line: Connect, Disconnect,
// a change of the port name, and Autosearch, which finds the chip in the socket by signature.
#pragma once

#include <string>

namespace quillon {

struct Context;

// Opens the port by its name (COM3, ttyUSB0, /dev/ttyUSB0, sim:ATmega8) and logs its path.
// True when the port is open afterwards: the front end then shows its connected state.
bool Connect(Context& ctx, const std::string& portName);

// Closes the port whether or not it is open, and logs that it is closed.
void Disconnect(Context& ctx);

// A changed port name closes an open port; the new one opens at the next Connect.
// True when it disconnected.
bool PortChanged(Context& ctx);

// Reads the signature in parallel programming mode and selects that chip. True when the
// search reached the selection; the selection itself may still find no such chip.
bool Autosearch(Context& ctx);

}  // namespace quillon
