#include "HostFrames/LiveFrame.h"

#include <algorithm>
#include <cstring>

#include "Device/Device.h"

namespace frames {
namespace {

constexpr std::uint8_t kMagic[8] = {'V', 'L', 'F', 'R', 'A', 'M', 'E', '1'};
constexpr std::uint32_t kMaxSide = 8192;
static_assert(sizeof kMagic + 32 == kLiveFrameHeaderBytes);

std::uint8_t* put(std::uint8_t* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) *out++ = static_cast<std::uint8_t>(value >> (8 * i));
  return out;
}

std::uint64_t get(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  return value;
}

std::optional<LiveFrame> fail(std::string* error, const char* reason) {
  if (error != nullptr) *error = reason;
  return std::nullopt;
}

}  // namespace

std::array<std::uint8_t, kLiveFrameHeaderBytes> liveFrameHeader(const LiveFrame& frame) {
  std::array<std::uint8_t, kLiveFrameHeaderBytes> header{};
  std::uint8_t* out = std::copy(std::begin(kMagic), std::end(kMagic), header.data());
  out = put(out, frame.width, 4);
  out = put(out, frame.height, 4);
  out = put(out, frame.sequence, 8);
  out = put(out, frame.committedNanoseconds, 8);
  put(out, frame.drawnNanoseconds, 8);
  return header;
}

std::vector<std::uint8_t> encodeLiveFrame(const LiveFrame& frame) {
  const auto header = liveFrameHeader(frame);
  std::vector<std::uint8_t> out(header.size() + frame.jpeg.size());
  std::copy(frame.jpeg.begin(), frame.jpeg.end(),
            std::copy(header.begin(), header.end(), out.begin()));
  return out;
}

std::optional<LiveFrame> decodeLiveFrame(std::span<const std::uint8_t> bytes, std::string* error) {
  if (bytes.size() < kLiveFrameHeaderBytes + 4) return fail(error, "frame too short");
  if (bytes.size() > kMaxLiveFrameBytes) return fail(error, "frame too long");
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return fail(error, "not a frame");
  const std::uint8_t* in = bytes.data() + sizeof kMagic;
  LiveFrame frame;
  frame.width = static_cast<std::uint32_t>(get(in, 4));
  frame.height = static_cast<std::uint32_t>(get(in + 4, 4));
  frame.sequence = get(in + 8, 8);
  frame.committedNanoseconds = get(in + 16, 8);
  frame.drawnNanoseconds = get(in + 24, 8);
  if (frame.width == 0 || frame.height == 0 || frame.width > kMaxSide || frame.height > kMaxSide)
    return fail(error, "frame size out of range");
  const auto jpeg = bytes.subspan(kLiveFrameHeaderBytes);
  // Start of image, end of image.
  if (jpeg[0] != 0xff || jpeg[1] != 0xd8 || jpeg[jpeg.size() - 2] != 0xff ||
      jpeg[jpeg.size() - 1] != 0xd9)
    return fail(error, "the picture is not a whole JPEG");
  frame.jpeg.assign(jpeg.begin(), jpeg.end());
  return frame;
}

std::string liveFramePath(const std::string& host) {
  const auto directory = device::runSubdirectory("frames");
  if (directory.empty()) return {};
  return (directory / (host + ".frame")).string();
}

}  // namespace frames
