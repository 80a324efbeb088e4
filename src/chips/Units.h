// The driver units, each an operation table built from its family and its own description.
// The dispatch table refers to them; tests may call them directly.
#pragma once

#include "chips/Driver.h"

namespace quillon::units {

// Classic parallel family.
extern const Driver At90s1200;
extern const Driver At90s2313;
extern const Driver At90s2333;
extern const Driver At90s4414;
extern const Driver At90s4434;

// Serial family.
extern const Driver At90s2323;
extern const Driver At90s2343;
extern const Driver Attiny12;
extern const Driver Attiny13;
extern const Driver Attiny15;
extern const Driver Attiny22;
extern const Driver Attiny25;
extern const Driver Attiny26;

// Paged parallel family.
extern const Driver Attiny2313;
extern const Driver Attiny261;
extern const Driver At90can32;
extern const Driver Atmega603;
extern const Driver Atmega48;
extern const Driver Atmega8;
extern const Driver Atmega8515;
extern const Driver Atmega16;
extern const Driver Atmega161;
extern const Driver Atmega162;
extern const Driver Atmega163;
extern const Driver Atmega164;
extern const Driver Atmega169;
extern const Driver Atmega323;
extern const Driver Atmega64;
extern const Driver Atmega640;

}  // namespace quillon::units
