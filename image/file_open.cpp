#include "image/file_open.h"

#include <cstdio>
#include <cstring>

#include "image/bin_reader.h"
#include "image/classify_file.h"
#include "image/file_bytes.h"
#include "image/hex_reader.h"

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
LoadedFile LoadHex(BankImage& image, const std::string& path, std::string_view text, int mode,
                   std::vector<LoadMessage>& messages) {
  if (text.size() > kHexFileMaxBytes) {
    messages.push_back({LoadError, path + " > " + std::to_string(kHexFileMaxBytes) + " bytes ..."});
    return {};
  }
  const HexLoadResult hex = LoadHexText(image, text, mode);
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
    messages.push_back({LoadError, error});
    return {};
  }
  if (hex.bad_checksums != 0) {
    messages.push_back({LoadWarning, LineText(path, hex.bad_checksum_line) + "wrong record checksum (" +
                                         RecordCount(hex.bad_checksums) + ")"});
  }
  if (hex.overlaps != 0) {
    messages.push_back({LoadWarning, LineText(path, hex.overlap_line) + "overwrites data of an earlier record (" +
                                         RecordCount(hex.overlaps) + ")"});
  }
  return {hex.size, mode == PlaceBothBanks && hex.extended, {hex.bank_bytes[0], hex.bank_bytes[1]}};
}

// Sets the bank sizes for what was loaded: 1, or 0 when nothing was.
int PlaceSize(BankImage& image, const LoadedFile& loaded, int mode) {
  const std::uint32_t n = loaded.size;
  if (n == 0) return 0;
  std::uint32_t* const size = image.bank_bytes;
  std::uint8_t* const bytes = image.bytes.data();
  // With a fill other than 0xFF every touched bank is burned whole, writing the fill too.
  const bool sparse = image.fill == 255;
  if (loaded.linear) {
    // Its addresses say which bank each byte belongs to: nothing moves, and a bank no data
    // reaches keeps its flash.
    size[0] = loaded.bank_bytes[0] == 0 ? 0 : sparse ? loaded.bank_bytes[0] : kBankSizeBytes;
    size[1] = loaded.bank_bytes[1] == 0 ? 0 : sparse ? loaded.bank_bytes[1] : kBankSizeBytes;
  } else if (mode == PlaceBothBanks) {
    if (n > kBankSizeBytes) {
      size[0] = kBankSizeBytes;
      size[1] = sparse ? n - kBankSizeBytes : kBankSizeBytes;
    } else {
      // A file that fits one bank goes to bank 1 of the RM5168.
      std::memmove(bytes + kBankSizeBytes, bytes, n);
      std::memset(bytes, image.fill & 0xFF, kBankSizeBytes);
      size[1] = sparse ? n : kBankSizeBytes;
      size[0] = sparse ? 0 : kBankSizeBytes;
    }
  } else if (mode == PlaceBank1) {
    size[1] = sparse ? n : kBankSizeBytes;
  } else {
    size[0] = sparse ? n : kBankSizeBytes;
  }
  return 1;
}

// Tells the messages an attempt raised since the last call.
class Teller {
 public:
  Teller(const LoadReport& report, const MessageSink& tell) : report_(report), tell_(tell) {}
  void TellNew() {
    for (; told_ < report_.messages.size(); ++told_) {
      if (tell_) tell_(report_.messages[told_]);
    }
  }

 private:
  const LoadReport& report_;
  const MessageSink& tell_;
  std::size_t told_ = 0;
};

}  // namespace

LoadedFile LoadBytes(BankImage& image, int kind, const std::string& path, std::string_view bytes, int mode,
                     std::vector<LoadMessage>& messages) {
  if (kind == FileKindHex) return LoadHex(image, path, bytes, mode, messages);
  if (kind == FileKindBinary) return {LoadBinBytes(image, path, bytes, mode, messages)};
  if (kind == FileKindCannotOpen) messages.push_back({LoadError, path + " open error"});
  if (kind == FileKindEmpty) messages.push_back({LoadError, path + " is an empty file"});
  if (kind == FileKindText) messages.push_back({LoadError, NotHexText(path, bytes)});
  return {};
}

int PlaceFile(BankImage& image, const std::string& path, int mode, std::vector<LoadMessage>& messages) {
  std::string bytes;
  const int kind = ReadOnce(path, mode, bytes);
  return PlaceSize(image, LoadBytes(image, kind, path, bytes, mode, messages), mode);
}

int PlaceBytes(BankImage& image, const std::string& path, std::string_view bytes, int mode,
               std::vector<LoadMessage>& messages) {
  return PlaceSize(image, LoadBytes(image, ClassifyBytes(bytes), path, bytes, mode, messages), mode);
}

LoadReport OpenOneFile(BankImage& image, const std::string& path, int mode, const MessageSink& tell) {
  LoadReport report;
  report.files = {path};
  Teller teller(report, tell);
  ResetImage(image);
  image.file_state = PlaceFile(image, path, mode, report.messages) == 1 ? 1 : 0;
  teller.TellNew();
  FinishLoad(image, report);
  teller.TellNew();
  return report;
}

LoadReport OpenFilesOnePerBank(BankImage& image, const std::string& path0, const std::string& path1,
                               const MessageSink& tell) {
  LoadReport report;
  report.files = {path0, path1};
  Teller teller(report, tell);
  ResetImage(image);
  image.file_state = 0;
  if (PlaceFile(image, path0, PlaceBank0, report.messages) == 1) {
    teller.TellNew();  // before the second file is read, as it would be shown
    image.file_state = PlaceFile(image, path1, PlaceBank1, report.messages) == 1 ? 2 : 0;
  }
  teller.TellNew();
  FinishLoad(image, report);
  teller.TellNew();
  return report;
}
