#include <windows.h>

#include <cstdint>
#include <string>

#include "cli/reset_hook.h"

namespace {

constexpr DWORD kPollIntervalMs = 5;

// Closes a handle when it goes; a null or invalid one is left alone.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::string LastErrorText(const char* what) {
  return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

// An inheritable copy of one of our standard handles, or null when there is none.
HANDLE InheritableCopy(DWORD which) {
  const HANDLE own = GetStdHandle(which);
  HANDLE copy = nullptr;
  if (own == nullptr || own == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

std::string RunShellCommand(const std::string& command, double timeout_seconds, const StopToken& stop,
                            const CommandOutputSink&) {
  // A job holds the shell and everything it starts, so that a stop or the time-out ends them
  // all; the process is created suspended so that nothing runs before it is in the job.
  const OwnedHandle job(CreateJobObjectA(nullptr, nullptr));

  // Its output goes to standard error: standard output carries the burn (JSON with --json).
  const OwnedHandle input(InheritableCopy(STD_INPUT_HANDLE));
  const OwnedHandle error_out(InheritableCopy(STD_ERROR_HANDLE));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = error_out.get();
  startup.hStdError = error_out.get();
  std::string line = "cmd.exe /d /s /c \"" + command + "\"";
  PROCESS_INFORMATION process{};
  // A group of its own: the console's Ctrl-C reaches us, and we end the command.
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                      &process)) {
    return "could not be started: " + LastErrorText("CreateProcess failed");
  }
  const OwnedHandle process_handle(process.hProcess);
  const OwnedHandle thread_handle(process.hThread);
  // Where jobs are not offered (older Wine), the shell alone is ended.
  const bool in_job = AssignProcessToJobObject(job.get(), process.hProcess) != FALSE;
  ResumeThread(process.hThread);
  const auto end_all = [&] {
    if (in_job) {
      TerminateJobObject(job.get(), 1);
    } else {
      TerminateProcess(process.hProcess, 1);
    }
    // The result is not needed: the process ends either way, and nothing is read after it.
    WaitForSingleObject(process.hProcess, kPollIntervalMs * 100);
  };

  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_seconds * 1000.0);
  for (;;) {
    const DWORD waited = WaitForSingleObject(process.hProcess, kPollIntervalMs);
    if (waited == WAIT_OBJECT_0) break;
    if (waited == WAIT_FAILED) {
      const std::string why = LastErrorText("could not be waited for");
      end_all();
      return why;
    }
    if (stop.Requested()) {
      end_all();
      return "was stopped";
    }
    if (GetTickCount64() >= deadline) {
      end_all();
      return TimedOutText(timeout_seconds);
    }
  }
  DWORD status = 0;
  if (!GetExitCodeProcess(process.hProcess, &status)) return LastErrorText("exit status unknown");
  return status == 0 ? "" : "exited with status " + std::to_string(status);
}
