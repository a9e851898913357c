// The audio daemon on a real device: what its hook sends, what it renders, and how it carries on
// when the hook cannot be installed. A packet receiver in this process stands in for
// SpringBoard's service.

#include <CoreFoundation/CFRunLoop.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <signal.h>

#include <ChildProcess.h>
#include <TempDevice.h>
#include <WaitFor.h>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "HostControl/ControlClient.h"
#include "Launcher/DeviceInstaller.h"
#include "SynthesisedTrack.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::TempDevice;
using testing_support::waitFor;

namespace {

std::vector<mediaServerAudioDataStruct> received;

void receivePacket(CFMachPortRef, void* message, CFIndex, void*) {
  auto* request = static_cast<LMMessage*>(message);
  if (request->head.msgh_id == 1 &&
      LMMessageGetDataLength(request) == sizeof(mediaServerAudioDataStruct)) {
    received.push_back(*static_cast<const mediaServerAudioDataStruct*>(LMMessageGetData(request)));
  }
  const int32_t okay = 0;
  LMSendReply(request->head.msgh_remote_port, &okay, sizeof okay);
  LMResponseBufferFree(request);
}

// Turns the main run loop until `condition` holds or `timeout` passes.
bool runUntil(const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  return waitFor(
      [&] {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true);
        return condition();
      },
      timeout);
}

fs::path mediaserverd() {
  return testing_support::binaryDirectory() / "bin" / "mediaserverd";
}

void makeDevice(const TempDevice& device) {
  std::string error;
  ASSERT_TRUE(launcher::createDevice(device.path(), 10, launcher::currentBuild(), &error)) << error;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void setScreen(std::uint64_t blanked) {
  int token = -1;
  ASSERT_EQ(notify_register_check("com.apple.springboard.hasBlankedScreen", &token),
            NOTIFY_STATUS_OK);
  notify_set_state(token, blanked);
  notify_post("com.apple.springboard.hasBlankedScreen");
}

// Once `stop` has taken effect no packet comes (a send queued before may still land); after
// `restart` packets come again.
void expectPacketsStopAndComeBack(const std::function<void()>& stop,
                                  const std::function<void()>& restart, const TempDevice& device) {
  stop();
  runUntil([] { return false; }, std::chrono::milliseconds(200));
  const std::size_t whileStopped = received.size();
  runUntil([] { return false; }, std::chrono::milliseconds(500));
  EXPECT_EQ(received.size(), whileStopped);
  restart();
  ASSERT_TRUE(runUntil([&] { return received.size() >= whileStopped + 3; })) << device.log();
}

TEST(CaptureSystem, PacketsCarryTheTracksSamplesInOrderAndStopWhileBlankOrPaused) {
  TempDevice device;
  makeDevice(device);
  received.clear();
  char name[128] = {};
  std::memcpy(name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
  ASSERT_EQ(LMStartService(name, CFRunLoopGetMain(), &receivePacket), 0);
  ChildProcess daemon(mediaserverd(), {"--output", "null", "--frames", "1024"}, {},
                      device.path() / "mediaserverd.out");
  ASSERT_TRUE(runUntil([] { return received.size() >= 12; })) << device.log();

  SynthesisedTrack track(44100);
  for (std::size_t p = 0; p < received.size(); ++p) {
    const auto& packet = received[p];
    ASSERT_EQ(packet.numberBuffers, 2);
    ASSERT_EQ(packet.numberFrames, 1024);
    if (p > 0) {
      // In order, and each one render of 1,024 frames after the one before (or a whole number of
      // renders, should the daemon's main queue have fallen behind).
      const double step = packet.sampleTime - received[p - 1].sampleTime;
      ASSERT_GT(step, 0) << "packet " << p << " of " << received.size();
      ASSERT_EQ(std::fmod(step, 1024.0), 0.0);
    }
    for (int i = 0; i < 1024; i += 31) {
      float left, right;
      track.sampleAt(static_cast<std::uint64_t>(packet.sampleTime) + i, &left, &right);
      ASSERT_EQ(packet.data[0][i], left) << "packet " << p << " frame " << i;
      ASSERT_EQ(packet.data[1][i], right) << "packet " << p << " frame " << i;
    }
  }
  // The time stamps advance at the output's rate: one render of 1,024 frames each, mostly.
  const double span = received.back().sampleTime - received.front().sampleTime;
  EXPECT_LE(span, 1024.0 * 2 * (received.size() - 1));

  expectPacketsStopAndComeBack(
      [&] {
        setScreen(1);
        ASSERT_TRUE(runUntil(
            [&] { return device.log().find("vellamor2: Screen is off...") != std::string::npos; }));
      },
      [] { setScreen(0); }, device);
  EXPECT_NE(device.log().find("vellamor2: Screen is on..."), std::string::npos);

  // Paused through the daemon's control service: it renders silence, which is not captured.
  expectPacketsStopAndComeBack(
      [] {
        std::string reply;
        ASSERT_TRUE(control::request("mediaserverd", "pause", &reply)) << reply;
        ASSERT_TRUE(control::request("mediaserverd", "status", &reply)) << reply;
        EXPECT_NE(reply.find(" paused=1 "), std::string::npos) << reply;
      },
      [] { ASSERT_TRUE(control::request("mediaserverd", "resume", nullptr)); }, device);
  daemon.stop();
}

// The same renders give the same output file, whether the tweak is loaded or not.
TEST(CaptureSystem, TheOutputIsBitIdenticalWithAndWithoutTheTweak) {
  std::string outputs[2];
  for (int withTweak = 0; withTweak < 2; ++withTweak) {
    TempDevice device;
    makeDevice(device);
    if (!withTweak)
      fs::remove(device.path() / "Library/MobileSubstrate/DynamicLibraries/Vellamor2.plist");
    const fs::path wav = device.path() / "out.wav";
    ChildProcess daemon(mediaserverd(),
                        {"--output", "null", "--unpaced", "--frames", "512", "--renders", "400",
                         "--output-wav", wav.string()},
                        {}, device.path() / "mediaserverd.out");
    ASSERT_TRUE(waitFor([&] { return fs::exists(wav); })) << device.log();
    EXPECT_EQ(device.log().find("vellamor2: Found AUR") != std::string::npos, withTweak == 1);
    outputs[withTweak] = readFile(wav);
    daemon.stop();
  }
  EXPECT_GT(outputs[0].size(), 400u * 512 * 2 * 4);
  EXPECT_TRUE(outputs[0] == outputs[1]);
}

// Without AudioUnitRender in the device's AudioToolbox the daemon says so and renders on.
TEST(CaptureSystem, AMissingRenderSymbolLeavesTheDaemonRenderingWithoutCapture) {
  TempDevice device;
  makeDevice(device);
  const fs::path audioToolbox =
      device.path() / "System/Library/Frameworks/AudioToolbox.framework/AudioToolbox";
  fs::remove(audioToolbox);
  fs::create_symlink(testing_support::binaryDirectory() / "lib" / "libDevice.so", audioToolbox);
  const fs::path wav = device.path() / "out.wav";
  ChildProcess daemon(
      mediaserverd(),
      {"--output", "null", "--unpaced", "--renders", "100", "--output-wav", wav.string()}, {},
      device.path() / "mediaserverd.out");
  ASSERT_TRUE(waitFor([&] { return fs::exists(wav); })) << device.log();
  const std::string log = device.log();
  EXPECT_NE(log.find("vellamor2: Could not find AUR"), std::string::npos) << log;
  EXPECT_NE(log.find("vellamor2: Attempting to register screen on/off callbacks."),
            std::string::npos);
  EXPECT_GT(fs::file_size(wav), 100u * 1024 * 2 * 4);
  EXPECT_TRUE(daemon.running());
  daemon.stop();
}

// SpringBoard's screen through its control service: "blank" and "light".
TEST(CaptureSystem, SpringBoardAnnouncesItsScreen) {
  TempDevice device;
  makeDevice(device);
  int token = -1;
  ASSERT_EQ(notify_register_check("com.apple.springboard.hasBlankedScreen", &token),
            NOTIFY_STATUS_OK);
  ChildProcess springBoard(testing_support::binaryDirectory() / "bin" / "SpringBoard", {}, {},
                           device.path() / "SpringBoard.out");
  ASSERT_TRUE(waitFor([&] { return control::request("SpringBoard", "figures", nullptr); }))
      << device.log();
  auto state = [&] {
    std::uint64_t value = 99;
    notify_get_state(token, &value);
    return value;
  };
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(control::request("SpringBoard", "blank", nullptr));
    ASSERT_TRUE(waitFor([&] { return state() == 1; })) << device.log();
    ASSERT_TRUE(control::request("SpringBoard", "light", nullptr));
    ASSERT_TRUE(waitFor([&] { return state() == 0; })) << device.log();
  }
  springBoard.stop();
}

}  // namespace
