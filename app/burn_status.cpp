#include "app/burn_status.h"

#include <mutex>

#include "app/shell.h"

std::atomic<std::uint32_t> BurnStatusColor{0};

namespace {
constexpr std::size_t kStatusTextMaxChars = 99;
std::mutex status_text_mutex;
std::string status_text;
}  // namespace

std::string BurnStatusText() {
  std::lock_guard lock(status_text_mutex);
  return status_text;
}

void ShowBurnStatus(std::uint32_t color, const std::string& text) {
  {
    std::lock_guard lock(status_text_mutex);
    BurnStatusColor = color;
    status_text = text.substr(0, kStatusTextMaxChars);
  }
  BurnStatusChanged();
}
