// A file that can be read only once: a pipe, as a shell's <(cat fw.bin) hands it over.
#include <unistd.h>

#include "image/file_open.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(PlacementFromPipe, TheWholeFileIsReadOnce) {
  const std::vector<std::uint8_t> bin = TestBytes(20000, 0);  // over one read buffer, under a pipe's
  UseChip(0, 255);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], bin.data(), bin.size()), static_cast<ssize_t>(bin.size()));
  close(fds[1]);
  FileName1 = "/dev/fd/" + std::to_string(fds[0]);
  OpenSingleFile(nullptr);
  close(fds[0]);
  EXPECT_EQ(FileState, 1);
  EXPECT_EQ(ShellRecord().messages.size(), 0u);
  EXPECT_TRUE(std::equal(bin.begin(), bin.end(), FirmwareImage));
}

}  // namespace
