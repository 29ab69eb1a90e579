#pragma once
// Steps a test takes inside the dialogs that the DialogCatcher hands it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/resources/resource.h"

// A modal dialog is shown only once its loop first finds the queue empty, and a hidden dialog's
// buttons ignore clicks. Wraps a dialog handler so that it runs once the dialog is visible.
std::function<void(HWND)> WhenShown(std::function<void(HWND)> handler);

void ClickControl(HWND dialog, int control);
bool IsChecked(HWND dialog, int control);

// The catcher leaves the platform's open-file dialog alone: a watcher thread looks for it by
// its title and hands each one to on_dialog, on the watcher thread: the callback acts through
// messages, which the dialog's modal loop serves.
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

// The platform's open-file dialog: types path into its file name field and confirms, as a
// user would; or cancels it.
void ChooseInFileDialog(HWND file_dialog, const std::string& path);
void CancelFileDialog(HWND file_dialog);
// The file name the dialog proposes and the filter it shows first.
std::string ProposedFileName(HWND file_dialog);
std::string SelectedFilter(HWND file_dialog);

// Serves messages until done() holds or timeout_ms has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeout_ms);

// The top-left corner where CenterInMainWindow puts a dialog, and where it is.
// The five toolbar buttons a burn locks, in the order it locks them.
inline constexpr int kBurnToolbarButtons[] = {IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT,
                                              IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC,
                                              IDM_TOOLBAR_OPEN};

POINT ExpectedDialogCorner(HWND dialog);
POINT DialogCorner(HWND dialog);
