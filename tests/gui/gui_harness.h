#pragma once
// Drives the real main window in-process: creation with a port that cannot open, message
// pumping, and a thread hook that meets every dialog and message box as it is activated.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// What a message box showed, read when it was activated.
struct CaughtBox {
  std::string text;
  std::string caption;
  bool has_icon = false;
  int buttons = 0;               // visible push buttons
  bool ok_button = false;
  HWND owner = nullptr;
  bool main_enabled = false;     // the main window's state while the box was up
  bool main_visible = false;
};

// While alive, every message box of this thread is recorded and closed with OK, and every
// other dialog is handed to on_dialog (then left to the handler to end).
class DialogCatcher {
 public:
  DialogCatcher();
  ~DialogCatcher();
  DialogCatcher(const DialogCatcher&) = delete;
  DialogCatcher& operator=(const DialogCatcher&) = delete;

  std::vector<CaughtBox> boxes;
  std::function<void(HWND)> on_dialog;
};

// Runs step from the message loop that is running then (a dialog's, while it is up): a dialog
// that ignored a command is still running when the step comes.
void RunLater(std::function<void()> step);

// Clears the profile section, then (after the test's own keys) makes the main window.
void ClearProfileSection();
void WriteProfileKey(const char* key, const char* value);
std::string ReadProfileKey(const char* key);

HWND OpenMainWindow();
void CloseMainWindow();

// A started main window (profile section cleared first, unless told) with a catcher for
// its boxes; closed again at the end of the test.
struct GuiSession {
  DialogCatcher catcher;
  HWND window = nullptr;
  explicit GuiSession(bool clear_profile = true) {
    if (clear_profile) ClearProfileSection();
    window = OpenMainWindow();
  }
  ~GuiSession() { CloseMainWindow(); }
};
// Dispatches what is queued; returns true when WM_QUIT came, with its wParam in *exit_code.
bool Pump(int* exit_code = nullptr);

std::string StatusText(int part);
std::string WindowText(HWND window);
bool MenuChecked(int command);
// Sends WM_INITMENUPOPUP for the popup whose first item is first_command (or its parent).
void OpenPopupOf(int first_command);
LRESULT Command(int command, WORD notification = 0);

// Resizes the main window so that its client area is client_height high.
void SetClientHeight(int client_height);
int ControlHeight(HWND control);
COLORREF ClientPixel(int x, int y);
