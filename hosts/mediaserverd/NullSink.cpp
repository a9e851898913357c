#include "NullSink.h"

#include <cerrno>
#include <cstdint>

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::int64_t nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * kNanosecondsPerSecond + t.tv_nsec;
}

timespec fromNanoseconds(std::int64_t ns) {
  return timespec{static_cast<time_t>(ns / kNanosecondsPerSecond),
                  static_cast<long>(ns % kNanosecondsPerSecond)};
}

}  // namespace

bool NullSink::write(const float*, unsigned frames) {
  if (!paced_) return true;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (!started_) {
    due_ = now;
    started_ = true;
  }
  // The buffer plays from its due time; the next is due when it has played. A render that ran
  // late by more than a second starts the clock afresh instead of rushing to catch up.
  const std::int64_t length =
      static_cast<std::int64_t>(frames) * kNanosecondsPerSecond / sampleRate_;
  std::int64_t due = nanoseconds(due_) + length;
  if (nanoseconds(now) - due > kNanosecondsPerSecond) due = nanoseconds(now) + length;
  due_ = fromNanoseconds(due);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due_, nullptr) == EINTR) {
  }
  return true;
}
