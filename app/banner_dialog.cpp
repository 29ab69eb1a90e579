#include "app/app.h"
#include "app/resources/resource.h"

namespace {

constexpr int kBannerWidth = 400;
constexpr int kBannerFontWidth = kBannerWidth / 30;

HBRUSH banner_brush = nullptr;
HFONT banner_font = nullptr;
// Nothing ever puts a text here: the banner stays a hidden, empty popup.
const char banner_text[] = "";

void OnInitBanner(HWND dialog) {
  banner_brush = CreateSolidBrush(RGB(255, 255, 0));
  RECT rect{};
  GetWindowRect(dialog, &rect);
  const int height = rect.bottom - rect.top;
  SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - kBannerWidth) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, kBannerWidth, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  LOGFONTA font{};
  font.lfHeight = height / 2;
  font.lfWidth = kBannerFontWidth;
  font.lfPitchAndFamily = FF_ROMAN;
  banner_font = CreateFontIndirectA(&font);
}

void OnPaintBanner(HWND dialog) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(dialog, &paint);
  RECT client{};
  GetClientRect(dialog, &client);
  client.top = client.bottom / 4;
  HGDIOBJ previous = SelectObject(dc, banner_font);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, banner_text, -1, &client, DT_CENTER);
  SelectObject(dc, previous);
  EndPaint(dialog, &paint);
}

void OnDestroyBanner() {
  DeleteObject(banner_font);
  DeleteObject(banner_brush);
  banner_font = nullptr;
  banner_brush = nullptr;
}

INT_PTR CALLBACK BannerProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitBanner(dialog);
      return FALSE;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(banner_brush);
    case WM_PAINT:
      OnPaintBanner(dialog);
      return TRUE;
    case WM_BANNER_HIDE:
      ShowWindow(dialog, SW_HIDE);
      return TRUE;
    case WM_DESTROY:
      OnDestroyBanner();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND CreateBanner(HWND owner) {
  return CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_BANNER), owner, BannerProc, 0);
}
