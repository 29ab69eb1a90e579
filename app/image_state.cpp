#include "app/image_state.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "app/profile_settings.h"
#include "image/file_open.h"

std::uint8_t FirmwareImage[kImageCapacityBytes];
std::atomic<std::uint32_t> Bank0Size{0};
std::atomic<std::uint32_t> Bank1Size{0};
int FileState = 0;
std::uint32_t ImageChecksum = 0;

namespace {

BankImage SharedImage() {
  BankImage image(ChosenChip(), FillByte);
  std::copy(std::begin(FirmwareImage), std::end(FirmwareImage), image.bytes.begin());
  image.bank_bytes[0] = Bank0Size.load();
  image.bank_bytes[1] = Bank1Size.load();
  image.file_state = FileState;
  return image;
}

void Keep(const BankImage& image) {
  std::copy(image.bytes.begin(), image.bytes.end(), std::begin(FirmwareImage));
  Bank0Size = image.bank_bytes[0];
  Bank1Size = image.bank_bytes[1];
  FileState = image.file_state;
}

void ShowBox(Window owner, const LoadMessage& message) {
  ShowMessage(owner, message.text, message.kind == LoadWarning ? MessageWarning : MessageError);
}

// The end of every attempt: the image kept, then what the main window shows of it.
LoadReport Publish(const BankImage& image, LoadReport report) {
  Keep(image);
  ImageChecksum = report.image_checksum;
  ShowTitle(report.title);
  ShowBankBytes(Bank0Size.load(), Bank1Size.load());
  ShowChecksum(ImageChecksum);
  return report;
}

LoadReport OpenInMode(Window owner, int mode) {
  BankImage image = SharedImage();
  const auto tell = [owner](const LoadMessage& message) { ShowBox(owner, message); };
  return Publish(image, OpenOneFile(image, FileName1, mode, tell));
}

}  // namespace

void ResetImage() {
  BankImage image = SharedImage();
  ResetImage(image);
  Keep(image);
}

void ChooseChip(int model) {
  if (!SelectChip(model)) return;
  BankImage image = SharedImage();
  const LoadReport report = ChangeChip(image, ChosenChip());
  for (const LoadMessage& message : report.messages) ShowBox(MainWindowHandle(), message);
  Publish(image, report);
}

LoadReport OpenSingleFile(Window owner) { return OpenInMode(owner, PlaceBank0); }

LoadReport OpenFileOverBothBanks(Window owner) { return OpenInMode(owner, PlaceBothBanks); }

LoadReport OpenFilesOnePerBank(Window owner) {
  BankImage image = SharedImage();
  const auto tell = [owner](const LoadMessage& message) { ShowBox(owner, message); };
  return Publish(image, OpenFilesOnePerBank(image, FileName1, FileName2, tell));
}
