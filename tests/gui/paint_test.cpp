#include <gtest/gtest.h>

#include "app/app.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/resources/resource.h"
#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/gui/gui_harness.h"

namespace {

constexpr int kLeftColumn = 2;  // left of the picture and of the checksum line

int Level(int band) { return (16065 - 255 * band) / 63; }

COLORREF BandColour(int model, int band) {
  const int c = Level(band);
  return model == 0 ? RGB(0, c, 0) : RGB(c, c, 0);
}

// Rows T .. H-S-1 of the client area; the toolbar and status bar cover the rest.
int AvailableTop() { return ControlHeight(Toolbar); }

void SetAvailableHeight(int available) {
  SetClientHeight(available + ControlHeight(Toolbar) + ControlHeight(StatusBar));
}

bool IsTextRed(COLORREF pixel) {
  return GetRValue(pixel) >= 192 && GetGValue(pixel) <= 64 && GetBValue(pixel) <= 64;
}

TEST(MainWindowPaint, GradientRemainderAndPictureForEachModel) {
  GuiSession session;
  SetAvailableHeight(650);
  const int top = AvailableTop();
  for (int model : {0, 1}) {
    // The menu choice repaints at once with the other colour and picture.
    Command(model == 0 ? IDM_CHIP_RM5164 : IDM_CHIP_RM5168);
    UpdateWindow(session.window);
    for (int band : {0, 1, 2, 31, 62, 63}) {
      EXPECT_EQ(ClientPixel(kLeftColumn, top + 10 * band), BandColour(model, band))
          << "model " << model << " band " << band;
      EXPECT_EQ(ClientPixel(kLeftColumn, top + 10 * band + 9), BandColour(model, band));
    }
    for (int row = top + 640; row < top + 650; ++row) {
      EXPECT_EQ(ClientPixel(kLeftColumn, row), RGB(0, 0, 0)) << "remainder row " << row;
    }

    // The chip picture, three times its size, centred below two menu heights.
    HBITMAP picture = LoadBitmapA(
        AppInstance, MAKEINTRESOURCEA(model == 0 ? IDB_CHIP_RM5164 : IDB_CHIP_RM5168));
    BITMAP info{};
    GetObjectA(picture, sizeof info, &info);
    ASSERT_EQ(info.bmWidth, 170);
    ASSERT_EQ(info.bmHeight, 69);
    RECT client{};
    GetClientRect(session.window, &client);
    const int menu = GetSystemMetrics(SM_CYMENU);
    const int x = (client.right - 3 * info.bmWidth) / 2;
    const int y = (client.bottom - 2 * menu - 3 * info.bmHeight) / 2 + 2 * menu;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, picture);
    int mismatches = 0;
    for (int py = 0; py < info.bmHeight; py += 4) {
      for (int px = 0; px < info.bmWidth; px += 4) {
        if (ClientPixel(x + 3 * px + 1, y + 3 * py + 1) != GetPixel(memory, px, py)) ++mismatches;
      }
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
    EXPECT_EQ(mismatches, 0) << "model " << model;
    EXPECT_EQ(ClientPixel(x + 509, y + 206), RGB(255, 0, 0)) << "last pixel of the picture";
    EXPECT_NE(ClientPixel(x - 1, y), RGB(255, 0, 0)) << "left of the picture";
    EXPECT_NE(ClientPixel(x + 510, y + 206), RGB(255, 0, 0)) << "right of the picture";
  }
}

TEST(MainWindowPaint, ShortWindowIsBlackBelowTheToolbar) {
  GuiSession session;
  for (int available : {63, 40, 0}) {
    SetAvailableHeight(available);
    const int top = AvailableTop();
    for (int row = top; row < top + available; ++row) {
      ASSERT_EQ(ClientPixel(kLeftColumn, row), RGB(0, 0, 0)) << available << " row " << row;
    }
  }
}

// The red pixels of the checksum line as the window shows them and as the line should look:
// the text drawn alone, in the same font, into the box the line must occupy.
struct LineCheck {
  int differing = 0;
  int expected_red = 0;
  int red_outside = 0;
};

LineCheck CheckChecksumLine(HWND window, const char* text) {
  RECT client{};
  GetClientRect(window, &client);
  const int width = client.right;
  const int available = client.bottom - ControlHeight(Toolbar) - ControlHeight(StatusBar);

  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, width, client.bottom);
  HGDIOBJ previous_bitmap = SelectObject(memory, canvas);
  FillRect(memory, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  HGDIOBJ previous_font = SelectObject(memory, ChecksumFont);
  TEXTMETRICA metrics{};
  GetTextMetricsA(memory, &metrics);
  const int box_width = (static_cast<int>(std::strlen(text)) + 6) * metrics.tmAveCharWidth;
  RECT box{};
  box.left = std::max(0, ((width + 1) - box_width) / 2);
  box.right = box.left + box_width;
  box.bottom = available;
  box.top = available - metrics.tmHeight;
  SetTextColor(memory, RGB(255, 0, 0));
  SetBkMode(memory, TRANSPARENT);
  DrawTextA(memory, text, -1, &box, DT_CENTER);

  LineCheck check;
  for (int y = box.top - 8; y < box.bottom + 4; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool expected = IsTextRed(GetPixel(memory, x, y));
      const bool shown = IsTextRed(GetPixel(screen, x, y));
      check.expected_red += expected;
      check.differing += expected != shown;
      const bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
      check.red_outside += shown && !inside;
    }
  }
  SelectObject(memory, previous_font);
  SelectObject(memory, previous_bitmap);
  DeleteObject(canvas);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  return check;
}

TEST(MainWindowPaint, ChecksumLineShowsTheImageChecksumInItsBox) {
  GuiSession session;
  SetAvailableHeight(650);
  // As before any load in a fresh process (a model change in an earlier test recomputes it).
  ImageChecksum = 0;
  ShowChecksum(ImageChecksum);
  UpdateWindow(session.window);
  LineCheck zeros = CheckChecksumLine(session.window, "CheckSum = 0000");
  EXPECT_GT(zeros.expected_red, 200);
  EXPECT_LE(zeros.differing, zeros.expected_red / 50);
  EXPECT_EQ(zeros.red_outside, 0);
  // The same comparison tells other digits apart.
  EXPECT_GT(CheckChecksumLine(session.window, "CheckSum = 1234").differing, zeros.expected_red / 10);

  ImageChecksum = 0xBEEF;
  ShowChecksum(ImageChecksum);
  UpdateWindow(session.window);
  LineCheck beef = CheckChecksumLine(session.window, "CheckSum = BEEF");
  EXPECT_LE(beef.differing, beef.expected_red / 50);
  EXPECT_EQ(beef.red_outside, 0);

  // Narrower than the box: the box starts at the left edge.
  RECT outer{};
  GetWindowRect(session.window, &outer);
  SetWindowPos(session.window, nullptr, 0, 0, 300, outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
  UpdateWindow(session.window);
  EXPECT_LE(CheckChecksumLine(session.window, "CheckSum = BEEF").differing, beef.expected_red / 50);
  ImageChecksum = 0;
}

}  // namespace
