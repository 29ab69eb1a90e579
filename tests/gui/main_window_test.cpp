#include <gtest/gtest.h>

#include "app/app.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings.h"
#include "shell/shell.h"
#include "tests/gui/gui_harness.h"

namespace {

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

}  // namespace
