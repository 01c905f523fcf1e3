#pragma once
// Bringing the program's modal windows back to the user, who asks for them with a click on the
// tray icon: a dialog minimised or hidden by the window manager must not leave the program
// waiting for an answer nobody can give.
namespace tapwedge::app {

// Brings every modal window of the program back to the front, un-minimised, the topmost one
// active; false when none is open.
bool BringBackModalWindows();

}  // namespace tapwedge::app
