#include "image/bin_reader.h"

#include <algorithm>
#include <cstring>

unsigned BinLimitBytes(int mode) { return mode == 2 ? kImageCapacityBytes : kBankSizeBytes; }

unsigned LoadBinBytes(BankImage& image, const std::string& path, std::string_view bytes, int mode,
                      std::vector<LoadMessage>& messages) {
  const std::uint32_t limit = BinLimitBytes(mode);
  if (bytes.size() > limit) {
    messages.push_back({LoadError, path + " > " + std::to_string(limit) + " bytes ..."});
    return 0;
  }
  if (bytes.empty()) return 0;
  const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
  std::memcpy(image.bytes.data() + (mode == 1 ? kBankSizeBytes : 0), bytes.data(), length);
  return std::min(image.chip->WholePages(length), limit);
}
