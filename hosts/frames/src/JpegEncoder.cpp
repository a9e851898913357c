#include "HostFrames/JpegEncoder.h"

// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <vector>

namespace frames {
namespace {

constexpr std::size_t kMaxSide = 8192;
constexpr std::size_t kFirstBufferBytes = 64 << 10;

}  // namespace

struct JpegEncoder::State {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  jpeg_destination_mgr destination{};
  std::jmp_buf failed;
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kFirstBufferBytes);
  int quality = 80;

  // The output goes into `out`, which doubles when it fills (rarely: it keeps its size).
  static void start(j_compress_ptr compressor) {
    State& self = *static_cast<State*>(compressor->client_data);
    self.destination.next_output_byte = self.out.data();
    self.destination.free_in_buffer = self.out.size();
  }
  static boolean grow(j_compress_ptr compressor) {
    State& self = *static_cast<State*>(compressor->client_data);
    const std::size_t used = self.out.size();
    self.out.resize(used * 2);
    self.destination.next_output_byte = self.out.data() + used;
    self.destination.free_in_buffer = self.out.size() - used;
    return TRUE;
  }
  static void finish(j_compress_ptr) {}
  // libjpeg's errors end the frame, not the process.
  [[noreturn]] static void fail(j_common_ptr compressor) {
    State& self = *static_cast<State*>(compressor->client_data);
    std::longjmp(self.failed, 1);
  }
};

JpegEncoder::JpegEncoder(int quality) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
  s.compressor.err = jpeg_std_error(&s.errors);
  s.errors.error_exit = &State::fail;
  s.compressor.client_data = &s;
  jpeg_create_compress(&s.compressor);
  s.destination.init_destination = &State::start;
  s.destination.empty_output_buffer = &State::grow;
  s.destination.term_destination = &State::finish;
  s.compressor.dest = &s.destination;
}

JpegEncoder::~JpegEncoder() {
  jpeg_destroy_compress(&state_->compressor);
}

std::span<const std::uint8_t> JpegEncoder::encode(const render::Image& picture) {
  State& s = *state_;
  if (picture.empty() || picture.width > kMaxSide || picture.height > kMaxSide ||
      picture.rgba.size() < picture.width * picture.height * 4)
    return {};
  jpeg_compress_struct& c = s.compressor;
  if (setjmp(s.failed) != 0) {
    jpeg_abort_compress(&c);
    return {};
  }
  c.image_width = static_cast<JDIMENSION>(picture.width);
  c.image_height = static_cast<JDIMENSION>(picture.height);
  c.input_components = 4;
  c.in_color_space = JCS_EXT_RGBA;  // the screen is opaque: alpha is dropped
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, s.quality, TRUE);
  c.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&c, TRUE);
  const std::size_t stride = picture.width * 4;
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(picture.rgba.data() + c.next_scanline * stride);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  return {s.out.data(), s.out.size() - s.destination.free_in_buffer};
}

}  // namespace frames
