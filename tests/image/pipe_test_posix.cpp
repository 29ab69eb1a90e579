// A file that can be read only once: a pipe, as a shell's <(cat fw.bin) hands it over.
#include <unistd.h>

#include "image/file_open.h"
#include "tests/image/image_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(PlacementFromPipe, TheWholeFileIsReadOnce) {
  const std::vector<std::uint8_t> bin = TestBytes(20000, 0);  // over one read buffer, under a pipe's
  BankImage image = EmptyImage(kRm5164, 255);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], bin.data(), bin.size()), static_cast<ssize_t>(bin.size()));
  close(fds[1]);
  const LoadReport report = OpenOneFile(image, "/dev/fd/" + std::to_string(fds[0]), PlaceBank0);
  close(fds[0]);
  EXPECT_EQ(report.file_state, 1);
  EXPECT_TRUE(report.messages.empty());
  EXPECT_TRUE(std::equal(bin.begin(), bin.end(), image.bytes.begin()));
}

}  // namespace
