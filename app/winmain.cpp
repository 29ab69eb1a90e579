#include "app/app.h"
#include "app/burn_worker.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The command line and the show state are not used.
  const int exit_code = RunApplication(instance);
  // A worker left running when the window closed would meet the static destructors that a
  // return from here runs; ExitProcess ends that thread before anything is torn down.
  if (BurnWorkerRunning()) ExitProcess(static_cast<UINT>(exit_code));
  return exit_code;
}
