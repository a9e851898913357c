// The tweak's start-up inside each host: the fixed order of the load-time functions, the version
// gate, the hook groups each host gets (in order), the run-time classes and the state records.
// Each host runs in a child process of its own, as on the device.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CoreFoundation/CFBase.h>
#include <Foundation/Foundation.h>
#include <HostCommon/RuntimeClass.h>
#include <HostCommon/SystemVersion.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "MusicClasses.h"
#include "SpotifyClasses.h"
#include "SpringBoardClasses.h"
#include "TempDevice.h"
#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/Startup.h"

namespace {

namespace fs = std::filesystem;

// Runs `body` in a child process and returns what it wrote to `output`.
std::string runInChild(const std::function<void(int output)>& body) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    body(pipeEnds[1]);
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) text += "\n<child failed>";
  return text;
}

void put(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Names the process, sets the version, defines the host's classes and runs the start-up units
// (the records were already built when the library loaded into the test).
void startAsHost(const std::string& bundle, int generation, double coreFoundationVersion) {
  NSBundle::mainBundle()->setBundleIdentifier(bundle);
  kCFCoreFoundationVersionNumber = coreFoundationVersion;
  if (bundle == "com.apple.springboard") springboard::defineClasses(generation);
  if (bundle == "com.apple.Music") music::defineClasses(generation);
  if (bundle == "com.spotify.client") spotify::defineClasses(generation);
  for (const vellamor2::StartupStep& step : vellamor2::startupSequence())
    if (!step.constructsRecord) step.run();
}

// A device holding the iOS 9 lock-screen plug-in at its phone path.
class TweakStartup : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto plugin = device_.path() /
                        "System/Library/SpringBoardPlugins/NowPlayingArtLockScreen.lockbundle/"
                        "NowPlayingArtLockScreen";
    fs::create_directories(plugin.parent_path());
    fs::create_symlink(testing_support::binaryDirectory() / "lib/NowPlayingArtLockScreen", plugin);
  }
  testing_support::TempDevice device_;
};

TEST(TweakStartupOrder, LoadTimeFunctionsRunInTheirFixedOrder) {
  std::vector<std::string> names;
  for (const auto& step : vellamor2::startupSequence()) names.push_back(step.name);
  EXPECT_EQ(names, (std::vector<std::string>{"SpringBoardServer", "MediaServerHooks", "LockScreen",
                                             "lockscreenState", "MusicApp", "musicAppState",
                                             "SpotifyApp", "SPTState"}));
}

TEST(TweakStartupOrder, VersionGateSelectsIOS10OnlyAbove1299) {
  EXPECT_FALSE(vellamor2::selectsIOS10(1241.11));
  EXPECT_FALSE(vellamor2::selectsIOS10(1299.0));
  EXPECT_TRUE(vellamor2::selectsIOS10(std::nextafter(1299.0, 2000.0)));
  EXPECT_TRUE(vellamor2::selectsIOS10(1348.22));
}

struct HostCase {
  const char* name;
  const char* bundle;
  int generation;
  double coreFoundationVersion;
  std::vector<std::string> installed;  // in order, then the run-time classes present
  friend void PrintTo(const HostCase& host, std::ostream* out) { *out << host.name; }
};

class EachHost : public TweakStartup, public ::testing::WithParamInterface<HostCase> {};

TEST_P(EachHost, InstallsItsOwnGroupsInOrderAndNothingElse) {
  const HostCase& host = GetParam();
  const std::string report = runInChild([&](int output) {
    startAsHost(host.bundle, host.generation, host.coreFoundationVersion);
    for (const auto& entry : vellamor2::installedHooks()) put(output, entry + "\n");
    for (const char* cls : {"LSVellamorClass", "MAppVellamorClass"})
      if (objc_getClass(cls) != nullptr) put(output, std::string("class ") + cls + "\n");
  });
  std::string expected;
  for (const auto& line : host.installed) expected += line + "\n";
  EXPECT_EQ(report, expected);

  const int hookedLines = countOf(device_.log(), "vellamor2: Hooked ");
  const int expectedLines = std::string(host.bundle) == "com.apple.springboard"   ? 2
                            : std::string(host.bundle) == "com.apple.Preferences" ? 0
                                                                                  : 1;
  EXPECT_EQ(hookedLines, expectedLines) << device_.log();
  EXPECT_EQ(countOf(device_.log(), std::string("vellamor2: Hooked ") + host.bundle + "."),
            expectedLines);
  if (expectedLines == 0) {
    EXPECT_EQ(device_.log(), "");
  }
}

const std::vector<std::string> kSpringBoardCommon = {
    "SBServerHooks SpringBoard applicationDidFinishLaunching: replaced",
    "LSVellamorClass_Group LSVellamorClass viewDidAppearHooks added",
    "LSVellamorClass_Group LSVellamorClass viewDidDisappearHooks added",
};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string> kSpringBoardIOS9 =
    concat(kSpringBoardCommon,
           {"LSHooks_iOS9 NowPlayingArtPluginController viewDidAppear: replaced",
            "LSHooks_iOS9 NowPlayingArtPluginController viewDidDisappear: replaced",
            "LSHooks_iOS9 NowPlayingArtPluginController drawPlot: added",
            "LSHooks_iOS9 _NowPlayingArtView initWithFrame: replaced", "class LSVellamorClass"});

const std::vector<std::string> kMusicCommon = {
    "MAppVellamorClass_Group MAppVellamorClass viewDidLoadHooks added",
    "MAppVellamorClass_Group MAppVellamorClass CFRNHandle: added",
    "MAppVellamorClass_Group MAppVellamorClass CFCNHandle: added",
    "MAppVellamorClass_Group MAppVellamorClass getVellamorPrefs added",
    "MAppVellamorClass_Group MAppVellamorClass viewDidAppearHooks added",
    "MAppVellamorClass_Group MAppVellamorClass viewDidDisappearHooks added",
    "MAppVellamorClass_Group MAppVellamorClass drawPlot: added",
};

const std::vector<std::string> kMusicIOS10 = concat(
    kMusicCommon, {"_ungrouped Music.VideoView initWithFrame: replaced",
                   "_ungrouped Music.VideoView setVideoLayer: replaced",
                   "_ungrouped Music.VideoView layoutSubviews replaced",
                   "MAppHooks MusicNowPlayingControlsViewController viewDidLoad replaced",
                   "MAppHooks MusicNowPlayingControlsViewController viewDidAppear: replaced",
                   "MAppHooks MusicNowPlayingControlsViewController viewDidDisappear: replaced",
                   "class MAppVellamorClass"});

const std::vector<std::string> kSpotify = {
    "SPTAppHooks SPTNowPlayingCarouselAreaViewController viewDidLoad replaced",
    "SPTAppHooks SPTNowPlayingCarouselAreaViewController getVellamorPrefs added",
    "SPTAppHooks SPTNowPlayingCarouselAreaViewController viewDidAppear: replaced",
    "SPTAppHooks SPTNowPlayingCarouselAreaViewController viewDidDisappear: replaced",
    "SPTAppHooks SPTNowPlayingCarouselAreaViewController drawPlot: added",
    "SPTAppHooks SPTNowPlayingPreviousTrackButton setIconColor: replaced",
    "SPTAppHooks SPTNowPlayingPlayButton initWithFrame: replaced",
};

const double kJustAboveGate = std::nextafter(1299.0, 2000.0);

INSTANTIATE_TEST_SUITE_P(
    TweakStartup, EachHost,
    ::testing::Values(
        HostCase{"SpringBoardIOS10", "com.apple.springboard", 10, 1348.22,
                 concat(kSpringBoardCommon,
                        {"LSHooks SBDashBoardMediaArtworkViewController viewDidLoad replaced",
                         "LSHooks SBDashBoardMediaArtworkViewController "
                         "willRotateToInterfaceOrientation:duration: replaced",
                         "LSHooks SBDashBoardMediaArtworkViewController viewDidAppear: replaced",
                         "LSHooks SBDashBoardMediaArtworkViewController viewDidDisappear: replaced",
                         "LSHooks SBDashBoardMediaArtworkViewController drawPlot: added",
                         "class LSVellamorClass"})},
        HostCase{"SpringBoardIOS9", "com.apple.springboard", 9, 1241.11, kSpringBoardIOS9},
        HostCase{"SpringBoardAtTheGate", "com.apple.springboard", 9, 1299.0, kSpringBoardIOS9},
        HostCase{"MusicIOS10", "com.apple.Music", 10, 1348.22, kMusicIOS10},
        HostCase{"MusicJustAboveTheGate", "com.apple.Music", 10, kJustAboveGate, kMusicIOS10},
        HostCase{"MusicIOS9", "com.apple.Music", 9, 1241.11,
                 concat(kMusicCommon,
                        {"MAppHooks_iOS9 MusicNowPlayingViewController _updateNowPlayingInfo "
                         "replaced",
                         "MAppHooks_iOS9 MusicNowPlayingViewController viewDidLoad replaced",
                         "MAppHooks_iOS9 MusicNowPlayingViewController viewDidAppear: replaced",
                         "MAppHooks_iOS9 MusicNowPlayingViewController viewDidDisappear: replaced",
                         "MAppHooks_iOS9 MusicNowPlayingVideoViewController viewDidAppear: "
                         "replaced",
                         "class MAppVellamorClass"})},
        HostCase{"SpotifyIOS10", "com.spotify.client", 10, 1348.22, kSpotify},
        HostCase{"SpotifyIOS9", "com.spotify.client", 9, 1241.11, kSpotify},
        HostCase{"AudioDaemon", "com.apple.mediaserverd", 10, 1348.22, {}},
        HostCase{"SettingsApp", "com.apple.Preferences", 10, 1348.22, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TweakStartup, HooksRunTheHostsOwnImplementationsWithTheSameArguments) {
  const std::string report = runInChild([](int output) {
    startAsHost("com.apple.Music", 10, 1348.22);
    StrongRef<NSObject> video =
        StrongRef<NSObject>::adopt(host::newView("Music.VideoView", 10, 20, 300, 200));
    const CGRect frame = msgSend<CGRect>(video.get(), "frame");
    put(output, object_getClassName(video.get()) + std::string(" ") +
                    std::to_string(frame.origin.x) + " " + std::to_string(frame.origin.y) + " " +
                    std::to_string(frame.size.width) + " " + std::to_string(frame.size.height));
  });
  EXPECT_EQ(report, "Music.VideoView 10.000000 20.000000 300.000000 200.000000");

  const std::string launched = runInChild([](int output) {
    startAsHost("com.apple.springboard", 10, 1348.22);
    springboard::launch();
    put(output, springboard::hasLaunched() ? "launched" : "not launched");
  });
  EXPECT_EQ(launched, "launched");
}

// ---- State records ------------------------------------------------------------------------------

TEST(StateRecords, AreBuiltEmptyInAProcessThatIsNoHost) {
  // The library loaded into this test, which names no bundle: only the records were built.
  ASSERT_TRUE(lockscreenState.constructed());
  ASSERT_TRUE(musicAppState.constructed());
  ASSERT_TRUE(SPTState.constructed());
  EXPECT_EQ(lockscreenState->plot.get(), nullptr);
  EXPECT_EQ(lockscreenState->savedBackgroundColor.get(), nullptr);
  EXPECT_EQ(musicAppState->plot.get(), nullptr);
  EXPECT_EQ(SPTState->displayLink.get(), nullptr);
  EXPECT_EQ(objc_getClass("LSVellamorClass"), nullptr);
  EXPECT_TRUE(vellamor2::installedHooks().empty());
}

// Writes its name to `fd` when released for the last time.
class Tracer : public NSObject {
 public:
  Tracer(int fd, const char* name) : fd_(fd), name_(name) {}
  ~Tracer() override { put(fd_, std::string(name_) + " "); }

 private:
  int fd_;
  const char* name_;
};

TEST(StateRecords, HoldTheirFieldsUntilExitAndReleaseThemInReverseOrder) {
  const std::string released = runInChild([](int output) {
    auto& record = lockscreenState.get();
    record.plot = objc::make<Tracer>(output, "plot");
    record.hostView = objc::make<Tracer>(output, "hostView");
    record.artworkView = objc::make<Tracer>(output, "artworkView");
    record.displayLink = objc::make<Tracer>(output, "displayLink");
    record.savedSecondaryColor = objc::make<Tracer>(output, "savedSecondaryColor");
    record.savedPrimaryColor = objc::make<Tracer>(output, "savedPrimaryColor");
    record.savedBackgroundColor = objc::make<Tracer>(output, "savedBackgroundColor");
    // The record's reference is the only one: nothing released so far, nothing extra kept.
    put(output, record.plot->retainCount() == 1 ? "held " : "miscounted ");
    std::exit(0);  // the exit-time destructors run here
  });
  EXPECT_EQ(released,
            "held savedBackgroundColor savedPrimaryColor savedSecondaryColor displayLink "
            "artworkView hostView plot ");
}

}  // namespace
