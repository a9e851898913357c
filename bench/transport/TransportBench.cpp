// Round trips between this process and a forked service process in the two shapes that matter:
// the history (4-byte request, 655,372-byte out-of-line reply) and the audio packet (32,784-byte
// out-of-line request, 4-byte reply). Each reports its p50 and p99 and the p50 and p99 of a
// memcpy of the same bytes measured in the same run, where the time went (the p50 of each leg:
// the request until the service's callback has it, the callback's reply, the reply until the
// client has it) and the service's CPU time per exchange. At the audio daemon's pace, the packet's
// exchange gives the client's CPU per exchange beside a bare ping's at the same pace.

#include <CoreFoundation/CFRunLoop.h>
#include <benchmark/benchmark.h>
#include <servers/bootstrap.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "Percentile.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace {

constexpr uint32_t kHistoryBytes = 655372;
constexpr uint32_t kPacketBytes = 32784;
constexpr const char* kServiceName = "org.vellamor2.bench";

using Clock = std::chrono::steady_clock;

std::vector<uint8_t>& historyBody() {
  static std::vector<uint8_t> body(kHistoryBytes, 0x3c);
  return body;
}

// When the service's callback took each request and when its reply had gone, in steady-clock
// nanoseconds, kept by the forked service in memory shared with the client.
struct CallbackTimes {
  static constexpr std::size_t kSlots = 1 << 16;
  std::atomic<uint64_t> count{0};
  int64_t entered[kSlots];
  int64_t replied[kSlots];
};
CallbackTimes* callbackTimes = nullptr;

int64_t nanosecondsNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void answer(CFMachPortRef, void* msg, CFIndex, void*) {
  const int64_t entered = nanosecondsNow();
  auto* message = static_cast<LMMessage*>(msg);
  const mach_port_t reply = message->head.msgh_remote_port;
  if (message->head.msgh_id == 2)
    LMSendReply(reply, historyBody().data(), kHistoryBytes);
  else
    LMSendReply(reply, &okay, sizeof okay);
  const uint64_t slot =
      callbackTimes->count.load(std::memory_order_relaxed) % CallbackTimes::kSlots;
  callbackTimes->entered[slot] = entered;
  callbackTimes->replied[slot] = nanosecondsNow();
  callbackTimes->count.fetch_add(1, std::memory_order_release);
  LMResponseBufferFree(message);
}

// The service: forked once, ended by its pid when the benchmarks finish.
class Service {
 public:
  static Service& shared() {
    static Service service;
    return service;
  }
  bool ready() const { return ready_; }
  pid_t pid() const { return pid_; }

 private:
  Service() {
    char directory[] = "/tmp/bench_transport.XXXXXX";
    if (!mkdtemp(directory)) return;
    void* shared = mmap(nullptr, sizeof(CallbackTimes), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    callbackTimes = new (shared) CallbackTimes;
    directory_ = directory;
    setenv("VELLAMOR_DEVICE", directory, 1);
    pid_ = fork();
    if (pid_ == 0) {
      historyBody();
      if (LMStartService(kServiceName, CFRunLoopGetMain(), answer) != KERN_SUCCESS) _exit(1);
      CFRunLoopRun();
      _exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      mach_port_t port = MACH_PORT_NULL;
      if (bootstrap_look_up(0, kServiceName, &port) == BOOTSTRAP_SUCCESS) {
        mach_port_deallocate(mach_task_self(), port);
        ready_ = true;
        break;
      }
      usleep(1000);
    }
  }
  ~Service() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
  }
  pid_t pid_ = -1;
  std::string directory_;
  bool ready_ = false;
};

// p50 and p99 of one copy of `bytes`, each copy timed alone, so that the baseline meets the same
// machine load as the round trips it stands beside.
std::pair<double, double> memcpyMicroseconds(std::size_t bytes) {
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  constexpr int kRounds = 1000;
  std::vector<double> micros;
  micros.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    from[static_cast<std::size_t>(i) % bytes] = static_cast<uint8_t>(i);
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  return {figures::percentile(micros, 50), figures::percentile(micros, 99)};
}

// A process's CPU time so far in microseconds (the scheduler's figure, to the nanosecond) and its
// sleeps so far (voluntary context switches, each ended by a wake-up).
struct ProcessTotals {
  double cpuMicroseconds = 0;
  double sleeps = 0;
  static ProcessTotals of(pid_t pid) {
    ProcessTotals totals;
    const std::string task = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid);
    std::ifstream schedstat(task + "/schedstat");
    schedstat >> totals.cpuMicroseconds;
    totals.cpuMicroseconds /= 1000;
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        totals.sleeps = std::stod(line.substr(line.find(':') + 1));
    return totals;
  }
};

// Where the time of the last exchanges went, in microseconds: the request until the service's
// callback had it, the callback until its reply had gone, and the reply until the client had it.
// `first` is the service's count of callbacks before them; `sent` and `received` are the
// client's times of each.
void reportLegs(benchmark::State& state, uint64_t first, const std::vector<int64_t>& sent,
                const std::vector<int64_t>& received) {
  const uint64_t last = first + sent.size();
  const auto deadline = Clock::now() + std::chrono::seconds(1);
  while (callbackTimes->count.load(std::memory_order_acquire) < last && Clock::now() < deadline) {
  }
  if (callbackTimes->count.load(std::memory_order_acquire) != last) return;
  std::vector<double> toCallback, reply, toClient;
  for (uint64_t i = std::max(first, last - std::min<uint64_t>(last, CallbackTimes::kSlots));
       i < last; ++i) {
    const std::size_t slot = i % CallbackTimes::kSlots, exchange = i - first;
    toCallback.push_back(static_cast<double>(callbackTimes->entered[slot] - sent[exchange]) / 1000);
    reply.push_back(
        static_cast<double>(callbackTimes->replied[slot] - callbackTimes->entered[slot]) / 1000);
    toClient.push_back(static_cast<double>(received[exchange] - callbackTimes->replied[slot]) /
                       1000);
  }
  state.counters["to_callback_us"] = figures::percentile(toCallback, 50);
  state.counters["callback_us"] = figures::percentile(reply, 50);
  state.counters["to_client_us"] = figures::percentile(toClient, 50);
}

void reportLatencies(benchmark::State& state, std::vector<double>& micros, std::size_t bytes) {
  if (micros.empty()) return;
  const double p50 = figures::percentile(micros, 50);
  const double p99 = figures::percentile(micros, 99);
  const auto [copy, copyP99] = memcpyMicroseconds(bytes);
  state.counters["p50_us"] = p50;
  state.counters["p99_us"] = p99;
  state.counters["memcpy_us"] = copy;
  state.counters["memcpy_p99_us"] = copyP99;
  state.counters["p50_vs_memcpy"] = p50 / copy;
}

// Round trips back to back, or each `spacing` after the last (as clients that ask now and then:
// the service sleeps between them and is woken by each).
void roundTrips(benchmark::State& state, int32_t id, const void* body, uint32_t length,
                std::size_t copiedBytes,
                std::chrono::microseconds spacing = std::chrono::microseconds(0)) {
  if (!Service::shared().ready()) {
    state.SkipWithError("the service did not start");
    return;
  }
  LMConnection connection{};
  std::strcpy(connection.name, kServiceName);
  LMResponseBuffer buffer;
  std::vector<double> micros;
  micros.reserve(1 << 16);
  std::vector<int64_t> sent, received;
  sent.reserve(1 << 18);
  received.reserve(1 << 18);
  const uint64_t firstCallback = callbackTimes->count.load(std::memory_order_acquire);
  const ProcessTotals serviceBefore = ProcessTotals::of(Service::shared().pid());
  const ProcessTotals clientBefore = ProcessTotals::of(getpid());
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const kern_return_t status = LMConnectionSendTwoWay(&connection, id, body, length, &buffer);
    received.push_back(nanosecondsNow());
    sent.push_back(
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count());
    const auto* reply = static_cast<const uint8_t*>(LMMessageGetData(&buffer.message));
    if (reply) benchmark::DoNotOptimize(reply[LMMessageGetDataLength(&buffer.message) - 1]);
    LMResponseBufferFree(&buffer);
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    if (status != KERN_SUCCESS) {
      state.SkipWithError("an exchange failed");
      break;
    }
    if (spacing.count() > 0) std::this_thread::sleep_for(spacing);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * copiedBytes));
  if (!micros.empty()) {
    const ProcessTotals service = ProcessTotals::of(Service::shared().pid());
    const ProcessTotals client = ProcessTotals::of(getpid());
    const auto exchanges = static_cast<double>(micros.size());
    state.counters["service_cpu_us"] =
        (service.cpuMicroseconds - serviceBefore.cpuMicroseconds) / exchanges;
    state.counters["service_sleeps"] = (service.sleeps - serviceBefore.sleeps) / exchanges;
    state.counters["client_sleeps"] = (client.sleeps - clientBefore.sleeps) / exchanges;
    state.counters["client_cpu_us"] =
        (client.cpuMicroseconds - clientBefore.cpuMicroseconds) / exchanges;
  }
  reportLegs(state, firstCallback, sent, received);
  reportLatencies(state, micros, copiedBytes);
}

void BM_Transport_HistoryRoundTrip(benchmark::State& state) {
  roundTrips(state, 2, &blankmsg, sizeof blankmsg, kHistoryBytes);
}
BENCHMARK(BM_Transport_HistoryRoundTrip)->UseRealTime();

// The history as a client asks for it (30 times a second), here each a millisecond after the
// last: the service's wake-up is in every exchange, and its CPU time per exchange shows that it
// does not look for requests that come no faster than that.
void BM_Transport_HistoryRoundTripSpaced(benchmark::State& state) {
  roundTrips(state, 2, &blankmsg, sizeof blankmsg, kHistoryBytes, std::chrono::milliseconds(1));
}
BENCHMARK(BM_Transport_HistoryRoundTripSpaced)->UseRealTime();

void BM_Transport_HistoryMemcpy(benchmark::State& state) {
  std::vector<uint8_t> from(kHistoryBytes, 1), to(kHistoryBytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kHistoryBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kHistoryBytes));
}
BENCHMARK(BM_Transport_HistoryMemcpy);

std::vector<uint8_t>& packetBody() {
  static std::vector<uint8_t> body(kPacketBytes, 0x5a);
  return body;
}

void BM_Transport_PacketRoundTrip(benchmark::State& state) {
  roundTrips(state, 1, packetBody().data(), kPacketBytes, kPacketBytes);
}
BENCHMARK(BM_Transport_PacketRoundTrip)->UseRealTime();

// The audio daemon's pace: one packet a render of 1,024 frames at 44.1 kHz. Each exchange finds
// both threads asleep and their caches cold; the client's CPU per exchange stands beside the
// paced ping's, the least a sleeping sender pays for one datagram there and back.
constexpr auto kRenderPace = std::chrono::microseconds(1'000'000 * 1024 / 44100);

void BM_Transport_PacketRoundTripPaced(benchmark::State& state) {
  roundTrips(state, 1, packetBody().data(), kPacketBytes, kPacketBytes, kRenderPace);
}
BENCHMARK(BM_Transport_PacketRoundTripPaced)->UseRealTime()->Iterations(200);

// The baseline of the round trips: a 4-byte datagram to a forked process and back, over a
// connected socket pair, with nothing else done.
constexpr uint32_t kStopPing = 0xffffffffu;

void twoProcessPings(benchmark::State& state,
                     std::chrono::microseconds spacing = std::chrono::microseconds(0)) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends) != 0) {
    state.SkipWithError("no socket pair");
    return;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    uint32_t word;
    while (read(ends[1], &word, sizeof word) == sizeof word && word != kStopPing) {
      if (write(ends[1], &word, sizeof word) != sizeof word) break;
    }
    _exit(0);
  }
  close(ends[1]);
  std::vector<double> micros;
  micros.reserve(1 << 16);
  uint32_t word = 0;
  const ProcessTotals before = ProcessTotals::of(getpid());
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (write(ends[0], &word, sizeof word) != sizeof word ||
        read(ends[0], &word, sizeof word) != sizeof word) {
      state.SkipWithError("the ping failed");
      break;
    }
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    if (spacing.count() > 0) std::this_thread::sleep_for(spacing);
  }
  const ProcessTotals after = ProcessTotals::of(getpid());
  // A datagram socket sees no end of file when its peer closes: the child is told to stop.
  const uint32_t stop = kStopPing;
  if (write(ends[0], &stop, sizeof stop) != sizeof stop) kill(child, SIGTERM);
  close(ends[0]);
  waitpid(child, nullptr, 0);
  if (micros.empty()) return;
  state.counters["p50_us"] = figures::percentile(micros, 50);
  state.counters["p99_us"] = figures::percentile(micros, 99);
  state.counters["client_cpu_us"] =
      (after.cpuMicroseconds - before.cpuMicroseconds) / static_cast<double>(micros.size());
}

void BM_Transport_TwoProcessPing(benchmark::State& state) {
  twoProcessPings(state);
}
BENCHMARK(BM_Transport_TwoProcessPing)->UseRealTime();

void BM_Transport_TwoProcessPingPaced(benchmark::State& state) {
  twoProcessPings(state, kRenderPace);
}
BENCHMARK(BM_Transport_TwoProcessPingPaced)->UseRealTime()->Iterations(200);

void BM_Transport_PacketMemcpy(benchmark::State& state) {
  std::vector<uint8_t> from(kPacketBytes, 1), to(kPacketBytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kPacketBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPacketBytes));
}
BENCHMARK(BM_Transport_PacketMemcpy);

}  // namespace
