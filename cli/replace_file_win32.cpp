#include <windows.h>

#include <algorithm>

#include "cli/replace_file.h"

namespace {

bool Fail(const std::string& path, const std::string& why, std::string& error) {
  error = "cannot write " + path + ": " + why;
  return false;
}

std::string ErrorText(DWORD code) { return "error " + std::to_string(code); }

// The folder a temporary for path goes into.
std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

// An open handle on an existing path without access to its data, for its type and identity.
HANDLE OpenForQuery(const std::string& path) {
  // FILE_FLAG_BACKUP_SEMANTICS opens a folder too.
  return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// "" when path is missing or a file on a disk; otherwise why it cannot be replaced.
std::string TargetProblem(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return "it is a folder";
  }
  HANDLE file = OpenForQuery(path);
  if (file == INVALID_HANDLE_VALUE) return "";  // missing, or the write will say why
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  return type == FILE_TYPE_DISK ? "" : "not a regular file";
}

// Creates an empty temporary in path's folder; "" with its name in temp, else why not.
std::string CreateTemporary(const std::string& path, std::string& temp) {
  char name[MAX_PATH];
  if (GetTempFileNameA(Folder(path).c_str(), "rm", 0, name) == 0) return ErrorText(GetLastError());
  temp = name;
  return "";
}

// "" when every byte went into the file at temp and reached the disk.
std::string WriteAll(const std::string& temp, const std::string& bytes) {
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
  std::string why;
  std::size_t done = 0;
  while (why.empty() && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      why = ErrorText(GetLastError());
    } else if (written == 0) {
      why = "the disk took no more";
    }
    done += written;
  }
  if (why.empty() && !FlushFileBuffers(file)) why = ErrorText(GetLastError());
  if (!CloseHandle(file) && why.empty()) why = ErrorText(GetLastError());
  return why;
}

}  // namespace

bool CheckReplaceable(const std::string& path, std::string& error) {
  if (const std::string problem = TargetProblem(path); !problem.empty()) return Fail(path, problem, error);
  std::string temp;
  if (const std::string why = CreateTemporary(path, temp); !why.empty()) return Fail(path, why, error);
  DeleteFileA(temp.c_str());  // an empty leftover would harm nothing
  return true;
}

bool ReplaceWhole(const std::string& path, const std::string& bytes, std::string& error) {
  if (const std::string problem = TargetProblem(path); !problem.empty()) return Fail(path, problem, error);
  std::string temp;
  std::string why = CreateTemporary(path, temp);
  if (!why.empty()) return Fail(path, why, error);
  why = WriteAll(temp, bytes);
  if (why.empty() &&
      !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    why = ErrorText(GetLastError());
  }
  if (!why.empty()) {
    DeleteFileA(temp.c_str());
    return Fail(path, why, error);
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (lstrcmpiA(a.c_str(), b.c_str()) == 0) return true;
  HANDLE first = OpenForQuery(a);
  if (first == INVALID_HANDLE_VALUE) return false;
  HANDLE second = OpenForQuery(b);
  BY_HANDLE_FILE_INFORMATION one{};
  BY_HANDLE_FILE_INFORMATION two{};
  const bool same = second != INVALID_HANDLE_VALUE && GetFileInformationByHandle(first, &one) &&
                    GetFileInformationByHandle(second, &two) &&
                    one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
                    one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
  CloseHandle(first);
  if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
  return same;
}
