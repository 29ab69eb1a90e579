#include <gtest/gtest.h>

#include "app/app.h"

#include <commctrl.h>

#include <string>

#include "app/commands.h"
#include "app/resources/resource.h"
#include "image/bank_image.h"
#include "image/file_open.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "isp/protocol.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "tests/gui/dialog_driver.h"
#include "tests/gui/gui_harness.h"
#include "tests/support/temp_dir.h"

// Burns on COM4, a chip that never announces (see with_simulators.sh): the worker waits for
// a handshake that never comes, a running burn for as long as the test wants one.
namespace {

constexpr int kWorkerEndMs = 3000;
constexpr int kSilentPortIndex = 3;  // COM4

struct Session {
  DialogCatcher catcher;
  HWND window = nullptr;
  TempDir dir;
  int other_dialogs = 0;
  explicit Session(const char* verify = nullptr) {
    ClearProfileSection();
    if (verify != nullptr) WriteProfileKey("Verify", verify);
    window = OpenMainWindow();
    ComPortIndex = kSilentPortIndex;
    SetPortDevice("");
    EXPECT_EQ(ReopenComPort(), 1) << LastPortError();
    catcher.boxes.clear();
    // The burn dialog has no caption; anything else showing up is counted.
    catcher.on_dialog = [this](HWND dialog) {
      if (dialog != BurnDialog.load()) ++other_dialogs;
    };
  }
  ~Session() {
    if (BurnWorkerRunning()) {
      RequestBurnStop();
      PumpUntil([] { return !BurnWorkerRunning(); }, kWorkerEndMs);
    }
    CloseMainWindow();
    ClosePort();
  }
  void Load() {
    FileName1 = dir.Write("fw.bin", std::string(700, '\x12'));
    OpenSingleFile(MainWindow.load());
  }
};

bool ToolbarEnabled(int command) { return SendMessageA(Toolbar, TB_ISBUTTONENABLED, command, 0) != 0; }
bool MenuGreyed(int command) {
  return (GetMenuState(MainMenu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED) != 0;
}
HWND BurnControl(int control) { return GetDlgItem(BurnDialog, control); }

bool WaitForStatus(const std::string& text) {
  return PumpUntil([&] { return BurnStatusText() == text; }, kWorkerEndMs);
}

void ExpectControlsReleased() {
  for (int command : kBurnToolbarButtons) EXPECT_TRUE(ToolbarEnabled(command)) << command;
  EXPECT_FALSE(MenuGreyed(IDM_BURN));
}

constexpr int kBurnInputButtons[] = {IDM_TOOLBAR_OPEN, IDM_TOOLBAR_COM_PORT,
                                     IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC};

// Bounding box of the pixels drawn in colour inside rect of the dialog's client area.
RECT PaintedBox(HWND dialog, const RECT& rect, COLORREF colour) {
  RECT box{rect.right, rect.bottom, rect.left, rect.top};
  HDC dc = GetDC(dialog);
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      if (GetPixel(dc, x, y) != colour) continue;
      box.left = std::min<LONG>(box.left, x);
      box.right = std::max<LONG>(box.right, x + 1);
      box.top = std::min<LONG>(box.top, y);
      box.bottom = std::max<LONG>(box.bottom, y + 1);
    }
  }
  ReleaseDC(dialog, dc);
  return box;
}

// The message area's rectangle as the dialog paints it: offset from the outer corner.
RECT TextRect(HWND dialog) {
  RECT area{}, own{};
  GetWindowRect(GetDlgItem(dialog, IDC_BURN_MESSAGE), &area);
  GetWindowRect(dialog, &own);
  return {area.left - own.left, area.top - own.top, area.right - own.left, area.bottom - own.top};
}

TEST(BurnDialog, FirstBurnCreatesItLocksTheControlsAndPaintsTheWaitInRedUntilClose) {
  Session session("0");
  session.Load();
  SetClientHeight(700);
  ShowWindow(BannerDialog, SW_SHOW);
  ASSERT_EQ(BurnDialog.load(), nullptr);

  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  HWND dialog = BurnDialog;
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(BannerDialog));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), session.window);
  EXPECT_EQ(DialogCorner(dialog).x, ExpectedDialogCorner(dialog).x);
  EXPECT_EQ(DialogCorner(dialog).y, ExpectedDialogCorner(dialog).y);
  EXPECT_EQ(SendMessageA(BurnControl(IDC_BURN_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_FALSE(IsChecked(dialog, IDC_BURN_VERIFY)) << "from the stored Verify 0";
  EXPECT_TRUE(BurnWorkerRunning());

  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  EXPECT_EQ(BurnStatusColor.load(), kColorRed);
  ASSERT_TRUE(PumpUntil([] { return !ToolbarEnabled(IDM_TOOLBAR_OPEN) && MenuGreyed(IDM_BURN); },
                        kWorkerEndMs));
  for (int command : kBurnToolbarButtons) EXPECT_FALSE(ToolbarEnabled(command)) << command;
  EXPECT_EQ(WindowText(BurnControl(IDC_BURN_CLOSE)), "Close") << "no handshake yet";

  // The line is drawn centred in the message area, in a font as high as that area.
  UpdateWindow(dialog);
  const RECT text = TextRect(dialog);
  const RECT drawn = PaintedBox(dialog, text, RGB(255, 0, 0));
  ASSERT_LT(drawn.left, drawn.right) << "no red text drawn";
  EXPECT_GT(drawn.bottom - drawn.top, (text.bottom - text.top) / 2);
  EXPECT_NEAR((drawn.left + drawn.right) / 2, (text.left + text.right) / 2, 3);
  EXPECT_EQ(session.other_dialogs, 0);
  EXPECT_TRUE(session.catcher.boxes.empty());

  // Close while waiting: hidden at once and Burn released (it waits for the ending worker);
  // the commands refused while a worker runs are released once it has ended.
  ClickControl(dialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_EQ(StopRequested.load(), 1);
  ASSERT_TRUE(BurnWorkerRunning()) << "the stopped worker is still in its read";
  EXPECT_TRUE(ToolbarEnabled(IDM_TOOLBAR_BURN));
  EXPECT_FALSE(MenuGreyed(IDM_BURN));
  for (int command : kBurnInputButtons) EXPECT_FALSE(ToolbarEnabled(command)) << command;
  ASSERT_TRUE(PumpUntil([] { return !BurnWorkerRunning(); }, kWorkerEndMs));
  EXPECT_EQ(BurnStatusText(), "");
  EXPECT_EQ(BurnStatusColor.load(), kColorRed);
  EXPECT_TRUE(PumpUntil([] { return ToolbarEnabled(IDM_TOOLBAR_OPEN); }, kWorkerEndMs));
  ExpectControlsReleased();
}

TEST(BurnCommand, OnAPortThatIsNotOpenShowsTheErrorAndStartsNoWorker) {
  Session session;
  session.Load();
  // A change to a port that cannot open leaves none open, with PortReady still set.
  SetPortDevice("RM516X_NO_SUCH_PORT");
  ASSERT_EQ(ReopenComPort(), 0);
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  ASSERT_EQ(session.catcher.boxes.size(), 1u);
  EXPECT_EQ(session.catcher.boxes[0].text, "Can not open COM port ...");
  EXPECT_EQ(session.catcher.boxes[0].owner, session.window);
  EXPECT_EQ(BurnDialog.load(), nullptr);
  EXPECT_FALSE(BurnWorkerRunning());
  ExpectControlsReleased();
}

TEST(BurnCommand, WithNothingLoadedRunsOpenFirstAndACancelStartsNothing) {
  Session session;
  ShowWindow(BannerDialog, SW_SHOW);
  FileDialogWatch watch([](HWND dialog) { CancelFileDialog(dialog); });
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  EXPECT_EQ(watch.met(), 1);
  EXPECT_FALSE(IsWindowVisible(BannerDialog)) << "hidden whether or not a burn starts";
  EXPECT_EQ(BurnDialog.load(), nullptr);
  EXPECT_FALSE(BurnWorkerRunning());
}

TEST(BurnCommand, AnOpenThatReadsNothingStartsNoBurn) {
  Session session;
  const std::string empty = session.dir.Write("empty.bin", "");
  session.catcher.on_dialog = WhenShown([](HWND dialog) {
    if (WindowText(dialog) == "Unused bytes") ClickControl(dialog, IDC_UNUSED_OK);
  });
  FileDialogWatch watch([&](HWND dialog) { ChooseInFileDialog(dialog, empty); });
  EXPECT_EQ(Command(IDM_BURN), 0);
  EXPECT_EQ(watch.met(), 1);
  ASSERT_EQ(session.catcher.boxes.size(), 1u);
  EXPECT_EQ(session.catcher.boxes[0].text, empty + " is an empty file");
  EXPECT_EQ(BurnDialog.load(), nullptr);
  EXPECT_FALSE(BurnWorkerRunning());
  ExpectControlsReleased();
}

TEST(BurnCommand, ALaterBurnShowsTheSameDialogWhereItWasWithTheVerifyBoxFromTheSetting) {
  Session session("1");
  session.Load();
  SetClientHeight(700);
  Command(IDM_BURN);
  HWND dialog = BurnDialog;
  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  const POINT first = DialogCorner(dialog);
  ClickControl(dialog, IDC_BURN_CLOSE);
  ASSERT_TRUE(PumpUntil([] { return !BurnWorkerRunning(); }, kWorkerEndMs));

  SetClientHeight(500);  // the main window changes; the dialog is not placed again
  VerifyAfterBurn = 0;
  Command(IDM_TOOLBAR_BURN);
  EXPECT_EQ(BurnDialog.load(), dialog);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(DialogCorner(dialog).x, first.x);
  EXPECT_EQ(DialogCorner(dialog).y, first.y);
  EXPECT_FALSE(IsChecked(dialog, IDC_BURN_VERIFY));
  EXPECT_TRUE(BurnWorkerRunning());
  EXPECT_TRUE(WaitForStatus("Please enter ISP"));

  // The box is stored at every click; other commands, Escape among them, leave the dialog up.
  ClickControl(dialog, IDC_BURN_VERIFY);
  EXPECT_EQ(VerifyAfterBurn.load(), 1);
  EXPECT_EQ(ReadProfileKey("Verify"), "1");
  ClickControl(dialog, IDC_BURN_VERIFY);
  EXPECT_EQ(VerifyAfterBurn.load(), 0);
  EXPECT_EQ(ReadProfileKey("Verify"), "0");
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST(BurnCommand, ABurnRightAfterStopWaitsForTheEndingWorkerAndStartsOneNewWorker) {
  Session session;
  session.Load();
  Command(IDM_BURN);
  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  ClickControl(BurnDialog, IDC_BURN_CLOSE);
  ASSERT_TRUE(BurnWorkerRunning()) << "the stopped worker is still in its read";

  // The ending worker sends to this thread's windows: the command must serve them.
  EXPECT_EQ(Command(IDM_TOOLBAR_BURN), 0);
  EXPECT_TRUE(IsWindowVisible(BurnDialog));
  EXPECT_TRUE(BurnWorkerRunning()) << "a new worker runs";
  EXPECT_TRUE(WaitForStatus("Please enter ISP"));
  EXPECT_EQ(StopRequested.load(), 0);
  EXPECT_TRUE(PumpUntil([] { return MenuGreyed(IDM_BURN); }, kWorkerEndMs));
}

TEST(BurnCommand, CommandsThatChangeWhatTheWorkerReadsAreGreyedAndRefusedDuringABurn) {
  Session session;
  session.Load();
  const std::uint32_t bank0 = Bank0Size;
  Command(IDM_BURN);
  ASSERT_TRUE(WaitForStatus("Please enter ISP"));
  const int locked[] = {IDM_OPEN_FILE, IDM_CHANGE_COM_PORT, IDM_SET_BAUD_RATE, IDM_CHIP_RM5164,
                        IDM_CHIP_RM5168};

  OpenPopupOf(IDM_OPEN_FILE);
  OpenPopupOf(IDM_CHIP_RM5164);
  OpenPopupOf(IDM_FILL_FF);
  for (int command : locked) EXPECT_TRUE(MenuGreyed(command)) << command;
  for (int command : {IDM_FILL_FF, IDM_FILL_00, IDM_ABOUT}) EXPECT_FALSE(MenuGreyed(command)) << command;

  for (int command : {IDM_OPEN_FILE, IDM_TOOLBAR_OPEN, IDM_CHANGE_COM_PORT, IDM_TOOLBAR_COM_PORT,
                      IDM_SET_BAUD_RATE, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC,
                      IDM_CHIP_RM5168}) {
    EXPECT_EQ(Command(command), 0) << command;
  }
  EXPECT_EQ(session.other_dialogs, 0);
  EXPECT_EQ(ChipModel, 0);
  EXPECT_EQ(PageSize.load(), 256u);
  EXPECT_EQ(Bank0Size.load(), bank0);
  Command(IDM_FILL_00);
  EXPECT_EQ(FillByte, 0) << "the fill value is read only by the next load";

  ClickControl(BurnDialog, IDC_BURN_CLOSE);
  ASSERT_TRUE(PumpUntil([] { return !BurnWorkerRunning(); }, kWorkerEndMs));
  OpenPopupOf(IDM_OPEN_FILE);
  OpenPopupOf(IDM_CHIP_RM5164);
  for (int command : locked) EXPECT_FALSE(MenuGreyed(command)) << command;
  Command(IDM_CHIP_RM5168);
  EXPECT_EQ(ChipModel, 1);
}

}  // namespace
