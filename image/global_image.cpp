#include "image/global_image.h"

#include <algorithm>
#include <iterator>
#include <vector>


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

void ShowBoxes(Window owner, const std::vector<LoadMessage>& messages) {
  for (const LoadMessage& message : messages) ShowBox(owner, message);
}

// The end of every attempt: the image kept, then what the main window shows of it.
LoadReport Publish(const BankImage& image, LoadReport report) {
  Keep(image);
  ImageChecksum = report.image_checksum;
  ShowTitle(report.title);
  ShowBankSizes();
  ShowChecksum(ImageChecksum);
  return report;
}

}  // namespace

void FillImage() {
  BankImage image = SharedImage();
  FillImage(image);
  Keep(image);
}

void ResetImage() {
  BankImage image = SharedImage();
  ResetImage(image);
  Keep(image);
}

void ChooseChip(int model) {
  if (!SelectChip(model)) return;
  BankImage image = SharedImage();
  const LoadReport report = ChangeChip(image, ChosenChip());
  ShowBoxes(MainWindowHandle(), report.messages);
  Publish(image, report);
}

void RefreshAfterLoad(Window owner) {
  BankImage image = SharedImage();
  LoadReport report;
  report.files = {FileName1, FileName2};
  FinishLoad(image, report);
  ShowBoxes(owner, report.messages);
  Publish(image, report);
}

void ShowBankSizes() { ShowBankBytes(Bank0Size.load(), Bank1Size.load()); }

std::string ImageTitle() { return ImageTitle(FileState, {FileName1, FileName2}); }

std::uint32_t BurnSum() { return BurnSum(FirmwareImage, Bank0Size.load(), Bank1Size.load()); }

int PlaceFile(Window owner, const std::string& path, int mode) {
  BankImage image = SharedImage();
  std::vector<LoadMessage> messages;
  const int placed = PlaceFile(image, path, mode, messages);
  ShowBoxes(owner, messages);
  Keep(image);
  return placed;
}

int PlaceBytes(Window owner, const std::string& path, std::string_view bytes, int mode) {
  BankImage image = SharedImage();
  std::vector<LoadMessage> messages;
  const int placed = PlaceBytes(image, path, bytes, mode, messages);
  ShowBoxes(owner, messages);
  Keep(image);
  return placed;
}

LoadReport OpenOneFile(Window owner, int mode) {
  BankImage image = SharedImage();
  const auto tell = [owner](const LoadMessage& message) { ShowBox(owner, message); };
  return Publish(image, OpenOneFile(image, FileName1, mode, tell));
}

LoadReport OpenSingleFile(Window owner) { return OpenOneFile(owner, PlaceBank0); }

LoadReport OpenFileOverBothBanks(Window owner) { return OpenOneFile(owner, PlaceBothBanks); }

LoadReport OpenFilesOnePerBank(Window owner) {
  BankImage image = SharedImage();
  const auto tell = [owner](const LoadMessage& message) { ShowBox(owner, message); };
  return Publish(image, OpenFilesOnePerBank(image, FileName1, FileName2, tell));
}
