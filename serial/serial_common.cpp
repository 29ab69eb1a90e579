// The platform-neutral half of the serial port: tables, the open sequence, the status
// texts and the time-outs. The device itself lives in serial_port_posix.cpp or
// serial_port_win32.cpp behind serial_backend.h.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "serial/serial_backend.h"
#include "serial/serial_port.h"
#include "settings/settings.h"
#include "shell/shell.h"

const char* const ComPortNames[4] = {"COM1", "COM2", "COM3", "COM4"};
const std::uint32_t BaudRateTable[8] = {4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};

std::mutex PortIoMutex;

namespace {

constexpr int kDisconnectedIndex = 4;
constexpr std::uint32_t kFallbackRate = 57600;

std::atomic<int> port_ready{0};
// Set by a backend request on the worker, read by the worker and the front end.
std::atomic<bool> port_lost{false};
// Written by SetPortTimeouts on the worker, read by PortRead/PortWrite on the worker and
// by a reopen on the UI thread.
std::atomic<std::uint32_t> read_timeout_ms{kDefaultPortTimeoutMs};
std::atomic<std::uint32_t> write_timeout_ms{kDefaultPortTimeoutMs};

// UI thread only.
std::string device_override;
std::string last_error;

bool IndexInTable(int index) { return index >= 0 && index < 4; }

std::uint32_t CurrentRate() {
  return BaudRateIndex >= 0 && BaudRateIndex < 8 ? BaudRateTable[BaudRateIndex] : kFallbackRate;
}

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int PortReady() { return port_ready.load(); }

void NotePortLost() { port_lost.store(true); }

bool PortLost() { return port_lost.load(); }

bool PortIsOpen() { return BackendIsOpen(); }

std::string PortStatusText(std::uint32_t rate) {
  std::string name;
  if (ComPortIndex != kDisconnectedIndex) {
    if (!device_override.empty()) {
      name = device_override;
    } else if (IndexInTable(ComPortIndex)) {
      name = ComPortNames[ComPortIndex];
    }
  }
  if (name.empty()) return "COM : Disconnect";
  char rate_text[16];
  std::snprintf(rate_text, sizeof rate_text, "%u", static_cast<unsigned>(rate));
  return name + " : BaudRate = " + rate_text;
}

int ReopenComPort() {
  std::string device;
  if (!device_override.empty()) {
    device = device_override;
  } else if (IndexInTable(ComPortIndex)) {
    device = BackendDeviceForIndex(ComPortIndex);
  }
  std::lock_guard lock(PortIoMutex);
  BackendClose();
  port_lost.store(false);
  if (device.empty()) {
    last_error = "cannot open the COM port: no port selected";
    return 0;
  }
  std::string error;
  if (!BackendOpen(device, &error)) {
    last_error = error;
    return 0;
  }
  last_error.clear();
  port_ready.store(1);
  BackendApplyLineSettings(CurrentRate());
  // The device must never run on the driver's own time-outs, which may never end a read.
  BackendApplyTimeouts(read_timeout_ms.load(), write_timeout_ms.load());
  return 1;
}

int OpenComPort() {
  if (!ReopenComPort()) {
    SleepMs(kOpenFailurePauseMs);
    return 0;
  }
  ShowPortStatus(PortStatusText(CurrentRate()));
  return 1;
}

namespace {

int OpenOrTell() {
  if (OpenComPort()) return 1;
  ShowMessage(MainWindowHandle(), "Can not open COM port ...", MessageError);
  return 0;
}

}  // namespace

int EnsurePortOpen() {
  // A device that went away is opened afresh: it may be back (plugged in again).
  if (port_ready.load() && !port_lost.load()) return 1;
  return OpenOrTell();
}

int RetryPortOpen() {
  // Unlike EnsurePortOpen, a failed open or change earlier in the run is no reason to stop.
  if (BackendIsOpen() && !port_lost.load()) return 1;
  return OpenOrTell();
}

int ApplyLineSettings() {
  port_ready.store(1);
  BackendApplyLineSettings(CurrentRate());
  return 1;
}

void SetBaudRate(std::uint32_t rate) {
  BackendApplyLineSettings(rate);
  ShowPortStatus(PortStatusText(rate));
}

void SetPortTimeouts(std::uint32_t read_ms, std::uint32_t write_ms) {
  if (!port_ready.load()) return;
  read_timeout_ms.store(read_ms);
  write_timeout_ms.store(write_ms);
  std::lock_guard lock(PortIoMutex);
  BackendApplyTimeouts(read_ms, write_ms);
}

std::uint32_t PortRead(std::uint8_t* buffer, std::uint32_t count) {
  if (port_lost.load()) return 0;
  const std::uint32_t timeout_ms = read_timeout_ms.load();
  std::unique_lock lock(PortIoMutex);
  if (!BackendIsOpen()) {
    // Without a device the caller's loop would spin; make it wait like a silent line.
    lock.unlock();
    SleepMs(timeout_ms);
    return 0;
  }
  return BackendRead(buffer, count, timeout_ms);
}

void PortWrite(const std::uint8_t* buffer, std::uint32_t count) {
  if (port_lost.load()) return;
  const std::uint32_t timeout_ms = write_timeout_ms.load();
  std::unique_lock lock(PortIoMutex);
  if (!BackendIsOpen()) {
    lock.unlock();
    SleepMs(timeout_ms);
    return;
  }
  BackendWrite(buffer, count, timeout_ms);
}

void PurgeReceive() { BackendPurgeReceive(); }

bool PulseModemLine(ModemLine line, bool active_low, std::uint32_t pulse_ms) {
  std::lock_guard lock(PortIoMutex);
  if (!BackendIsOpen() || !BackendSetModemLine(line, !active_low)) return false;
  SleepMs(pulse_ms);
  return BackendSetModemLine(line, active_low);
}

void ClosePort() {
  std::lock_guard lock(PortIoMutex);
  BackendClose();
}

void SetPortDevice(const std::string& device) { device_override = device; }

std::string LastPortError() { return last_error; }
