#include "app/app.h"
#include "app/resources/resource.h"

HINSTANCE AppInstance = nullptr;
HANDLE InstanceMapping = nullptr;

bool AnotherInstanceRunning() {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 4,
                                      kInstanceMappingName);
  // A mapping that cannot be made at all does not stop the start.
  if (mapping == nullptr) return false;
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  // Kept open for the life of the process: it is what a later instance finds.
  if (InstanceMapping == nullptr) InstanceMapping = mapping;
  return existed;
}

ATOM RegisterMainClass(HINSTANCE instance) {
  WNDCLASSA window_class{};
  window_class.style = 0;
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = CreateSolidBrush(RGB(255, 255, 255));
  window_class.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN_MENU);
  window_class.lpszClassName = kMainClassName;
  return RegisterClassA(&window_class);
}

int MainWindowHeight(int screen_height, const RECT* taskbar) {
  if (taskbar == nullptr) return screen_height;
  const int width = taskbar->right - taskbar->left;
  const int height = taskbar->bottom - taskbar->top;
  // A bar along the left or right edge is taller than wide and takes no height.
  return width > height ? screen_height - height : screen_height;
}

HWND StartMainWindow(HINSTANCE instance) {
  HWND taskbar = FindWindowA("Shell_TrayWnd", "");
  RECT taskbar_rect{};
  const bool found = taskbar != nullptr && GetWindowRect(taskbar, &taskbar_rect);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height =
      MainWindowHeight(GetSystemMetrics(SM_CYSCREEN), found ? &taskbar_rect : nullptr);
  HWND window = CreateWindowExA(0, kMainClassName, kAppTitle, WS_OVERLAPPEDWINDOW, 0, 0, width,
                                height, nullptr, nullptr, instance, nullptr);
  MainWindow = window;
  if (window == nullptr) return nullptr;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

int RunMessageLoop() {
  MSG message{};
  // Only 0 (WM_QUIT) ends the loop; the error result -1 keeps it going.
  while (GetMessageA(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

int RunApplication(HINSTANCE instance) {
  if (AnotherInstanceRunning()) {
    MessageBoxA(nullptr, "Application is running.", kAppTitle, MB_OK);
    ExitProcess(1);
  }
  AppInstance = instance;
  // Without a class or a window there is nothing to run: a loop would never end.
  if (RegisterMainClass(instance) == 0) return kStartFailedExitCode;
  if (StartMainWindow(instance) == nullptr) return kStartFailedExitCode;
  return RunMessageLoop();
}
