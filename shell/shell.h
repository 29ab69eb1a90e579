#pragma once
// The only way core code (settings, image, serial, isp) reaches the window furniture.
// The GUI implements these by sending messages to its windows; the command line and the
// tests implement them without windows. Every call must be harmless while the control it
// names does not exist.
#include <string>

// Opaque owner of a message box: the GUI's HWND, nullptr for "no owner".
using Window = void*;

enum MessageKind : int { MessageError = 0, MessageWarning = 1 };

// The main window, or nullptr while it does not exist (during its creation, on the command line).
Window MainWindowHandle();

// A message box: kind error has the caption "Error" and the error icon, kind warning the caption
// "Warnning" and no icon. Returns when the user has closed it. May be called from the burn worker.
void ShowMessage(Window owner, const std::string& text, int kind);

// Status bar part 0..5.
void SetStatusText(int part, const std::string& text);

// Caption of the main window.
void SetMainTitle(const std::string& text);

// Whole client area of the main window, without erasing.
void InvalidateMainWindow();

// Toolbar button by command identifier (TB_ENABLEBUTTON).
void EnableToolbarButton(int command, bool enabled);

// Menu item "&Burn" (command 40003): enabled, or greyed.
void SetBurnMenuItem(bool enabled);

// Burn dialog: repaint after BurnStatusText/BurnStatusColor changed (whole client area, erased).
void RepaintBurnDialog();
// Burn dialog: progress bar 1008 position, 0..100.
void SetBurnProgress(int percent);
// Burn dialog: text of button 1007 ("Close" / "Stop").
void SetBurnButtonText(const std::string& text);
// Burn dialog: enable button 1007 or check box 1016 by control identifier.
void EnableBurnControl(int control, bool enabled);
// Burn dialog: check state of the Verify box 1016.
void SetVerifyBoxCheck(bool checked);
