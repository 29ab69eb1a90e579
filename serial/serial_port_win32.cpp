// The serial device on Windows: CreateFileA with FILE_FLAG_OVERLAPPED, the line settings
// in a DCB, total time-outs in COMMTIMEOUTS, and every request waited for on its event.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "serial/port_backend_win32.h"
#include "serial/port_names.h"

namespace {

// A driver that ignores its time-outs must not hold the worker for ever: after this much
// past the time-out the request is cancelled.
constexpr DWORD kTimeoutGraceMs = 250;

// The event of a request record, made on first use; NULL when the system has none to give.
HANDLE RequestEvent(OVERLAPPED* request) {
  if (request->hEvent == NULL) request->hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  return request->hEvent;
}

// Failures after which nothing more will pass: the adapter was unplugged. An abort we did
// not ask for (CancelIo) is the driver tearing the device down; a broken pipe is a line hung
// up (Wine's answer when a pseudo-terminal's other end has gone).
bool DeviceGone(DWORD error, bool cancelled_by_us) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_BROKEN_PIPE ||
         error == ERROR_DEVICE_REMOVED || (error == ERROR_OPERATION_ABORTED && !cancelled_by_us);
}

// Starts nothing; waits for the started request and returns its byte count.
DWORD AwaitRequest(HANDLE device, OVERLAPPED* request, DWORD timeout_ms, bool* gone) {
  bool cancelled = false;
  if (WaitForSingleObject(request->hEvent, timeout_ms + kTimeoutGraceMs) != WAIT_OBJECT_0) {
    CancelIo(device);
    cancelled = true;
  }
  DWORD transferred = 0;
  if (!GetOverlappedResult(device, request, &transferred, TRUE)) {
    if (DeviceGone(GetLastError(), cancelled)) *gone = true;
    // A cancelled or failed request still reports what it moved before it ended.
    transferred = static_cast<DWORD>(request->InternalHigh);
  }
  return transferred;
}

// Starts a request on a record whose event is reset and offset is 0.
bool PrepareRequest(OVERLAPPED* request) {
  HANDLE event = RequestEvent(request);
  if (event == NULL) return false;
  *request = OVERLAPPED{};
  request->hEvent = event;
  ResetEvent(event);
  return true;
}

std::string SystemMessage(DWORD error) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                error, 0, text, sizeof text, NULL);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  if (length > 0) return text;
  char number[32];
  std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(error));
  return number;
}

std::string DescribeOpenError(const std::string& device, DWORD error) {
  std::string text = "cannot open " + device + ": ";
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return text + "No such port";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return text + "Access is denied (another program is using it)";
    default:
      return text + SystemMessage(error);
  }
}

// COM1..COM9 open by their plain names; higher numbers need the device namespace.
std::string PathForDevice(const std::string& device) {
  if (device.size() > 4 && device.compare(0, 3, "COM") == 0) return "\\\\.\\" + device;
  return device;
}

class Win32Backend final : public PortBackend {
 public:
  explicit Win32Backend(Win32SystemCalls calls) : calls_(std::move(calls)) {}
  ~Win32Backend() override {
    Close();
    for (OVERLAPPED* request : {&read_request_, &write_request_}) {
      if (request->hEvent != NULL) CloseHandle(request->hEvent);
    }
  }

  bool Open(const std::string& device, std::string* error) override {
    HANDLE handle = CreateFileA(PathForDevice(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = DescribeOpenError(device, GetLastError());
      return false;
    }
    // Asked what it does, not what file type it reports: virtual and redirected port drivers
    // may report one other than "character". A handle that has no line settings is no port
    // (Wine opens a COM name whose device is missing as such a handle, whose reads all fail).
    DCB probe;
    ZeroMemory(&probe, sizeof probe);
    probe.DCBlength = sizeof probe;
    if (!GetCommState(handle, &probe)) {
      CloseHandle(handle);
      *error = "cannot open " + device + ": not a serial device";
      return false;
    }
    output_left_.store(false);
    handle_.store(handle);
    return true;
  }

  void Close() override {
    HANDLE handle = handle_.exchange(INVALID_HANDLE_VALUE);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }

  bool IsOpen() const override { return handle_.load() != INVALID_HANDLE_VALUE; }

  bool ApplyLineSettings(std::uint32_t rate) override {
    HANDLE handle = handle_.load();
    if (handle == INVALID_HANDLE_VALUE) return true;
    // Everything else 0: no flow control, DTR and RTS disabled, no character replacement.
    // Two members cannot stay 0 on Windows: SetCommState refuses a record whose XonChar
    // equals XoffChar, and only binary mode is supported. Both are inert here (XON/XOFF is
    // off), but without them the rate would silently never be applied.
    DCB settings;
    ZeroMemory(&settings, sizeof settings);
    settings.DCBlength = sizeof settings;
    settings.BaudRate = rate;
    settings.fBinary = TRUE;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.XonChar = 0x11;
    settings.XoffChar = 0x13;
    // Open ignores a refusal (a burn rate always works); a monitor's own rate is checked.
    return SetCommState(handle, &settings) != FALSE;
  }

  void ApplyTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms) override {
    HANDLE handle = handle_.load();
    if (handle == INVALID_HANDLE_VALUE) return;
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = read_timeout_ms;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = write_timeout_ms;
    SetCommTimeouts(handle, &timeouts);  // result ignored, as for the line settings
  }

  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms,
                     bool* gone) override {
    if (count == 0) return 0;
    const ULONGLONG start = GetTickCount64();
    HANDLE handle = handle_.load();
    if (!PrepareRequest(&read_request_)) {
      Sleep(timeout_ms);
      return 0;
    }
    if (!ReadFile(handle, buffer, count, NULL, &read_request_) && GetLastError() != ERROR_IO_PENDING) {
      if (DeviceGone(GetLastError(), false)) {
        *gone = true;
        return 0;
      }
      // A failed device answers at once; keep the caller's loop at the pace of its time-out.
      ULONGLONG spent = GetTickCount64() - start;
      if (spent < timeout_ms) Sleep(static_cast<DWORD>(timeout_ms - spent));
      return 0;
    }
    return AwaitRequest(handle, &read_request_, timeout_ms, gone);
  }

  void Write(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms,
             bool* gone) override {
    const ULONGLONG start = GetTickCount64();
    HANDLE handle = handle_.load();
    if (output_left_.exchange(false)) PurgeComm(handle, PURGE_TXCLEAR);  // result ignored
    if (!PrepareRequest(&write_request_)) {
      Sleep(timeout_ms);
      return;
    }
    if (!WriteFile(handle, buffer, count, NULL, &write_request_) && GetLastError() != ERROR_IO_PENDING) {
      if (DeviceGone(GetLastError(), false)) {
        *gone = true;
        return;
      }
      ULONGLONG spent = GetTickCount64() - start;
      if (spent < timeout_ms) Sleep(static_cast<DWORD>(timeout_ms - spent));
      return;
    }
    if (AwaitRequest(handle, &write_request_, timeout_ms, gone) < count) output_left_.store(true);
  }

  void PurgeReceive() override {
    HANDLE handle = handle_.load();
    if (handle != INVALID_HANDLE_VALUE) PurgeComm(handle, PURGE_RXCLEAR);  // result ignored
  }

  std::uint32_t Queued() override {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_.load(), &errors, &status)) return 0;
    return status.cbInQue;
  }

  bool SetModemLine(ModemLine line, bool asserted) override {
    const DWORD function = line == ModemLine::kDtr ? (asserted ? SETDTR : CLRDTR)
                                                   : (asserted ? SETRTS : CLRRTS);
    return calls_.escape(handle_.load(), function) != FALSE;
  }

 private:
  const Win32SystemCalls calls_;
  std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
  // A write cut short by its time-out left output behind, which the next write discards. A
  // completed write is never purged after: the purge also drops bytes the driver still holds
  // for the line (under Wine, a pseudo-terminal's unread bytes: a page byte before its data).
  std::atomic<bool> output_left_{false};
  // One request of each kind at a time: the port's lock is held around them.
  OVERLAPPED read_request_{};
  OVERLAPPED write_request_{};
};

}  // namespace

std::unique_ptr<PortBackend> MakeWin32Backend(Win32SystemCalls calls) {
  return std::make_unique<Win32Backend>(std::move(calls));
}

std::unique_ptr<PortBackend> MakePlatformBackend() { return MakeWin32Backend(); }

std::string BackendDeviceForIndex(int index) { return ComPortNames[index]; }
