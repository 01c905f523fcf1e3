#pragma once
// Dialogs whose window has a title bar and no border icons (no minimise, maximise or close box).
class QDialog;

namespace tapwedge::app {

// Sets the dialog's window flags to a title bar without border icons, which window managers that
// follow the window's hints obey. Openbox draws the minimise and maximise boxes on every dialog
// whatever its hints say; only a torn-off menu gets neither. Under Openbox the dialog is therefore
// declared one (_NET_WM_WINDOW_TYPE_MENU, then _DIALOG) each time it is shown; it keeps its title
// bar and the close box that Openbox gives every window, which closes the dialog as Escape does.
// Call once, before the dialog is first shown.
void ShowTitleBarOnly(QDialog* dialog);

}  // namespace tapwedge::app
