#include <gtest/gtest.h>

#include "app/app.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/gui/gui_harness.h"

namespace {

std::string Folder(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

TEST(AboutDialog, OpensCentredShowsTheVersionAndEndsOnlyThroughOk) {
  GuiSession session;
  for (int client_height : {700, 60}) {
    SetClientHeight(client_height);
    int dialogs = 0;
    session.on_dialog = [&](HWND dialog) {
      ++dialogs;
      EXPECT_EQ(WindowText(dialog) + "|" + WindowText(GetDlgItem(dialog, IDC_ABOUT_VERSION)),
                "About RM516X ISP utility|Version 2.03");
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

// The chip dialog applies at the click, repainting the face; the fill dialog stores at the click.
TEST(ChoiceDialogs, SelectIcAndUnusedBytesApplyAtTheClick) {
  GuiSession session;
  SetClientHeight(700);
  session.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Select IC");
    EXPECT_TRUE(IsChecked(dialog, IDC_SELECT_RM5164));
    Click(dialog, IDC_SELECT_RM5168);
    EXPECT_FALSE(IsChecked(dialog, IDC_SELECT_RM5164));
    EXPECT_EQ(ReadProfileKey("ChipID") + StatusText(0), "1RM5168");
    UpdateWindow(MainWindow);
    EXPECT_EQ(PixelsOf(MainWindow, RGB(255, 255, 0), {0, ControlHeight(Toolbar), 1, ControlHeight(Toolbar) + 1}).count, 1u)
        << "repainted before the dialog closes";
    EXPECT_TRUE(IgnoresEscape(dialog));
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_SELECT_IC), 0);
  EXPECT_EQ(ChipModel, 1);
  EXPECT_EQ(PageSize.load(), 512u);

  session.on_dialog = [&](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "Unused bytes");
    EXPECT_TRUE(IsChecked(dialog, IDC_FILL_FF));
    Click(dialog, IDC_FILL_00);
    EXPECT_FALSE(IsChecked(dialog, IDC_FILL_FF));
    EXPECT_EQ(ReadProfileKey("UnusedBytes"), "0") << "stored before OK";
    EXPECT_TRUE(IgnoresEscape(dialog));
    Click(dialog, IDC_UNUSED_OK);
  };
  EXPECT_EQ(RunUnusedBytesDialog(session.window), 1);
  EXPECT_EQ(FillByte, 0);
}

TEST(OpenCommand, Rm5164CancelChangesNothingAChoiceIsStoredBeforeTheFillIsAsked) {
  GuiSession session({{"OpenFileName1", "C:\\fw\\old\\blink.hex"}});
  const std::string app = session.dir.Write("app.bin", std::string(3000, '\x5A'));
  const std::string empty = session.dir.Write("empty.hex", "");
  std::vector<std::string> proposed;
  std::string filter, choice;  // choice empty: cancel
  bool main_enabled = true;
  session.on_file_dialog = [&](HWND dialog) {
    HWND type = GetDlgItem(dialog, 0x470);
    proposed.push_back(WindowText(GetDlgItem(dialog, 0x47C)));
    filter = WindowText(type) + "/" + std::to_string(SendMessageA(type, CB_GETCOUNT, 0, 0)) +
             (IsWindowVisible(GetDlgItem(dialog, 0x410)) ? "/read-only box" : "");
    main_enabled = IsWindowEnabled(MainWindow) != FALSE;
    AnswerFileDialog(dialog, choice);
  };
  std::vector<std::string> dialogs;
  session.on_dialog = [&](HWND dialog) {
    dialogs.push_back(WindowText(dialog));
    EXPECT_EQ(ReadProfileKey("OpenFileName1"), choice) << "stored before the fill is asked";
    Click(dialog, IDC_FILL_00);
    Click(dialog, IDC_UNUSED_OK);
  };
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 0);
  EXPECT_FALSE(main_enabled);
  EXPECT_EQ(filter, "HEX or BIN file/2/read-only box");
  EXPECT_EQ(FileName1, "C:\\fw\\old\\blink.hex");
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), "<missing>");

  choice = app;
  EXPECT_EQ(Command(IDM_OPEN_FILE), 1);
  EXPECT_EQ(dialogs, std::vector<std::string>{"Unused bytes"});
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), Folder(app));
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_EQ(current, Folder(app)) << "the current folder follows the chosen file";
  EXPECT_EQ(Bank0Size.load(), 0xFE00u) << "a fill of 0x00 burns the whole bank, cut to the RM5164's";
  ASSERT_EQ(session.boxes.size(), 1u);
  EXPECT_EQ(session.boxes[0].owner, session.window);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + app);

  // A chosen file that turns out empty: its box, no file, the choice kept, and still a 1.
  choice = empty;
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 1);
  ASSERT_EQ(session.boxes.size(), 2u);
  EXPECT_EQ(session.boxes[1].text, empty + " is an empty file");
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(proposed, (std::vector<std::string>{"blink.hex", "blink.hex", "app.bin"}));
  EXPECT_TRUE(IsWindowEnabled(session.window));
}

TEST(SelectFileDialog, ShortPathsBrowsingLocksItAndOpenFile1And2StaysUpOnAFailure) {
  GuiSession session({{"ChipID", "1"}, {"OpenFileName1", "C:\\Projects\\Firmware\\Release\\build\\main.hex"},
                      {"OpenFileName2", "C:\\Projects\\Firmware\\very_long_file_name_x.hex"}});
  const std::string first = session.dir.Write("first.bin", std::string(1000, '\x11'));
  const std::string second = session.dir.Write("second.bin", std::string(2000, '\x22'));
  HWND select_file = nullptr;
  int enabled_while_browsing = -1;
  session.on_file_dialog = [&](HWND dialog) {
    enabled_while_browsing = IsWindowEnabled(select_file);
    AnswerFileDialog(dialog, second);
  };
  std::vector<std::string> edits;
  // Each run: the fill dialog confirmed, the Select File dialog handed to act.
  auto run = [&](int command, const std::function<void(HWND)>& act) {
    session.on_dialog = [&](HWND dialog) {
      if (WindowText(dialog) == "Unused bytes") return Click(dialog, IDC_UNUSED_OK);
      act(select_file = dialog);
    };
    return Command(command);
  };
  EXPECT_EQ(run(IDM_TOOLBAR_OPEN, [&](HWND dialog) {
    for (int edit : {IDC_FILE1_EDIT, IDC_FILE2_EDIT}) edits.push_back(WindowText(GetDlgItem(dialog, edit)));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);  // Enter
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IgnoresEscape(dialog));
    Click(dialog, IDC_FILE2_BUTTON);
    EXPECT_FALSE(IsWindowEnabled(MainWindow)) << "the Select File dialog still runs";
    edits.push_back(WindowText(GetDlgItem(dialog, IDC_FILE2_EDIT)));
    Click(dialog, IDC_FILE_CANCEL);
  }), 0);
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0], "C:\\Projects\\Firmware\\ ... \\main.hex");
  EXPECT_EQ(edits[1], "C:\\Projects\\Firmware\\very_long_file_name_x.hex");
  EXPECT_EQ(edits[2].substr(edits[2].size() - 11), "\\second.bin");
  EXPECT_EQ(enabled_while_browsing, 0);
  EXPECT_EQ(ReadProfileKey("OpenFileName2"), second) << "a choice is kept on Cancel";
  EXPECT_EQ(Bank0Size.load() + Bank1Size.load(), 0u);

  // Both banks: a failed open (no second file) keeps the dialog up with its box.
  FileName1 = first;
  FileName2.clear();
  EXPECT_EQ(run(IDM_OPEN_FILE, [&](HWND dialog) {
    Click(dialog, IDC_OPEN_FILES_1_2);
    EXPECT_TRUE(IsWindowVisible(dialog));
    ASSERT_EQ(session.boxes.size(), 1u);
    EXPECT_EQ(session.boxes[0].text, " open error");
    EXPECT_EQ(session.boxes[0].owner, dialog);
    Click(dialog, IDC_FILE2_BUTTON);
    Click(dialog, IDC_OPEN_FILES_1_2);
  }), 1);
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + first + "  ,  " + second);

  // Open File1 lays one file over both banks: one that fits a bank goes into bank 1.
  EXPECT_EQ(run(IDM_TOOLBAR_OPEN, [](HWND dialog) { Click(dialog, IDC_OPEN_FILE1); }), 1);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size.load() * 10000 + Bank1Size.load(), 1024u);
}

}  // namespace
