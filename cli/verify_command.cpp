// rm516x-isp verify: load files as burn does, then compare the chip's flash with the image
// without erasing or writing anything.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/port_session.h"
#include "image/bank_image.h"
#include "isp/burn_worker.h"
#include "isp/protocol.h"
#include "isp/read_back.h"

namespace {

// "" when the read-back holds the image over the plan's pages, else where and how much not.
std::string ReadBackMismatch(const BurnPlan& plan) {
  std::uint32_t first = 0;
  std::uint32_t differing = 0;
  for (int bank = 0; bank < 2; ++bank) {
    const std::uint32_t base = bank == 0 ? 0u : kBankSizeBytes;
    const std::uint32_t size = (bank == 0 ? plan.bank0_pages : plan.bank1_pages) * plan.page_size_bytes;
    for (std::uint32_t at = base; at < base + size; ++at) {
      if (ReadBackImage[at] == plan.image[at]) continue;
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
  if (!PrepareLoad(options.load, error)) return UsageError("verify", error);

  const bool json = options.load.json;
  if (!LoadForSession(options.load)) return kExitFailed;

  const BurnPlan plan = CurrentBurnPlan();
  const ReadKind kind = options.checksum ? ReadPageSums : ReadPages;
  PageSums sums;
  const int status = RunPortSession(options.port, json, "verify", [&] {
    BeginSessionStop();
    return ReadChip(plan, kind, &sums);
  });
  if (status != kExitOk) return status;

  // Page by page: sums that differ but add up to the image's total still fail.
  std::string mismatch = options.checksum ? PageSumMismatchText(sums) : ReadBackMismatch(plan);
  if (!mismatch.empty() && options.checksum) mismatch = "the flash differs from the image: " + mismatch;
  if (!mismatch.empty()) {
    ReportEnd(json, false, mismatch, mismatch);
    return kExitFailed;
  }
  const std::string ok = options.checksum ? "CheckSum OK" : "Verify OK";
  if (!json) PrintSessionLine(ok);
  ReportEnd(json, true, ok, "");
  return kExitOk;
}
