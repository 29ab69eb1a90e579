#include <gtest/gtest.h>

#include "app/app.h"

#include <windowsx.h>

#include <functional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "tests/gui/gui_harness.h"

// COM1 and COM3 answer (simulated chips), COM2 cannot be opened: see with_simulators.sh.
namespace {

// Runs the port dialog: notes which buttons were checked, clicks COM(index + 1) (none when
// negative) and OK. Returns the dialog met (another one shown meanwhile is left alone).
HWND ChoosePort(GuiSession& session, int index, std::vector<bool>* buttons = nullptr,
                int command = IDM_TOOLBAR_COM_PORT) {
  HWND met = nullptr;
  session.on_dialog = [&](HWND dialog) {
    if (WindowText(dialog) != "Change COM port") return;
    EXPECT_TRUE(IgnoresEscape(dialog));
    for (int i = 0; buttons != nullptr && i < 4; ++i) buttons->push_back(IsChecked(dialog, IDC_COM1 + i));
    if (index >= 0) Click(dialog, IDC_COM1 + index);
    Click(dialog, IDOK);
    met = dialog;
  };
  EXPECT_EQ(Command(command), 0);
  return met;
}

TEST(ComPortDialog, ChoiceOpensTheSamePortWritesNothingAndAFailureDisconnects) {
  GuiSession session;
  // Disconnected, whatever an earlier window of this process left open.
  ClosePort();
  SetPortDevice("");
  ComPortIndex = 4;
  ShowPortStatus("COM : Disconnect");
  std::vector<bool> buttons;
  ASSERT_NE(ChoosePort(session, -1, &buttons, IDM_CHANGE_COM_PORT), nullptr);
  EXPECT_EQ(buttons, std::vector<bool>(4, false));
  EXPECT_EQ(StatusText(1), "COM : Disconnect") << "no choice keeps the state";
  EXPECT_EQ(ReadProfileKey("ComPort"), "<missing>");

  ShowWindow(BannerDialog, SW_SHOW);
  ASSERT_NE(ChoosePort(session, 0), nullptr);
  EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 57600");
  EXPECT_EQ(ReadProfileKey("ComPort"), "0");
  EXPECT_FALSE(IsWindowVisible(BannerDialog));

  WriteProfileKey("ComPort", "3");  // so that a write would show
  buttons.clear();
  ChoosePort(session, -1, &buttons);
  EXPECT_EQ(buttons, (std::vector<bool>{true, false, false, false}));
  EXPECT_EQ(ReadProfileKey("ComPort"), "3");

  BaudRateIndex = 7;
  ChoosePort(session, 2);
  EXPECT_EQ(StatusText(1), "COM3 : BaudRate = 115200");
  EXPECT_TRUE(session.boxes.empty());

  HWND port_dialog = ChoosePort(session, 1);
  ASSERT_EQ(session.boxes.size(), 1u);
  EXPECT_EQ(session.boxes[0].text + "|" + session.boxes[0].caption, "Change COM port error ...|Error");
  EXPECT_EQ(session.boxes[0].owner, port_dialog);
  EXPECT_EQ(ComPortIndex, 4);
  EXPECT_EQ(StatusText(1), "COM : Disconnect");
  EXPECT_EQ(ReadProfileKey("ComPort"), "2") << "the stored port is kept";

  buttons.clear();
  ChoosePort(session, 0, &buttons);
  EXPECT_EQ(buttons, std::vector<bool>(4, false));
  EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 115200");
}

TEST(BaudRateDialog, ListsTheRatesOkAppliesEvenUnchangedCancelAndEscapeChangeNothing) {
  GuiSession session;
  SetPortDevice("");
  ChoosePort(session, 0);
  std::string entries;
  session.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Set baud rate");
    HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
    for (int i = 0; i < ComboBox_GetCount(combo); ++i) {
      char text[64] = {};
      ComboBox_GetLBText(combo, i, text);
      entries += std::string(text) + "|";
    }
    EXPECT_EQ(ComboBox_GetCurSel(combo), 6);
    Click(dialog, IDOK);
  };
  Command(IDM_TOOLBAR_BAUD_RATE);
  EXPECT_EQ(entries, "4800 bits/sec.|9600 bits/sec.|14400 bits/sec.|19200 bits/sec.|28800 bits/sec.|"
                     "38400 bits/sec.|57600 bits/sec.|115200 bits/sec.|");
  EXPECT_EQ(ReadProfileKey("BaudRate"), "6");

  const struct {
    int select;
    int button;  // IDOK, IDCANCEL, or 0 for Escape
    const char* typed;
    const char* status;
  } steps[] = {{1, IDOK, nullptr, "COM1 : BaudRate = 9600"},
               {7, IDCANCEL, nullptr, "COM1 : BaudRate = 9600"},
               {7, 0, nullptr, "COM1 : BaudRate = 9600"},
               {-1, IDOK, "19200", "COM1 : BaudRate = 19200"},
               {-1, IDOK, "fast", "COM1 : BaudRate = 19200"}};
  for (const auto& step : steps) {
    session.on_dialog = [&](HWND dialog) {
      HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
      ComboBox_SetCurSel(combo, step.select);
      if (step.typed != nullptr) SetWindowTextA(combo, step.typed);
      if (step.button == 0) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); else Click(dialog, step.button);
    };
    Command(IDM_SET_BAUD_RATE);
    EXPECT_EQ(StatusText(1), step.status) << step.select << step.button;
    EXPECT_EQ(ReadProfileKey("BaudRate"), std::to_string(BaudRateIndex)) << step.select << step.button;
  }
  EXPECT_EQ(BaudRateIndex, 3);
}

TEST(BaudRateDialog, TypedTextCountsOnlyWhenItNamesOneOfTheRates) {
  const struct {
    const char* typed;
    int index;
  } cases[] = {{"19200", 3}, {" 115200 bits/sec. ", 7}, {"4800bits/sec.", 0}, {"9600 bits/sec", 1},
               {"12345", -1}, {"fast", -1}, {"", -1}, {"48000", -1}, {"9600 baud", -1}};
  for (const auto& c : cases) EXPECT_EQ(BaudRateIndexOfText(c.typed), c.index) << '"' << c.typed << '"';
}

}  // namespace
