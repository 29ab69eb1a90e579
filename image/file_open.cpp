#include "image/file_open.h"

#include <algorithm>
#include <cstring>

#include "image/bank_image.h"
#include "image/bin_reader.h"
#include "image/classify_file.h"
#include "image/hex_reader.h"
#include "settings/settings.h"

namespace {

void ReportUnreadable(Window owner, int kind, const std::string& path) {
  if (kind == FileKindCannotOpen) ShowMessage(owner, path + " open error", MessageError);
  if (kind == FileKindEmpty) ShowMessage(owner, path + " is an empty file", MessageError);
}

// Sets the bank sizes for a file of size bytes: 1, or 0 when nothing was read.
int PlaceSize(std::uint32_t n, int mode) {
  if (n == 0) return 0;
  // With a fill other than 0xFF every touched bank is burned whole, writing the fill too.
  const bool sparse = FillByte == 255;
  if (mode == PlaceBothBanks) {
    if (n > kBankSizeBytes) {
      Bank0Size = kBankSizeBytes;
      Bank1Size = sparse ? n - kBankSizeBytes : kBankSizeBytes;
    } else {
      // A file that fits one bank goes to bank 1 of the RM5168.
      std::memmove(FirmwareImage + kBankSizeBytes, FirmwareImage, n);
      std::memset(FirmwareImage, FillByte & 0xFF, kBankSizeBytes);
      Bank1Size = sparse ? n : kBankSizeBytes;
      Bank0Size = sparse ? 0 : kBankSizeBytes;
    }
  } else if (mode == PlaceBank1) {
    Bank1Size = sparse ? n : kBankSizeBytes;
  } else {
    Bank0Size = sparse ? n : kBankSizeBytes;
  }
  return 1;
}

}  // namespace

unsigned LoadFile(Window owner, int kind, const std::string& path, int mode) {
  if (kind == FileKindHex) {
    if (unsigned size = LoadHexFile(path, mode); size != 0) return size;
    // Starts like HEX but does not read to its end record: take it as binary.
    return LoadBinFile(owner, path, mode);
  }
  if (kind == FileKindBinary) return LoadBinFile(owner, path, mode);
  ReportUnreadable(owner, kind, path);
  return 0;
}

unsigned LoadBytes(Window owner, int kind, const std::string& path, std::string_view bytes, int mode) {
  if (kind == FileKindHex) {
    if (unsigned size = LoadHexText(bytes, mode); size != 0) return size;
    return LoadBinBytes(owner, path, bytes, mode);
  }
  if (kind == FileKindBinary) return LoadBinBytes(owner, path, bytes, mode);
  ReportUnreadable(owner, kind, path);
  return 0;
}

int PlaceFile(Window owner, const std::string& path, int mode) {
  return PlaceSize(LoadFile(owner, ClassifyFile(path), path, mode), mode);
}

int PlaceBytes(Window owner, const std::string& path, std::string_view bytes, int mode) {
  return PlaceSize(LoadBytes(owner, ClassifyBytes(bytes), path, bytes, mode), mode);
}

std::string BaseFileName(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ShortenPath(const std::string& path) {
  if (path.size() < 40) return path;
  if (std::count(path.begin(), path.end(), '\\') <= 3) return path;
  std::size_t third = 0;
  for (int seen = 0; seen < 3; ++seen) third = path.find('\\', seen == 0 ? 0 : third + 1);
  return path.substr(0, third + 1) + " ... " + path.substr(path.rfind('\\'));
}

void OpenSingleFile(Window owner) {
  ResetImage();
  FileState = PlaceFile(owner, FileName1, PlaceBank0) == 1 ? 1 : 0;
  RefreshAfterLoad(owner);
}

bool OpenFileOverBothBanks(Window owner) {
  ResetImage();
  FileState = PlaceFile(owner, FileName1, PlaceBothBanks) == 1 ? 1 : 0;
  RefreshAfterLoad(owner);
  return FileState != 0;
}

bool OpenFilesOnePerBank(Window owner) {
  ResetImage();
  FileState = 0;
  if (PlaceFile(owner, FileName1, PlaceBank0) == 1) {
    FileState = PlaceFile(owner, FileName2, PlaceBank1) == 1 ? 2 : 0;
  }
  RefreshAfterLoad(owner);
  return FileState != 0;
}
