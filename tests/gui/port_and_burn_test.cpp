#include <gtest/gtest.h>

#include "app/app.h"
#include "app/commands.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app/burn_status.h"
#include "app/burn_worker.h"
#include "app/com_port.h"
#include "app/profile_settings.h"
#include "isp/protocol.h"
#include "tests/gui/gui_harness.h"

// The port dialogs and burns from the Burn command against simulated chips (see
// with_simulators.sh): COM1 answers, paced to the line rate; COM3 never
// announces, so a burn there waits for as long as the test wants one; COM4 is as silent, and
// its adapter can be unplugged and plugged back.
namespace {

constexpr int kGood = 0, kSilent = 2, kComesAndGoes = 3;

bool WaitForStatus(const std::string& text) { return PumpUntil([&] { return BurnStatusText() == text; }); }
bool WorkerEnds() { return PumpUntil([] { return !BurnWorkerRunning(); }); }
std::string CloseButtonText() { return WindowText(GetDlgItem(BurnDialog, IDC_BURN_CLOSE)); }
// Runs the port dialog on the real ports, from the disconnected state (so that any choice is a
// change): clicks COM(index + 1) (none when negative) and OK.
void ChoosePort(GuiSession& session, int index) {
  SetPortDevice("");
  ComPortIndex = 4;
  session.on_dialog = [index](HWND dialog) {
    if (index >= 0) Click(dialog, IDC_COM1 + index);
    Click(dialog, IDOK);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_COM_PORT), 0);
}

// Unplugs COM4's adapter, or plugs it back (see with_simulators.sh); true once done.
bool ToggleCom4() {
  const char* flag = std::getenv("RM_COM4_TOGGLE");
  if (flag == nullptr || !std::ofstream(flag)) return false;
  return PumpUntil([flag] { return GetFileAttributesA(flag) == INVALID_FILE_ATTRIBUTES; });
}

void ExpectLocked(bool burn_locked, bool inputs_locked) {
  EXPECT_EQ(ToolbarEnabled(IDM_TOOLBAR_BURN), !burn_locked);
  EXPECT_EQ(MenuGreyed(IDM_BURN), burn_locked);
  for (int command : {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC}) {
    EXPECT_EQ(ToolbarEnabled(command), !inputs_locked) << command;
  }
}

TEST(ComPortDialog, ChoiceOpensAndStoresThePort) {
  GuiSession session;  // the first window of this program: no port was open before, so none is now
  ChoosePort(session, -1);
  EXPECT_EQ(StatusText(1) + "|" + ReadProfileKey("ComPort"), "COM : Disconnect|<missing>") << "no choice";
  ChoosePort(session, 0);
  EXPECT_EQ(StatusText(1) + "|" + ReadProfileKey("ComPort"), "COM1 : BaudRate = 57600|0");
}

// A port lost while the chip is awaited is said on the line; each later Burn, and OK on the
// same port, opens it afresh, so an adapter plugged back is found. OK's failure disconnects.
TEST(BurnCommand, APortLostIsSaidAndEachBurnOrOkOpensItAfresh) {
  GuiSession session;
  ChoosePort(session, kComesAndGoes);
  session.Load(700);
  auto burn_starts = [] {
    Command(IDM_BURN);
    return BurnWorkerRunning();
  };
  ASSERT_TRUE(burn_starts());
  ASSERT_TRUE(ToggleCom4() && WorkerEnds());
  EXPECT_EQ(BurnLineText(), "COM port lost");
  EXPECT_EQ(CloseButtonText(), "Close");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(BurnDialog, IDC_BURN_VERIFY)));
  ExpectLocked(false, true);  // Burn offered again after a failure; the inputs wait for Close
  EXPECT_FALSE(burn_starts()) << "the adapter is still away";
  ASSERT_TRUE(ToggleCom4());
  EXPECT_TRUE(burn_starts());
  ASSERT_TRUE(ToggleCom4() && WorkerEnds());
  session.on_dialog = [](HWND dialog) { Click(dialog, IDOK); };  // COM4 still checked
  Command(IDM_CHANGE_COM_PORT);
  ASSERT_EQ(session.boxes.size(), 2u);
  EXPECT_EQ(session.boxes[0].text + "|" + session.boxes[1].text,
            "Can not open COM port ...|Change COM port error ...");
  EXPECT_NE(session.boxes[1].owner, session.window) << "owned by the port dialog";
  EXPECT_EQ(StatusText(1) + "|" + ReadProfileKey("ComPort"), "COM : Disconnect|3") << "the stored port is kept";
}

// While the chip is awaited the commands that change what the worker reads are greyed and
// refused; Close hides the dialog and a burn after it reuses the dialog.
TEST(BurnDialog, LocksTheBurnInputsWhileWaitingAndABurnAfterCloseReusesIt) {
  GuiSession session({{"Verify", "0"}});
  ChoosePort(session, kSilent);
  session.Load(700);
  ShowWindow(BannerDialog, SW_SHOW);
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  HWND dialog = BurnDialog;
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(BannerDialog));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), session.window);
  EXPECT_NE(IsDlgButtonChecked(dialog, IDC_BURN_VERIFY), UINT{BST_CHECKED}) << "from the stored Verify 0";
  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  EXPECT_EQ(CloseButtonText(), "Close") << "no handshake yet";

  int others = 0;  // any dialog but the burn dialog
  session.on_dialog = [&others](HWND shown) { others += shown != BurnDialog.load(); };
  for (int popup : {IDM_OPEN_FILE, IDM_CHIP_RM5164, IDM_FILL_FF}) OpenPopupOf(popup);
  for (int command : {IDM_OPEN_FILE, IDM_CHANGE_COM_PORT, IDM_SET_BAUD_RATE, IDM_CHIP_RM5168}) {
    EXPECT_TRUE(MenuGreyed(command)) << command;
    EXPECT_EQ(Command(command), 0) << command;
  }
  Command(IDM_TOOLBAR_SELECT_IC);
  EXPECT_EQ(others, 0);
  EXPECT_EQ(ChipModel, 0);

  // Close while waiting: hidden at once and Burn released; the inputs stay locked until the
  // stopped worker has ended. A burn right away reuses the dialog and starts a new worker.
  Click(dialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(dialog));
  ASSERT_TRUE(BurnWorkerRunning()) << "the stopped worker is still in its read";
  ExpectLocked(false, true);
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  EXPECT_EQ(BurnDialog.load(), dialog);
  EXPECT_TRUE(WaitForStatus("Please enter ISP"));
  EXPECT_EQ(StopRequested.load(), 0) << "a new worker runs";
  Click(dialog, IDC_BURN_VERIFY);
  EXPECT_EQ(ReadProfileKey("Verify"), "1") << "stored at the click";
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // Escape
  EXPECT_TRUE(IsWindowVisible(dialog));
  Click(dialog, IDC_BURN_CLOSE);
  ASSERT_TRUE(WorkerEnds());
  EXPECT_TRUE(PumpUntil([] { return ToolbarEnabled(IDM_TOOLBAR_OPEN); }));
  ExpectLocked(false, false);
}

// Once the chip answers the button stops the burn; the Verify box is greyed while the chip is
// read back. The end of a burn keeps everything locked until Close, which releases every control.
TEST(BurnDialog, CloseAfterTheEndOfABurnReleasesEveryControl) {
  GuiSession session({{"Verify", "1"}});
  ChoosePort(session, kGood);
  session.Load(16 * 256);
  Command(IDM_BURN);
  HWND verify = GetDlgItem(BurnDialog, IDC_BURN_VERIFY);
  EXPECT_TRUE(PumpUntil([] { return CloseButtonText() == "Stop"; }));
  EXPECT_TRUE(IsWindowEnabled(verify)) << "usable until the read-back";
  EXPECT_TRUE(PumpUntil([verify] { return !IsWindowEnabled(verify); }));
  ASSERT_TRUE(WorkerEnds());
  EXPECT_EQ(BurnStatusText() + "|" + CloseButtonText(), "Verify OK|Close");
  EXPECT_TRUE(IsWindowEnabled(verify));
  EXPECT_EQ(SendDlgItemMessageA(BurnDialog, IDC_BURN_PROGRESS, PBM_GETPOS, 0, 0), 100);
  ExpectLocked(true, true);
  Click(BurnDialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(BurnDialog));
  ExpectLocked(false, false);
}

// OK applies the selected or typed rate; a text naming no rate, Cancel and Escape (button 0)
// change nothing.
TEST(BaudRateDialog, OkAppliesASelectedOrTypedRateCancelAndEscapeChangeNothing) {
  GuiSession session;
  ChoosePort(session, 0);
  const struct {
    int select, button;
    const char* typed;
    const char* status;
  } steps[] = {{1, IDOK, nullptr, "COM1 : BaudRate = 9600"},
               {-1, IDOK, " 19200 bits/sec. ", "COM1 : BaudRate = 19200"},
               {-1, IDOK, "9600 baud", "COM1 : BaudRate = 19200"},
               {0, IDCANCEL, nullptr, "COM1 : BaudRate = 19200"},
               {0, 0, nullptr, "COM1 : BaudRate = 19200"}};
  for (const auto& step : steps) {
    session.on_dialog = [&step](HWND dialog) {
      HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
      ComboBox_SetCurSel(combo, step.select);
      if (step.typed != nullptr) SetWindowTextA(combo, step.typed);
      if (step.button == 0) PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
      if (step.button != 0) Click(dialog, step.button);
    };
    Command(IDM_SET_BAUD_RATE);
    EXPECT_EQ(StatusText(1), step.status) << step.select << step.button;
    EXPECT_EQ(ReadProfileKey("BaudRate"), std::to_string(BaudRateIndex)) << step.select << step.button;
  }
}

}  // namespace
