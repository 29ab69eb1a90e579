#include "image/bin_reader.h"

#include <algorithm>
#include <cstring>

#include "image/bank_image.h"
#include "image/load_report.h"

unsigned BinLimitBytes(int mode) { return mode == 2 ? kImageCapacityBytes : kBankSizeBytes; }

unsigned LoadBinBytes(Window owner, const std::string& path, std::string_view bytes, int mode) {
  const std::uint32_t limit = BinLimitBytes(mode);
  if (bytes.size() > limit) {
    TellLoad(owner, path + " > " + std::to_string(limit) + " bytes ...", MessageError);
    return 0;
  }
  if (bytes.empty()) return 0;
  const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
  std::memcpy(FirmwareImage + (mode == 1 ? kBankSizeBytes : 0), bytes.data(), length);
  const std::uint32_t page = PageSize.load();
  const std::uint32_t rounded = page == 0 ? length : (length + page - 1) / page * page;
  return std::min(rounded, limit);
}
