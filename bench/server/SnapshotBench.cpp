// A message-2 round trip while the audio daemon's packets arrive (512 frames at 44.1 kHz) and a
// second app asks for the history 30 times a second; p50 and p99 of the round trip as counters.
#include <CoreFoundation/CFRunLoop.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Percentile.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/SpringBoardServer.h"

namespace {

using Clock = std::chrono::steady_clock;

LMConnection serviceConnection() {
  LMConnection connection{};
  std::memcpy(connection.name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
  return connection;
}

kern_return_t snapshot(LMConnection* connection, LMResponseBuffer* buffer) {
  const kern_return_t status =
      LMConnectionSendTwoWay(connection, kHistorySnapshotMessageId, &blankmsg, 4, buffer);
  LMResponseBufferFree(buffer);
  return status;
}

// Repeats `work` every `period` until `stop`.
std::thread paced(std::atomic<bool>& stop, std::chrono::microseconds period, auto work) {
  return std::thread([&stop, period, work = std::move(work)]() mutable {
    auto next = Clock::now();
    while (!stop.load()) {
      work();
      next += period;
      std::this_thread::sleep_until(next);
    }
  });
}

void BM_Server_SnapshotRoundTripUnderLoad(benchmark::State& state) {
  char pattern[] = "/tmp/vellamor-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    state.SkipWithError("no device directory");
    return;
  }
  ::setenv("VELLAMOR_DEVICE", pattern, 1);

  // SpringBoard's main thread: the service on its own run loop.
  std::atomic<bool> stop{false};
  std::atomic<bool> started{false};
  std::atomic<CFRunLoopRef> serverLoop{nullptr};
  std::thread server([&] {
    SpringBoardServer::startService();
    serverLoop = CFRunLoopGetCurrent();
    started = true;
    while (!stop.load()) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
  });
  while (!started.load()) std::this_thread::yield();

  auto packet = std::make_unique<mediaServerAudioDataStruct>();
  packet->numberBuffers = 2;
  packet->numberFrames = 512;
  std::thread daemon =
      paced(stop, std::chrono::microseconds(11610),
            [&, c = serviceConnection(), buffer = std::make_unique<LMResponseBuffer>()]() mutable {
              LMConnectionSendTwoWay(&c, kAudioPacketMessageId, packet.get(), sizeof *packet,
                                     buffer.get());
              LMResponseBufferFree(buffer.get());
            });
  std::thread otherApp =
      paced(stop, std::chrono::microseconds(33333),
            [c = serviceConnection(), buffer = std::make_unique<LMResponseBuffer>()]() mutable {
              snapshot(&c, buffer.get());
            });

  LMConnection connection = serviceConnection();
  auto buffer = std::make_unique<LMResponseBuffer>();
  std::vector<double> microseconds;
  std::size_t failures = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (snapshot(&connection, buffer.get()) != 0) ++failures;
    microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    // This app asks 30 times a second too.
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(33));
    state.ResumeTiming();
  }
  stop = true;
  daemon.join();
  otherApp.join();
  CFRunLoopStop(serverLoop.load());
  server.join();
  std::filesystem::remove_all(pattern);

  if (!microseconds.empty()) {
    state.counters["p50_us"] = figures::percentile(microseconds, 50);
    state.counters["p99_us"] = figures::percentile(microseconds, 99);
  }
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_Server_SnapshotRoundTripUnderLoad)->Iterations(150)->UseRealTime();

}  // namespace
