#include "app/app.h"

#include <commdlg.h>

#include "app/commands.h"
#include "app/path_text.h"

namespace {

// The path capacity the rest of the program keeps: 255 characters and the terminating zero.
constexpr DWORD kPathBufferChars = 256;

constexpr char kFilter[] =
    "HEX or BIN file\0*.hex;*.bin;*.h00;*.h01\0"
    "All Files(*.*)\0*.*\0";

}  // namespace

int BrowseForFile(HWND owner, std::string& path, std::string& folder) {
  HWND main_window = MainWindow;
  // Called from the Select File dialog the main window is already disabled by that dialog,
  // and must stay so when this one ends.
  const bool was_enabled = main_window != nullptr && IsWindowEnabled(main_window);
  if (main_window != nullptr) EnableWindow(main_window, FALSE);

  char chosen[kPathBufferChars] = {};
  BaseFileName(path).copy(chosen, kPathBufferChars - 1);
  const std::string initial_folder = folder.substr(0, kPathBufferChars - 1);

  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  // The owner is disabled while the dialog runs and enabled after it.
  request.hwndOwner = owner;
  request.lpstrFilter = kFilter;
  request.nFilterIndex = 1;
  request.lpstrFile = chosen;
  request.nMaxFile = kPathBufferChars;
  request.lpstrInitialDir = initial_folder.empty() ? nullptr : initial_folder.c_str();
  request.lpstrTitle = "Open HEX or BIN file";
  request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOREADONLYRETURN;
  const BOOL picked = GetOpenFileNameA(&request);
  if (picked) {
    // Without OFN_NOCHANGEDIR the current directory should now be the chosen file's folder;
    // not every implementation of the dialog moves it, so it is moved here as well.
    std::string chosen_folder(chosen, request.nFileOffset > 0 ? request.nFileOffset - 1u : 0u);
    if (chosen_folder.size() == 2 && chosen_folder[1] == ':') chosen_folder += '\\';
    SetCurrentDirectoryA(chosen_folder.c_str());
    char current[kPathBufferChars] = {};
    GetCurrentDirectoryA(kPathBufferChars - 1, current);
    folder = current;
    path = chosen;
  }
  // The platform's dialog enables its owner when it ends, whatever the state before.
  if (main_window != nullptr) EnableWindow(main_window, was_enabled ? TRUE : FALSE);
  return picked ? 1 : 0;
}
