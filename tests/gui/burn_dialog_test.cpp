#include <gtest/gtest.h>

#include "app/app.h"

#include <commctrl.h>

#include <string>

#include "image/bank_image.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "isp/protocol.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "tests/gui/gui_harness.h"

// Burns from the Burn command into simulated chips (see with_simulators.sh): COM1 answers,
// paced to the line rate; COM4 never announces, so a burn there waits for as long as the
// test wants one. What each end of a burn shows and locks is the worker's (burn_worker_test);
// these check how the windows show it.
namespace {

constexpr int kGood = 0, kSilent = 3;

bool WaitForStatus(const std::string& text) { return PumpUntil([&] { return BurnStatusText() == text; }); }
bool WorkerEnds() { return PumpUntil([] { return !BurnWorkerRunning(); }); }
std::string CloseButtonText() { return WindowText(GetDlgItem(BurnDialog, IDC_BURN_CLOSE)); }
int Progress() { return static_cast<int>(SendDlgItemMessageA(BurnDialog, IDC_BURN_PROGRESS, PBM_GETPOS, 0, 0)); }
RECT Frame(HWND window) {
  RECT own{};
  GetWindowRect(window, &own);
  return own;
}

void ExpectLocked(bool burn_locked, bool inputs_locked) {
  EXPECT_EQ(ToolbarEnabled(IDM_TOOLBAR_BURN), !burn_locked);
  EXPECT_EQ(MenuGreyed(IDM_BURN), burn_locked);
  for (int command : {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC}) {
    EXPECT_EQ(ToolbarEnabled(command), !inputs_locked) << command;
  }
}

TEST(BurnDialog, FirstBurnCreatesItPaintsTheWaitInRedAndABurnAfterStopReusesIt) {
  GuiSession session({{"Verify", "0"}});
  session.Connect(kSilent);
  session.Load(700);
  SetClientHeight(700);
  ShowWindow(BannerDialog, SW_SHOW);
  ASSERT_EQ(BurnDialog.load(), nullptr);

  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  HWND dialog = BurnDialog;
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(BannerDialog));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), session.window);
  EXPECT_TRUE(CentredOverClient(dialog));
  EXPECT_FALSE(IsChecked(dialog, IDC_BURN_VERIFY)) << "from the stored Verify 0";

  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  EXPECT_EQ(CloseButtonText(), "Close") << "no handshake yet";

  // Red, centred in the message area, in a font as high as that area.
  UpdateWindow(dialog);
  RECT area = Frame(GetDlgItem(dialog, IDC_BURN_MESSAGE));
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
  const RECT drawn = PixelsOf(dialog, RGB(255, 0, 0), area).box;
  ASSERT_LT(drawn.left, drawn.right) << "no red text drawn";
  EXPECT_GT(drawn.bottom - drawn.top, (area.bottom - area.top) / 2);
  EXPECT_NEAR(drawn.left + drawn.right, area.left + area.right, 6);

  // Close while waiting: hidden at once and Burn released; the inputs stay locked until the
  // stopped worker has ended. A burn right away serves its sends meanwhile, reuses the dialog
  // where it was (the main window changed since) and starts one new worker.
  const RECT first = Frame(dialog);
  SetClientHeight(500);
  Click(dialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(dialog));
  ASSERT_TRUE(BurnWorkerRunning()) << "the stopped worker is still in its read";
  ExpectLocked(false, true);
  VerifyAfterBurn = 1;
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  EXPECT_EQ(BurnDialog.load(), dialog);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(Frame(dialog).left * 10000 + Frame(dialog).top, first.left * 10000 + first.top);
  EXPECT_TRUE(IsChecked(dialog, IDC_BURN_VERIFY)) << "from the setting";
  EXPECT_TRUE(WaitForStatus("Please enter ISP"));
  EXPECT_EQ(StopRequested.load(), 0) << "a new worker runs";

  // The box is stored at the click; Escape leaves the dialog up.
  Click(dialog, IDC_BURN_VERIFY);
  EXPECT_EQ(ReadProfileKey("Verify") + std::to_string(VerifyAfterBurn.load()), "00");
  EXPECT_TRUE(IgnoresEscape(dialog));
  Click(dialog, IDC_BURN_CLOSE);
  ASSERT_TRUE(WorkerEnds());
  EXPECT_TRUE(PumpUntil([] { return ToolbarEnabled(IDM_TOOLBAR_OPEN); }));
  ExpectLocked(false, false);
}

// Progress, the button's Stop and Close, and a Close after the end that releases everything.
TEST(BurnDialog, ShowsTheRunningBurnAndCloseAfterItsEndReleasesEveryControl) {
  GuiSession session;
  session.Connect(kGood);
  BaudRateIndex = 1;
  SetBaudRate(BaudRateTable[BaudRateIndex]);  // 9600 bit/s: about a quarter second a page
  session.Load(3 * 256);
  VerifyAfterBurn = 1;
  Command(IDM_BURN);
  ASSERT_TRUE(PumpUntil([] { return BurnStatusText() == "ISP programming" && Progress() > 0; }));
  EXPECT_EQ(CloseButtonText(), "Stop");
  ASSERT_TRUE(WorkerEnds());
  EXPECT_EQ(BurnStatusText() + "|" + CloseButtonText(), "Verify OK|Close");
  EXPECT_EQ(Progress(), 100);
  ExpectLocked(true, true);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(BurnDialog, IDC_BURN_VERIFY)));
  Click(BurnDialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(BurnDialog));
  ExpectLocked(false, false);
}

TEST(BurnCommand, OpensFirstWithNothingLoadedAndRefusesAPortThatIsNotOpen) {
  GuiSession session;
  session.Connect(kSilent);
  int file_dialogs = 0;
  session.on_file_dialog = [&](HWND dialog) { ++file_dialogs, AnswerFileDialog(dialog, ""); };
  ShowWindow(BannerDialog, SW_SHOW);
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  EXPECT_EQ(file_dialogs, 1) << "with nothing loaded, Open runs first";
  EXPECT_FALSE(IsWindowVisible(BannerDialog)) << "hidden whether or not a burn starts";
  EXPECT_EQ(BurnDialog.load(), nullptr);

  // A change to a port that cannot open leaves none open, with PortReady still set.
  session.Load(700);
  SetPortDevice("RM516X_NO_SUCH_PORT");
  ASSERT_EQ(ReopenComPort(), 0);
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  ASSERT_EQ(session.boxes.size(), 1u);
  EXPECT_EQ(session.boxes[0].text, "Can not open COM port ...");
  EXPECT_EQ(session.boxes[0].owner, session.window);
  EXPECT_EQ(BurnDialog.load(), nullptr);
  EXPECT_FALSE(BurnWorkerRunning());
}

TEST(BurnCommand, CommandsThatChangeWhatTheWorkerReadsAreGreyedAndRefusedDuringABurn) {
  GuiSession session;
  session.Connect(kSilent);
  session.Load(700);
  const std::uint32_t bank0 = Bank0Size;
  Command(IDM_BURN);
  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  int others = 0;  // any dialog but the burn dialog
  session.on_dialog = [&others](HWND dialog) { others += dialog != BurnDialog.load(); };
  const int locked[] = {IDM_OPEN_FILE, IDM_CHANGE_COM_PORT, IDM_SET_BAUD_RATE, IDM_CHIP_RM5164, IDM_CHIP_RM5168};
  for (bool running : {true, false}) {
    for (int popup : {IDM_OPEN_FILE, IDM_CHIP_RM5164, IDM_FILL_FF}) OpenPopupOf(popup);
    for (int command : locked) EXPECT_EQ(MenuGreyed(command), running) << command;
    EXPECT_FALSE(MenuGreyed(IDM_FILL_00));
    if (!running) break;
    for (int command : {IDM_OPEN_FILE, IDM_TOOLBAR_OPEN, IDM_CHANGE_COM_PORT, IDM_TOOLBAR_COM_PORT,
                        IDM_SET_BAUD_RATE, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC, IDM_CHIP_RM5168}) {
      EXPECT_EQ(Command(command), 0) << command;
    }
    EXPECT_EQ(others, 0);
    EXPECT_EQ(ChipModel, 0);
    EXPECT_EQ(Bank0Size.load(), bank0);
    Command(IDM_FILL_00);
    EXPECT_EQ(FillByte, 0) << "the fill value is read only by the next load";
    Click(BurnDialog, IDC_BURN_CLOSE);
    ASSERT_TRUE(WorkerEnds());
  }
  Command(IDM_CHIP_RM5168);
  EXPECT_EQ(ChipModel, 1);
}

}  // namespace
