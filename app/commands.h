#pragma once
// The main window's file, port, rate and burn commands and their dialogs. All of it runs on
// the user-interface thread; the burn worker reaches the burn dialog only through the shell.
#include <windows.h>

#include <string>

// Port and rate (com_port_dialog.cpp, baud_rate_dialog.cpp). The Run functions return the
// dialog's result, always 1.
INT_PTR CALLBACK ComPortDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR RunComPortDialog(HWND owner);
INT_PTR CALLBACK BaudRateDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR RunBaudRateDialog(HWND owner);
// Index into BaudRateTable of a typed rate ("9600", "9600 bits/sec."), or -1.
int BaudRateIndexOfText(const std::string& text);

// The platform's open-file dialog for path (FileName1 or FileName2), starting in folder
// (OpenPath), owned by owner (the main window, or the Select File dialog). On a choice, path
// becomes the chosen file and folder its folder; non-zero. 0 when cancelled, with both
// untouched. The main window is disabled meanwhile and its enabled state restored after.
int BrowseForFile(HWND owner, std::string& path, std::string& folder);

// The RM5168's Select File dialog (select_file_dialog.cpp): 1 after a successful open,
// 0 after Cancel.
INT_PTR CALLBACK SelectFileDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR RunSelectFileDialog(HWND owner);

// The Open command (open_command.cpp): 1 when something was opened (RM5164: a file was
// chosen, whether or not it read), 0 when cancelled or refused during a burn.
LRESULT OpenCommand();

// The burn dialog (burn_dialog.cpp): the first call creates it from its template, later ones
// set the Verify box and show it again.
INT_PTR CALLBACK BurnDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
void ShowBurnDialog(HWND owner);
// The line the burn dialog draws: the burn status, or "COM port lost" for a burn that ended
// without a text because its port went away.
std::string BurnLineText();

// The Burn command (burn_command.cpp). Returns 0.
LRESULT BurnCommand(HWND window);
// Commands that would change what a running worker reads: the image, the chip, the port.
bool CommandChangesBurnInput(int command);
// Greys those commands in an opening popup while a worker runs, enables them otherwise.
void GreyBurnInputCommands(HMENU popup);

// How long a Burn command waits, serving messages, for the previous worker to end.
inline constexpr DWORD kPreviousWorkerWaitMs = 5000;
