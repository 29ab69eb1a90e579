#pragma once
// How the GUI's state (settings, image, port, burn worker) reaches its windows, in the
// domain's words; shell_win32.cpp maps each call onto a window. Every call must be harmless
// while there is nothing to show it on. The burn worker makes the burn calls from its own
// thread.
#include <cstdint>
#include <string>

#include "shell/message_kind.h"

// Opaque owner of a message box: the GUI's HWND, nullptr for "no owner".
using Window = void*;


// The main window, or nullptr while it does not exist (during its creation).
Window MainWindowHandle();

// A message box: kind error has the caption "Error" and the error icon, kind warning the caption
// "Warnning" and no icon. Returns when the user has closed it. May be called from the burn worker.
void ShowMessage(Window owner, const std::string& text, int kind);

// ---- The main window's fields ------------------------------------------------------------

// The program's title: "RM516X ISP utility -- " and the loaded file names, or "No file is opened".
void ShowTitle(const std::string& text);

// The chip model chosen (0 RM5164, 1 RM5168): its name and its picture.
void ShowChip(int model);

// The port and its rate, as the serial module words it ("COM1 : BaudRate = 115200",
// "COM : Disconnect").
void ShowPortStatus(const std::string& text);

// The bytes of each bank that a burn writes.
void ShowBankBytes(std::uint32_t bank0_bytes, std::uint32_t bank1_bytes);

// The 16-bit checksum of the image, shown on the main window's face.
void ShowChecksum(std::uint32_t checksum);

// ---- A burn ----------------------------------------------------------------------------

// The commands that change what a burn reads (open, chip, port, rate): locked while a burn
// may run, released as one.
void LockBurnInputs(bool locked);

// The Burn command (button and menu item): offered, or not.
void OfferBurn(bool offered);

// The chip answered the handshake with this version byte (-1: no byte came).
void HandshakeSeen(int version);

// The burn dialog's coloured text changed (BurnStatusText, BurnStatusColor).
void BurnStatusChanged();

// The burn dialog's progress, 0..100.
void ShowBurnProgress(int percent);

// The burn dialog's button: "Stop" while a burn can be stopped, "Close" otherwise.
enum class BurnButton : int { Close = 0, Stop = 1 };
void SetBurnButton(BurnButton role);

// The burn dialog's button and its Verify box: usable, or greyed.
void EnableBurnButton(bool enabled);
void EnableVerifyBox(bool enabled);
