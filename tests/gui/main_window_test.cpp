#include <gtest/gtest.h>

#include "app/app.h"

#include <commctrl.h>

#include <atomic>
#include <thread>

#include "image/bank_image.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "tests/gui/gui_harness.h"

namespace {

TEST(MainWindow, StartsDisconnectedAfterTheErrorBoxAndFillsItsFurniture) {
  GuiSession session;
  ASSERT_EQ(session.startup.size(), 1u);
  const CaughtBox& box = session.startup[0];
  EXPECT_EQ(box.text + "|" + box.caption, "Can not open COM port ...|Error");
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_FALSE(box.main_visible) << "the box comes before the window is shown";

  const char* parts[6] = {"RM5164", "COM : Disconnect", "", "", "", "CheckSum: None"};
  for (int part = 0; part < 6; ++part) EXPECT_EQ(StatusText(part), parts[part]) << part;
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");
  EXPECT_EQ(ComPortIndex, 4);
  EXPECT_EQ(ReadProfileKey("ComPort"), "<missing>") << "the disconnected state is never stored";

  RECT outer{};
  GetWindowRect(session.window, &outer);
  EXPECT_EQ(outer.left | outer.top, 0);
  EXPECT_EQ(outer.right, GetSystemMetrics(SM_CXSCREEN));

  // Open, a separator, then the four program buttons.
  std::vector<int> commands;
  for (int i = 0; i < SendMessageA(Toolbar, TB_BUTTONCOUNT, 0, 0); ++i) {
    TBBUTTON button{};
    SendMessageA(Toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
    commands.push_back(button.fsStyle & TBSTYLE_SEP ? -1 : button.idCommand);
  }
  EXPECT_EQ(commands, (std::vector<int>{IDM_TOOLBAR_OPEN, -1, IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT,
                                        IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC}));
  EXPECT_FALSE(IsWindowVisible(BannerDialog));
}

TEST(MainWindow, HeightLosesOnlyATaskbarAlongTheTopOrBottomEdge) {
  const struct {
    RECT taskbar;
    int height;
  } cases[] = {{{0, 984, 1280, 1024}, 984}, {{0, 0, 1280, 30}, 994},
               {{0, 0, 60, 1024}, 1024}, {{1220, 0, 1280, 1024}, 1024}};
  for (const auto& c : cases) EXPECT_EQ(MainWindowHeight(1024, &c.taskbar), c.height) << c.taskbar.left;
  EXPECT_EQ(MainWindowHeight(1024, nullptr), 1024);
}

// The marks follow the stored values when a popup opens, and each command's own value.
TEST(MainWindow, ChipAndFillCommandsApplyAndPopupsMarkTheCurrentOnes) {
  GuiSession session({{"ChipID", "1"}, {"UnusedBytes", "0"}});
  EXPECT_FALSE(MenuChecked(IDM_CHIP_RM5168)) << "marks are set only when a popup opens";
  const struct {
    int command, popup, checked, unchecked;  // command 0: only the popup opens
  } steps[] = {{0, IDM_CHIP_RM5164, IDM_CHIP_RM5168, IDM_CHIP_RM5164}, {0, IDM_FILL_FF, IDM_FILL_00, IDM_FILL_FF},
               {IDM_CHIP_RM5164, IDM_CHIP_RM5164, IDM_CHIP_RM5164, IDM_CHIP_RM5168},
               {IDM_CHIP_RM5168, IDM_CHIP_RM5164, IDM_CHIP_RM5168, IDM_CHIP_RM5164},
               {IDM_FILL_FF, IDM_FILL_FF, IDM_FILL_FF, IDM_FILL_00}, {IDM_FILL_00, IDM_FILL_FF, IDM_FILL_00, IDM_FILL_FF}};
  for (const auto& step : steps) {
    if (step.command != 0) Command(step.command, 1);  // the high word is not examined
    OpenPopupOf(step.popup);
    EXPECT_TRUE(MenuChecked(step.checked) && !MenuChecked(step.unchecked)) << step.command;
  }
  EXPECT_EQ(StatusText(0) + ReadProfileKey("ChipID"), "RM51681");
}

TEST(MainWindow, ToolbarTooltipsComeFromTheStringTable) {
  GuiSession session;
  std::string tips;
  for (int command : {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE,
                      IDM_TOOLBAR_SELECT_IC, IDM_BURN}) {
    char text[64] = "-";
    TOOLTIPTEXTA request{};
    request.hdr.code = TTN_NEEDTEXTA;
    request.lpszText = text;
    SendMessageA(session.window, WM_NOTIFY, command, reinterpret_cast<LPARAM>(&request));
    if (request.lpszText != text) {
      LoadStringA(request.hinst, static_cast<UINT>(reinterpret_cast<UINT_PTR>(request.lpszText)), text, sizeof text);
    }
    tips += std::string(text) + "|";
  }
  EXPECT_EQ(tips, "Open HEX/BIN file|ISP burn|Change COM port|Change baud rate|Select IC|-|");
}

TEST(MainWindow, ShellCallsFromAnotherThreadReachTheControls) {
  GuiSession session;
  std::atomic<bool> done{false};
  std::thread worker([&done] {
    HandshakeSeen(21);
    ShowTitle("RM516X ISP utility -- C:\\fw.hex");
    ShowBankBytes(512, 1024);
    LockBurnInputs(true);
    OfferBurn(false);
    done = true;
  });
  PumpUntil([&done] { return done.load(); });  // the worker's sends are served meanwhile
  worker.join();

  EXPECT_EQ(StatusText(4), "VER: 2.1");
  EXPECT_EQ(StatusText(2) + "|" + StatusText(3), "BANK0 : 512 byte(s)|BANK1 : 1024 byte(s)");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- C:\\fw.hex");
  for (int button : {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC}) {
    EXPECT_FALSE(ToolbarEnabled(button)) << button;
  }
  EXPECT_FALSE(ToolbarEnabled(IDM_TOOLBAR_BURN));
  EXPECT_TRUE(MenuGreyed(IDM_BURN));
  OfferBurn(true);
  EXPECT_FALSE(MenuGreyed(IDM_BURN));
  EXPECT_TRUE(ToolbarEnabled(IDM_TOOLBAR_BURN));
  EXPECT_FALSE(ToolbarEnabled(IDM_TOOLBAR_COM_PORT));
  LockBurnInputs(false);
  EXPECT_TRUE(ToolbarEnabled(IDM_TOOLBAR_COM_PORT));
  char text[32] = {};
  GetMenuStringA(MainMenu, IDM_BURN, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "&Burn");
}

TEST(MainWindow, ShowMessageCaptionsIconsOwnersAndTheMainWindowLock) {
  GuiSession session;
  ShowMessage(session.window, "Program size > 65024 bytes", MessageWarning);
  ShowMessage(nullptr, "low byte only", 0x100);  // only the low byte counts: an error
  ASSERT_EQ(session.boxes.size(), 2u);
  EXPECT_EQ(session.boxes[0].caption + "|" + session.boxes[1].caption, "Warnning|Error");
  EXPECT_FALSE(session.boxes[0].has_icon);
  EXPECT_TRUE(session.boxes[1].has_icon);
  EXPECT_EQ(session.boxes[0].owner, session.window);
  for (const CaughtBox& box : session.boxes) EXPECT_FALSE(box.main_enabled);
  EXPECT_TRUE(IsWindowEnabled(session.window));

  // Under a modal dialog the main window is already disabled and must stay so.
  EnableWindow(session.window, FALSE);
  ShowMessage(nullptr, "Change COM port error ...", MessageError);
  EXPECT_FALSE(IsWindowEnabled(session.window));
  EnableWindow(session.window, TRUE);
}

TEST(MainWindow, DestroyEndsTheLoopWithZeroAndLeavesTheShellHarmless) {
  GuiSession session;
  HWND status_bar = StatusBar;
  DestroyWindow(session.window);
  int exit_code = -1;
  EXPECT_TRUE(Pump(&exit_code));
  EXPECT_EQ(exit_code, 0);
  EXPECT_FALSE(IsWindow(status_bar));
  EXPECT_EQ(MainWindowHandle(), nullptr);
  ShowPortStatus("COM1 : BaudRate = 57600");  // a worker that outlives the window finds no control
  OfferBurn(true);
}

// The face, with fixed expected colours: 64 bands from full to no intensity, black below; the
// chip's picture three times its size, centred below two menu heights; the checksum in red.
TEST(MainWindowPaint, BandsPictureAndChecksumLine) {
  GuiSession session;
  const int top = ControlHeight(Toolbar), available = 650;
  SetClientHeight(available + top + ControlHeight(StatusBar));
  RECT client{};
  GetClientRect(session.window, &client);
  for (int model : {0, 1}) {
    Command(model == 0 ? IDM_CHIP_RM5164 : IDM_CHIP_RM5168);
    UpdateWindow(session.window);
    // Ten rows a band in the left column; "band" 64 is the black remainder below them.
    for (const auto& [band, level] : {std::pair{0, 255}, {1, 250}, {31, 129}, {63, 0}, {64, 0}}) {
      const COLORREF colour = model == 0 ? RGB(0, level, 0) : RGB(level, level, 0);
      const RECT rows{0, top + 10 * band, 1, top + 10 * band + 10};
      EXPECT_EQ(PixelsOf(session.window, colour, rows).count, 10u) << model << " band " << band;
    }

    // Every fourth pixel of the picture, at the middle of its three by three square.
    HBITMAP picture = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(model == 0 ? IDB_CHIP_RM5164 : IDB_CHIP_RM5168));
    const int menu = GetSystemMetrics(SM_CYMENU);
    const int x = (client.right - 510) / 2, y = (client.bottom - 2 * menu - 207) / 2 + 2 * menu;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, picture);
    int mismatches = 0;
    for (int py = 0; py < 69; py += 4) {
      for (int px = 0; px < 170; px += 4) {
        const int at_x = x + 3 * px + 1, at_y = y + 3 * py + 1;
        mismatches += PixelsOf(session.window, GetPixel(memory, px, py), {at_x, at_y, at_x + 1, at_y + 1}).count != 1;
      }
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
    EXPECT_EQ(mismatches, 0) << "model " << model;
    const Drawn corner = PixelsOf(session.window, RGB(255, 0, 0), {x + 508, y + 206, x + 511, y + 207});
    EXPECT_EQ(corner.box.right, x + 510) << "the picture's last red pixel ends its width";
  }

  // Red, centred, ending on the available height; its pixels follow the value.
  auto red_line = [&](std::uint32_t checksum) {
    ImageChecksum = checksum;
    ShowChecksum(checksum);
    UpdateWindow(session.window);
    GetClientRect(session.window, &client);
    return PixelsOf(session.window, RGB(255, 0, 0), {0, available - 60, client.right, available + 10});
  };
  const Drawn zeros = red_line(0), beef = red_line(0xBEEF);
  EXPECT_GT(zeros.count, 100u);
  EXPECT_LE(beef.box.bottom, available);
  EXPECT_GT(beef.box.bottom, available - 8);
  EXPECT_NEAR(beef.box.left + beef.box.right, client.right, 4);
  EXPECT_NE(zeros.hash, beef.hash);
  // Narrower than the line's box: the box starts at the left edge, so the text lies right of the middle.
  SetWindowPos(session.window, nullptr, 0, 0, 300, client.bottom, SWP_NOMOVE | SWP_NOZORDER);
  const Drawn narrow = red_line(0xBEEF);
  EXPECT_GT(narrow.box.left + narrow.box.right, client.right + 4);
  ImageChecksum = 0;
}

}  // namespace
