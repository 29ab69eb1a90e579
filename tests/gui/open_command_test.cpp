#include <gtest/gtest.h>

#include "app/app.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/resources/resource.h"
#include "image/bank_image.h"
#include "image/file_open.h"
#include "settings/settings.h"
#include "tests/gui/dialog_driver.h"
#include "tests/gui/gui_harness.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kReadOnlyBox = 0x410;

struct Session {
  DialogCatcher catcher;
  HWND window = nullptr;
  std::vector<std::string> titles;  // every dialog met, in order
  explicit Session(bool clear_profile = true) {
    if (clear_profile) ClearProfileSection();
    window = OpenMainWindow();
    catcher.boxes.clear();
  }
  ~Session() { CloseMainWindow(); }
};

std::string Folder(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

std::string CurrentFolder() {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  return folder;
}

std::string Bytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  return bytes;
}

TEST(OpenCommand, Rm5164CancelledBrowserChangesNothing) {
  ClearProfileSection();
  WriteProfileKey("OpenFileName1", "C:\\fw\\old\\blink.hex");
  Session session(false);
  std::string proposed, filter;
  int filters = 0;
  bool read_only_box = false, main_enabled = true;
  FileDialogWatch watch([&](HWND dialog) {
    proposed = ProposedFileName(dialog);
    filter = SelectedFilter(dialog);
    filters = static_cast<int>(SendDlgItemMessageA(dialog, 0x470, CB_GETCOUNT, 0, 0));
    read_only_box = IsWindowVisible(GetDlgItem(dialog, kReadOnlyBox)) != FALSE;
    main_enabled = IsWindowEnabled(MainWindow) != FALSE;
    CancelFileDialog(dialog);
  });
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 0);
  EXPECT_EQ(watch.met(), 1);
  EXPECT_EQ(proposed, "blink.hex");
  EXPECT_EQ(filter, "HEX or BIN file");
  EXPECT_EQ(filters, 2);
  EXPECT_TRUE(read_only_box);
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(IsWindowEnabled(session.window));
  EXPECT_EQ(FileName1, "C:\\fw\\old\\blink.hex");
  EXPECT_EQ(ReadProfileKey("OpenFileName1"), "C:\\fw\\old\\blink.hex");
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), "<missing>");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility");
  EXPECT_TRUE(session.catcher.boxes.empty());
}

TEST(OpenCommand, Rm5164ChosenFileIsStoredThenTheFillIsAskedThenItLoads) {
  TempDir dir;
  const std::string app = dir.Write("app.bin", Bytes(3000));
  const std::string empty = dir.Write("empty.hex", "");
  Session session;
  std::string choice = app;
  std::string proposed;
  FileDialogWatch watch([&](HWND dialog) {
    proposed = ProposedFileName(dialog);
    ChooseInFileDialog(dialog, choice);
  });
  session.catcher.on_dialog = WhenShown([&](HWND dialog) {
    const std::string title = WindowText(dialog);
    session.titles.push_back(title);
    if (title == "Unused bytes") {
      EXPECT_EQ(ReadProfileKey("OpenFileName1"), choice) << "stored before the fill is asked";
      ClickControl(dialog, IDC_FILL_00);
      ClickControl(dialog, IDC_UNUSED_OK);
    }
  });
  EXPECT_EQ(Command(IDM_OPEN_FILE), 1);
  EXPECT_EQ(watch.met(), 1);
  EXPECT_EQ(session.titles, std::vector<std::string>{"Unused bytes"});
  EXPECT_EQ(FileName1, app);
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), Folder(app));
  EXPECT_EQ(OpenPath, Folder(app));
  EXPECT_EQ(CurrentFolder(), Folder(app)) << "the current folder follows the chosen file";
  EXPECT_EQ(FillByte, 0);
  EXPECT_EQ(FileState, 1);
  // A fill of 0x00 burns the whole bank, which the RM5164 limit then cuts.
  EXPECT_EQ(Bank0Size.load(), 0xFE00u);
  std::vector<CaughtBox> boxes = session.catcher.boxes;
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Program size > 65024 bytes\nOnly 65024 bytes will be burned");
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + app);
  EXPECT_TRUE(IsWindowEnabled(session.window));

  // A chosen file that turns out empty: its box, no file, and still a 1.
  session.catcher.boxes.clear();
  choice = empty;
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 1);
  EXPECT_EQ(proposed, "app.bin");
  boxes = session.catcher.boxes;
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, empty + " is an empty file");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].owner, session.window);
  EXPECT_EQ(FileState, 0);
  EXPECT_EQ(Bank0Size.load(), 0u);
  EXPECT_EQ(ReadProfileKey("OpenFileName1"), empty) << "a failed read keeps the choice";
  const std::string title = WindowText(session.window);
  EXPECT_EQ(title.substr(title.size() - 17), "No file is opened");
}

TEST(SelectFileDialog, ShowsShortPathsIgnoresEnterAndEscapeAndKeepsAChoiceOnCancel) {
  TempDir dir;
  const std::string second = dir.Write("second.bin", Bytes(512));
  ClearProfileSection();
  WriteProfileKey("ChipID", "1");
  WriteProfileKey("OpenFileName1", "C:\\Projects\\Firmware\\Release\\build\\main.hex");
  WriteProfileKey("OpenFileName2", "C:\\Projects\\Firmware\\very_long_file_name_x.hex");
  Session session(false);
  bool main_enabled_after_browse = true, enabled_after_browse = false;
  // Its buttons act on the paths: while the browser is up they must not be clickable.
  std::atomic<HWND> select_file{nullptr};
  std::atomic<int> enabled_while_browsing{-1};
  POINT corner{}, expected{};
  std::vector<std::string> edits;
  FileDialogWatch watch([&](HWND dialog) {
    enabled_while_browsing = IsWindowEnabled(select_file.load()) ? 1 : 0;
    ChooseInFileDialog(dialog, second);
  });
  session.catcher.on_dialog = WhenShown([&](HWND dialog) {
    const std::string title = WindowText(dialog);
    session.titles.push_back(title);
    if (title != "Select File") return;
    select_file = dialog;
    corner = DialogCorner(dialog);
    expected = ExpectedDialogCorner(dialog);
    edits.push_back(WindowText(GetDlgItem(dialog, IDC_FILE1_EDIT)));
    edits.push_back(WindowText(GetDlgItem(dialog, IDC_FILE2_EDIT)));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);      // Enter
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // Escape
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    ClickControl(dialog, IDC_FILE2_BUTTON);
    main_enabled_after_browse = IsWindowEnabled(MainWindow) != FALSE;
    enabled_after_browse = IsWindowEnabled(dialog) != FALSE;
    edits.push_back(WindowText(GetDlgItem(dialog, IDC_FILE2_EDIT)));
    ClickControl(dialog, IDC_FILE_CANCEL);
  });
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 0);
  EXPECT_EQ(session.titles, std::vector<std::string>{"Select File"});
  EXPECT_EQ(watch.met(), 1);
  EXPECT_EQ(corner.x, expected.x);
  EXPECT_EQ(corner.y, expected.y);
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0], "C:\\Projects\\Firmware\\ ... \\main.hex");
  EXPECT_EQ(edits[1], "C:\\Projects\\Firmware\\very_long_file_name_x.hex");
  EXPECT_EQ(edits[2], ShortenPath(second));
  EXPECT_FALSE(main_enabled_after_browse) << "the Select File dialog still runs";
  EXPECT_EQ(enabled_while_browsing.load(), 0);
  EXPECT_TRUE(enabled_after_browse);
  EXPECT_TRUE(IsWindowEnabled(session.window));
  EXPECT_EQ(FileName2, second);
  EXPECT_EQ(ReadProfileKey("OpenFileName2"), second);
  EXPECT_EQ(ReadProfileKey("OpenFilePath"), Folder(second));
  EXPECT_EQ(Bank0Size.load() + Bank1Size.load(), 0u);
}

TEST(SelectFileDialog, OpenFile1And2StaysOpenOnAFailureThenOpensBothBanks) {
  TempDir dir;
  const std::string first = dir.Write("first.bin", Bytes(1000));
  const std::string second = dir.Write("second.bin", Bytes(2000));
  ClearProfileSection();
  WriteProfileKey("ChipID", "1");
  WriteProfileKey("OpenFileName1", first.c_str());
  Session session(false);
  bool open_after_failure = false;
  std::size_t boxes_after_failure = 0;
  FileDialogWatch watch([&](HWND dialog) { ChooseInFileDialog(dialog, second); });
  session.catcher.on_dialog = WhenShown([&](HWND dialog) {
    const std::string title = WindowText(dialog);
    if (title == "Unused bytes") ClickControl(dialog, IDC_UNUSED_OK);
    if (title != "Select File") return;
    ClickControl(dialog, IDC_OPEN_FILES_1_2);  // FileName2 is still empty
    open_after_failure = IsWindowVisible(dialog) != FALSE;
    const std::vector<CaughtBox> boxes = session.catcher.boxes;
    boxes_after_failure = boxes.size();
    if (boxes_after_failure == 1) {
      EXPECT_EQ(boxes[0].text, " open error");
      EXPECT_EQ(boxes[0].owner, dialog);
    }
    EXPECT_EQ(FileState, 0);
    ClickControl(dialog, IDC_FILE2_BUTTON);
    ClickControl(dialog, IDC_OPEN_FILES_1_2);
  });
  EXPECT_EQ(Command(IDM_OPEN_FILE), 1);
  EXPECT_TRUE(open_after_failure);
  EXPECT_EQ(boxes_after_failure, 1u);
  EXPECT_EQ(FileState, 2);
  EXPECT_EQ(Bank0Size.load(), 1024u);
  EXPECT_EQ(Bank1Size.load(), 2048u);
  EXPECT_EQ(FirmwareImage[0x10000 + 1999], static_cast<std::uint8_t>(1999 * 7 + 1));
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + first + "  ,  " + second);
}

TEST(SelectFileDialog, OpenFile1PutsAFileThatFitsOneBankIntoBank1) {
  TempDir dir;
  const std::string file = dir.Write("small.bin", Bytes(1000));
  ClearProfileSection();
  WriteProfileKey("ChipID", "1");
  WriteProfileKey("OpenFileName1", file.c_str());
  Session session(false);
  session.catcher.on_dialog = WhenShown([&](HWND dialog) {
    const std::string title = WindowText(dialog);
    if (title == "Unused bytes") ClickControl(dialog, IDC_UNUSED_OK);
    if (title == "Select File") ClickControl(dialog, IDC_OPEN_FILE1);
  });
  EXPECT_EQ(Command(IDM_TOOLBAR_OPEN), 1);
  EXPECT_TRUE(session.catcher.boxes.empty());
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(Bank0Size.load(), 0u);
  EXPECT_EQ(Bank1Size.load(), 1024u);
  EXPECT_EQ(FirmwareImage[0x10000 + 999], static_cast<std::uint8_t>(999 * 7 + 1));
  EXPECT_EQ(FirmwareImage[0], 0xFF);
  EXPECT_EQ(WindowText(session.window), "RM516X ISP utility -- " + file);
}

}  // namespace
