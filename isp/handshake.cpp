#include <cstring>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

namespace {

// Long enough to take a byte the driver already holds, far shorter than the gap between
// two announcements.
constexpr std::uint32_t kQueuedByteWaitMs = 1;

}  // namespace

int Handshake(int* version) {
  // Only the newest word is answered. A chip that announced while nobody read the port (a
  // slow --reset-command, a loaded host) leaves several words queued; answering the first
  // would take the next one's 'z' for the version byte and fail the erase.
  std::uint8_t window[4] = {0, 0, 0, 0};
  bool word_read = false;  // the window holds a word; is more already queued behind it?
  SetPortTimeouts(kHandshakeTimeoutMs, kHandshakeTimeoutMs);
  for (;;) {
    if (StopRequested.load() != 0) return 0;
    if (PortLost()) return 0;  // no word will ever come
    std::uint8_t byte = 0;
    if (!ReadByte(&byte)) {
      if (word_read) break;
      continue;
    }
    std::memmove(window, window + 1, 3);
    window[3] = byte;
    const bool word = std::memcmp(window, kHandshakeWord, 4) == 0;
    if (word != word_read) {
      SetPortTimeouts(word ? kQueuedByteWaitMs : kHandshakeTimeoutMs, kHandshakeTimeoutMs);
    }
    word_read = word;
  }
  SetPortTimeouts(kHandshakeTimeoutMs, kHandshakeTimeoutMs);
  PortWrite(reinterpret_cast<const std::uint8_t*>(kHandshakeWord), 4);
  std::uint8_t byte = 0;
  *version = ReadByte(&byte) ? byte : -1;
  // A device gone before its version is no out-of-date firmware.
  return PortLost() ? 0 : 1;
}
