#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "cli/gang_burn.h"
#include "cli/stop_signals.h"

namespace {

// Ctrl-C reaches every process of the console, so the children stop by themselves; the
// parent only remembers it for its own exit status.
std::atomic<int> gang_signal{0};

extern "C" void OnGangSignal(int signal_number) {
  int none = 0;
  gang_signal.compare_exchange_strong(none, signal_number);
}

// One argument written so that the child's C runtime reads it back unchanged.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out(1, '"');
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

// What the readers hand to the calling thread: a line, or closed when a child's output ended.
struct ChildOutput {
  std::size_t child;
  std::string line;
  bool closed;
};

class OutputQueue {
 public:
  void Push(ChildOutput output) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(output));
    }
    ready_.notify_one();
  }

  ChildOutput Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !queue_.empty(); });
    ChildOutput output = std::move(queue_.front());
    queue_.pop_front();
    return output;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<ChildOutput> queue_;
};

// Anonymous pipes have no overlapped reads: one blocking reader per child.
void ReadLines(HANDLE pipe, std::size_t child, OutputQueue& queue) {
  std::string pending;
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    pending.append(buffer, count);
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      queue.Push({child, std::move(line), false});
      pending.erase(0, end + 1);
    }
  }
  if (!pending.empty()) queue.Push({child, pending, false});
  CloseHandle(pipe);
  queue.Push({child, "", true});
}

std::string LastError(const std::string& what) {
  return what + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

std::vector<int> RunSelfChildren(const std::vector<std::vector<std::string>>& args,
                                 const ChildLineSink& on_line, int* stop_signal, std::string& error) {
  *stop_signal = 0;
  char self[4 * MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length == sizeof self) {
    error = LastError("cannot find this program's file");
    return {};
  }
  CatchStopSignals(OnGangSignal);
  // Every line a child writes to standard error is also one of its JSON events, which the
  // parent shows with the port; unprefixed, they would also tear a console's redrawn lines.
  SECURITY_ATTRIBUTES inherit_null = {sizeof inherit_null, nullptr, TRUE};
  HANDLE null_device = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit_null, OPEN_EXISTING, 0, nullptr);
  OutputQueue queue;
  std::vector<HANDLE> processes;
  std::vector<std::thread> readers;
  for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
      error = LastError("cannot make a pipe");
      break;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = null_device;
    std::string command = Quoted(self);
    for (const std::string& arg : args[i]) {
      command += ' ';
      command += Quoted(arg);
    }
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessA(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    // Closed at once, so that a later child does not inherit it and the reader sees the end.
    CloseHandle(write_end);
    if (!started) {
      error = LastError(std::string("cannot start ") + self);
      CloseHandle(read_end);
      break;
    }
    CloseHandle(process.hThread);
    processes.push_back(process.hProcess);
    readers.emplace_back(ReadLines, read_end, i, std::ref(queue));
  }
  if (!error.empty()) {
    // Nothing burns half a gang: the ones already started end here.
    for (HANDLE process : processes) TerminateProcess(process, 1);
  }

  for (std::size_t open = readers.size(); open > 0;) {
    ChildOutput output = queue.Pop();
    if (output.closed) {
      --open;
    } else if (error.empty()) {
      on_line(output.child, output.line);
    }
  }
  for (std::thread& reader : readers) reader.join();
  if (null_device != INVALID_HANDLE_VALUE) CloseHandle(null_device);
  std::vector<int> statuses;
  for (HANDLE process : processes) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    statuses.push_back(static_cast<int>(code));
    CloseHandle(process);
  }
  *stop_signal = gang_signal.load();
  if (!error.empty()) return {};
  return statuses;
}
