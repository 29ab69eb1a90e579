#include "cli/console_input.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>

struct ConsoleInput::Saved {
  DWORD mode = 0;
};

namespace {

HANDLE Input() { return GetStdHandle(STD_INPUT_HANDLE); }

// Standard input that is not a console (a pipe, a file) is read on a thread of its own: a
// read of a pipe cannot be given a time-out, and PeekNamedPipe does not answer for every
// kind of pipe. One reader serves the process, as there is one standard input; it is never
// destroyed, since its thread may still wait in ReadFile when the process ends.
class InputReader {
 public:
  static InputReader& Get() {
    static InputReader* reader = new InputReader();
    return *reader;
  }

  // What has come since the last call, at most size bytes; -1 once input ended.
  int Take(char* buffer, int size) {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return ended_ ? -1 : 0;
    const std::size_t count = std::min(pending_.size(), static_cast<std::size_t>(size));
    pending_.copy(buffer, count);
    pending_.erase(0, count);
    return static_cast<int>(count);
  }

 private:
  InputReader() {
    std::thread([this] {
      char chunk[256];
      DWORD read = 0;
      while (ReadFile(Input(), chunk, sizeof chunk, &read, NULL) && read > 0) {
        std::lock_guard lock(mutex_);
        pending_.append(chunk, read);
      }
      std::lock_guard lock(mutex_);
      ended_ = true;
    }).detach();
  }

  std::mutex mutex_;
  std::string pending_;
  bool ended_ = false;
};

}  // namespace

ConsoleInput::ConsoleInput() {
  DWORD mode = 0;
  if (!GetConsoleMode(Input(), &mode)) return;
  saved_ = std::make_unique<Saved>(Saved{mode});
  // Keys as typed, no echo, and Ctrl-C as a key for the board rather than a signal.
  terminal_ = SetConsoleMode(Input(), mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                                 ENABLE_PROCESSED_INPUT)) != FALSE;
}

ConsoleInput::~ConsoleInput() {
  if (saved_) SetConsoleMode(Input(), saved_->mode);
}

int ConsoleInput::Read(char* buffer, int size) {
  if (ended_) return -1;
  HANDLE input = Input();
  if (terminal_) {
    // The console's records are keys, but also focus, mouse and size changes: only a key
    // pressed that makes a character counts.
    int got = 0;
    DWORD waiting = 0;
    while (got < size && GetNumberOfConsoleInputEvents(input, &waiting) && waiting > 0) {
      INPUT_RECORD record;
      DWORD read = 0;
      if (!ReadConsoleInputA(input, &record, 1, &read) || read == 0) break;
      const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
      if (record.EventType != KEY_EVENT || !key.bKeyDown || key.uChar.AsciiChar == 0) continue;
      for (WORD i = 0; i < key.wRepeatCount && got < size; ++i) buffer[got++] = key.uChar.AsciiChar;
    }
    return got;
  }
  const int got = InputReader::Get().Take(buffer, size);
  if (got < 0) ended_ = true;
  return got;
}
