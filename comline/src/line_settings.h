#pragma once
// Turning a COMMPR into termios settings of a raw line without flow control.
#include <termios.h>

#include "usbline/comm_types.h"

namespace comline {

// The termios speed constant of `baud` bit/s, or false when there is none.
bool SpeedOf(int baud, speed_t* speed);

// Applies the speed and framing of `line` to `settings` (raw, no flow control, reads that
// never block); false when the line asks for something a tty cannot do.
bool ApplyLine(const COMMPR& line, termios* settings);

}  // namespace comline
