// A host's control service: requests are parsed with their bounds checked, answered on the main
// run loop, and a caller learns why a host did not answer.

#include <gtest/gtest.h>

#include <CoreFoundation/CFRunLoop.h>

#include <atomic>
#include <string>
#include <thread>

#include "HostControl/ControlClient.h"
#include "HostControl/ControlRequest.h"
#include "HostControl/ControlService.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

using control::parseControlRequest;

TEST(ControlRequest, ReadsTheCommandWordAndTheRestOfTheLine) {
  const std::string text = "capture /tmp/a b.png 2\n";
  const auto request = parseControlRequest(text.data(), text.size());
  ASSERT_TRUE(request);
  EXPECT_EQ(request->command, "capture");
  EXPECT_EQ(request->argument, "/tmp/a b.png 2");
  const auto bare = parseControlRequest("hide-artwork", 12);
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->argument, "");
}

class MalformedRequest : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedRequest, IsRefusedWithAReason) {
  std::string error;
  EXPECT_FALSE(parseControlRequest(GetParam().data(), GetParam().size(), &error));
  EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(ControlRequest, MalformedRequest,
                         ::testing::Values(std::string(), std::string("\n"),
                                           std::string(" capture"), std::string("Capture x"),
                                           std::string("cap\0ture", 8), std::string("capture a\nb"),
                                           std::string("capture \x1b[2J"),
                                           std::string(control::kMaxMessageBytes + 1, 'a'),
                                           std::string(40, 'a')));

// The service answers on the main run loop while a caller waits on another thread.
std::string askWhileServing(const std::string& request, bool* answered) {
  std::string reply;
  std::atomic<bool> done{false};
  std::thread caller([&] {
    *answered = control::request("Test", request, &reply);
    done = true;
  });
  testing_support::waitFor([&] {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
    return done.load();
  });
  caller.join();
  return reply;
}

TEST(ControlService, AnswersOnTheMainRunLoopAndRefusesBadRequestsBeforeTheHandler) {
  testing_support::TempDevice device;
  int handled = 0;
  ASSERT_TRUE(control::serve("Test", [&](const control::ControlRequest& request) {
    ++handled;
    return "ok " + request.command + "|" + request.argument;
  }));
  bool answered = false;
  EXPECT_EQ(askWhileServing("rotate 3", &answered), "ok rotate|3");
  EXPECT_TRUE(answered);

  const std::string reply = askWhileServing("rotate \x07", &answered);
  EXPECT_FALSE(answered);
  EXPECT_EQ(reply.rfind("error ", 0), 0u) << reply;
  EXPECT_EQ(handled, 1);

  std::string why;
  EXPECT_FALSE(control::request("Nobody", "figures", &why, std::chrono::milliseconds(200)));
  EXPECT_NE(why.find("Nobody"), std::string::npos) << why;
}

}  // namespace
