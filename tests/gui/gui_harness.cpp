#include "tests/gui/gui_harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/app.h"
#include "app/burn_worker.h"
#include "app/com_port.h"
#include "app/image_state.h"
#include "app/profile_settings.h"

namespace {

constexpr UINT kShownTimerMs = 10;
constexpr DWORD kSliceMs = 10;
constexpr int kFileNameCombo = 0x47C;  // the explorer-style file dialog's file name field
GuiSession* active = nullptr;
HHOOK hook = nullptr;

// The program's dialogs have their procedures in this module; a message box's and the file
// dialog's (which has combo boxes) are the system's.
bool IsForeign(HWND dialog) {
  HMODULE owner = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(GetWindowLongPtrA(dialog, DWLP_DLGPROC)), &owner);
  return owner != GetModuleHandleA(nullptr);
}
bool IsFileDialog(HWND dialog) {
  return IsForeign(dialog) && FindWindowExA(dialog, nullptr, "ComboBox", nullptr) != nullptr;
}

// Timer messages come only when the queue is empty, which is when a modal dialog gets shown.
void CALLBACK RunWhenShown(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  if (!IsWindowVisible(dialog) || active == nullptr) return;
  KillTimer(dialog, timer);
  if (IsFileDialog(dialog)) {
    if (active->on_file_dialog) return active->on_file_dialog(dialog);
    AnswerFileDialog(dialog, "");
  } else if (IsForeign(dialog)) {
    active->boxes.push_back({WindowText(GetDlgItem(dialog, 0xFFFF)), WindowText(dialog), GetWindow(dialog, GW_OWNER)});
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  } else if (active->on_dialog) {
    active->on_dialog(dialog);
  }
}

// Notes a dialog once its initialisation has run (activation does not always come without a
// window manager); it is handled from its own modal loop once shown.
LRESULT CALLBACK AfterWindowProc(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  char name[8] = {};
  if (code == HC_ACTION && call->message == WM_INITDIALOG && GetClassNameA(call->hwnd, name, sizeof name) &&
      std::string(name) == "#32770") {
    SetTimer(call->hwnd, 1, kShownTimerMs, RunWhenShown);
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

HMENU FindPopup(HMENU menu, int first_command) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (sub == nullptr) continue;
    if (static_cast<int>(GetMenuItemID(sub, 0)) == first_command) return sub;
    if (HMENU deeper = FindPopup(sub, first_command)) return deeper;
  }
  return nullptr;
}

}  // namespace

GuiSession::GuiSession(std::initializer_list<std::pair<const char*, const char*>> profile) {
  static const ATOM registered = RegisterMainClass(AppInstance = GetModuleHandleA(nullptr));
  (void)registered;
  active = this;
  hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, GetCurrentThreadId());
  WriteProfileStringA(kProfileSection, nullptr, nullptr);
  for (const auto& [key, value] : profile) WriteProfileStringA(kProfileSection, key, value);
  // A device that never opens: the disconnected start, whatever the prefix's COM1.
  SetPortDevice("RM516X_NO_SUCH_PORT");
  window = StartMainWindow(AppInstance);
  Pump();
  startup.swap(boxes);
}

GuiSession::~GuiSession() {
  if (BurnWorkerRunning()) {
    RequestBurnStop();
    PumpUntil([] { return !BurnWorkerRunning(); });
  }
  if (MainWindow.load() != nullptr) DestroyWindow(MainWindow);
  Pump();
  ClosePort();
  UnhookWindowsHookEx(hook);
  active = nullptr;
}

void GuiSession::Load(std::size_t size) {
  FileName1 = dir.Write("fw.bin", std::string(size, '\x5A'));
  OpenSingleFile(MainWindow.load());
}

void AnswerFileDialog(HWND file_dialog, const std::string& path) {
  if (!path.empty()) {
    HWND combo = GetDlgItem(file_dialog, kFileNameCombo);
    HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
    SetWindowTextA(edit != nullptr ? edit : combo, path.c_str());
  }
  PostMessageA(file_dialog, WM_COMMAND, MAKEWPARAM(path.empty() ? IDCANCEL : IDOK, BN_CLICKED), 0);
}

std::string ReadProfileKey(const char* key) {
  char value[256] = {};
  GetProfileStringA(kProfileSection, key, "<missing>", value, sizeof value);
  return value;
}

bool Pump() {
  MSG message{};
  bool quit = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    quit |= message.message == WM_QUIT;
    DispatchMessageA(&message);  // WM_QUIT has no window: nothing is called for it
  }
  return quit;
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kSliceMs, QS_ALLINPUT);
    Pump();
  }
  return true;
}

LRESULT Command(int command) { return SendMessageA(MainWindow, WM_COMMAND, command, 0); }

std::string StatusText(int part) {
  char text[256] = {};
  SendMessageA(StatusBar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
  return text;
}

std::string WindowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool MenuGreyed(int command) { return GetMenuState(MainMenu, command, MF_BYCOMMAND) & MF_GRAYED; }
bool ToolbarEnabled(int command) { return SendMessageA(Toolbar, TB_ISBUTTONENABLED, command, 0) != 0; }

void OpenPopupOf(int first_command) {
  SendMessageA(MainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(FindPopup(MainMenu, first_command)), 0);
}

void Click(HWND dialog, int control) { SendDlgItemMessageA(dialog, control, BM_CLICK, 0, 0); }
