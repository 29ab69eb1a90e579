#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "app/com_port.h"
#include "app/commands.h"
#include "app/profile_settings.h"
#include "app/resources/resource.h"

#include <windowsx.h>

namespace {

constexpr int kRateCount = 8;
constexpr std::size_t kTypedTextMaxChars = 63;

std::string TrimmedText(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

int TypedRateIndex(HWND combo) {
  char typed[kTypedTextMaxChars + 1] = {};
  GetWindowTextA(combo, typed, sizeof typed);
  return BaudRateIndexOfText(typed);
}

void OnOk(HWND dialog) {
  HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
  int index = ComboBox_GetCurSel(combo);
  // Typing into the field clears the selection: a typed rate from the table counts, anything
  // else keeps the rate in use.
  if (index < 0 || index >= kRateCount) index = TypedRateIndex(combo);
  if (index >= 0) BaudRateIndex = index;
  if (BaudRateIndex >= 0 && BaudRateIndex < kRateCount) {
    SetBaudRate(BaudRateTable[BaudRateIndex]);
    WriteSetting("BaudRate", BaudRateIndex);
  }
  PurgeReceive();
  EndDialog(dialog, 1);
}

}  // namespace

int BaudRateIndexOfText(const std::string& text) {
  std::string rest = TrimmedText(text);
  std::size_t digits = 0;
  while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
  if (digits == 0 || digits > 6) return -1;
  const unsigned long rate = std::strtoul(rest.substr(0, digits).c_str(), nullptr, 10);
  rest = TrimmedText(rest.substr(digits));
  if (!rest.empty() && rest != "bits/sec." && rest != "bits/sec") return -1;
  for (int i = 0; i < kRateCount; ++i) {
    if (BaudRateTable[i] == rate) return i;
  }
  return -1;
}

INT_PTR CALLBACK BaudRateDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      CenterInMainWindow(dialog);
      HWND combo = GetDlgItem(dialog, IDC_BAUD_COMBO);
      for (int i = 0; i < kRateCount; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%u bits/sec.", static_cast<unsigned>(BaudRateTable[i]));
        ComboBox_AddString(combo, entry);
      }
      ComboBox_SetCurSel(combo, BaudRateIndex);
      return TRUE;  // focus on OK, so that Enter closes it
    }
    case WM_COMMAND:
      if (wparam == IDOK) {
        OnOk(dialog);
        return TRUE;
      }
      // Cancel and Escape: no change, no purge.
      if (wparam == IDCANCEL) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR RunBaudRateDialog(HWND owner) {
  return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_BAUD_RATE), owner, BaudRateDialog, 0);
}
