#include "cli/console_input.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

struct ConsoleInput::Saved {
  termios settings{};
};

ConsoleInput::ConsoleInput() {
  termios settings{};
  if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &settings) != 0) return;
  saved_ = std::make_unique<Saved>(Saved{settings});
  // Raw input only: output processing stays, so a board's bare "\n" still starts a line.
  settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK);
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  terminal_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &settings) == 0;
}

ConsoleInput::~ConsoleInput() {
  if (saved_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_->settings);
}

int ConsoleInput::Read(char* buffer, int size) {
  if (ended_) return -1;
  pollfd ready{STDIN_FILENO, POLLIN, 0};
  const int polled = ::poll(&ready, 1, 0);
  if (polled == 0 || (polled < 0 && errno == EINTR)) return 0;
  if (polled > 0 && (ready.revents & (POLLIN | POLLHUP)) != 0) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, static_cast<std::size_t>(size));
    if (got > 0) return static_cast<int>(got);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  }
  ended_ = true;
  return -1;
}
