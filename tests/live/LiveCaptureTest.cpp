// The audio daemon's live capture against a real sound server: a PulseAudio of the test's own
// (a user daemon with a null sink, in the test's folder) plays a known tone; SpringBoard's
// history, which the lock screen draws from, holds the tone's pitch; and when the sound server
// goes away mid-capture the daemon carries on with silence and says so in the log.

#include <CoreFoundation/CFRunLoop.h>
#include <gtest/gtest.h>
#include <pulse/simple.h>
#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Launcher/DeviceInstaller.h"
#include "Launcher/Launcher.h"
#include "TempDevice.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::recordedPid;
using testing_support::waitFor;

constexpr double kToneHertz = 1000;
constexpr unsigned kSampleRate = 44100;

// Plays a sine into the sound server's default sink until stopped.
class TonePlayer {
 public:
  TonePlayer() : thread_([this] { play(); }) {}
  ~TonePlayer() {
    playing_ = false;
    thread_.join();
  }

 private:
  void play() {
    pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kSampleRate, 1};
    pa_simple* stream = pa_simple_new(nullptr, "tone", PA_STREAM_PLAYBACK, nullptr, "tone", &spec,
                                      nullptr, nullptr, nullptr);
    if (stream == nullptr) return;
    std::vector<float> chunk(1024);
    for (std::uint64_t frame = 0; playing_;) {
      for (float& sample : chunk)
        sample = 0.5f * static_cast<float>(std::sin(2 * M_PI * kToneHertz * frame++ / kSampleRate));
      if (pa_simple_write(stream, chunk.data(), chunk.size() * sizeof(float), nullptr) < 0) break;
    }
    pa_simple_free(stream);
  }

  std::atomic<bool> playing_{true};
  std::thread thread_;
};

// The pitch of the newest packet of channel 0 in SpringBoard's history (message 2), from its
// rising zero crossings; 0 when there is no history or no sound.
double newestPitch() {
  LMConnection connection{};
  std::memcpy(connection.name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
  auto buffer = std::make_unique<LMResponseBuffer>();
  int32_t blank = 0;
  if (LMConnectionSendTwoWay(&connection, 2, &blank, sizeof blank, buffer.get()) != 0) return 0;
  double pitch = 0;
  const auto* history = static_cast<const serverDataStruct*>(LMMessageGetData(&buffer->message));
  if (history != nullptr && LMMessageGetDataLength(&buffer->message) == sizeof(serverDataStruct)) {
    const int frames = history->numberFrames;
    if (frames > 0 && frames <= 4096) {
      const float* newest = history->data[0] + (20 - 1) * frames;
      int crossings = 0;
      for (int i = 1; i < frames; ++i)
        if (newest[i - 1] < 0 && newest[i] >= 0) ++crossings;
      pitch = static_cast<double>(crossings) * kSampleRate / frames;
    }
  }
  LMResponseBufferFree(buffer.get());
  return pitch;
}

TEST(LiveCapture, TheHistoryHoldsTheSoundServersToneAndTheDaemonOutlivesTheServer) {
  if (!fs::exists("/usr/bin/pulseaudio")) GTEST_SKIP() << "no pulseaudio (./vellamor installs it)";
  testing_support::TempDevice device;
  const fs::path runtime = device.path() / "sound-server";
  fs::create_directories(runtime);
  const std::string socket = (runtime / "native").string();
  ChildProcess soundServer("/usr/bin/pulseaudio",
                           {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                            "--load=module-native-protocol-unix socket=" + socket,
                            "--load=module-null-sink sink_name=tone rate=44100"},
                           {"HOME=" + runtime.string(), "XDG_RUNTIME_DIR=" + runtime.string(),
                            "PULSE_RUNTIME_PATH=" + (runtime / "run").string(),
                            "PULSE_STATE_PATH=" + (runtime / "state").string()},
                           runtime / "pulseaudio.log");
  ASSERT_TRUE(waitFor([&] { return fs::exists(socket); }, std::chrono::seconds(20)));
  ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);

  std::string error;
  ASSERT_TRUE(launcher::createDevice(device.path(), 10, launcher::currentBuild(), &error)) << error;
  ::setenv("VELLAMOR_MEDIASERVERD_OPTIONS",
           "--audio-source live --live-device tone.monitor --output null", 1);
  ASSERT_TRUE(launcher::up(&error)) << error;
  {
    TonePlayer tone;
    double pitch = 0;
    EXPECT_TRUE(waitFor(
        [&] {
          pitch = newestPitch();
          return std::fabs(pitch - kToneHertz) < 0.1 * kToneHertz;
        },
        std::chrono::seconds(20)))
        << "the history's newest packet sounds at " << pitch << " Hz";
  }

  const pid_t daemon = recordedPid(device.path(), "mediaserverd");
  soundServer.stop();
  EXPECT_TRUE(waitFor(
      [&] {
        return device.log().find("live capture ended: the sound server went away") !=
               std::string::npos;
      },
      std::chrono::seconds(20)))
      << device.log();
  EXPECT_EQ(recordedPid(device.path(), "mediaserverd"), daemon);
  EXPECT_EQ(::kill(daemon, 0), 0) << "the audio daemon went with the sound server";
  ::unsetenv("PULSE_SERVER");
  EXPECT_TRUE(launcher::down(&error)) << error;
}

}  // namespace
