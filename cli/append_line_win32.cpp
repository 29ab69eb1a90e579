#include <windows.h>

#include "cli/append_line.h"

namespace {

// Cuts the file back to length bytes, through a handle of its own: the appending one may
// only add at the end.
bool CutBack(const std::string& path, LONGLONG length) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = length;
  const bool ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

}  // namespace

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
  LARGE_INTEGER size{};
  const bool torn = written > 0 && written < text.size() && GetFileSizeEx(file, &size);
  CloseHandle(file);  // a close failure after a complete write loses nothing
  // A torn line would glue the next one to it: take it back.
  const bool cut = torn && CutBack(path, size.QuadPart - written);
  if (!ok || written != text.size()) {
    error = "cannot append to " + path +
            (ok ? ": only " + std::to_string(written) + " of " + std::to_string(text.size()) + " bytes fit"
                : " (error " + std::to_string(write_error) + ")");
    if (written > 0) error += cut ? ", taken back" : ", a torn line left at its end";
    return false;
  }
  return true;
}
