#include "app/com_port.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/profile_settings.h"
#include "app/shell.h"

namespace {

constexpr std::uint32_t kFallbackRate = 57600;

// Set by the first successful open of the run; never cleared.
std::atomic<int> port_ready{0};

// UI thread only.
std::string device_override;
std::string last_error;

bool IndexInTable(int index) { return index >= 0 && index < 4; }

std::uint32_t CurrentRate() {
  return BaudRateIndex >= 0 && BaudRateIndex < 8 ? BaudRateTable[BaudRateIndex] : kFallbackRate;
}

int OpenOrTell() {
  if (OpenComPort()) return 1;
  ShowMessage(MainWindowHandle(), "Can not open COM port ...", MessageError);
  return 0;
}

}  // namespace

SerialPort& GlobalPort() {
  // Never destroyed: a worker may still be in a request while the process exits.
  static SerialPort* const port = new SerialPort();
  return *port;
}

bool PortIsOpen() { return GlobalPort().IsOpen(); }

bool PortLost() { return GlobalPort().Lost(); }

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
  // With no device the open fails, but the old device is closed and the loss forgotten all
  // the same, as the user changed the port.
  const bool opened = GlobalPort().Open(device, CurrentRate());
  if (device.empty()) {
    last_error = "cannot open the COM port: no port selected";
    return 0;
  }
  if (!opened) {
    last_error = GlobalPort().LastError();
    return 0;
  }
  last_error.clear();
  port_ready.store(1);
  return 1;
}

int OpenComPort() {
  if (!ReopenComPort()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kOpenFailurePauseMs));
    return 0;
  }
  ShowPortStatus(PortStatusText(CurrentRate()));
  return 1;
}

int EnsurePortOpen() {
  // A device that went away is opened afresh: it may be back (plugged in again).
  if (port_ready.load() && !PortLost()) return 1;
  return OpenOrTell();
}

int RetryPortOpen() {
  // Unlike EnsurePortOpen, a failed open or change earlier in the run is no reason to stop.
  if (PortIsOpen() && !PortLost()) return 1;
  return OpenOrTell();
}

void SetBaudRate(std::uint32_t rate) {
  GlobalPort().SetRate(rate);
  ShowPortStatus(PortStatusText(rate));
}

void PurgeReceive() { GlobalPort().PurgeReceive(); }

void ClosePort() { GlobalPort().Close(); }

void SetPortDevice(const std::string& device) { device_override = device; }

std::string LastPortError() { return last_error; }
