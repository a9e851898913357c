#include "HostFrames/LiveFrame.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Device/Device.h"

namespace frames {
namespace {

constexpr std::uint8_t kMagic[8] = {'V', 'L', 'F', 'R', 'A', 'M', 'E', '1'};
constexpr std::uint32_t kMaxSide = 8192;

void put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
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

std::vector<std::uint8_t> encodeJpeg(const render::Image& picture, int quality) {
  if (picture.empty() || picture.width > kMaxSide || picture.height > kMaxSide) return {};
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &buffer, &size);
  compressor.image_width = static_cast<JDIMENSION>(picture.width);
  compressor.image_height = static_cast<JDIMENSION>(picture.height);
  compressor.input_components = 4;
  compressor.in_color_space = JCS_EXT_RGBA;  // the screen is opaque: alpha is dropped
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
  compressor.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&compressor, TRUE);
  const std::size_t stride = picture.width * 4;
  while (compressor.next_scanline < compressor.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(picture.rgba.data() + compressor.next_scanline * stride);
    jpeg_write_scanlines(&compressor, &row, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  std::vector<std::uint8_t> jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

std::vector<std::uint8_t> encodeLiveFrame(const LiveFrame& frame) {
  std::vector<std::uint8_t> out(std::begin(kMagic), std::end(kMagic));
  out.reserve(kLiveFrameHeaderBytes + frame.jpeg.size());
  put(out, frame.width, 4);
  put(out, frame.height, 4);
  put(out, frame.sequence, 8);
  put(out, frame.committedNanoseconds, 8);
  put(out, frame.drawnNanoseconds, 8);
  out.insert(out.end(), frame.jpeg.begin(), frame.jpeg.end());
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
