#include "app/app.h"

// The frame, caption and menu heights stand in for the offset from the main window's outer
// corner to its client area.
void CenterInMainWindow(HWND dialog) {
  HWND main_window = MainWindow;
  RECT client{}, outer{}, own{};
  GetClientRect(main_window, &client);
  GetWindowRect(main_window, &outer);
  GetWindowRect(dialog, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  const int x = outer.left + (client.right - width) / 2 + GetSystemMetrics(SM_CXFRAME);
  int dy = (client.bottom - height) / 2;
  if (dy < 0) dy = 0;
  const int y = outer.top + dy + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME) +
                GetSystemMetrics(SM_CYMENU);
  MoveWindow(dialog, x, y, width, height, FALSE);
}
