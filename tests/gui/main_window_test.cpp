#include <gtest/gtest.h>

#include "app/app.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/com_port.h"
#include "app/image_state.h"
#include "app/path_text.h"
#include "app/profile_settings.h"
#include "app/shell.h"
#include "tests/gui/gui_harness.h"

namespace {

// The client area as drawn, 0xRRGGBB row by row, read at once (a GetPixel each is slow under Wine).
std::vector<DWORD> Face(const RECT& client) {
  std::vector<DWORD> pixels(static_cast<std::size_t>(client.right) * client.bottom);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = GetDC(MainWindow);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  GetDIBits(memory, bitmap, 0, client.bottom, pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(MainWindow, dc);
  return pixels;
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

// The face after a load: the left edge of the gradient's first and middle bands; the chip's
// picture (170 x 69, drawn three times as large) at its red ground, a black pin, the grey body
// and a point that only an 8 as last digit has; the red checksum line in the bottom quarter.
TEST(MainWindowPaint, EachChipsGradientAndPictureAndTheRedChecksumLine) {
  GuiSession session;
  session.Load(3000);
  RECT client{}, bar{}, status{};
  GetClientRect(session.window, &client);
  GetWindowRect(Toolbar, &bar);
  GetWindowRect(StatusBar, &status);
  const int top = bar.bottom - bar.top, band = (client.bottom - top - (status.bottom - status.top)) / 64;
  const int menu = GetSystemMetrics(SM_CYMENU), x = (client.right - 3 * 170) / 2 + 1;
  const int y = (client.bottom - 2 * menu - 3 * 69) / 2 + 2 * menu + 1;
  const struct {
    int x, y;
    DWORD rm5164, rm5168;
  } samples[] = {{0, top + band / 2, 0x00FF00, 0xFFFF00},       {0, top + 32 * band + band / 2, 0x007D00, 0x7D7D00},
                 {x + 3 * 2, y + 3 * 2, 0xFF0000, 0xFF0000},    {x + 3 * 15, y + 3 * 8, 0, 0},
                 {x + 3 * 20, y + 3 * 50, 0x808080, 0x808080}, {x + 3 * 89, y + 3 * 25, 0x808080, 0xFFFFFF}};
  for (int model : {0, 1}) {
    Command(model == 0 ? IDM_CHIP_RM5164 : IDM_CHIP_RM5168);
    UpdateWindow(session.window);
    const std::vector<DWORD> face = Face(client);
    for (const auto& s : samples) {
      EXPECT_EQ(face[static_cast<std::size_t>(s.y * client.right + s.x)], model ? s.rm5168 : s.rm5164) << s.x << "," << s.y;
    }
    EXPECT_GT(std::count(face.begin() + face.size() * 3 / 4, face.end(), 0xFF0000u), 50) << model;
  }
}

// "Open File 1" lays one file over both banks, "Open File 1 && 2" one file per bank; a failed
// open keeps the dialog up, a chosen file is stored at once, and Cancel opens nothing.
TEST(SelectFileDialog, OpenButtonsAndCancelAndAFailedOpenKeepsItUp) {
  GuiSession session({{"ChipID", "1"}});
  FileName1 = session.dir.Write("first.bin", std::string(1000, '\x11'));
  const std::string second = session.dir.Write("second.bin", std::string(2000, '\x22'));
  session.on_file_dialog = [&](HWND dialog) { AnswerFileDialog(dialog, second); };
  auto open = [&](std::vector<int> clicks) {
    std::string seen;  // F: the fill is asked (before every load); after each click u: still up, h: gone
    session.on_dialog = [&](HWND dialog) {
      if (WindowText(dialog) == "Unused bytes") {
        seen += 'F';
        return Click(dialog, IDC_UNUSED_OK);
      }
      for (int control : clicks) {
        Click(dialog, control);
        seen += IsWindowVisible(dialog) ? 'u' : 'h';
      }
    };
    return std::to_string(Command(IDM_OPEN_FILE)) + seen;
  };
  EXPECT_EQ(open({IDC_FILE_CANCEL}), "0h");
  EXPECT_EQ(open({IDC_OPEN_FILES_1_2, IDC_FILE2_BUTTON, IDC_OPEN_FILES_1_2}), "1FuuFh");
  EXPECT_EQ(session.boxes.size() == 1 ? session.boxes[0].text : "", " open error") << "the missing second file";
  EXPECT_EQ(ReadProfileKey("OpenFileName2") + "|" + ReadProfileKey("OpenFilePath"),
            second + "|" + std::filesystem::path(second).parent_path().string());
  EXPECT_EQ(std::tuple(FileState, Bank0Size.load(), Bank1Size.load()), std::tuple(2, 1024u, 2048u));
  EXPECT_EQ(open({IDC_OPEN_FILE1}), "1Fh");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + FileName1);

  // The same chip keeps the image; the other one empties it, with no size warning from the
  // old layout, so that nothing laid out for one chip is burned into the other.
  Command(IDM_CHIP_RM5168);
  EXPECT_EQ(FileState, 1);
  Command(IDM_CHIP_RM5164);
  EXPECT_EQ(std::tuple(FileState, Bank0Size.load(), Bank1Size.load(), ImageChecksum, session.boxes.size()),
            std::tuple(0, 0u, 0u, 0xFF01u, std::size_t{1}));
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- No file is opened");
  Command(IDM_CHIP_RM5168);  // filled over the RM5168's whole extent
  EXPECT_TRUE(std::all_of(FirmwareImage, FirmwareImage + 0x20000, [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(PathText, BaseFileNameAndShortenPath) {
  EXPECT_EQ(BaseFileName("C:\\fw\\main.hex"), "main.hex");
  EXPECT_EQ(BaseFileName("main.hex"), "main.hex");
  EXPECT_EQ(BaseFileName("C:\\fw\\"), "");
  EXPECT_EQ(ShortenPath("C:\\Projects\\Firmware\\Release\\build\\main.hex"), "C:\\Projects\\Firmware\\ ... \\main.hex");
  for (const char* whole : {"C:\\Projects\\Firmware\\very_long_file_name_x.hex", "C:\\a\\b\\c\\d\\e.hex", ""}) {
    EXPECT_EQ(ShortenPath(whole), whole);
  }
}

// Status part 1 names the chosen port, the typed device before the table; no port chosen
// fails to open without reading the tables.
TEST(ComPortStatus, NamesThePortOrShowsDisconnect) {
  struct Case { const char* device; int index; const char* text; };
  for (const Case& c : {Case{"", 2, "COM3 : BaudRate = 4800"}, Case{"", 7, "COM : Disconnect"},
                        Case{"ttyX9", 0, "ttyX9 : BaudRate = 4800"}, Case{"ttyX9", 4, "COM : Disconnect"}}) {
    SetPortDevice(c.device);
    ComPortIndex = c.index;  // 4 is disconnected, 7 outside the table
    EXPECT_EQ(PortStatusText(4800), c.text) << c.device << c.index;
  }
  SetPortDevice("");
  ComPortIndex = 4;
  EXPECT_EQ(ReopenComPort(), 0);
  EXPECT_EQ(LastPortError(), "cannot open the COM port: no port selected");
  ComPortIndex = 0;
}

}  // namespace
