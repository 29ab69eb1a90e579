#include "app/app.h"
#include "app/commands.h"
#include "app/resources/resource.h"
#include "app/image_state.h"
#include "app/burn_worker.h"
#include "app/com_port.h"
#include "app/shell.h"

namespace {

constexpr DWORD kWaitSliceMs = 10;

// Set while a Burn command waits for the previous worker: a Burn clicked meanwhile is dropped.
bool waiting_for_worker = false;

// The previous worker (ending after a stop or a failure) sends to this thread's windows, so
// the wait serves messages. True once no worker runs.
bool PreviousWorkerEnded() {
  if (!BurnWorkerRunning()) return true;
  waiting_for_worker = true;
  const ULONGLONG deadline = GetTickCount64() + kPreviousWorkerWaitMs;
  bool quit = false;
  WPARAM quit_code = 0;
  while (BurnWorkerRunning() && GetTickCount64() < deadline && !quit) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kWaitSliceMs, QS_ALLINPUT);
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quit_code = message.wParam;
        break;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  waiting_for_worker = false;
  // The main loop must still see the end of the program.
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
  return !quit && !BurnWorkerRunning();
}

// No byte can arrive on a port that is not open: a burn there would wait for ever. Each
// Burn tries the port afresh, so one that came back (plugged in again) is found.
bool PortReadyForBurn() { return RetryPortOpen() != 0; }  // a failure has told the user

}  // namespace

bool CommandChangesBurnInput(int command) {
  switch (command) {
    case IDM_TOOLBAR_OPEN:
    case IDM_OPEN_FILE:
    case IDM_CHANGE_COM_PORT:
    case IDM_TOOLBAR_COM_PORT:
    case IDM_TOOLBAR_BAUD_RATE:
    case IDM_SET_BAUD_RATE:
    case IDM_TOOLBAR_SELECT_IC:
    case IDM_CHIP_RM5164:
    case IDM_CHIP_RM5168:
      return true;
    default:
      return false;
  }
}

void GreyBurnInputCommands(HMENU popup) {
  const UINT state = BurnWorkerRunning() ? MF_GRAYED : MF_ENABLED;
  for (int command :
       {IDM_OPEN_FILE, IDM_CHANGE_COM_PORT, IDM_SET_BAUD_RATE, IDM_CHIP_RM5164, IDM_CHIP_RM5168}) {
    // Items of other popups are not found here: the call then changes nothing.
    EnableMenuItem(popup, static_cast<UINT>(command), MF_BYCOMMAND | state);
  }
}

LRESULT BurnCommand(HWND window) {
  // The banner goes whether or not a burn starts.
  SendMessageA(BannerDialog, WM_BANNER_HIDE, 0, 0);
  if (waiting_for_worker) return 0;
  if (!PreviousWorkerEnded()) return 0;
  if (!PortReadyForBurn()) return 0;
  if (Bank0Size == 0 && Bank1Size == 0) {
    if (SendMessageA(window, WM_COMMAND, IDM_OPEN_FILE, 0) == 0) return 0;
    // An RM5164 open answers 1 even when the file did not read; burning the empty image
    // would end in green with nothing written.
    if (Bank0Size == 0 && Bank1Size == 0) return 0;
  }
  ShowBurnDialog(window);
  PurgeReceive();
  StartBurnWorker();
  return 0;
}
