#include <gtest/gtest.h>

#include "settings/profile.h"

namespace {

// A section of its own, so the prefix's real settings are left alone.
constexpr const char* kSection = "RM516X_ISP_TEST";

TEST(Profile, SystemProfileRoundTrip) {
  ProfileWriteString(kSection, "Text", "C:\\fw\\a b.hex");
  ProfileWriteString(kSection, "Word", "12abc");
  EXPECT_EQ(ProfileReadString(kSection, "text", ""), "C:\\fw\\a b.hex");
  bool is_number = true;
  EXPECT_EQ(ProfileReadInt(kSection, "Word", 9, &is_number), 9);
  EXPECT_FALSE(is_number);
}

}  // namespace
