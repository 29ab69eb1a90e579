#pragma once
// Drives the real main window in-process under Wine: one session per test, message pumping,
// and a hook that meets every dialog and message box of this thread.
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/resources/resource.h"
#include "tests/support/temp_dir.h"

// What a message box showed, read when it came.
struct CaughtBox {
  std::string text, caption;
  HWND owner = nullptr;
};

// A main window started from a cleared profile section holding only the given keys, on a
// port that never opens; its start-up boxes are moved to startup. While it lives, every
// message box of this thread is recorded in boxes and closed with OK; once shown (a hidden
// dialog's buttons ignore clicks), the platform's file dialog goes to on_file_dialog (Cancel
// when unset) and any other dialog to on_dialog, from its own modal loop. A burn still
// running at the end is stopped, then the window is closed.
struct GuiSession {
  std::vector<CaughtBox> startup, boxes;
  std::function<void(HWND)> on_dialog, on_file_dialog;
  HWND window = nullptr;
  TempDir dir;
  explicit GuiSession(std::initializer_list<std::pair<const char*, const char*>> profile = {});
  ~GuiSession();
  // Loads a file of size bytes, no 256-byte page all 0xFF, as the RM5164's single file.
  void Load(std::size_t size);
};
// Types path into the file name field and confirms, as a user would; an empty path cancels.
void AnswerFileDialog(HWND file_dialog, const std::string& path);

std::string ReadProfileKey(const char* key);  // "<missing>" when absent

// Dispatches what is queued; true when WM_QUIT came.
bool Pump();
// Serves messages until done() holds or timeout_ms has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 30000);

LRESULT Command(int command);
std::string StatusText(int part);
std::string WindowText(HWND window);
bool MenuGreyed(int command);
bool ToolbarEnabled(int command);
// Sends WM_INITMENUPOPUP for the popup whose first item is first_command.
void OpenPopupOf(int first_command);
void Click(HWND dialog, int control);
