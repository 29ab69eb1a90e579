#include <cstring>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

int Handshake(int* version) {
  SetPortTimeouts(kHandshakeTimeoutMs, kHandshakeTimeoutMs);
  std::uint8_t window[4] = {0, 0, 0, 0};
  for (;;) {
    if (StopRequested.load() != 0) return 0;
    if (PortLost()) return 0;  // no word will ever come
    std::uint8_t byte = 0;
    if (!ReadByte(&byte)) continue;
    std::memmove(window, window + 1, 3);
    window[3] = byte;
    if (std::memcmp(window, kHandshakeWord, 4) == 0) break;
  }
  PortWrite(reinterpret_cast<const std::uint8_t*>(kHandshakeWord), 4);
  std::uint8_t byte = 0;
  *version = ReadByte(&byte) ? byte : -1;
  // A device gone before its version is no out-of-date firmware.
  return PortLost() ? 0 : 1;
}
