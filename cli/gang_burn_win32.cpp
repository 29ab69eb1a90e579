#include "cli/gang_burn.h"

// A gang on Windows would need CreateProcess and overlapped pipes; until then several ports
// are refused there before anything starts.
bool GangSupported() { return false; }

std::vector<int> RunSelfChildren(const std::vector<std::vector<std::string>>&, const ChildLineSink&,
                                 int* stop_signal, std::string& error) {
  *stop_signal = 0;
  error = "--port may be given once on Windows";
  return {};
}
