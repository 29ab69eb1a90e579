#pragma once
// Opening one or two files into the banks of an image. The front ends choose the files and
// the fill value, then call one open sequence; the report says what to show.
#include <string>
#include <string_view>
#include <vector>

#include "image/bank_image.h"
#include "image/load_report.h"

enum PlacementMode : int {
  PlaceBank0 = 0,      // one file into bank 0
  PlaceBank1 = 1,      // the second file into bank 1
  PlaceBothBanks = 2,  // one file over both banks
};

// What a load put into the image.
struct LoadedFile {
  unsigned size = 0;  // whole pages from the target's start; 0 when nothing was loaded
  // Over both banks, a HEX file with extended addresses: its data lies where they say, and
  // bank_bytes holds each bank's share in whole pages (0 for a bank no data reaches).
  bool linear = false;
  unsigned bank_bytes[2] = {0, 0};
};

// Loads a file's bytes of the given kind (from ClassifyBytes, or FileKindCannotOpen) into
// the image for the mode; path only names the file in the messages, appended to messages.
// - Binary: LoadBinBytes, with its "<path> > <limit> bytes ..." error.
// - HEX: LoadHexText. Errors (nothing loaded): "<path>: line N: not a valid HEX record",
//   "<path>: line N: a zero byte before the end record", "<path> has no end record: is it
//   cut short?", "<path> holds no data", "<path>: line N: address 0xNNNNN lies beyond the
//   chip's 128 KiB", "<path>: line N: a second address base; a file for one bank takes one",
//   and for a text over kHexFileMaxBytes "<path> > 16777216 bytes ...". Warnings (the data is
//   loaded): "<path>: line N: wrong record checksum (K records in all)", "<path>: line N:
//   overwrites data of an earlier record (K records in all)".
// - Text that is not HEX: NotHexText's refusal.
// - Cannot open: "<path> open error"; empty: "<path> is an empty file".
LoadedFile LoadBytes(BankImage& image, int kind, const std::string& path, std::string_view bytes, int mode,
                     std::vector<LoadMessage>& messages);

// Reads the file once through one handle (so a pipe or FIFO works; at most one byte past
// what its kind allows is read), then LoadBytes and sets the bank sizes for the mode and the
// image's fill. A file over both banks that fits one moves to bank 1, unless it is linear.
// 1 when placed, 0 otherwise (the bank sizes are then untouched).
int PlaceFile(BankImage& image, const std::string& path, int mode, std::vector<LoadMessage>& messages);

// PlaceFile over bytes already in memory.
int PlaceBytes(BankImage& image, const std::string& path, std::string_view bytes, int mode,
               std::vector<LoadMessage>& messages);

// The open sequences: ResetImage, placement, file state, FinishLoad. Each message goes to tell
// (if any) as it arises, and into the report. One file for the placement mode: the RM5164's
// open (bank 0), the RM5168's "Open File 1" (both banks), and the command line's --bank.
LoadReport OpenOneFile(BankImage& image, const std::string& path, int mode, const MessageSink& tell = {});

// The RM5168's "Open File 1 && 2": the first file into bank 0, the second into bank 1.
LoadReport OpenFilesOnePerBank(BankImage& image, const std::string& path0, const std::string& path1,
                               const MessageSink& tell = {});
