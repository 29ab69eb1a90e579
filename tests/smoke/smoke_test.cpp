#include <gtest/gtest.h>
#include "isp/burn_status.h"
#include "tests/support/recording_shell.h"
TEST(Smoke, StatusText) { ShowBurnStatus(kColorRed, "x"); EXPECT_EQ(BurnStatusText(), "x"); EXPECT_EQ(ShellRecord().burn_repaints, 1); }
