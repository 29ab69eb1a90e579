#include <gtest/gtest.h>

#include "app/app.h"

#include <functional>

#include "app/resources/resource.h"
#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/gui/dialog_driver.h"
#include "tests/gui/gui_harness.h"

namespace {

// Escape (IDCANCEL) must leave the dialog running; then finish ends it.
void EscapeThen(HWND dialog, bool* escaped_ok, std::function<void()> finish) {
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  RunLater([dialog, escaped_ok, finish] {
    *escaped_ok = IsWindow(dialog) != FALSE;
    finish();
  });
}

bool Checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

void Click(HWND dialog, int control) { SendDlgItemMessageA(dialog, control, BM_CLICK, 0, 0); }

TEST(AboutDialog, OpensCentredShowsTheVersionAndEndsOnlyThroughOk) {
  GuiSession session;
  session.catcher.boxes.clear();
  for (int client_height : {700, 60}) {
    SetClientHeight(client_height);
    int dialogs = 0;
    bool escaped_ok = false;
    session.catcher.on_dialog = [&](HWND dialog) {
      ++dialogs;
      EXPECT_EQ(WindowText(dialog), "About RM516X ISP utility");
      EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_ABOUT_VERSION)), "Version 2.03");
      const POINT expected = ExpectedDialogCorner(dialog);
      const POINT corner = DialogCorner(dialog);
      EXPECT_EQ(corner.x, expected.x) << client_height;
      EXPECT_EQ(corner.y, expected.y) << client_height;
      EXPECT_FALSE(IsWindowEnabled(MainWindow));
      EscapeThen(dialog, &escaped_ok, [dialog] { Click(dialog, IDC_ABOUT_OK); });
    };
    EXPECT_EQ(Command(IDM_ABOUT), 0);
    EXPECT_TRUE(escaped_ok) << "Escape ended the dialog";
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(IsWindowEnabled(session.window));
  }
}

TEST(SelectIcDialog, AppliesTheChipAtTheClickAndPageSizeOnClose) {
  GuiSession session;
  SetClientHeight(700);
  const int top = ControlHeight(Toolbar);
  bool escaped_ok = false;
  session.catcher.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Select IC");
    const POINT expected = ExpectedDialogCorner(dialog);
    EXPECT_EQ(DialogCorner(dialog).x, expected.x);
    EXPECT_EQ(DialogCorner(dialog).y, expected.y);
    EXPECT_TRUE(Checked(dialog, IDC_SELECT_RM5164));
    EXPECT_FALSE(Checked(dialog, IDC_SELECT_RM5168));

    Click(dialog, IDC_SELECT_RM5168);
    EXPECT_EQ(ChipModel, 1);
    EXPECT_EQ(ReadProfileKey("ChipID"), "1");
    EXPECT_EQ(StatusText(0), "RM5168");
    EXPECT_TRUE(Checked(dialog, IDC_SELECT_RM5168));
    EXPECT_FALSE(Checked(dialog, IDC_SELECT_RM5164));
    UpdateWindow(MainWindow);
    EXPECT_EQ(ClientPixel(2, top), RGB(255, 255, 0)) << "repainted before the dialog closes";

    EscapeThen(dialog, &escaped_ok, [dialog] { PostMessageA(dialog, WM_CLOSE, 0, 0); });
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_SELECT_IC), 0);
  EXPECT_TRUE(escaped_ok) << "Escape ended the dialog";
  EXPECT_EQ(PageSize.load(), 512u);

  session.catcher.on_dialog = [&](HWND dialog) {
    EXPECT_TRUE(Checked(dialog, IDC_SELECT_RM5168));
    Click(dialog, IDC_SELECT_RM5164);
    EXPECT_EQ(ChipModel, 0);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_SELECT_IC), 0);
  EXPECT_EQ(PageSize.load(), 256u);
  EXPECT_EQ(ReadProfileKey("ChipID"), "0");
}

TEST(UnusedBytesDialog, StoresTheValueAtTheClick) {
  GuiSession session;
  bool escaped_ok = false;
  session.catcher.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Unused bytes");
    const POINT expected = ExpectedDialogCorner(dialog);
    EXPECT_EQ(DialogCorner(dialog).x, expected.x);
    EXPECT_EQ(DialogCorner(dialog).y, expected.y);
    EXPECT_TRUE(Checked(dialog, IDC_FILL_FF));
    Click(dialog, IDC_FILL_00);
    EXPECT_EQ(FillByte, 0);
    EXPECT_EQ(ReadProfileKey("UnusedBytes"), "0") << "stored before OK";
    EXPECT_TRUE(Checked(dialog, IDC_FILL_00));
    EXPECT_FALSE(Checked(dialog, IDC_FILL_FF));
    EscapeThen(dialog, &escaped_ok, [dialog] { Click(dialog, IDC_UNUSED_OK); });
  };
  EXPECT_EQ(RunUnusedBytesDialog(session.window), 1);
  EXPECT_TRUE(escaped_ok) << "Escape ended the dialog";
  EXPECT_EQ(FillByte, 0);

  session.catcher.on_dialog = [&](HWND dialog) {
    EXPECT_TRUE(Checked(dialog, IDC_FILL_00));
    Click(dialog, IDC_FILL_FF);
    EXPECT_EQ(ReadProfileKey("UnusedBytes"), "255");
    Click(dialog, IDC_UNUSED_OK);
  };
  EXPECT_EQ(RunUnusedBytesDialog(session.window), 1);
  EXPECT_EQ(FillByte, 255);
}

}  // namespace
