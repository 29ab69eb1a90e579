// rm516x-isp read: reads the chip's flash into a file without erasing or writing anything.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/output.h"
#include "cli/port_run.h"
#include "cli/replace_file.h"
#include "cli/stop_signals.h"
#include "image/bank_image.h"
#include "image/hex_writer.h"
#include "isp/protocol.h"
#include "isp/session.h"
#include "settings/settings.h"

namespace {

// tail in lower case, text in any.
bool EndsWith(const std::string& text, const std::string& tail) {
  if (text.size() < tail.size()) return false;
  std::string end = text.substr(text.size() - tail.size());
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == tail;
}

}  // namespace

int RunRead(ReadOptions& options) {
  std::string error;
  if (!CheckPortGiven(options.port, error)) return UsageError("read", error);
  const bool hex = EndsWith(options.out, ".hex") || EndsWith(options.out, ".ihx");
  if (!hex && !EndsWith(options.out, ".bin")) {
    return UsageError("read", "OUT must end in .bin, .hex or .ihx, not '" + options.out + "'");
  }
  const ProfileSettings profile = ReadProfile();
  const ChipSpec& chip = ChipSpecFor(options.chip_model.value_or(profile.chip_model));
  if (chip.banks == 1 && options.bank != "0" && options.bank != "both") {
    return UsageError("read", std::string("the ") + chip.name + " has bank 0 only");
  }
  // The pages a user may read are those a burn may write: the ISP firmware keeps the rest.
  const bool bank0 = options.bank != "1";
  const bool bank1 = chip.banks == 2 && options.bank != "0";
  const BurnPlan plan{nullptr, chip.page_bytes, bank0 ? chip.ReadPages(0) : 0, bank1 ? chip.ReadPages(1) : 0};

  Output output(options.json, {options.port.port});
  // Before the port: a read that cannot be kept must not make the user wait for it.
  if (!CheckReplaceable(options.out, error)) {
    output.End(false, error, error);
    return kExitFailed;
  }
  const std::string device = ResolvePortDevice(options.port.port, profile, error);
  if (device.empty()) {
    output.End(false, error, error);
    return kExitFailed;
  }
  CatchRunStop();
  std::vector<std::uint8_t> read_back(kImageCapacityBytes, 0xFF);
  PortEvents events(output, 0);
  const PortRun run = RunOnPort(device, PortRate(options.port, profile), options.port, events, RunStop(),
                                [&](SerialPort& port, const StopToken& stop, SessionEvents& sink) {
                                  return RunReadSession(port, plan, ReadPages, read_back.data(), SessionTimeouts{},
                                                        stop, sink);
                                });
  if (run.status != kExitOk) {
    output.End(false, run.text, run.error_line);
    return run.status;
  }

  const std::uint32_t bank0_bytes = plan.bank0_pages * plan.page_size_bytes;
  const std::uint32_t bank1_bytes = plan.bank1_pages * plan.page_size_bytes;
  std::string bytes;
  if (hex) {
    bytes = WriteHexText(read_back.data(), bank0_bytes, bank1_bytes);
  } else {
    // Bank 1 alone starts the file: burn --bank 1 puts it back.
    const std::uint32_t from = bank0_bytes > 0 ? 0 : kBankSizeBytes;
    const std::uint32_t end = bank1_bytes > 0 ? kBankSizeBytes + bank1_bytes : bank0_bytes;
    bytes.assign(reinterpret_cast<const char*>(read_back.data()) + from, end - from);
  }
  if (!ReplaceWhole(options.out, bytes, error)) {
    output.End(false, error, error);
    return kExitFailed;
  }
  output.Line(std::to_string(bank0_bytes + bank1_bytes) + " bytes read into " + options.out);
  output.End(true, run.text, "");
  return kExitOk;
}
