// What the dialogs' windows share: the tool window with only the system
// menu and a fixed client area, bold captions, centring on the desktop.
#pragma once

#include <QDialog>
#include <QFont>

class QWidget;

namespace dialog_window {

// A tool window with only the close box, its client area fixed at w x h.
// None of its buttons is a default one: Enter presses only the button that
// has the focus (in a grid it only ends the cell's edit), where a dialog
// would press its first button.
void MakeToolWindow(QDialog& window, int w, int h);
// The widget's font made bold.
void SetBold(QWidget& widget);
// Moves the window to the middle of the desktop it is on.
void CentreOnDesktop(QWidget& window);
// Shows a modeless window and brings it to the front.
void ShowInFront(QWidget& window);

}  // namespace dialog_window
