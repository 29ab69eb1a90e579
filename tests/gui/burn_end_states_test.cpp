#include <gtest/gtest.h>

#include "app/app.h"

#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/resources/resource.h"
#include "image/bank_image.h"
#include "image/file_open.h"
#include "isp/burn_status.h"
#include "isp/burn_worker.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "tests/gui/dialog_driver.h"
#include "tests/gui/gui_harness.h"
#include "tests/support/temp_dir.h"

// Whole burns from the Burn command into simulated chips: COM1 answers, paced to the line
// rate; COM3 echoes the first erase byte wrongly (see with_simulators.sh).
namespace {

constexpr int kBurnMs = 30000;

struct Session {
  DialogCatcher catcher;
  HWND window = nullptr;
  TempDir dir;
  explicit Session(int port) {
    ClearProfileSection();
    window = OpenMainWindow();
    catcher.boxes.clear();
    ComPortIndex = port;
    SetPortDevice("");
    EXPECT_EQ(ReopenComPort(), 1) << LastPortError();
  }
  ~Session() {
    if (BurnWorkerRunning()) {
      RequestBurnStop();
      PumpUntil([] { return !BurnWorkerRunning(); }, kBurnMs);
    }
    CloseMainWindow();
  }
  // pages of RM5164 flash, no page all 0xFF
  void Load(int pages) {
    std::string bytes(static_cast<std::size_t>(pages) * 256, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 37 + i / 256) & 0x7F);
    FileName1 = dir.Write("fw.bin", bytes);
    OpenSingleFile(MainWindow.load());
  }
};

bool ToolbarEnabled(int command) { return SendMessageA(Toolbar, TB_ISBUTTONENABLED, command, 0) != 0; }
bool BurnMenuGreyed() { return (GetMenuState(MainMenu, IDM_BURN, MF_BYCOMMAND) & MF_GRAYED) != 0; }
std::string CloseButtonText() { return WindowText(GetDlgItem(BurnDialog, IDC_BURN_CLOSE)); }
bool BurnControlEnabled(int control) { return IsWindowEnabled(GetDlgItem(BurnDialog, control)) != FALSE; }
int Progress() {
  return static_cast<int>(SendDlgItemMessageA(BurnDialog, IDC_BURN_PROGRESS, PBM_GETPOS, 0, 0));
}

bool BurnEnds() { return PumpUntil([] { return !BurnWorkerRunning(); }, kBurnMs); }

void ExpectAllReleased() {
  for (int command : kBurnToolbarButtons) EXPECT_TRUE(ToolbarEnabled(command)) << command;
  EXPECT_FALSE(BurnMenuGreyed());
}

// The simulator writes its flash after every burn.
bool FlashHoldsTheImage() {
  const char* flash_path = std::getenv("RM_SIM_FLASH");
  if (flash_path == nullptr) return false;
  return PumpUntil(
      [&] {
        const std::vector<std::uint8_t> flash = ReadBytes(flash_path);
        return flash.size() >= Bank0Size &&
               std::equal(flash.begin(), flash.begin() + Bank0Size, FirmwareImage);
      },
      5000);
}

TEST(BurnEndStates, SuccessKeepsEveryControlLockedUntilCloseInBothCheckModes) {
  Session session(0);
  session.Load(6);
  VerifyAfterBurn = 1;
  Command(IDM_TOOLBAR_BURN);
  ASSERT_TRUE(BurnEnds());
  EXPECT_EQ(BurnStatusText(), "Verify OK");
  EXPECT_EQ(BurnStatusColor.load(), kColorGreen);
  EXPECT_EQ(CloseButtonText(), "Close");
  EXPECT_EQ(Progress(), 100);
  EXPECT_EQ(StatusText(4), "VER: 2.3");
  for (int command : kBurnToolbarButtons) EXPECT_FALSE(ToolbarEnabled(command)) << command;
  EXPECT_TRUE(BurnMenuGreyed());
  EXPECT_TRUE(BurnControlEnabled(IDC_BURN_VERIFY));
  EXPECT_TRUE(IsWindowVisible(BurnDialog));
  EXPECT_TRUE(FlashHoldsTheImage());

  ClickControl(BurnDialog, IDC_BURN_VERIFY);  // clear: page sums next time
  ClickControl(BurnDialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(BurnDialog));
  ExpectAllReleased();

  Command(IDM_BURN);
  EXPECT_FALSE(IsChecked(BurnDialog, IDC_BURN_VERIFY));
  ASSERT_TRUE(BurnEnds());
  EXPECT_EQ(BurnStatusText(), "CheckSum OK");
  EXPECT_EQ(BurnStatusColor.load(), kColorGreen);
  EXPECT_TRUE(BurnMenuGreyed());
  EXPECT_TRUE(session.catcher.boxes.empty());
}

TEST(BurnEndStates, FailureReleasesOnlyTheBurnCommandsUntilClose) {
  Session session(2);
  session.Load(2);
  Command(IDM_BURN);
  ASSERT_TRUE(BurnEnds());
  EXPECT_EQ(BurnStatusText(), "ISP Erase error");
  EXPECT_EQ(BurnStatusColor.load(), kColorRed);
  EXPECT_EQ(CloseButtonText(), "Close");
  EXPECT_TRUE(BurnControlEnabled(IDC_BURN_CLOSE));
  EXPECT_TRUE(BurnControlEnabled(IDC_BURN_VERIFY));
  EXPECT_TRUE(IsWindowVisible(BurnDialog));
  EXPECT_TRUE(ToolbarEnabled(IDM_TOOLBAR_BURN));
  EXPECT_FALSE(BurnMenuGreyed());
  for (int command : {IDM_TOOLBAR_COM_PORT, IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC,
                      IDM_TOOLBAR_OPEN}) {
    EXPECT_FALSE(ToolbarEnabled(command)) << command;
  }
  ClickControl(BurnDialog, IDC_BURN_CLOSE);
  ExpectAllReleased();
}

TEST(BurnEndStates, StopDuringProgrammingHidesReleasesAndEndsWithProgramError) {
  Session session(0);
  BaudRateIndex = 1;
  SetBaudRate(BaudRateTable[BaudRateIndex]);  // 9600 bit/s: about a quarter second a page
  session.Load(12);
  Command(IDM_BURN);
  ASSERT_TRUE(PumpUntil([] { return BurnStatusText() == "ISP programming" && Progress() > 0; },
                        kBurnMs));
  EXPECT_EQ(CloseButtonText(), "Stop");
  EXPECT_EQ(BurnStatusColor.load(), kColorBlue);

  ClickControl(BurnDialog, IDC_BURN_CLOSE);
  EXPECT_FALSE(IsWindowVisible(BurnDialog));
  EXPECT_TRUE(ToolbarEnabled(IDM_TOOLBAR_BURN));
  ASSERT_TRUE(BurnEnds());
  EXPECT_EQ(BurnStatusText(), "Program error");
  EXPECT_EQ(BurnStatusColor.load(), kColorRed);
  EXPECT_EQ(CloseButtonText(), "Close");
  EXPECT_LT(Progress(), 100);
  EXPECT_TRUE(PumpUntil([] { return ToolbarEnabled(IDM_TOOLBAR_OPEN); }, kBurnMs));
  ExpectAllReleased();
}

}  // namespace
