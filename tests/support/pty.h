#pragma once
// A pseudo-terminal pair: the code under test opens the slave by its path, the test plays the
// device on the master (and with keep_slave holds the slave too, to see its settings).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Pty {
 public:
  explicit Pty(bool keep_slave = false);
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& path() const { return path_; }
  int slave() const { return slave_; }

  void Send(std::string_view bytes);
  void Send(const std::vector<std::uint8_t>& bytes);
  // Everything the slave's side sent until wait_ms passed without a byte.
  std::vector<std::uint8_t> Received(int wait_ms = 200);
  // What the slave's side sent once count bytes came, or after 20 s.
  std::string Receive(std::size_t count);
  // The device goes away under the port, as an unplugged adapter does.
  void HangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};
