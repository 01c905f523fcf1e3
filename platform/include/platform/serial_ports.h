#pragma once
// The serial ports of the machine, each known by a COM number (1..255), as the program's port
// list and the COM transport see them.
//
// A COM number is bound, in this order, by
//   1. a symbolic link named comN (any case) in the per-user port folder (for example
//      com3 -> /dev/ttyUSB0), which binds any tty. The folder follows the XDG base-directory
//      rule: $XDG_CONFIG_HOME/tapwedge/ports, else $HOME/.config/tapwedge/ports (relative
//      values are ignored; without $HOME, the account's home folder); both are read at each
//      look-up;
//   2. the default rule: COM1-32 = /dev/ttyS0-31 (only ports with a real UART),
//      COM33-64 = /dev/ttyUSB0-31, COM65-96 = /dev/ttyACM0-31.
// A port exists when its device is a character device that is present now.
#include <string>
#include <vector>

namespace platform {

constexpr int kMinComNumber = 1;
constexpr int kMaxComNumber = 255;

// The device path of COM `number`, or "" when that port does not exist.
std::string SerialPortPath(int number);

// Whether COM `number` exists.
bool SerialPortExists(int number);

// The COM numbers of every existing port, ascending.
std::vector<int> ListSerialPorts();

// Replaces the per-user port folder (tests); "" restores the folder of the XDG rule.
void SetSerialPortFolder(const std::string& folder);

// The port folder in use.
std::string SerialPortFolder();

}  // namespace platform
