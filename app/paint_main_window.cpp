#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/image_state.h"
#include "app/profile_settings.h"
#include "app/resources/resource.h"

namespace {

constexpr int kBands = 64;
constexpr int kFirstLevel = 16065;  // 255 x 63: band k has level (16065 - 255 k) / 63
constexpr int kLevelStep = 255;
constexpr int kPictureScale = 3;

int HeightOf(HWND control) {
  RECT rect{};
  if (control == nullptr || !GetWindowRect(control, &rect)) return 0;
  return rect.bottom - rect.top;
}

// With the null pen a rectangle covers one pixel less to the right and at the bottom.
void FillBand(HDC dc, COLORREF colour, int width, int top, int rows) {
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ previous = SelectObject(dc, brush);
  Rectangle(dc, 0, top, width + 1, top + rows + 1);
  SelectObject(dc, previous);
  DeleteObject(brush);
}

void DrawChipPicture(HDC dc, HWND window) {
  HBITMAP picture = LoadBitmapA(
      AppInstance, MAKEINTRESOURCEA(&ChosenChip() == &kRm5164 ? IDB_CHIP_RM5164 : IDB_CHIP_RM5168));
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, picture);
  BITMAP info{};
  GetObjectA(picture, sizeof info, &info);
  RECT client{};
  GetClientRect(window, &client);
  const int menu_height = GetSystemMetrics(SM_CYMENU);
  const int x = (client.right - kPictureScale * info.bmWidth) / 2;
  const int y =
      (client.bottom - 2 * menu_height - kPictureScale * info.bmHeight) / 2 + 2 * menu_height;
  StretchBlt(dc, x, y, kPictureScale * info.bmWidth, kPictureScale * info.bmHeight, memory, 0, 0,
             info.bmWidth, info.bmHeight, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(picture);
}

void DrawChecksumLine(HDC dc, HFONT font, int width, int available) {
  SelectObject(dc, font);
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  char text[32];
  std::snprintf(text, sizeof text, "CheckSum = %.4X", static_cast<unsigned>(ImageChecksum));
  const int length = static_cast<int>(std::strlen(text));
  const int box_width = (length + 6) * metrics.tmAveCharWidth;
  RECT box{};
  box.left = ((width + 1) - box_width) / 2;
  if (box.left < 0) box.left = 0;
  box.right = box.left + box_width;
  box.bottom = available;
  box.top = available - metrics.tmHeight;
  DrawTextA(dc, text, length, &box, DT_CENTER);
}

}  // namespace

void PaintMainWindow(HWND window, HFONT checksum_font) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  const int width = client.right;
  const int height = client.bottom;
  const int toolbar_height = HeightOf(Toolbar);
  const int available = height - toolbar_height - HeightOf(StatusBar);
  const int band_rows = available / kBands;
  const int remainder_rows = available - kBands * band_rows;

  HGDIOBJ previous_pen = SelectObject(dc, GetStockObject(NULL_PEN));
  HGDIOBJ previous_font = GetCurrentObject(dc, OBJ_FONT);
  int top = toolbar_height;
  for (int level = kFirstLevel; level >= 0; level -= kLevelStep) {
    const int c = level / 63;
    FillBand(dc, &ChosenChip() == &kRm5164 ? RGB(0, c, 0) : RGB(c, c, 0), width, top, band_rows);
    top += band_rows;
  }
  // A window shorter than its toolbar and status bar has no remainder to paint.
  if (remainder_rows >= 0) FillBand(dc, RGB(0, 0, 0), width, top, remainder_rows);

  DrawChipPicture(dc, window);
  DrawChecksumLine(dc, checksum_font, width, available);

  SelectObject(dc, previous_font);
  SelectObject(dc, previous_pen);
  EndPaint(window, &paint);
}
