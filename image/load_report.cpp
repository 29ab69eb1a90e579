#include "image/load_report.h"

#include "image/bank_image.h"

namespace {
// Open attempts run on the user-interface thread only.
std::vector<LoadMessage>* current_messages = nullptr;
}  // namespace

std::string BankSizeText(int bank, std::uint32_t bytes) {
  return "BANK" + std::to_string(bank) + " : " + std::to_string(bytes) + " byte(s)";
}

void TellLoad(Window owner, const std::string& text, int kind) {
  if (current_messages != nullptr) current_messages->push_back({kind, text});
  ShowMessage(owner, text, kind);
}

LoadAttempt::LoadAttempt() : outer_(current_messages) { current_messages = &messages_; }

LoadAttempt::~LoadAttempt() { current_messages = outer_; }

LoadReport LoadAttempt::Finish(std::vector<std::string> files) {
  LoadReport report;
  report.file_state = FileState;
  report.files = std::move(files);
  report.title = ImageTitle();
  report.bank0_bytes = Bank0Size.load();
  report.bank1_bytes = Bank1Size.load();
  report.image_checksum = ImageChecksum;
  report.burn_sum = BurnSum();
  report.messages = messages_;
  return report;
}
