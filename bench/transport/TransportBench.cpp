// Round trips between this process and a forked service process in the two shapes that matter:
// the history (4-byte request, 655,372-byte out-of-line reply) and the audio packet (32,784-byte
// out-of-line request, 4-byte reply). Each reports its p50 and p99 and the p50 and p99 of a
// memcpy of the same bytes measured in the same run.

#include <CoreFoundation/CFRunLoop.h>
#include <benchmark/benchmark.h>
#include <servers/bootstrap.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "Percentile.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace {

constexpr uint32_t kHistoryBytes = 655372;
constexpr uint32_t kPacketBytes = 32784;
constexpr const char* kServiceName = "org.vellamor2.bench";

std::vector<uint8_t>& historyBody() {
  static std::vector<uint8_t> body(kHistoryBytes, 0x3c);
  return body;
}

void answer(CFMachPortRef, void* msg, CFIndex, void*) {
  auto* message = static_cast<LMMessage*>(msg);
  const mach_port_t reply = message->head.msgh_remote_port;
  if (message->head.msgh_id == 2)
    LMSendReply(reply, historyBody().data(), kHistoryBytes);
  else
    LMSendReply(reply, &okay, sizeof okay);
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

 private:
  Service() {
    char directory[] = "/tmp/bench_transport.XXXXXX";
    if (!mkdtemp(directory)) return;
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

void roundTrips(benchmark::State& state, int32_t id, const void* body, uint32_t length,
                std::size_t copiedBytes) {
  if (!Service::shared().ready()) {
    state.SkipWithError("the service did not start");
    return;
  }
  LMConnection connection{};
  std::strcpy(connection.name, kServiceName);
  LMResponseBuffer buffer;
  std::vector<double> micros;
  micros.reserve(1 << 16);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const kern_return_t status = LMConnectionSendTwoWay(&connection, id, body, length, &buffer);
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
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * copiedBytes));
  reportLatencies(state, micros, copiedBytes);
}

void BM_Transport_HistoryRoundTrip(benchmark::State& state) {
  roundTrips(state, 2, &blankmsg, sizeof blankmsg, kHistoryBytes);
}
BENCHMARK(BM_Transport_HistoryRoundTrip)->UseRealTime();

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

void BM_Transport_PacketRoundTrip(benchmark::State& state) {
  static std::vector<uint8_t> packet(kPacketBytes, 0x5a);
  roundTrips(state, 1, packet.data(), kPacketBytes, kPacketBytes);
}
BENCHMARK(BM_Transport_PacketRoundTrip)->UseRealTime();

// The baseline of the round trips: a 4-byte datagram to a forked process and back, over a
// connected socket pair, with nothing else done.
constexpr uint32_t kStopPing = 0xffffffffu;

void BM_Transport_TwoProcessPing(benchmark::State& state) {
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
  }
  // A datagram socket sees no end of file when its peer closes: the child is told to stop.
  const uint32_t stop = kStopPing;
  if (write(ends[0], &stop, sizeof stop) != sizeof stop) kill(child, SIGTERM);
  close(ends[0]);
  waitpid(child, nullptr, 0);
  if (micros.empty()) return;
  state.counters["p50_us"] = figures::percentile(micros, 50);
  state.counters["p99_us"] = figures::percentile(micros, 99);
}
BENCHMARK(BM_Transport_TwoProcessPing)->UseRealTime();

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
