// The platform-neutral half of a port: the open sequence, the time-outs, the lost flag and
// the lock that keeps a Close from under a request.
#include "serial/serial_port.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "serial/port_backend.h"

namespace {

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

SerialPort::SerialPort() : SerialPort(MakePlatformBackend()) {}

SerialPort::SerialPort(std::unique_ptr<PortBackend> backend) : backend_(std::move(backend)) {}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const std::string& device, std::uint32_t rate) {
  std::lock_guard lock(io_mutex_);
  backend_->Close();
  lost_.store(false);
  device_ = device;
  rate_.store(rate);
  std::string error;
  if (!backend_->Open(device, &error)) {
    last_error_ = error;
    return false;
  }
  last_error_.clear();
  backend_->ApplyLineSettings(rate);
  // The device must never run on the driver's own time-outs, which may never end a read.
  backend_->ApplyTimeouts(read_timeout_ms_.load(), write_timeout_ms_.load());
  return true;
}

void SerialPort::Close() {
  std::lock_guard lock(io_mutex_);
  backend_->Close();
}

bool SerialPort::IsOpen() const { return backend_->IsOpen(); }

bool SerialPort::SetRate(std::uint32_t rate) {
  rate_.store(rate);
  return backend_->ApplyLineSettings(rate);
}

void SerialPort::SetTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms) {
  read_timeout_ms_.store(read_timeout_ms);
  write_timeout_ms_.store(write_timeout_ms);
  std::lock_guard lock(io_mutex_);
  if (backend_->IsOpen()) backend_->ApplyTimeouts(read_timeout_ms, write_timeout_ms);
}

std::uint32_t SerialPort::Read(std::uint8_t* buffer, std::uint32_t count) {
  if (lost_.load()) return 0;
  const std::uint32_t timeout_ms = read_timeout_ms_.load();
  std::unique_lock lock(io_mutex_);
  if (!backend_->IsOpen()) {
    // Without a device the caller's loop would spin; make it wait like a silent line.
    lock.unlock();
    SleepMs(timeout_ms);
    return 0;
  }
  bool gone = false;
  const std::uint32_t got = backend_->Read(buffer, count, timeout_ms, &gone);
  if (gone) lost_.store(true);
  return got;
}

std::uint32_t SerialPort::ReadSome(std::uint8_t* buffer, std::uint32_t count) {
  if (count == 0) return 0;
  const std::uint32_t got = Read(buffer, 1);
  if (got == 0 || count == 1) return got;
  std::uint32_t more = 0;
  {
    std::lock_guard lock(io_mutex_);
    if (backend_->IsOpen()) more = std::min(backend_->Queued(), count - 1);
  }
  // What is queued has arrived: this read ends without waiting.
  return more == 0 ? got : got + Read(buffer + 1, more);
}

void SerialPort::Write(const std::uint8_t* buffer, std::uint32_t count) {
  if (lost_.load()) return;
  const std::uint32_t timeout_ms = write_timeout_ms_.load();
  std::unique_lock lock(io_mutex_);
  if (!backend_->IsOpen()) {
    lock.unlock();
    SleepMs(timeout_ms);
    return;
  }
  bool gone = false;
  backend_->Write(buffer, count, timeout_ms, &gone);
  if (gone) lost_.store(true);
}

void SerialPort::PurgeReceive() { backend_->PurgeReceive(); }

bool SerialPort::PulseModemLine(ModemLine line, bool active_low, std::uint32_t pulse_ms) {
  std::lock_guard lock(io_mutex_);
  if (!backend_->IsOpen() || !backend_->SetModemLine(line, !active_low)) return false;
  SleepMs(pulse_ms);
  return backend_->SetModemLine(line, active_low);
}
