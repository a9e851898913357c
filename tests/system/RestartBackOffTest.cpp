// The supervisor's restart delays: a crash loop backs off to the limit, a steady run starts over.

#include <gtest/gtest.h>

#include <algorithm>

#include "RestartBackOff.h"

namespace {

using launcher::RestartBackOff;
using std::chrono::milliseconds;

TEST(RestartBackOff, DoublesAtEveryQuickDeathUpToTheLimitAndForgetsAfterASteadyRun) {
  RestartBackOff backOff;
  const milliseconds quick{100};
  milliseconds expected = RestartBackOff::kFirstDelay;
  for (int death = 0; death < 20; ++death) {
    EXPECT_EQ(backOff.afterExit(quick), expected) << death;
    expected = std::min(expected * 2, RestartBackOff::kLongestDelay);
  }
  EXPECT_EQ(backOff.afterExit(RestartBackOff::kSteadyRun), RestartBackOff::kFirstDelay);
  EXPECT_EQ(backOff.afterExit(quick), RestartBackOff::kFirstDelay) << "the loop starts over";
}

}  // namespace
