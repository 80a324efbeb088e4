// The connection commands shared by the window and the command line: Connect, Disconnect,
// a change of the port name, and Autosearch, which finds the chip in the socket by signature.
#pragma once

#include <string>

#include "core/Result.h"

namespace quillon {

struct Session;

// Opens the port by its name (COM3, ttyUSB0, /dev/ttyUSB0, sim:ATmega8) and logs its path.
// Succeeds when the port is open afterwards: the front end then shows its connected state.
Result Connect(Session& session, const std::string& portName);

// Closes the port whether or not it is open, and logs that it is closed.
void Disconnect(Session& session);

// A changed port name closes an open port; the new one opens at the next Connect.
// True when it disconnected.
bool PortChanged(Session& session);

// Reads the signature in parallel programming mode and selects that chip; with the session's
// serial search on, a signature the catalogue lacks is followed by a serial read. Succeeds when
// a chip of the catalogue was found and selected.
Result Autosearch(Session& session);

}  // namespace quillon
