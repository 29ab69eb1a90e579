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
  EXPECT_TRUE(box.has_icon);
  EXPECT_EQ(box.buttons, 1);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_FALSE(box.main_visible) << "the box comes before the window is shown";

  const char* parts[6] = {"RM5164", "COM : Disconnect", "", "", "", "CheckSum: None"};
  for (int part = 0; part < 6; ++part) EXPECT_EQ(StatusText(part), parts[part]) << part;
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");
  EXPECT_EQ(ComPortIndex, 4);
  EXPECT_EQ(ReadProfileKey("ChipID"), "0");
  EXPECT_EQ(ReadProfileKey("ComPort"), "<missing>") << "the disconnected state is never stored";

  RECT outer{}, taskbar{};
  GetWindowRect(session.window, &outer);
  HWND tray = FindWindowA("Shell_TrayWnd", "");
  const int taskbar_height = tray != nullptr && GetWindowRect(tray, &taskbar) ? taskbar.bottom - taskbar.top : 0;
  EXPECT_EQ(outer.left | outer.top, 0);
  EXPECT_EQ(outer.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(outer.bottom, GetSystemMetrics(SM_CYSCREEN) - taskbar_height);

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

TEST(MainWindow, ChipAndFillStartStoredAndTheirCommandsStoreAndMoveTheMarks) {
  GuiSession session({{"ChipID", "1"}, {"UnusedBytes", "0"}});
  EXPECT_EQ(StatusText(0), "RM5168");
  EXPECT_EQ(PageSize.load(), 512u);
  EXPECT_FALSE(MenuChecked(IDM_CHIP_RM5168)) << "marks are set only when a popup opens";
  const struct {
    int command, popup;  // command 0: only the popup opens
    const char *key, *stored, *chip;
    int checked, unchecked;
  } steps[] = {{0, IDM_CHIP_RM5164, "ChipID", "1", "RM5168", IDM_CHIP_RM5168, IDM_CHIP_RM5164},
               {0, IDM_FILL_FF, "UnusedBytes", "0", "RM5168", IDM_FILL_00, IDM_FILL_FF},
               {IDM_CHIP_RM5164, IDM_CHIP_RM5164, "ChipID", "0", "RM5164", IDM_CHIP_RM5164, IDM_CHIP_RM5168},
               {IDM_CHIP_RM5168, IDM_CHIP_RM5164, "ChipID", "1", "RM5168", IDM_CHIP_RM5168, IDM_CHIP_RM5164},
               {IDM_FILL_FF, IDM_FILL_FF, "UnusedBytes", "255", "RM5168", IDM_FILL_FF, IDM_FILL_00},
               {IDM_FILL_00, IDM_FILL_FF, "UnusedBytes", "0", "RM5168", IDM_FILL_00, IDM_FILL_FF}};
  for (const auto& step : steps) {
    if (step.command != 0) {
      EXPECT_EQ(Command(step.command, 1), 0) << "the high word is not examined";
    }
    OpenPopupOf(step.popup);
    EXPECT_EQ(ReadProfileKey(step.key) + StatusText(0), std::string(step.stored) + step.chip) << step.command;
    EXPECT_TRUE(MenuChecked(step.checked) && !MenuChecked(step.unchecked)) << step.command;
  }
  EXPECT_EQ(PageSize.load(), 512u);
  EXPECT_EQ(FillByte, 0);
}

TEST(MainWindow, UnknownCommandsOtherPopupsAndTooltipsOutsideTheTableChangeNothing) {
  GuiSession session;
  for (int command : {0, 1, 12345, 40035, 0xFFFF}) EXPECT_EQ(Command(command), 0) << command;
  EXPECT_EQ(ChipModel, 0);
  EXPECT_EQ(ReadProfileKey("UnusedBytes"), "<missing>");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");
  OpenPopupOf(IDM_OPEN_FILE);
  SendMessageA(session.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(MainMenu, 1)), 1);
  for (int command : {IDM_CHIP_RM5164, IDM_CHIP_RM5168, IDM_FILL_FF, IDM_FILL_00}) {
    EXPECT_FALSE(MenuChecked(command)) << command;
  }

  // The text a toolbar button's tooltip asks for; "-" when none is given.
  auto tip = [&session](int command) {
    char text[64] = "-";
    TOOLTIPTEXTA request{};
    request.hdr.code = TTN_NEEDTEXTA;
    request.lpszText = text;
    EXPECT_EQ(SendMessageA(session.window, WM_NOTIFY, command, reinterpret_cast<LPARAM>(&request)), 0);
    if (request.lpszText == text) return std::string(text);
    EXPECT_EQ(request.hinst, AppInstance);
    LoadStringA(request.hinst, static_cast<UINT>(reinterpret_cast<UINT_PTR>(request.lpszText)), text, sizeof text);
    return std::string(text);
  };
  std::string tips;
  for (int command : {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE,
                      IDM_TOOLBAR_SELECT_IC, 0, IDM_BURN, IDM_OPEN_FILE}) {
    tips += tip(command) + "|";
  }
  EXPECT_EQ(tips, "Open HEX/BIN file|ISP burn|Change COM port|Change baud rate|Select IC|-|-|-|");
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
  for (int button : kBurnInputButtons) EXPECT_FALSE(ToolbarEnabled(button)) << button;
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
  ShowMessage(session.window, "x.hex open error", MessageError);
  ShowMessage(nullptr, "low byte only", 0x100);  // only the low byte counts: an error
  ASSERT_EQ(session.boxes.size(), 3u);
  const CaughtBox* boxes = session.boxes.data();
  EXPECT_EQ(boxes[0].caption + "|" + boxes[1].caption + "|" + boxes[2].caption, "Warnning|Error|Error");
  EXPECT_FALSE(boxes[0].has_icon);
  EXPECT_TRUE(boxes[1].has_icon);
  EXPECT_EQ(boxes[0].owner, session.window);
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

TEST(MainWindow, SecondInstanceFindsTheMapping) {
  EXPECT_FALSE(AnotherInstanceRunning());
  EXPECT_NE(InstanceMapping, nullptr);
  EXPECT_TRUE(AnotherInstanceRunning());
}

// The face, with fixed expected colours: 64 bands from full to no intensity, black below; the
// chip's picture three times its size, centred below two menu heights; the checksum in red.
TEST(MainWindowPaint, BandsPictureAndChecksumLine) {
  GuiSession session;
  const int top = ControlHeight(Toolbar), available = 650;
  SetClientHeight(available + top + ControlHeight(StatusBar));
  RECT client{};
  GetClientRect(session.window, &client);
  const struct {
    int band, level;
  } bands[] = {{0, 255}, {1, 250}, {2, 246}, {31, 129}, {62, 4}, {63, 0}};
  for (int model : {0, 1}) {
    Command(model == 0 ? IDM_CHIP_RM5164 : IDM_CHIP_RM5168);  // repaints at once
    UpdateWindow(session.window);
    for (const auto& b : bands) {
      const COLORREF colour = model == 0 ? RGB(0, b.level, 0) : RGB(b.level, b.level, 0);
      EXPECT_EQ(ClientPixel(2, top + 10 * b.band), colour) << model << " band " << b.band;
      EXPECT_EQ(ClientPixel(2, top + 10 * b.band + 9), colour) << model << " band " << b.band;
    }
    EXPECT_EQ(PixelsOf(session.window, RGB(0, 0, 0), {0, top + 640, 3, top + 650}).count, 30u);

    HBITMAP picture = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(model == 0 ? IDB_CHIP_RM5164 : IDB_CHIP_RM5168));
    const int menu = GetSystemMetrics(SM_CYMENU);
    const int x = (client.right - 510) / 2, y = (client.bottom - 2 * menu - 207) / 2 + 2 * menu;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, picture);
    int mismatches = 0;
    for (int py = 0; py < 69; py += 4) {
      for (int px = 0; px < 170; px += 4) mismatches += ClientPixel(x + 3 * px + 1, y + 3 * py + 1) != GetPixel(memory, px, py);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
    EXPECT_EQ(mismatches, 0) << "model " << model;
    EXPECT_EQ(ClientPixel(x + 509, y + 206), RGB(255, 0, 0)) << "last pixel of the picture";
    EXPECT_NE(ClientPixel(x + 510, y + 206), RGB(255, 0, 0)) << "right of the picture";
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
