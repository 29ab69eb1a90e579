#include "tests/gui/gui_harness.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/app.h"
#include "image/file_open.h"
#include "isp/burn_worker.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

namespace {

constexpr UINT kShownTimerMs = 10;
constexpr DWORD kSliceMs = 10;
constexpr int kFileNameCombo = 0x47C;  // the explorer-style file dialog's file name field
GuiSession* active = nullptr;
HHOOK hook = nullptr;

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
    caught.has_icon |= IsWindowVisible(child) && ClassOf(child) == "Static" &&
                       (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                       SendMessageA(child, STM_GETICON, 0, 0) != 0;
  }
  return caught;
}

// Timer messages come only when the queue is empty, which is when a modal dialog gets shown.
void CALLBACK RunWhenShown(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  if (!IsWindowVisible(dialog) || active == nullptr) return;
  KillTimer(dialog, timer);
  if (IsForeign(dialog) && !IsFileDialog(dialog)) {
    active->boxes.push_back(ReadBox(dialog));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  } else if (!IsFileDialog(dialog)) {
    if (active->on_dialog) active->on_dialog(dialog);
  } else if (active->on_file_dialog) {
    active->on_file_dialog(dialog);
  } else {
    AnswerFileDialog(dialog, "");
  }
}

// Notes a dialog once its initialisation has run (activation does not always come without a
// window manager); it is handled from its own modal loop once shown.
LRESULT CALLBACK AfterWindowProc(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && call->message == WM_INITDIALOG && ClassOf(call->hwnd) == "#32770") {
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
  for (const auto& [key, value] : profile) WriteProfileKey(key, value);
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

void AnswerFileDialog(HWND file_dialog, const std::string& path) {
  if (!path.empty()) {
    HWND combo = GetDlgItem(file_dialog, kFileNameCombo);
    HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
    SetWindowTextA(edit != nullptr ? edit : combo, path.c_str());
  }
  PostMessageA(file_dialog, WM_COMMAND, MAKEWPARAM(path.empty() ? IDCANCEL : IDOK, BN_CLICKED), 0);
}

void WriteProfileKey(const char* key, const char* value) { WriteProfileStringA(kProfileSection, key, value); }

std::string ReadProfileKey(const char* key) {
  char value[256] = {};
  GetProfileStringA(kProfileSection, key, "<missing>", value, sizeof value);
  return value;
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

bool MenuChecked(int command) { return GetMenuState(MainMenu, command, MF_BYCOMMAND) & MF_CHECKED; }
bool MenuGreyed(int command) { return GetMenuState(MainMenu, command, MF_BYCOMMAND) & MF_GRAYED; }
bool ToolbarEnabled(int command) { return SendMessageA(Toolbar, TB_ISBUTTONENABLED, command, 0) != 0; }

void OpenPopupOf(int first_command) {
  SendMessageA(MainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(FindPopup(MainMenu, first_command)), 0);
}

void Click(HWND dialog, int control) { SendDlgItemMessageA(dialog, control, BM_CLICK, 0, 0); }
bool IsChecked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }
bool IgnoresEscape(HWND dialog) {
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  return IsWindowVisible(dialog) != FALSE;
}

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

Drawn PixelsOf(HWND window, COLORREF colour, RECT area) {
  if (IsRectEmpty(&area)) GetClientRect(window, &area);
  Drawn drawn{{area.right, area.bottom, area.left, area.top}, 0, 0};
  HDC dc = GetDC(window);
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (GetPixel(dc, x, y) != colour) continue;
      drawn.box = {std::min<LONG>(drawn.box.left, x), std::min<LONG>(drawn.box.top, y),
                   std::max<LONG>(drawn.box.right, x + 1), std::max<LONG>(drawn.box.bottom, y + 1)};
      ++drawn.count;
      drawn.hash = drawn.hash * 1000003 + static_cast<std::uint64_t>(y * 4096 + x);
    }
  }
  ReleaseDC(window, dc);
  return drawn;
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
