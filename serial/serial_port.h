#pragma once
// One serial device held open: 8N1, no flow control, DTR and RTS inactive. Reads and writes
// block on the request (no busy wait) under the time-outs set by SetTimeouts. A process may
// hold many; each owns its device, its time-outs and its lost flag, and closes the device
// when it goes. The platform's half (serial_port_posix.cpp, serial_port_win32.cpp) lives
// behind PortBackend.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// The modem control lines a board may wire to the chip's reset or power switch.
enum class ModemLine { kDtr, kRts };

// Time-outs in force before the first SetTimeouts, in milliseconds.
inline constexpr std::uint32_t kDefaultPortTimeoutMs = 100;

// What a platform gives a SerialPort. Internal to serial/ and its tests.
class PortBackend;

class SerialPort {
 public:
  // The platform's backend.
  SerialPort();
  // A given backend (tests inject failing system calls through one).
  explicit SerialPort(std::unique_ptr<PortBackend> backend);
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Closes any device held, then opens device exclusively (a path on POSIX, a name such as
  // COM3 on Windows) at rate bit/s with the time-outs in force, and clears Lost. False with
  // LastError set ("cannot open <device>: <why>").
  bool Open(const std::string& device, std::uint32_t rate);
  // Gives the device back the settings it had before Open, then closes it. Idempotent.
  void Close();
  bool IsOpen() const;
  // The device of the last Open ("" before one). Not for other threads than Open's.
  const std::string& Device() const { return device_; }
  // Why the last Open failed ("" after a success). Not for other threads than Open's.
  const std::string& LastError() const { return last_error_; }

  // 8N1 at rate bit/s on the open device, and at the next Open. False when the open device's
  // driver refused the rate (any rate it takes may be asked, not only the burn rates).
  bool SetRate(std::uint32_t rate);
  std::uint32_t Rate() const { return rate_.load(); }

  // Total read and write time-outs in milliseconds (no gap time-out), kept for the next Open.
  void SetTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms);
  std::uint32_t ReadTimeoutMs() const { return read_timeout_ms_.load(); }
  std::uint32_t WriteTimeoutMs() const { return write_timeout_ms_.load(); }

  // Waits until count bytes arrived or the read time-out since the call ran out. Returns the
  // number of bytes placed in buffer (short = timed out). Without a device it waits out the
  // time-out and returns 0; once Lost it returns what arrived before the loss, at once.
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count);

  // Sends count bytes, waiting at most the write time-out; output a timed-out write left
  // behind is discarded first. Without a device it waits out the time-out; once Lost it
  // returns at once.
  void Write(const std::uint8_t* buffer, std::uint32_t count);

  // Waits at most the read time-out for the first byte, then returns it with what else has
  // arrived (up to count): a terminal shows bytes as they come, not after a time-out.
  std::uint32_t ReadSome(std::uint8_t* buffer, std::uint32_t count);

  // Discards whatever the receive queue holds.
  void PurgeReceive();

  // Drives line to its active level for at least pulse_ms, then back to its resting level,
  // where it stays. active_low: the board treats the line as active when it is cleared, so the
  // pulse clears it and the rest asserts it. False at once when no device is open or it
  // refuses the line (a pseudo-terminal has none); the line is then left as it was.
  bool PulseModemLine(ModemLine line, bool active_low, std::uint32_t pulse_ms);

  // True once a read or write found the device gone (unplugged, hung up): nothing more will
  // pass. Cleared by Open. Safe from any thread.
  bool Lost() const { return lost_.load(); }

  // The platform's half, for the platform's own helpers and tests.
  const PortBackend& Backend() const { return *backend_; }

 private:
  std::unique_ptr<PortBackend> backend_;
  // Held around every use of the device that can overlap a Close from another thread.
  mutable std::mutex io_mutex_;
  std::string device_;
  std::string last_error_;
  std::atomic<std::uint32_t> rate_{9600};
  std::atomic<std::uint32_t> read_timeout_ms_{kDefaultPortTimeoutMs};
  std::atomic<std::uint32_t> write_timeout_ms_{kDefaultPortTimeoutMs};
  std::atomic<bool> lost_{false};
};
