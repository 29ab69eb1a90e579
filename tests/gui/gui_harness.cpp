#include "tests/gui/gui_harness.h"

#include <deque>
#include <set>

#include <windows.h>
#include <commctrl.h>

#include "app/app.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

namespace {

constexpr UINT kHandleDialog = WM_APP + 40;
constexpr UINT kRunStep = WM_APP + 41;
std::deque<std::function<void()>> steps;
DialogCatcher* active_catcher = nullptr;
HHOOK hook = nullptr;
HWND helper = nullptr;
std::set<HWND> seen;  // a dialog is handled once

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The program's dialogs have their procedures in this module; a message box's and the
// platform file dialog's are the system's.
bool IsForeignDialog(HWND dialog) {
  const auto procedure = GetWindowLongPtrA(dialog, DWLP_DLGPROC);
  HMODULE owner = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(procedure), &owner);
  return owner != GetModuleHandleA(nullptr);
}

// The file dialog has combo boxes.
bool IsFileDialog(HWND dialog) {
  return IsForeignDialog(dialog) && FindWindowExA(dialog, nullptr, "ComboBox", nullptr) != nullptr;
}

bool IsMessageBox(HWND dialog) { return IsForeignDialog(dialog) && !IsFileDialog(dialog); }

CaughtBox ReadBox(HWND box) {
  CaughtBox caught;
  caught.text = WindowText(GetDlgItem(box, 0xFFFF));
  caught.caption = WindowText(box);
  caught.owner = GetWindow(box, GW_OWNER);
  HWND main_window = FindWindowA(kMainClassName, nullptr);
  caught.main_enabled = main_window != nullptr && IsWindowEnabled(main_window);
  caught.main_visible = main_window != nullptr && IsWindowVisible(main_window);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    const std::string child_class = ClassOf(child);
    if (child_class == "Static" && (style & SS_TYPEMASK) == SS_ICON &&
        SendMessageA(child, STM_GETICON, 0, 0) != 0) {
      caught.has_icon = true;
    }
    if (child_class == "Button") {
      ++caught.buttons;
      if (GetDlgCtrlID(child) == IDOK) caught.ok_button = true;
    }
  }
  return caught;
}

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunStep && !steps.empty()) {
    std::function<void()> step = std::move(steps.front());
    steps.pop_front();
    step();
    return 0;
  }
  if (message == kHandleDialog && active_catcher != nullptr) {
    HWND dialog = reinterpret_cast<HWND>(wparam);
    // The file dialog is FileDialogWatch's: met here too only when it outlives this
    // message, which is a matter of timing.
    if (!IsWindow(dialog) || IsFileDialog(dialog)) return 0;
    if (IsMessageBox(dialog)) {
      active_catcher->boxes.push_back(ReadBox(dialog));
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    } else if (active_catcher->on_dialog) {
      active_catcher->on_dialog(dialog);
    }
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// Only notes the dialog once its initialisation has run; it is handled from its own modal
// loop. (Activation is not used: without a window manager it does not always come.)
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
  hook = nullptr;
  active_catcher = nullptr;
}

void RunLater(std::function<void()> step) {
  steps.push_back(std::move(step));
  PostMessageA(helper, kRunStep, 0, 0);
}

void ClearProfileSection() { WriteProfileStringA(kProfileSection, nullptr, nullptr); }

void WriteProfileKey(const char* key, const char* value) {
  WriteProfileStringA(kProfileSection, key, value);
}

std::string ReadProfileKey(const char* key) {
  char value[256] = {};
  GetProfileStringA(kProfileSection, key, "<missing>", value, sizeof value);
  return value;
}

HWND OpenMainWindow() {
  static bool registered = false;
  if (!registered) {
    AppInstance = GetModuleHandleA(nullptr);
    registered = RegisterMainClass(AppInstance) != 0;
  }
  // A device that never opens: the tests see the disconnected start, whatever the prefix's COM1.
  SetPortDevice("RM516X_NO_SUCH_PORT");
  HWND window = StartMainWindow(AppInstance);
  Pump();
  return window;
}

void CloseMainWindow() {
  if (MainWindow.load() != nullptr) DestroyWindow(MainWindow);
  Pump();
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

namespace {
HMENU FindPopup(HMENU menu, int first_command) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    HMENU sub = GetSubMenu(menu, i);
    if (sub == nullptr) continue;
    if (static_cast<int>(GetMenuItemID(sub, 0)) == first_command) return sub;
    if (HMENU deeper = FindPopup(sub, first_command)) return deeper;
  }
  return nullptr;
}
}  // namespace

void OpenPopupOf(int first_command) {
  HMENU popup = FindPopup(MainMenu, first_command);
  SendMessageA(MainWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
}

LRESULT Command(int command, WORD notification) {
  return SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(command, notification), 0);
}

void SetClientHeight(int client_height) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    RECT client{}, outer{};
    GetClientRect(MainWindow, &client);
    if (client.bottom == client_height) break;
    GetWindowRect(MainWindow, &outer);
    SetWindowPos(MainWindow, nullptr, 0, 0, outer.right - outer.left,
                 outer.bottom - outer.top + client_height - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER);
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
