// rm516x-isp verify: load files as burn does, then compare the chip's flash with the image
// without erasing or writing anything.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/output.h"
#include "cli/port_run.h"
#include "cli/repeat_burn.h"
#include "cli/stop_signals.h"
#include "image/bank_image.h"
#include "isp/protocol.h"
#include "isp/session.h"

namespace {

// "" when the read-back holds the image over the plan's pages, else where and how much not.
std::string ReadBackMismatch(const BurnPlan& plan, const std::vector<std::uint8_t>& read_back) {
  std::uint32_t first = 0;
  std::uint32_t differing = 0;
  for (int bank = 0; bank < 2; ++bank) {
    const std::uint32_t base = bank == 0 ? 0u : kBankSizeBytes;
    const std::uint32_t size = (bank == 0 ? plan.bank0_pages : plan.bank1_pages) * plan.page_size_bytes;
    for (std::uint32_t at = base; at < base + size; ++at) {
      if (read_back[at] == plan.image[at]) continue;
      if (differing++ == 0) first = at;
    }
  }
  if (differing == 0) return "";
  char text[128];
  std::snprintf(text, sizeof text, "the flash differs from the image at 0x%05X (%u byte%s differ%s)",
                static_cast<unsigned>(first), static_cast<unsigned>(differing),
                differing == 1 ? "" : "s", differing == 1 ? "s" : "");
  return text;
}

}  // namespace

int RunVerify(VerifyOptions& options) {
  std::string error;
  if (!CheckPortGiven(options.port, error)) return UsageError("verify", error);
  const ProfileSettings profile = ReadProfile();
  BankImage image = EmptyImage(options.load, profile);
  if (!PrepareLoad(options.load, *image.chip, error)) return UsageError("verify", error);

  const bool json = options.load.json;
  Output output(json, {options.port.port});
  LoadedImage loaded;
  if (!LoadForSession(options.load, image, output, loaded)) return kExitFailed;
  const std::string device = ResolvePortDevice(options.port.port, profile, error);
  if (device.empty()) {
    output.End(false, error, error);
    return kExitFailed;
  }
  CatchRunStop();

  const BurnPlan& plan = loaded.plan;
  const ReadKind kind = options.checksum ? ReadPageSums : ReadPages;
  std::vector<std::uint8_t> read_back(kImageCapacityBytes, 0xFF);
  PortEvents events(output, 0);
  const PortRun run = RunOnPort(device, PortRate(options.port, profile), options.port, events, RunStop(),
                                [&](SerialPort& port, const StopToken& stop, SessionEvents& sink) {
                                  return RunReadSession(port, plan, kind, read_back.data(), SessionTimeouts{}, stop,
                                                        sink);
                                });
  if (run.status != kExitOk) {
    output.End(false, run.text, run.error_line);
    return run.status;
  }

  // Page by page: sums that differ but add up to the image's total still fail.
  std::string mismatch = options.checksum ? PageSumMismatchText(run.outcome.sums) : ReadBackMismatch(plan, read_back);
  if (!mismatch.empty() && options.checksum) mismatch = "the flash differs from the image: " + mismatch;
  if (!mismatch.empty()) {
    output.End(false, mismatch, mismatch);
    return kExitFailed;
  }
  const std::string ok = options.checksum ? "CheckSum OK" : "Verify OK";
  output.Line(ok);
  output.End(true, ok, "");
  return kExitOk;
}
