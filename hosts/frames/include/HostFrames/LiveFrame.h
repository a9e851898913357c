#pragma once
// One frame of a host's screen for the live page: a fixed header and the picture as JPEG, kept
// as run/frames/<host>.frame (written whole, then renamed over the last one). The header says
// which frame it is and when its tree was committed, so the page's server can time the road.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace frames {

struct LiveFrame {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t sequence = 0;
  std::uint64_t committedNanoseconds = 0;  // CLOCK_MONOTONIC when the tree was committed
  std::uint64_t drawnNanoseconds = 0;      // ... and when its picture was encoded
  std::vector<std::uint8_t> jpeg;
};

inline constexpr std::size_t kLiveFrameHeaderBytes = 40;
inline constexpr std::size_t kMaxLiveFrameBytes = 8u << 20;

// The header of `frame` (its JPEG aside), the first kLiveFrameHeaderBytes of its file.
std::array<std::uint8_t, kLiveFrameHeaderBytes> liveFrameHeader(const LiveFrame& frame);

// The header and JPEG as bytes, and back. Decoding checks the magic, the sizes and that the
// JPEG starts and ends as one; nothing (and a reason) for anything else.
std::vector<std::uint8_t> encodeLiveFrame(const LiveFrame& frame);
std::optional<LiveFrame> decodeLiveFrame(std::span<const std::uint8_t> bytes,
                                         std::string* error = nullptr);

// Where `host`'s frames go in the current device; empty without one.
std::string liveFramePath(const std::string& host);

}  // namespace frames
