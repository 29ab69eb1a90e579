#pragma once
// Opening one or two files into the banks. The GUI's dialogs and the command line share
// these: they choose the files and the fill value, then call one open sequence.
#include <string>
#include <string_view>

#include "shell/shell.h"

enum PlacementMode : int {
  PlaceBank0 = 0,      // one file into bank 0
  PlaceBank1 = 1,      // the second file into bank 1
  PlaceBothBanks = 2,  // one file over both banks
};

// Classifies and reads one file for the mode, reporting failures in boxes owned by owner.
// Returns the size in bytes (a multiple of PageSize) or 0.
unsigned LoadFile(Window owner, int kind, const std::string& path, int mode);

// LoadFile, then sets the bank sizes for the mode and FillByte. 1 when placed, 0 otherwise.
int PlaceFile(Window owner, const std::string& path, int mode);

// LoadFile and PlaceFile over a file's bytes already in memory (the kind then comes from
// ClassifyBytes); path only names the file in the messages.
unsigned LoadBytes(Window owner, int kind, const std::string& path, std::string_view bytes, int mode);
int PlaceBytes(Window owner, const std::string& path, std::string_view bytes, int mode);

// The characters after the last backslash.
std::string BaseFileName(const std::string& path);

// Display text of a path in the Select File dialog.
std::string ShortenPath(const std::string& path);

// RM5164 direct open of FileName1 (mode 0): ResetImage, placement, FileState, RefreshAfterLoad.
void OpenSingleFile(Window owner);

// RM5168 "Open File 1": FileName1 over both banks (mode 2). Returns FileState != 0.
bool OpenFileOverBothBanks(Window owner);

// RM5168 "Open File 1 && 2": FileName1 into bank 0, FileName2 into bank 1. Returns FileState != 0.
bool OpenFilesOnePerBank(Window owner);
