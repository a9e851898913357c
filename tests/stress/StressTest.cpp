// The stress suite: hostile datagrams, a client that never reads, the hub killed, stopped and
// doubled, clients and settings writers killed mid-way, a foreign user, planted links, a flood of
// settings changes and a soak with the audio daemon restarted. Each case prints its figures.

#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <gtest/gtest.h>
#include <mach/mach.h>
#include <notify.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "StressDevice.h"
#include "Vellamor2/SettingsManager.h"
#include "Vellamor2/SharedRecords.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using stress::count;
using stress::figure;
using stress::StressDevice;
using testing_support::waitFor;

std::string of(std::size_t part, std::size_t whole) {
  return std::to_string(part) + " of " + std::to_string(whole);
}

std::string change(long before, long after) {
  return std::to_string(before) + " -> " + std::to_string(after);
}

// Spins (the scenario's own pacing, not a wait for a condition) for `duration`.
void pause(std::chrono::microseconds duration) {
  const auto until = Clock::now() + duration;
  while (Clock::now() < until) std::this_thread::yield();
}

void sendRaw(const fs::path& socketPath, const std::vector<uint8_t>& bytes) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ::sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
  ::close(fd);
}

TEST(Stress, HostileDatagramsAreDroppedAndTheHubAnswers) {
  StressDevice device;
  device.startHub();
  const int total = count(300, 20000);
  std::mt19937 random(15);
  const fs::path socket = device.serviceSocket();
  for (int i = 0; i < total; ++i) {
    std::vector<uint8_t> bytes(random() % 200);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    // Every other one starts like the real thing: the envelope's magic and plausible sizes.
    if (i % 2 == 0 && bytes.size() >= 92) {
      const uint32_t magic = 0x4d534756, size = static_cast<uint32_t>(bytes.size() - 64);
      std::memcpy(bytes.data(), &magic, 4);
      std::memcpy(bytes.data() + 4, &size, 4);
      std::memcpy(bytes.data() + 64 + 4, &size, 4);
    }
    sendRaw(socket, bytes);
  }
  LMConnection connection = stress::serviceConnection();
  const int attempts = StressDevice::historyUntilAnswered(connection);
  EXPECT_GT(attempts, 0);
  EXPECT_TRUE(device.hub()->running());
  figure("hostile datagrams sent", std::to_string(total));
  figure("hub alive and answering after them", attempts > 0 ? "yes" : "no");
}

TEST(Stress, AClientThatNeverReadsHoldsNobodyUp) {
  StressDevice device;
  device.startHub();
  LMConnection stuck = stress::serviceConnection();
  mach_port_t neverRead = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &neverRead), 0);
  const int requests = count(40, 400);
  for (int i = 0; i < requests; ++i) {
    LMResponseBuffer request;
    std::memset(&request.message, 0, sizeof request.message);
    request.message.head.msgh_bits =
        MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND_ONCE);
    request.message.head.msgh_size = LMBufferSizeForLength(sizeof blankmsg);
    request.message.head.msgh_local_port = neverRead;
    request.message.head.msgh_id = kHistorySnapshotMessageId;
    LMMessageAssignData(&request.message, &blankmsg, sizeof blankmsg);
    LMMachMsg(&stuck, &request.message.head, MACH_SEND_MSG | MACH_SEND_TIMEOUT,
              request.message.head.msgh_size, 0, MACH_PORT_NULL, 50, MACH_PORT_NULL);
  }
  LMConnection other = stress::serviceConnection();
  const int exchanges = count(20, 200);
  int answered = 0;
  // A busy machine may time out one call; a held hub would answer none.
  for (int i = 0; i < exchanges; ++i)
    answered += StressDevice::historyUntilAnswered(other, std::chrono::seconds(2)) > 0 ? 1 : 0;
  mach_port_mod_refs(mach_task_self(), neverRead, MACH_PORT_RIGHT_RECEIVE, -1);
  EXPECT_EQ(answered, exchanges);
  figure("requests naming a reply port never read", std::to_string(requests));
  figure("other clients' history requests answered meanwhile", of(answered, exchanges));
}

TEST(Stress, ClientsRecoverFromEveryHubKill) {
  StressDevice device;
  device.startHub();
  LMConnection connection = stress::serviceConnection();
  ASSERT_TRUE(StressDevice::history(connection));
  const pid_t self = ::getpid();
  const std::size_t descriptors = stress::descriptorCount(self);
  const std::size_t memfds = stress::memfdMappings(self);
  const int kills = count(5, 100);
  int survived = 0, mostAttempts = 0;
  for (int kill = 0; kill < kills; ++kill) {
    device.killHub();
    device.startHub();
    const int attempts = StressDevice::historyUntilAnswered(connection);
    if (attempts > 0) ++survived;
    mostAttempts = std::max(mostAttempts, attempts);
  }
  EXPECT_EQ(survived, kills);
  EXPECT_EQ(stress::descriptorCount(self), descriptors);
  EXPECT_EQ(stress::memfdMappings(self), memfds) << "the pools of dead hubs stay mapped";
  figure("hub kills survived", of(survived, kills));
  figure("most exchanges until a client recovered", std::to_string(mostAttempts));
  figure("client descriptors", change(descriptors, stress::descriptorCount(self)));
  figure("client memfd mappings", change(memfds, stress::memfdMappings(self)));
}

TEST(Stress, AStoppedHubHoldsNoClientCallPastItsTimeOuts) {
  StressDevice device;
  device.startHub();
  const auto stopped = std::chrono::seconds(stress::longRun() ? 10 : 1);
  std::atomic<bool> done{false};
  std::atomic<long> longestMicroseconds{0};
  std::atomic<int> calls{0};
  std::thread client([&] {
    LMConnection connection = stress::serviceConnection();
    while (!done) {
      const auto start = Clock::now();
      StressDevice::history(connection);
      const long took =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
      longestMicroseconds = std::max(longestMicroseconds.load(), took);
      ++calls;
    }
  });
  device.hub()->signal(SIGSTOP);
  const auto resume = Clock::now() + stopped;
  waitFor([&] { return Clock::now() >= resume; }, stopped + std::chrono::seconds(1));
  device.hub()->signal(SIGCONT);
  LMConnection after = stress::serviceConnection();
  EXPECT_GT(StressDevice::historyUntilAnswered(after), 0);
  done = true;
  client.join();
  figure("hub stopped for (s)", std::to_string(stopped.count()));
  figure("client calls meanwhile", std::to_string(calls.load()));
  figure("longest client call (ms)", std::to_string(longestMicroseconds.load() / 1000.0));
}

TEST(Stress, ClientsKilledMidReplyLeaveTheHubAsItWas) {
  StressDevice device;
  device.startHub();
  const pid_t hub = device.hub()->pid();
  const std::size_t hubDescriptors = stress::descriptorCount(hub);
  const std::size_t hubMemfds = stress::memfdMappings(hub);
  const int clients = count(100, 10000);
  std::mt19937 random(7);
  for (int i = 0; i < clients; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      LMConnection connection = stress::serviceConnection();
      for (;;) StressDevice::history(connection);
    }
    pause(std::chrono::microseconds(random() % 3000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  LMConnection connection = stress::serviceConnection();
  EXPECT_GT(StressDevice::historyUntilAnswered(connection), 0);
  EXPECT_TRUE(waitFor([&] { return stress::descriptorCount(hub) <= hubDescriptors; }));
  const auto ports = [&] {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(device.path() / "run/ports"))
      ++n;
    return n;
  };
  const std::size_t left = ports();
  const std::size_t cleared = mach_stand_in::removeDeadPortSockets();
  figure("clients killed mid-exchange", std::to_string(clients));
  figure("hub descriptors", change(hubDescriptors, stress::descriptorCount(hub)));
  figure("hub memfd mappings", change(hubMemfds, stress::memfdMappings(hub)));
  figure("port sockets left / cleared by a sweep",
         std::to_string(left) + " / " + std::to_string(cleared));
  EXPECT_EQ(mach_stand_in::removeDeadPortSockets(), 0u);
  EXPECT_TRUE(fs::exists(fs::symlink_status(device.serviceSocket())));
}

TEST(Stress, AForeignUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  StressDevice device;
  device.startHub();
  const fs::path socket = device.serviceSocket();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    LMConnection connection = stress::serviceConnection();
    const bool answered = StressDevice::history(connection);
    std::vector<uint8_t> bytes(100, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    const bool reached = ::sendto(fd, bytes.data(), bytes.size(), 0,
                                  reinterpret_cast<sockaddr*>(&address), sizeof address) >= 0;
    ::_exit(answered ? 1 : reached ? 2 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  LMConnection connection = stress::serviceConnection();
  EXPECT_TRUE(StressDevice::history(connection));
  figure("foreign user refused", WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "yes" : "no");
}

// Runs `vellamor ARGS...` to its end; true when it succeeded.
bool vellamor(const std::vector<std::string>& arguments, const fs::path& output) {
  testing_support::ChildProcess tool(testing_support::binaryDirectory() / "bin/vellamor", arguments,
                                     {}, output);
  const auto status = tool.wait(std::chrono::seconds(60));
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

TEST(Stress, LinksPlantedInTheDeviceAreNeverWrittenThrough) {
  StressDevice device;
  const fs::path outside = device.path().string() + "-outside";
  fs::create_directories(outside);
  const std::vector<std::string> planted = {
      "run/log",
      "run/launcher.out",
      "run/mediaserverd.out",
      "run/SpringBoard.out",
      "run/Music.out",
      "run/Spotify.out",
      "run/Preferences.out",
      "run/pids/launcher.pid",
      "run/pids/SpringBoard.pid",
      "run/bootstrap/org.vellamor2.service",
      "run/notify/state/com.apple.springboard.hasBlankedScreen",
      "var/mobile/Library/Preferences/org.vellamor2.service.plist",
      "var/mobile/Library/Preferences/.org.vellamor2.service.plist.lock"};
  for (std::size_t i = 0; i < planted.size(); ++i) {
    const fs::path link = device.path() / planted[i];
    fs::create_directories(link.parent_path());
    std::ofstream(outside / std::to_string(i)) << "target " << i;
    fs::create_symlink(outside / std::to_string(i), link);
  }
  EXPECT_TRUE(vellamor({"device", "up"}, outside / "tool.out"));
  CFPreferencesSetAppValue("BarsNumber", NSNumber::numberWithInt(9).get(),
                           kVellamorServiceIdentifier);
  CFPreferencesAppSynchronize(kVellamorServiceIdentifier);
  EXPECT_TRUE(vellamor({"device", "down"}, outside / "tool.out"));
  std::size_t untouched = 0;
  for (std::size_t i = 0; i < planted.size(); ++i) {
    std::ifstream in(outside / std::to_string(i));
    std::string text;
    std::getline(in, text);
    if (text == "target " + std::to_string(i))
      ++untouched;
    else
      ADD_FAILURE() << planted[i] << " was written through";
  }
  fs::remove_all(outside);
  figure("links planted", std::to_string(planted.size()));
  figure("targets untouched", of(untouched, planted.size()));
}

TEST(Stress, TwoHubsAtOnceHaveOneWinner) {
  StressDevice device;
  const int rounds = count(3, 20);
  int oneWinner = 0, cleanLosers = 0;
  for (int round = 0; round < rounds; ++round) {
    auto first = device.start("SpringBoard");
    auto second = device.start("SpringBoard");
    const bool decided = waitFor([&] { return !first->running() || !second->running(); });
    auto& loser = first->running() ? second : first;
    auto& winner = first->running() ? first : second;
    const auto loserStatus = loser->wait();
    LMConnection connection = stress::serviceConnection();
    const bool served = StressDevice::historyUntilAnswered(connection) > 0 && winner->running() &&
                        fs::exists(device.path() / "run/control/SpringBoard");
    if (decided && served) ++oneWinner;
    if (loserStatus && WIFEXITED(*loserStatus) && WEXITSTATUS(*loserStatus) == 0) ++cleanLosers;
    if (connection.port != MACH_PORT_NULL) mach_port_deallocate(mach_task_self(), connection.port);
    winner->stop();
  }
  EXPECT_EQ(oneWinner, rounds);
  EXPECT_EQ(cleanLosers, rounds);
  figure("rounds with one serving winner", of(oneWinner, rounds));
  figure("second hubs that ended cleanly", of(cleanLosers, rounds));
}

TEST(Stress, SettingsWritersKilledMidWriteLeaveNoTornFile) {
  StressDevice device;
  const char* domain = kVellamorServiceIdentifier;
  const int writers = count(20, 200);
  std::mt19937 random(3);
  int torn = 0, readable = 0;
  for (int i = 0; i < writers; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      for (int value = 0;; ++value) {
        CFPreferencesSetAppValue("BarsNumber", NSNumber::numberWithInt(value).get(), domain);
        CFPreferencesAppSynchronize(domain);
      }
    }
    pause(std::chrono::microseconds(random() % 20000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    CFPreferencesAppSynchronize(domain);
    CFPropertyListRef value = CFPreferencesCopyAppValue("BarsNumber", domain);
    const bool exists = fs::exists(device.path() / "var/mobile/Library/Preferences" /
                                   (std::string(domain) + ".plist"));
    if (exists && value == nullptr) ++torn;
    if (value != nullptr) {
      ++readable;
      CFRelease(value);
    }
  }
  EXPECT_EQ(torn, 0);
  std::size_t temporaries = 0;
  for (const auto& entry : fs::directory_iterator(device.path() / "var/mobile/Library/Preferences"))
    if (entry.path().extension() == ".tmp") ++temporaries;
  figure("settings writers killed mid-write", std::to_string(writers));
  figure("torn or unreadable settings files", std::to_string(torn));
  figure("reads that found the value", of(readable, writers));
  figure("temporary files left by killed writers", std::to_string(temporaries));
}

TEST(Stress, ManySettingsChangesEndOnTheLastValue) {
  StressDevice device;
  device.startHub();
  const int changes = count(200, 10000);
  for (int i = 1; i <= changes; ++i) {
    CFPreferencesSetAppValue("BarsNumber", NSNumber::numberWithInt(i).get(),
                             kVellamorServiceIdentifier);
    CFPreferencesAppSynchronize(kVellamorServiceIdentifier);
    notify_post(vellamor2::preferencesChangedNotification());
  }
  LMConnection connection = stress::serviceConnection();
  long seen = -1;
  const bool final = waitFor([&] {
    auto buffer = std::make_unique<LMResponseBuffer>();
    if (LMConnectionSendTwoWay(&connection, kPreferencesMessageId, &blankmsg, sizeof blankmsg,
                               buffer.get()) != KERN_SUCCESS)
      return false;
    StrongRef<NSObject> object = NSKeyedUnarchiver::unarchiveObjectWithBytes(
        LMMessageGetData(&buffer->message), LMMessageGetDataLength(&buffer->message));
    LMResponseBufferFree(buffer.get());
    if (auto* settings = objc::cast<NSDictionary>(object.get()))
      seen = settings->integerValue("barsNumber");
    return seen == changes;
  });
  EXPECT_TRUE(final) << seen;
  figure("settings changes", std::to_string(changes));
  figure("final value seen by the hub",
         final ? "yes (no stale value)" : "no: " + std::to_string(seen));
}

TEST(Stress, SoakWithTheAudioDaemonRestarted) {
  StressDevice device;
  device.startHub();
  auto daemon = device.start("mediaserverd");
  const pid_t hub = device.hub()->pid();
  LMConnection connection = stress::serviceConnection();
  ASSERT_GT(StressDevice::historyUntilAnswered(connection), 0);
  const std::size_t descriptors = stress::descriptorCount(hub);
  const std::size_t memfds = stress::memfdMappings(hub);
  const long memory = stress::residentKilobytes(hub);
  const auto length =
      stress::longRun() ? std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::ratio<60>>(stress::soakMinutes()))
                        : Clock::duration(std::chrono::seconds(4));
  const auto restartEvery = stress::longRun() ? std::chrono::seconds(30) : std::chrono::seconds(2);
  const auto end = Clock::now() + length;
  auto nextRestart = Clock::now() + restartEvery;
  long requests = 0, answered = 0, restarts = 0;
  while (Clock::now() < end) {
    ++requests;
    if (StressDevice::history(connection)) ++answered;
    if (Clock::now() >= nextRestart) {
      daemon->signal(SIGKILL);
      daemon->wait();
      daemon = device.start("mediaserverd");
      ++restarts;
      nextRestart += restartEvery;
    }
  }
  daemon->stop();
  const double rate = requests > 0 ? 100.0 * answered / requests : 0;
  EXPECT_GE(rate, stress::longRun() ? 99.9 : 99.0) << "calls time out only on a starved machine";
  char text[64];
  std::snprintf(text, sizeof text, "%ld of %ld (%.3f %%)", answered, requests, rate);
  figure("soak history requests answered", text);
  figure("audio daemon restarts", std::to_string(restarts));
  figure("hub descriptors", change(descriptors, stress::descriptorCount(hub)));
  figure("hub memfd mappings", change(memfds, stress::memfdMappings(hub)));
  figure("hub memory (kB)", change(memory, stress::residentKilobytes(hub)));
}

}  // namespace
