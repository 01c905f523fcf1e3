#pragma once
// The program's message processing, which long waits inside the libraries run so that the
// program stays responsive (and may re-enter a library from a message handler).
#include <functional>

namespace platform {

// Installed by the program (the Qt event loop's processEvents); none by default.
// Installed and run on the program's main thread only.
void SetMessagePump(std::function<void()> pump);

// Processes the program's pending messages once; does nothing when no pump is installed.
void ProcessMessages();

}  // namespace platform
