// The 200 ms after a password dialog in which close requests are refused silently.
#include <gtest/gtest.h>

#include "shell/quiet_period.h"

namespace lumenfall {
namespace {

TEST(QuietPeriod, NeverBeforeTheFirstDialog) {
  for (uint32_t now : {0u, 1u, 199u, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu})
    EXPECT_FALSE(InQuietPeriod(now, kNeverVerified)) << now;
}

TEST(QuietPeriod, TheFirst200MillisecondsAfterTheDialog) {
  EXPECT_TRUE(InQuietPeriod(1000, 1000));
  EXPECT_TRUE(InQuietPeriod(1199, 1000));
  EXPECT_FALSE(InQuietPeriod(1200, 1000));
  EXPECT_FALSE(InQuietPeriod(50000, 1000));
  // A tick count from before the dialog reads as almost 50 days later.
  EXPECT_FALSE(InQuietPeriod(999, 1000));
}

TEST(QuietPeriod, HoldsAcrossTheWrapOfTheTickCounter) {
  // The dialog returned 100 ms before the counter wrapped.
  const uint32_t last = 0xFFFFFF9Cu;
  EXPECT_TRUE(InQuietPeriod(0xFFFFFFA0u, last));
  EXPECT_TRUE(InQuietPeriod(0u, last));
  EXPECT_TRUE(InQuietPeriod(99u, last));
  EXPECT_FALSE(InQuietPeriod(100u, last));
  EXPECT_FALSE(InQuietPeriod(5000u, last));
  // Returned on the last tick before the wrap.
  EXPECT_TRUE(InQuietPeriod(0u, 0xFFFFFFFEu));
  EXPECT_TRUE(InQuietPeriod(197u, 0xFFFFFFFEu));
  EXPECT_FALSE(InQuietPeriod(198u, 0xFFFFFFFEu));
}

}  // namespace
}  // namespace lumenfall
