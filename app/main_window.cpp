#include "app/app.h"
#include "app/commands.h"

#include <commctrl.h>

#include "app/burn_worker.h"
#include "app/com_port.h"
#include "app/image_state.h"
#include "app/profile_settings.h"
#include "app/resources/resource.h"

std::atomic<HWND> MainWindow{nullptr};
std::atomic<HMENU> MainMenu{nullptr};
std::atomic<HWND> Toolbar{nullptr};
std::atomic<HWND> StatusBar{nullptr};
std::atomic<HWND> BannerDialog{nullptr};
std::atomic<HWND> BurnDialog{nullptr};
HFONT ChecksumFont = nullptr;

namespace {

constexpr int kDisconnectedPortIndex = 4;
constexpr LONG kChecksumFontHeight = 36;
constexpr LONG kChecksumFontWidth = 24;

// MainWindow is not yet recorded here, so everything uses the procedure's own window.
LRESULT OnCreate(HWND window) {
  BannerDialog = CreateBanner(window);
  StatusBar = CreateStatusBar(window);
  LoadSettings();
  ResetImage();
  ChooseChip(ChipModel);
  if (!EnsurePortOpen()) {
    ComPortIndex = kDisconnectedPortIndex;
    SetStatusPart(StatusPartPort, "COM : Disconnect");
  }
  LOGFONTA checksum_font{};
  checksum_font.lfHeight = kChecksumFontHeight;
  checksum_font.lfWidth = kChecksumFontWidth;
  checksum_font.lfPitchAndFamily = FF_ROMAN | DEFAULT_PITCH;
  ChecksumFont = CreateFontIndirectA(&checksum_font);
  CreateToolbar(window);
  MainMenu = GetMenu(window);
  SetStatusPart(StatusPartChecksum, "CheckSum: None");
  return 0;
}

// The handles are cleared so that later shell calls (a worker still running) find no control.
void OnDestroy() {
  DestroyWindow(BannerDialog.exchange(nullptr));
  if (HWND burn = BurnDialog.exchange(nullptr)) DestroyWindow(burn);
  DeleteObject(ChecksumFont);
  ChecksumFont = nullptr;
  Toolbar = nullptr;
  StatusBar = nullptr;
  MainMenu = nullptr;
  MainWindow = nullptr;
  PostQuitMessage(0);
}

void OnSize(HWND window) {
  InvalidateRect(window, nullptr, TRUE);
  // Both controls re-dock themselves at the top and bottom edges.
  SendMessageA(Toolbar, WM_SIZE, 0, 0);
  SendMessageA(StatusBar, WM_SIZE, 0, 0);
}

LRESULT OnNotify(WPARAM wparam, LPARAM lparam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lparam);
  if (header != nullptr && header->code == TTN_NEEDTEXTA) return AnswerTooltip(wparam, lparam);
  return 0;
}

// "&Burn" is rewritten here, on the user-interface thread, whoever asked for it.
void OnSetBurnMenu(bool enabled) {
  HMENU menu = MainMenu;
  if (menu == nullptr) return;
  ModifyMenuA(menu, IDM_BURN, MF_BYCOMMAND | MF_STRING | (enabled ? 0u : MF_GRAYED), IDM_BURN,
              "&Burn");
}

// A model change while a burn runs would change PageSize and the image under the worker.
void OnSelectChip(int model) {
  if (BurnWorkerRunning()) return;
  ChooseChip(model);
}

LRESULT OnCommand(HWND window, int command) {
  if (CommandChangesBurnInput(command) && BurnWorkerRunning()) return 0;
  switch (command) {
    case IDM_TOOLBAR_OPEN:
    case IDM_OPEN_FILE:
      return OpenCommand();
    case IDM_TOOLBAR_BURN:
    case IDM_BURN:
      return BurnCommand(window);
    case IDM_CHANGE_COM_PORT:
    case IDM_TOOLBAR_COM_PORT:
      RunComPortDialog(window);
      return 0;
    case IDM_TOOLBAR_BAUD_RATE:
    case IDM_SET_BAUD_RATE:
      RunBaudRateDialog(window);
      return 0;
    case IDM_TOOLBAR_SELECT_IC:
      RunSelectIcDialog(MainWindow);
      return 0;
    case IDM_CHIP_RM5164:
      OnSelectChip(kRm5164.model);
      return 0;
    case IDM_CHIP_RM5168:
      OnSelectChip(kRm5168.model);
      return 0;
    case IDM_FILL_FF:
      SelectFillByte(0xFF);
      return 0;
    case IDM_FILL_00:
      SelectFillByte(0x00);
      return 0;
    case IDM_ABOUT:
      RunAboutDialog(window);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_SIZE:
      OnSize(window);
      return 0;
    case WM_PAINT:
      PaintMainWindow(window, ChecksumFont);
      return 0;
    case WM_NOTIFY:
      return OnNotify(wparam, lparam);
    case WM_INITMENUPOPUP:
      UpdateMenuChecks(reinterpret_cast<HMENU>(wparam));
      GreyBurnInputCommands(reinterpret_cast<HMENU>(wparam));
      return 0;
    case WM_COMMAND:
      return OnCommand(window, LOWORD(wparam));
    case WM_SET_BURN_MENU:
      OnSetBurnMenu(wparam != 0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}
