#include "image/file_open.h"

#include <algorithm>
#include <cstring>

#include "image/bank_image.h"
#include "image/bin_reader.h"
#include "image/classify_file.h"
#include "image/hex_reader.h"
#include "settings/settings.h"

unsigned LoadFile(Window owner, int kind, const std::string& path, int mode) {
  switch (kind) {
    case FileKindHex: {
      if (unsigned size = LoadHexFile(path, mode); size != 0) return size;
      // Starts like HEX but does not read to its end record: take it as binary.
      return LoadBinFile(owner, path, mode);
    }
    case FileKindBinary:
      return LoadBinFile(owner, path, mode);
    case FileKindCannotOpen:
      ShowMessage(owner, path + " open error", MessageError);
      return 0;
    case FileKindEmpty:
      ShowMessage(owner, path + " is an empty file", MessageError);
      return 0;
    default:
      return 0;
  }
}

int PlaceFile(Window owner, const std::string& path, int mode) {
  const std::uint32_t n = LoadFile(owner, ClassifyFile(path), path, mode);
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
