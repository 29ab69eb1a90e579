#pragma once
// Drives the real main window in-process under Wine: one session per test, message pumping,
// a hook that meets every dialog and message box of this thread, and a watcher for the
// platform's file dialog.
#include <windows.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/resources/resource.h"
#include "tests/support/temp_dir.h"

// What a message box showed, read when it was activated.
struct CaughtBox {
  std::string text;
  std::string caption;
  bool has_icon = false;
  int buttons = 0;  // visible push buttons
  HWND owner = nullptr;
  bool main_enabled = false;  // the main window's state while the box was up
  bool main_visible = false;
};

// While alive, every message box of this thread is recorded and closed with OK, and every
// other dialog is handed to on_dialog once it is shown (a hidden dialog's buttons ignore
// clicks), from its own modal loop.
class DialogCatcher {
 public:
  DialogCatcher();
  ~DialogCatcher();
  DialogCatcher(const DialogCatcher&) = delete;
  DialogCatcher& operator=(const DialogCatcher&) = delete;

  std::vector<CaughtBox> boxes;
  std::function<void(HWND)> on_dialog;
};

// The platform's open-file dialog is the system's: a thread looks for it by its title and
// hands each one to on_dialog there, which acts through messages its modal loop serves.
class FileDialogWatch {
 public:
  explicit FileDialogWatch(std::function<void(HWND)> on_dialog);
  ~FileDialogWatch();
  FileDialogWatch(const FileDialogWatch&) = delete;
  FileDialogWatch& operator=(const FileDialogWatch&) = delete;
  int met() const { return met_.load(); }

 private:
  std::function<void(HWND)> on_dialog_;
  std::atomic<bool> stop_{false};
  std::atomic<int> met_{0};
  std::thread thread_;
};
// Types path into the file name field and confirms, as a user would; or cancels.
void ChooseInFileDialog(HWND file_dialog, const std::string& path);
void CancelFileDialog(HWND file_dialog);

void WriteProfileKey(const char* key, const char* value);
std::string ReadProfileKey(const char* key);  // "<missing>" when absent

// A main window started from a cleared profile section holding only the given keys, on a
// port that never opens; its start-up boxes are moved to startup. A burn still running at
// the end is stopped, then the window is closed.
struct GuiSession {
  DialogCatcher catcher;
  std::vector<CaughtBox> startup;
  HWND window = nullptr;
  TempDir dir;
  explicit GuiSession(std::initializer_list<std::pair<const char*, const char*>> profile = {});
  ~GuiSession();
  // Opens COM(index + 1) as the simulators wire it (with_simulators.sh).
  void Connect(int port_index);
  // Loads a file of size bytes, no 256-byte page all 0xFF, as the RM5164's single file.
  void Load(std::size_t size);
};

// Dispatches what is queued; true when WM_QUIT came, with its wParam in *exit_code.
bool Pump(int* exit_code = nullptr);
// Serves messages until done() holds or timeout_ms has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 30000);

LRESULT Command(int command, WORD notification = 0);
std::string StatusText(int part);
std::string WindowText(HWND window);
bool MenuChecked(int command);
bool MenuGreyed(int command);
bool ToolbarEnabled(int command);
// Sends WM_INITMENUPOPUP for the popup whose first item is first_command.
void OpenPopupOf(int first_command);
void Click(HWND dialog, int control);
bool IsChecked(HWND dialog, int control);

// Resizes the main window so that its client area is client_height high.
void SetClientHeight(int client_height);
int ControlHeight(HWND control);
COLORREF ClientPixel(int x, int y);
// Over the middle of the main window's client area, or at its top when taller.
bool CentredOverClient(HWND dialog);

// The five toolbar buttons a burn locks.
inline constexpr int kBurnToolbarButtons[] = {IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT,
                                              IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC,
                                              IDM_TOOLBAR_OPEN};
