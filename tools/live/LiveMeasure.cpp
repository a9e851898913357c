#include "LiveMeasure.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "Percentile.h"

namespace live {
namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t nowNanoseconds() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
          .count());
}

// CPU (user and system) that `pid` has used, in ns; 0 when it is gone.
std::uint64_t processCpuNanoseconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  // After the name: state (3), then fields 4 … 13, utime (14) and stime (15).
  const char* at = text.c_str() + close + 2;
  unsigned long long user = 0, system = 0;
  if (std::sscanf(at, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
    return 0;
  return (user + system) *
         (1'000'000'000ull / static_cast<unsigned long long>(sysconf(_SC_CLK_TCK)));
}

// One frame as the client received it.
struct Arrival {
  std::string host;
  std::uint64_t at = 0;     // steady clock, ns
  std::size_t picture = 0;  // a hash of its JPEG
};

// A page: reads the event stream and keeps every frame's arrival.
class PageClient {
 public:
  explicit PageClient(std::uint16_t port) : client_("127.0.0.1", port) {
    client_.set_read_timeout(5, 0);
    thread_ = std::thread([this] { read(); });
  }
  ~PageClient() {
    stopping_ = true;
    client_.stop();
    thread_.join();
  }

  std::vector<Arrival> arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }
  // The CPU the client's own thread took, to leave it out of the server's.
  std::uint64_t cpuNanoseconds() {
    clockid_t clock{};
    timespec used{};
    if (pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 ||
        clock_gettime(clock, &used) != 0)
      return 0;
    return static_cast<std::uint64_t>(used.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(used.tv_nsec);
  }

 private:
  void read() {
    std::string pending;
    client_.Get("/events", [&](const char* data, std::size_t length) {
      pending.append(data, length);
      for (std::size_t end; (end = pending.find("\n\n")) != std::string::npos;) {
        take(std::string_view(pending).substr(0, end));
        pending.erase(0, end + 2);
      }
      return !stopping_.load();
    });
  }
  void take(std::string_view event) {
    if (event.rfind("event: frame\n", 0) != 0) return;
    const auto field = [&](std::string_view key) {  // key: "name":"
      const auto start = event.find(key);
      if (start == std::string_view::npos) return std::string_view();
      const auto from = start + key.size();
      return event.substr(from, event.find('"', from) - from);
    };
    Arrival arrival{std::string(field("\"host\":\"")), nowNanoseconds(),
                    std::hash<std::string_view>{}(field("\"jpeg\":\""))};
    std::lock_guard lock(mutex_);
    arrivals_.push_back(std::move(arrival));
  }

  httplib::Client client_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<Arrival> arrivals_;
  std::thread thread_;
};

bool waitUnless(const MeasureSetup& setup, std::chrono::milliseconds time) {
  const auto until = Clock::now() + time;
  while (Clock::now() < until) {
    if (setup.interrupted != nullptr && setup.interrupted->load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

std::string measureLivePage(const MeasureSetup& setup) {
  PageClient page(setup.port);
  // Frames come once the page's server has asked for them and each screen drew one.
  waitUnless(setup, std::chrono::seconds(3));

  // Frames per second while the track plays, and the CPU meanwhile.
  auto cpuOfAll = [&] {
    std::uint64_t device = 0;
    for (pid_t pid : setup.devicePids) device += processCpuNanoseconds(pid);
    return std::pair(device, processCpuNanoseconds(::getpid()) - page.cpuNanoseconds());
  };
  const auto [deviceBefore, serverBefore] = cpuOfAll();
  const std::uint64_t from = nowNanoseconds();
  waitUnless(setup, setup.playing);
  const std::uint64_t to = nowNanoseconds();
  const auto [deviceAfter, serverAfter] = cpuOfAll();
  std::map<std::string, int> framesOf;
  for (const Arrival& arrival : page.arrivals())
    if (arrival.at >= from && arrival.at < to) ++framesOf[arrival.host];

  // Render to page: pause until the screens hold still, resume, and wait for each screen's
  // first different frame.
  std::map<std::string, std::vector<double>> roadOf;
  std::vector<double> road;
  for (int round = 0; round < setup.rounds; ++round) {
    setup.pauseAudio(true);
    if (!waitUnless(setup, std::chrono::milliseconds(300))) break;
    std::map<std::string, std::size_t> still;
    for (const Arrival& arrival : page.arrivals()) still[arrival.host] = arrival.picture;
    const std::uint64_t resumed = nowNanoseconds();
    setup.pauseAudio(false);
    if (!waitUnless(setup, std::chrono::milliseconds(700))) break;
    std::map<std::string, bool> seen;
    for (const Arrival& arrival : page.arrivals()) {
      if (arrival.at <= resumed || seen[arrival.host] || arrival.picture == still[arrival.host])
        continue;
      seen[arrival.host] = true;
      const double milliseconds = static_cast<double>(arrival.at - resumed) / 1e6;
      roadOf[arrival.host].push_back(milliseconds);
      road.push_back(milliseconds);
    }
  }
  setup.pauseAudio(false);

  const double seconds = static_cast<double>(to - from) / 1e9;
  double loads[1] = {0};
  getloadavg(loads, 1);
  std::string report;
  char line[256];
  std::snprintf(line, sizeof line,
                "live page, measured from its event stream over %.1f s of play and %d pauses "
                "(load average %.1f on %ld cores):\n",
                seconds, setup.rounds, loads[0], sysconf(_SC_NPROCESSORS_ONLN));
  report += line;
  for (const std::string& host : setup.screens) {
    auto& times = roadOf[host];
    std::snprintf(line, sizeof line,
                  "  %-12s %5.1f frames/s  render->page median %6.1f ms p99 %6.1f ms (%zu)  "
                  "longest main-thread hold %s\n",
                  host.c_str(), framesOf[host] / seconds, figures::percentile(times, 50),
                  figures::percentile(times, 99), times.size(), setup.longestHold(host).c_str());
    report += line;
  }
  for (const std::string& host : setup.changingScreens) {
    std::snprintf(line, sizeof line,
                  "  %-12s frames only when it changes: %d in %.1f s, none from a render  "
                  "longest main-thread hold %s\n",
                  host.c_str(), framesOf[host], seconds, setup.longestHold(host).c_str());
    report += line;
  }
  const double deviceCores = static_cast<double>(deviceAfter - deviceBefore) / 1e9 / seconds;
  const double serverCores = static_cast<double>(serverAfter - serverBefore) / 1e9 / seconds;
  std::snprintf(line, sizeof line,
                "  every screen  render->page median %.1f ms p99 %.1f ms (%zu)\n"
                "  CPU: device %.2f + page's server %.2f = %.2f cores\n",
                figures::percentile(road, 50), figures::percentile(road, 99), road.size(),
                deviceCores, serverCores, deviceCores + serverCores);
  report += line;
  return report;
}

}  // namespace live
