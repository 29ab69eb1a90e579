#include "cli/console_input.h"

#include <windows.h>

struct ConsoleInput::Saved {
  DWORD mode = 0;
};

namespace {

HANDLE Input() { return GetStdHandle(STD_INPUT_HANDLE); }

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
  DWORD available = 0;
  if (GetFileType(input) == FILE_TYPE_PIPE) {
    if (!PeekNamedPipe(input, NULL, 0, NULL, &available, NULL)) {
      ended_ = true;  // the writer went away
      return -1;
    }
    if (available == 0) return 0;
  }
  DWORD read = 0;
  const DWORD wanted = available > 0 && available < static_cast<DWORD>(size) ? available : static_cast<DWORD>(size);
  if (!ReadFile(input, buffer, wanted, &read, NULL) || read == 0) {
    ended_ = true;
    return -1;
  }
  return static_cast<int>(read);
}
