#include "tests/support/pty.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tests/support/child_process.h"

Pty::Pty(bool keep_slave) {
  char name[64] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty: " << std::strerror(errno);
    return;
  }
  path_ = name;
  ::fcntl(master_, F_SETFL, O_NONBLOCK);  // reads wait in poll, bounded
  // Not inherited by a program under test, which would otherwise hold its own device's other end.
  for (const int fd : {master_, slave_}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  if (!keep_slave) ::close(std::exchange(slave_, -1));
}

Pty::~Pty() {
  HangUp();
  if (slave_ >= 0) ::close(slave_);
}

void Pty::Send(std::string_view bytes) {
  ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void Pty::Send(const std::vector<std::uint8_t>& bytes) {
  Send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<std::uint8_t> Pty::Received(int wait_ms) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[4096];
  pollfd p{master_, POLLIN, 0};
  while (::poll(&p, 1, wait_ms) > 0 && (p.revents & POLLIN)) {
    const ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

std::string Pty::Receive(std::size_t count) {
  std::string got;
  char c;
  WaitUntil(
      [&] {
        while (got.size() < count && ::read(master_, &c, 1) == 1) got += c;
        return got.size() == count;
      },
      20000);
  return got;
}

void Pty::HangUp() {
  if (master_ >= 0) ::close(std::exchange(master_, -1));
}
