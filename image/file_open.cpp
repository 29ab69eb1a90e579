#include "image/file_open.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/bank_image.h"
#include "image/load_report.h"
#include "image/bin_reader.h"
#include "image/classify_file.h"
#include "image/file_bytes.h"
#include "image/hex_reader.h"
#include "settings/settings.h"

namespace {

// Reads the file through one handle, as far as its kind needs: a binary file to one byte
// past its mode's limit, a HEX text to one byte past kHexFileMaxBytes. A pipe cannot be read
// twice, and a huge file costs no more than that. Returns the file's kind.
int ReadOnce(const std::string& path, int mode, std::string& bytes) {
  FileBytesReader file(path);
  FileReadResult read = file.ReadUpTo(BinLimitBytes(mode), bytes);
  if (read == FileCannotOpen) return FileKindCannotOpen;
  const int kind = ClassifyBytes(bytes);
  if (kind == FileKindHex && read == FileTooLarge) read = file.ReadUpTo(kHexFileMaxBytes, bytes);
  return read == FileCannotOpen ? FileKindCannotOpen : kind;
}

std::string LineText(const std::string& path, std::size_t line) {
  return path + ": line " + std::to_string(line) + ": ";
}

std::string RecordCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " record" : " records") + " in all";
}

// LoadHexText with its findings told: errors load nothing, warnings keep the data.
LoadedFile LoadHex(Window owner, const std::string& path, std::string_view text, int mode) {
  if (text.size() > kHexFileMaxBytes) {
    TellLoad(owner, path + " > " + std::to_string(kHexFileMaxBytes) + " bytes ...", MessageError);
    return {};
  }
  const HexLoadResult hex = LoadHexText(text, mode);
  std::string error;
  switch (hex.error) {
    case HexOk: break;
    case HexBadRecord: error = LineText(path, hex.line) + "not a valid HEX record"; break;
    case HexNoData: error = path + " holds no data"; break;
    case HexBeyondChip: {
      char address[16];
      std::snprintf(address, sizeof address, "0x%05X", static_cast<unsigned>(hex.address));
      error = LineText(path, hex.line) + "address " + address + " lies beyond the chip's 128 KiB";
      break;
    }
    case HexSecondBase:
      error = LineText(path, hex.line) + "a second address base; a file for one bank takes one";
      break;
    case HexNoEnd: error = path + " has no end record: is it cut short?"; break;
    case HexZeroByte: error = LineText(path, hex.line) + "a zero byte before the end record"; break;
  }
  if (!error.empty()) {
    TellLoad(owner, error, MessageError);
    return {};
  }
  if (hex.bad_checksums != 0) {
    TellLoad(owner, LineText(path, hex.bad_checksum_line) + "wrong record checksum (" +
                        RecordCount(hex.bad_checksums) + ")",
             MessageWarning);
  }
  if (hex.overlaps != 0) {
    TellLoad(owner, LineText(path, hex.overlap_line) + "overwrites data of an earlier record (" +
                        RecordCount(hex.overlaps) + ")",
             MessageWarning);
  }
  return {hex.size, mode == PlaceBothBanks && hex.extended, {hex.bank_bytes[0], hex.bank_bytes[1]}};
}

// Sets the bank sizes for what was loaded: 1, or 0 when nothing was.
int PlaceSize(const LoadedFile& loaded, int mode) {
  const std::uint32_t n = loaded.size;
  if (n == 0) return 0;
  // With a fill other than 0xFF every touched bank is burned whole, writing the fill too.
  const bool sparse = FillByte == 255;
  if (loaded.linear) {
    // Its addresses say which bank each byte belongs to: nothing moves, and a bank no data
    // reaches keeps its flash.
    Bank0Size = loaded.bank_bytes[0] == 0 ? 0 : sparse ? loaded.bank_bytes[0] : kBankSizeBytes;
    Bank1Size = loaded.bank_bytes[1] == 0 ? 0 : sparse ? loaded.bank_bytes[1] : kBankSizeBytes;
  } else if (mode == PlaceBothBanks) {
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

LoadedFile LoadBytes(Window owner, int kind, const std::string& path, std::string_view bytes, int mode) {
  if (kind == FileKindHex) return LoadHex(owner, path, bytes, mode);
  if (kind == FileKindBinary) return {LoadBinBytes(owner, path, bytes, mode)};
  if (kind == FileKindCannotOpen) TellLoad(owner, path + " open error", MessageError);
  if (kind == FileKindEmpty) TellLoad(owner, path + " is an empty file", MessageError);
  if (kind == FileKindText) TellLoad(owner, NotHexText(path, bytes), MessageError);
  return {};
}

int PlaceFile(Window owner, const std::string& path, int mode) {
  std::string bytes;
  const int kind = ReadOnce(path, mode, bytes);
  return PlaceSize(LoadBytes(owner, kind, path, bytes, mode), mode);
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

LoadReport OpenOneFile(Window owner, int mode) {
  LoadAttempt attempt;
  ResetImage();
  FileState = PlaceFile(owner, FileName1, mode) == 1 ? 1 : 0;
  RefreshAfterLoad(owner);
  return attempt.Finish({FileName1});
}

LoadReport OpenSingleFile(Window owner) { return OpenOneFile(owner, PlaceBank0); }

LoadReport OpenFileOverBothBanks(Window owner) { return OpenOneFile(owner, PlaceBothBanks); }

LoadReport OpenFilesOnePerBank(Window owner) {
  LoadAttempt attempt;
  ResetImage();
  FileState = 0;
  if (PlaceFile(owner, FileName1, PlaceBank0) == 1) {
    FileState = PlaceFile(owner, FileName2, PlaceBank1) == 1 ? 2 : 0;
  }
  RefreshAfterLoad(owner);
  return attempt.Finish({FileName1, FileName2});
}
