#include <array>

#include "app/app.h"

#include <commctrl.h>

#include "app/profile_settings.h"
#include "app/resources/resource.h"

namespace {

constexpr int kOwnToolbarImages = 4;
constexpr std::array<int, 6> kStatusPartRightEdges = {60, 230, 400, 570, 680, -1};

struct TooltipEntry {
  int command;
  int string_id;
};
constexpr std::array<TooltipEntry, 5> kTooltips = {{
    {IDM_TOOLBAR_OPEN, IDS_OPEN_FILE},
    {IDM_TOOLBAR_BURN, IDS_ISP_BURN},
    {IDM_TOOLBAR_COM_PORT, IDS_CHANGE_COM_PORT},
    {IDM_TOOLBAR_BAUD_RATE, IDS_CHANGE_BAUD_RATE},
    {IDM_TOOLBAR_SELECT_IC, IDS_SELECT_IC},
}};

TBBUTTON Button(int image, int command, BYTE style) {
  TBBUTTON button{};
  button.iBitmap = image;
  button.idCommand = command;
  button.fsState = TBSTATE_ENABLED;
  button.fsStyle = style;
  return button;
}

void SetMenuItem(HMENU menu, int command, bool checked, const char* text) {
  ModifyMenuA(menu, static_cast<UINT>(command), MF_BYCOMMAND | MF_STRING | (checked ? MF_CHECKED : 0u),
              static_cast<UINT_PTR>(command), text);
}

}  // namespace

void CreateToolbar(HWND parent) {
  InitCommonControls();
  // Created hidden; the control docks itself at the top of the parent.
  HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                                 WS_CHILD | TBSTYLE_TOOLTIPS | CCS_ADJUSTABLE, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)),
                                 AppInstance, nullptr);
  Toolbar = toolbar;
  SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);

  TBADDBITMAP standard{HINST_COMMCTRL, IDB_STD_LARGE_COLOR};
  SendMessageA(toolbar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standard));
  const TBBUTTON open_and_separator[] = {
      Button(STD_FILEOPEN, IDM_TOOLBAR_OPEN, TBSTYLE_BUTTON),
      Button(0, 0, TBSTYLE_SEP),
  };
  SendMessageA(toolbar, TB_ADDBUTTONS, 2, reinterpret_cast<LPARAM>(open_and_separator));

  TBADDBITMAP own{AppInstance, IDB_TOOLBAR};
  const auto first_image = static_cast<int>(
      SendMessageA(toolbar, TB_ADDBITMAP, kOwnToolbarImages, reinterpret_cast<LPARAM>(&own)));
  const int commands[kOwnToolbarImages] = {IDM_TOOLBAR_BURN, IDM_TOOLBAR_COM_PORT,
                                           IDM_TOOLBAR_BAUD_RATE, IDM_TOOLBAR_SELECT_IC};
  for (int i = 0; i < kOwnToolbarImages; ++i) {
    const TBBUTTON button = Button(first_image + i, commands[i], TBSTYLE_BUTTON);
    SendMessageA(toolbar, TB_ADDBUTTONS, 1, reinterpret_cast<LPARAM>(&button));
  }
  ShowWindow(toolbar, SW_SHOW);
}

HWND CreateStatusBar(HWND parent) {
  HWND status_bar =
      CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_BORDER, "", parent, IDC_STATUS_BAR);
  std::array<int, 6> edges = kStatusPartRightEdges;
  SendMessageA(status_bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  return status_bar;
}

LRESULT AnswerTooltip(WPARAM wparam, LPARAM lparam) {
  auto* tip = reinterpret_cast<TOOLTIPTEXTA*>(lparam);
  tip->hinst = AppInstance;
  const int tool = LOWORD(wparam);
  for (const TooltipEntry& entry : kTooltips) {
    if (entry.command == tool) {
      tip->lpszText = MAKEINTRESOURCEA(entry.string_id);
      break;
    }
  }
  return 0;
}

// The item losing its mark is rewritten first.
void UpdateMenuChecks(HMENU popup) {
  HMENU menu = MainMenu;
  switch (static_cast<int>(GetMenuItemID(popup, 0))) {
    case IDM_CHIP_RM5164:
      if (&ChosenChip() == &kRm5164) {
        SetMenuItem(menu, IDM_CHIP_RM5168, false, "RM516&8");
        SetMenuItem(menu, IDM_CHIP_RM5164, true, "RM516&4");
      } else {
        SetMenuItem(menu, IDM_CHIP_RM5164, false, "RM516&4");
        SetMenuItem(menu, IDM_CHIP_RM5168, true, "RM516&8");
      }
      break;
    case IDM_FILL_FF:
      SetMenuItem(menu, IDM_FILL_FF, FillByte == 0xFF, "0x&FF");
      SetMenuItem(menu, IDM_FILL_00, FillByte != 0xFF, "0x&00");
      break;
    default:
      break;
  }
}
