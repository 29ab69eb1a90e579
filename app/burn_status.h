#pragma once
// What the burn dialog shows: one coloured line of text. The worker writes it, the dialog
// paints it; both sides go through these functions, so no half-copied text is ever read.
#include <atomic>
#include <cstdint>
#include <string>

inline constexpr std::uint32_t kColorRed = 0x0000FF;    // COLORREF 0x00BBGGRR
inline constexpr std::uint32_t kColorBlue = 0xFF0000;
inline constexpr std::uint32_t kColorGreen = 0x00FF00;

extern std::atomic<std::uint32_t> BurnStatusColor;

// The status text (at most 99 characters are kept).
std::string BurnStatusText();

// Sets colour and text, then tells the front end (BurnStatusChanged).
void ShowBurnStatus(std::uint32_t color, const std::string& text);
