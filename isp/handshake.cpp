#include <cstring>

#include "isp/protocol.h"
#include "isp/protocol_io.h"

namespace {

// Long enough to take a byte the driver already holds, far shorter than the gap between
// two announcements.
constexpr std::uint32_t kQueuedByteWaitMs = 1;

}  // namespace

int Handshake(Link& link, int* version) {
  // Only the newest word is answered. A chip that announced while nobody read the port (a
  // slow --reset-command, a loaded host) leaves several words queued; answering the first
  // would take the next one's 'z' for the version byte and fail the erase.
  const std::uint32_t wait_ms = link.timeouts.handshake_ms;
  std::uint8_t window[4] = {0, 0, 0, 0};
  bool word_read = false;  // the window holds a word; is more already queued behind it?
  link.port.SetTimeouts(wait_ms, wait_ms);
  for (;;) {
    if (link.stop.Requested()) return 0;
    if (link.port.Lost()) return 0;  // no word will ever come
    std::uint8_t byte = 0;
    if (!ReadByte(link, &byte)) {
      if (word_read) break;
      continue;
    }
    std::memmove(window, window + 1, 3);
    window[3] = byte;
    const bool word = std::memcmp(window, kHandshakeWord, 4) == 0;
    if (word != word_read) link.port.SetTimeouts(word ? kQueuedByteWaitMs : wait_ms, wait_ms);
    word_read = word;
  }
  link.port.SetTimeouts(wait_ms, wait_ms);
  link.port.Write(reinterpret_cast<const std::uint8_t*>(kHandshakeWord), 4);
  std::uint8_t byte = 0;
  *version = ReadByte(link, &byte) ? byte : -1;
  // A device gone before its version is no out-of-date firmware.
  return link.port.Lost() ? 0 : 1;
}
