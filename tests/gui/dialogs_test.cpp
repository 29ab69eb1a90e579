#include <gtest/gtest.h>

#include "app/app.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "app/commands.h"
#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/gui/gui_harness.h"

namespace {

std::string Folder(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// Escape (IDCANCEL) must leave these dialogs up; only their own buttons end them.
bool IgnoresEscape(HWND dialog) {
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  return IsWindowVisible(dialog) != FALSE;
}

TEST(AboutDialog, OpensCentredShowsTheVersionAndEndsOnlyThroughOk) {
  GuiSession session;
  for (int client_height : {700, 60}) {
    SetClientHeight(client_height);
    int dialogs = 0;
    session.catcher.on_dialog = [&](HWND dialog) {
      ++dialogs;
      EXPECT_EQ(WindowText(dialog), "About RM516X ISP utility");
      EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_ABOUT_VERSION)), "Version 2.03");
      EXPECT_TRUE(CentredOverClient(dialog)) << client_height;
      EXPECT_FALSE(IsWindowEnabled(MainWindow));
      EXPECT_TRUE(IgnoresEscape(dialog));
      Click(dialog, IDC_ABOUT_OK);
    };
    EXPECT_EQ(Command(IDM_ABOUT), 0);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(IsWindowEnabled(session.window));
  }
}

TEST(SelectIcDialog, AppliesTheChipAndItsPageSizeAtTheClick) {
  GuiSession session;
  SetClientHeight(700);
  for (int model : {1, 0}) {
    session.catcher.on_dialog = [&](HWND dialog) {
      EXPECT_EQ(WindowText(dialog), "Select IC");
      EXPECT_TRUE(IsChecked(dialog, model == 1 ? IDC_SELECT_RM5164 : IDC_SELECT_RM5168));
      Click(dialog, model == 1 ? IDC_SELECT_RM5168 : IDC_SELECT_RM5164);
      EXPECT_EQ(ChipModel, model);
      EXPECT_EQ(ReadProfileKey("ChipID"), model == 1 ? "1" : "0");
      EXPECT_EQ(StatusText(0), model == 1 ? "RM5168" : "RM5164");
      EXPECT_FALSE(IsChecked(dialog, model == 1 ? IDC_SELECT_RM5164 : IDC_SELECT_RM5168));
      UpdateWindow(MainWindow);
      EXPECT_EQ(ClientPixel(2, ControlHeight(Toolbar)), model == 1 ? RGB(255, 255, 0) : RGB(0, 255, 0))
          << "repainted before the dialog closes";
      EXPECT_TRUE(IgnoresEscape(dialog));
      PostMessageA(dialog, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(Command(IDM_TOOLBAR_SELECT_IC), 0);
    EXPECT_EQ(PageSize.load(), model == 1 ? 512u : 256u);
  }
}

TEST(UnusedBytesDialog, StoresTheValueAtTheClick) {
  GuiSession session;
  for (int fill : {0, 255}) {
    session.catcher.on_dialog = [&](HWND dialog) {
      EXPECT_EQ(WindowText(dialog), "Unused bytes");
      EXPECT_TRUE(IsChecked(dialog, fill == 0 ? IDC_FILL_FF : IDC_FILL_00));
      Click(dialog, fill == 0 ? IDC_FILL_00 : IDC_FILL_FF);
      EXPECT_EQ(ReadProfileKey("UnusedBytes"), std::to_string(fill)) << "stored before OK";
      EXPECT_FALSE(IsChecked(dialog, fill == 0 ? IDC_FILL_FF : IDC_FILL_00));
      EXPECT_TRUE(IgnoresEscape(dialog));
      Click(dialog, IDC_UNUSED_OK);
    };
    EXPECT_EQ(RunUnusedBytesDialog(session.window), 1);
    EXPECT_EQ(FillByte, fill);
  }
}

TEST(OpenCommand, Rm5164CancelChangesNothingAChoiceIsStoredBeforeTheFillIsAsked) {
  GuiSession session({{"OpenFileName1", "C:\\fw\\old\\blink.hex"}});
  const std::string app = session.dir.Write("app.bin", std::string(3000, '\x5A'));
  const std::string empty = session.dir.Write("empty.hex", "");
  std::vector<std::string> proposed, filters;
  bool main_enabled = true;
  std::string choice;  // empty: cancel
  FileDialogWatch watch([&](HWND dialog) {
    HWND name = GetDlgItem(dialog, 0x47C), type = GetDlgItem(dialog, 0x470);
    proposed.push_back(WindowText(name));
    filters.push_back(WindowText(type) + "/" + std::to_string(SendMessageA(type, CB_GETCOUNT, 0, 0)) +
                      (IsWindowVisible(GetDlgItem(dialog, 0x410)) ? "/read-only box" : ""));
    main_enabled = IsWindowEnabled(MainWindow) != FALSE;
    if (choice.empty()) CancelFileDialog(dialog); else ChooseInFileDialog(dialog, choice);
  });
  std::vector<std::string> dialogs;
  session.catcher.on_dialog = [&](HWND dialog) {
    dialogs.push_back(WindowText(dialog));
    EXPECT_EQ(ReadProfileKey("OpenFileName1"), choice) << "stored before the fill is asked";
    Click(dialog, IDC_FILL_00);
    Click(dialog, IDC_UNUSED_OK);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 0);
  EXPECT_FALSE(main_enabled);
  EXPECT_EQ(FileName1, "C:\\fw\\old\\blink.hex");
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), "<missing>");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");

  choice = app;
  EXPECT_EQ(Command(IDM_OPEN_FILE), 1);
  EXPECT_EQ(dialogs, std::vector<std::string>{"Unused bytes"});
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), Folder(app));
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_EQ(current, Folder(app)) << "the current folder follows the chosen file";
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size.load(), 0xFE00u) << "a fill of 0x00 burns the whole bank, cut to the RM5164's";
  ASSERT_EQ(session.catcher.boxes.size(), 1u);
  EXPECT_EQ(session.catcher.boxes[0].owner, session.window);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + app);

  // A chosen file that turns out empty: its box, no file, the choice kept, and still a 1.
  choice = empty;
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 1);
  ASSERT_EQ(session.catcher.boxes.size(), 2u);
  EXPECT_EQ(session.catcher.boxes[1].text, empty + " is an empty file");
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(ReadProfileKey("OpenFileName1"), empty);
  EXPECT_EQ(proposed, (std::vector<std::string>{"blink.hex", "blink.hex", "app.bin"}));
  EXPECT_EQ(filters[0], "HEX or BIN file/2/read-only box");
  EXPECT_TRUE(IsWindowEnabled(session.window));
}

TEST(SelectFileDialog, ShortPathsBrowsingLocksItAndOpenFile1And2StaysUpOnAFailure) {
  GuiSession session({{"ChipID", "1"}, {"OpenFileName1", "C:\\Projects\\Firmware\\Release\\build\\main.hex"},
                      {"OpenFileName2", "C:\\Projects\\Firmware\\very_long_file_name_x.hex"}});
  const std::string first = session.dir.Write("first.bin", std::string(1000, '\x11'));
  const std::string second = session.dir.Write("second.bin", std::string(2000, '\x22'));
  std::string choice = second;
  std::atomic<HWND> select_file{nullptr};
  std::atomic<int> enabled_while_browsing{-1};
  FileDialogWatch watch([&](HWND dialog) {
    enabled_while_browsing = IsWindowEnabled(select_file.load()) ? 1 : 0;
    ChooseInFileDialog(dialog, choice);
  });
  std::vector<std::string> edits;
  session.catcher.on_dialog = [&](HWND dialog) {
    if (WindowText(dialog) == "Unused bytes") return Click(dialog, IDC_UNUSED_OK);
    select_file = dialog;
    EXPECT_TRUE(CentredOverClient(dialog));
    for (int edit : {IDC_FILE1_EDIT, IDC_FILE2_EDIT}) edits.push_back(WindowText(GetDlgItem(dialog, edit)));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);  // Enter
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IgnoresEscape(dialog));
    Click(dialog, IDC_FILE2_BUTTON);
    EXPECT_FALSE(IsWindowEnabled(MainWindow)) << "the Select File dialog still runs";
    EXPECT_TRUE(IsWindowEnabled(dialog));
    edits.push_back(WindowText(GetDlgItem(dialog, IDC_FILE2_EDIT)));
    Click(dialog, IDC_FILE_CANCEL);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 0);
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0], "C:\\Projects\\Firmware\\ ... \\main.hex");
  EXPECT_EQ(edits[1], "C:\\Projects\\Firmware\\very_long_file_name_x.hex");
  EXPECT_EQ(edits[2].substr(edits[2].size() - 11), "\\second.bin");
  EXPECT_EQ(enabled_while_browsing.load(), 0);
  EXPECT_EQ(ReadProfileKey("OpenFileName2"), second) << "a choice is kept on Cancel";
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), Folder(second));
  EXPECT_EQ(Bank0Size.load() + Bank1Size.load(), 0u);

  // Both banks: a failed open (no second file) keeps the dialog up with its box.
  FileName1 = first;
  FileName2.clear();
  session.catcher.on_dialog = [&](HWND dialog) {
    if (WindowText(dialog) == "Unused bytes") return Click(dialog, IDC_UNUSED_OK);
    Click(dialog, IDC_OPEN_FILES_1_2);
    EXPECT_TRUE(IsWindowVisible(dialog));
    ASSERT_EQ(session.catcher.boxes.size(), 1u);
    EXPECT_EQ(session.catcher.boxes[0].text + "|" + (session.catcher.boxes[0].owner == dialog ? "dialog" : "?"),
              " open error|dialog");
    Click(dialog, IDC_FILE2_BUTTON);
    Click(dialog, IDC_OPEN_FILES_1_2);
  };
  EXPECT_EQ(Command(IDM_OPEN_FILE), 1);
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(Bank0Size.load(), 1024u);
  EXPECT_EQ(Bank1Size.load(), 2048u);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + first + "  ,  " + second);

  // Open File1 puts a file that fits one bank into bank 1.
  session.catcher.on_dialog = [&](HWND dialog) {
    Click(dialog, WindowText(dialog) == "Unused bytes" ? IDC_UNUSED_OK : IDC_OPEN_FILE1);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 1);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size.load(), 0u);
  EXPECT_EQ(Bank1Size.load(), 1024u);
  EXPECT_EQ(FirmwareImage[0x10000 + 999], 0x11);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + first);
}

}  // namespace
