#include "tests/gui/gui_harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

#include "app/app.h"
#include "image/file_open.h"
#include "isp/burn_worker.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

namespace {

constexpr UINT kHandleDialog = WM_APP + 40;
constexpr UINT kShownTimerMs = 10;
constexpr DWORD kSliceMs = 10;
constexpr int kFileNameCombo = 0x47C;  // the explorer-style file dialog's file name field
constexpr const char* kFileDialogTitle = "Open HEX or BIN file";
DialogCatcher* active_catcher = nullptr;
HHOOK hook = nullptr;
HWND helper = nullptr;
std::set<HWND> seen;  // a dialog is handled once

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

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

CaughtBox ReadBox(HWND box) {
  CaughtBox caught{WindowText(GetDlgItem(box, 0xFFFF)), WindowText(box)};
  caught.owner = GetWindow(box, GW_OWNER);
  caught.main_enabled = MainWindow.load() != nullptr && IsWindowEnabled(MainWindow);
  caught.main_visible = MainWindow.load() != nullptr && IsWindowVisible(MainWindow);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageA(child, STM_GETICON, 0, 0) != 0) {
      caught.has_icon = true;
    }
    if (ClassOf(child) == "Button") ++caught.buttons;
  }
  return caught;
}

// Timer messages come only when the queue is empty, which is when a modal dialog gets shown.
void CALLBACK RunWhenShown(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  if (!IsWindowVisible(dialog)) return;
  KillTimer(dialog, timer);
  if (active_catcher != nullptr && active_catcher->on_dialog) active_catcher->on_dialog(dialog);
}

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kHandleDialog) return DefWindowProcA(window, message, wparam, lparam);
  HWND dialog = reinterpret_cast<HWND>(wparam);
  if (active_catcher == nullptr || !IsWindow(dialog) || IsFileDialog(dialog)) return 0;
  if (IsForeign(dialog)) {
    active_catcher->boxes.push_back(ReadBox(dialog));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  } else {
    SetTimer(dialog, 1, kShownTimerMs, RunWhenShown);
  }
  return 0;
}

// Notes a dialog once its initialisation has run (activation does not always come without a
// window manager); it is handled from its own modal loop.
LRESULT CALLBACK AfterWindowProc(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && call->message == WM_INITDIALOG && ClassOf(call->hwnd) == "#32770" &&
      seen.insert(call->hwnd).second) {
    PostMessageA(helper, kHandleDialog, reinterpret_cast<WPARAM>(call->hwnd), 0);
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

}  // namespace

DialogCatcher::DialogCatcher() {
  if (helper == nullptr) {
    WNDCLASSA helper_class{};
    helper_class.lpfnWndProc = HelperProc;
    helper_class.hInstance = GetModuleHandleA(nullptr);
    helper_class.lpszClassName = "GuiTestHelper";
    RegisterClassA(&helper_class);
    helper = CreateWindowExA(0, "GuiTestHelper", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  }
  seen.clear();
  active_catcher = this;
  hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, GetCurrentThreadId());
}

DialogCatcher::~DialogCatcher() {
  UnhookWindowsHookEx(hook);
  active_catcher = nullptr;
}

FileDialogWatch::FileDialogWatch(std::function<void(HWND)> on_dialog)
    : on_dialog_(std::move(on_dialog)) {
  thread_ = std::thread([this] {
    HWND handled = nullptr;
    while (!stop_.load()) {
      HWND dialog = FindWindowA(nullptr, kFileDialogTitle);
      DWORD process = 0;
      if (dialog != nullptr) GetWindowThreadProcessId(dialog, &process);
      if (dialog != nullptr && dialog != handled && process == GetCurrentProcessId() &&
          IsWindowVisible(dialog)) {
        handled = dialog;
        ++met_;
        on_dialog_(dialog);
      }
      if (handled != nullptr && !IsWindow(handled)) handled = nullptr;
      Sleep(2 * kSliceMs);
    }
  });
}

FileDialogWatch::~FileDialogWatch() {
  stop_ = true;
  thread_.join();
}

void ChooseInFileDialog(HWND file_dialog, const std::string& path) {
  HWND combo = GetDlgItem(file_dialog, kFileNameCombo);
  HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
  SetWindowTextA(edit != nullptr ? edit : combo, path.c_str());
  PostMessageA(file_dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void CancelFileDialog(HWND file_dialog) {
  PostMessageA(file_dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void WriteProfileKey(const char* key, const char* value) { WriteProfileStringA(kProfileSection, key, value); }

std::string ReadProfileKey(const char* key) {
  char value[256] = {};
  GetProfileStringA(kProfileSection, key, "<missing>", value, sizeof value);
  return value;
}

GuiSession::GuiSession(std::initializer_list<std::pair<const char*, const char*>> profile) {
  WriteProfileStringA(kProfileSection, nullptr, nullptr);
  for (const auto& [key, value] : profile) WriteProfileKey(key, value);
  static const bool registered = RegisterMainClass(AppInstance = GetModuleHandleA(nullptr)) != 0;
  (void)registered;
  // A device that never opens: the disconnected start, whatever the prefix's COM1.
  SetPortDevice("RM516X_NO_SUCH_PORT");
  window = StartMainWindow(AppInstance);
  Pump();
  startup.swap(catcher.boxes);
}

GuiSession::~GuiSession() {
  if (BurnWorkerRunning()) {
    RequestBurnStop();
    PumpUntil([] { return !BurnWorkerRunning(); });
  }
  if (MainWindow.load() != nullptr) DestroyWindow(MainWindow);
  Pump();
  ClosePort();
}

void GuiSession::Connect(int port_index) {
  ComPortIndex = port_index;
  SetPortDevice("");
  EXPECT_EQ(ReopenComPort(), 1) << LastPortError();
}

void GuiSession::Load(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 37 + i / 256) & 0x7F);
  FileName1 = dir.Write("fw.bin", bytes);
  OpenSingleFile(MainWindow.load());
}

bool Pump(int* exit_code) {
  MSG message{};
  bool quit = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      if (exit_code != nullptr) *exit_code = static_cast<int>(message.wParam);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
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

LRESULT Command(int command, WORD notification) {
  return SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(command, notification), 0);
}

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

bool MenuChecked(int command) {
  return (GetMenuState(MainMenu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_CHECKED) != 0;
}
bool MenuGreyed(int command) {
  return (GetMenuState(MainMenu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED) != 0;
}
bool ToolbarEnabled(int command) { return SendMessageA(Toolbar, TB_ISBUTTONENABLED, command, 0) != 0; }

namespace {
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

void OpenPopupOf(int first_command) {
  SendMessageA(MainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(FindPopup(MainMenu, first_command)), 0);
}

void Click(HWND dialog, int control) { SendDlgItemMessageA(dialog, control, BM_CLICK, 0, 0); }
bool IsChecked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

void SetClientHeight(int client_height) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    RECT client{}, outer{};
    GetClientRect(MainWindow, &client);
    if (client.bottom == client_height) break;
    GetWindowRect(MainWindow, &outer);
    SetWindowPos(MainWindow, nullptr, 0, 0, outer.right - outer.left,
                 outer.bottom - outer.top + client_height - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
  }
  UpdateWindow(MainWindow);
  Pump();
}

int ControlHeight(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  return rect.bottom - rect.top;
}

COLORREF ClientPixel(int x, int y) {
  HDC dc = GetDC(MainWindow);
  const COLORREF pixel = GetPixel(dc, x, y);
  ReleaseDC(MainWindow, dc);
  return pixel;
}

bool CentredOverClient(HWND dialog) {
  RECT client{}, own{};
  GetClientRect(MainWindow, &client);
  POINT origin{0, 0};
  ClientToScreen(MainWindow, &origin);
  GetWindowRect(dialog, &own);
  const bool across = std::abs((own.left + own.right) - (2 * origin.x + client.right)) <= 2;
  if (own.bottom - own.top > client.bottom) return across && own.top == origin.y;
  return across && std::abs((own.top + own.bottom) - (2 * origin.y + client.bottom)) <= 2;
}
