#include "app/app.h"
#include "app/commands.h"
#include "app/image_state.h"
#include "app/burn_worker.h"
#include "app/profile_settings.h"

LRESULT OpenCommand() {
  // The worker reads the image and the bank sizes throughout a burn.
  if (BurnWorkerRunning()) return 0;
  HWND main_window = MainWindow;
  // A chip with two banks takes one or two files, chosen in a dialog of their own.
  if (ChosenChip().banks == 2) return RunSelectFileDialog(main_window);
  if (!BrowseForFile(main_window, FileName1, OpenPath)) return 0;
  WriteSetting("OpenFileName1", FileName1);
  WriteSetting("OpenFilePath", OpenPath);
  RunUnusedBytesDialog(main_window);
  OpenSingleFile(main_window);
  return 1;
}
