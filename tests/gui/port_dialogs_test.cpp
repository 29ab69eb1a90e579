#include <gtest/gtest.h>

#include "app/app.h"

#include <windowsx.h>

#include <functional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/resources/resource.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "tests/gui/dialog_driver.h"
#include "tests/gui/gui_harness.h"

// COM1 and COM3 answer (simulated chips), COM2 cannot be opened: see with_simulators.sh.
namespace {

struct Session {
  DialogCatcher catcher;
  HWND window = nullptr;
  Session() {
    ClearProfileSection();
    window = OpenMainWindow();
    // Disconnected, whatever an earlier window of this process left open.
    ClosePort();
    ComPortIndex = 4;
    ShowPortStatus("COM : Disconnect");
    catcher.boxes.clear();
  }
  ~Session() { CloseMainWindow(); }

  // Runs command; handler meets its dialog once it is shown. Returns how many dialogs came.
  int Run(int command, const std::function<void(HWND)>& handler) {
    int met = 0;
    catcher.on_dialog = WhenShown([&](HWND dialog) {
      ++met;
      handler(dialog);
    });
    EXPECT_EQ(Command(command), 0);
    return met;
  }
};

std::vector<bool> PortButtons(HWND dialog) {
  std::vector<bool> checked;
  for (int i = 0; i < 4; ++i) checked.push_back(IsChecked(dialog, IDC_COM1 + i));
  return checked;
}

void ChoosePort(HWND dialog, int index) {
  ClickControl(dialog, IDC_COM1 + index);
  ClickControl(dialog, IDOK);
}

TEST(ComPortDialog, FromDisconnectedNoChoiceKeepsTheStateAndAChosenPortOpens) {
  Session session;
  std::vector<bool> buttons;
  POINT corner{}, expected{};
  bool escape_ignored = false;
  EXPECT_EQ(session.Run(IDM_CHANGE_COM_PORT,
                        [&](HWND dialog) {
                          EXPECT_EQ(WindowText(dialog), "Change COM port");
                          corner = DialogCorner(dialog);
                          expected = ExpectedDialogCorner(dialog);
                          buttons = PortButtons(dialog);
                          SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                          escape_ignored = IsWindowVisible(dialog) != FALSE;
                          ClickControl(dialog, IDOK);
                        }),
            1);
  EXPECT_EQ(buttons, std::vector<bool>(4, false));
  EXPECT_EQ(corner.x, expected.x);
  EXPECT_EQ(corner.y, expected.y);
  EXPECT_TRUE(escape_ignored);
  EXPECT_EQ(ComPortIndex, 4);
  EXPECT_EQ(StatusText(1), "COM : Disconnect");
  EXPECT_EQ(ReadProfileKey("ComPort"), "<missing>");
  EXPECT_TRUE(session.catcher.boxes.empty());

  ShowWindow(BannerDialog, SW_SHOW);
  EXPECT_EQ(session.Run(IDM_TOOLBAR_COM_PORT, [](HWND dialog) { ChoosePort(dialog, 0); }), 1);
  EXPECT_EQ(ComPortIndex, 0);
  EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 57600");
  EXPECT_EQ(ReadProfileKey("ComPort"), "0");
  EXPECT_FALSE(IsWindowVisible(BannerDialog));
  EXPECT_TRUE(PortReady());
}

TEST(ComPortDialog, TheSamePortWritesNothingAnotherIsOpenedAndAFailureDisconnects) {
  Session session;
  session.Run(IDM_CHANGE_COM_PORT, [](HWND dialog) { ChoosePort(dialog, 0); });
  WriteProfileKey("ComPort", "3");  // so that a write would show

  std::vector<bool> buttons;
  session.Run(IDM_CHANGE_COM_PORT, [&](HWND dialog) {
    buttons = PortButtons(dialog);
    ClickControl(dialog, IDOK);
  });
  EXPECT_EQ(buttons, (std::vector<bool>{true, false, false, false}));
  EXPECT_EQ(ReadProfileKey("ComPort"), "3");
  EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 57600");

  BaudRateIndex = 7;
  session.Run(IDM_TOOLBAR_COM_PORT, [](HWND dialog) { ChoosePort(dialog, 2); });
  EXPECT_EQ(ComPortIndex, 2);
  EXPECT_EQ(StatusText(1), "COM3 : BaudRate = 115200");
  EXPECT_EQ(ReadProfileKey("ComPort"), "2");
  EXPECT_TRUE(session.catcher.boxes.empty());

  HWND port_dialog = nullptr;
  session.Run(IDM_CHANGE_COM_PORT, [&](HWND dialog) {
    port_dialog = dialog;
    ChoosePort(dialog, 1);
  });
  ASSERT_EQ(session.catcher.boxes.size(), 1u);
  EXPECT_EQ(session.catcher.boxes[0].text, "Change COM port error ...");
  EXPECT_EQ(session.catcher.boxes[0].caption, "Error");
  EXPECT_EQ(session.catcher.boxes[0].owner, port_dialog);
  EXPECT_EQ(ComPortIndex, 4);
  EXPECT_EQ(StatusText(1), "COM : Disconnect");
  EXPECT_EQ(ReadProfileKey("ComPort"), "2") << "the stored port is kept";

  // The port that failed can be chosen again; a good one reconnects.
  session.Run(IDM_CHANGE_COM_PORT, [&](HWND dialog) {
    buttons = PortButtons(dialog);
    ChoosePort(dialog, 0);
  });
  EXPECT_EQ(buttons, std::vector<bool>(4, false));
  EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 115200");
  EXPECT_EQ(ReadProfileKey("ComPort"), "0");
}

std::vector<std::string> ComboEntries(HWND combo) {
  std::vector<std::string> entries;
  const int count = ComboBox_GetCount(combo);
  for (int i = 0; i < count; ++i) {
    char text[64] = {};
    ComboBox_GetLBText(combo, i, text);
    entries.push_back(text);
  }
  return entries;
}

void TypeRate(HWND dialog, const char* text) {
  HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
  ComboBox_SetCurSel(combo, -1);
  SetWindowTextA(combo, text);
  ClickControl(dialog, IDOK);
}

TEST(BaudRateDialog, ListsTheRatesAppliesOkEvenUnchangedAndCancelChangesNothing) {
  Session session;
  session.Run(IDM_CHANGE_COM_PORT, [](HWND dialog) { ChoosePort(dialog, 0); });
  std::vector<std::string> entries;
  int selected = -1;
  session.Run(IDM_TOOLBAR_BAUD_RATE, [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Set baud rate");
    EXPECT_EQ(DialogCorner(dialog).x, ExpectedDialogCorner(dialog).x);
    HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
    entries = ComboEntries(combo);
    selected = ComboBox_GetCurSel(combo);
    ClickControl(dialog, IDOK);  // unchanged: applied and stored all the same
  });
  EXPECT_EQ(entries, (std::vector<std::string>{"4800 bits/sec.", "9600 bits/sec.", "14400 bits/sec.",
                                               "19200 bits/sec.", "28800 bits/sec.", "38400 bits/sec.",
                                               "57600 bits/sec.", "115200 bits/sec."}));
  EXPECT_EQ(selected, 6);
  EXPECT_EQ(ReadProfileKey("BaudRate"), "6");

  session.Run(IDM_SET_BAUD_RATE, [](HWND dialog) {
    ComboBox_SetCurSel(GetDlgItem(dialog, IDC_BAUD_COMBO), 1);
    ClickControl(dialog, IDOK);
  });
  EXPECT_EQ(BaudRateIndex, 1);
  EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 9600");
  EXPECT_EQ(ReadProfileKey("BaudRate"), "1");

  for (bool escape : {false, true}) {
    session.Run(IDM_SET_BAUD_RATE, [&](HWND dialog) {
      ComboBox_SetCurSel(GetDlgItem(dialog, IDC_BAUD_COMBO), 7);
      if (escape) {
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      } else {
        ClickControl(dialog, IDCANCEL);
      }
    });
    EXPECT_EQ(BaudRateIndex, 1) << escape;
    EXPECT_EQ(StatusText(1), "COM1 : BaudRate = 9600");
    EXPECT_EQ(ReadProfileKey("BaudRate"), "1");
  }
}

TEST(BaudRateDialog, TypedTextCountsOnlyWhenItNamesOneOfTheRates) {
  Session session;
  const struct {
    const char* typed;
    int index;
  } cases[] = {{"19200", 3}, {" 115200 bits/sec. ", 7}, {"12345", 7}, {"fast", 7},
               {"4800bits/sec.", 0}, {"", 0}, {"48000", 0}, {"9600 baud", 0}};
  for (const auto& c : cases) {
    session.Run(IDM_SET_BAUD_RATE, [&](HWND dialog) { TypeRate(dialog, c.typed); });
    EXPECT_EQ(BaudRateIndex, c.index) << '"' << c.typed << '"';
    EXPECT_EQ(ReadProfileKey("BaudRate"), std::to_string(c.index)) << '"' << c.typed << '"';
  }
  EXPECT_EQ(StatusText(1), "COM : Disconnect") << "the rate changes, the port stays as it is";
}

}  // namespace
