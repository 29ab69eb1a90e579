#include <windows.h>

#include "cli/append_line.h"

bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
  // FILE_APPEND_DATA alone: every write lands whole at the end, whoever else appends.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot open " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const std::string text = line.empty() ? line : line + "\n";
  DWORD written = 0;
  const BOOL ok = text.empty() ||
                  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  const DWORD write_error = GetLastError();
  CloseHandle(file);  // a close failure after a complete write loses nothing
  if (!ok || written != text.size()) {
    error = "cannot append to " + path + " (error " + std::to_string(write_error) + ")";
    return false;
  }
  return true;
}
