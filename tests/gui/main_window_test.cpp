#include <gtest/gtest.h>

#include "app/app.h"

#include <commctrl.h>

#include <atomic>
#include <thread>

#include "app/resources/resource.h"
#include "image/bank_image.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "tests/gui/gui_harness.h"

namespace {

int TaskbarHeight() {
  HWND taskbar = FindWindowA("Shell_TrayWnd", "");
  RECT rect{};
  if (taskbar == nullptr || !GetWindowRect(taskbar, &rect)) return 0;
  return rect.bottom - rect.top;
}

TEST(MainWindow, StartsDisconnectedAfterTheErrorBoxAndFillsItsFurniture) {
  GuiSession session;
  ASSERT_NE(session.window, nullptr);

  ASSERT_EQ(session.catcher.boxes.size(), 1u);
  const CaughtBox& box = session.catcher.boxes[0];
  EXPECT_EQ(box.text, "Can not open COM port ...");
  EXPECT_EQ(box.caption, "Error");
  EXPECT_TRUE(box.has_icon);
  EXPECT_EQ(box.buttons, 1);
  EXPECT_TRUE(box.ok_button);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_FALSE(box.main_visible) << "the box comes before the window is shown";

  const char* expected_parts[6] = {"RM5164", "COM : Disconnect", "", "", "", "CheckSum: None"};
  for (int part = 0; part < 6; ++part) EXPECT_EQ(StatusText(part), expected_parts[part]) << part;
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");
  EXPECT_EQ(ComPortIndex, 4);
  EXPECT_EQ(ReadProfileKey("ChipID"), "0");
  EXPECT_EQ(ReadProfileKey("ComPort"), "<missing>") << "the disconnected state is never stored";
  EXPECT_EQ(ReadProfileKey("UnusedBytes"), "<missing>");

  RECT outer{};
  GetWindowRect(session.window, &outer);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_EQ(outer.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(outer.bottom, GetSystemMetrics(SM_CYSCREEN) - TaskbarHeight());
  EXPECT_TRUE(IsWindowVisible(session.window));

  // Toolbar: open, separator, then the four program buttons.
  ASSERT_NE(Toolbar.load(), nullptr);
  EXPECT_TRUE(IsWindowVisible(Toolbar));
  const int commands[6] = {IDM_TOOLBAR_OPEN, 0, IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT,
                           IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC};
  ASSERT_EQ(SendMessageA(Toolbar, TB_BUTTONCOUNT, 0, 0), 6);
  for (int i = 0; i < 6; ++i) {
    TBBUTTON button{};
    SendMessageA(Toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.idCommand, commands[i]) << i;
    EXPECT_EQ((button.fsStyle & TBSTYLE_SEP) != 0, i == 1) << i;
  }
  ASSERT_NE(BannerDialog.load(), nullptr);
  EXPECT_FALSE(IsWindowVisible(BannerDialog));
}

TEST(MainWindow, HeightLosesOnlyATaskbarAlongTheTopOrBottomEdge) {
  struct Case {
    const char* edge;
    RECT taskbar;
    int height;
  };
  const Case cases[] = {
      {"bottom", {0, 984, 1280, 1024}, 984},
      {"top", {0, 0, 1280, 30}, 994},
      {"left", {0, 0, 60, 1024}, 1024},
      {"right", {1220, 0, 1280, 1024}, 1024},
  };
  for (const Case& c : cases) EXPECT_EQ(MainWindowHeight(1024, &c.taskbar), c.height) << c.edge;
  EXPECT_EQ(MainWindowHeight(1024, nullptr), 1024);
}

TEST(MainWindow, StartsWithTheStoredChipAndFillAndChecksThemWhenThePopupsOpen) {
  ClearProfileSection();
  WriteProfileKey("ChipID", "1");
  WriteProfileKey("UnusedBytes", "0");
  GuiSession session(false);

  EXPECT_EQ(StatusText(0), "RM5168");
  EXPECT_EQ(PageSize.load(), 512u);
  EXPECT_FALSE(MenuChecked(IDM_CHIP_RM5168)) << "marks are set only when a popup opens";

  OpenPopupOf(IDM_CHIP_RM5164);
  EXPECT_TRUE(MenuChecked(IDM_CHIP_RM5168));
  EXPECT_FALSE(MenuChecked(IDM_CHIP_RM5164));
  OpenPopupOf(IDM_FILL_FF);
  EXPECT_TRUE(MenuChecked(IDM_FILL_00));
  EXPECT_FALSE(MenuChecked(IDM_FILL_FF));
}

TEST(MainWindow, ChipAndFillCommandsStoreTheChoiceAndMoveTheMarks) {
  GuiSession session;
  const struct {
    int command, model;
    unsigned page_size;
    const char *stored, *status;
    int unchecked;
  } chips[] = {{IDM_CHIP_RM5168, 1, 512, "1", "RM5168", IDM_CHIP_RM5164},
               {IDM_CHIP_RM5164, 0, 256, "0", "RM5164", IDM_CHIP_RM5168}};
  for (const auto& chip : chips) {
    // The notification code in the high word is not examined.
    EXPECT_EQ(Command(chip.command, 1), 0);
    EXPECT_EQ(ChipModel, chip.model);
    EXPECT_EQ(PageSize.load(), chip.page_size);
    EXPECT_EQ(ReadProfileKey("ChipID"), chip.stored);
    EXPECT_EQ(StatusText(0), chip.status);
    OpenPopupOf(IDM_CHIP_RM5164);
    EXPECT_TRUE(MenuChecked(chip.command));
    EXPECT_FALSE(MenuChecked(chip.unchecked));
  }
  const struct {
    int command, fill;
    const char* stored;
    int unchecked;
  } fills[] = {{IDM_FILL_00, 0, "0", IDM_FILL_FF}, {IDM_FILL_FF, 255, "255", IDM_FILL_00}};
  for (const auto& fill : fills) {
    EXPECT_EQ(Command(fill.command), 0);
    EXPECT_EQ(FillByte, fill.fill);
    EXPECT_EQ(ReadProfileKey("UnusedBytes"), fill.stored);
    OpenPopupOf(IDM_FILL_FF);
    EXPECT_TRUE(MenuChecked(fill.command));
    EXPECT_FALSE(MenuChecked(fill.unchecked));
  }
}

TEST(MainWindow, UnknownCommandsAndOtherPopupsChangeNothing) {
  GuiSession session;
  for (int command : {0, 1, 12345, 40035, 0xFFFF}) EXPECT_EQ(Command(command), 0) << command;
  EXPECT_EQ(ChipModel, 0);
  EXPECT_EQ(FillByte, 255);
  EXPECT_EQ(ReadProfileKey("UnusedBytes"), "<missing>");
  EXPECT_EQ(StatusText(0), "RM5164");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");

  OpenPopupOf(IDM_OPEN_FILE);
  SendMessageA(session.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(MainMenu, 1)), 1);
  for (int command : {IDM_CHIP_RM5164, IDM_CHIP_RM5168, IDM_FILL_FF, IDM_FILL_00}) {
    EXPECT_FALSE(MenuChecked(command)) << command;
  }
}

TEST(MainWindow, TooltipsNameTheStringTableEntries) {
  GuiSession session;
  const struct {
    int command;
    int string_id;
    const char* text;
  } tips[] = {{IDM_TOOLBAR_OPEN, 8, "Open HEX/BIN file"},
              {IDM_TOOLBAR_BURN, 1, "ISP burn"},
              {IDM_TOOLBAR_COM_PORT, 2, "Change COM port"},
              {IDM_TOOLBAR_BAUD_RATE, 3, "Change baud rate"},
              {IDM_TOOLBAR_SELECT_IC, 9, "Select IC"}};
  char untouched[] = "untouched";
  for (const auto& tip : tips) {
    TOOLTIPTEXTA request{};
    request.hdr.code = TTN_NEEDTEXTA;
    request.lpszText = untouched;
    EXPECT_EQ(SendMessageA(session.window, WM_NOTIFY, tip.command, reinterpret_cast<LPARAM>(&request)), 0);
    EXPECT_EQ(request.hinst, AppInstance);
    ASSERT_EQ(request.lpszText, MAKEINTRESOURCEA(tip.string_id)) << tip.command;
    char text[64] = {};
    LoadStringA(request.hinst, tip.string_id, text, sizeof text);
    EXPECT_STREQ(text, tip.text);
  }
  // The separator and the menu's own identifiers have no tooltip.
  for (int command : {0, IDM_BURN, IDM_OPEN_FILE}) {
    TOOLTIPTEXTA request{};
    request.hdr.code = TTN_NEEDTEXTA;
    request.lpszText = untouched;
    SendMessageA(session.window, WM_NOTIFY, command, reinterpret_cast<LPARAM>(&request));
    EXPECT_EQ(request.lpszText, untouched) << command;
  }
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
  // The worker's sends are served while this thread waits for messages.
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    Pump();
  }
  worker.join();

  EXPECT_EQ(StatusText(4), "VER: 2.1");
  EXPECT_EQ(StatusText(2) + "|" + StatusText(3), "BANK0 : 512 byte(s)|BANK1 : 1024 byte(s)");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- C:\\fw.hex");
  for (int button : {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT,
                     IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC}) {
    EXPECT_EQ(SendMessageA(Toolbar, TB_ISBUTTONENABLED, button, 0), 0) << button;
  }
  char text[32] = {};
  EXPECT_NE(GetMenuState(MainMenu, IDM_BURN, MF_BYCOMMAND) & MF_GRAYED, 0u);
  GetMenuStringA(MainMenu, IDM_BURN, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "&Burn");

  OfferBurn(true);
  EXPECT_EQ(GetMenuState(MainMenu, IDM_BURN, MF_BYCOMMAND) & MF_GRAYED, 0u);
  GetMenuStringA(MainMenu, IDM_BURN, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "&Burn");
  EXPECT_NE(SendMessageA(Toolbar, TB_ISBUTTONENABLED, IDM_TOOLBAR_BURN, 0), 0);
  EXPECT_EQ(SendMessageA(Toolbar, TB_ISBUTTONENABLED, IDM_TOOLBAR_COM_PORT, 0), 0);
  LockBurnInputs(false);
  EXPECT_NE(SendMessageA(Toolbar, TB_ISBUTTONENABLED, IDM_TOOLBAR_COM_PORT, 0), 0);
  EXPECT_EQ(MainWindowHandle(), session.window);
}

TEST(MainWindow, ShowMessageCaptionsIconsAndTheMainWindowLock) {
  GuiSession session;
  session.catcher.boxes.clear();
  ShowMessage(session.window, "Program size > 65024 bytes\nOnly 65024 bytes will be burned", MessageWarning);
  ShowMessage(session.window, "x.hex open error", MessageError);
  ShowMessage(nullptr, "low byte only", 0x100);  // kind 0x100 is an error: only the low byte counts
  ASSERT_EQ(session.catcher.boxes.size(), 3u);

  const CaughtBox& warning = session.catcher.boxes[0];
  EXPECT_EQ(warning.text, "Program size > 65024 bytes\nOnly 65024 bytes will be burned");
  EXPECT_EQ(warning.caption, "Warnning");
  EXPECT_FALSE(warning.has_icon);
  EXPECT_EQ(warning.buttons, 1);
  EXPECT_EQ(warning.owner, session.window);
  const CaughtBox& error = session.catcher.boxes[1];
  EXPECT_EQ(error.caption, "Error");
  EXPECT_TRUE(error.has_icon);
  EXPECT_EQ(session.catcher.boxes[2].caption, "Error");
  for (const CaughtBox& box : session.catcher.boxes) EXPECT_FALSE(box.main_enabled);
  EXPECT_TRUE(IsWindowEnabled(session.window));

  // Under a modal dialog the main window is already disabled and must stay so.
  EnableWindow(session.window, FALSE);
  ShowMessage(nullptr, "Change COM port error ...", MessageError);
  EXPECT_FALSE(IsWindowEnabled(session.window));
  EnableWindow(session.window, TRUE);
}

TEST(MainWindow, DestroyEndsTheLoopWithZeroAndLeavesTheShellHarmless) {
  GuiSession session;
  HWND banner = BannerDialog;
  HWND status_bar = StatusBar;
  DestroyWindow(session.window);
  int exit_code = -1;
  EXPECT_TRUE(Pump(&exit_code));
  EXPECT_EQ(exit_code, 0);
  EXPECT_FALSE(IsWindow(banner));
  EXPECT_FALSE(IsWindow(status_bar));
  EXPECT_EQ(MainWindowHandle(), nullptr);
  // A worker that outlives the window finds no control.
  ShowPortStatus("COM1 : BaudRate = 57600");
  OfferBurn(true);
}

TEST(MainWindow, SecondInstanceFindsTheMapping) {
  EXPECT_FALSE(AnotherInstanceRunning());
  EXPECT_NE(InstanceMapping, nullptr);
  EXPECT_TRUE(AnotherInstanceRunning());
}

}  // namespace
