#include <gtest/gtest.h>

#include "app/app.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "image/bank_image.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "tests/gui/gui_harness.h"

namespace {

int HeightOf(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  return rect.bottom - rect.top;
}

// The main window's client area as drawn, read once (a read per pixel is slow under Wine).
struct Face {
  int width = 0;
  std::vector<RGBQUAD> pixels;
  COLORREF At(int x, int y) const {
    const RGBQUAD& p = pixels[static_cast<std::size_t>(y) * width + x];
    return RGB(p.rgbRed, p.rgbGreen, p.rgbBlue);
  }
};
Face Capture() {
  UpdateWindow(MainWindow);
  RECT client{};
  GetClientRect(MainWindow, &client);
  Face face{client.right, std::vector<RGBQUAD>(static_cast<std::size_t>(client.right) * client.bottom)};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = GetDC(MainWindow);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  GetDIBits(memory, bitmap, 0, client.bottom, face.pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(MainWindow, dc);
  return face;
}

TEST(MainWindow, StartsDisconnectedAfterTheErrorBoxAndEndsTheLoop) {
  GuiSession session;
  ASSERT_EQ(session.startup.size(), 1u);
  EXPECT_EQ(session.startup[0].text + "|" + session.startup[0].caption, "Can not open COM port ...|Error");
  const char* parts[6] = {"RM5164", "COM : Disconnect", "", "", "", "CheckSum: None"};
  for (int part = 0; part < 6; ++part) EXPECT_EQ(StatusText(part), parts[part]) << part;
  EXPECT_EQ(ReadProfileKey("ComPort"), "<missing>") << "the disconnected state is never stored";
  DestroyWindow(session.window);
  EXPECT_TRUE(Pump());
  ShowPortStatus("COM1 : BaudRate = 57600");  // a worker that outlives the window finds no control
  OfferBurn(true);
}

// The marks follow the stored values when a popup opens, and the commands' own values.
TEST(MainWindow, ChipAndFillCommandsApplyAndPopupsMarkTheCurrentOnes) {
  GuiSession session({{"ChipID", "1"}, {"UnusedBytes", "0"}});
  auto marked = [](int command) { return (GetMenuState(MainMenu, command, MF_BYCOMMAND) & MF_CHECKED) != 0; };
  const struct {
    int command, popup, checked, unchecked;  // command 0: only the popup opens
  } steps[] = {{0, IDM_CHIP_RM5164, IDM_CHIP_RM5168, IDM_CHIP_RM5164},
               {IDM_CHIP_RM5164, IDM_CHIP_RM5164, IDM_CHIP_RM5164, IDM_CHIP_RM5168},
               {IDM_FILL_FF, IDM_FILL_FF, IDM_FILL_FF, IDM_FILL_00}};
  for (const auto& step : steps) {
    if (step.command != 0) Command(step.command);
    OpenPopupOf(step.popup);
    EXPECT_TRUE(marked(step.checked) && !marked(step.unchecked)) << step.command;
  }
  EXPECT_EQ(StatusText(0) + ReadProfileKey("ChipID") + ReadProfileKey("UnusedBytes"), "RM51640255");
}

// The locks and the Burn offer, which a burn also sets from its worker, are in port_and_burn_test.
TEST(MainWindow, ShellCallsReachTheControlsAndAWarningHasItsCaption) {
  GuiSession session;
  std::atomic<bool> done{false};
  std::thread worker([&done] {
    HandshakeSeen(21);
    ShowTitle("RM516X ISP utility -- C:\\fw.hex");
    ShowBankBytes(512, 1024);
    done = true;
  });
  PumpUntil([&done] { return done.load(); });  // the worker's sends are served meanwhile
  worker.join();
  EXPECT_EQ(StatusText(4) + "|" + StatusText(2) + "|" + StatusText(3), "VER: 2.1|BANK0 : 512 byte(s)|BANK1 : 1024 byte(s)");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- C:\\fw.hex");
  ShowMessage(session.window, "Program size > 65024 bytes", MessageWarning);  // the error caption: the start-up box
  ASSERT_EQ(session.boxes.size(), 1u);
  EXPECT_EQ(session.boxes[0].caption, "Warnning");
}

// What a second start finds: the first one's mapping.
TEST(MainWindow, AnotherInstanceIsFoundByTheMappingOfTheFirst) {
  EXPECT_FALSE(AnotherInstanceRunning());
  EXPECT_TRUE(AnotherInstanceRunning());
}

// The chip dialog applies at the click; the fill dialog stores at the click.
TEST(ChoiceDialogs, SelectIcAndUnusedBytesApplyAtTheClick) {
  GuiSession session;
  session.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SELECT_RM5164), UINT{BST_CHECKED});
    Click(dialog, IDC_SELECT_RM5168);
    EXPECT_EQ(ReadProfileKey("ChipID") + StatusText(0), "1RM5168");
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  };
  Command(IDM_TOOLBAR_SELECT_IC);
  session.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_FILL_FF), UINT{BST_CHECKED});
    Click(dialog, IDC_FILL_00);
    EXPECT_EQ(ReadProfileKey("UnusedBytes"), "0") << "stored before OK";
    Click(dialog, IDC_UNUSED_OK);
  };
  EXPECT_EQ(RunUnusedBytesDialog(session.window), 1);
}

TEST(OpenCommand, Rm5164CancelChangesNothingAChoiceIsStoredBeforeTheFillIsAsked) {
  GuiSession session({{"OpenFileName1", "C:\\fw\\old\\blink.hex"}});
  const std::string app = session.dir.Write("app.bin", std::string(3000, '\x5A'));
  std::vector<std::string> proposed;
  std::string choice;  // empty: cancel
  session.on_file_dialog = [&](HWND dialog) {
    proposed.push_back(WindowText(GetDlgItem(dialog, 0x47C)));
    EXPECT_FALSE(IsWindowEnabled(MainWindow));
    AnswerFileDialog(dialog, choice);
  };
  int fill_dialogs = 0;
  session.on_dialog = [&](HWND dialog) {
    ++fill_dialogs;
    EXPECT_EQ(ReadProfileKey("OpenFileName1"), choice) << "stored before the fill is asked";
    Click(dialog, IDC_UNUSED_OK);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 0);
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), "<missing>");
  choice = app;
  EXPECT_EQ(Command(IDM_OPEN_FILE), 1);
  EXPECT_EQ(fill_dialogs, 1);
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), std::filesystem::path(app).parent_path().string());
  EXPECT_EQ(proposed, (std::vector<std::string>{"blink.hex", "blink.hex"}));
}

// The face: the first, middle and last bands of each chip's gradient at the left edge, the
// chip's own picture (not the other's) along its middle row, and the red checksum line,
// which a load redraws.
TEST(MainWindowPaint, EachChipsGradientAndPictureAndTheRedChecksumLine) {
  GuiSession session;
  RECT client{};
  GetClientRect(session.window, &client);
  const int top = HeightOf(Toolbar), available = client.bottom - top - HeightOf(StatusBar);
  const int band_rows = available / 64;
  for (int model : {0, 1}) {
    Command(model == 0 ? IDM_CHIP_RM5164 : IDM_CHIP_RM5168);
    const Face face = Capture();
    for (const auto& [band, level] : {std::pair{0, 255}, {32, 125}, {63, 0}}) {
      const COLORREF expected = model == 0 ? RGB(0, level, 0) : RGB(level, level, 0);
      EXPECT_EQ(face.At(0, top + band * band_rows + band_rows / 2), expected) << model << " band " << band;
    }
    int matches[2] = {0, 0}, samples = 0;
    for (int picture : {0, 1}) {
      HBITMAP bitmap = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(picture == 0 ? IDB_CHIP_RM5164 : IDB_CHIP_RM5168));
      BITMAP info{};
      GetObjectA(bitmap, sizeof info, &info);
      HDC memory = CreateCompatibleDC(nullptr);
      HGDIOBJ previous = SelectObject(memory, bitmap);
      const int menu = GetSystemMetrics(SM_CYMENU);
      const int x = (client.right - 3 * info.bmWidth) / 2, row = info.bmHeight / 2;
      const int y = (client.bottom - 2 * menu - 3 * info.bmHeight) / 2 + 2 * menu + 3 * row + 1;
      samples = 0;
      for (int px = 0; px < info.bmWidth; px += 5, ++samples) {
        matches[picture] += face.At(x + 3 * px + 1, y) == GetPixel(memory, px, row);
      }
      SelectObject(memory, previous);
      DeleteDC(memory);
      DeleteObject(bitmap);
    }
    EXPECT_EQ(matches[model], samples) << "model " << model;
    EXPECT_LT(matches[1 - model], samples) << "model " << model;
  }

  // The red pixels of the line's rows, as one fingerprint of where they lie.
  auto red_line = [&] {
    const Face face = Capture();
    std::size_t count = 0, hash = 0;
    for (int y = available - 60; y < available; ++y) {
      for (int x = 0; x < client.right; ++x) {
        if (face.At(x, y) != RGB(255, 0, 0)) continue;
        ++count;
        hash = hash * 1000003 + static_cast<std::size_t>(y * 4096 + x);
      }
    }
    return std::pair{count, hash};
  };
  Command(IDM_CHIP_RM5164);
  const auto before = red_line();
  session.Load(3000);
  ASSERT_NE(ImageChecksum, 0u);
  const auto after = red_line();
  EXPECT_GT(before.first, 50u);
  EXPECT_GT(after.first, 50u);
  EXPECT_NE(after.second, before.second) << "the loaded image's checksum is drawn";
}

// "Open File 1" lays one file over both banks, "Open File 1 && 2" one file per bank; a failed
// open keeps the dialog up, a chosen file is stored at once, and Cancel opens nothing.
TEST(SelectFileDialog, OpenButtonsAndCancelAndAFailedOpenKeepsItUp) {
  GuiSession session({{"ChipID", "1"}});
  const std::string first = session.dir.Write("first.bin", std::string(1000, '\x11'));
  const std::string second = session.dir.Write("second.bin", std::string(2000, '\x22'));
  FileName1 = first;
  FileName2.clear();
  session.on_file_dialog = [&](HWND dialog) { AnswerFileDialog(dialog, second); };
  int fills = 0;
  auto open = [&](const std::function<void(HWND)>& act) {
    session.on_dialog = [&](HWND dialog) {
      if (WindowText(dialog) == "Unused bytes") {
        ++fills;
        return Click(dialog, IDC_UNUSED_OK);
      }
      act(dialog);
    };
    return Command(IDM_OPEN_FILE);
  };
  const int state_before = FileState;
  EXPECT_EQ(open([](HWND dialog) { Click(dialog, IDC_FILE_CANCEL); }), 0);
  EXPECT_EQ(fills, 0);
  EXPECT_EQ(FileState, state_before);

  EXPECT_EQ(open([&](HWND dialog) {
    Click(dialog, IDC_OPEN_FILES_1_2);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "no second file yet";
    Click(dialog, IDC_FILE2_BUTTON);
    Click(dialog, IDC_OPEN_FILES_1_2);
  }), 1);
  ASSERT_EQ(session.boxes.size(), 1u);
  EXPECT_EQ(session.boxes[0].text, " open error");
  EXPECT_EQ(ReadProfileKey("OpenFileName1") + "|" + ReadProfileKey("OpenFileName2") + "|" + ReadProfileKey("OpenFilePath"),
            "<missing>|" + second + "|" + std::filesystem::path(second).parent_path().string());
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(Bank0Size.load() * 100000 + Bank1Size.load(), 1024u * 100000 + 2048u) << "one file per bank";
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + first + "  ,  " + second);

  EXPECT_EQ(open([](HWND dialog) { Click(dialog, IDC_OPEN_FILE1); }), 1);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + first);
  EXPECT_EQ(fills, 3);
}

}  // namespace
