// A file that can be read only once: a pipe, as a shell's <(cat fw.bin) hands it over.
#include <unistd.h>

#include "image/file_open.h"
#include "tests/image/image_fixture.h"

namespace {

TEST(PlacementFromPipe, TheWholeFileIsReadOnce) {
  std::string bin(20000, '\0');  // more than one read buffer, less than what a pipe holds
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>(i * 7 + (i >> 8));
  std::string hex;
  for (unsigned address = 0; address < 0x1000; address += 16) {
    hex += HexRecordText(0, address, bin.substr(address, 16)) + "\n";
  }
  hex += kEndRecord + "\n";
  struct Case { std::string content; std::size_t length; };
  for (const Case& c : {Case{bin, bin.size()}, Case{hex, 0x1000}}) {
    const std::string& content = c.content;
    UseChip(0, 255);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fds[1]);
    FileName1 = "/dev/fd/" + std::to_string(fds[0]);
    OpenSingleFile(nullptr);
    close(fds[0]);
    EXPECT_EQ(FileState, 1);
    EXPECT_EQ(ShellRecord().messages.size(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(FirmwareImage), c.length), bin.substr(0, c.length));
  }
}

}  // namespace
