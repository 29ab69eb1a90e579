#pragma once
// The Win32 front end: the main window, its furniture and the small dialogs. Everything here
// runs on the user-interface thread, except the shell calls of shell_win32.cpp, which the
// burn worker may make from its own thread; the handles those read are atomic.
#include <windows.h>

#include <atomic>
#include <string>

inline constexpr const char* kMainClassName = "RM516X_ISP_Class";
inline constexpr const char* kAppTitle = "RM516X ISP utility";
inline constexpr const char* kInstanceMappingName = "RM516X_ISP";

// Exit code when the class or the main window cannot be made.
inline constexpr int kStartFailedExitCode = 2;

extern HINSTANCE AppInstance;
extern HANDLE InstanceMapping;
extern std::atomic<HWND> MainWindow;   // set when CreateWindowExA returns
extern std::atomic<HMENU> MainMenu;
extern std::atomic<HWND> Toolbar;
extern std::atomic<HWND> StatusBar;
extern std::atomic<HWND> BannerDialog;
extern std::atomic<HWND> BurnDialog;   // made by the first Burn command
extern HFONT ChecksumFont;

// Start-up (startup.cpp).
// Creates the named mapping (kept open for the process's life); true when it already existed.
bool AnotherInstanceRunning();
// Registers "RM516X_ISP_Class"; 0 on failure.
ATOM RegisterMainClass(HINSTANCE instance);
// The main window's height on a screen screen_height high: less the taskbar's height when
// the taskbar (nullptr: none) lies along the top or bottom edge, the whole height otherwise.
int MainWindowHeight(int screen_height, const RECT* taskbar);
// Creates, shows and updates the main window at the top-left corner, as wide as the screen and
// MainWindowHeight high. Records MainWindow; nullptr on failure.
HWND StartMainWindow(HINSTANCE instance);
// Runs until WM_QUIT and returns its wParam.
int RunMessageLoop();
// The whole program: single-instance test (ends the process with 1), class, window, loop.
int RunApplication(HINSTANCE instance);

// The window side of the shell (shell_win32.cpp), for the windows' own use too.
enum StatusPart : int {
  StatusPartChip = 0, StatusPartPort = 1, StatusPartBank0 = 2, StatusPartBank1 = 3,
  StatusPartVersion = 4, StatusPartChecksum = 5,
};
void SetStatusPart(int part, const std::string& text);
// Toolbar button by command identifier (TB_ENABLEBUTTON).
void EnableToolbarButton(int command, bool enabled);
// The burn dialog's Verify box 1016: checked or not.
void SetVerifyBoxCheck(bool checked);

// Main window procedure and its handlers (main_window.cpp).
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Toolbar, status bar and menu checks (furniture.cpp).
void CreateToolbar(HWND parent);
HWND CreateStatusBar(HWND parent);
void UpdateMenuChecks(HMENU popup);
// Answers TTN_NEEDTEXTA from the tooltip table; always 0.
LRESULT AnswerTooltip(WPARAM wparam, LPARAM lparam);

// The face of the main window (paint_main_window.cpp).
void PaintMainWindow(HWND window, HFONT checksum_font);

// The hidden banner popup (banner_dialog.cpp).
HWND CreateBanner(HWND owner);

// Places a dialog over the middle of the main window's client area (center_in_main_window.cpp).
void CenterInMainWindow(HWND dialog);

// The small modal dialogs, one file each. The Run functions return the dialog's result.
INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR RunAboutDialog(HWND owner);
INT_PTR CALLBACK SelectIcDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR RunSelectIcDialog(HWND owner);
INT_PTR CALLBACK UnusedBytesDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR RunUnusedBytesDialog(HWND owner);
